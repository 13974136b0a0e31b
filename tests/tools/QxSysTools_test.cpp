#include "tools/QxSysTools.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

#include "platform/Platform.h"
#include "support/TempDir.h"

namespace nelvo {
namespace {

using test::ReadFile;
using test::ScopedEnv;
using test::TempDir;
using test::WriteFile;

const TDateTime kFixed{2024, 3, 7, 9, 5, 4, 42};

class FixedClock : public ::testing::Test {
protected:
    void SetUp() override {
        SetNowFunction([] { return kFixed; });
    }
    void TearDown() override { SetNowFunction({}); }
};

// --- configuration variables -------------------------------------------------------------------

using ConfigVarsTest = FixedClock;

TEST_F(ConfigVarsTest, ExpandsVariablesAndKeepsWhatDoesNotResolve) {
    ScopedEnv temp("TEMP", "/var/tmp/nelvo");
    ScopedEnv unset("NELVO_SURELY_UNSET", nullptr);
    const std::string exe = GetExeFileName();
    const std::string dir = exe.substr(0, exe.rfind('/'));
    struct Case {
        std::string text, expected;
    } cases[] = {
        {"%Temp%/x.log", "/var/tmp/nelvo/x.log"},
        {"%TEMP%", "/var/tmp/nelvo"},
        {"100%", "100%"},
        {"a%b", "a%b"},
        {"%%", "%%"},
        {"%NELVO_SURELY_UNSET%/x", "%NELVO_SURELY_UNSET%/x"},
        {"%Date%", "20240307"},
        {"%date|yyyy-mm%", "2024-03"},
        {"%Time%", "090504"},
        {"%DateTime%", "20240307_090504"},
        {"%DateTime|yyyy.mm.dd hh:nn:ss:zzz%", "2024.03.07 09:05:04:042"},
        {"%PID%", std::to_string(getpid())},
        {"%ExeName%.log", "tools_tests.log"},
        {"%FullExeName%", exe},
        {"%FullExeName|Dir%", dir},
        {"%FullExeName|dir%", dir},
        {"%FullExeName|Dir\\%", dir + "/"},
        {"%FullExeName|Name%", exe},
        {"%PID|yyyy%", std::to_string(getpid())},
        {"%MachineName%", platform::ComputerName()},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandConfigVars(c.text), c.expected) << c.text;
}

TEST_F(ConfigVarsTest, FoldersWithoutBuiltInValueComeFromTheEnvironment) {
    ScopedEnv docs("Documents", "/home/u/Docs");
    EXPECT_EQ(GetConfigVar("Documents"), "/home/u/Docs");
    ScopedEnv none("Downloads", nullptr);
    EXPECT_EQ(GetConfigVar("Downloads|Dir"), "%Downloads%");
}

// --- dates ------------------------------------------------------------------------------------

TEST(FormatDateTimeTest, PatternsOfTheSystem) {
    struct Case {
        const char* format;
        const char* expected;
    } cases[] = {
        {"yyyymmdd", "20240307"},
        {"hhnnss", "090504"},
        {"yyyymmdd_hhnnss", "20240307_090504"},
        {"yyyy.mm.dd hh:nn:ss", "2024.03.07 09:05:04"},
        {"[yyyy.mm.dd hh:nn:ss:zzz]", "[2024.03.07 09:05:04:042]"},
        {"yyyy'-'mm'-'dd'T'hh':'nn':'ss'.'zzz'Z'", "2024-03-07T09:05:04.042Z"},
        {"hh:mm", "09:05"},  // m after an hour field means minutes
        {"mm/dd", "03/07"},
        {"d.m.yy", "7.3.24"},
        {"'yyyy' yyyy", "yyyy 2024"},
        {"YYYY-MM-DD", "2024-03-07"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.format, kFixed), c.expected) << c.format;
    EXPECT_EQ(DateTimeToISO(kFixed), "2024-03-07T09:05:04.042Z");
}

// The one-number form counts days from 1899-12-30 (day 0), with the time of day as fraction.
TEST(DateTimeToDoubleTest, CountsDaysFromTheEpoch) {
    struct Case {
        TDateTime value;
        double expected;
    } cases[] = {
        {{1899, 12, 30}, 0.0},
        {{1900, 1, 1}, 2.0},
        {{1900, 3, 1}, 61.0},  // 1900 was no leap year
        {{2000, 2, 29, 12}, 36585.5},
        {{2024, 3, 7, 6}, 45358.25},
        {{1899, 12, 29}, -1.0},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(DateTimeToDouble(c.value), c.expected) << c.value.year << c.value.month;
}

// --- files ------------------------------------------------------------------------------------

TEST(FilesTest, IsEmptyFileCountsAByteOrderMarkAsEmpty) {
    TempDir dir;
    struct Case {
        const char* name;
        const char* bytes;  // nullptr: file absent
        bool empty;
    } cases[] = {
        {"absent", nullptr, true},     {"zero", "", true},
        {"bom", "\xEF\xBB\xBF", true}, {"bom_plus", "\xEF\xBB\xBFx", false},
        {"one", "x", false},           {"almost_bom", "\xEF\xBB\xBE", false},
    };
    for (const auto& c : cases) {
        if (c.bytes) WriteFile(dir / c.name, c.bytes);
        EXPECT_EQ(IsEmptyFile(dir / c.name), c.empty) << c.name;
    }
}

TEST(FilesTest, SkipBOMLeavesThePositionBehindTheMarkOrWhereItWas) {
    TempDir dir;
    WriteFile(dir / "bom", "\xEF\xBB\xBFtext");
    WriteFile(dir / "plain", "text");
    platform::File f;
    ASSERT_TRUE(f.Open(dir / "bom", platform::File::Mode::Read));
    f.Seek(2);
    EXPECT_EQ(SkipBOM(f), 3);
    EXPECT_EQ(f.Position(), 3);
    ASSERT_TRUE(f.Open(dir / "plain", platform::File::Mode::Read));
    f.Seek(2);
    EXPECT_EQ(SkipBOM(f), 0);
    EXPECT_EQ(f.Position(), 2);
}

TEST(FilesTest, AppendCreatesTheFolderChainAppendsAndReplaces) {
    TempDir dir;
    const std::string path = dir / "a/b/c/file.log";
    AppendLine(path, "one");
    AppendLine(path, "two");
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
    AppendToFile(path, "new", 3, true);
    EXPECT_EQ(ReadFile(path), "new");
}

TEST(FilesTest, AppendPassesFileErrorsToTheCaller) {
    TempDir dir;
    WriteFile(dir / "plain", "x");
    EXPECT_THROW(AppendLine(dir / "plain/sub/file.log", "x"), EFileError);
}

TEST(FilesTest, UniqueFileNameTakesTheFirstFreeNumber) {
    TempDir dir;
    EXPECT_EQ(GetUniqueFileName(dir / "host.log"), dir / "host.log");
    WriteFile(dir / "host.log", "x");
    WriteFile(dir / "host_1.log", "x");
    EXPECT_EQ(GetUniqueFileName(dir / "host.log"), dir / "host_2.log");
    WriteFile(dir / "noext", "x");
    EXPECT_EQ(GetUniqueFileName(dir / "noext"), dir / "noext_1");
}

TEST(FilesTest, FileNameParts) {
    EXPECT_EQ(ChangeFilePath("/a/b/file.txt", "/c"), "/c/file.txt");
    EXPECT_EQ(ChangeFilePath("file.txt", "/c/"), "/c/file.txt");
    EXPECT_EQ(ExtractFileExt("/a.b/file"), "");
    EXPECT_EQ(ChangeFileExt("/a.b/file.tar.gz", ".ini"), "/a.b/file.tar.ini");
    EXPECT_EQ(ChangeFileExt("/a/prog", ".ini"), "/a/prog.ini");
    EXPECT_EQ(PathJoin({"/tmp/", "Nelvo", "Error.log"}), "/tmp/Nelvo/Error.log");
    EXPECT_EQ(ExtractFileDir("/file"), "/");
}

TEST(FilesTest, ProgramPathsAndSearch) {
    EXPECT_EQ(ExtractFileName(GetExeFileName()), "tools_tests");
    EXPECT_EQ(GetLibFileName(), GetExeFileName());  // the tools are linked into the program
    EXPECT_FALSE(FindFileOnSearchPath("sh").empty());
    EXPECT_EQ(FindFileOnSearchPath("surely-no-such-program-here"), "");
    EXPECT_EQ(ExtractFileName(FindFileOnSearchPath("tools_tests")), "tools_tests");
    EXPECT_NE(GetLoadedModuleFileName("libc.so.6"), "");
    EXPECT_EQ(GetLoadedModuleFileName("libnothing.so"), "");
}

TEST(FilesTest, SettingsFileBesideTheProgramElseUnderAppData) {
    TempDir dir;
    ScopedEnv appData("AppData", nullptr);
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.Path().c_str());
    const std::string beside = ChangeFileExt(GetExeFileName(), ".ini");
    ASSERT_FALSE(platform::FileExists(beside));
    EXPECT_EQ(GetHostIniFileName(), dir / "Nelvo/NelvoPlugin/tools_tests.ini");
    WriteFile(beside, "[Log]\n");
    EXPECT_EQ(GetHostIniFileName(), beside);
    platform::DeleteFileAt(beside);
}

TEST(FilesTest, ReadIniStringFallsBackToTheDefault) {
    TempDir dir;
    WriteFile(dir / "a.ini", "\xEF\xBB\xBF[log]\r\nfilename=x.log\r\n");
    EXPECT_EQ(ReadIniString(dir / "a.ini", "Log", "FileName", "d"), "x.log");
    EXPECT_EQ(ReadIniString(dir / "a.ini", "Log", "Other", "d"), "d");
    EXPECT_EQ(ReadIniString(dir / "missing.ini", "Log", "FileName", "d"), "d");
    EXPECT_EQ(ReadIniString(dir.Path(), "Log", "FileName", "d"), "d");  // a folder
}

// --- file versions ----------------------------------------------------------------------------

TEST(FileVersionTest, OurBinariesCarryTheBuildVersionOthersNone) {
    TempDir dir;
    EXPECT_EQ(GetFileVersion(GetExeFileName()), NELVO_EXPECTED_VERSION);
    EXPECT_EQ(GetFileVersion(GetLoadedModuleFileName("libc.so.6")), "0.0.0.0");
    WriteFile(dir / "text", "not a program");
    EXPECT_EQ(GetFileVersion(dir / "text"), "0.0.0.0");
    EXPECT_EQ(GetFileVersion(dir / "missing"), "0.0.0.0");
    EXPECT_EQ(GetFileVersion(dir.Path()), "0.0.0.0");
}

// A damaged program file is outside input: every corruption must end in "0.0.0.0" or the
// version, never in a read outside the file.
TEST(FileVersionTest, DamagedBinariesNeverCrashTheReader) {
    TempDir dir;
    const std::string image = ReadFile(GetExeFileName());
    ASSERT_GT(image.size(), 4096u);
    WriteFile(dir / "short", image.substr(0, 64));
    EXPECT_EQ(GetFileVersion(dir / "short"), "0.0.0.0");
    const std::size_t headerFields[] = {0x04, 0x05, 0x28, 0x29, 0x2F, 0x3A, 0x3C, 0x3D, 0x3E};
    for (const std::size_t at : headerFields) {
        for (const unsigned char value : {0x00, 0x01, 0x7F, 0xFF}) {
            std::string damaged = image;
            damaged[at] = static_cast<char>(value);
            WriteFile(dir / "damaged", damaged);
            const std::string version = GetFileVersion(dir / "damaged");
            EXPECT_TRUE(version == "0.0.0.0" || version == NELVO_EXPECTED_VERSION) << at;
        }
    }
}

// --- masks and searches -----------------------------------------------------------------------

TEST(MasksTest, MatchTable) {
    struct Case {
        const char* name;
        const char* masks;
        bool matches;
    } cases[] = {
        {"a.cfg", "*.cfg", true},      {"A.CFG", "*.cfg", true},
        {"a.tmp", "-*.tmp", false},    {"a.cfg", "-*.tmp", true},
        {"a.cfg", "*.txt,*.*", true},  {"a.cfg", "+*.txt, +*.cfg", true},
        {"a.cfg", "*.txt", false},     {"ab.cfg", "?.cfg", false},
        {"a.cfg", "*.cfg,-a*", false}, {"abc", "a*c*", true},
        {"abcd", "a*c", false},        {"client.conf", "  client.* ", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesMasks(c.name, ParseMasks(c.masks)), c.matches) << c.name << " " << c.masks;
}

TEST(MasksTest, StarDotStarClearsEverythingBefore) {
    const TFileMasks masks = ParseMasks("-*.tmp, *.*, -*.cfg");
    EXPECT_TRUE(masks.include.empty());
    EXPECT_TRUE(masks.exclude.empty());
}

TEST(MasksTest, PathologicalMaskStaysFast) {
    const std::string name(5000, 'a');
    EXPECT_FALSE(MatchesMask(name, "*a*a*a*a*a*a*a*a*a*a*b"));
}

class FindFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir / "a.cfg", "x");
        WriteFile(dir / "b.tmp", "x");
        platform::ForceDirectories(dir / "sub/deeper");
        WriteFile(dir / "sub/c.cfg", "x");
        WriteFile(dir / "sub/deeper/d.cfg", "x");
        symlink(dir.Path().c_str(), (dir / "sub/loop").c_str());
    }
    TempDir dir;
};

