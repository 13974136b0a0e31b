#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SettingsTestSupport.h"
#include "platform/Platform.h"
#include "settings/U_BrowserPorts.h"
#include "settings/U_SQLiteDb.h"
#include "support/TempDir.h"

namespace nelvo {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::StartsWith;
using Lines = std::vector<std::string>;

const std::string kHex11742 = "31003100370034003200";

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
        const char* digits = "0123456789ABCDEF";
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// The log as "E:"/"M:" + message, with " | " + detail when there is one.
Lines LogLines(const test::ScopedLogCapture& capture) {
    Lines lines;
    for (const auto& record : capture.Records()) {
        std::string line =
            (record.type == TQxLogerTraceType::ttError ? "E:" : "M:") + record.message;
        if (!record.names.empty()) line += " | " + record.names.front();
        lines.push_back(line);
    }
    return lines;
}

Lines Errors(const test::ScopedLogCapture& capture) {
    Lines errors;
    for (const std::string& line : LogLines(capture))
        if (line.rfind("E:", 0) == 0) errors.push_back(line);
    return errors;
}

// A private home whose Chrome profile has (or lacks) a Local Storage folder.
class BrowserPortsTest : public testing::Test {
protected:
    BrowserPortsTest()
        : home_("HOME", dir.Path().c_str()), config_("XDG_CONFIG_HOME", configHome.c_str()) {}

    void MakeFolder() { ASSERT_TRUE(platform::ForceDirectories(folder)); }
    std::string FileOf(const std::string& name) const { return folder + name; }

    // key -> value bytes in hexadecimal, in key order.
    static std::vector<std::pair<std::string, std::string>> Rows(const std::string& file) {
        TSQLiteConnection db;
        db.Open(file);
        TSQLiteStatement query(db, "select key, value from ItemTable order by key");
        std::vector<std::pair<std::string, std::string>> rows;
        while (query.Step()) rows.emplace_back(query.Text(0), Hex(query.Bytes(1)));
        return rows;
    }
    static void Execute(const std::string& file, const std::string& sql) {
        TSQLiteConnection db;
        db.Open(file);
        db.ExecuteDirect(sql);
    }

