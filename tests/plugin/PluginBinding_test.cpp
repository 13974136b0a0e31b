// The plugin binding against the scripted plugin: loading, the failing binds, unloading, and
// both phases of ProcessCommand with their log lines.
#include "plugin/U_PluginBinding.h"

#include <gtest/gtest.h>

#include <new>

#include "platform/Platform.h"
#include "plugin/PluginTestSupport.h"
#include "support/TempDir.h"

namespace nelvo::test {
namespace {

using Kind = TScriptCallKind;

std::vector<Kind> KindsOf(const std::vector<TScriptCall>& calls) {
    std::vector<Kind> kinds;
    for (const TScriptCall& call : calls) kinds.push_back(call.kind);
    return kinds;
}

bool PluginMapped() {
    return !platform::LoadedModulePath("npNelvoPluginZRB.so").empty();
}

LogLine Msg(const char* sender, std::string message, std::string detail = {}) {
    return {sender, false, std::move(message), std::move(detail)};
}
LogLine Err(const char* sender, std::string message, std::string detail = {}) {
    return {sender, true, std::move(message), std::move(detail)};
}

class BindingTest : public ::testing::Test {
protected:
    ScopedLogLines log;
    std::unique_ptr<ScopedSearchPaths> paths;
    TPluginBinding binding;

    void SetUp() override { UseBuild("scripted"); }
    void TearDown() override { ReleasePluginLibrary(); }

