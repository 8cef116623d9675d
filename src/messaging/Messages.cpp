#include "Messages.h"

#include "Detail.h"
#include "Message.h"

namespace messaging {

namespace {

void takeSnapshot(detail::SessionState &s, detail::MessagesState &m)
{
    if (m.ids)
        return;
    // The ids only, read at once: no cursor stays open across the writes that follow.
    m.ids = std::make_shared<const std::vector<std::int64_t>>(
        m.filter ? s.store().folderMessagesBySubject(m.folder, *m.filter) : s.store().folderMessages(m.folder));
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
        // Read when a property is first asked for: deleting by position needs no more.
        state->place = m_session->store().messagePlace(state->id);
        if (!state->place)
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

// Finds the member at the current position, passing over members deleted since the
// snapshot was taken.
void Messages::iterator::skipDeleted()
{
    if (!m_ids)
        return;
    while (m_pos < m_ids->size()) {
        auto state = std::make_shared<detail::MessageState>();
        state->id = (*m_ids)[m_pos];
        // Where it is tells whether it is still there; its row is read when a property is
        // first asked for (deleting each member needs no more).
        state->place = m_session->store().messagePlace(state->id);
        if (state->place) {
            m_session->prefetched = std::move(state);
            return;
        }
        ++m_pos;
    }
}

} // namespace messaging