TEST_F(FindFilesTest, ListsMatchingFilesRecursivelyWithoutFollowingLinkedFolders) {
    std::vector<std::string> found;
    EXPECT_EQ(FindFiles(dir.Path(), "-*.tmp", found, false, true), 3);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"a.cfg", "c.cfg", "d.cfg"}));
    found.clear();
    EXPECT_EQ(FindFiles(dir.Path(), "", found, true, false), 2);
    found.clear();
    EXPECT_EQ(FindFiles(dir.Path(), "*.cfg", found, true, false), 1);
    EXPECT_EQ(found, (std::vector<std::string>{dir / "a.cfg"}));
}

TEST_F(FindFilesTest, NthFileTakesAFoldersOwnFilesBeforeItsSubfolders) {
    EXPECT_EQ(FindNthFile(dir.Path(), "*.cfg", true, 1), dir / "a.cfg");
    EXPECT_EQ(FindNthFile(dir.Path(), "*.cfg", true, 2), dir / "sub/c.cfg");
    EXPECT_EQ(FindNthFile(dir.Path(), "*.cfg", true, 3), dir / "sub/deeper/d.cfg");
    EXPECT_EQ(FindNthFile(dir.Path(), "*.cfg", true, 4), "");
    EXPECT_EQ(FindNthFile(dir.Path(), "*.cfg", false, 2), "");
}