    void UseBuild(const std::string& build) { UseFolder(PluginFolder(build)); }
    void UseFolder(const std::string& folder) {
        paths.reset();  // restores the list before the next one saves it
        paths = std::make_unique<ScopedSearchPaths>(TPathList{folder});
    }
    IScriptControl& Script() {
        IScriptControl* control = LoadedScript();
        if (!control) throw std::runtime_error("the scripted plugin is not loaded");
        return *control;
    }
};

TEST_F(BindingTest, LoadPluginBindsLogsTheVersionAndInitialises) {
    ASSERT_TRUE(binding.LoadPlugin());
    EXPECT_EQ(
        log.Lines(),
        (std::vector<LogLine>{
            Msg("TQxLibManager", "Library loaded: npNelvoPluginZRB.dll", PluginFile("scripted")),
            Msg("TPluginBinding", "Library version: " NELVO_PROJECT_VERSION),
        }));
    EXPECT_EQ(KindsOf(Script().Calls()), std::vector<Kind>{Kind::Initialize});
    EXPECT_TRUE(binding.IsPluginLoaded());
    EXPECT_EQ(binding.PluginPath(), PluginFile("scripted"));
    EXPECT_EQ(binding.PluginVersion(), NELVO_PROJECT_VERSION);
    for (void* slot : binding.ProcSlots()) EXPECT_NE(slot, nullptr);
}

TEST_F(BindingTest, AMissingPluginIsOneErrorAndNoExecutor) {
    TempDir empty;
    UseFolder(empty.Path());
    EXPECT_FALSE(binding.LoadPlugin());
    EXPECT_EQ(log.Lines(), std::vector<LogLine>{
                               Err("TQxLibManager", "Failed to load library npNelvoPluginZRB.dll",
                                   "(2) " + empty / "npNelvoPluginZRB.so" +
                                       ": cannot open shared object file: No such file or "
                                       "directory")});
    EXPECT_FALSE(binding.IsPluginLoaded());
    EXPECT_EQ(binding.PluginPath(), "");
    EXPECT_EQ(binding.PluginVersion(), "");
    for (void* slot : binding.ProcSlots()) EXPECT_EQ(slot, nullptr);

    log.Clear();
    std::string reply = "stale";
    EXPECT_FALSE(binding.ProcessCommand("{}", reply, true));
    EXPECT_EQ(reply, "");
    EXPECT_EQ(log.Lines(), (std::vector<LogLine>{
                               Msg("TPluginBinding", "Processing command...", "{}"),
                               Err("TPluginBinding", "No executor! Library not loaded?"),
                           }));
}

TEST_F(BindingTest, ABuildWithoutOneExportFailsTheBindButStaysLoaded) {
    const struct {
        const char* build;
        TPluginProc missing;
        bool commandsPass;  // WS_ExecuteEx resolved
        bool shutdownCalled;
    } cases[] = {
        {"without_ws_execute", ppExecute, true, true},
        {"without_ws_executeex", ppExecuteEx, false, true},
        {"without_ws_shutdown", ppShutdown, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.build);
        UseBuild(c.build);
        log.Clear();
        EXPECT_FALSE(binding.LoadPlugin());
        EXPECT_EQ(
            log.Lines(),
            (std::vector<LogLine>{
                Msg("TQxLibManager", "Library loaded: npNelvoPluginZRB.dll", PluginFile(c.build)),
                Err("TQxLibManager", "Failed to load procedures from npNelvoPluginZRB.dll"),
            }));
        EXPECT_TRUE(binding.IsPluginLoaded());
        EXPECT_EQ(binding.PluginPath(), PluginFile(c.build));
        const TPluginSlots slots = binding.ProcSlots();
        for (std::size_t i = 0; i < slots.size(); ++i)
            EXPECT_EQ(slots[i] == nullptr, i == c.missing) << "slot " << i;
        EXPECT_EQ(Script().Calls().size(), 0u) << "WS_Initialize is not called";

        std::string reply;
        EXPECT_EQ(binding.ProcessCommand(R"({"ID":"1"})", reply, false), c.commandsPass);
        EXPECT_EQ(Script().Commands().size(), c.commandsPass ? 1u : 0u);

        std::vector<Kind> observed;
        Script().SetObserver(
            [&observed](const TScriptCall& call) { observed.push_back(call.kind); });
        EXPECT_TRUE(binding.UnloadPlugin());
        EXPECT_EQ(observed,
                  c.shutdownCalled ? std::vector<Kind>{Kind::Shutdown} : std::vector<Kind>{});
        EXPECT_FALSE(binding.IsPluginLoaded());
        for (void* slot : binding.ProcSlots()) EXPECT_EQ(slot, nullptr);
    }
}

TEST_F(BindingTest, UnloadPluginShutsDownThenEmptiesEverything) {
    ASSERT_TRUE(binding.LoadPlugin());
    std::vector<Kind> observed;
    Script().SetObserver([&observed](const TScriptCall& call) { observed.push_back(call.kind); });
    log.Clear();

    EXPECT_TRUE(binding.UnloadPlugin());
    EXPECT_EQ(observed, std::vector<Kind>{Kind::Shutdown});
    EXPECT_EQ(log.Lines(),
              std::vector<LogLine>{Msg("TQxLibManager", "Unloaded library npNelvoPluginZRB.dll")});
    for (void* slot : binding.ProcSlots()) EXPECT_EQ(slot, nullptr);
    EXPECT_FALSE(binding.IsPluginLoaded());
    EXPECT_EQ(binding.PluginPath(), "");
    EXPECT_EQ(binding.PluginVersion(), "");
    EXPECT_FALSE(PluginMapped());

    // The log handlers are gone, and a second unload finds nothing to shut down.
    log.Clear();
    EXPECT_FALSE(LoadLibraryProcs("/nowhere/npOther.dll", nullptr, {}, {}));
    EXPECT_FALSE(binding.UnloadPlugin());
    EXPECT_EQ(log.Lines(), std::vector<LogLine>{});

    // And the plugin can be loaded again, fresh.
    ASSERT_TRUE(binding.LoadPlugin());
    EXPECT_EQ(KindsOf(Script().Calls()), std::vector<Kind>{Kind::Initialize});
}

TEST_F(BindingTest, ExceptionsOutOfInitialiseAndShutdownAreLoggedNotPassedOn) {
    // An extra hold keeps the library (and its script) across the binding's load and unload.
    ASSERT_TRUE(LoadLibraryProcs(PluginLibName, nullptr, {}, {}));
    Script().SetThrowing(Kind::Initialize, true);
    Script().SetThrowing(Kind::Shutdown, true);
    log.Clear();

    EXPECT_TRUE(binding.LoadPlugin());
    EXPECT_EQ(
        log.Lines().back(),
        Err("TPluginBinding", "Library initialization: Exception runtime_error: scripted failure"));
    std::string reply;
    EXPECT_TRUE(binding.ProcessCommand("{}", reply, false)) << "a failed initialise still serves";

    UnloadLibrary(PluginLibName);  // the extra hold
    log.Clear();
    EXPECT_TRUE(binding.UnloadPlugin());
    EXPECT_EQ(
        log.Lines(),
        (std::vector<LogLine>{
            Err("TPluginBinding", "Library shutdown: Exception runtime_error: scripted failure"),
            Msg("TQxLibManager", "Unloaded library npNelvoPluginZRB.dll"),
        }));
    EXPECT_FALSE(binding.IsPluginLoaded());
}

TEST_F(BindingTest, ADestroyedBindingIsNeverWrittenToAndDoesNotUnload) {
    alignas(TPluginBinding) unsigned char storage[sizeof(TPluginBinding)];
    auto* other = new (storage) TPluginBinding;
    ASSERT_TRUE(other->LoadPlugin());
    std::vector<Kind> observed;
    Script().SetObserver([&observed](const TScriptCall& call) { observed.push_back(call.kind); });
    other->~TPluginBinding();
    std::fill(std::begin(storage), std::end(storage), 0xAB);

    EXPECT_TRUE(binding.IsPluginLoaded()) << "program end leaves the release to the manager";
    EXPECT_TRUE(UnloadLibrary(PluginLibName));
    EXPECT_EQ(observed, std::vector<Kind>{}) << "no WS_Shutdown";
    for (unsigned char byte : storage) ASSERT_EQ(byte, 0xAB) << "the manager wrote into it";
}

// --- ProcessCommand -----------------------------------------------------------------------------

struct Phase {
    std::int32_t phase;
    std::int32_t length;
    bool replyIsNull;
    std::int32_t replySize;
    bool operator==(const Phase&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Phase& p) {
    return out << "{phase " << p.phase << ", length " << p.length
               << (p.replyIsNull ? ", null" : ", buffer") << ", size " << p.replySize << "}";
}

class ProcessCommandTest : public BindingTest {
protected:
    void SetUp() override {
        BindingTest::SetUp();
        ASSERT_TRUE(binding.LoadPlugin());
    }
    std::vector<Phase> Phases() {
        std::vector<Phase> phases;
        for (const TScriptCall& call : Script().Calls()) {
            EXPECT_FALSE(call.commandIsNull);
            phases.push_back({call.phase, call.commandLength, call.replyIsNull, call.replySize});
        }
        return phases;
    }
};

TEST_F(ProcessCommandTest, BothPhasesTheirResultsAndTheirLogLines) {
    const std::string command = R"({"ID":"","Plugin":"VUDuded","Method":"GetProperty"})";
    const std::string echo =
        R"({"ID":"ScriptID-1","Plugin":"VUDuded","Method":"GetProperty","Result":""})";
    const auto n = static_cast<std::int32_t>(command.size());
    const auto echoSize = static_cast<std::int32_t>(echo.size());
    const char* kBinding = "TPluginBinding";
    const LogLine processing = Msg(kBinding, "Processing command...", command);
    const LogLine processingQuiet = Msg(kBinding, "Processing command...");
    const std::string failure = "Processing error: Exception runtime_error: scripted failure";
    const struct {
        const char* name;
        std::optional<TScriptStep> step;  // none: the echo reply
        std::string command;
        bool logData;
        bool result;
        std::string reply;
        std::vector<Phase> phases;
        std::vector<LogLine> lines;
    } cases[] = {
        {"echo, logged",
         {},
         command,
         true,
         true,
         echo,
         {{1, n + 1, true, 0}, {2, n + 1, false, echoSize}},
         {processing, Msg(kBinding, "Command processed.", echo)}},
        {"echo, not logged",
         {},
         command,
         false,
         true,
         echo,
         {{1, n + 1, true, 0}, {2, n + 1, false, echoSize}},
         {processingQuiet, Msg(kBinding, "Command processed.")}},
        {"an empty command is an empty text, length 1",
         TScriptStep{.reply = "{}"},
         "",
         true,
         true,
         "{}",
         {{1, 1, true, 0}, {2, 1, false, 2}},
         {Msg(kBinding, "Processing command..."), Msg(kBinding, "Command processed.", "{}")}},
        {"reply size 0 skips phase 2",
         TScriptStep{.reply = ""},
         command,
         true,
         true,
         "",
         {{1, n + 1, true, 0}},
         {processing, Msg(kBinding, "Command processed.")}},
        {"a terminator counted by the plugin stays in the reply",
         TScriptStep{.reply = std::string("{}\0", 3)},
         command,
         false,
         true,
         std::string("{}\0", 3),
         {{1, n + 1, true, 0}, {2, n + 1, false, 3}},
         {processingQuiet, Msg(kBinding, "Command processed.")}},
        {"positive statuses are success",
         TScriptStep{.reply = "{}", .phase1Status = 3, .phase2Status = 5},
         command,
         false,
         true,
         "{}",
         {{1, n + 1, true, 0}, {2, n + 1, false, 2}},
         {processingQuiet, Msg(kBinding, "Command processed.")}},
        {"negative status in phase 1",
         TScriptStep{.phase1Status = -1},
         command,
         true,
         false,
         "",
         {{1, n + 1, true, 0}},
         {processing, Err(kBinding, "ProcessCommand: Error preparing reply!")}},
        {"negative status in phase 2",
         TScriptStep{.reply = "{}", .phase2Status = -7},
         command,
         true,
         false,
         "",
         {{1, n + 1, true, 0}, {2, n + 1, false, 2}},
         {processing, Err(kBinding, "ProcessCommand: Error receiving reply!")}},
        {"exception in phase 1",
         TScriptStep{.throwInPhase = 1},
         command,
         true,
         false,
         "",
         {{1, n + 1, true, 0}},
         {processing, Err(kBinding, failure)}},
        {"exception in phase 2, after phase 1 succeeded",
         TScriptStep{.reply = "{}", .throwInPhase = 2},
         command,
         true,
         false,
         "",
         {{1, n + 1, true, 0}, {2, n + 1, false, 2}},
         {processing, Err(kBinding, failure)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Script().Reset();
        if (c.step) Script().Push(*c.step);
        log.Clear();
        std::string reply = "stale";
        EXPECT_EQ(binding.ProcessCommand(c.command, reply, c.logData), c.result);
        EXPECT_EQ(reply, c.reply);
        EXPECT_EQ(Phases(), c.phases);
        EXPECT_EQ(Script().Commands(), std::vector<std::string>{c.command});
        EXPECT_EQ(log.Lines(), c.lines);
    }
}

}  // namespace
}  // namespace nelvo::test
