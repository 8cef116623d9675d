// What the tool tests share: running larkspur-store as a child process, a store fixture,
// and the sample calendars.
#pragma once

#include "IcsTestSupport.h"
#include "WorkStore.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tooltest {

// A fresh directory, removed at destruction.
struct TempDir {
    TempDir() = default;
    TempDir(const TempDir &) = delete;
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::string &name) const { return m_path / name; }
    std::filesystem::path m_path = testsupport::makeTemporaryFolder();
};

inline void writeFile(const std::filesystem::path &path, const std::string &data) { testsupport::writeBytes(path, data); }

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Starts `program` with the arguments (each passed as is) and extra environment settings
// ("TZ=UTC") without waiting for it, its output going to the files `out` and `err`;
// LARKSPUR_STORE, LARKSPUR_FAULT and LARKSPUR_SIGNAL_AT are cleared unless given.
pid_t spawn(const std::string &program, const std::vector<std::string> &args, const std::vector<std::string> &env,
            int out, int err);
// Runs any program that way and waits for it.
RunResult runProgram(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &env = {});
// Runs larkspur-store.
RunResult runTool(const std::vector<std::string> &args, const std::vector<std::string> &env = {});
// The same, with "--store <store>" in front.
RunResult runStore(const std::filesystem::path &store, const std::vector<std::string> &args,
                   const std::vector<std::string> &env = {});
// The same where the command must succeed: a failure fails the test with the tool's message.
RunResult runOk(const std::filesystem::path &store, const std::vector<std::string> &args,
                const std::vector<std::string> &env = {});

// `dump --json` of a folder, parsed (fails the test when the command fails).
nlohmann::json dumpFolder(const std::filesystem::path &store, const std::string &folder);
// The items without their entry ids, for comparing two folders.
nlohmann::json withoutIds(nlohmann::json items);

// The sample calendars and the export check of the iCalendar tests.
using icstest::eventUids;
using icstest::expectValidExport;
using icstest::readFile;
using icstest::sample;

inline const std::string kAdminCalendar = "Mailbox - Administrator/Calendar";
inline const std::string kSharedCalendar = "Public Folders/All Public Folders/Larkspur Calendar";

// A new store (as "init" makes it) in a temporary folder of its own.
class ToolStore : public ::testing::Test, public worktest::TempStore {
protected:
    const std::filesystem::path &store() const { return file(); }
};

} // namespace tooltest