// --- operating system -------------------------------------------------------------------------

TEST(OSNameTest, WindowsTableWithRecordedVersions) {
    struct Case {
        int major, minor, build;
        const char* sp;
        const char* expected;
    } cases[] = {
        {5, 0, 2195, "Service Pack 4", "Windows 2000 Build 2195 (Service Pack 4)"},
        {5, 1, 2600, "Service Pack 3", "Windows XP Build 2600 (Service Pack 3)"},
        {5, 2, 3790, "", "Windows XP64 Build 3790"},
        {6, 0, 6002, "", "Vista Build 6002"},
        {6, 1, 7601, "Service Pack 1", "Windows 7 Build 7601 (Service Pack 1)"},
        {6, 2, 9200, "", "Windows 8 Build 9200"},
        {6, 3, 9600, "", "Windows 8.1 Build 9600"},
        {6, 4, 9841, "", " Build 9841"},
        {5, 3, 1, "", " Build 1"},
        {10, 0, 19045, "", "Windows 10 Build 19045"},
        {4, 0, 1381, "Service Pack 6", "4.0 Build 1381 (Service Pack 6)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WindowsOSName(c.major, c.minor, c.build, c.sp), c.expected) << c.expected;
}

TEST(OSNameTest, LinuxDescriptionStartsWithTheSystemName) {
    const std::string text = GetOSVersionText();
    EXPECT_TRUE(text.starts_with("Linux ")) << text;
    EXPECT_TRUE(text.ends_with(IsWindows64() ? " 64-bit" : " 32-bit")) << text;
}

// --- Base64 -----------------------------------------------------------------------------------

TEST(Base64Test, DecodingRules) {
    EXPECT_EQ(Base64ToBytes("SGVs\r\nbG8=\r\n"), "Hello");
    EXPECT_EQ(Base64ToBytes("SGVsbG8"), "Hello");
    EXPECT_EQ(Base64ToBytes(""), "");
    EXPECT_EQ(DecodeBase64Text("SGVsbG8", true), "Hello");
    EXPECT_EQ(DecodeBase64Text("SGV sbG8", false), "Hello");
    EXPECT_THROW(DecodeBase64Text("SGV sbG8", true), EBase64Error);
    EXPECT_THROW(DecodeBase64Text("SG=sbG8=", true), EBase64Error);
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    for (std::size_t n = 0; n <= 5; ++n) {
        const std::string bytes = all.substr(250 - n, n);
        EXPECT_EQ(DecodeBase64Text(EncodeBase64(bytes), true), bytes) << n;
    }
    EXPECT_EQ(DecodeBase64Text(EncodeBase64(all), true), all);
}

// --- values -----------------------------------------------------------------------------------

TEST(ValuesTest, ValueToTextKinds) {
    struct Named : TObject {};
    Named object;
    const int local = 0;
    const std::string objectText =
        "Named(0x" + IntToHex(reinterpret_cast<std::uintptr_t>(&object), 4) + ")";
    struct Case {
        TVarRec value;
        std::string expected;
    } cases[] = {
        {std::int32_t{-7}, "-7"},
        {std::int64_t{1} << 40, "1099511627776"},
        {std::uint64_t{18446744073709551615u}, "18446744073709551615"},
        {true, "TRUE"},
        {false, "FALSE"},
        {'x', "x"},
        {char32_t{0x0416}, "\xD0\x96"},
        {1.5, "1.5"},
        {TCurrency{12345}, "1.2345"},
        {TCurrency{-5000}, "-0.5"},
        {TCurrency{20000}, "2"},
        {"text", "text"},
        {TClassRef{"TPluginHost"}, "TPluginHost"},
        {TInterfaceRef{reinterpret_cast<const void*>(0xABCD)}, "0000ABCD"},
        {TVariant(std::string("v")), "v"},
        {static_cast<const TObject*>(&object), objectText},
        {static_cast<const void*>(reinterpret_cast<const char*>(0x12)), "Pointer(00000012)"},
    };
    (void)local;
    for (const auto& c : cases) EXPECT_EQ(ValueToText(c.value), c.expected);
}

TEST(ValuesTest, FloatsInGeneralFormat) {
    struct Case {
        double value;
        const char* expected;
    } cases[] = {
        {0, "0"},
        {1.5, "1.5"},
        {-2, "-2"},
        {0.1, "0.1"},
        {1e20, "1E20"},
        {1e-7, "1E-7"},
        {0.0001, "0.0001"},
        {0.00001, "1E-5"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {1.0 / 3, "0.333333333333333"},
    };
    for (const auto& c : cases) EXPECT_EQ(FloatToText(c.value), c.expected) << c.expected;
}

TEST(ValuesTest, VariantKinds) {
    struct Case {
        TVariant value;
        const char* expected;
    } cases[] = {
        {TVariant(), ""},
        {TVariant::Null(), ""},
        {TVariant(42), "42"},
        {TVariant(std::int64_t{-1}), "-1"},
        {TVariant(std::uint64_t{18446744073709551615u}), "18446744073709551615"},
        {TVariant::OfType(varByte, std::int64_t{255}), "255"},
        {TVariant::OfType(varSingle, 0.5), "0.5"},
        {TVariant(2.25), "2.25"},
        {TVariant(TCurrency{15000}), "1.5"},
        {TVariant(TDateTime{2024, 1, 2, 3, 4, 5, 6}), "2024.01.02 03:04:05:006"},
        {TVariant("s"), "s"},
        {TVariant::OfType(varDispatch), "IDispatch"},
        {TVariant(true), "TRUE"},
    };
    for (const auto& c : cases) EXPECT_EQ(VariantToText(c.value), c.expected) << c.expected;
}

TEST(ValuesTest, UnsupportedVariantNamesItsTypeCode) {
    try {
        VariantToText(TVariant::OfType(varUnknown));
        FAIL() << "no error";
    } catch (const EVariantError& e) {
        EXPECT_NE(std::string(e.what()).find("(13)"), std::string::npos) << e.what();
    }
}

// --- texts ------------------------------------------------------------------------------------

TEST(TextsTest, PosSplitBetweenIndent) {
    EXPECT_EQ(PosText("B", "abcb", 1), 2);
    EXPECT_EQ(PosText("b", "abcb", 3), 4);
    EXPECT_EQ(PosText("b", "abcb", 5), 0);
    EXPECT_EQ(PosText("bcbx", "abcb", 1), 0);

    std::string text = "Params=a=b";
    EXPECT_EQ(SplitFirst(text, "="), "Params");
    EXPECT_EQ(text, "a=b");
    EXPECT_EQ(SplitFirst(text, ";"), "a=b");
    EXPECT_EQ(text, "");

    int start = 1;
    EXPECT_EQ(TextBetween("x<A>1</a><a>2</a>", "<a>", "</A>", start), "1");
    EXPECT_EQ(start, 5);
    start = 6;
    EXPECT_EQ(TextBetween("x<A>1</a><a>2</a>", "<a>", "</A>", start), "2");
    start = 1;
    EXPECT_EQ(TextBetween("key: value", "key: ", "", start), "value");
    start = 1;
    EXPECT_EQ(TextBetween("abc", "z", "", start), "");
    EXPECT_EQ(start, 0);

    EXPECT_EQ(IndentLines("a\r\nb", " ", "\r\n"), " a\r\n b");
    EXPECT_EQ(IndentLines("a\r\nb\r\n", "  ", "\r\n"), "  a\r\n  b\r\n");
    EXPECT_EQ(IndentLines("a\r\nb", "", "\r\n"), "a\r\nb");
}

TEST(TextsTest, DecimalIntegersOnly) {
    struct Case {
        const char* text;
        bool ok;
        std::int32_t value;
    } cases[] = {
        {"11741", true, 11741}, {"-5", true, -5},   {"+7", true, 7},   {"", false, 0},
        {"12a", false, 0},      {"0x10", false, 0}, {"$10", false, 0}, {"99999999999", false, 0},
        {"++1", false, 0},      {" 1", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t value = 0;
        EXPECT_EQ(TryStrToInt(c.text, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

// --- memory and processes ---------------------------------------------------------------------

TEST(MemoryTest, ReadableAndCodeRanges) {
    const int onStack = 1;
    EXPECT_TRUE(IsReadableMemory(&onStack, sizeof onStack));
    EXPECT_FALSE(IsCodeMemory(&onStack, sizeof onStack));
    const void* code = reinterpret_cast<const void*>(&IsCodeMemory);
    EXPECT_TRUE(IsCodeMemory(code, 16));
    EXPECT_TRUE(IsReadableMemory(code, 16));
    EXPECT_FALSE(IsReadableMemory(nullptr, 1));

    const long page = sysconf(_SC_PAGESIZE);
    void* mapped =
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(mapped, MAP_FAILED);
    auto* bytes = static_cast<char*>(mapped);
    ASSERT_EQ(mprotect(bytes + page, page, PROT_NONE), 0);
    EXPECT_TRUE(IsReadableMemory(bytes, page));
    EXPECT_FALSE(IsReadableMemory(bytes + page - 8, 16));  // runs into the no-access page
    munmap(mapped, 2 * page);
    EXPECT_FALSE(IsReadableMemory(bytes, 1));
}

TEST(ProcessTest, FindsItselfByNameAndPath) {
    EXPECT_EQ(GetProcessImagePath(0), "");
    EXPECT_EQ(GetProcessImagePath(getpid()), GetExeFileName());
    // Other copies of this runner may be running in parallel: any of them is a right answer.
    const int byName = FindProcessByName("TOOLS_TESTS");
    ASSERT_NE(byName, 0);
    EXPECT_EQ(GetProcessImagePath(byName), GetExeFileName());
    EXPECT_NE(FindProcessByName(GetExeFileName()), 0);
    EXPECT_EQ(FindProcessByName("surely-no-such-process"), 0);
}

}  // namespace
}  // namespace nelvo
