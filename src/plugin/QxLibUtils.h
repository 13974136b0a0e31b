// The library manager: one process-wide registry that loads dynamic libraries by name, binds
// named procedures into slots owned by the caller, counts holders and unloads a library when its
// last holder lets go, emptying every slot that was bound to it.
//
//   void* slots[2] = {};
//   LoadLibraryProcs("npNelvoPluginZRB.dll", nullptr, {"WS_Initialize", "WS_Shutdown"},
//                    {&slots[0], &slots[1]});
//   ...
//   UnloadLibrary("npNelvoPluginZRB.dll");  // slots[0] and slots[1] are empty again
//
// Failures are never raised: they are reported through OnError and answered with false.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Library.h"
#include "tools/QxObject.h"

namespace nelvo {

// Procedure names, in the order they are bound.
using TProcNames = std::vector<std::string>;
// Element i is the address of the caller's slot for procedure i (a pointer-sized variable), or
// nullptr when the caller wants no slot for it.
using TProcPoints = std::vector<void**>;
// Folders searched before the system's own search.
using TPathList = std::vector<std::string>;
// A report of the manager: (sender, message text, detail text). The sender is the manager.
using TQxLibEvent =
    std::function<void(const TObject* Sender, const std::string& Msg, const std::string& Detail)>;

class TQxLibManager;

// One loaded library, owned by the manager's list. It is loaded at construction or never.
class TQxDynLibrary : public TObject {
public:
    // Loads LibName (already expanded): a name with a folder part from exactly there; a bare name
    // from each of SearchPaths in order, then through the system's standard search.
    TQxDynLibrary(TQxLibManager& Manager, std::string LibName, const TPathList& SearchPaths);
    // Empties every slot ever bound against the library, then frees it.
    ~TQxDynLibrary() override;
    TQxDynLibrary(const TQxDynLibrary&) = delete;
    TQxDynLibrary& operator=(const TQxDynLibrary&) = delete;

    const std::string& LibName() const { return LibName_; }
    // The file-name part of LibName, used for look-up and in messages.
    std::string ShortName() const;
    bool Loaded() const { return Loaded_; }
    // The file the system loaded it from.
    const std::string& FullPath() const { return FullPath_; }
    std::int32_t RefCount() const { return RefCount_; }
    // Why the load failed ("(code) text" in reports).
    const platform::LibraryError& LoadError() const { return LoadError_; }
    // Address of an exported procedure, looked up by its exact name; nullptr when missing.
    void* ProcAddress(const std::string& Name) const { return Handle_.Symbol(Name); }

private:
    friend class TQxLibManager;

    void Load(const TPathList& SearchPaths);
    // Empties the slots, fills each with its procedure, and remembers the slots; true when every
    // procedure was found.
    bool BindProcs(const TProcNames& Names, const TProcPoints& Points);
    void ForgetPoints(const TProcPoints& Points);
    // Empties the remembered slots and frees the module; false when the system refused.
    bool Free();

    TQxLibManager& Manager_;
    std::string LibName_;
    platform::DynamicLibrary Handle_;
    bool Loaded_ = false;
    std::string FullPath_;
    std::int32_t RefCount_ = 0;
    std::vector<TProcPoints> PointsList_;
    platform::LibraryError LoadError_;
};

// The manager's libraries, owned; freeing an entry unloads it. Later loads are freed first.
class TQxLibList {
public:
    TQxLibList() = default;
    ~TQxLibList();
    TQxLibList(const TQxLibList&) = delete;
    TQxLibList& operator=(const TQxLibList&) = delete;

    TQxDynLibrary* Add(std::unique_ptr<TQxDynLibrary> Library);
    // The first entry whose short name equals ShortName exactly.
    TQxDynLibrary* Find(const std::string& ShortName) const;
    // Takes the entry out of the list; nullptr when it is not there.
    std::unique_ptr<TQxDynLibrary> Extract(const TQxDynLibrary* Library);
    void ForEach(const std::function<void(TQxDynLibrary&)>& Action) const;

private:
    std::vector<std::unique_ptr<TQxDynLibrary>> Items_;
};

class TQxLibManager : public TObject {
public:
    TQxLibManager() = default;
    ~TQxLibManager() override = default;
    TQxLibManager(const TQxLibManager&) = delete;
    TQxLibManager& operator=(const TQxLibManager&) = delete;

    // Acquires the library (loading it when needed) and binds Names into Points. SearchPaths
    // nullptr: the manager's own SearchPaths. A failed bind keeps the hold, and the slots that
    // did resolve keep their addresses.
    bool LoadLibraryProcs(const std::string& LibName, const TPathList* SearchPaths,
                          const TProcNames& Names, const TProcPoints& Points);
    // Releases one hold; the last one unloads the library and empties its slots.
    bool UnloadLibrary(const std::string& LibName);
    // The registered library of that short name, or nullptr. The entry lives until its last
    // release: use it only while holding it.
    TQxDynLibrary* FindLibrary(const std::string& LibName) const;
    // FullPath of the registered library of that short name, read under the lock; empty when it
    // is not registered.
    std::string LibraryPath(const std::string& LibName) const;
    // Stops emptying these slots on unload: a holder that goes away before the library does
    // (the host object at program end) must not be written to afterwards.
    void ForgetProcPoints(const TProcPoints& Points);

    TPathList SearchPaths() const;
    void SetSearchPaths(TPathList Paths);
    // Handlers are called under the manager's lock and must not call the manager.
    void SetOnError(TQxLibEvent Handler);
    void SetOnMessage(TQxLibEvent Handler);

private:
    friend class TQxDynLibrary;

    TQxDynLibrary* Acquire(const std::string& LibName, const TPathList& SearchPaths);
    bool Bind(TQxDynLibrary* Library, const TProcNames& Names, const TProcPoints& Points);
    void ReportError(const std::string& Msg, const std::string& Detail = std::string()) const;
    void ReportMessage(const std::string& Msg, const std::string& Detail = std::string()) const;

    // The one lock of the manager: list, search paths, handlers, and every slot it writes.
    mutable std::mutex Lock_;
    TQxLibList Libraries_;
    TPathList SearchPaths_;
    TQxLibEvent OnError_;
    TQxLibEvent OnMessage_;
};

// The single manager, created on first use and freed at program end (which unloads every library
// still loaded, without calling into it).
TQxLibManager& LibManager();

bool LoadLibraryProcs(const std::string& LibName, const TPathList* SearchPaths,
                      const TProcNames& ProcNames, const TProcPoints& ProcPoints);
bool UnloadLibrary(const std::string& LibName);
TQxDynLibrary* FindLibrary(const std::string& LibName);

// "(" + code + ") " + text, the form of every system error detail.
std::string SystemErrorDetail(const platform::LibraryError& Error);

}  // namespace nelvo
