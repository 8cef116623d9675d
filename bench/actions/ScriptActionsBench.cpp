// Benchmarks of the event-script work on generated stores.
//
//   bench_script_actions [users=1000]
//
// Installs a script on the Calendar of every user, and deletes every script of every
// mailbox (three bindings per user); prints operations per second and peak memory.
#include "BenchChild.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/ServerAdmin.h"
#include "messaging/Session.h"

#include <cstring>
#include <fstream>

namespace {

messaging::Session logon(const std::filesystem::path &file)
{
    messaging::Session s(file);
    s.Logon("Administrator");
    return s;
}

void generate(const std::filesystem::path &file, int users)
{
    messaging::ServerAdmin::createStore(file);
    messaging::ServerAdmin admin(file);
    admin.beginBatch();
    for (int u = 0; u < users; ++u) {
        char name[32];
        std::snprintf(name, sizeof name, "User%04d", u);
        admin.addUser(name, "T");
    }
    admin.commitBatch();
}

void writeScript(const std::filesystem::path &path)
{
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 40; ++i)
        out << "Sub Folder_OnMessageCreated ' line " << i << " of a typical event script\r\n";
}

scripts::ScriptInstall install(const std::string &folder, const std::filesystem::path &script)
{
    return scripts::ScriptInstall{folder, "Larkspur Calendar - Personal Calendar Folder", 3, script.string()};
}

int child(const std::string &task, const std::filesystem::path &file, const std::filesystem::path &script)
{
    if (task == "install-all")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            scripts::installScriptForAllUsers(s, install("Calendar", script));
            s.Logoff();
        });
    if (task == "delete-all")
        return bench::childMain([&] {
            messaging::Session s = logon(file);
            scripts::deleteAllMailboxScripts(s);
            s.Logoff();
        });
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 5 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2], argv[3], argv[4]);

    const int users = argc > 1 ? std::atoi(argv[1]) : 1000;
    bench::TempDir dir;
    const auto file = dir.path() / "scripts.db";
    const auto script = dir.path() / "script.txt";
    writeScript(script);
    generate(file, users);
    bench::settle(file);

    const bench::Figures installed = bench::runChild({"--child", "install-all", file.string(), script.string()});
    char what[96];
    std::snprintf(what, sizeof what, "install a script for all users (%d)", users);
    bench::print(what, users, "bindings", installed);

    // Two further bindings per user, so each mailbox holds three.
    {
        messaging::Session s = logon(file);
        scripts::installScriptForAllUsers(s, install("Inbox", script));
        scripts::installScriptForAllUsers(s, install("Deleted Items", script));
        s.Logoff();
    }
    bench::settle(file);
    const bench::Figures deleted = bench::runChild({"--child", "delete-all", file.string(), script.string()});
    std::snprintf(what, sizeof what, "delete all scripts, all mailboxes (%d x 3)", users);
    bench::print(what, 3L * users, "bindings", deleted);
    std::printf("  %.0f mailboxes/s\n", deleted.seconds > 0 ? users / deleted.seconds : 0.0);
    return 0;
}
