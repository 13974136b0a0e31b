// One library of the manager: where it is looked for, how procedures are bound into the
// callers' slots, and how those slots are emptied before the module goes.
#include <algorithm>
#include <cerrno>

#include "platform/Platform.h"
#include "plugin/QxLibUtils.h"
#include "tools/QxSysTools.h"

namespace nelvo {

TQxDynLibrary::TQxDynLibrary(TQxLibManager& Manager, std::string LibName,
                             const TPathList& SearchPaths)
    : Manager_(Manager), LibName_(std::move(LibName)) {
    Load(SearchPaths);
}

TQxDynLibrary::~TQxDynLibrary() {
    Free();
}

std::string TQxDynLibrary::ShortName() const {
    return ExtractFileName(LibName_);
}

void TQxDynLibrary::Load(const TPathList& SearchPaths) {
    const std::string name = ShortName();
    if (name.empty()) {
        Manager_.ReportError("Empty library name!");
        LoadError_ = {EINVAL, platform::ErrorMessage(EINVAL), false};
        return;
    }
    if (!ExtractFilePath(LibName_).empty()) {
        Handle_ = platform::DynamicLibrary::LoadFile(LibName_);
        LoadError_ = platform::LastLibraryError();
    } else {
        bool tried = false;
        auto note = [this, &tried] {
            const platform::LibraryError error = platform::LastLibraryError();
            LoadError_ = tried ? platform::MoreTellingError(LoadError_, error) : error;
            tried = true;
        };
        for (const std::string& folder : SearchPaths) {
            Handle_ =
                platform::DynamicLibrary::LoadFile(IncludeTrailingPathDelimiter(folder) + name);
            if (Handle_.IsLoaded()) break;
            note();
        }
        if (!Handle_.IsLoaded()) {
            Handle_ = platform::DynamicLibrary::LoadBySearch(name);
            if (!Handle_.IsLoaded()) note();
        }
    }
    Loaded_ = Handle_.IsLoaded();
    if (Loaded_) {
        FullPath_ = Handle_.FilePath();
        LoadError_ = {};
    }
}

bool TQxDynLibrary::BindProcs(const TProcNames& Names, const TProcPoints& Points) {
    for (void** point : Points)
        if (point) *point = nullptr;
    bool all = true;
    for (std::size_t i = 0; i < Names.size(); ++i) {
        void* address = ProcAddress(Names[i]);
        if (Points[i]) *Points[i] = address;
        all = all && address != nullptr;
    }
    PointsList_.push_back(Points);
    return all;
}

void TQxDynLibrary::ForgetPoints(const TProcPoints& Points) {
    std::erase(PointsList_, Points);
}

bool TQxDynLibrary::Free() {
    for (const TProcPoints& points : PointsList_)
        for (void** point : points)
            if (point) *point = nullptr;
    PointsList_.clear();
    return Handle_.Free();
}

}  // namespace nelvo
