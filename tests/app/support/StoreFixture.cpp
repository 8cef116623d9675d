#include "StoreFixture.h"

#include "core/Error.h"
#include "messaging/ServerAdmin.h"

#include <QDir>
#include <QStringList>

#include <sqlite3.h>

#include <stdexcept>

namespace testsupport {

StoreFixture::StoreFixture()
{
    m_hadStore = qEnvironmentVariableIsSet("LARKSPUR_STORE");
    m_hadDrive = qEnvironmentVariableIsSet("LARKSPUR_DRIVE_C");
    m_oldStore = qgetenv("LARKSPUR_STORE");
    m_oldDrive = qgetenv("LARKSPUR_DRIVE_C");
    if (!m_dir.isValid())
        return;
    QDir(m_dir.path()).mkpath(QStringLiteral("drive_c"));
    messaging::ServerAdmin::createStore(storePath().toStdString());
    qputenv("LARKSPUR_STORE", storePath().toLocal8Bit());
    qputenv("LARKSPUR_DRIVE_C", driveC().toLocal8Bit());
    m_valid = true;
}

StoreFixture::~StoreFixture()
{
    if (m_hadStore)
        qputenv("LARKSPUR_STORE", m_oldStore);
    else
        qunsetenv("LARKSPUR_STORE");
    if (m_hadDrive)
        qputenv("LARKSPUR_DRIVE_C", m_oldDrive);
    else
        qunsetenv("LARKSPUR_DRIVE_C");
}

QString StoreFixture::storePath() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("store.db"));
}

QString StoreFixture::driveC() const
{
    return QDir(m_dir.path()).filePath(QStringLiteral("drive_c"));
}

QString StoreFixture::dir() const
{
    return m_dir.path();
}

void StoreFixture::addUser(const std::string &name, std::optional<std::string> tag, std::int32_t displayType,
                           bool shared)
{
    messaging::ServerAdmin admin(storePath().toStdString());
    admin.addUser(name, std::move(tag), displayType, shared);
}

void StoreFixture::unshare(const std::string &mailboxStoreName)
{
    messaging::ServerAdmin admin(storePath().toStdString());
    admin.unshare(mailboxStoreName);
}

void StoreFixture::renameStore(const std::string &from, const std::string &to)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open(storePath().toLocal8Bit().constData(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open the store file");
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, "UPDATE stores SET name = ?1 WHERE name = ?2", -1, &statement, nullptr);
    sqlite3_bind_text(statement, 1, to.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, from.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(statement);
    const int changed = sqlite3_changes(db);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    if (rc != SQLITE_DONE || changed != 1)
        throw std::runtime_error("no store named " + from);
}

QStringList StoreFixture::check() const
{
    messaging::ServerAdmin admin(storePath().toStdString());
    QStringList problems;
    for (const std::string &problem : admin.check())
        problems.append(QString::fromStdString(problem));
    return problems;
}

} // namespace testsupport
