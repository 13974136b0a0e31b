#include "platform/Platform.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "platform/File.h"
#include "support/TempDir.h"

namespace nelvo::platform {
namespace {

using test::ScopedEnv;
using test::TempDir;
using test::WriteFile;

TEST(EnvironmentTest, LooksUpExactlyThenIgnoringCaseThenTheFolderMapping) {
    ScopedEnv mixed("NelvoMixedCase", "value");
    EXPECT_EQ(GetEnvironmentValue("NelvoMixedCase"), "value");
    EXPECT_EQ(GetEnvironmentValue("NELVOMIXEDCASE"), "value");
    EXPECT_EQ(GetEnvironmentValue(""), std::nullopt);
    EXPECT_EQ(GetEnvironmentValue("NelvoSurelyUnset"), std::nullopt);
}

TEST(EnvironmentTest, WindowsFoldersMapToTheirLinuxPlaces) {
    ScopedEnv home("HOME", "/home/u");
    ScopedEnv appData("AppData", nullptr), localAppData("LOCALAPPDATA", nullptr);
    ScopedEnv temp("TEMP", nullptr), tmp("TMP", nullptr);
    {
        ScopedEnv xdgConfig("XDG_CONFIG_HOME", nullptr), xdgData("XDG_DATA_HOME", nullptr);
        ScopedEnv tmpdir("TMPDIR", nullptr);
        EXPECT_EQ(GetEnvironmentValue("AppData"), "/home/u/.config");
        EXPECT_EQ(GetEnvironmentValue("LOCALAPPDATA"), "/home/u/.local/share");
        EXPECT_EQ(GetEnvironmentValue("Temp"), "/tmp");
        EXPECT_EQ(GetEnvironmentValue("TMP"), "/tmp");
    }
    ScopedEnv xdgConfig("XDG_CONFIG_HOME", "/cfg"), xdgData("XDG_DATA_HOME", "/data");
    ScopedEnv tmpdir("TMPDIR", "/scratch");
    EXPECT_EQ(GetEnvironmentValue("appdata"), "/cfg");
    EXPECT_EQ(GetEnvironmentValue("LocalAppData"), "/data");
    EXPECT_EQ(GetEnvironmentValue("Temp"), "/scratch");
    ScopedEnv set("TEMP", "/explicit");
    EXPECT_EQ(GetEnvironmentValue("Temp"), "/explicit");
}

TEST(EnvironmentTest, ExpansionKeepsWhatDoesNotResolve) {
    ScopedEnv a("NELVO_A", "x"), unset("NELVO_UNSET", nullptr);
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"%NELVO_A%/y", "x/y"},
        {"%NELVO_UNSET%", "%NELVO_UNSET%"},
        {"%NELVO_UNSET%NELVO_A%", "%NELVO_UNSETx"},
        {"%%", "%%"},
        {"50%", "50%"},
        {"%NELVO_A%%NELVO_A%", "xx"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ExpandEnvironmentText(c.text), c.expected) << c.text;
}

TEST(ModulesTest, ProgramAndLoadedModules) {
    const std::string exe = ExeFilePath();
    EXPECT_TRUE(exe.ends_with("/platform_tests")) << exe;
    EXPECT_EQ(ModuleFilePath(reinterpret_cast<const void*>(&ExeFilePath)), exe);
    const std::string libc = LoadedModulePath("libc.so.6");
    EXPECT_FALSE(libc.empty());
    // The system's own names end in ".dll"; they find the shared object of the same name.
    EXPECT_EQ(LoadedModulePath("libc.dll"), libc);
    EXPECT_EQ(LoadedModulePath("libc.so"), libc);
    EXPECT_EQ(LoadedModulePath("libnothing.dll"), "");
    EXPECT_NE(ProgramModuleHandle(), 0u);
}

TEST(MachineTest, FactsOfThisMachine) {
    EXPECT_FALSE(ComputerName().empty());
    EXPECT_EQ(CurrentProcessId(), getpid());
    std::uint64_t other = 0;
    std::thread([&] { other = CurrentThreadId(); }).join();
    EXPECT_NE(other, CurrentThreadId());
    const OsFacts facts = ReadOsFacts();
    EXPECT_EQ(facts.kernelName, "Linux");
    EXPECT_FALSE(facts.kernelRelease.empty());
}

TEST(FilesTest, FoldersAreCreatedWithTheirParentsUnlessAFileIsInTheWay) {
    TempDir dir;
    EXPECT_TRUE(ForceDirectories(dir / "a/b/c"));
    EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
    EXPECT_TRUE(ForceDirectories(dir / "a/b/c"));
    WriteFile(dir / "file", "x");
    EXPECT_FALSE(ForceDirectories(dir / "file/sub"));
    EXPECT_TRUE(FileExists(dir / "file"));
    EXPECT_FALSE(FileExists(dir / "a"));
    EXPECT_FALSE(ForceDirectories(""));
}

TEST(FilesTest, OpenModesAndAFolderThatIsNoFile) {
    TempDir dir;
    File f;
    EXPECT_FALSE(f.Open(dir / "missing", File::Mode::Read));
    EXPECT_FALSE(f.Open(dir / "missing", File::Mode::Write));
    EXPECT_FALSE(f.Open(dir.Path(), File::Mode::Read));
    ASSERT_TRUE(f.Open(dir / "x", File::Mode::Create));
    EXPECT_TRUE(f.Write("abc"));
    ASSERT_TRUE(f.Open(dir / "x", File::Mode::Append));
    EXPECT_TRUE(f.Write("def"));
    ASSERT_TRUE(f.Open(dir / "x", File::Mode::Write));
    EXPECT_TRUE(f.Write("X"));
    f.Close();
    std::string content;
    EXPECT_TRUE(ReadWholeFile(dir / "x", content, 100));
    EXPECT_EQ(content, "Xbcdef");
    EXPECT_FALSE(ReadWholeFile(dir / "x", content, 5));  // larger than allowed
}

TEST(FilesTest, ListsEntriesWithoutDotsAndMarksLinks) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    ForceDirectories(dir / "d");
    symlink((dir / "d").c_str(), (dir / "l").c_str());
    auto entries = ListDirectory(dir.Path());
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "d");
    EXPECT_TRUE(entries[0].isDirectory && !entries[0].isLink);
    EXPECT_EQ(entries[1].name, "f");
    EXPECT_FALSE(entries[1].isDirectory);
    EXPECT_EQ(entries[2].name, "l");
    EXPECT_TRUE(entries[2].isDirectory && entries[2].isLink);
    EXPECT_TRUE(ListDirectory(dir / "missing").empty());
}

TEST(ProcessTest, SnapshotHoldsThisProcess) {
    const auto processes = ProcessSnapshot();
    EXPECT_TRUE(std::any_of(processes.begin(), processes.end(),
                            [](const ProcessEntry& p) { return p.pid == getpid(); }));
    EXPECT_EQ(ProcessImagePath(getpid()), ExeFilePath());
    EXPECT_EQ(ProcessImagePath(-1), "");
}

TEST(MemoryTest, RegionsCarryTheirProtection) {
    static const char kConstant[] = "constant";
    int onStack = 0;
    const auto code = QueryMemoryRegion(reinterpret_cast<std::uintptr_t>(&ExeFilePath));
    const auto data = QueryMemoryRegion(reinterpret_cast<std::uintptr_t>(&onStack));
    const auto rodata = QueryMemoryRegion(reinterpret_cast<std::uintptr_t>(kConstant));
    ASSERT_TRUE(code && data && rodata);
    EXPECT_EQ(code->protection, MemExecuteRead);
    EXPECT_EQ(data->protection, MemReadWrite);
    EXPECT_EQ(rodata->protection, MemReadOnly);
    EXPECT_EQ(QueryMemoryRegion(0), std::nullopt);
}

}  // namespace
}  // namespace nelvo::platform
