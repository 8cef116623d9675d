#include "ServerAdmin.h"

#include "AddressLists.h"
#include "Detail.h"
#include "PropTags.h"
#include "core/StoreLayout.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace messaging {

namespace {

constexpr std::string_view kAdministrator = "Administrator";
constexpr std::string_view kGlobalAddressList = "Global Address List";

store::Id globalList(store::Engine &e)
{
    auto list = e.addressListByName(kGlobalAddressList);
    if (!list)
        throw Error(ErrorCode::NotFound, "Address list \"Global Address List\" not found");
    return *list;
}

// Adds the entry (and for a mail user its mailbox); returns the entry's row id.
store::Id addUserRows(store::Engine &e, std::string_view name, const std::optional<std::string> &tag,
                      std::int32_t displayType, bool shared)
{
    if (name.empty())
        throw Error(ErrorCode::InvalidArgument, "A user needs a display name");
    // A store name begins every folder path into it: "Ann Lee/Calendar" would shadow the
    // paths of Ann Lee's folders.
    if (displayType == DisplayType::MailUser && name.find('/') != std::string_view::npos)
        throw Error(ErrorCode::InvalidArgument, "A mailbox user's display name cannot hold \"/\"");
    const std::string mailbox = "Mailbox - " + std::string(name);
    if (displayType == DisplayType::MailUser && e.storeByName(mailbox))
        throw Error(ErrorCode::InvalidArgument, "Store \"" + mailbox + "\" already exists");
    const store::Id entry = e.addAddressEntry(globalList(e), name, displayType);
    if (tag)
        e.setEntryField(entry, PropTag::OwnerTag, *tag);
    if (displayType != DisplayType::MailUser)
        return entry;
    const store::Id mailboxStore = e.addStore(mailbox, store::StoreKind::Mailbox, entry);
    const store::Id root = e.addFolder(mailboxStore, 0, "Top of Information Store");
    for (std::string_view folder : core::MailboxFolderNames)
        e.addFolder(mailboxStore, root, folder);
    auto admin = e.profile(kAdministrator);
    if (shared && admin)
        e.addShare(admin->id, mailboxStore);
    return entry;
}

store::Id mailboxStore(store::Engine &e, std::string_view name)
{
    auto id = e.storeByName(name);
    auto row = id ? e.store(*id) : std::nullopt;
    if (!row || row->kind != store::StoreKind::Mailbox)
        throw Error(ErrorCode::NotFound, "Mailbox store \"" + std::string(name) + "\" not found");
    return *id;
}

} // namespace

struct ServerAdmin::Impl {
    std::unique_ptr<store::Engine> engine;
    // Each change is committed at once, or held in the batch the caller opened.
    std::unique_ptr<store::Batch> batch;

    // Runs one administrative change atomically.
    template <class F>
    void change(F &&body)
    {
        try {
            batch->write(body, true);
        } catch (const store::StoreError &e) {
            batch->commitQuietly();
            throw detail::translate(e);
        } catch (...) {
            // Outside a batch the (empty) transaction ends now, not at the next change.
            batch->commitQuietly();
            throw;
        }
    }
    template <class F>
    auto read(F &&body) -> decltype(body())
    {
        try {
            return body();
        } catch (const store::StoreError &e) {
            throw detail::translate(e);
        }
    }
};

namespace {

// The standard layout of a new store, as one group.
void fillNewStore(store::Engine &e)
{
    store::Batch batch(e, store::Batch::EachOperation);
    batch.beginGroup();
    batch.write([&] {
        e.addAddressList(kGlobalAddressList);
        const store::Id pub = e.addStore(core::PublicStoreName, store::StoreKind::Public, 0);
        const store::Id root = e.addFolder(pub, 0, core::PublicStoreName);
        std::vector<store::Id> rootFolders;
        for (std::string_view name : core::PublicRootFolderNames)
            rootFolders.push_back(e.addFolder(pub, root, name));
        e.addFolder(pub, rootFolders.at(core::SharedCalendarParentPosition - 1), core::SharedCalendarName);
        const store::Id admin = addUserRows(e, kAdministrator, std::string("AD"), DisplayType::MailUser, false);
        e.addProfile(kAdministrator, admin);
    });
    batch.commitGroup();
    batch.end();
}

void createServerStore(const std::filesystem::path &location)
{
    std::unique_ptr<store::Engine> engine;
    try {
        engine = store::openEngine(location, store::OpenMode::Create);
    } catch (const store::StoreError &e) {
        if (e.failure() == store::Failure::NotAStore)
            throw Error(ErrorCode::InvalidArgument, e.what());
        throw detail::translate(e);
    }
    // From here on the tables are this call's own: a failure takes them away again.
    try {
        fillNewStore(*engine);
    } catch (const store::StoreError &e) {
        engine.reset();
        ServerAdmin::removeStore(location);
        throw detail::translate(e);
    } catch (...) {
        engine.reset();
        ServerAdmin::removeStore(location);
        throw;
    }
}

} // namespace

bool ServerAdmin::onServer(const std::filesystem::path &location)
{
    return store::isServerLocation(location.native());
}

void ServerAdmin::removeStore(const std::filesystem::path &location)
{
    try {
        store::removeStore(location);
    } catch (const store::StoreError &e) {
        throw detail::translate(e);
    }
}

