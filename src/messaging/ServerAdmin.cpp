#include "ServerAdmin.h"

#include "AddressLists.h"
#include "Detail.h"
#include "PropTags.h"
#include "core/StoreLayout.h"
#include "store/PrivateItems.h"
#include "store/Schema.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

namespace messaging {

namespace {

constexpr std::string_view kAdministrator = "Administrator";
constexpr std::string_view kGlobalAddressList = "Global Address List";

std::int64_t insertFolder(store::Database &db, std::int64_t store, std::int64_t parent, std::string_view name)
{
    auto q = db.query("INSERT INTO folders(store_id, parent_id, name) VALUES(?, ?, ?)");
    q.bind(1, store);
    if (parent)
        q.bind(2, parent);
    else
        q.bindNull(2);
    q.bind(3, name).run();
    return db.lastInsertRowid();
}

std::int64_t profileId(store::Database &db, std::string_view name)
{
    auto q = db.query("SELECT id FROM profiles WHERE name = ?");
    q.bind(1, name);
    return q.step() ? q.int64(0) : 0;
}

std::int64_t globalList(store::Database &db)
{
    auto q = db.query("SELECT id FROM address_lists WHERE name = ?");
    q.bind(1, kGlobalAddressList);
    if (!q.step())
        throw Error(ErrorCode::NotFound, "Address list \"Global Address List\" not found");
    return q.int64(0);
}

std::optional<std::int64_t> storeByName(store::Database &db, std::string_view name)
{
    auto q = db.query("SELECT id FROM stores WHERE name = ?");
    q.bind(1, name);
    if (!q.step())
        return std::nullopt;
    return q.int64(0);
}

// Adds the entry (and for a mail user its mailbox); returns the entry's row id.
std::int64_t addUserRows(store::Database &db, std::string_view name, const std::optional<std::string> &tag,
                         std::int32_t displayType, bool shared)
{
    if (name.empty())
        throw Error(ErrorCode::InvalidArgument, "A user needs a display name");
    // A store name begins every folder path into it: "Ann Lee/Calendar" would shadow the
    // paths of Ann Lee's folders.
    if (displayType == DisplayType::MailUser && name.find('/') != std::string_view::npos)
        throw Error(ErrorCode::InvalidArgument, "A mailbox user's display name cannot hold \"/\"");
    std::string mailbox = "Mailbox - " + std::string(name);
    if (displayType == DisplayType::MailUser && storeByName(db, mailbox))
        throw Error(ErrorCode::InvalidArgument, "Store \"" + mailbox + "\" already exists");
    std::int64_t list = globalList(db);
    db.query("INSERT INTO address_entries(list_id, name, display_type) VALUES(?, ?, ?)")
        .bind(1, list)
        .bind(2, name)
        .bind(3, std::int64_t(displayType))
        .run();
    std::int64_t entry = db.lastInsertRowid();
    if (tag) {
        db.query("INSERT INTO entry_fields(entry_id, tag, type, value) VALUES(?, ?, ?, ?)")
            .bind(1, entry)
            .bind(2, std::int64_t(PropTag::OwnerTag))
            .bind(3, store::FieldText)
            .bind(4, std::string_view(*tag))
            .run();
    }
    if (displayType != DisplayType::MailUser)
        return entry;
    db.query("INSERT INTO stores(name, kind, owner_entry) VALUES(?, ?, ?)")
        .bind(1, std::string_view(mailbox))
        .bind(2, store::MailboxStore)
        .bind(3, entry)
        .run();
    std::int64_t store = db.lastInsertRowid();
    std::int64_t root = insertFolder(db, store, 0, "Top of Information Store");
    for (std::string_view folder : core::MailboxFolderNames)
        insertFolder(db, store, root, folder);
    std::int64_t admin = profileId(db, kAdministrator);
    if (shared && admin) {
        db.query("INSERT OR IGNORE INTO shares(profile_id, store_id) VALUES(?, ?)").bind(1, admin).bind(2, store).run();
    }
    return entry;
}

} // namespace

struct ServerAdmin::Impl {
    std::unique_ptr<store::Database> db;
    bool batch = false;

