// The event binding service: Events ("MSExchange.Events"), BoundFolder, Bindings,
// Binding.
//
// A folder's bindings live in the store as hidden binding messages beside the folder:
// they never appear among the folder's Messages, Session::GetMessage finds them by
// EntryID, and deleting a binding message removes the binding. The bound-folder record
// is the service's note that a folder carries bindings; the bindings themselves do not
// depend on it being saved.
#pragma once

#include "Handles.h"
#include "Session.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace messaging {

class BoundFolder;
class Bindings;
class Binding;

// The handler class of the service's script handler.
inline constexpr std::string_view ScriptHandlerClassId = "{69E54151-B371-11D0-BCD9-00AA00C1AB1C}";

class Events {
public:
    // Creates the object registered under that class name: only "MSExchange.Events".
    // Throws Error 429 for any other name.
    static std::unique_ptr<Events> Create(std::string_view className);

    // Every later operation acts in this session (which must be logged on).
    void SetSession(const messaging::Session &session);
    // The folder's bound-folder record. With create, a folder without one gets a new,
    // unsaved record; without it NotFound is thrown. InvalidArgument before SetSession.
    messaging::BoundFolder BoundFolder(const Folder &folder, bool create);

private:
    Events() = default;
    std::optional<messaging::Session> m_session;
};

class BoundFolder {
public:
    BoundFolder(detail::SessionPtr session, std::int64_t folderRowId, bool saved);
    // The folder's bindings: a snapshot taken at their first use (Count, Item or
    // enumeration), so deleting binding messages while enumerating still reaches every
    // binding that was there.
    messaging::Bindings Bindings() const;
    // Stores the bound-folder record.
    void SaveChanges();
    bool saved() const { return m_saved; }

private:
    detail::SessionPtr m_session;
    std::int64_t m_folder;
    bool m_saved;
};

class Binding {
public:
    // A binding not yet stored (from Bindings::Add) or a stored one (from enumeration).
    Binding(detail::SessionPtr session, std::int64_t folderRowId, std::int64_t bindingMessageRowId);

    std::string Name() const;
    void SetName(std::string_view name);
    bool Active() const;
    void SetActive(bool active);
    std::int16_t EventMask() const;
    void SetEventMask(std::int16_t mask);
    std::string HandlerClassID() const;
    void SetHandlerClassID(std::string_view classId);
    // Stores the binding (creating its hidden binding message on first save).
    void SaveChanges();
    // Entry identifier of the binding message; InvalidArgument before the first save.
    std::string EntryID() const;
    // The binding takes its handler data from that message, which must be its own
    // binding message (InvalidArgument otherwise).
    void SaveCustomChanges(const Message &bindingMessage);

private:
    detail::SessionPtr m_session;
    std::int64_t m_folder;
    std::int64_t m_message; // 0 until saved
    std::string m_name;
    bool m_active = false;
    std::int16_t m_mask = 0;
    std::string m_handler;
};

class Bindings {
public:
    Bindings(detail::SessionPtr session, std::int64_t folderRowId);
    std::int32_t Count() const;
    Binding Item(std::int32_t position) const;
    // A new binding on the folder, not stored until its SaveChanges.
    Binding Add() const;

    class iterator {
    public:
        using value_type = Binding;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        iterator(const Bindings *owner, std::size_t pos) : m_owner(owner), m_pos(pos) {}
        Binding operator*() const { return m_owner->Item(static_cast<std::int32_t>(m_pos + 1)); }
        iterator &operator++() { ++m_pos; return *this; }
        bool operator==(const iterator &o) const { return m_pos == o.m_pos; }

    private:
        const Bindings *m_owner = nullptr;
        std::size_t m_pos = 0;
    };
    iterator begin() const;
    iterator end() const;

private:
    const std::vector<std::int64_t> &ids() const;
    detail::SessionPtr m_session;
    std::int64_t m_folder;
    mutable std::shared_ptr<std::vector<std::int64_t>> m_ids;
};

} // namespace messaging
