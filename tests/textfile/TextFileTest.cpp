// TextFile on real files in a temporary folder: the line rules, appending, and the
// numbered errors (a missing file, an empty file, a missing folder, a folder in place of
// a file, a full disk).
#include "messaging/Error.h"
#include "textfile/TextFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using textfile::TextFile;

namespace {

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "textfile-XXXXXX").string();
        m_path = fs::path(::mkdtemp(pattern.data()));
    }
    ~TempDir() { fs::remove_all(m_path); }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

void writeBytes(const fs::path &file, const std::string &bytes)
{
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

std::string readBytes(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

struct LineCase {
    const char *name;
    std::string content;
    std::string firstLine; // ReadLineText
    std::string allText;   // ReadAllText
};

class LineRules : public ::testing::TestWithParam<LineCase> {};

} // namespace

TEST_P(LineRules, ReadLineTextAndReadAllText)
{
    const LineCase &c = GetParam();
    TempDir dir;
    const fs::path file = dir.path() / "lines.txt";
    writeBytes(file, c.content);
    TextFile text;
    EXPECT_EQ(text.ReadLineText(file.string()), c.firstLine);
    EXPECT_EQ(text.ReadAllText(file.string()), c.allText);
    // Reading never changes the file.
    EXPECT_EQ(readBytes(file), c.content);
}

INSTANTIATE_TEST_SUITE_P(
    TextFile, LineRules,
    ::testing::Values(
        LineCase{"ThreeCrLfLines", "a\r\nb\r\nc\r\n", "a", "\r\na\r\nb\r\nc"},
        LineCase{"UnterminatedLastLine", "a\r\nb", "a", "\r\na\r\nb"},
        LineCase{"EmptyFirstLine", "\r\nsecond\r\n", "", "\r\n\r\nsecond"},
        LineCase{"OnlyALineEnd", "\r\n", "", "\r\n"},
        LineCase{"LoneLineFeeds", "a\nb\n", "a", "\r\na\r\nb"},
        LineCase{"LoneCarriageReturns", "a\rb\r", "a", "\r\na\r\nb"},
        LineCase{"MixedLineEnds", "a\r\nb\nc\rd", "a", "\r\na\r\nb\r\nc\r\nd"},
        LineCase{"EmptyLineInTheMiddle", "a\n\nb", "a", "\r\na\r\n\r\nb"},
        LineCase{"CrThenLfIsOneLineEnd", "a\r\n\nb", "a", "\r\na\r\n\r\nb"},
        LineCase{"QuotesAreData", "\"quoted\" text\r\n", "\"quoted\" text", "\r\n\"quoted\" text"},
        LineCase{"BytesPassThrough", "caf\xc3\xa9\tx\x01\r\n", "caf\xc3\xa9\tx\x01", "\r\ncaf\xc3\xa9\tx\x01"},
        LineCase{"TrailingEmptyLine", "a\r\n\r\n", "a", "\r\na\r\n"}),
    [](const ::testing::TestParamInfo<LineCase> &p) { return std::string(p.param.name); });

TEST(TextFile, ReadAllTextOfAnEmptyFileIsEmpty)
{
    TempDir dir;
    const fs::path file = dir.path() / "empty.txt";
    writeBytes(file, "");
    TextFile text;
    EXPECT_EQ(text.ReadAllText(file.string()), "");
}

TEST(TextFile, WriteLineTextAppendsQuotedRecordsAfterWhatWasThere)
{
    TempDir dir;
    const fs::path file = dir.path() / "out.txt";
    writeBytes(file, "old line\r\n");
    TextFile text;
    text.WriteLineText(file.string(), "x");
    text.WriteLineText(file.string(), "y");
    EXPECT_EQ(readBytes(file), "old line\r\n\"x\"\r\n\"y\"\r\n");
}

TEST(TextFile, WriteLineTextCreatesTheFileAndKeepsInnerQuotes)
{
    TempDir dir;
    const fs::path file = dir.path() / "new.txt";
    TextFile text;
    text.WriteLineText(file.string(), "say \"hi\"");
    text.WriteLineText(file.string(), "");
    EXPECT_EQ(readBytes(file), "\"say \"hi\"\"\r\n\"\"\r\n");
    // What was written reads back line by line, quotes included.
    EXPECT_EQ(text.ReadAllText(file.string()), "\r\n\"say \"hi\"\"\r\n\"\"");
}

namespace {

enum class Call { ReadLine, ReadAll, Write };

struct ErrorCase {
    const char *name;
    Call call;
    // Sets up the situation in `dir`; returns the file name to pass.
    std::string (*setUp)(const fs::path &dir);
    std::int32_t number;
};

class Errors : public ::testing::TestWithParam<ErrorCase> {};

std::string missingFile(const fs::path &dir) { return (dir / "missing.txt").string(); }
std::string emptyFile(const fs::path &dir)
{
    writeBytes(dir / "empty.txt", "");
    return (dir / "empty.txt").string();
}
std::string inMissingFolder(const fs::path &dir) { return (dir / "no such folder" / "x.txt").string(); }
std::string aFolder(const fs::path &dir)
{
    fs::create_directory(dir / "folder");
    return (dir / "folder").string();
}
std::string fullDisk(const fs::path &) { return "/dev/full"; }

} // namespace

TEST_P(Errors, CarryTheirNumberAndNameTheFile)
{
    const ErrorCase &c = GetParam();
    if (c.setUp == fullDisk && !fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full on this machine";
    TempDir dir;
    const std::string fileName = c.setUp(dir.path());
    TextFile text;
    try {
        switch (c.call) {
        case Call::ReadLine: text.ReadLineText(fileName); break;
        case Call::ReadAll: text.ReadAllText(fileName); break;
        case Call::Write: text.WriteLineText(fileName, "id"); break;
        }
        FAIL() << "no error";
    } catch (const messaging::Error &e) {
        EXPECT_EQ(e.number(), c.number) << e.description();
        EXPECT_NE(e.description().find(fileName), std::string::npos) << e.description();
    }
}

INSTANTIATE_TEST_SUITE_P(
    TextFile, Errors,
    ::testing::Values(
        ErrorCase{"ReadLineOfMissingFile", Call::ReadLine, missingFile, messaging::ErrorCode::FileNotFound},
        ErrorCase{"ReadAllOfMissingFile", Call::ReadAll, missingFile, messaging::ErrorCode::FileNotFound},
        ErrorCase{"ReadLineOfEmptyFile", Call::ReadLine, emptyFile, messaging::ErrorCode::InputPastEndOfFile},
        ErrorCase{"ReadInMissingFolder", Call::ReadAll, inMissingFolder, messaging::ErrorCode::PathNotFound},
        ErrorCase{"WriteInMissingFolder", Call::Write, inMissingFolder, messaging::ErrorCode::PathNotFound},
        ErrorCase{"ReadAFolder", Call::ReadLine, aFolder, messaging::ErrorCode::PathFileAccessError},
        ErrorCase{"WriteAFolder", Call::Write, aFolder, messaging::ErrorCode::PathFileAccessError},
        ErrorCase{"WriteOnAFullDisk", Call::Write, fullDisk, messaging::ErrorCode::PathFileAccessError}),
    [](const ::testing::TestParamInfo<ErrorCase> &p) { return std::string(p.param.name); });

TEST(TextFile, AFailedWriteLeavesNoFileBehindInAMissingFolder)
{
    TempDir dir;
    TextFile text;
    EXPECT_THROW(text.WriteLineText(inMissingFolder(dir.path()), "x"), messaging::Error);
    EXPECT_FALSE(fs::exists(dir.path() / "no such folder"));
}
