#include "dav/Auth.h"

#include "dav/Passwords.h"

#include <sodium.h>


namespace dav {

namespace {

constexpr std::size_t MaxRemembered = 10000;
constexpr std::size_t MaxAddresses = 10000;

// A header's digest under this process's key: SipHash with 128 bits, a keyed function
// fast enough to run on every request, so nobody without the key can aim at an entry.
std::array<unsigned char, crypto_shorthash_siphashx24_BYTES> headerDigest(const std::string &key,
                                                                           const std::string &header)
{
    std::array<unsigned char, crypto_shorthash_siphashx24_BYTES> out;
    crypto_shorthash_siphashx24(out.data(), reinterpret_cast<const unsigned char *>(header.data()), header.size(),
                                reinterpret_cast<const unsigned char *>(key.data()));
    return out;
}

std::string digestOf(const std::string &key, const std::string &password)
{
    unsigned char out[32];
    crypto_generichash(out, sizeof out, reinterpret_cast<const unsigned char *>(password.data()), password.size(),
                       reinterpret_cast<const unsigned char *>(key.data()), key.size());
    return std::string(reinterpret_cast<const char *>(out), sizeof out);
}

bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size() || (n == 1 && (c < 0x20 || c == 0x7f)))
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

} // namespace

Authenticator::Authenticator()
{
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium cannot start");
    m_key.resize(crypto_generichash_KEYBYTES);
    randombytes_buf(m_key.data(), m_key.size());
    m_headerKey.resize(crypto_shorthash_siphashx24_KEYBYTES);
    randombytes_buf(m_headerKey.data(), m_headerKey.size());
    std::string random(16, '\0');
    randombytes_buf(random.data(), random.size());
    m_dummyHash = hashPassword(random);
}

Authenticator::Result Authenticator::check(const Request &request, Snapshot &snapshot)
{
    Result result;
    const std::string *header = request.header("authorization");
    if (!header || header->size() < 6 || header->size() > 4096)
        return result;
    // A header seen before with the account's hash as it still is: the outcome then.
    const Digest seen = headerDigest(m_headerKey, *header);
    if (std::optional<Result> again = recall(seen, snapshot)) {
        if (again->outcome == Outcome::Refused)
            again->delay = refusalDelay(request.peer);
        return std::move(*again);
    }
    std::string_view value(*header);
    if (value.substr(0, 6) != "Basic " && value.substr(0, 6) != "basic ")
        return result;
    value.remove_prefix(6);
    while (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    std::string decoded(value.size(), '\0');
    size_t length = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char *>(decoded.data()), decoded.size(), value.data(),
                          value.size(), nullptr, &length, nullptr, sodium_base64_VARIANT_ORIGINAL) != 0) {
        result.outcome = Outcome::Refused;
        result.delay = refusalDelay(request.peer);
        return result;
    }
    decoded.resize(length);
    const auto colon = decoded.find(':');
    result.outcome = Outcome::Refused;
    if (colon == std::string::npos) {
        result.delay = refusalDelay(request.peer);
        return result;
    }
    result.login = decoded.substr(0, colon);
    std::string password = decoded.substr(colon + 1);
    sodium_memzero(decoded.data(), decoded.size());
    std::optional<Account> account;
    if (!result.login.empty() && result.login.size() <= 256 && validUtf8(result.login)
        && password.size() <= MaxPasswordBytes)
        account = snapshot.account(result.login);
    const bool ok = verify(account ? *account : Account{}, password);
    sodium_memzero(password.data(), password.size());
    if (account)
        note(seen, result.login, account->passwordHash, ok);
    if (!ok || !account) {
        result.delay = refusalDelay(request.peer);
        return result;
    }
    result.outcome = Outcome::Accepted;
    result.account = std::move(*account);
    return result;
}

std::optional<Authenticator::Result> Authenticator::recall(const Digest &seen, Snapshot &snapshot)
{
    std::string login, hash;
    bool accepted = false;
    {
        std::lock_guard lock(m_lock);
        auto it = m_headers.find(seen);
        if (it == m_headers.end() || it->second.until <= std::chrono::steady_clock::now())
            return std::nullopt;
        login = it->second.login;
        hash = it->second.passwordHash;
        accepted = it->second.accepted;
    }
    std::optional<Account> account = snapshot.account(login);
    // A changed password (or a removed account) ends what was remembered at once.
    if (!account || account->passwordHash != hash)
        return std::nullopt;
    Result result;
    result.login = std::move(login);
    result.outcome = accepted ? Outcome::Accepted : Outcome::Refused;
    if (accepted)
        result.account = std::move(*account);
    return result;
}

void Authenticator::note(const Digest &seen, const std::string &login, const std::string &passwordHash,
                         bool accepted)
{
    std::lock_guard lock(m_lock);
    if (m_headers.size() >= MaxRemembered)
        m_headers.clear();
    m_headers[seen] = Seen{login, passwordHash, accepted, std::chrono::steady_clock::now() + CacheLifetime};
}

bool Authenticator::verify(const Account &account, const std::string &password)
{
    const auto now = std::chrono::steady_clock::now();
    const std::string key = account.name + '\0' + account.passwordHash + '\0' + digestOf(m_key, password);
    std::promise<bool> mine;
    {
        std::unique_lock lock(m_lock);
        auto it = m_remembered.find(key);
        if (it != m_remembered.end() && it->second.until > now) {
            std::shared_future<bool> outcome = it->second.outcome;
            lock.unlock();
            return outcome.get();
        }
        if (m_remembered.size() >= MaxRemembered)
            m_remembered.clear();
        m_remembered[key] = Remembered{mine.get_future().share(), now + CacheLifetime};
    }
    m_hashing.acquire();
    // An account without a password costs the same work as a wrong password.
    const bool ok = verifyPassword(account.passwordHash.empty() ? m_dummyHash : account.passwordHash, password)
                    && !account.passwordHash.empty();
    m_hashing.release();
    mine.set_value(ok);
    return ok;
}

std::chrono::milliseconds Authenticator::refusalDelay(const std::string &peer)
{
    const auto now = std::chrono::steady_clock::now();
    std::chrono::milliseconds delay = FirstDelay;
    {
        std::lock_guard lock(m_lock);
        if (m_failures.size() >= MaxAddresses) {
            for (auto it = m_failures.begin(); it != m_failures.end();)
                it = now - it->second.last > FailureMemory ? m_failures.erase(it) : std::next(it);
            if (m_failures.size() >= MaxAddresses)
                m_failures.clear();
        }
        Failures &f = m_failures[peer];
        if (now - f.last > FailureMemory)
            f.count = 0;
        ++f.count;
        f.last = now;
        for (int i = FreeFailures; i < f.count && delay < MaxDelay; ++i)
            delay *= 2;
    }
    return std::min(delay, std::chrono::milliseconds(MaxDelay));
}

} // namespace dav
