#include "Messages.h"

#include "Detail.h"
#include "Message.h"

namespace messaging {

namespace {

// The smallest text greater than every text that begins with the prefix (bytewise), or
// nullopt when there is none (a prefix of 0xFF bytes only).
std::optional<std::string> prefixEnd(std::string prefix)
{
    while (!prefix.empty()) {
        auto &last = reinterpret_cast<unsigned char &>(prefix.back());
        if (last < 0xFF) {
            ++last;
            return prefix;
        }
        prefix.pop_back();
    }
    return std::nullopt;
}

void takeSnapshot(detail::SessionState &s, detail::MessagesState &m)
{
    if (m.ids)
        return;
    auto ids = std::make_shared<std::vector<std::int64_t>>();
    store::Database &db = s.database();
    if (!m.filter || m.filter->empty()) {
        auto q = db.query("SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 ORDER BY id");
        q.bind(1, m.folder);
        while (q.step())
            ids->push_back(q.int64(0));
    } else if (auto upper = prefixEnd(*m.filter)) {
        // A range on the subject index: letter case significant, the text only at the start.
        auto q = db.query("SELECT id FROM messages WHERE folder_id = ? AND hidden = 0 AND subject >= ? "
                          "AND subject < ? ORDER BY id");
        q.bind(1, m.folder).bind(2, std::string_view(*m.filter)).bind(3, std::string_view(*upper));
        while (q.step())
            ids->push_back(q.int64(0));
    } else {
        auto q = db.query("SELECT id, subject FROM messages WHERE folder_id = ? AND hidden = 0 AND subject >= ? "
                          "ORDER BY id");
        q.bind(1, m.folder).bind(2, std::string_view(*m.filter));
        while (q.step()) {
            if (q.text(1).starts_with(*m.filter))
                ids->push_back(q.int64(0));
        }
    }
    m.ids = std::move(ids);
}

} // namespace

MessageFilter::MessageFilter(std::shared_ptr<detail::MessagesState> state) : m_state(std::move(state)) {}

void MessageFilter::SetSubject(std::string_view prefix)
{
    faults::check("MessageFilter.SetSubject");
    m_state->filter = std::string(prefix);
    m_state->ids.reset();
}

std::optional<std::string> MessageFilter::Subject() const
{
    faults::check("MessageFilter.Subject");
    return m_state->filter;
}

Messages::Messages(detail::SessionPtr session, std::int64_t folderRowId)
    : m_session(std::move(session)), m_state(std::make_shared<detail::MessagesState>())
{
    m_state->folder = folderRowId;
}

std::int32_t Messages::Count() const
{
    return detail::guarded(m_session, "Messages.Count", [&] {
        takeSnapshot(*m_session, *m_state);
        return static_cast<std::int32_t>(m_state->ids->size());
    });
}

Message Messages::Item(std::int32_t position) const
{
    return detail::guarded(m_session, "Messages.Item", [&] {
        takeSnapshot(*m_session, *m_state);
        const auto &ids = *m_state->ids;
        if (position < 1 || static_cast<std::size_t>(position) > ids.size())
            throw Error(ErrorCode::InvalidArgument, "Message position " + std::to_string(position) +
                                                        " is outside 1.." + std::to_string(ids.size()) + " in \"" +
                                                        detail::folderPath(*m_session, m_state->folder) + "\"");
        auto state = std::make_shared<detail::MessageState>();
        state->id = ids[static_cast<std::size_t>(position - 1)];
        if (!detail::loadRow(*m_session, *state))
            throw Error(ErrorCode::NotFound, "Message at position " + std::to_string(position) + " of \"" +
                                                 detail::folderPath(*m_session, m_state->folder) +
                                                 "\" not found (it was deleted)");
        return Message(m_session, state);
    });
}

MessageFilter Messages::Filter() const
{
    faults::check("Messages.Filter");
    return MessageFilter(m_state);
}

Message Messages::Add() const
{
    return detail::guarded(m_session, "Messages.Add", [&] {
        if (!detail::folderExists(*m_session, m_state->folder))
            throw Error(ErrorCode::NotFound, "Folder not found (it was removed)");
        auto state = std::make_shared<detail::MessageState>();
        state->loaded = true;
        state->fieldsLoaded = true;
        state->row.folder = m_state->folder;
        return Message(m_session, state);
    });
}

Messages::iterator Messages::begin() const
{
    return detail::guarded(m_session, "Messages.begin", [&] {
        takeSnapshot(*m_session, *m_state);
        return iterator(m_session, m_state->ids, 0);
    });
}

Messages::iterator Messages::end() const
{
    return detail::guarded(m_session, "Messages.end", [&] {
        takeSnapshot(*m_session, *m_state);
        return iterator(m_session, m_state->ids, m_state->ids->size());
    });
}

Messages::iterator::iterator(detail::SessionPtr s, std::shared_ptr<const std::vector<std::int64_t>> ids,
                             std::size_t pos)
    : m_session(std::move(s)), m_ids(std::move(ids)), m_pos(pos)
{
    skipDeleted();
}

Message Messages::iterator::operator*() const
{
    std::int64_t id = (*m_ids)[m_pos];
    auto &pre = m_session->prefetched;
    if (pre && pre->id == id)
        return Message(m_session, pre);
    auto state = std::make_shared<detail::MessageState>();
    state->id = id;
    return Message(m_session, state);
}

Messages::iterator &Messages::iterator::operator++()
{
    detail::guarded(m_session, "Messages.iterator.next", [&] {
        ++m_pos;
        skipDeleted();
    });
    return *this;
}

// Loads the member at the current position, passing over members deleted since the
// snapshot was taken.
void Messages::iterator::skipDeleted()
{
    if (!m_ids)
        return;
    while (m_pos < m_ids->size()) {
        auto state = std::make_shared<detail::MessageState>();
        state->id = (*m_ids)[m_pos];
        if (detail::loadRow(*m_session, *state)) {
            m_session->prefetched = std::move(state);
            return;
        }
        ++m_pos;
    }
}

} // namespace messaging
