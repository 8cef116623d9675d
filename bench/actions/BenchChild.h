// The harness of the action benchmarks: every measured run happens in a fresh child
// process (this program started again with "--child <task> ..."), so its peak memory is
// its own and not that of generating the store.
#pragma once

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace bench {

struct Figures {
    double seconds = 0;
    long peakKiB = 0;
    double cpuSeconds = 0; // processor time (user and system): less disturbed by other load
};

// Processor time used by this process so far.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto tv = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return tv(usage.ru_utime) + tv(usage.ru_stime);
}

// In the child: runs the work, then prints "<seconds> <peak KiB> <cpu seconds>" as the
// only output.
inline int childMain(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    work();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.6f %ld %.6f\n", seconds, usage.ru_maxrss, cpu);
    return 0;
}

// In the parent: starts this program again with the arguments and reads its figures.
inline Figures runChild(const std::vector<std::string> &args)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char *> argv;
        std::string self = "/proc/self/exe";
        argv.push_back(self.data());
        std::vector<std::string> copy = args;
        for (std::string &a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(got));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    Figures f;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(out.c_str(), "%lf %ld %lf", &f.seconds, &f.peakKiB, &f.cpuSeconds) != 3)
        throw std::runtime_error("child run failed: " + out);
    return f;
}

// A temporary folder removed at the end.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "larkspur-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        m_path = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Plain SQLite access for the floor measurements and for settling a store file.
class Sql {
public:
    explicit Sql(const std::filesystem::path &file)
    {
        if (sqlite3_open(file.c_str(), &m_db) != SQLITE_OK)
            throw std::runtime_error("cannot open " + file.string());
        // The settings the engine gives its own connections.
        exec("PRAGMA journal_mode=WAL; PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL; PRAGMA busy_timeout=5000;"
             "PRAGMA cache_size=-8192; PRAGMA wal_autocheckpoint=10000;");
    }
    ~Sql() { sqlite3_close(m_db); }
    Sql(const Sql &) = delete;
    Sql &operator=(const Sql &) = delete;

    void exec(const std::string &sql)
    {
        char *error = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string text = error ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(text + " in " + sql);
        }
    }
    sqlite3_stmt *prepare(const std::string &sql)
    {
        auto it = m_statements.find(sql);
        if (it != m_statements.end()) {
            sqlite3_reset(it->second);
            sqlite3_clear_bindings(it->second);
            return it->second;
        }
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
        m_statements[sql] = stmt;
        return stmt;
    }
    void done(sqlite3_stmt *stmt)
    {
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw std::runtime_error(sqlite3_errmsg(m_db));
        sqlite3_reset(stmt);
    }
    std::int64_t lastId() const { return sqlite3_last_insert_rowid(m_db); }
    void close()
    {
        for (auto &[sql, stmt] : m_statements)
            sqlite3_finalize(stmt);
        m_statements.clear();
    }

    static std::string text(sqlite3_stmt *stmt, int column)
    {
        const auto *p = sqlite3_column_text(stmt, column);
        return p ? std::string(reinterpret_cast<const char *>(p), static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)))
                 : std::string();
    }

private:
    sqlite3 *m_db = nullptr;
    std::map<std::string, sqlite3_stmt *> m_statements;
};

// Folds the write-ahead log into the store file so that a plain copy of it is complete.
// A floor's transaction: commits every 1,000 writes, as the session does.
class Batch {
public:
    explicit Batch(bench::Sql &sql) : m_sql(sql) { m_sql.exec("BEGIN IMMEDIATE"); }
    void wrote()
    {
        if (++m_writes % 1000 == 0) {
            m_sql.exec("COMMIT");
            m_sql.exec("BEGIN IMMEDIATE");
        }
    }
    void finish() { m_sql.exec("COMMIT"); }

private:
    bench::Sql &m_sql;
    long m_writes = 0;
};

inline void settle(const std::filesystem::path &file)
{
    Sql sql(file);
    sql.exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

inline void copyStore(const std::filesystem::path &from, const std::filesystem::path &to)
{
    std::error_code ec;
    std::filesystem::remove(to.string() + "-wal", ec);
    std::filesystem::remove(to.string() + "-shm", ec);
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
}

inline void copyStore(const std::filesystem::path &from, const std::filesystem::path &to);

// The machine is shared: the child runs `rounds` times, each on a fresh copy of `source`
// at `file`, and the fastest round counts (times the least, peak memory the most).
inline Figures bestOf(int rounds, const std::filesystem::path &source, const std::filesystem::path &file,
                      const std::vector<std::string> &args)
{
    Figures best{1e300, 0, 1e300};
    for (int round = 0; round < rounds; ++round) {
        copyStore(source, file);
        const Figures f = runChild(args);
        best.seconds = std::min(best.seconds, f.seconds);
        best.cpuSeconds = std::min(best.cpuSeconds, f.cpuSeconds);
        best.peakKiB = std::max(best.peakKiB, f.peakKiB);
    }
    return best;
}

// The work's time against the floor's: "ratio to the floor" and the same for processor
// time; none may pass 2.0.
inline void printRatio(const Figures &work, const Figures &floor)
{
    const double ratio = floor.seconds > 0 ? work.seconds / floor.seconds : 0.0;
    const double cpu = floor.cpuSeconds > 0 ? work.cpuSeconds / floor.cpuSeconds : 0.0;
    std::printf("  ratio to the floor %.2f  (cpu ratio %.2f)%s\n", ratio, cpu, ratio <= 2.0 ? "" : "  (over target)");
}

inline void print(const char *what, long count, const char *unit, const Figures &f)
{
    std::printf("%-44s %9ld %-10s %8.3f s %11.0f %s/s  peak %6.1f MiB\n", what, count, unit, f.seconds,
                f.seconds > 0 ? static_cast<double>(count) / f.seconds : 0.0, unit,
                static_cast<double>(f.peakKiB) / 1024.0);
}

} // namespace bench
