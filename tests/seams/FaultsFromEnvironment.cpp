// The fault switch of the test builds (larkspur-admin-test, larkspur-store-test and the
// tests' store worker). LARKSPUR_FAULT is read before main() runs and sets the switches
// of messaging::faults: "Message.CopyTo:3" fails the third call of Message.CopyTo,
// "write:5" the fifth store write; a third part gives the error number
// ("Message.Update:2:-2147024891"); several switches are separated by commas.
#include "messaging/FaultInjection.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

bool installFaultsFromEnvironment()
{
    const char *variable = std::getenv("LARKSPUR_FAULT");
    std::string_view text(variable ? variable : "");
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string item(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const std::size_t colon = item.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string operation = item.substr(0, colon);
        char *end = nullptr;
        const long nth = std::strtol(item.c_str() + colon + 1, &end, 10);
        if (nth <= 0)
            continue;
        const bool isWrite = operation == "write";
        std::int32_t number = isWrite ? messaging::ErrorCode::DiskFull : messaging::ErrorCode::StoreFailure;
        if (*end == ':')
            number = static_cast<std::int32_t>(std::strtoll(end + 1, nullptr, 0));
        if (isWrite)
            messaging::faults::failWrite(static_cast<int>(nth), number);
        else
            messaging::faults::failCall(operation, static_cast<int>(nth), number);
    }
    return variable != nullptr;
}

[[maybe_unused]] const bool installed = installFaultsFromEnvironment();

} // namespace
