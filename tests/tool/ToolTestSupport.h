// What the tool tests share: a temporary directory per test, running larkspur-store as a
// child process, and the sample calendars.
#pragma once

#include "IcsTestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tooltest {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A fresh directory, removed at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::string &name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

// Runs larkspur-store with the arguments (each passed as is) and extra environment
// settings ("TZ=UTC"); LARKSPUR_STORE and LARKSPUR_FAULT are cleared unless given.
RunResult runTool(const std::vector<std::string> &args, const std::vector<std::string> &env = {});
// The same, with "--store <store>" in front.
RunResult runStore(const std::filesystem::path &store, const std::vector<std::string> &args,
                   const std::vector<std::string> &env = {});
// Runs any program the same way.
RunResult runProgram(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &env = {});

// `dump --json` of a folder, parsed (fails the test when the command fails).
nlohmann::json dumpFolder(const std::filesystem::path &store, const std::string &folder);
// The items without their entry ids, for comparing two folders.
nlohmann::json withoutIds(nlohmann::json items);

void writeFile(const std::filesystem::path &path, const std::string &data);

// The sample calendars and the export check of the iCalendar tests.
using icstest::expectValidExport;
using icstest::readFile;
using icstest::sample;
using icstest::sampleDir;

inline const std::string kAdminCalendar = "Mailbox - Administrator/Calendar";
inline const std::string kSharedCalendar = "Public Folders/All Public Folders/Larkspur Calendar";

} // namespace tooltest
