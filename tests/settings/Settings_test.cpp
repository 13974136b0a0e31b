// The host's configuration on its INI file: reading, defaults for what is broken, what Save
// writes and what it leaves alone, and the "Current settings" record.
#include <gtest/gtest.h>

#include <filesystem>

#include "settings/SettingsTestSupport.h"
#include "settings/U_Settings.h"
#include "support/TempDir.h"

namespace nelvo {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Entries = std::vector<std::string>;
using test::ReadFile;
using test::WriteFile;

const std::string kBuiltIn = BuiltInDomainText;

class SettingsTest : public testing::Test {
protected:
    std::unique_ptr<THostSettings> Loaded() {
        auto settings = std::make_unique<THostSettings>(path);
        settings->Load();
        return settings;
    }

    // Puts the file's modification time in the past, so that any rewrite shows.
    void AgeFile() {
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(24));
        mtime = fs::last_write_time(path);
    }
    void ExpectFileUntouched(const std::string& bytes) {
        EXPECT_EQ(ReadFile(path), bytes);
        EXPECT_EQ(fs::last_write_time(path), mtime);
    }

    test::TempDir dir;
    std::string path = dir / "nelvo-host.ini";
    fs::file_time_type mtime;
};

TEST_F(SettingsTest, MissingFileReadsAsDefaultsAndIsNotWritten) {
    auto settings = Loaded();
    EXPECT_EQ(settings->Server_RPC().Port(), 11741);
    EXPECT_EQ(settings->Server_SSL().Port(), 11742);
    EXPECT_EQ(settings->IdleTime(), 300);
    EXPECT_FALSE(settings->DevMode());
    EXPECT_EQ(settings->Server().Domains(), kBuiltIn);
    EXPECT_EQ(TBaseDomainList(kBuiltIn).Count(), 5u);
    EXPECT_FALSE(settings->IsModified());
    EXPECT_FALSE(settings->IsNotDefault());

    settings->Save();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsTest, ReadsEveryKeyWithoutRegardToLetterCase) {
    WriteFile(path,
              "[server]\nidletime=60\ndevmode=1\ndomains=a.example;\"my bank.example\"\n"
              "[SERVER_HTTP]\nPORT=8080\n[Server_Https]\nport = 8443 \n");
    auto settings = Loaded();
    EXPECT_EQ(settings->IdleTime(), 60);
    EXPECT_TRUE(settings->DevMode());
    EXPECT_EQ(settings->Server_RPC().Port(), 8080);
    EXPECT_EQ(settings->Server_SSL().Port(), 8443);
    EXPECT_EQ(TBaseDomainList(settings->Server().Domains()).Count(), 7u);
    EXPECT_TRUE(settings->Server().DomainList().IsKnown("https://my bank.example/"));
    EXPECT_EQ(settings->IniFileName(), path);
}

struct BrokenFileCase {
    std::string name;
    std::string bytes;
    std::int32_t http;
    std::int32_t https;
    std::int32_t idle;
    friend void PrintTo(const BrokenFileCase& c, std::ostream* os) { *os << c.name; }
};

class BrokenFileTest : public SettingsTest, public testing::WithParamInterface<BrokenFileCase> {};

