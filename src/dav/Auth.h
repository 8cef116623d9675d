// Authenticator: HTTP Basic logins against the accounts' Argon2id hashes.
//
// A login is the display name of a mail user exactly as listed; an account without a
// password cannot log in. A refusal is answered only after a delay that grows with
// the failures from that address (FirstDelay for the first few, doubling up to
// MaxDelay), so guessing is slow even with many connections. An unknown name costs the
// same hash work as a known one. At most two hashes are checked at once (each takes
// 64 MiB). The outcome of a check is remembered for CacheLifetime under the login, the
// stored hash and a keyed digest of the password (never the password itself), and
// requests that arrive together with the same credentials share one check. A whole
// Authorization header is remembered the same way (by its keyed digest, with the hash
// it was checked against), so a client's following requests cost neither decoding nor
// hash work, and a changed password ends that at once.
#pragma once

#include "dav/CalendarSource.h"
#include "dav/Http.h"

#include <array>
#include <chrono>
#include <cstring>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <unordered_map>

namespace dav {

class Authenticator {
public:
    static constexpr std::chrono::milliseconds FirstDelay{250};
    static constexpr std::chrono::milliseconds MaxDelay{8000};
    static constexpr int FreeFailures = 3;          // failures answered after FirstDelay
    static constexpr std::chrono::minutes FailureMemory{15};
    static constexpr std::chrono::minutes CacheLifetime{10};

    Authenticator();

    enum class Outcome { NoCredentials, Accepted, Refused };
    struct Result {
        Outcome outcome = Outcome::NoCredentials;
        Account account;
        std::string login;    // as sent, for the log
        std::chrono::milliseconds delay{0};  // a refusal: how long to wait before answering
    };
    // Reads the Authorization header and checks it in the snapshot. A refusal says how
    // long it is to wait; the caller waits after its snapshot has ended, so that slow
    // refusals hold nothing of the store.
    Result check(const Request &request, Snapshot &snapshot);

private:
    bool verify(const Account &account, const std::string &password);
    // The outcome for an Authorization header seen before (by its keyed digest), while
    // the account's stored hash is the one it was checked against.
    using Digest = std::array<unsigned char, 16>;
    struct DigestHash {
        // The digest is keyed already: any part of it spreads entries well.
        std::size_t operator()(const Digest &d) const noexcept
        {
            std::size_t h;
            std::memcpy(&h, d.data(), sizeof h);
            return h;
        }
    };
    std::optional<Result> recall(const Digest &seen, Snapshot &snapshot);
    void note(const Digest &seen, const std::string &login, const std::string &passwordHash, bool accepted);
    // Notes a failure from the address; the delay its refusal waits.
    std::chrono::milliseconds refusalDelay(const std::string &peer);

    struct Remembered {
        std::shared_future<bool> outcome;
        std::chrono::steady_clock::time_point until;
    };
    struct Failures {
        int count = 0;
        std::chrono::steady_clock::time_point last;
    };
    std::mutex m_lock;
    std::map<std::string, Remembered> m_remembered;   // by login, hash and digest
    struct Seen {
        std::string login;
        std::string passwordHash;
        bool accepted = false;
        std::chrono::steady_clock::time_point until;
    };
    std::unordered_map<Digest, Seen, DigestHash> m_headers;  // by keyed digest of the header
    std::map<std::string, Failures> m_failures;       // by address
    std::string m_key;                                // random, for this process only
    std::string m_headerKey;                          // the same, for header digests
    std::string m_dummyHash;                          // checked for unknown names
    std::counting_semaphore<2> m_hashing{2};
};

} // namespace dav
