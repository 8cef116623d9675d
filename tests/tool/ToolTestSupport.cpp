#include "ToolTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tooltest {

namespace fs = std::filesystem;

pid_t spawn(const std::string &program, const std::vector<std::string> &args, const std::vector<std::string> &env,
            int out, int err)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const char *name : {"LARKSPUR_STORE", "LARKSPUR_FAULT", "LARKSPUR_SIGNAL_AT"})
            ::unsetenv(name);
        for (const std::string &e : env)
            ::putenv(const_cast<char *>(e.c_str()));
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

RunResult runProgram(const std::string &program, const std::vector<std::string> &args,
                     const std::vector<std::string> &env)
{
    std::FILE *files[] = {std::tmpfile(), std::tmpfile()};
    int status = 0;
    ::waitpid(spawn(program, args, env, ::fileno(files[0]), ::fileno(files[1])), &status, 0);
    RunResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const auto read = [](std::FILE *f) {
        std::fseek(f, 0, SEEK_END);
        std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
        std::rewind(f);
        text.resize(std::fread(text.data(), 1, text.size(), f));
        std::fclose(f);
        return text;
    };
    r.out = read(files[0]);
    r.err = read(files[1]);
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

RunResult runOk(const fs::path &store, const std::vector<std::string> &args, const std::vector<std::string> &env)
{
    RunResult r = runStore(store, args, env);
    EXPECT_EQ(r.exitCode, 0) << ::testing::PrintToString(args) << ": " << r.err;
    return r;
}

nlohmann::json dumpFolder(const fs::path &store, const std::string &folder)
{
    const RunResult r = runOk(store, {"dump", folder, "--json"});
    return r.exitCode == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::array();
}

nlohmann::json withoutIds(nlohmann::json items)
{
    for (auto &item : items)
        item.erase("entry_id");
    return items;
}

} // namespace tooltest
