// Helpers of the script work tests: bindings made and read through the event service
// itself, and script files written byte for byte.
#pragma once

#include "WorkStore.h"

#include "messaging/Events.h"
#include "messaging/PropTags.h"

#include <fstream>
#include <string>
#include <vector>

namespace worktest {

struct BindingInfo {
    std::string name;
    bool active = false;
    std::int16_t mask = 0;
    std::string handler;
    std::string script;
    bool operator==(const BindingInfo &) const = default;
};

inline messaging::Folder folderAt(messaging::Session &session, const std::string &storeName,
                                  const std::vector<std::string> &path)
{
    messaging::Folder folder = session.InfoStores().Item(storeName).RootFolder();
    for (const std::string &name : path)
        folder = folder.Folders().Item(name);
    return folder;
}

inline std::vector<BindingInfo> bindingsOf(messaging::Session &session, const messaging::Folder &folder)
{
    auto events = messaging::Events::Create("MSExchange.Events");
    events->SetSession(session);
    std::vector<BindingInfo> out;
    for (const messaging::Binding b : events->BoundFolder(folder, true).Bindings()) {
        const messaging::Field field =
            session.GetMessage(b.EntryID()).Fields().Item(messaging::PropTag::ScriptText);
        out.push_back({b.Name(), b.Active(), b.EventMask(), b.HandlerClassID(),
                       field.Exists() ? field.Text() : std::string("<no script>")});
    }
    return out;
}

// A complete binding made without the code under test; returns its entry id.
inline std::string addBinding(messaging::Session &session, const messaging::Folder &folder, const std::string &name)
{
    auto events = messaging::Events::Create("MSExchange.Events");
    events->SetSession(session);
    messaging::BoundFolder bound = events->BoundFolder(folder, true);
    messaging::Binding binding = bound.Bindings().Add();
    binding.SetName(name);
    binding.SetActive(true);
    binding.SetEventMask(1);
    binding.SetHandlerClassID(messaging::ScriptHandlerClassId);
    binding.SaveChanges();
    messaging::Message message = session.GetMessage(binding.EntryID());
    message.Fields().Item(messaging::PropTag::ScriptText).SetValue(std::string("\r\nrem ") + name);
    message.Update();
    binding.SaveCustomChanges(message);
    bound.SaveChanges();
    return binding.EntryID();
}

inline void writeBytes(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace worktest
