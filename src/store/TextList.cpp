#include "store/TextList.h"

#include <charconv>

namespace store {

std::string encodeTextList(const std::vector<std::string> &items)
{
    std::string out;
    for (const std::string &item : items) {
        out += std::to_string(item.size());
        out += ':';
        out += item;
    }
    return out;
}

std::vector<std::string> decodeTextList(std::string_view text)
{
    std::vector<std::string> out;
    while (!text.empty()) {
        auto colon = text.find(':');
        if (colon == std::string_view::npos)
            break;
        std::size_t len = 0;
        auto res = std::from_chars(text.data(), text.data() + colon, len);
        if (res.ec != std::errc() || res.ptr != text.data() + colon || len > text.size() - colon - 1)
            break;
        out.emplace_back(text.substr(colon + 1, len));
        text.remove_prefix(colon + 1 + len);
    }
    return out;
}

} // namespace store
