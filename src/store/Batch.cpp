#include "store/Batch.h"

#include <thread>

namespace store {

Batch::~Batch()
{
    try {
        end();
    } catch (...) {
        // Nothing can be reported from a destructor; what was not committed is lost.
    }
}

void Batch::start()
{
    m_engine.begin();
    m_started = std::chrono::steady_clock::now();
    m_writes = 0;
    m_rolledBack = false;
}

void Batch::written()
{
    ++m_writes;
    if (m_grouped)
        return;
    if (m_writes >= m_limits.writes || std::chrono::steady_clock::now() - m_started >= m_limits.age) {
        commit();
        if (m_limits.pause.count() > 0)
            std::this_thread::sleep_for(m_limits.pause);
    }
}

void Batch::commitIfOld()
{
    if (!m_grouped && m_engine.inTransaction() && std::chrono::steady_clock::now() - m_started >= m_limits.age)
        commit();
}

void Batch::commit(bool durable)
{
    if (m_grouped)
        return;
    if (m_engine.inTransaction()) {
        try {
            m_engine.commit();
        } catch (...) {
            m_rolledBack = true;
            throw;
        }
        m_writes = 0;
    }
    if (durable)
        m_engine.sync();
}

void Batch::commitQuietly() noexcept
{
    try {
        commit();
    } catch (...) {
        rollback();
    }
}

void Batch::rollback() noexcept
{
    if (m_engine.inTransaction())
        m_rolledBack = true;
    m_engine.rollback();
}

void Batch::beginGroup()
{
    commit();
    m_grouped = true;
    m_groupLost = false;
}

void Batch::throwGroupLost()
{
    throw StoreError(Failure::IoError, 0,
                     "the store undid the open write group on its own after a failure; none of it was saved");
}

void Batch::commitGroup()
{
    if (m_grouped && (m_groupLost || (m_writes > 0 && !m_engine.inTransaction()))) {
        // The engine rolled the group's transaction back: committing now would save
        // nothing of it, and reporting success would hide that.
        m_grouped = false;
        m_groupLost = false;
        m_writes = 0;
        m_rolledBack = true;
        throwGroupLost();
    }
    m_grouped = false;
    commit();
}

void Batch::abandonGroup() noexcept
{
    if (!m_grouped)
        return;
    m_grouped = false;
    m_groupLost = false;
    rollback();
    m_writes = 0;
}

int Batch::lostWrites() noexcept
{
    if (m_engine.inTransaction() || m_writes == 0)
        return 0;
    const int lost = m_writes;
    m_writes = 0;
    m_rolledBack = true;
    if (m_grouped)
        m_groupLost = true;
    return lost;
}

void Batch::end()
{
    abandonGroup();
    commit(true);
    m_engine.tidy();
}

} // namespace store
