// The library manager: its list, its single lock, and the load, bind and release steps with
// every report they make.
#include "plugin/QxLibUtils.h"

#include <algorithm>

#include "tools/QxSysTools.h"

namespace nelvo {

// --- TQxLibList ---------------------------------------------------------------------------------

TQxLibList::~TQxLibList() {
    // A library loaded later may depend on one loaded before it.
    while (!Items_.empty()) Items_.pop_back();
}

TQxDynLibrary* TQxLibList::Add(std::unique_ptr<TQxDynLibrary> Library) {
    Items_.push_back(std::move(Library));
    return Items_.back().get();
}

TQxDynLibrary* TQxLibList::Find(const std::string& ShortName) const {
    for (const auto& item : Items_)
        if (item->ShortName() == ShortName) return item.get();
    return nullptr;
}

std::unique_ptr<TQxDynLibrary> TQxLibList::Extract(const TQxDynLibrary* Library) {
    const auto at = std::find_if(Items_.begin(), Items_.end(),
                                 [Library](const auto& item) { return item.get() == Library; });
    if (at == Items_.end()) return nullptr;
    std::unique_ptr<TQxDynLibrary> taken = std::move(*at);
    Items_.erase(at);
    return taken;
}

void TQxLibList::ForEach(const std::function<void(TQxDynLibrary&)>& Action) const {
    for (const auto& item : Items_) Action(*item);
}

// --- TQxLibManager ------------------------------------------------------------------------------

std::string SystemErrorDetail(const platform::LibraryError& Error) {
    return "(" + std::to_string(Error.code) + ") " + Error.text;
}

bool TQxLibManager::LoadLibraryProcs(const std::string& LibName, const TPathList* SearchPaths,
                                     const TProcNames& Names, const TProcPoints& Points) {
    const std::string name = ExpandEnvVars(LibName);
    std::lock_guard guard(Lock_);
    TQxDynLibrary* library = Acquire(name, SearchPaths ? *SearchPaths : SearchPaths_);
    if (!library) return false;
    const bool bound = Bind(library, Names, Points);
    if (!bound) ReportError("Failed to load procedures from " + library->ShortName());
    return bound;
}

TQxDynLibrary* TQxLibManager::Acquire(const std::string& LibName, const TPathList& SearchPaths) {
    TQxDynLibrary* library = Libraries_.Find(ExtractFileName(LibName));
    if (!library) {
        auto created = std::make_unique<TQxDynLibrary>(*this, LibName, SearchPaths);
        if (!created->Loaded()) {
            ReportError("Failed to load library " + LibName,
                        SystemErrorDetail(created->LoadError()));
            return nullptr;
        }
        library = Libraries_.Add(std::move(created));
        ReportMessage("Library loaded: " + library->ShortName(), library->FullPath());
    }
    ++library->RefCount_;
    return library;
}

bool TQxLibManager::Bind(TQxDynLibrary* Library, const TProcNames& Names,
                         const TProcPoints& Points) {
    if (!Library->Loaded()) {
        ReportError("Library " + Library->ShortName() + " not loaded!");
        return false;
    }
    if (Names.size() != Points.size()) {
        ReportError(Library->ShortName() + ": Names and procedures count do not match!");
        return false;
    }
    if (Names.empty()) return true;
    return Library->BindProcs(Names, Points);
}

bool TQxLibManager::UnloadLibrary(const std::string& LibName) {
    std::lock_guard guard(Lock_);
    TQxDynLibrary* library = Libraries_.Find(ExtractFileName(LibName));
    if (!library) return false;
    if (--library->RefCount_ > 0) return true;
    const std::string shortName = library->ShortName();
    std::unique_ptr<TQxDynLibrary> owned = Libraries_.Extract(library);
    if (!owned->Free()) {
        ReportError("Failed to unload " + shortName,
                    SystemErrorDetail(platform::LastLibraryError()));
        return false;
    }
    ReportMessage("Unloaded library " + shortName);
    return true;
}

TQxDynLibrary* TQxLibManager::FindLibrary(const std::string& LibName) const {
    std::lock_guard guard(Lock_);
    return Libraries_.Find(ExtractFileName(LibName));
}

std::string TQxLibManager::LibraryPath(const std::string& LibName) const {
    std::lock_guard guard(Lock_);
    const TQxDynLibrary* library = Libraries_.Find(ExtractFileName(LibName));
    return library ? library->FullPath() : std::string();
}

void TQxLibManager::ForgetProcPoints(const TProcPoints& Points) {
    std::lock_guard guard(Lock_);
    Libraries_.ForEach([&Points](TQxDynLibrary& library) { library.ForgetPoints(Points); });
}

TPathList TQxLibManager::SearchPaths() const {
    std::lock_guard guard(Lock_);
    return SearchPaths_;
}

void TQxLibManager::SetSearchPaths(TPathList Paths) {
    std::lock_guard guard(Lock_);
    SearchPaths_ = std::move(Paths);
}

void TQxLibManager::SetOnError(TQxLibEvent Handler) {
    std::lock_guard guard(Lock_);
    OnError_ = std::move(Handler);
}

void TQxLibManager::SetOnMessage(TQxLibEvent Handler) {
    std::lock_guard guard(Lock_);
    OnMessage_ = std::move(Handler);
}

void TQxLibManager::ReportError(const std::string& Msg, const std::string& Detail) const {
    if (OnError_) OnError_(this, Msg, Detail);
}

void TQxLibManager::ReportMessage(const std::string& Msg, const std::string& Detail) const {
    if (OnMessage_) OnMessage_(this, Msg, Detail);
}

// --- the module's functions ---------------------------------------------------------------------

TQxLibManager& LibManager() {
    static TQxLibManager manager;
    return manager;
}

bool LoadLibraryProcs(const std::string& LibName, const TPathList* SearchPaths,
                      const TProcNames& ProcNames, const TProcPoints& ProcPoints) {
    return LibManager().LoadLibraryProcs(LibName, SearchPaths, ProcNames, ProcPoints);
}

bool UnloadLibrary(const std::string& LibName) {
    return LibManager().UnloadLibrary(LibName);
}

TQxDynLibrary* FindLibrary(const std::string& LibName) {
    return LibManager().FindLibrary(LibName);
}

}  // namespace nelvo
