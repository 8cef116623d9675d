// The work of the five event-script pages.
//
// A script is installed as one binding on a folder: the binding is saved first (which
// gives it its binding message), then the script text goes into that message and the
// binding takes its handler data from it. A failure after the binding's first save
// deletes its binding message again, so no folder keeps a binding without its script.
#include "ScriptActions.h"

#include "messaging/AddressLists.h"
#include "messaging/Error.h"
#include "messaging/Events.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/PropTags.h"
#include "textfile/DrivePath.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>

namespace scripts {

namespace {

constexpr std::string_view EventsClassName = "MSExchange.Events";
constexpr std::string_view GlobalAddressList = "Global Address List";
constexpr std::string_view MailboxPrefix = "Mailbox - ";
constexpr std::string_view AdministratorMailbox = "Mailbox - Administrator";

[[noreturn]] void fileError(std::int32_t number, const std::string &what, const std::string &path)
{
    throw messaging::Error(number, what + ": " + path);
}

// The whole file as bytes, or the file error that says why it cannot be read.
std::string readFileBytes(const std::string &path)
{
    if (path.empty())
        fileError(messaging::ErrorCode::PathFileAccessError, "Path/File access error", path);
    const std::filesystem::path local = textfile::drivePath(path);
    std::error_code ec;
    const auto status = std::filesystem::status(local, ec);
    if (!std::filesystem::exists(status)) {
        const std::filesystem::path folder = local.parent_path();
        if (!folder.empty() && !std::filesystem::is_directory(folder, ec))
            fileError(messaging::ErrorCode::PathNotFound, "Path not found", path);
        fileError(messaging::ErrorCode::FileNotFound, "File not found", path);
    }
    if (std::filesystem::is_directory(status))
        fileError(messaging::ErrorCode::PathFileAccessError, "Path/File access error", path);

    std::ifstream in(local, std::ios::binary);
    if (!in)
        fileError(messaging::ErrorCode::PathFileAccessError, "Path/File access error", path);
    std::string bytes;
    const auto size = std::filesystem::file_size(local, ec);
    if (!ec)
        bytes.reserve(static_cast<std::size_t>(size));
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        fileError(messaging::ErrorCode::PathFileAccessError, "Path/File access error", path);
    return bytes;
}

messaging::Folder folderOf(messaging::Session &session, std::string_view storeName, std::string_view folderName)
{
    return session.InfoStores().Item(storeName).RootFolder().Folders().Item(folderName);
}

std::unique_ptr<messaging::Events> newEvents(messaging::Session &session)
{
    std::unique_ptr<messaging::Events> events = messaging::Events::Create(EventsClassName);
    events->SetSession(session);
    return events;
}

// Removes a binding whose installation failed. The original failure is what the page
// reports, so a failure here is swallowed: it cannot be reported any better.
void removeHalfMadeBinding(messaging::Session &session, const messaging::Binding &binding,
                           std::optional<messaging::Message> &bindingMessage)
{
    try {
        if (!bindingMessage)
            bindingMessage = session.GetMessage(binding.EntryID());
        bindingMessage->Delete();
    } catch (const messaging::Error &) {
    }
}

// The installation steps on one folder, in their fixed order, with a fresh events object.
void installOnFolder(messaging::Session &session, const messaging::Folder &folder, const ScriptInstall &install,
                     const std::string &scriptText)
{
    const std::unique_ptr<messaging::Events> events = newEvents(session);
    messaging::BoundFolder bound = events->BoundFolder(folder, true);
    messaging::Binding binding = bound.Bindings().Add();
    binding.SetName(install.scriptName);
    binding.SetActive(true);
    binding.SetEventMask(install.eventMask);
    binding.SetHandlerClassID(messaging::ScriptHandlerClassId);
    binding.SaveChanges();

    std::optional<messaging::Message> bindingMessage;
    try {
        bindingMessage = session.GetMessage(binding.EntryID());
        bindingMessage->Fields().Item(messaging::PropTag::ScriptText).SetValue(scriptText);
        bindingMessage->Update();
        binding.SaveCustomChanges(*bindingMessage);
        bound.SaveChanges();
    } catch (const messaging::Error &) {
        removeHalfMadeBinding(session, binding, bindingMessage);
        throw;
    }
}

// Deletes the binding messages of one folder's bindings; returns how many.
int deleteBindings(messaging::Session &session, messaging::Events &events, const messaging::Folder &folder)
{
    const messaging::BoundFolder bound = events.BoundFolder(folder, true);
    int deleted = 0;
    for (const messaging::Binding binding : bound.Bindings()) {
        session.GetMessage(binding.EntryID()).Delete();
        ++deleted;
    }
    return deleted;
}

bool isProcessedUser(const messaging::AddressEntry &entry, std::string &storeName)
{
    if (entry.DisplayType() != messaging::DisplayType::MailUser)
        return false;
    storeName = std::string(MailboxPrefix) + entry.Name();
    return storeName != AdministratorMailbox;
}

// The number of mailboxes the walk will visit, for a progress total; -1 when the list
// cannot be read (the walk itself then meets the failure).
std::int64_t countUserMailboxes(const messaging::AddressEntries &entries)
{
    try {
        std::int64_t users = 0;
        std::string storeName;
        for (const messaging::AddressEntry entry : entries)
            users += isProcessedUser(entry, storeName) ? 1 : 0;
        return users;
    } catch (const messaging::Error &) {
        return -1;
    }
}

// Every mail user's mailbox store name but the administrator's, in address-list order;
// `visit` is called for each as the walk reaches it and returns the bindings it did.
template <typename Visit>
void forEachUserMailbox(messaging::Session &session, const char *stage, const actions::ProgressCallback &progress,
                        Visit visit)
{
    const messaging::AddressLists lists = session.AddressLists();
    const messaging::AddressEntries entries = lists.Item(GlobalAddressList).AddressEntries();
    actions::Progress done{stage};
    if (progress) {
        done.usersTotal = countUserMailboxes(lists.Item(GlobalAddressList).AddressEntries());
        progress(done);
    }
    std::string storeName;
    for (const messaging::AddressEntry entry : entries) {
        if (!isProcessedUser(entry, storeName))
            continue;
        done.itemsDone += visit(storeName);
        ++done.usersDone;
        actions::report(progress, done);
    }
}

} // namespace

std::int16_t oneUserEventMask(const EventBoxes &b)
{
    return static_cast<std::int16_t>((b.schedule ? 1 : 0) + (b.isNew ? 2 : 0) + (b.changed ? 4 : 0)
                                     + (b.deleted ? 8 : 0));
}

std::int16_t allUsersEventMask(const EventBoxes &b)
{
    return static_cast<std::int16_t>((b.isNew ? 1 : 0) + (b.changed ? 2 : 0) + (b.deleted ? 4 : 0)
                                     + (b.schedule ? 8 : 0));
}

std::string readScriptText(const std::string &path)
{
    const std::string bytes = readFileBytes(path);
    std::string text;
    text.reserve(bytes.size() + bytes.size() / 16 + 2);
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t lineEnd = bytes.find_first_of("\r\n", pos);
        text += "\r\n";
        if (lineEnd == std::string::npos) {
            text.append(bytes, pos, std::string::npos);
            break;
        }
        text.append(bytes, pos, lineEnd - pos);
        pos = lineEnd + 1;
        // A line feed right after a carriage return ends the same line.
        if (bytes[lineEnd] == '\r' && pos < bytes.size() && bytes[pos] == '\n')
            ++pos;
    }
    return text;
}

