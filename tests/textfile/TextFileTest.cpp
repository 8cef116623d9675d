// TextFile and drivePath on real files in a temporary folder: the line rules, appending,
// the numbered errors (missing file, empty file, missing folder, a folder in place of a
// file, a full disk, a link planted at the identifier file) and the drive mapping with the
// modes of what it makes.
#include "StoreFixture.h"

#include "core/Error.h"
#include "textfile/DrivePath.h"
#include "textfile/TextFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace std::string_literals;
using testsupport::readBytes;
using textfile::TextFile;
namespace Code = core::ErrorCode;

namespace {

// The fixture's folder, with LARKSPUR_DRIVE_C pointing at its drive_c subfolder.
class TextFileTest : public ::testing::Test, public testsupport::StoreFixture {
protected:
    std::string write(const char *name, const std::string &bytes)
    {
        testsupport::writeBytes(dir() / name, bytes);
        return (dir() / name).string();
    }
};

struct LineCase {
    const char *name;
    std::string content, firstLine, allText;
};
class LineRules : public TextFileTest, public ::testing::WithParamInterface<LineCase> {};

} // namespace

TEST_P(LineRules, ReadLineTextAndReadAllText)
{
    const LineCase &c = GetParam();
    const std::string file = write("lines.txt", c.content);
    TextFile text;
    EXPECT_EQ(text.ReadLineText(file), c.firstLine);
    EXPECT_EQ(text.ReadAllText(file), c.allText);
    EXPECT_EQ(readBytes(file), c.content); // reading never changes the file
}

INSTANTIATE_TEST_SUITE_P(
    TextFile, LineRules,
    ::testing::Values(LineCase{"CrLfLines", "a\r\nb\r\nc\r\n", "a", "\r\na\r\nb\r\nc"},
                      LineCase{"UnterminatedLastLine", "a\r\nb", "a", "\r\na\r\nb"},
                      LineCase{"EmptyFirstLine", "\r\nsecond\r\n", "", "\r\n\r\nsecond"},
                      LineCase{"MixedLineEnds", "a\r\nb\nc\rd", "a", "\r\na\r\nb\r\nc\r\nd"},
                      LineCase{"EmptyLinesKept", "a\r\n\nb\r\n\r\n", "a", "\r\na\r\n\r\nb\r\n"},
                      LineCase{"LineFeedsOnly", "a\nb\n", "a", "\r\na\r\nb"},
                      LineCase{"CarriageReturnsOnly", "a\rb\r", "a", "\r\na\r\nb"},
                      LineCase{"CrCrLf", "a\r\r\nb", "a", "\r\na\r\n\r\nb"},
                      LineCase{"NulBytes", "a\0b\nc\0"s, "a\0b"s, "\r\na\0b\r\nc\0"s},
                      LineCase{"LongLine", std::string(300000, 'x') + "\n", std::string(300000, 'x'),
                               "\r\n" + std::string(300000, 'x')},
                      LineCase{"QuotesAndBytesAreData", "\"q\" caf\xc3\xa9\t\x01\r\n\xff\xfe", "\"q\" caf\xc3\xa9\t\x01",
                               "\r\n\"q\" caf\xc3\xa9\t\x01\r\n\xff\xfe"}),
    [](const ::testing::TestParamInfo<LineCase> &p) { return std::string(p.param.name); });

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

TEST_F(TextFileTest, ReadAllTextOfSeveralMegabytesMatchesThePlainModel)
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
    const std::string text = TextFile().ReadAllText(write("big.txt", bytes));
    EXPECT_TRUE(text == modelText(bytes)) << text.size() << " bytes against " << modelText(bytes).size();
}

TEST_F(TextFileTest, WriteLineTextAppendsQuotedRecords)
{
    const std::string file = write("out.txt", "old line\r\n");
    TextFile text;
    text.WriteLineText(file, "say \"hi\"");
    text.WriteLineText(file, "");
    EXPECT_EQ(readBytes(file), "old line\r\n\"say \"hi\"\"\r\n\"\"\r\n");
    EXPECT_EQ(text.ReadAllText(file), "\r\nold line\r\n\"say \"hi\"\"\r\n\"\"");
    EXPECT_EQ(text.ReadAllText(write("empty.txt", "")), "");
}

