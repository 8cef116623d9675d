// A list of texts in one column: each element as "<byte length>:<bytes>", so that any
// text (commas, colons, empty ones) survives the round trip.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace store {

std::string encodeTextList(const std::vector<std::string> &items);
// Decodes up to the first malformed element.
std::vector<std::string> decodeTextList(std::string_view text);

} // namespace store
