#include "ToolTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>

namespace tooltest {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    m_path = fs::temp_directory_path()
             / ("larkspur-tool-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(m_path);
    fs::create_directories(m_path);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

void writeFile(const fs::path &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &env)
{
    TempDir io;
    const fs::path outPath = io / "out";
    const fs::path errPath = io / "err";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("LARKSPUR_STORE");
        ::unsetenv("LARKSPUR_FAULT");
        for (const std::string &e : env)
            ::putenv(const_cast<char *>(e.c_str()));
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    RunResult r;
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

RunResult runTool(const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    return runProgram(LARKSPUR_STORE_EXE, args, env);
}

RunResult runStore(const fs::path &store, const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    std::vector<std::string> all{"--store", store.string()};
    all.insert(all.end(), args.begin(), args.end());
    return runTool(all, env);
}

nlohmann::json dumpFolder(const fs::path &store, const std::string &folder)
{
    const RunResult r = runStore(store, {"dump", folder, "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    if (r.exitCode != 0)
        return nlohmann::json::array();
    return nlohmann::json::parse(r.out);
}

nlohmann::json withoutIds(nlohmann::json items)
{
    for (auto &item : items)
        item.erase("entry_id");
    return items;
}

} // namespace tooltest