TEST_F(TextFileTest, ErrorsCarryTheirNumberAndNameTheFile)
{
    fs::create_directory(dir() / "folder");
    // A link planted at the identifier file's name.
    const std::string victim = write("victim.txt", "not yours\n"), idFile = "C:\\Larkspur Calendar ID.Txt";
    fs::create_symlink(victim, driveC() / "Larkspur Calendar ID.Txt");
    const std::string missing = (dir() / "missing.txt").string(), empty = write("empty.txt", ""),
                      noFolder = (dir() / "no such folder" / "x.txt").string(), folder = (dir() / "folder").string();
    enum Call { ReadLine, ReadAll, Write };
    const struct {
        Call call;
        std::string file;
        std::int32_t number;
    } cases[] = {
        {ReadLine, missing, Code::FileNotFound},          {ReadAll, missing, Code::FileNotFound},
        {ReadLine, empty, Code::InputPastEndOfFile},      {ReadAll, noFolder, Code::PathNotFound},
        {Write, noFolder, Code::PathNotFound},            {ReadLine, folder, Code::PathFileAccessError},
        {Write, folder, Code::PathFileAccessError},       {Write, "/dev/full", Code::PathFileAccessError},
        {Write, idFile, Code::PathFileAccessError},
    };
    TextFile text;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        try {
            c.call == ReadLine ? void(text.ReadLineText(c.file))
            : c.call == ReadAll ? void(text.ReadAllText(c.file))
                                : text.WriteLineText(c.file, "id");
            ADD_FAILURE() << "no error";
        } catch (const core::Error &e) {
            EXPECT_EQ(e.number(), c.number) << e.description();
            EXPECT_NE(e.description().find(c.file), std::string::npos) << e.description();
        }
    }
    EXPECT_FALSE(fs::exists(dir() / "no such folder")); // a failed write leaves nothing behind
    EXPECT_EQ(readBytes(victim), "not yours\n");
}

TEST_F(TextFileTest, DrivePathsMapAsConfigured)
{
    const fs::path c = driveC();
    EXPECT_EQ(textfile::drivePath("C:\\Larkspur Calendar ID.Txt"), c / "Larkspur Calendar ID.Txt");
    EXPECT_EQ(textfile::drivePath("c:/Tessel\\Books05.ICO"), c / "Tessel/Books05.ICO");
    EXPECT_EQ(textfile::drivePath("C:\\"), c);
    EXPECT_EQ(textfile::drivePath("/opt/app\\Books05.ICO"), fs::path("/opt/app/Books05.ICO"));
    EXPECT_EQ(textfile::drivePath("dir\\file.txt"), fs::path("dir/file.txt"));

    TextFile text; // files are found through the mapping
    text.WriteLineText("C:\\Larkspur Calendar ID.Txt", "00AB");
    EXPECT_EQ(readBytes(c / "Larkspur Calendar ID.Txt"), "\"00AB\"\r\n");
    EXPECT_EQ(text.ReadLineText("C:\\Larkspur Calendar ID.Txt"), "\"00AB\"");

    ::unsetenv("LARKSPUR_DRIVE_C"); // unset: a folder in the data directory, created on demand
    ::setenv("XDG_DATA_HOME", (dir() / "data").c_str(), 1);
    const mode_t umask = ::umask(0); // what we make is private even under umask 000
    EXPECT_EQ(textfile::drivePath("C:\\x.txt"), dir() / "data/larkspur/drive_c/x.txt");
    text.WriteLineText("C:\\x.txt", "00AB");
    ::umask(umask);
    for (const char *made : {"data", "data/larkspur/drive_c", "data/larkspur/drive_c/x.txt"})
        EXPECT_EQ(fs::status(dir() / made).permissions(), fs::is_directory(dir() / made) ? fs::perms::owner_all
                  : fs::perms::owner_read | fs::perms::owner_write) << made;
}