void ServerAdmin::createStore(const std::filesystem::path &path)
{
    if (onServer(path))
        return createServerStore(path);
    std::error_code ec;
    if (std::filesystem::exists(path, ec))
        throw Error(ErrorCode::InvalidArgument, "Store file \"" + path.string() + "\" already exists");
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path(), ec);
    int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        throw Error(ErrorCode::PathFileAccessError, "Cannot create store file \"" + path.string() + "\"");
    ::close(fd);
    auto removeFiles = [&] {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        std::filesystem::remove(path.string() + "-wal", ignored);
        std::filesystem::remove(path.string() + "-shm", ignored);
    };
    try {
        fillNewStore(*store::openEngine(path, store::OpenMode::Create));
    } catch (const store::StoreError &e) {
        removeFiles();
        throw detail::translate(e);
    } catch (...) {
        removeFiles();
        throw;
    }
}

ServerAdmin::ServerAdmin(const std::filesystem::path &path) : m_impl(std::make_unique<Impl>())
{
    std::error_code ec;
    if (!onServer(path) && !std::filesystem::is_regular_file(path, ec))
        throw Error(ErrorCode::LogonFailed, "Store file \"" + path.string() + "\" not found");
    try {
        m_impl->engine = store::openEngine(path, store::OpenMode::Existing);
    } catch (const store::StoreError &e) {
        throw Error(ErrorCode::LogonFailed, "Cannot open the store: " + std::string(e.what()));
    }
    m_impl->batch = std::make_unique<store::Batch>(*m_impl->engine, store::Batch::EachOperation);
}

ServerAdmin::~ServerAdmin()
{
    // The batch's rule: what was committed is made durable, a batch still open is undone.
    m_impl->batch.reset();
}

void ServerAdmin::addUser(std::string_view name, std::optional<std::string> tag, std::int32_t displayType, bool shared)
{
    m_impl->change([&] { addUserRows(*m_impl->engine, name, tag, displayType, shared); });
}

void ServerAdmin::setEntryField(std::string_view entryName, std::uint32_t tag, std::string_view value)
{
    m_impl->change([&] {
        store::Engine &e = *m_impl->engine;
        auto entry = e.addressEntryByName(0, entryName);
        if (!entry)
            throw Error(ErrorCode::NotFound, "Address entry \"" + std::string(entryName) + "\" not found");
        e.setEntryField(*entry, tag, std::string(value));
    });
}

void ServerAdmin::share(std::string_view mailboxStoreName)
{
    m_impl->change([&] {
        store::Engine &e = *m_impl->engine;
        const store::Id store = mailboxStore(e, mailboxStoreName);
        auto admin = e.profile(kAdministrator);
        if (!admin)
            throw Error(ErrorCode::NotFound, "Profile \"Administrator\" not found");
        // The profile owner's own mailbox is always seen and never listed twice.
        if (admin->ownerEntry != 0 && e.store(store)->ownerEntry == admin->ownerEntry)
            return;
        e.addShare(admin->id, store);
    });
}

void ServerAdmin::unshare(std::string_view mailboxStoreName)
{
    m_impl->change([&] {
        store::Engine &e = *m_impl->engine;
        const store::Id store = mailboxStore(e, mailboxStoreName);
        if (auto admin = e.profile(kAdministrator))
            e.removeShare(admin->id, store);
    });
}

void ServerAdmin::addPublicFolder(std::string_view name)
{
    m_impl->change([&] {
        store::Engine &e = *m_impl->engine;
        if (name.empty() || name.find('/') != std::string_view::npos)
            throw Error(ErrorCode::InvalidArgument, "A folder needs a name without \"/\"");
        const auto stores = e.storesOfKind(store::StoreKind::Public);
        const auto root = stores.empty() ? std::nullopt : e.rootFolder(stores.front());
        const std::string parentName(core::SharedCalendarParentName);
        const std::string parentPath = std::string(core::PublicStoreName) + "/" + parentName;
        const auto all = root ? e.subfolder(*root, parentName) : std::nullopt;
        if (!all)
            throw Error(ErrorCode::NotFound,
                        "Folder \"" + parentName + "\" not found in \"" + std::string(core::PublicStoreName) + "\"");
        if (e.subfolder(*all, name))
            throw Error(ErrorCode::InvalidArgument,
                        "Folder \"" + std::string(name) + "\" already exists in \"" + parentPath + "\"");
        e.addFolder(stores.front(), *all, name);
    });
}

std::vector<UserInfo> ServerAdmin::users() const
{
    return m_impl->read([&] {
        store::Engine &e = *m_impl->engine;
        auto admin = e.profile(kAdministrator);
        std::vector<UserInfo> out;
        for (store::UserRow &row : e.users(admin ? admin->id : 0))
            out.push_back({std::move(row.name), row.displayType, std::move(row.tag), std::move(row.mailbox), row.shared});
        return out;
    });
}

std::vector<std::string> ServerAdmin::check() const
{
    return m_impl->read([&] { return m_impl->engine->check(); });
}

void ServerAdmin::beginBatch()
{
    m_impl->read([&] {
        if (!m_impl->batch->grouped())
            m_impl->batch->beginGroup();
    });
}

void ServerAdmin::commitBatch()
{
    m_impl->read([&] {
        if (m_impl->batch->grouped())
            m_impl->batch->commitGroup();
    });
}

} // namespace messaging
