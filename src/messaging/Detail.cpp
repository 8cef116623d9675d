#include "Detail.h"


#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace messaging {

std::string toText(const PropValue &value)
{
    struct Visitor {
        std::string operator()(const std::string &s) const { return s; }
        std::string operator()(std::int64_t v) const { return std::to_string(v); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(double d) const
        {
            char buf[400];
            auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
            std::string text(buf, res.ptr);
            if (text.find('e') == std::string::npos || !std::isfinite(d))
                return text;
            // Plain decimal notation, never an exponent: the same 15 significant digits.
            int exponent = static_cast<int>(std::floor(std::log10(std::fabs(d))));
            int decimals = std::max(0, 14 - exponent);
            res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed, decimals);
            text.assign(buf, res.ptr);
            if (text.find('.') != std::string::npos) {
                while (text.back() == '0')
                    text.pop_back();
                if (text.back() == '.')
                    text.pop_back();
            }
            return text;
        }
    };
    return std::visit(Visitor{}, value);
}

} // namespace messaging

namespace messaging::detail {

std::string makeId(const std::string &guid, IdKind kind, std::int64_t rowId)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02X%016llX", static_cast<unsigned>(kind),
                  static_cast<unsigned long long>(rowId));
    return guid + buf;
}

std::optional<std::int64_t> parseId(const std::string &guid, IdKind kind, std::string_view id)
{
    if (id.size() != guid.size() + 18 || id.substr(0, guid.size()) != guid)
        return std::nullopt;
    auto hexValue = [](std::string_view text, unsigned long long &out) {
        for (char c : text) {
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
                return false;
        }
        auto res = std::from_chars(text.data(), text.data() + text.size(), out, 16);
        return res.ec == std::errc() && res.ptr == text.data() + text.size();
    };
    unsigned long long k = 0, row = 0;
    if (!hexValue(id.substr(guid.size(), 2), k) || k != static_cast<unsigned>(kind))
        return std::nullopt;
    if (!hexValue(id.substr(guid.size() + 2), row) || row == 0 || row > 0x7fffffffffffffffULL)
        return std::nullopt;
    return static_cast<std::int64_t>(row);
}

Error translate(const store::StoreError &e)
{
    if (e.diskFull())
        return Error(ErrorCode::DiskFull, std::string("The store is full: ") + e.what());
    return Error(ErrorCode::StoreFailure, std::string("Store failure: ") + e.what());
}

std::string storeName(SessionState &s, std::int64_t storeId)
{
    auto row = s.store().store(storeId);
    return row ? row->name : std::string("?");
}

std::string folderPath(SessionState &s, std::int64_t folderId)
{
    std::vector<std::string> names;
    std::int64_t store = 0;
    std::int64_t current = folderId;
    for (int depth = 0; current != 0 && depth < 64; ++depth) {
        auto row = s.store().folder(current);
        if (!row)
            break;
        store = row->store;
        if (row->parent == 0)
            break; // the root folder is not named in paths
        names.push_back(row->name);
        current = row->parent;
    }
    std::string path = store ? storeName(s, store) : std::string("?");
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        path += "/" + *it;
    return path;
}

bool folderExists(SessionState &s, std::int64_t folderId)
{
    if (s.knownFolders.count(folderId))
        return true;
    if (!s.store().folder(folderId))
        return false;
    s.knownFolders.insert(folderId);
    return true;
}

} // namespace messaging::detail
