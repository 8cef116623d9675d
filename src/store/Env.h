// Env: what the storage engine asks of the machine beneath it, and the one seam
// through which tests make that machine fail.
//
// The engine consults the current Env as it works: which file system layer (SQLite VFS)
// to open store files through, how large a store may grow, and, before each write
// statement of an operation, each commit and each sync, whether that step is to fail.
// The standard Env changes nothing. A test installs one of its own to fail real writes,
// syncs and commits (a VFS wrapping the default one, a page limit that fills the "disk")
// or to fail a chosen statement; the engine then reports the failure exactly as it
// reports one of its own, and keeps its promises (an operation lands whole or not at
// all, a failed commit leaves nothing of its transaction).
//
// Shipped programs never install another Env. The current Env is process-wide and read
// by every engine on its next step; it must outlive every engine that uses it.
#pragma once

#include "store/StoreError.h"

#include <cstdint>
#include <optional>
#include <string>

namespace store {

class Env {
public:
    enum class Step {
        Write,  // a write statement of an operation
        Commit, // the commit of a transaction (its revision and log included)
        Sync,   // forcing what is committed to the disk
    };
    struct Fault {
        Failure failure;
        std::string what;
    };

    virtual ~Env() = default;

    // SQLite: the name of a registered VFS to open store files through; empty for the
    // default one.
    virtual std::string sqliteVfs() const { return {}; }
    // The most pages a store may hold (0: no limit); a write that needs more fails as
    // on a full disk.
    virtual std::int64_t pageLimit() const { return 0; }
    // Asked before each step: a fault makes the step fail with it instead of running.
    virtual std::optional<Fault> before(Step) { return std::nullopt; }

    // The Env engines use now: the standard one unless another is installed.
    static Env &current();
    // Installs an Env (nullptr: the standard one again).
    static void install(Env *env);
};

} // namespace store
