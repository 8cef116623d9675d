// A fresh server store on disk for one test (larkspur_test_support).
//
// The constructor makes a temporary folder holding the store file (the standard layout
// of ServerAdmin::createStore: "Public Folders" with the shared calendar, the
// "Administrator" user, profile and mailbox) and a folder standing for drive C:, and
// points LARKSPUR_STORE and LARKSPUR_DRIVE_C at them; the destructor restores both
// variables and removes the folder. Users are added through ServerAdmin, as an
// administrator of the server would.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <optional>
#include <string>

namespace testsupport {

class StoreFixture {
public:
    StoreFixture();
    ~StoreFixture();
    StoreFixture(const StoreFixture &) = delete;
    StoreFixture &operator=(const StoreFixture &) = delete;

    bool isValid() const { return m_valid; }
    QString storePath() const;   // the store (a file, or a database of the test server)
    QString driveC() const;      // the folder standing for C:
    QString dir() const;         // the temporary folder holding both

    // A user: an address entry; for display type 0 also a mailbox "Mailbox - <name>"
    // with the ten standard folders, shared to "Administrator" unless `shared` is false.
    void addUser(const std::string &name, std::optional<std::string> tag = std::nullopt,
                 std::int32_t displayType = 0, bool shared = true);
    void unshare(const std::string &mailboxStoreName);

    // Renames a store behind the object model's back, as a server administrator might
    // have done by hand (for stores whose names do not follow "Mailbox - <name>").
    void renameStore(const std::string &from, const std::string &to);

    // The store's own consistency check: empty when sound.
    QStringList check() const;

private:
    QTemporaryDir m_dir;
    QString m_location;
    bool m_valid = false;
    QByteArray m_oldStore;
    QByteArray m_oldDrive;
    bool m_hadStore = false;
    bool m_hadDrive = false;
};

} // namespace testsupport
