#include "store/ChangeList.h"

#include <map>
#include <unordered_map>

namespace store {

std::string packChanges(const std::vector<std::pair<Id, ChangeKind>> &changes, std::int64_t &count)
{
    std::string out;
    out.reserve(changes.size() * 4);
    std::unordered_map<Id, ChangeKind> last;
    count = 0;
    for (const auto &[message, kind] : changes) {
        auto [it, fresh] = last.try_emplace(message, kind);
        if (!fresh && it->second == kind)
            continue;
        it->second = kind;
        std::uint64_t v = (static_cast<std::uint64_t>(message) << 3) | static_cast<std::uint64_t>(kind);
        while (v >= 0x80) {
            out += static_cast<char>((v & 0x7F) | 0x80);
            v >>= 7;
        }
        out += static_cast<char>(v);
        ++count;
    }
    return out;
}

std::vector<PackedFolder> packByFolder(const std::vector<LoggedChange> &log, std::int64_t &entries)
{
    std::map<Id, std::vector<std::pair<Id, ChangeKind>>> byFolder;
    for (const LoggedChange &c : log)
        byFolder[c.folder].emplace_back(c.message, c.kind);
    std::vector<PackedFolder> out;
    out.reserve(byFolder.size());
    entries = 0;
    for (const auto &[folder, changes] : byFolder) {
        std::int64_t count = 0;
        out.push_back({folder, packChanges(changes, count)});
        entries += count;
    }
    return out;
}

void unpackChanges(std::string_view packed, std::int64_t revision, std::vector<Change> &out)
{
    std::size_t i = 0;
    while (i < packed.size()) {
        std::uint64_t v = 0;
        int shift = 0;
        bool done = false;
        while (i < packed.size() && shift < 64) {
            const auto byte = static_cast<unsigned char>(packed[i++]);
            v |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
            shift += 7;
            if (!(byte & 0x80)) {
                done = true;
                break;
            }
        }
        const auto kind = static_cast<int>(v & 7);
        if (!done || kind < static_cast<int>(ChangeKind::Added) || kind > static_cast<int>(ChangeKind::BindingRemoved))
            return;
        out.push_back({static_cast<Id>(v >> 3), revision, static_cast<ChangeKind>(kind)});
    }
}

} // namespace store
