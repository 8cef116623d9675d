// A fresh server store in its own temporary directory for each test.
#pragma once

#include "messaging/FaultInjection.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

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
