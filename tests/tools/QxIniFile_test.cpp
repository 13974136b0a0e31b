// The in-memory INI file: lookups, typed reads, and what a save keeps of the file.
#include <gtest/gtest.h>

#include <filesystem>

#ifdef __linux__
#include <sys/resource.h>
#include <csignal>
#endif

#include "support/TempDir.h"
#include "tools/QxIniFile.h"
#include "tools/QxSysTools.h"

namespace nelvo {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::ReadFile;
using test::WriteFile;

class IniFileTest : public testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir / "host.ini";
};

TEST_F(IniFileTest, NamesIgnoreLetterCaseAndWritesReplaceTheExistingEntry) {
    WriteFile(path, "[Server]\nIdleTime=60\n");
    TMemIniFile ini(path);
    EXPECT_EQ(ini.ReadString("SERVER", "idletime", "-"), "60");
    EXPECT_TRUE(ini.ValueExists("server", "IDLETIME"));
    EXPECT_FALSE(ini.ValueExists("Server", "Port"));
    EXPECT_EQ(ini.ReadString("Other", "IdleTime", "-"), "-");

    ini.WriteInteger("server", "IDLETIME", 90);
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(path), "[Server]\nIdleTime=90\n");
}

struct IntegerCase {
    std::string value;
    std::int32_t expected;
    friend void PrintTo(const IntegerCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.value);
    }
};

class ReadIntegerTest : public IniFileTest, public testing::WithParamInterface<IntegerCase> {};

TEST_P(ReadIntegerTest, OnlyDecimalIntegersCount) {
    WriteFile(path, "[S]\nK=" + GetParam().value + "\n");
    EXPECT_EQ(TMemIniFile(path).ReadInteger("S", "K", -99), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, ReadIntegerTest,
                         testing::Values(IntegerCase{"42", 42}, IntegerCase{"  42  ", 42},
                                         IntegerCase{"-7", -7}, IntegerCase{"+7", 7},
                                         IntegerCase{"2147483647", 2147483647},
                                         IntegerCase{"2147483648", -99}, IntegerCase{"4x", -99},
                                         IntegerCase{"0x10", -99}, IntegerCase{"$10", -99},
                                         IntegerCase{"1 2", -99}, IntegerCase{"", -99}));

TEST_F(IniFileTest, BooleansAreOnWithALeadingOne) {
    WriteFile(path, "[S]\nOne=1\nTen=10\nTrue=true\nYes=yes\nZero=0\nEmpty=\n");
    TMemIniFile ini(path);
    EXPECT_TRUE(ini.ReadBool("S", "One", false));
    EXPECT_TRUE(ini.ReadBool("S", "Ten", false));
    EXPECT_FALSE(ini.ReadBool("S", "True", true));
    EXPECT_FALSE(ini.ReadBool("S", "Yes", true));
    EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "Empty", true));
    EXPECT_TRUE(ini.ReadBool("S", "Missing", true));
}

struct KeptCase {
    std::string name;
    std::string before;
    std::string after;  // after IdleTime of [Server] became 5
};

class SaveKeepsTest : public IniFileTest, public testing::WithParamInterface<KeptCase> {};

