// StoreError: the one failure type of the storage engine.
//
// Every engine reports what went wrong as one of a few kinds that mean the same on
// every engine (the object model turns them into its numbered errors), plus the
// engine's own result code and message for the administrator.
#pragma once

#include <stdexcept>
#include <string>

namespace store {

enum class Failure {
    DiskFull,   // no room left for the store (a full disk, a size limit)
    IoError,    // reading, writing or syncing the store's files failed
    Busy,       // another connection held the store longer than the busy timeout
    NotAStore,  // the file or database is not a store of this program (or of a newer version)
    Constraint, // a row broke a rule of the schema
    Other,
};

class StoreError : public std::runtime_error {
public:
    StoreError(Failure failure, int engineCode, const std::string &message)
        : std::runtime_error(message), m_failure(failure), m_engineCode(engineCode)
    {
    }
    Failure failure() const noexcept { return m_failure; }
    // The engine's own result code (SQLite: the primary result code).
    int engineCode() const noexcept { return m_engineCode; }
    bool diskFull() const noexcept { return m_failure == Failure::DiskFull; }

private:
    Failure m_failure;
    int m_engineCode;
};

} // namespace store