    // Runs one administrative change atomically (a savepoint inside a batch).
    template <class F>
    auto change(F &&body) -> decltype(body())
    {
        try {
            if (batch) {
                db->query("SAVEPOINT admin").run();
            } else {
                db->query("BEGIN IMMEDIATE").run();
            }
            try {
                if constexpr (std::is_void_v<decltype(body())>) {
                    body();
                    finish();
                } else {
                    auto result = body();
                    finish();
                    return result;
                }
            } catch (...) {
                undo();
                throw;
            }
        } catch (const store::DbError &e) {
            throw detail::translate(e);
        }
    }
    void finish()
    {
        if (batch)
            db->query("RELEASE admin").run();
        else
            db->query("COMMIT").run();
    }
    void undo() noexcept
    {
        try {
            if (batch) {
                db->query("ROLLBACK TO admin").run();
                db->query("RELEASE admin").run();
            } else if (db->inTransaction()) {
                db->exec("ROLLBACK");
            }
        } catch (...) {
        }
    }
    template <class F>
    auto read(F &&body) -> decltype(body())
    {
        try {
            return body();
        } catch (const store::DbError &e) {
            throw detail::translate(e);
        }
    }
};

void ServerAdmin::createStore(const std::filesystem::path &path)
{
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
        auto db = store::Database::open(path, true, store::SchemaVersion);
        db->setWriteHook(&faults::noteWrite);
        store::createSchema(*db);
        db->query("BEGIN IMMEDIATE").run();
        try {
            db->query("INSERT INTO address_lists(name) VALUES(?)").bind(1, kGlobalAddressList).run();
            db->query("INSERT INTO stores(name, kind) VALUES(?, ?)")
                .bind(1, core::PublicStoreName)
                .bind(2, store::PublicStore)
                .run();
            std::int64_t pub = db->lastInsertRowid();
            std::int64_t root = insertFolder(*db, pub, 0, core::PublicStoreName);
            std::vector<std::int64_t> rootFolders;
            for (std::string_view name : core::PublicRootFolderNames)
                rootFolders.push_back(insertFolder(*db, pub, root, name));
            insertFolder(*db, pub, rootFolders.at(core::SharedCalendarParentPosition - 1), core::SharedCalendarName);
            std::int64_t admin = addUserRows(*db, kAdministrator, std::string("AD"), DisplayType::MailUser, false);
            db->query("INSERT INTO profiles(name, owner_entry) VALUES(?, ?)").bind(1, kAdministrator).bind(2, admin).run();
            db->query("COMMIT").run();
        } catch (...) {
            if (db->inTransaction())
                db->exec("ROLLBACK");
            throw;
        }
        db->exec("PRAGMA wal_checkpoint(TRUNCATE)");
    } catch (const store::DbError &e) {
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
    if (!std::filesystem::is_regular_file(path, ec))
        throw Error(ErrorCode::LogonFailed, "Store file \"" + path.string() + "\" not found");
    try {
        m_impl->db = store::openStore(path);
    } catch (const store::DbError &e) {
        throw Error(ErrorCode::LogonFailed, "Cannot open the store: " + std::string(e.what()));
    }
    m_impl->db->setWriteHook(&faults::noteWrite);
}

ServerAdmin::~ServerAdmin()
{
    try {
        if (m_impl->db->inTransaction())
            m_impl->db->query("COMMIT").run();
        m_impl->db->syncToDisk();
        m_impl->db->exec("PRAGMA wal_checkpoint(PASSIVE)");
    } catch (...) {
    }
}

void ServerAdmin::addUser(std::string_view name, std::optional<std::string> tag, std::int32_t displayType, bool shared)
{
    m_impl->change([&] { addUserRows(*m_impl->db, name, tag, displayType, shared); });
}

void ServerAdmin::setEntryField(std::string_view entryName, std::uint32_t tag, std::string_view value)
{
    m_impl->change([&] {
        store::Database &db = *m_impl->db;
        auto q = db.query("SELECT id FROM address_entries WHERE name = ? ORDER BY id LIMIT 1");
        q.bind(1, entryName);
        if (!q.step())
            throw Error(ErrorCode::NotFound, "Address entry \"" + std::string(entryName) + "\" not found");
        std::int64_t entry = q.int64(0);
        q.reset();
        db.query("INSERT OR REPLACE INTO entry_fields(entry_id, tag, type, value) VALUES(?, ?, ?, ?)")
            .bind(1, entry)
            .bind(2, std::int64_t(tag))
            .bind(3, store::FieldText)
            .bind(4, value)
            .run();
    });
}

namespace {

std::int64_t mailboxStore(store::Database &db, std::string_view name)
{
    auto q = db.query("SELECT id, kind FROM stores WHERE name = ?");
    q.bind(1, name);
    if (!q.step() || q.int64(1) != store::MailboxStore)
        throw Error(ErrorCode::NotFound, "Mailbox store \"" + std::string(name) + "\" not found");
    return q.int64(0);
}

} // namespace

void ServerAdmin::share(std::string_view mailboxStoreName)
{
    m_impl->change([&] {
        store::Database &db = *m_impl->db;
        std::int64_t store = mailboxStore(db, mailboxStoreName);
        std::int64_t admin = profileId(db, kAdministrator);
        if (!admin)
            throw Error(ErrorCode::NotFound, "Profile \"Administrator\" not found");
        // The profile owner's own mailbox is always seen and never listed twice.
        auto own = db.query("SELECT 1 FROM stores s JOIN profiles p ON p.owner_entry = s.owner_entry "
                            "WHERE s.id = ? AND p.id = ?");
        own.bind(1, store).bind(2, admin);
        if (own.step())
            return;
        own.reset();
        db.query("INSERT OR IGNORE INTO shares(profile_id, store_id) VALUES(?, ?)").bind(1, admin).bind(2, store).run();
    });
}

void ServerAdmin::unshare(std::string_view mailboxStoreName)
{
    m_impl->change([&] {
        store::Database &db = *m_impl->db;
        std::int64_t store = mailboxStore(db, mailboxStoreName);
        std::int64_t admin = profileId(db, kAdministrator);
        db.query("DELETE FROM shares WHERE profile_id = ? AND store_id = ?").bind(1, admin).bind(2, store).run();
    });
}

void ServerAdmin::addPublicFolder(std::string_view name)
{
    m_impl->change([&] {
        store::Database &db = *m_impl->db;
        if (name.empty() || name.find('/') != std::string_view::npos)
            throw Error(ErrorCode::InvalidArgument, "A folder needs a name without \"/\"");
        auto q = db.query("SELECT f.id, f.store_id FROM folders f JOIN stores s ON s.id = f.store_id "
                          "WHERE s.kind = ? AND f.name = 'All Public Folders' ORDER BY f.id LIMIT 1");
        q.bind(1, store::PublicStore);
        if (!q.step())
            throw Error(ErrorCode::NotFound, "Folder \"All Public Folders\" not found in \"Public Folders\"");
        std::int64_t parent = q.int64(0);
        std::int64_t store = q.int64(1);
        q.reset();
        auto dup = db.query("SELECT 1 FROM folders WHERE parent_id = ? AND name = ?");
        dup.bind(1, parent).bind(2, name);
        if (dup.step())
            throw Error(ErrorCode::InvalidArgument,
                        "Folder \"" + std::string(name) + "\" already exists in \"Public Folders/All Public Folders\"");
        dup.reset();
        insertFolder(db, store, parent, name);
    });
}

std::vector<UserInfo> ServerAdmin::users() const
{
    return m_impl->read([&] {
        store::Database &db = *m_impl->db;
        std::vector<UserInfo> out;
        std::int64_t admin = profileId(db, kAdministrator);
        auto q = db.query(
            "SELECT e.id, e.name, e.display_type, "
            "  (SELECT value FROM entry_fields f WHERE f.entry_id = e.id AND f.tag = ?), "
            "  (SELECT name FROM stores s WHERE s.owner_entry = e.id AND s.kind = ? ORDER BY s.id LIMIT 1), "
            "  (SELECT count(*) FROM stores s JOIN shares sh ON sh.store_id = s.id "
            "     WHERE s.owner_entry = e.id AND sh.profile_id = ?), "
            "  (SELECT count(*) FROM profiles p WHERE p.id = ? AND p.owner_entry = e.id) "
            "FROM address_entries e ORDER BY e.name COLLATE NOCASE, e.id");
        q.bind(1, std::int64_t(PropTag::OwnerTag)).bind(2, store::MailboxStore).bind(3, admin).bind(4, admin);
        while (q.step()) {
            UserInfo u;
            u.name = q.text(1);
            u.displayType = static_cast<std::int32_t>(q.int64(2));
            u.tag = q.optText(3);
            u.mailbox = q.optText(4);
            u.shared = u.mailbox && (q.int64(5) > 0 || q.int64(6) > 0);
            out.push_back(std::move(u));
        }
        return out;
    });
}

std::vector<std::string> ServerAdmin::check() const
{
    return m_impl->read([&] {
        store::Database &db = *m_impl->db;
        std::vector<std::string> faults;
        {
            auto q = db.query("PRAGMA integrity_check");
            while (q.step()) {
                std::string line = q.text(0);
                if (line != "ok")
                    faults.push_back("integrity: " + line);
            }
        }
        {
            auto q = db.query("PRAGMA foreign_key_check");
            while (q.step())
                faults.push_back("dangling reference in table " + q.text(0) + " row " + std::to_string(q.int64(1)));
        }
        auto expectCount = [&](const char *sql, std::int64_t expected, const std::string &what) {
            auto q = db.query(sql);
            if (q.step() && q.int64(0) != expected)
                faults.push_back(what + " (found " + std::to_string(q.int64(0)) + ")");
        };
        auto expectNone = [&](const char *sql, const std::string &what) {
            auto q = db.query(sql);
            while (q.step())
                faults.push_back(what + ": " + q.text(0));
        };
        expectCount("SELECT count(*) FROM stores WHERE kind = 0", 1, "the server must hold exactly one public store");
        expectCount("SELECT count(*) FROM address_lists WHERE name = 'Global Address List'", 1,
                    "the server must hold the address list \"Global Address List\"");
        expectCount("SELECT count(*) FROM profiles WHERE name = 'Administrator'", 1,
                    "the server must hold the profile \"Administrator\"");
        expectNone("SELECT s.name FROM stores s WHERE (SELECT count(*) FROM folders f WHERE f.store_id = s.id "
                   "AND f.parent_id IS NULL) <> 1",
                   "store without exactly one root folder");
        expectNone("SELECT f.name FROM folders f JOIN folders p ON p.id = f.parent_id WHERE p.store_id <> f.store_id",
                   "folder in another store than its parent");
        expectNone("SELECT s.name FROM stores s WHERE s.kind = 1 AND NOT EXISTS (SELECT 1 FROM folders r "
                   "JOIN folders c ON c.parent_id = r.id WHERE r.store_id = s.id AND r.parent_id IS NULL "
                   "AND c.name = 'Calendar')",
                   "mailbox without a \"Calendar\" folder");
        expectNone("SELECT s.name FROM stores s WHERE s.kind = 1 AND s.name <> 'Mailbox - ' || "
                   "coalesce((SELECT e.name FROM address_entries e WHERE e.id = s.owner_entry), '')",
                   "mailbox whose name does not match its owner");
        expectNone("SELECT m.id FROM messages m WHERE m.hidden = 1 AND NOT EXISTS "
                   "(SELECT 1 FROM bindings b WHERE b.message_id = m.id)",
                   "hidden message that holds no binding");
        expectNone("SELECT b.message_id FROM bindings b JOIN messages m ON m.id = b.message_id WHERE m.hidden = 0",
                   "binding held by a visible message");
        {
            auto q = db.query("SELECT id, categories FROM messages WHERE categories IS NOT NULL");
            while (q.step()) {
                std::string text = q.text(1);
                if (detail::encodeList(detail::decodeList(text)) != text)
                    faults.push_back("message " + std::to_string(q.int64(0)) + " has malformed categories");
            }
        }
        // Every calendar action walks to the shared calendar: the public store's root, its
        // second subfolder, in that "Larkspur Calendar".
        {
            auto q = db.query("SELECT EXISTS (SELECT 1 FROM folders c WHERE c.name = ? AND "
                              "c.parent_id = (SELECT id FROM folders WHERE parent_id = (SELECT r.id FROM folders r "
                              "JOIN stores s ON s.id = r.store_id WHERE s.kind = 0 AND r.parent_id IS NULL "
                              "ORDER BY r.id LIMIT 1) ORDER BY id LIMIT 1 OFFSET ?))");
            q.bind(1, core::SharedCalendarName).bind(2, std::int64_t(core::SharedCalendarParentPosition - 1));
            if (q.step() && q.int64(0) == 0)
                faults.push_back("no shared calendar: the second folder of the public store's root holds no "
                                 "\"Larkspur Calendar\", which every calendar action needs");
        }
        for (std::string &leak : store::privateItemLeaks(db))
            faults.push_back(std::move(leak));
        return faults;
    });
}

void ServerAdmin::beginBatch()
{
    m_impl->read([&] {
        if (!m_impl->batch) {
            m_impl->db->query("BEGIN IMMEDIATE").run();
            m_impl->batch = true;
        }
    });
}

void ServerAdmin::commitBatch()
{
    m_impl->read([&] {
        if (m_impl->batch) {
            m_impl->batch = false;
            m_impl->db->query("COMMIT").run();
        }
    });
}

} // namespace messaging
