// Loading libraries: where they are looked for, which error is reported when none is found, and
// that freeing really unmaps them. "nelvoSearchProbe.so" is built into this program's folder.
#include "platform/Library.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cerrno>
#include <filesystem>

#include "platform/Platform.h"
#include "support/TempDir.h"

namespace nelvo::platform {
namespace {

using test::TempDir;
using test::WriteFile;

std::string ProgramFolder() {
    return std::filesystem::path(ExeFilePath()).parent_path().string();
}

std::string ProbePath() {
    return ProgramFolder() + "/nelvoSearchProbe.so";
}

bool ProbeMapped() {
    return !LoadedModulePath("nelvoSearchProbe.so").empty();
}

TEST(LibraryTest, SearchLooksInTheProgramFolderFirstAndTakesADllNameAsSo) {
    ASSERT_FALSE(ProbeMapped());
    DynamicLibrary library = DynamicLibrary::LoadBySearch("nelvoSearchProbe.dll");
    ASSERT_TRUE(library.IsLoaded()) << LastLibraryError().text;
    EXPECT_EQ(library.FilePath(), ProbePath());
    EXPECT_NE(library.Symbol("WS_ExecuteEx"), nullptr);
    EXPECT_EQ(library.Symbol("WS_NoSuchProcedure"), nullptr);
}

TEST(LibraryTest, SearchFallsBackToTheLoadersDefaultSearch) {
    DynamicLibrary library = DynamicLibrary::LoadBySearch("libm.so.6");
    ASSERT_TRUE(library.IsLoaded()) << LastLibraryError().text;
    const std::string path = library.FilePath();
    EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
}

TEST(LibraryTest, SearchDoesNotLookInTheCurrentFolder) {
    TempDir dir;
    std::filesystem::copy_file(ProbePath(), dir / "nelvoCwdProbe.so");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    DynamicLibrary library = DynamicLibrary::LoadBySearch("nelvoCwdProbe.so");
    std::filesystem::current_path(previous);
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_TRUE(LastLibraryError().fileMissing);
}

TEST(LibraryTest, FailuresTellCodeAndLoaderText) {
    TempDir dir;
    WriteFile(dir / "text.so", "not a library");
    std::filesystem::create_directory(dir / "folder.so");
    const struct {
        std::string path;
        int code;
        bool fileMissing;
        const char* textHas;
    } cases[] = {
        {dir / "missing.so", ENOENT, true, "missing.so: cannot open shared object file"},
        {dir / "missing.dll", ENOENT, true, "missing.so"},  // the Linux name is the one asked for
        {dir / "text.so", ENOEXEC, false, "text.so"},
        {dir / "folder.so", EISDIR, false, "folder.so"},
        // The .so exists but is broken: that says more than "missing.dll not found".
        {dir / "text.dll", ENOEXEC, false, "text.so"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        DynamicLibrary library = DynamicLibrary::LoadFile(c.path);
        EXPECT_FALSE(library.IsLoaded());
        const LibraryError error = LastLibraryError();
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.fileMissing, c.fileMissing);
        EXPECT_NE(error.text.find(c.textHas), std::string::npos) << error.text;
    }
}

TEST(LibraryTest, ADllNameStillLoadsAFileOfExactlyThatName) {
    TempDir dir;
    std::filesystem::copy_file(ProbePath(), dir / "copy.dll");
    DynamicLibrary library = DynamicLibrary::LoadFile(dir / "copy.dll");
    ASSERT_TRUE(library.IsLoaded()) << LastLibraryError().text;
    EXPECT_EQ(library.FilePath(), dir / "copy.dll");
}

TEST(LibraryTest, RelativePathsAreReportedAbsolute) {
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(ProgramFolder());
    DynamicLibrary library = DynamicLibrary::LoadFile("./nelvoSearchProbe.so");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(library.IsLoaded()) << LastLibraryError().text;
    EXPECT_EQ(library.FilePath(), ProbePath());
}

TEST(LibraryTest, FreeingUnmapsAndOwnershipMovesWithTheObject) {
    {
        DynamicLibrary first = DynamicLibrary::LoadFile(ProbePath());
        ASSERT_TRUE(ProbeMapped());
        DynamicLibrary second = std::move(first);
        EXPECT_FALSE(first.IsLoaded());
        EXPECT_TRUE(second.IsLoaded());
        EXPECT_TRUE(ProbeMapped());
    }
    EXPECT_FALSE(ProbeMapped()) << "the destructor frees";

    DynamicLibrary library = DynamicLibrary::LoadFile(ProbePath());
    EXPECT_TRUE(library.Free());
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(ProbeMapped());
    EXPECT_EQ(library.Symbol("WS_ExecuteEx"), nullptr);
    EXPECT_TRUE(library.Free()) << "freeing twice is harmless";
}

TEST(LibraryTest, ALaterNotFoundNeverHidesAnEarlierError) {
    const LibraryError missing{ENOENT, "missing", true};
    const LibraryError missingLater{ENOENT, "missing later", true};
    const LibraryError broken{ENOEXEC, "broken", false};
    const LibraryError other{EISDIR, "other", false};
    EXPECT_EQ(MoreTellingError(broken, missing).text, "broken");
    EXPECT_EQ(MoreTellingError(missing, broken).text, "broken");
    EXPECT_EQ(MoreTellingError(missing, missingLater).text, "missing") << "the first place looked";
    EXPECT_EQ(MoreTellingError(broken, other).text, "other");
}

}  // namespace
}  // namespace nelvo::platform
