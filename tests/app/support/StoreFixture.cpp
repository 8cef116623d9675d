#include "StoreFixture.h"

#include "messaging/Error.h"
#include "messaging/ServerAdmin.h"

#include <QDir>
#include <QStringList>

#include "TestStores.h"

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
    m_location = QString::fromStdString(teststores::newLocation(m_dir.path().toStdString()).native());
    messaging::ServerAdmin::createStore(storePath().toStdString());
    qputenv("LARKSPUR_STORE", storePath().toLocal8Bit());
    qputenv("LARKSPUR_DRIVE_C", driveC().toLocal8Bit());
    m_valid = true;
}

StoreFixture::~StoreFixture()
{
    teststores::release(m_location.toStdString());
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
    return m_location;
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
    if (teststores::runSql(storePath().toStdString(), "UPDATE stores SET name = ?1 WHERE name = ?2", to, from) != 1)
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
