// The host log as the other parts see it: when it writes, the exact bytes of its file, and how
// it falls silent.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>

#include "log/LogTestSupport.h"
#include "log/U_LogFile.h"
#include "platform/Platform.h"
#include "support/TempDir.h"

namespace nelvo::test {
namespace {

class TSender : public TObject {};

const std::string kStamp = "[2024.03.09 10:11:12:013]";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
        text.replace(at, from.size(), to), at += to.size();
    return text;
}

// The header block as a reader expects it; the values that describe the module and the
// machine come from the functions the header names.
std::string ExpectedHeader() {
    const std::string module = GetLibFileName();
    const std::string text =
        "NelvoPluginTracer:\r\n"
        "  LogType:      NelvoPluginTracer\r\n"
        "  Full name:    " +
        module +
        "\r\n"
        "  Version:      " +
        GetFileVersion(module) +
        "\r\n"
        "  Build time:   " +
        FormatDateTime("yyyy.mm.dd hh:nn:ss", GetFileDateTime(module)) +
        "\r\n"
        "  ID:           " +
        std::to_string(platform::ProgramModuleHandle()) +
        "\r\n"
        "  Host Name:    " +
        GetMachineName() +
        "\r\n"
        "  OS Version:   " +
        GetOSVersionText() + "\r\n";
    return std::string(kBom) + kStamp + "VersionInfo\\" + std::to_string(text.size()) + "\r\n" +
           text;
}

class HostLogTest : public ::testing::Test {
protected:
    TempDir dir;
    ScopedEnv temp{"TEMP", (dir / "temp").c_str()};
    FixedClock clock{At(2024, 3, 9, 10, 11, 12, 13)};
    TSender sender;
    const std::string ini = dir / "NelvoPlugin.ini";

    std::unique_ptr<TTestHostLoger> Open(const std::optional<std::string>& iniText) {
        if (iniText) WriteFile(ini, *iniText);
        auto loger = std::make_unique<TTestHostLoger>(ini);
        if (loger->IsEnabled()) loger->Tracer()->SetRetryDelay(1);
        return loger;
    }
    std::unique_ptr<TTestHostLoger> OpenLog(const std::string& logFile) {
        return Open("[Log]\r\nFileName=" + logFile + "\r\n");
    }

    // Fills in what depends on the run: the thread id and the sender's address.
    std::string Expand(const std::string& text) const {
        const std::string object =
            "TSender(0x" + IntToHex(reinterpret_cast<std::uintptr_t>(&sender), 4) + ")";
        return Replace(Replace(Replace(text, "{obj}", object), "{tid}",
                               IntToHex(platform::CurrentThreadId(), 4)),
                       "{S}", kStamp);
    }