    test::TempDir dir;
    std::string configHome = dir / "config";
    std::string folder = configHome + "/google-chrome/Default/Local Storage/";
    test::ScopedLogCapture log;

private:
    test::ScopedEnv home_;
    test::ScopedEnv config_;
};

TEST_F(BrowserPortsTest, FolderIsTheChromeDefaultProfileUnderTheConfigHome) {
    EXPECT_EQ(LocalStorageFolder(), folder);
    test::ScopedEnv noXdg("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(LocalStorageFolder(), dir.Path() + "/.config/google-chrome/Default/Local Storage/");
}

TEST_F(BrowserPortsTest, MissingFolderIsLoggedOnlyWhenAsked) {
    EXPECT_FALSE(LocalStorageFolderExists(false));
    EXPECT_TRUE(LogLines(log).empty());
    EXPECT_FALSE(LocalStorageFolderExists(true));
    EXPECT_THAT(LogLines(log), ElementsAre("M:LocalStorage folder not found! | " + folder));
    MakeFolder();
    EXPECT_TRUE(LocalStorageFolderExists(true));
}

TEST(BrowserPortsNamesTest, ValueIsTheDecimalTextInUtf16) {
    EXPECT_EQ(PortValueHex(11742), kHex11742);
    EXPECT_EQ(PortValueHex(80), "38003000");
    EXPECT_EQ(PortValueHex(0), "3000");
}

TEST(BrowserPortsNamesTest, FileNameOfAnOrigin) {
    const std::pair<const char*, const char*> cases[] = {
        {"https://bank.example:0", "https_bank.example_0.localstorage"},
        {"http://bank.example:8443", "http_bank.example_8443.localstorage"},
        {"HTTPS://Bank.Example:0", "https_Bank.Example_0.localstorage"},
        // No origin can lead out of the folder.
        {"https://../../x:0", "https_....x_0.localstorage"},
    };
    for (const auto& [origin, name] : cases) EXPECT_EQ(LocalStorageFileName(origin), name);
}

TEST(BrowserPortsOriginsTest, OriginListOfTheDomainText) {
    struct Case {
        std::string domains;
        Lines origins;
        Lines warnings;
    };
    const Case cases[] = {
        {"a.example; https://b.example/x",
         {"https://a.example:0", "http://a.example:0", "https://b.example:0"},
         {"M:Domain with path! (https://b.example/x)"}},
        {"c.example:",
         {"https://c.example:0", "http://c.example:0"},
         {"M:Domain without port! (c.example:)"}},
        {"bank.example:8443", {"https://bank.example:8443", "http://bank.example:8443"}, {}},
        {"HTTP://B.example:81", {"HTTP://B.example:81"}, {}},
        // The path is cut at its first "/", wherever a scheme text appears after it.
        {"d.example/in?u=http://e.example",
         {"https://d.example:0", "http://d.example:0"},
         {"M:Domain with path! (d.example/in?u=http://e.example)"}},
        {" ; ;; ", {}, {}},
    };
    for (const Case& c : cases) {
        test::ScopedLogCapture capture;
        EXPECT_EQ(BuildOriginList(c.domains), c.origins) << c.domains;
        std::string listText;
        for (const std::string& origin : c.origins) listText += origin + "\r\n";
        Lines expected = c.warnings;
        expected.push_back("M:Writing ports for domains" +
                           (listText.empty() ? std::string() : " | " + listText));
        EXPECT_EQ(LogLines(capture), expected) << c.domains;
    }
}

TEST_F(BrowserPortsTest, EmptyDomainsOrMissingFolderDoNothing) {
    MakeFolder();
    PublishPorts("  ", {11741, 11742});
    fs::remove_all(configHome);
    PublishPorts("a.example", {11741, 11742});
    EXPECT_TRUE(LogLines(log).empty());
    EXPECT_FALSE(fs::exists(configHome));
}

TEST_F(BrowserPortsTest, EveryOriginGetsTheLastPortWithEveryLogLine) {
    MakeFolder();
    PublishPorts("a.example; https://b.example/x", {11741, 11742});

    Lines expected = {"M:Initializing SQLite...", "M:SQLite initialized",
                      "M:Domain with path! (https://b.example/x)",
                      "M:Writing ports for domains | https://a.example:0\r\nhttp://a.example:0\r\n"
                      "https://b.example:0\r\n"};
    const std::pair<const char*, const char*> origins[] = {
        {"https://a.example:0", "https_a.example_0.localstorage"},
        {"http://a.example:0", "http_a.example_0.localstorage"},
        {"https://b.example:0", "https_b.example_0.localstorage"},
    };
    for (const auto& [origin, name] : origins) {
        expected.push_back("M:LocalStorage for domain " + std::string(origin) + " | " +
                           FileOf(name));
        expected.push_back("M:Port 11741 written for " + std::string(origin));
        expected.push_back("M:Port 11742 written for " + std::string(origin));
        EXPECT_THAT(Rows(FileOf(name)), ElementsAre(std::pair(LocalStoragePortKey, kHex11742)))
            << name;
    }
    expected.push_back("M:Finalizing SQLite...");
    expected.push_back("M:SQLite finalized");
    EXPECT_THAT(LogLines(log), ElementsAreArray(expected));
}

TEST_F(BrowserPortsTest, ExistingFileKeepsOtherKeysAndOneRowForTheKey) {
    MakeFolder();
    const std::string file = FileOf("https_bank.example_0.localstorage");
    Execute(file,
            "CREATE TABLE ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB NOT NULL ON "
            "CONFLICT FAIL);"
            "insert into ItemTable values ('other', x'0102');"
            "insert into ItemTable values ('NelvoPluginHost_Port_ZRB', x'39003900');");
    PublishPorts("https://bank.example", {11741, 11742});
    PublishPorts("https://bank.example", {11741, 11742});
    EXPECT_THAT(Rows(file),
                ElementsAre(std::pair(LocalStoragePortKey, kHex11742), std::pair("other", "0102")));
    EXPECT_TRUE(Errors(log).empty());
}

// Fixture databases where a write cannot go through; each must cost only its own origin.
class BrowserPortsFailureTest : public BrowserPortsTest {
protected:
    void SetUp() override {
        MakeFolder();
        Execute(bad,
                "CREATE TABLE ItemTable (key TEXT UNIQUE ON CONFLICT REPLACE, value BLOB);"
                "insert into ItemTable values ('NelvoPluginHost_Port_ZRB', x'39003900');");
    }
    void PublishAndExpectGoodWritten() {
        PublishPorts("https://bad.example; https://good.example", {11741, 11742});
        EXPECT_THAT(Rows(good), ElementsAre(std::pair(LocalStoragePortKey, kHex11742)));
        const Lines lines = LogLines(log);
        EXPECT_EQ(lines.back(), "M:SQLite finalized");
    }

    std::string bad = FileOf("https_bad.example_0.localstorage");
    std::string good = FileOf("https_good.example_0.localstorage");
};

TEST_F(BrowserPortsFailureTest, BothPortsOfAnOriginGoInOneTransaction) {
    // The second write of the run fails; the first must be undone with it.
    Execute(bad,
            "CREATE TABLE seen (n INTEGER);"
            "CREATE TRIGGER once BEFORE INSERT ON ItemTable WHEN (SELECT count(*) FROM seen) > 0 "
            "BEGIN SELECT RAISE(ABORT, 'second write refused'); END;"
            "CREATE TRIGGER count AFTER INSERT ON ItemTable BEGIN INSERT INTO seen VALUES (1); "
            "END;");
    PublishAndExpectGoodWritten();
    EXPECT_THAT(Rows(bad), ElementsAre(std::pair(LocalStoragePortKey, "39003900")));
    const Lines lines = LogLines(log);
    EXPECT_THAT(lines, testing::Contains("M:Port 11741 written for https://bad.example:0"));
    EXPECT_THAT(lines,
                testing::Not(testing::Contains("M:Port 11742 written for https://bad.example:0")));
    EXPECT_THAT(Errors(log),
                ElementsAre(testing::AllOf(StartsWith("E:SQLite execute: "),
                                           testing::HasSubstr("second write refused"))));
}

TEST_F(BrowserPortsFailureTest, LockedDatabaseKeepsItsValue) {
    TSQLiteConnection browser;
    browser.Open(bad);
    browser.ExecuteDirect("BEGIN EXCLUSIVE");
    PublishAndExpectGoodWritten();
    browser.ExecuteDirect("ROLLBACK");
    EXPECT_THAT(Rows(bad), ElementsAre(std::pair(LocalStoragePortKey, "39003900")));
    EXPECT_THAT(Errors(log), ElementsAre(StartsWith("E:SQLite execute: ")));
}

TEST_F(BrowserPortsFailureTest, CorruptDatabaseIsLeftAsItIs) {
    const std::string garbage(4096, '\x5a');
    test::WriteFile(bad, garbage);
    PublishAndExpectGoodWritten();
    EXPECT_EQ(test::ReadFile(bad), garbage);
    EXPECT_THAT(Errors(log), ElementsAre(StartsWith("E:SQLite execute: ")));
}

TEST_F(BrowserPortsFailureTest, FileThatCannotBeOpenedIsSkipped) {
    fs::remove(bad);
    fs::create_directory(bad);  // a folder where the database file should be
    PublishAndExpectGoodWritten();
    EXPECT_THAT(Errors(log), ElementsAre(StartsWith("E:SQLite DB open: ")));
    EXPECT_THAT(
        LogLines(log),
        testing::Not(testing::Contains(StartsWith("M:Port 11741 written for https://bad"))));
}

TEST_F(BrowserPortsFailureTest, ReadOnlyDatabaseKeepsItsValue) {
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
    fs::permissions(bad, fs::perms::owner_read);
    PublishAndExpectGoodWritten();
    fs::permissions(bad, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_THAT(Rows(bad), ElementsAre(std::pair(LocalStoragePortKey, "39003900")));
    EXPECT_THAT(Errors(log), ElementsAre(StartsWith("E:SQLite execute: ")));
}

}  // namespace
}  // namespace nelvo