TEST_P(SaveKeepsTest, KeepsWhatTheFileHeld) {
    WriteFile(path, GetParam().before);
    {
        TMemIniFile ini(path);
        ini.WriteInteger("Server", "IdleTime", 5);
        ini.UpdateFile();
    }
    EXPECT_EQ(ReadFile(path), GetParam().after);
    // What a save wrote reads back into the same file.
    TMemIniFile again(path);
    again.WriteInteger("Server", "IdleTime", 6);
    again.WriteInteger("Server", "IdleTime", 5);
    again.UpdateFile();
    EXPECT_EQ(ReadFile(path), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SaveKeepsTest,
    testing::Values(
        KeptCase{"ByteOrderMark", "\xEF\xBB\xBF[Server]\nIdleTime=1\n",
                 "\xEF\xBB\xBF[Server]\nIdleTime=5\n"},
        KeptCase{"NoByteOrderMark", "[Server]\nIdleTime=1\n", "[Server]\nIdleTime=5\n"},
        KeptCase{"NotUtf8", "[\xC4\xEE\xEC]\n\xCA\xEB\xFE\xF7=\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\n",
                 "[\xC4\xEE\xEC]\n\xCA\xEB\xFE\xF7=\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\n\n\n"
                 "[Server]\nIdleTime=5\n"},
        KeptCase{"CrLf", "[Server]\r\nIdleTime=1\r\n[Log]\r\nFileName=x.log\r\n",
                 "[Server]\r\nIdleTime=5\r\n\r\n\r\n[Log]\r\nFileName=x.log\r\n"},
        KeptCase{"Comments",
                 "; the host's settings\n[Server]\n; before the key\nIdleTime=1\n"
                 "# after the last key\n\n; and the end\n",
                 "; the host's settings\n\n\n[Server]\n\n; before the key\nIdleTime=5\n\n"
                 "# after the last key\n\n; and the end\n"},
        KeptCase{"CommentsOnly", "; one\n; two\n\n; three\n",
                 "; one\n; two\n\n\n[Server]\nIdleTime=5\n\n; three\n"}),
    [](const testing::TestParamInfo<KeptCase>& info) { return info.param.name; });

TEST_F(IniFileTest, NothingIsWrittenWhenNothingChanged) {
    const std::string bytes = "[Server]\n\n\nIdleTime = 1\n";
    WriteFile(path, bytes);
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24));
    const auto mtime = fs::last_write_time(path);

    TMemIniFile ini(path);
    ini.WriteString("SERVER", "idletime", "1");
    EXPECT_FALSE(ini.Modified());
    ini.UpdateFile();
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_EQ(fs::last_write_time(path), mtime);
}

TEST_F(IniFileTest, RevertDropsUnsavedWrites) {
    WriteFile(path, "[S]\nK=1\n");
    TMemIniFile ini(path);
    ini.WriteString("S", "K", "2");
    ini.WriteString("T", "New", "x");
    EXPECT_TRUE(ini.Modified());
    ini.Revert();
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(ini.ReadString("S", "K", ""), "1");
    EXPECT_FALSE(ini.ValueExists("T", "New"));
}

// Written, these would read back as other entries than the one written.
TEST_F(IniFileTest, EntriesTheFileCannotHoldAreRefused) {
    WriteFile(path, "[S]\nK=1\n");
    TMemIniFile ini(path);
    EXPECT_THROW(ini.WriteString("S", "K", "1\n[Log]\nFileName=/tmp/x"), EFileError);
    EXPECT_THROW(ini.WriteString("S", "K", "a\rb"), EFileError);
    EXPECT_THROW(ini.WriteString("S", "K", "a\0b"s), EFileError);
    EXPECT_THROW(ini.WriteString("S", "K=2", "1"), EFileError);
    EXPECT_THROW(ini.WriteString("S]x", "K", "1"), EFileError);
    EXPECT_FALSE(ini.Modified());
    EXPECT_EQ(ini.ReadString("S", "K", ""), "1");
}

TEST_F(IniFileTest, WritingIntoAMissingFolderRaises) {
    const std::string missing = dir / "no/such/folder/host.ini";
    TMemIniFile ini(missing);
    ini.WriteString("S", "K", "1");
    EXPECT_THROW(ini.UpdateFile(), EFileError);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(ini.ReadString("S", "K", ""), "1");
}

TEST_F(IniFileTest, AFileThatCouldNotBeReadIsNeverReplaced) {
    const std::string bytes = "\xFF\xFE[\0S\0]\0\n\0"s;  // UTF-16
    WriteFile(path, bytes);
    TMemIniFile ini(path);
    EXPECT_FALSE(ini.ValueExists("S", "K"));
    ini.UpdateFile();  // nothing to write: no error
    ini.WriteString("S", "K", "1");
    EXPECT_THROW(ini.UpdateFile(), EFileError);
    EXPECT_EQ(ReadFile(path), bytes);
}

#ifdef __linux__
// A disk that fills up in the middle of the write, simulated by a file-size limit.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(IniFileTest, AWriteThatFailsHalfwayLeavesTheOldFileWhole) {
    const std::string bytes = "[Server]\nIdleTime=1\n";
    WriteFile(path, bytes);
    TMemIniFile ini(path);
    ini.WriteString("Server", "Domains", std::string(4096, 'd'));
    {
        FileSizeLimit limit(100);
        EXPECT_THROW(ini.UpdateFile(), EFileError);
    }
    EXPECT_EQ(ReadFile(path), bytes);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    EXPECT_TRUE(ini.Modified());

    ini.UpdateFile();
    EXPECT_EQ(TMemIniFile(path).ReadString("Server", "Domains", ""), std::string(4096, 'd'));
}
#endif

}  // namespace
}  // namespace nelvo