    std::string ErrorLog() const { return dir / "temp/Nelvo/TPluginICTracer/Error.log"; }
};

TEST_F(HostLogTest, WritesHeaderAndRecordsByteForByte) {
    WriteFile(dir / "host.log", "previous run\r\n");
    auto log = OpenLog(dir / "host.log");
    ASSERT_TRUE(log->IsEnabled());

    log->Log(&sender, "Starting HTTP/HTTPS server...", llProgress);
    log->Log(nullptr, "Current settings", llProgress, "HTTP port: 11741\r\nHTTPS port: 11742");
    log->TraceStart(&sender, "rpSign", {"keySessID", "signType"}, {"{A}", "CMS", 3});
    log->TraceEnd(&sender, "rpSign", TVariant(At(2024, 1, 2, 3, 4, 5, 6)));
    log->LogException(nullptr, "ThttpThread.Execute", EQxPluginLoger("boom"));

    const std::string expected =
        ExpectedHeader() +
        Expand(
            "{S}[TraceID: {obj}][ThreadID: 0x{tid}][DataID: Message]"
            "[ObjectInfo: Object=\"{obj}\"]38\r\n"
            "Value: Starting HTTP/HTTPS server...\r\n"
            "\r\n"
            "{S}[ThreadID: 0x{tid}][DataID: Message][ObjectInfo: ]80\r\n"
            "Value: Current settings\r\n"
            "Params:#1\\41\r\n"
            " HTTP port: 11741\r\n"
            " HTTPS port: 11742: \r\n"
            "\r\n"
            "{S}[TraceID: {obj}][ThreadID: 0x{tid}][DataID: StartExecFunction rpSign]"
            "[ObjectInfo: Object=\"{obj}\"]59\r\n"
            "Params:#1\\45\r\n"
            " keySessID: {A}\r\n"
            " signType: CMS\r\n"
            " Param3: 3\r\n"
            "\r\n"
            "{S}[TraceID: {obj}][ThreadID: 0x{tid}][DataID: EndExecFunction rpSign]"
            "[ObjectInfo: Object=\"{obj}\"]33\r\n"
            "Result: 2024.01.02 03:04:05:006\r\n"
            "\r\n"
            "{S}[ThreadID: 0x{tid}][DataID: Error][ObjectInfo: ]60\r\n"
            "Value: ThttpThread.Execute: Exception EQxPluginLoger: boom\r\n"
            "\r\n");
    EXPECT_EQ(ReadFile(dir / "host_1.log"), expected);
    EXPECT_EQ(ReadFile(dir / "host.log"), "previous run\r\n");
    EXPECT_EQ(log->FileName(), dir / "host_1.log");
}

TEST_F(HostLogTest, RecordBodies) {
    using Call = std::function<void(TTestHostLoger&, const TObject*)>;
    const struct {
        const char* name;
        Call call;
        const char* record;  // empty: nothing is written, not even a file
    } cases[] = {
        {"message without detail", [](auto& log, auto*) { log.Log(nullptr, "hello", llDetail); },
         "{S}[ThreadID: 0x{tid}][DataID: Message][ObjectInfo: ]14\r\nValue: hello\r\n\r\n"},
        {"error with sender", [](auto& log, auto* s) { log.Log(s, "oops", llError); },
         "{S}[TraceID: {obj}][ThreadID: 0x{tid}][DataID: Error][ObjectInfo: Object=\"{obj}\"]13"
         "\r\nValue: oops\r\n\r\n"},
        {"detail of several lines",
         [](auto& log, auto*) { log.Log(nullptr, "Current settings", llProgress, "a\r\nb"); },
         "{S}[ThreadID: 0x{tid}][DataID: Message][ObjectInfo: ]49\r\n"
         "Value: Current settings\r\nParams:#1\\10\r\n a\r\n b: \r\n\r\n"},
        {"level 4 is never written",
         [](auto& log, auto* s) { log.Log(s, "hidden", llNever, "detail"); }, ""},
        {"exception without context",
         [](auto& log, auto*) { log.LogException(nullptr, "", EQxPluginLoger("bad")); },
         "{S}[ThreadID: 0x{tid}][DataID: Error][ObjectInfo: ]38\r\n"
         "Value: Exception EQxPluginLoger: bad\r\n\r\n"},
        {"exception with context",
         [](auto& log, auto*) { log.LogException(nullptr, "GetMACbyIP", EQxPluginLoger("bad")); },
         "{S}[ThreadID: 0x{tid}][DataID: Error][ObjectInfo: ]50\r\n"
         "Value: GetMACbyIP: Exception EQxPluginLoger: bad\r\n\r\n"},
        {"start without parameters", [](auto& log, auto*) { log.TraceStart(nullptr, "op"); },
         "{S}[ThreadID: 0x{tid}][DataID: StartExecFunction op][ObjectInfo: ]\r\n"},
        {"end without result", [](auto& log, auto* s) { log.TraceEnd(s, "op"); },
         "{S}[TraceID: {obj}][ThreadID: 0x{tid}][DataID: EndExecFunction op]"
         "[ObjectInfo: Object=\"{obj}\"]\r\n"},
        {"error without message", [](auto& log, auto*) { log.TraceError(nullptr, ""); },
         "{S}[ThreadID: 0x{tid}][DataID: Error][ObjectInfo: ]\r\n"},
        {"value of several lines, nested",
         [](auto& log, auto*) {
             log.TraceMessage(nullptr, "", {"Headers"}, {"Host: a\r\nOrigin: b"});
         },
         "{S}[ThreadID: 0x{tid}][DataID: Message][ObjectInfo: ]54\r\n"
         "Params:#1\\40\r\n Headers:#1\\20\r\n  Host: a\r\n  Origin: b\r\n\r\n"},
        {"create with object and parameters",
         [](auto& log, auto* s) { log.Trace(s, TQxLogerTraceType::ttCreate, "", {"a"}, {1}); },
         "{S}[TraceID: {obj}][ThreadID: 0x{tid}][DataID: Create TSender]"
         "[ObjectInfo: Object=\"{obj}\"]20\r\nParams:#1\\7\r\n a: 1\r\n\r\n"},
        {"destroy without object",
         [](auto& log, auto*) { log.Trace(nullptr, TQxLogerTraceType::ttDestroy, "x", {}, {}); },
         "{S}[ThreadID: 0x{tid}][DataID: Destroy ][ObjectInfo: ]\r\n"},
        {"set property",
         [](auto& log, auto*) {
             log.Trace(nullptr, TQxLogerTraceType::ttSetProperty, "Port", {}, {11741});
         },
         "{S}[ThreadID: 0x{tid}][DataID: SetProperty Port][ObjectInfo: ]14\r\n"
         "Value: 11741\r\n\r\n"},
        {"get property without value",
         [](auto& log, auto*) {
             log.Trace(nullptr, TQxLogerTraceType::ttGetProperty, "Port", {}, {});
         },
         "{S}[ThreadID: 0x{tid}][DataID: GetProperty Port][ObjectInfo: ]\r\n"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = dir / ("r" + std::to_string(++n) + ".log");
        auto log = OpenLog(file);
        c.call(*log, &sender);
        const std::string record = c.record;
        if (record.empty())
            EXPECT_FALSE(std::filesystem::exists(file));
        else
            EXPECT_EQ(ReadFile(file), ExpectedHeader() + Expand(record));
    }
}

TEST_F(HostLogTest, ValueTexts) {
    TTestHostLoger log(ini);
    const std::string object =
        "Object=\"TSender(0x" + IntToHex(reinterpret_cast<std::uintptr_t>(&sender), 4) + ")\"";
    EXPECT_EQ(log.ValueText(TVarRec(&sender)), object);
    EXPECT_EQ(log.ValueText(TVarRec(static_cast<const TObject*>(nullptr))), "");
    EXPECT_EQ(log.ValueText(TVarRec(reinterpret_cast<const void*>(0x1234))), "Pointer(00001234)");
    EXPECT_EQ(log.ValueText(TVarRec(true)), "TRUE");
}

TEST_F(HostLogTest, WrongTraceTypeIsRefused) {
    EXPECT_EQ(TraceTypeToString(TQxLogerTraceType::ttDestroy), "Destroy");
    try {
        TraceTypeToString(static_cast<TQxLogerTraceType>(8));
        FAIL() << "no error";
    } catch (const EQxPluginLoger& e) {
        EXPECT_STREQ(e.what(), "Wrong TraceType 8 on TraceTypeToString");
    }
}

TEST_F(HostLogTest, SilentWithoutLogFileName) {
    const struct {
        const char* name;
        std::optional<std::string> ini;
    } cases[] = {
        {"no settings file", std::nullopt},
        {"no Log section", "[Server]\r\nIdleTime=30\r\n"},
        {"empty FileName", "[Log]\r\nFileName=\r\n"},
        {"another key", "[Log]\r\nFile=" + dir / "x.log" + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(ini);
        auto log = Open(c.ini);
        log->Log(&sender, "hello", llError, "detail");
        log->TraceStart(&sender, "op", {"a"}, {1});
        EXPECT_FALSE(log->IsEnabled());
        EXPECT_EQ(log->FileName(), "");

        // The settings file is consulted once per run.
        WriteFile(ini, "[Log]\r\nFileName=" + dir / "late.log" + "\r\n");
        log->Log(&sender, "hello", llError);
        EXPECT_FALSE(log->IsEnabled());
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"NelvoPlugin.ini"});
}

// Variables in the configured name are expanded when the log is configured, not per record.
TEST_F(HostLogTest, FileNameIsExpandedOnceAtConfiguration) {
    auto log = OpenLog(dir / "host_%Date%.log");
    EXPECT_EQ(log->FileName(), dir / "host_20240309.log");
    clock.Set(At(2024, 3, 10, 0, 0, 1));
    log->Log(nullptr, "after midnight", llProgress);
    EXPECT_TRUE(std::filesystem::exists(dir / "host_20240309.log"));
    EXPECT_EQ(log->FileName(), dir / "host_20240309.log");
}

TEST_F(HostLogTest, FinalFailureLeavesOneLineInTheErrorFile) {
    auto log = OpenLog("/dev/full");
    log->Log(nullptr, "first", llProgress);
    log->Log(nullptr, "second", llProgress);

    const std::string reason =
        "Error write to file \"/dev/full\": " + platform::ErrorMessage(ENOSPC);
    EXPECT_EQ(ReadFile(ErrorLog()),
              kStamp + "->Error write to file \"/dev/full\" : " + reason + "\r\n");
    EXPECT_FALSE(log->IsEnabled());
    EXPECT_EQ(log->FileName(), "");
}

TEST_F(HostLogTest, UnwritableErrorFolderIsIgnored) {
    WriteFile(dir / "temp", "a file where the temporary folder should be");
    auto log = OpenLog("/dev/full");
    EXPECT_NO_THROW(log->Log(nullptr, "first", llProgress));
    EXPECT_FALSE(log->IsEnabled());
}

TEST_F(HostLogTest, GlobalLogIsReplacedAndFreed) {
    WriteFile(ini, "[Log]\r\nFileName=" + dir / "global.log" + "\r\n");
    SetHostLoger(std::make_unique<TTestHostLoger>(ini));
    EXPECT_TRUE(HostLoger->IsEnabled());
    HostLoger->Log(nullptr, "hello", llProgress);
    EXPECT_EQ(HostLoger->FileName(), dir / "global.log");

    FreeHostLoger();
    HostLoger->Log(nullptr, "after the end", llError);
    EXPECT_FALSE(HostLoger->IsEnabled());
    EXPECT_EQ(HostLoger->FileName(), "");
    EXPECT_EQ(ReadFile(dir / "global.log"),
              ExpectedHeader() + Expand("{S}[ThreadID: 0x{tid}][DataID: Message][ObjectInfo: ]14"
                                        "\r\nValue: hello\r\n\r\n"));
    SetHostLoger(nullptr);
}

}  // namespace
}  // namespace nelvo::test
