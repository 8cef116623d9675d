// Event masks of the two add-script pages and the script text read from real files.
#include "ScriptStore.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/Error.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cstdlib>
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

struct TextCase {
    const char *name;
    std::string bytes;
    std::string text;
};
void PrintTo(const TextCase &c, std::ostream *os) { *os << c.name; }

class ScriptText : public ScriptFile, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ScriptText, EveryLinePrecededByCrLf)
{
    EXPECT_EQ(scripts::readScriptText(file("script.txt", GetParam().bytes).string()), GetParam().text);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Files, ScriptText,
    ::testing::Values(TextCase{"Empty", "", ""}, TextCase{"OneLine", "a", "\r\na"},
                      TextCase{"OneLineTerminated", "a\r\n", "\r\na"},
                      TextCase{"TwoLines", "a\r\nb", "\r\na\r\nb"},
                      TextCase{"TwoLinesTerminated", "a\r\nb\r\n", "\r\na\r\nb"},
                      TextCase{"LineFeedsOnly", "a\nb\n", "\r\na\r\nb"},
                      TextCase{"CarriageReturnsOnly", "a\rb\r", "\r\na\r\nb"},
                      TextCase{"EmptyLastLine", "a\r\n\r\n", "\r\na\r\n"},
                      TextCase{"CrCrLf", "a\r\r\nb", "\r\na\r\n\r\nb"},
                      TextCase{"NulBytes", "a\0b\nc\0"s, "\r\na\0b\r\nc\0"s},
                      TextCase{"NonAscii", "Gr\xC3\xBC\xC3\x9F" "e\r\n\xE2\x82\xAC 5\n\xFF\xFE", "\r\nGr\xC3\xBC\xC3\x9F" "e\r\n\xE2\x82\xAC 5\r\n\xFF\xFE"},
                      TextCase{"LongLine", std::string(300000, 'x') + "\n", "\r\n" + std::string(300000, 'x')}),
    [](const auto &tc) { return std::string(tc.param.name); });

// A plain model of the line rule: every line end made a line feed, then split.
std::string modelText(const std::string &bytes)
{
    std::string unified;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            unified += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            unified += bytes[i];
        }
    }
    if (!unified.empty() && unified.back() == '\n')
        unified.pop_back();
    if (bytes.empty())
        return {};
    std::string text = "\r\n";
    for (const char c : unified)
        text += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return text;
}

TEST_F(ScriptFile, SeveralMegabytesMatchThePlainModel)
{
    std::string bytes;
    std::uint32_t state = 12345;
    const char *ends[] = {"\r\n", "\n", "\r", ""};
    while (bytes.size() < 6u * 1024 * 1024) {
        state = state * 1103515245u + 12345u;
        const std::size_t length = (state >> 16) % 200;
        for (std::size_t i = 0; i < length; ++i) {
            state = state * 1103515245u + 12345u;
            char c = static_cast<char>(state >> 24);
            if (c == '\r' || c == '\n')
                c = 'x';
            bytes += c;
        }
        bytes += ends[(state >> 8) % 3];
    }
    bytes += ends[3];
    const std::string text = scripts::readScriptText(file("big.txt", bytes).string());
    EXPECT_TRUE(text == modelText(bytes)) << text.size() << " bytes against " << modelText(bytes).size();
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

TEST_F(ScriptFile, DriveLetterPathsResolveOnThisMachine)
{
    const std::filesystem::path driveC = store.dir() / "drive_c";
    std::filesystem::create_directories(driveC / "Scripts");
    worktest::writeBytes(driveC / "Scripts" / "hello.txt", "echo hello\r\n");
    const char *old = std::getenv("LARKSPUR_DRIVE_C");
    const std::string saved = old ? old : "";
    setenv("LARKSPUR_DRIVE_C", driveC.c_str(), 1);
    EXPECT_EQ(scripts::readScriptText("C:\\Scripts\\hello.txt"), "\r\necho hello");
    if (old)
        setenv("LARKSPUR_DRIVE_C", saved.c_str(), 1);
    else
        unsetenv("LARKSPUR_DRIVE_C");
}

} // namespace