void installScript(messaging::Session &session, std::string_view storeName, const ScriptInstall &install)
{
    const messaging::Folder folder = folderOf(session, storeName, install.folderName);
    const std::string scriptText = readScriptText(install.scriptPath);
    installOnFolder(session, folder, install, scriptText);
}

int installScriptForAllUsers(messaging::Session &session, const ScriptInstall &install,
                             const actions::ProgressCallback &progress)
{
    int installed = 0;
    forEachUserMailbox(session, "install", progress, [&](const std::string &storeName) {
        // The file is read again for every user, so each binding gets the file as it is now.
        installScript(session, storeName, install);
        ++installed;
        return 1;
    });
    return installed;
}

int deleteFolderScripts(messaging::Session &session, std::string_view storeName, std::string_view folderName)
{
    const messaging::Folder folder = folderOf(session, storeName, folderName);
    const std::unique_ptr<messaging::Events> events = newEvents(session);
    return deleteBindings(session, *events, folder);
}

int deleteMailboxScripts(messaging::Session &session, std::string_view storeName)
{
    // Only the folders directly below the root: deeper folders keep their bindings.
    const messaging::Folders folders = session.InfoStores().Item(storeName).RootFolder().Folders();
    const std::unique_ptr<messaging::Events> events = newEvents(session);
    int deleted = 0;
    for (const messaging::Folder folder : folders)
        deleted += deleteBindings(session, *events, folder);
    return deleted;
}

int deleteAllMailboxScripts(messaging::Session &session, const actions::ProgressCallback &progress)
{
    int deleted = 0;
    // deleteMailboxScripts makes a fresh events object for every mailbox.
    forEachUserMailbox(session, "remove", progress, [&](const std::string &storeName) {
        const int removed = deleteMailboxScripts(session, storeName);
        deleted += removed;
        return removed;
    });
    return deleted;
}

} // namespace scripts