TEST_P(BrokenFileTest, BrokenValuesReadAsTheirDefaults) {
    const BrokenFileCase& c = GetParam();
    WriteFile(path, c.bytes);
    auto settings = Loaded();
    EXPECT_EQ(settings->Server_RPC().Port(), c.http);
    EXPECT_EQ(settings->Server_SSL().Port(), c.https);
    EXPECT_EQ(settings->IdleTime(), c.idle);
    EXPECT_FALSE(settings->DevMode());
    EXPECT_TRUE(settings->Server().DomainList().IsKnown("https://www.zrb.example"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenFileTest,
    testing::Values(
        BrokenFileCase{"NoNumbers",
                       "[Server]\nIdleTime=five\n[Server_HTTP]\nPort=80a\n[Server_HTTPS]\nPort=\n",
                       11741, 11742, 300},
        BrokenFileCase{"OutOfRange",
                       "[Server]\nIdleTime=99999999999\n[Server_HTTP]\nPort=0\n"
                       "[Server_HTTPS]\nPort=65536\n",
                       11741, 11742, 300},
        BrokenFileCase{
            "GoodBesideBroken",
            "[Server]\nIdleTime=0x10\n[Server_HTTP]\nPort=-5\n[Server_HTTPS]\nPort=9000\n", 11741,
            9000, 300},
        BrokenFileCase{"OtherSectionsOnly", "[Log]\nFileName=\n[Other]\nPort=1\n", 11741, 11742,
                       300},
        BrokenFileCase{"NotUtf8",
                       "[Server]\nIdleTime=\xE9\xE9\n\xFF\xFE=\xC0\n[Server_HTTP]\nPort=\xD0\n",
                       11741, 11742, 300},
        BrokenFileCase{"NoIniAtAll",
                       "\x7F"
                       "ELF\x01\x01\x01\xFF\xFF[[[===]]]\n]\n=\n[",
                       11741, 11742, 300},
        BrokenFileCase{"ZeroByte", "[Server_HTTP]\nPort=1234\0\n"s, 11741, 11742, 300},
        BrokenFileCase{"Empty", "", 11741, 11742, 300}),
    [](const testing::TestParamInfo<BrokenFileCase>& info) { return info.param.name; });

struct DevModeCase {
    std::string value;
    bool on;
    friend void PrintTo(const DevModeCase& c, std::ostream* os) {
        *os << testing::PrintToString(c.value);
    }
};

class DevModeTest : public SettingsTest, public testing::WithParamInterface<DevModeCase> {};

TEST_P(DevModeTest, OnlyALeadingOneSwitchesItOn) {
    WriteFile(path, "[Server]\nDevMode=" + GetParam().value + "\n");
    EXPECT_EQ(Loaded()->DevMode(), GetParam().on) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(Values, DevModeTest,
                         testing::Values(DevModeCase{"1", true}, DevModeCase{"10", true},
                                         DevModeCase{"true", false}, DevModeCase{"yes", false},
                                         DevModeCase{"0", false}, DevModeCase{"", false}));

TEST_F(SettingsTest, MissingBuiltInDomainsComeFirstInReverseOrder) {
    const TBaseDomainList builtIn(kBuiltIn);
    WriteFile(path, "[Server]\nDomains=user.example;" + builtIn[0] + ";" + builtIn[2] + ";" +
                        builtIn[4] + "\n");
    auto settings = Loaded();
    EXPECT_EQ(
        settings->Server().DomainList().Items().Items(),
        (Entries{builtIn[3], builtIn[1], "user.example", builtIn[0], builtIn[2], builtIn[4]}));
    EXPECT_TRUE(settings->Server().DomainList().IsKnown("https://" + builtIn[1]));
    EXPECT_TRUE(settings->Server().DomainList().IsKnown("https://" + builtIn[3]));
    EXPECT_TRUE(settings->IsModified());
}

TEST_F(SettingsTest, EmptyDomainsStillTrustTheBuiltInOnes) {
    WriteFile(path, "[Server]\nDomains=\n");
    auto settings = Loaded();
    const TBaseDomainList builtIn(kBuiltIn);
    EXPECT_EQ(settings->Server().DomainList().Items().Items(),
              (Entries{builtIn[4], builtIn[3], builtIn[2], builtIn[1], builtIn[0]}));
}

TEST_F(SettingsTest, ModifiedAndNotDefaultCountDifferentThings) {
    WriteFile(path, "[Server]\nDevMode=1\n");
    {
        auto settings = Loaded();
        EXPECT_FALSE(settings->IsModified());
        EXPECT_FALSE(settings->IsNotDefault());  // developer mode is no deviation
        settings->Server().SetDomains("other.example");
        EXPECT_TRUE(settings->IsModified());
        EXPECT_FALSE(settings->IsNotDefault());  // nor is the domain list
    }
    {
        auto settings = Loaded();
        settings->SetIdleTime(301);
        EXPECT_TRUE(settings->IsModified());
        EXPECT_TRUE(settings->IsNotDefault());
        settings->SetIdleTime(300);
        EXPECT_FALSE(settings->IsModified());
        settings->Server_SSL().SetPort(11800);
        EXPECT_TRUE(settings->IsNotDefault());
    }
    {
        // The file says developer mode, the reset values do not: that differs from the file.
        auto settings = Loaded();
        settings->SetDefaults();
        EXPECT_TRUE(settings->IsModified());
    }
}

// A file of a user who edited it by hand: everything in it beside our values must survive.
const std::string kUserFile =
    "\xEF\xBB\xBF; settings of the host\r\n"
    "[Server]\r\n"
    "; keep developer mode\r\n"
    "DevMode=1\r\n"
    "IdleTime=120\r\n"
    "Domains=a.example;" +
    kBuiltIn +
    "\r\n"
    "[Server_HTTP]\r\n"
    "Port=8080\r\n"
    "[Log]\r\n"
    "FileName=%Temp%\\\xCB\xEE\xE3.log\r\n"
    "[Other]\r\n"
    "Name=\xFF value\r\n"
    "; the end\r\n";

TEST_F(SettingsTest, SaveWritesNothingWhenNothingDiffers) {
    WriteFile(path, kUserFile);
    AgeFile();
    auto settings = Loaded();
    EXPECT_FALSE(settings->IsModified());
    settings->Save();
    settings->Save({TSettingsPart::spDomains});
    ExpectFileUntouched(kUserFile);
}

TEST_F(SettingsTest, SaveKeepsEverythingElseOfTheFile) {
    WriteFile(path, kUserFile);
    auto settings = Loaded();
    settings->SetIdleTime(45);
    settings->Server_SSL().SetPort(9443);
    settings->Save();

    const std::string bytes = ReadFile(path);
    for (const char* kept : {"\xEF\xBB\xBF; settings of the host\r\n", "; keep developer mode\r\n",
                             "DevMode=1\r\n", "FileName=%Temp%\\\xCB\xEE\xE3.log\r\n",
                             "Name=\xFF value\r\n", "; the end\r\n", "Port=8080\r\n"})
        EXPECT_NE(bytes.find(kept), std::string::npos) << kept;
    EXPECT_TRUE(bytes.starts_with("\xEF\xBB\xBF"));

    auto again = Loaded();
    EXPECT_EQ(again->IdleTime(), 45);
    EXPECT_EQ(again->Server_SSL().Port(), 9443);
    EXPECT_EQ(again->Server_RPC().Port(), 8080);
    EXPECT_TRUE(again->DevMode());
    EXPECT_FALSE(again->IsModified());
}

TEST_F(SettingsTest, SaveWritesOnlyTheChosenParts) {
    WriteFile(path, kUserFile);
    auto settings = Loaded();
    settings->Server().SetDomains("other.example");
    settings->Server_RPC().SetPort(8081);
    settings->Server_SSL().SetPort(8444);
    settings->SetIdleTime(10);
    settings->Save({TSettingsPart::spHttpsPort, TSettingsPart::spIdleTime});

    auto again = Loaded();
    EXPECT_EQ(again->Server_RPC().Port(), 8080);
    EXPECT_EQ(again->Server_SSL().Port(), 8444);
    EXPECT_EQ(again->IdleTime(), 10);
    EXPECT_NE(ReadFile(path).find("Domains=a.example;" + kBuiltIn + "\r\n"), std::string::npos);
}

TEST_F(SettingsTest, DomainsOnlySaveAfterAPortChangeWritesOnlyTheDomains) {
    WriteFile(path, "[Server]\nDomains=" + kBuiltIn + "\n");
    AgeFile();
    auto settings = Loaded();
    settings->Server_RPC().SetPort(8081);

    // The domains equal the file: there is nothing to write.
    settings->Save({TSettingsPart::spDomains});
    ExpectFileUntouched("[Server]\nDomains=" + kBuiltIn + "\n");

    settings->Server().SetDomains("new.example;" + kBuiltIn);
    settings->Save({TSettingsPart::spDomains});
    auto again = Loaded();
    EXPECT_EQ(again->Server().Domains(), "new.example;" + kBuiltIn);
    EXPECT_EQ(again->Server_RPC().Port(), 11741);
}

TEST_F(SettingsTest, ResetAndSaveLeaveDevModeInTheFile) {
    WriteFile(path, "[Server]\nDevMode=1\nIdleTime=50\n[Server_HTTP]\nPort=8080\n");
    auto settings = Loaded();
    settings->SetDefaults();
    EXPECT_FALSE(settings->DevMode());
    settings->Save();

    const std::string bytes = ReadFile(path);
    EXPECT_NE(bytes.find("DevMode=1\n"), std::string::npos);
    auto again = Loaded();
    EXPECT_TRUE(again->DevMode());
    EXPECT_EQ(again->IdleTime(), 300);
    EXPECT_EQ(again->Server_RPC().Port(), 11741);
    EXPECT_EQ(again->Server().Domains(), kBuiltIn);
}

TEST_F(SettingsTest, FailingSaveRaisesKeepsTheValuesAndCanBeRetried) {
    const std::string folder = dir / "Nelvo";
    path = folder + "/nelvo-host.ini";
    auto settings = Loaded();
    settings->Server_RPC().SetPort(8088);

    EXPECT_THROW(settings->Save(), EFileError);
    EXPECT_EQ(settings->Server_RPC().Port(), 8088);
    EXPECT_TRUE(settings->IsModified());
    EXPECT_FALSE(fs::exists(path));

    fs::create_directory(folder);
    settings->Save();
    EXPECT_EQ(Loaded()->Server_RPC().Port(), 8088);
}

TEST_F(SettingsTest, UnreadableFileIsNeverReplaced) {
    const std::string bytes = "[Server_HTTP]\nPort=1234\0garbage\n"s;
    WriteFile(path, bytes);
    auto settings = Loaded();
    EXPECT_EQ(settings->Server_RPC().Port(), 11741);
    settings->Server_RPC().SetPort(8088);
    EXPECT_THROW(settings->Save(), EFileError);
    EXPECT_EQ(ReadFile(path), bytes);
}

TEST_F(SettingsTest, DomainTextThatCannotBeStoredRaisesOnSave) {
    WriteFile(path, "[Server]\nIdleTime=300\n");
    auto settings = Loaded();
    settings->Server().SetDomains("\"line\nbreak\"");
    EXPECT_THROW(settings->Save(), EFileError);
    EXPECT_EQ(ReadFile(path), "[Server]\nIdleTime=300\n");
}

TEST_F(SettingsTest, CurrentSettingsRecord) {
    WriteFile(path, "[Server]\nDevMode=1\n");
    test::ScopedLogCapture log;
    auto settings = Loaded();
    const std::string defaults =
        "HTTP Port: 11741\r\nHTTPS Port: 11742\r\nDomains: " + kBuiltIn + "\r\nIdle time: 300 сек.";
    EXPECT_EQ(settings->CurrentText(), defaults + "\r\nDeveloper mode ON!");

    settings->SetDefaults();
    EXPECT_EQ(settings->CurrentText(), defaults);
    settings->LogCurrent();
    const std::vector<test::CapturedRecord> records = log.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "Current settings");
    EXPECT_EQ(records[0].type, TQxLogerTraceType::ttMessage);
    EXPECT_EQ(records[0].names, TNames{defaults});
    EXPECT_EQ(records[0].sender, "THostSettings");
}

}  // namespace
}  // namespace nelvo
