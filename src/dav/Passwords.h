// Password hashes of the calendar server's accounts: Argon2id (libsodium) in its
// standard string form ("$argon2id$v=19$m=...,t=...,p=...$salt$hash").
#pragma once

#include <string>
#include <string_view>

namespace dav {

// Throws std::runtime_error when libsodium cannot start or runs out of memory.
std::string hashPassword(std::string_view password);
// True when the password matches the hash; false for a wrong password and for a text
// that is no Argon2id hash at all.
bool verifyPassword(const std::string &hash, std::string_view password);
// The password from a text read from standard input: one line end at its end is not
// part of it. Returns an empty text when the input holds another line end, a NUL, or
// is longer than MaxPasswordBytes.
std::string passwordFromInput(std::string input);

inline constexpr std::size_t MaxPasswordBytes = 1024;

} // namespace dav
