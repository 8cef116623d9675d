#include "dav/Passwords.h"

#include <sodium.h>

#include <stdexcept>

namespace dav {

namespace {

void startSodium()
{
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot start");
}

} // namespace

std::string hashPassword(std::string_view password)
{
    startSodium();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("out of memory while hashing the password");
    return out;
}

bool verifyPassword(const std::string &hash, std::string_view password)
{
    startSodium();
    if (hash.size() >= crypto_pwhash_STRBYTES || hash.rfind("$argon2id$", 0) != 0)
        return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string passwordFromInput(std::string input)
{
    if (!input.empty() && input.back() == '\n')
        input.pop_back();
    if (!input.empty() && input.back() == '\r')
        input.pop_back();
    if (input.size() > MaxPasswordBytes || input.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return {};
    return input;
}

} // namespace dav
