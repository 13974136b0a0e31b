// The logger core on its own: which file each record goes to, and what a failing disk does.
#include "log/QxLoger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "log/LogTestSupport.h"
#include "platform/Platform.h"
#include "support/TempDir.h"

namespace nelvo::test {
namespace {

const std::string kHeader = "H\r\n";
const std::string kNewFile = std::string(kBom) + kHeader;

// Expands to a fixed file instead of the pattern, counting the decisions; optionally the first
// decisions land on a device that is always full.
class TScriptedLoger : public TQxLoger {
public:
    std::string target;
    int fullDiskDecisions = 0;
    mutable int decisions = 0;

    std::string ExpandFileName(const std::string& pattern) const override {
        ++decisions;
        if (decisions <= fullDiskDecisions) return "/dev/full";
        return target.empty() ? TQxLoger::ExpandFileName(pattern) : target;
    }
};

class LogerTest : public ::testing::Test {
protected:
    TempDir dir;
    FixedClock clock{At(2024, 3, 9, 10, 0, 0)};
    TScriptedLoger loger;
    std::vector<std::string> errors;

    void SetUp() override { Prepare(loger); }

    void Prepare(TQxLoger& target) {
        target.SetRetryDelay(1);
        target.OnWriteHeader = [](TQxLoger&, platform::File& file) { file.Write(kHeader); };
        target.OnError = [this](TQxLoger&, const std::exception& e) { errors.push_back(e.what()); };
    }

    static void Start(TQxLoger& target, const std::string& pattern) {
        target.SetFileName(pattern);
        target.SetActive(true);
    }
    void Start(const std::string& pattern) { Start(loger, pattern); }

