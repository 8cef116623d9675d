// drivePath: drive letters map to their configured folders (or the data directory),
// backslashes separate, other paths pass through; TextFile finds files through it.
#include "textfile/DrivePath.h"
#include "textfile/TextFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const std::string &value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old, m_had = true;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }

private:
    const char *m_name;
    std::string m_old;
    bool m_had = false;
};

class DrivePath : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "drivepath-XXXXXX").string();
        m_dir = fs::path(::mkdtemp(pattern.data()));
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path m_dir;
};

struct MapCase {
    const char *name;
    const char *windows;
    const char *expectedUnderDriveC; // nullptr: not on drive C
    const char *expectedAsIs;
};

class DrivePathMapping : public DrivePath, public ::testing::WithParamInterface<MapCase> {};

} // namespace

TEST_P(DrivePathMapping, MapsAsConfigured)
{
    const MapCase &c = GetParam();
    const fs::path driveC = m_dir / "c";
    ScopedEnv env("LARKSPUR_DRIVE_C", driveC.string());
    const fs::path mapped = textfile::drivePath(c.windows);
    if (c.expectedUnderDriveC && *c.expectedUnderDriveC == '\0')
        EXPECT_EQ(mapped, driveC);
    else if (c.expectedUnderDriveC)
        EXPECT_EQ(mapped, driveC / c.expectedUnderDriveC);
    else
        EXPECT_EQ(mapped, fs::path(c.expectedAsIs));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DrivePathMapping,
    ::testing::Values(
        MapCase{"IdentifierFile", "C:\\Larkspur Calendar ID.Txt", "Larkspur Calendar ID.Txt", nullptr},
        MapCase{"IconInAFolder", "C:\\Tessel\\Books05.ICO", "Tessel/Books05.ICO", nullptr},
        MapCase{"LowerCaseDrive", "c:\\x.txt", "x.txt", nullptr},
        MapCase{"ForwardSlashes", "C:/Tessel/x", "Tessel/x", nullptr},
        MapCase{"DriveRootItself", "C:\\", "", nullptr},
        MapCase{"LocalPath", "/opt/app/Books05.ICO", nullptr, "/opt/app/Books05.ICO"},
        MapCase{"AppFolderJoinedWithBackslash", "/opt/app\\Books05.ICO", nullptr, "/opt/app/Books05.ICO"},
        MapCase{"RelativePath", "dir\\file.txt", nullptr, "dir/file.txt"}),
    [](const ::testing::TestParamInfo<MapCase> &p) { return std::string(p.param.name); });

TEST_F(DrivePath, DefaultDriveCIsInTheDataDirectoryAndIsCreated)
{
    ScopedEnv unsetDrive("LARKSPUR_DRIVE_C", "");
    ScopedEnv data("XDG_DATA_HOME", (m_dir / "data").string());
    const fs::path mapped = textfile::drivePath("C:\\Larkspur Calendar ID.Txt");
    EXPECT_EQ(mapped, m_dir / "data" / "larkspur" / "drive_c" / "Larkspur Calendar ID.Txt");
    EXPECT_TRUE(fs::is_directory(m_dir / "data" / "larkspur" / "drive_c"));
}

TEST_F(DrivePath, TextFileWritesThroughTheMappedDrive)
{
    ScopedEnv env("LARKSPUR_DRIVE_C", (m_dir / "c").string());
    textfile::TextFile text;
    text.WriteLineText("C:\\Larkspur Calendar ID.Txt", "00AB");
    std::ifstream in(m_dir / "c" / "Larkspur Calendar ID.Txt", std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    EXPECT_EQ(all.str(), "\"00AB\"\r\n");
    EXPECT_EQ(text.ReadLineText("C:\\Larkspur Calendar ID.Txt"), "\"00AB\"");
}
