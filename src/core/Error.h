// Error: the one failure type of the messaging object model, the event binding
// service and the text file class.
//
// Every failure carries a signed 32-bit number (messaging codes have the high bit set
// and so read as negative numbers) and a description that names what failed and where.
// Pages show both ("Error: <description> (<number>)"); nothing else is needed to report
// a failure to the administrator.
//
// It lives in the core library so that the text file class need not link the object
// model; the object model and its users know it as messaging::Error.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace core {

namespace ErrorCode {
inline constexpr std::int32_t NotFound = -2147221233;        // 0x8004010F
inline constexpr std::int32_t LogonFailed = -2147221231;     // 0x80040111
inline constexpr std::int32_t NoAccess = -2147024891;        // 0x80070005
inline constexpr std::int32_t InvalidArgument = -2147024809; // 0x80070057
inline constexpr std::int32_t StoreFailure = -2147467259;    // 0x80004005
inline constexpr std::int32_t DiskFull = -2147221235;        // 0x8004010D
inline constexpr std::int32_t CannotCreateObject = 429;
inline constexpr std::int32_t FileNotFound = 53;
inline constexpr std::int32_t InputPastEndOfFile = 62;
inline constexpr std::int32_t PathFileAccessError = 75;
inline constexpr std::int32_t PathNotFound = 76;
} // namespace ErrorCode

class Error : public std::runtime_error {
public:
    Error(std::int32_t number, const std::string &description)
        : std::runtime_error(description), m_number(number) {}

    std::int32_t number() const noexcept { return m_number; }
    std::string description() const { return what(); }

private:
    std::int32_t m_number;
};

} // namespace core

namespace messaging {
using core::Error;
namespace ErrorCode = core::ErrorCode;
} // namespace messaging