    static void Write(TQxLoger& target, const std::string& record) {
        auto guard = target.Guard();
        target.WriteBuffer(record);
        target.Writer().Flush();
    }
    void Write(const std::string& record) { Write(loger, record); }

    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST(LogerPattern, RatesFinestDatePartOfAnyToken) {
    const struct {
        const char* pattern;
        std::uint8_t rating;
    } cases[] = {
        {"C:\\Log.log", dpNone},
        {"/var/log/%ExeName%.log", dpNone},
        {"log_%Date%.log", dpDay},
        {"log_%date%.log", dpDay},
        {"log_%Time%.log", dpSecond},
        {"log_%DateTime%.log", dpSecond},
        {"log_%Date|yyyy%.log", dpYear},
        {"log_%Date|yyyymm%.log", dpMonth},
        {"log_%Date|yyyymmdd_hh%.log", dpHour},
        {"log_%Time|hhnn%.log", dpMinute},
        {"%FullExeName|Dir%/app.log", dpDay},
        {"%ExeName|hh%.log", dpHour},
        {"%PID%_%Date|yyyy%_%Time|hh%.log", dpHour},
        {"50%_%Date|yyyymm.log", dpNone},
        {"%%Date|hh%.log", dpNone},
    };
    for (const auto& c : cases) EXPECT_EQ(RateFileNamePattern(c.pattern), c.rating) << c.pattern;
}

TEST_F(LogerTest, RunStartsInNumberedSiblingOfFileWithContent) {
    WriteFile(dir / "app.log", "old\r\n");
    Start(dir / "app.log");
    Write("A\r\n");
    Write("B\r\n");

    TQxLoger nextRun;
    Prepare(nextRun);
    Start(nextRun, dir / "app.log");
    Write(nextRun, "C\r\n");

    EXPECT_EQ(ReadFile(dir / "app.log"), "old\r\n");
    EXPECT_EQ(ReadFile(dir / "app_1.log"), kNewFile + "A\r\nB\r\n");
    EXPECT_EQ(ReadFile(dir / "app_2.log"), kNewFile + "C\r\n");
    EXPECT_EQ(loger.Writer().CurFileName(), dir / "app_1.log");
}

TEST_F(LogerTest, NewFileGetsMarkAndHeader) {
    const struct {
        const char* name;
        std::optional<std::string> existing;
        bool utf8;
        std::string expected;
    } cases[] = {
        {"missing file and folders", std::nullopt, true, kNewFile + "A\r\n"},
        {"empty file", "", true, kNewFile + "A\r\n"},
        {"file with only the mark is reused", kBom, true, kNewFile + "A\r\n"},
        {"without UTF8 no mark", std::nullopt, false, kHeader + "A\r\n"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir / ("case" + std::to_string(++n) + "/deep/app.log");
        if (c.existing) {
            std::filesystem::create_directories(ExtractFileDir(file));
            WriteFile(file, *c.existing);
        }
        TQxLoger target;
        Prepare(target);
        target.SetUTF8(c.utf8);
        Start(target, file);
        Write(target, "A\r\n");
        EXPECT_EQ(ReadFile(file), c.expected);
        EXPECT_EQ(target.Writer().CurFileName(), file);
    }
    EXPECT_TRUE(errors.empty());
}

// A new file starts when the part of the time that the pattern names moves on, and not before.
TEST_F(LogerTest, PeriodChangeDecidesTheFile) {
    const struct {
        const char* pattern;
        TDateTime first, second;
        const char* firstFile;
        const char* secondFile;  // nullptr: the second record joins the first file
    } cases[] = {
        {"d_%Date%.log", At(2024, 3, 9, 23, 59, 59, 999), At(2024, 3, 10, 0, 0, 0),
         "d_20240309.log", "d_20240310.log"},
        {"d_%Date%.log", At(2024, 3, 9, 8, 0, 0), At(2024, 3, 9, 20, 0, 0), "d_20240309.log",
         nullptr},
        {"h_%Date|yyyymmdd_hh%.log", At(2024, 3, 9, 10, 0, 0), At(2024, 3, 9, 10, 59, 59),
         "h_20240309_10.log", nullptr},
        {"h_%Date|yyyymmdd_hh%.log", At(2024, 3, 9, 10, 59, 59, 999), At(2024, 3, 9, 11, 0, 0),
         "h_20240309_10.log", "h_20240309_11.log"},
        {"n_%Time|hhnn%.log", At(2024, 3, 9, 10, 0, 0), At(2024, 3, 9, 10, 0, 59), "n_1000.log",
         nullptr},
        {"n_%Time|hhnn%.log", At(2024, 3, 9, 10, 0, 59), At(2024, 3, 9, 10, 1, 0), "n_1000.log",
         "n_1001.log"},
        {"m_%Date|yyyymm%.log", At(2024, 3, 9, 23, 0, 0), At(2024, 3, 10, 1, 0, 0), "m_202403.log",
         nullptr},
        {"m_%Date|yyyymm%.log", At(2024, 3, 31, 23, 59, 59), At(2024, 4, 1, 0, 0, 0),
         "m_202403.log", "m_202404.log"},
        {"plain.log", At(2024, 3, 9, 23, 59, 59), At(2024, 3, 10, 0, 0, 0), "plain.log", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " -> " + (c.secondFile ? c.secondFile : "same"));
        TempDir caseDir;
        TQxLoger target;
        Prepare(target);
        clock.Set(c.first);
        Start(target, caseDir / c.pattern);
        Write(target, "A\r\n");
        clock.Set(c.second);
        Write(target, "B\r\n");
        if (c.secondFile) {
            EXPECT_EQ(ReadFile(caseDir / c.firstFile), kNewFile + "A\r\n");
            EXPECT_EQ(ReadFile(caseDir / c.secondFile), kNewFile + "B\r\n");
        } else {
            EXPECT_EQ(ReadFile(caseDir / c.firstFile), kNewFile + "A\r\nB\r\n");
        }
    }
}

// The hour file left by an earlier run is not continued; the sibling that replaces it is, for
// the rest of the hour.
TEST_F(LogerTest, HourFileWithContentMovesToSiblingOnce) {
    WriteFile(dir / "h_20240309_10.log", "old\r\n");
    Start(dir / "h_%Date|yyyymmdd_hh%.log");
    Write("A\r\n");
    clock.Set(At(2024, 3, 9, 10, 30, 0));
    Write("B\r\n");
    clock.Set(At(2024, 3, 9, 11, 0, 0));
    Write("C\r\n");

    EXPECT_EQ(ReadFile(dir / "h_20240309_10.log"), "old\r\n");
    EXPECT_EQ(ReadFile(dir / "h_20240309_10_1.log"), kNewFile + "A\r\nB\r\n");
    EXPECT_EQ(ReadFile(dir / "h_20240309_11.log"), kNewFile + "C\r\n");
    EXPECT_EQ(Files().size(), 3u);
}

// The folder format "Dir" contains a D, so the program-folder pattern counts as a daily one:
// after midnight the same name is decided afresh and, having content, gives way to a sibling.
TEST_F(LogerTest, ProgramFolderPatternCountsAsDaily) {
    loger.target = dir / "app.log";  // the real expansion names the test program's folder
    clock.Set(At(2024, 3, 9, 23, 59, 0));
    Start("%FullExeName|Dir%/app.log");
    EXPECT_EQ(loger.MaxDatePart(), dpDay);
    Write("A\r\n");
    Write("B\r\n");
    clock.Set(At(2024, 3, 10, 0, 0, 1));
    Write("C\r\n");

    EXPECT_EQ(ReadFile(dir / "app.log"), kNewFile + "A\r\nB\r\n");
    EXPECT_EQ(ReadFile(dir / "app_1.log"), kNewFile + "C\r\n");
}

TEST_F(LogerTest, SettingTheSamePatternKeepsTheFile) {
    Start(dir / "a.log");
    Write("A\r\n");
    loger.SetFileName(dir / "a.log");
    Write("B\r\n");
    loger.SetFileName(dir / "A.log");  // another file where names are case-sensitive
    Write("C\r\n");

    EXPECT_EQ(ReadFile(dir / "a.log"), kNewFile + "A\r\nB\r\n");
    EXPECT_EQ(ReadFile(dir / "A.log"), kNewFile + "C\r\n");
}

TEST_F(LogerTest, NothingIsWrittenWhileInactive) {
    loger.SetFileName(dir / "app.log");
    Write("A\r\n");
    loger.SetActive(true);
    Write("B\r\n");
    EXPECT_EQ(ReadFile(dir / "app.log"), kNewFile + "B\r\n");
}

TEST_F(LogerTest, FolderThatCannotBeCreatedStopsTheLogerAfterAllAttempts) {
    WriteFile(dir / "blocker", "a file where a folder should be");
    Start(dir / "blocker/logs/app.log");
    Write("A\r\n");

    EXPECT_EQ(loger.decisions, 5);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Error create directory \"" + dir / "blocker/logs" +
                             "\" : " + platform::ErrorMessage(ENOTDIR));
    EXPECT_FALSE(loger.Active());

    Write("B\r\n");
    EXPECT_EQ(loger.decisions, 5);
    EXPECT_EQ(errors.size(), 1u);
}

TEST_F(LogerTest, FullDiskReportsTheSystemMessage) {
    Start("/dev/full");
    Write("A\r\n");

    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Error write to file \"/dev/full\": " + platform::ErrorMessage(ENOSPC));
    EXPECT_FALSE(loger.Active());
}

TEST_F(LogerTest, FailedAttemptKeepsTheBytesForTheNextFile) {
    loger.fullDiskDecisions = 2;
    loger.target = dir / "app.log";
    Start("app.log");
    Write("A\r\n");

    EXPECT_EQ(loger.decisions, 3);
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(loger.Active());
    EXPECT_EQ(ReadFile(dir / "app.log"), kNewFile + "A\r\n");
}

TEST_F(LogerTest, KeepsRunningAfterFinalFailureWhenToldTo) {
    loger.SetDeactivateOnError(false);
    loger.fullDiskDecisions = 5;
    loger.target = dir / "app.log";
    Start("app.log");
    Write("lost\r\n");
    Write("B\r\n");

    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(loger.Active());
    EXPECT_EQ(ReadFile(dir / "app.log"), kNewFile + "B\r\n");
}

TEST_F(LogerTest, FailingErrorHandlerStillSwitchesOff) {
    loger.OnError = [](TQxLoger&, const std::exception&) { throw std::runtime_error("handler"); };
    Start("/dev/full");
    EXPECT_THROW(Write("A\r\n"), std::runtime_error);
    EXPECT_FALSE(loger.Active());
}

// The only test with the default pause: five attempts, four pauses of 500 ms, and no more.
TEST(LogerDefaults, RetriesFiveTimesHalfASecondApart) {
    TQxLoger loger;
    int errors = 0;
    loger.OnError = [&errors](TQxLoger&, const std::exception&) { ++errors; };
    loger.SetFileName("/dev/full");
    loger.SetActive(true);

    const auto start = std::chrono::steady_clock::now();
    {
        auto guard = loger.Guard();
        loger.WriteBuffer("A\r\n");
        loger.Writer().Flush();
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(errors, 1);
    EXPECT_GE(elapsed, std::chrono::milliseconds(2000));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2500));
}

}  // namespace
}  // namespace nelvo::test
