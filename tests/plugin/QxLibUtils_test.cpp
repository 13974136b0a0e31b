// The library manager: where it looks, what it reports, how holders share a library, and that
// slots are emptied exactly when the library goes.
#include "plugin/QxLibUtils.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/Platform.h"
#include "plugin/PluginTestSupport.h"
#include "support/TempDir.h"

namespace nelvo::test {
namespace {

struct Report {
    bool error = false;
    const TObject* sender = nullptr;
    std::string message;
    std::string detail;
    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Report& r) {
    return out << "{" << (r.error ? "error" : "message") << ", \"" << r.message << "\", \""
               << r.detail << "\"}";
}

void* const Sentinel = reinterpret_cast<void*>(0x5a5a);

class LibManagerTest : public ::testing::Test {
protected:
    TQxLibManager& manager = LibManager();
    std::vector<Report> reports;
    TempDir dir;
    ScopedSearchPaths noPaths{{}};

    void SetUp() override {
        manager.SetOnError(
            [this](const TObject* sender, const std::string& msg, const std::string& detail) {
                reports.push_back({true, sender, msg, detail});
            });
        manager.SetOnMessage(
            [this](const TObject* sender, const std::string& msg, const std::string& detail) {
                reports.push_back({false, sender, msg, detail});
            });
    }
    void TearDown() override {
        manager.SetOnError({});
        manager.SetOnMessage({});
        ReleasePluginLibrary();
    }

