// Event masks of the two add-script pages and the script text read from real files.
#include "ScriptStore.h"

#include "actions/scripts/ScriptActions.h"
#include "core/Error.h"

#include <gtest/gtest.h>

#include <ostream>

#include <unistd.h>

namespace {

// --- event masks ------------------------------------------------------------------------

struct MaskCase {
    const char *name;
    scripts::EventBoxes boxes;
    std::int16_t oneUser;
    std::int16_t allUsers;
};
// What a failing case prints instead of its bytes.
void PrintTo(const MaskCase &c, std::ostream *os) { *os << c.name; }

class EventMask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(EventMask, EachPageHasItsOwnValues)
{
    EXPECT_EQ(scripts::oneUserEventMask(GetParam().boxes), GetParam().oneUser);
    EXPECT_EQ(scripts::allUsersEventMask(GetParam().boxes), GetParam().allUsers);
}

INSTANTIATE_TEST_SUITE_P(Boxes, EventMask,
                         ::testing::Values(MaskCase{"None", {}, 0, 0},
                                           MaskCase{"New", {true, false, false, false}, 2, 1},
                                           MaskCase{"Changed", {false, true, false, false}, 4, 2},
                                           MaskCase{"Delete", {false, false, true, false}, 8, 4},
                                           MaskCase{"Schedule", {false, false, false, true}, 1, 8},
                                           MaskCase{"NewAndSchedule", {true, false, false, true}, 3, 9},
                                           MaskCase{"All", {true, true, true, true}, 15, 15}),
                         [](const auto &tc) { return std::string(tc.param.name); });

// --- the script text --------------------------------------------------------------------

class ScriptFile : public ::testing::Test {
protected:
    std::filesystem::path file(const std::string &name, const std::string &bytes)
    {
        const std::filesystem::path path = store.dir() / name;
        worktest::writeBytes(path, bytes);
        return path;
    }
    worktest::TempStore store; // only its folder is used
};

// The script text is TextFile's whole text (its line rule is tested with TextFile).
TEST_F(ScriptFile, EveryLinePrecededByCrLf)
{
    EXPECT_EQ(scripts::readScriptText(file("script.txt", "a\r\nb\n").string()), "\r\na\r\nb");
    EXPECT_EQ(scripts::readScriptText(file("empty.txt", "").string()), "");
}

struct FileErrorCase {
    const char *name;
    std::string relative; // below the temporary folder; "" for the empty path
    std::int32_t number;
};
void PrintTo(const FileErrorCase &c, std::ostream *os) { *os << c.name; }

class ScriptFileError : public ScriptFile, public ::testing::WithParamInterface<FileErrorCase> {};

TEST_P(ScriptFileError, NumberedFileErrors)
{
    std::filesystem::create_directory(store.dir() / "folder");
    std::filesystem::permissions(file("locked.txt", "a\r\n"), std::filesystem::perms::none);
    if (GetParam().relative == "locked.txt" && geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const std::string path = GetParam().relative.empty() ? "" : (store.dir() / GetParam().relative).string();
    try {
        scripts::readScriptText(path);
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), GetParam().number);
        if (!path.empty()) {
            EXPECT_NE(e.description().find(path), std::string::npos) << e.description();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ScriptFileError,
                         ::testing::Values(FileErrorCase{"MissingFile", "missing.txt", messaging::ErrorCode::FileNotFound},
                                           FileErrorCase{"MissingFolder", "nowhere/x.txt", messaging::ErrorCode::PathNotFound},
                                           FileErrorCase{"AFolder", "folder", messaging::ErrorCode::PathFileAccessError},
                                           FileErrorCase{"EmptyPath", "", messaging::ErrorCode::PathFileAccessError},
                                           FileErrorCase{"Unreadable", "locked.txt", messaging::ErrorCode::PathFileAccessError}),
                         [](const auto &tc) { return std::string(tc.param.name); });

} // namespace
