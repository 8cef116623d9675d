// The changes one revision made to one folder, packed into one value of the change log:
// for each change in order, (message id << 3 | kind) as an unsigned LEB128 number. One
// log row per folder and revision keeps a batch of a thousand changes one small write.
#pragma once

#include "store/Rows.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace store {

// One change a transaction made, in the order made.
struct LoggedChange {
    Id folder;
    Id message;
    ChangeKind kind;
};
// One folder's changes of one revision, packed.
struct PackedFolder {
    Id folder;
    std::string packed;
};

// A transaction's changes as one packed value per folder, folders in id order; `entries`
// is set to how many changes were packed in all.
std::vector<PackedFolder> packByFolder(const std::vector<LoggedChange> &log, std::int64_t &entries);
// Packs the changes in order, leaving out a change that repeats the previous change of
// the same message. `count` is set to how many were packed.
std::string packChanges(const std::vector<std::pair<Id, ChangeKind>> &changes, std::int64_t &count);
// Appends the changes of one packed value, with their revision, to `out`; stops at the
// first malformed one.
void unpackChanges(std::string_view packed, std::int64_t revision, std::vector<Change> &out);

} // namespace store