    Report Message(const std::string& msg, const std::string& detail = {}) const {
        return {false, &manager, msg, detail};
    }
    Report Error(const std::string& msg, const std::string& detail = {}) const {
        return {true, &manager, msg, detail};
    }
    static std::string Scripted() { return PluginFolder("scripted") + "/npNelvoPluginZRB.dll"; }
};

bool PluginMapped() {
    return !platform::LoadedModulePath("npNelvoPluginZRB.so").empty();
}

TEST_F(LibManagerTest, LoadsBindsAndReportsWithTheManagerAsSender) {
    void* init = Sentinel;
    void* execute = Sentinel;
    ASSERT_TRUE(LoadLibraryProcs(Scripted(), nullptr, {"WS_Initialize", "WS_ExecuteEx"},
                                 {&init, &execute}));
    EXPECT_EQ(reports, std::vector<Report>{Message("Library loaded: npNelvoPluginZRB.dll",
                                                   PluginFile("scripted"))});

    const TQxDynLibrary* library = FindLibrary("npNelvoPluginZRB.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->LibName(), Scripted());
    EXPECT_EQ(library->FullPath(), PluginFile("scripted"));
    EXPECT_EQ(library->RefCount(), 1);
    EXPECT_EQ(init, library->ProcAddress("WS_Initialize"));
    EXPECT_EQ(execute, library->ProcAddress("WS_ExecuteEx"));
    EXPECT_NE(init, nullptr);

    // Look-up is by file name, exactly.
    EXPECT_EQ(FindLibrary("/elsewhere/npNelvoPluginZRB.dll"), library);
    EXPECT_EQ(FindLibrary("npnelvopluginzrb.dll"), nullptr);
    EXPECT_EQ(FindLibrary("npNelvoPluginZRB.so"), nullptr);

    // The slots live on this stack: release while they exist, and see them emptied.
    EXPECT_TRUE(UnloadLibrary(Scripted()));
    EXPECT_EQ(init, nullptr);
    EXPECT_EQ(execute, nullptr);
}

TEST_F(LibManagerTest, WhereALibraryIsLookedFor) {
    ScopedEnv folder("NELVO_TEST_PLUGIN_DIR", PluginFolder("scripted").c_str());
    const TPathList none;
    const TPathList inOrder = {dir.Path(), PluginFolder("without_ws_shutdown"),
                               PluginFolder("scripted")};
    const TPathList scripted = {PluginFolder("scripted")};
    const struct {
        const char* name;
        std::string libName;
        const TPathList* paths;  // nullptr: the manager's own
        TPathList managerPaths;
        std::string fullPath;  // empty: not found
    } cases[] = {
        {"search paths in order, first hit wins",
         "npNelvoPluginZRB.dll",
         &inOrder,
         {},
         PluginFile("without_ws_shutdown")},
        {"no list given: the manager's own", "npNelvoPluginZRB.dll", nullptr, scripted,
         PluginFile("scripted")},
        {"an empty list given is used as it is", "npNelvoPluginZRB.dll", &none, scripted, ""},
        {"a folder part is used exactly, never the search paths", dir / "npNelvoPluginZRB.dll",
         &scripted, scripted, ""},
        {"environment references are expanded",
         "%NELVO_TEST_PLUGIN_DIR%/npNelvoPluginZRB.dll",
         &none,
         {},
         PluginFile("scripted")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedSearchPaths paths(c.managerPaths);
        const bool loaded = LoadLibraryProcs(c.libName, c.paths, {}, {});
        EXPECT_EQ(loaded, !c.fullPath.empty());
        EXPECT_EQ(manager.LibraryPath("npNelvoPluginZRB.dll"), c.fullPath);
        ReleasePluginLibrary();
    }
    // The expanded name is the one kept.
    ASSERT_TRUE(LoadLibraryProcs("%NELVO_TEST_PLUGIN_DIR%/npNelvoPluginZRB.dll", &none, {}, {}));
    EXPECT_EQ(FindLibrary(PluginLibName)->LibName(), Scripted());
}

TEST_F(LibManagerTest, TheSystemSearchComesLast) {
    ASSERT_TRUE(LoadLibraryProcs("libm.so.6", nullptr, {"cos"}, {nullptr}));
    const std::string path = manager.LibraryPath("libm.so.6");
    EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
    EXPECT_TRUE(UnloadLibrary("libm.so.6"));
    EXPECT_EQ(reports.back(), Message("Unloaded library libm.so.6"));
}

TEST_F(LibManagerTest, LoadFailuresAreReportedWithTheSystemError) {
    std::filesystem::create_directory(dir / "broken");
    test::WriteFile(dir / "broken/npNelvoPluginZRB.so", "not a library");
    const TPathList empty = {dir.Path()};
    const TPathList brokenFirst = {dir / "broken", dir.Path()};
    const struct {
        const char* name;
        std::string libName;
        TPathList paths;
        std::vector<Report> expected;
    } cases[] = {
        {"nowhere: the first place looked is named",
         "npNelvoPluginZRB.dll",
         empty,
         {Error("Failed to load library npNelvoPluginZRB.dll",
                "(2) " + dir / "npNelvoPluginZRB.so" +
                    ": cannot open shared object file: No such file or directory")}},
        {"a file found but unusable outranks later misses",
         "npNelvoPluginZRB.dll",
         brokenFirst,
         {Error("Failed to load library npNelvoPluginZRB.dll",
                "(8) " + dir / "broken/npNelvoPluginZRB.so" + ": file too short")}},
        {"empty name",
         "",
         empty,
         {Error("Empty library name!"), Error("Failed to load library ", "(22) Invalid argument")}},
        {"folder without a file name",
         dir.Path() + "/",
         empty,
         {Error("Empty library name!"),
          Error("Failed to load library " + dir.Path() + "/", "(22) Invalid argument")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reports.clear();
        EXPECT_FALSE(LoadLibraryProcs(c.libName, &c.paths, {"WS_Initialize"}, {nullptr}));
        EXPECT_EQ(reports, c.expected);
        EXPECT_EQ(FindLibrary(c.libName), nullptr);
    }
}

TEST_F(LibManagerTest, BindFailuresKeepTheHoldAndWhatResolved) {
    void* slots[3] = {Sentinel, Sentinel, Sentinel};
    EXPECT_FALSE(LoadLibraryProcs(Scripted(), nullptr,
                                  {"WS_Initialize", "WS_NoSuchProcedure", "WS_Shutdown"},
                                  {&slots[0], &slots[1], &slots[2]}));
    EXPECT_EQ(reports.back(), Error("Failed to load procedures from npNelvoPluginZRB.dll"));
    EXPECT_NE(slots[0], nullptr);
    EXPECT_EQ(slots[1], nullptr);
    EXPECT_NE(slots[2], nullptr);
    EXPECT_NE(slots[0], Sentinel);

    reports.clear();
    void* one = Sentinel;
    EXPECT_FALSE(LoadLibraryProcs(Scripted(), nullptr, {"WS_Initialize", "WS_Shutdown"}, {&one}));
    EXPECT_EQ(reports, (std::vector<Report>{
                           Error("npNelvoPluginZRB.dll: Names and procedures count do not match!"),
                           Error("Failed to load procedures from npNelvoPluginZRB.dll")}));
    EXPECT_EQ(one, Sentinel) << "a mismatch touches no slot";

    reports.clear();
    EXPECT_TRUE(LoadLibraryProcs(Scripted(), nullptr, {}, {})) << "nothing to bind";
    void* only = Sentinel;
    EXPECT_TRUE(
        LoadLibraryProcs(Scripted(), nullptr, {"WS_Initialize", "WS_Shutdown"}, {&only, nullptr}))
        << "an empty slot entry is skipped";
    EXPECT_NE(only, Sentinel);
    EXPECT_EQ(reports, std::vector<Report>{});
    EXPECT_EQ(FindLibrary(PluginLibName)->RefCount(), 4) << "every call holds, failed or not";

    // The slot array of the failed bind was registered too: the last release empties it.
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(UnloadLibrary(PluginLibName));
    EXPECT_EQ(slots[0], nullptr);
    EXPECT_EQ(slots[2], nullptr);
    EXPECT_EQ(only, nullptr);
}

TEST_F(LibManagerTest, TheLastOfTwoHoldersUnloadsAndEmptiesBoth) {
    void* first[2] = {};
    void* second[2] = {};
    const TProcNames names = {"WS_ExecuteEx", "WS_Shutdown"};
    ASSERT_TRUE(LoadLibraryProcs(Scripted(), nullptr, names, {&first[0], &first[1]}));
    const TPathList none;
    ASSERT_TRUE(LoadLibraryProcs("npNelvoPluginZRB.dll", &none, names, {&second[0], &second[1]}))
        << "registered by file name: no search needed";
    EXPECT_EQ(FindLibrary(PluginLibName)->RefCount(), 2);
    reports.clear();

    EXPECT_TRUE(UnloadLibrary(PluginLibName));
    EXPECT_TRUE(PluginMapped());
    EXPECT_NE(first[0], nullptr);
    EXPECT_NE(second[1], nullptr);
    EXPECT_EQ(reports, std::vector<Report>{});

    EXPECT_TRUE(UnloadLibrary("/any/folder/npNelvoPluginZRB.dll"));
    EXPECT_EQ(reports, std::vector<Report>{Message("Unloaded library npNelvoPluginZRB.dll")});
    EXPECT_EQ(FindLibrary(PluginLibName), nullptr);
    EXPECT_FALSE(PluginMapped()) << "the module is really gone";
    for (void* slot : {first[0], first[1], second[0], second[1]}) EXPECT_EQ(slot, nullptr);

    reports.clear();
    EXPECT_FALSE(UnloadLibrary(PluginLibName));
    EXPECT_EQ(reports, std::vector<Report>{}) << "an unknown name is no report";
}

TEST_F(LibManagerTest, ForgottenSlotsAreNotWrittenOnUnload) {
    void* kept = nullptr;
    void* forgotten = nullptr;
    ASSERT_TRUE(LoadLibraryProcs(Scripted(), nullptr, {"WS_Initialize"}, {&kept}));
    ASSERT_TRUE(LoadLibraryProcs(Scripted(), nullptr, {"WS_Initialize"}, {&forgotten}));
    manager.ForgetProcPoints({&forgotten});
    forgotten = Sentinel;  // stands for memory that belongs to someone else by now
    UnloadLibrary(PluginLibName);
    UnloadLibrary(PluginLibName);
    EXPECT_EQ(kept, nullptr);
    EXPECT_EQ(forgotten, Sentinel);
}

TEST_F(LibManagerTest, HoldsFromManyThreadsAddUp) {
    manager.SetOnError({});
    manager.SetOnMessage({});
    constexpr int kThreads = 4, kRounds = 40;
    std::atomic<int> failures{0};
    // The slots outlive the threads: a library freed by another thread empties them.
    void* slots[kThreads] = {};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&failures, &slot = slots[t]] {
                for (int i = 0; i < kRounds; ++i) {
                    if (!LoadLibraryProcs(Scripted(), nullptr, {"WS_ExecuteEx"}, {&slot}) || !slot)
                        ++failures;
                    if (!UnloadLibrary(PluginLibName)) ++failures;
                }
            });
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(FindLibrary(PluginLibName), nullptr);
}

}  // namespace
}  // namespace nelvo::test
