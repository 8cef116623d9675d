// The script text read from real files through drive paths: line ends, bytes kept as
// they are, the numbered file errors, and several megabytes against a plain model of
// the line rule.
#include "StoreFixture.h"

#include "actions/scripts/ScriptActions.h"
#include "messaging/Error.h"

#include <gtest/gtest.h>

#include <ostream>

#include <unistd.h>

namespace {

using namespace std::string_literals;
namespace Code = messaging::ErrorCode;

// Only the store's folders are used: C: maps to driveC().
class ScriptFile : public ::testing::Test, public testsupport::StoreFixture {};

struct TextCase {
    const char *name;
    std::string path;    // what the page passes; script.txt holds `bytes`
    std::string bytes;
    std::string text;    // every line preceded by CR LF
    std::int32_t number; // the error expected instead, or 0
};
void PrintTo(const TextCase &c, std::ostream *os) { *os << c.name; }

class ScriptText : public ScriptFile, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ScriptText, EveryLinePrecededByCrLfOrANumberedFileError)
{
    const TextCase &c = GetParam();
    testsupport::writeBytes(driveC() / "script.txt", c.bytes);
    testsupport::writeBytes(driveC() / "locked.txt", "a\r\n");
    std::filesystem::permissions(driveC() / "locked.txt", std::filesystem::perms::none);
    std::filesystem::create_directory(driveC() / "folder");
    if (c.path == "C:\\locked.txt" && geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    try {
        EXPECT_EQ(scripts::readScriptText(c.path), c.text);
        EXPECT_EQ(c.number, 0);
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), c.number);
        EXPECT_NE(e.description().find(c.path), std::string::npos) << e.description();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ScriptText,
    ::testing::Values(TextCase{"Empty", "C:\\script.txt", "", "", 0},
                      TextCase{"OneLine", "C:\\script.txt", "a", "\r\na", 0},
                      TextCase{"TwoLinesTerminated", "c:/script.txt", "a\r\nb\r\n", "\r\na\r\nb", 0},
                      TextCase{"MixedLineEnds", "C:\\script.txt", "a\nb\rc", "\r\na\r\nb\r\nc", 0},
                      TextCase{"EmptyLastLine", "C:\\script.txt", "a\r\n\r\n", "\r\na\r\n", 0},
                      TextCase{"CrCrLf", "C:\\script.txt", "a\r\r\nb", "\r\na\r\n\r\nb", 0},
                      TextCase{"NulAndNonUtf8", "C:\\script.txt", "a\0b\n\xFF\xFE"s, "\r\na\0b\r\n\xFF\xFE"s, 0},
                      TextCase{"LongLine", "C:\\script.txt", std::string(300000, 'x') + "\n",
                               "\r\n" + std::string(300000, 'x'), 0},
                      TextCase{"MissingFile", "C:\\missing.txt", "", "", Code::FileNotFound},
                      TextCase{"MissingFolder", "C:\\nowhere\\x.txt", "", "", Code::PathNotFound},
                      TextCase{"AFolder", "C:\\folder", "", "", Code::PathFileAccessError},
                      TextCase{"EmptyPath", "", "", "", Code::PathFileAccessError},
                      TextCase{"Unreadable", "C:\\locked.txt", "", "", Code::PathFileAccessError}),
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
    const char *ends[] = {"\r\n", "\n", "\r"};
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
    testsupport::writeBytes(dir() / "big.txt", bytes);
    const std::string text = scripts::readScriptText((dir() / "big.txt").string());
    EXPECT_TRUE(text == modelText(bytes)) << text.size() << " bytes against " << modelText(bytes).size();
}

} // namespace
