// Dynamic libraries: loading, symbol look-up, the file a library came from, freeing. The host's
// names are the Windows ones ("npNelvoPluginZRB.dll"); a name ending in ".dll" is looked for as
// ".so" first and then as written, so callers keep the system's names in their texts.
#pragma once

#include <string>

namespace nelvo::platform {

// Why the last library call of this thread failed: the system's error code and its text. The
// loader's own text is kept because it names the file and the reason ("undefined symbol: x").
struct LibraryError {
    int code = 0;
    std::string text;
    bool fileMissing = false;  // no file of that name was found: another place may still have it
};

// The error of the last failed call of this thread (load, free).
LibraryError LastLibraryError();

// Of two errors met while looking for one library in several places, the one worth reporting: a
// later "not found" never hides an earlier error, so when the library is nowhere the first place
// looked is named, and a file that was found but could not be loaded is always named.
LibraryError MoreTellingError(const LibraryError& earlier, const LibraryError& later);

// One loaded library, owned: freed when the object goes, unless Free was called before.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the file at this path (relative paths count from the current folder). Not loaded on
    // failure, with LastLibraryError telling why.
    static DynamicLibrary LoadFile(const std::string& path);
    // Loads a bare file name the way the system finds libraries: the program's own folder first
    // (as Windows does), then the loader's default search. The current folder is not searched.
    static DynamicLibrary LoadBySearch(const std::string& fileName);

    bool IsLoaded() const { return handle_ != nullptr; }
    // Address of an exported symbol; nullptr when missing or not loaded.
    void* Symbol(const std::string& name) const;
    // Absolute path of the file the loader mapped (the ".so" when a ".dll" name was asked for).
    std::string FilePath() const;
    // Frees the library now; false (LastLibraryError set) when the system refused. Either way the
    // object no longer holds it.
    bool Free();

private:
    explicit DynamicLibrary(void* handle) : handle_(handle) {}
    void* handle_ = nullptr;
};

// Per-thread set-up some systems need around a call into a plugin (the component-object library
// on Windows). Nothing to do on Linux; callers keep the scope so the Windows build can fill it.
class PluginCallScope {
public:
    PluginCallScope();
    ~PluginCallScope();
    PluginCallScope(const PluginCallScope&) = delete;
    PluginCallScope& operator=(const PluginCallScope&) = delete;
};

}  // namespace nelvo::platform
