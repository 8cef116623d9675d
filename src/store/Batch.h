// Batch: the one way writes reach a store, and the one rule for a transaction still
// open when its session ends. The object model's sessions and the administrator's
// operations (ServerAdmin) both write through a Batch.
//
// Writes are operations (write()): each lands whole or not at all. A Batch gathers them
// into engine transactions so that they cost little:
//   - outside a group, it commits on its own once `Limits::writes` operations are in the
//     transaction or it is `Limits::age` old, and whenever its owner calls commit();
//   - inside a group (beginGroup ... commitGroup), nothing is committed before
//     commitGroup: all of the group lands, or none of it.
//
// The rule. When its session ends (Logoff, the release of the session, the end of an
// administrator's operations; end() or the destruction of the Batch), a Batch commits
// what it holds and makes it durable, except a group: a group still open then is rolled
// back, as is one abandoned (abandonGroup) or cut short by its process dying. What a
// process that dies had not committed is lost whole; an operation never lands in part.
//
// After a failure inside an operation the operation is undone and the Batch stays open
// (inside a group, the group stays open for its owner to commit or abandon). When the
// engine itself had to roll the whole transaction back (it does on some I/O errors),
// lostWrites() says how many committed-looking operations went with it. Inside a group
// such a loss breaks the group: every later write and commitGroup() throw StoreError
// until the group is abandoned, so a group never lands with only its later part.
//
// Not thread-safe; the engine must outlive the Batch.
#pragma once

#include "store/Engine.h"

#include <chrono>

namespace store {

class Batch {
public:
    struct Limits {
        int writes;                          // operations per transaction outside a group
        std::chrono::milliseconds age;       // the oldest a transaction grows outside a group
        std::chrono::microseconds pause;     // a rest after a full transaction, for other writers
    };
    // A session of the object model: batches of 1,000 operations or 100 ms.
    static constexpr Limits SessionLimits{1000, std::chrono::milliseconds(100), std::chrono::microseconds(300)};
    // Administration: every operation is committed at once.
    static constexpr Limits EachOperation{1, std::chrono::milliseconds(0), std::chrono::microseconds(0)};

    Batch(Engine &engine, Limits limits) : m_engine(engine), m_limits(limits) {}
    // end(), reporting nothing: see the rule.
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;

    // Runs one operation in the batch. With `several` (an operation of several engine
    // writes that are not atomic on their own) it runs inside a savepoint. An operation
    // inside another one counts as part of it.
    template <class Operation>
    void write(Operation &&operation, bool several = false);

    // Commits the transaction outside a group when it has grown old: call it before
    // each operation, so that other processes get their turn.
    void commitIfOld();
    // Commits what the batch holds (nothing inside a group); with durable, synced to the
    // disk as well. On a failure the transaction is rolled back and StoreError thrown.
    void commit(bool durable = false);
    // commit() for the moment after a failure: never throws; a transaction that cannot
    // be committed is rolled back.
    void commitQuietly() noexcept;

    // Groups do not nest: the caller checks grouped() first.
    void beginGroup();
    void commitGroup();
    void abandonGroup() noexcept;
    bool grouped() const { return m_grouped; }

    // How many operations of the open transaction the engine rolled back on its own;
    // counted once.
    int lostWrites() noexcept;
    // True when the last transaction was rolled back instead of committed (so what the
    // session had seen of it is gone).
    bool rolledBack() const { return m_rolledBack; }

    // The end of the session: the rule above. Throws StoreError when the last commit or
    // the sync fails (what was not committed is then lost).
    void end();

private:
    void start();
    void written();
    [[noreturn]] void throwGroupLost();
    void rollback() noexcept;

    Engine &m_engine;
    Limits m_limits;
    bool m_grouped = false;
    bool m_groupLost = false; // the engine undid the open group's transaction
    bool m_rolledBack = false;
    int m_depth = 0;
    int m_writes = 0;
    std::chrono::steady_clock::time_point m_started;
};

template <class Operation>
void Batch::write(Operation &&operation, bool several)
{
    if (!m_engine.inTransaction()) {
        if (m_grouped && (m_writes > 0 || m_groupLost))
            throwGroupLost();
        start();
    }
    if (several)
        m_engine.savepoint();
    ++m_depth;
    try {
        operation();
    } catch (...) {
        --m_depth;
        if (several)
            m_engine.rollbackToSavepoint();
        throw;
    }
    --m_depth;
    if (several)
        m_engine.releaseSavepoint();
    if (m_depth == 0)
        written();
}

} // namespace store
