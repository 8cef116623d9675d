// A fresh server store in its own temporary directory for each test.
#pragma once

#include "messaging/AddressLists.h"
#include "messaging/Error.h"
#include "messaging/FaultInjection.h"
#include "messaging/Folder.h"
#include "messaging/InfoStores.h"
#include "messaging/Message.h"
#include "messaging/Messages.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <functional>
#include <string>
#include <vector>

namespace larkspur::test {

class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        auto base = std::filesystem::temp_directory_path();
        for (int i = 0; i < 100; ++i) {
            auto candidate = base / ("larkspur-test-" + std::to_string(rd()));
            if (std::filesystem::create_directory(candidate)) {
                m_path = candidate;
                return;
            }
        }
        throw std::runtime_error("cannot create a temporary directory");
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Names a data-driven case after its `name` member.
struct ParamName {
    template <class T>
    std::string operator()(const ::testing::TestParamInfo<T> &param) const
    {
        return param.param.name;
    }
};

inline messaging::Folder sharedCalendar(const messaging::Session &s)
{
    return s.InfoStores().Item("Public Folders").RootFolder().Folders().Item(2).Folders().Item("Larkspur Calendar");
}

inline messaging::Folder mailboxFolder(const messaging::Session &s, const std::string &user,
                                       const std::string &folder = "Calendar")
{
    return s.InfoStores().Item("Mailbox - " + user).RootFolder().Folders().Item(folder);
}

inline messaging::Message addItem(const messaging::Folder &folder, const std::string &subject)
{
    messaging::Message m = folder.Messages().Add();
    m.SetSubject(subject);
    m.Update();
    return m;
}

inline std::vector<std::string> subjects(const messaging::Folder &folder)
{
    std::vector<std::string> out;
    for (messaging::Message m : folder.Messages())
        out.push_back(m.Subject());
    return out;
}

// The number of the error the call throws, or 0 when it throws none.
inline std::int32_t errorOf(const std::function<void()> &call, std::string *description = nullptr)
{
    try {
        call();
    } catch (const messaging::Error &e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

// A store with the standard layout plus the users given.
class StoreFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        messaging::faults::clear();
        m_store = m_dir.path() / "store.db";
        messaging::ServerAdmin::createStore(m_store);
    }
    void TearDown() override { messaging::faults::clear(); }

    const std::filesystem::path &storePath() const { return m_store; }
    messaging::Session logon()
    {
        messaging::Session s(m_store);
        s.Logon("Administrator");
        return s;
    }

    TempDir m_dir;
    std::filesystem::path m_store;
};

} // namespace larkspur::test
