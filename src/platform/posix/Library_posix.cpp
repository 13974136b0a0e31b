// Linux implementation of dynamic libraries: dlopen/dlsym/dlinfo/dlclose.
#include <dlfcn.h>
#include <link.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/Library.h"
#include "platform/Platform.h"

namespace nelvo::platform {

namespace {

thread_local LibraryError tLastError;

// The loader reports through dlerror() only; errno after dlopen means nothing. When the file
// could not be opened or read, the loader's text ends with the system's text for the error, and
// that gives the code back. A file the loader rejects for what it is (not an ELF file, a missing
// symbol of a dependency) gets ENOEXEC.
int CodeOfLoaderText(const std::string& text) {
    static const int kCodes[] = {ENOENT, EACCES, EISDIR, ENOTDIR, ELOOP, ENAMETOOLONG,
                                 ENOMEM, EMFILE, ENFILE, EIO,     EPERM};
    for (int code : kCodes) {
        const std::string tail = ": " + ErrorMessage(code);
        if (text.size() >= tail.size() &&
            text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
            return code;
    }
    return ENOEXEC;
}

void NoteLoaderError() {
    const char* text = dlerror();
    LibraryError error;
    error.text = text ? text : "unknown loader error";
    error.code = CodeOfLoaderText(error.text);
    error.fileMissing = error.code == ENOENT;
    tLastError = std::move(error);
}

bool EndsWithDll(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".dll";
}

// The names one request is tried under, the Linux name first: a ".dll" beside it would be a
// Windows binary that the loader cannot use anyway.
std::vector<std::string> NamesFor(const std::string& name) {
    if (!EndsWithDll(name)) return {name};
    return {name.substr(0, name.size() - 4) + ".so", name};
}

void* OpenOne(const std::string& name) {
    dlerror();
    // Every symbol is resolved now: a plugin with a missing dependency fails here, at load time,
    // instead of in the middle of a command.
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) NoteLoaderError();
    return handle;
}

// Tries the names in order; on failure the most telling error stays as this thread's last one.
void* OpenFirst(const std::vector<std::string>& names) {
    LibraryError kept;
    bool tried = false;
    for (const std::string& name : names) {
        if (void* handle = OpenOne(name)) return handle;
        kept = tried ? MoreTellingError(kept, tLastError) : tLastError;
        tried = true;
    }
    tLastError = kept;
    return nullptr;
}

std::string ProgramFolder() {
    const std::string exe = ExeFilePath();
    const auto slash = exe.find_last_of('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

}  // namespace

LibraryError LastLibraryError() {
    return tLastError;
}

LibraryError MoreTellingError(const LibraryError& earlier, const LibraryError& later) {
    return later.fileMissing ? earlier : later;
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_) dlclose(handle_);
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_) dlclose(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

DynamicLibrary DynamicLibrary::LoadFile(const std::string& path) {
    return DynamicLibrary(OpenFirst(NamesFor(path)));
}

DynamicLibrary DynamicLibrary::LoadBySearch(const std::string& fileName) {
    if (fileName.find('/') != std::string::npos) return LoadFile(fileName);
    const std::string folder = ProgramFolder();
    LibraryError kept;
    if (!folder.empty()) {
        if (void* handle = OpenFirst(NamesFor(folder + fileName))) return DynamicLibrary(handle);
        kept = tLastError;
    }
    // A bare name makes dlopen use its default search (LD_LIBRARY_PATH, the cache, the system
    // folders); it never looks in the current folder.
    if (void* handle = OpenFirst(NamesFor(fileName))) return DynamicLibrary(handle);
    if (!folder.empty()) tLastError = MoreTellingError(kept, tLastError);
    return DynamicLibrary();
}

void* DynamicLibrary::Symbol(const std::string& name) const {
    if (!handle_) return nullptr;
    return dlsym(handle_, name.c_str());
}

std::string DynamicLibrary::FilePath() const {
    link_map* map = nullptr;
    if (!handle_ || dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(map->l_name, ec);
    return ec ? std::string(map->l_name) : absolute.lexically_normal().string();
}

bool DynamicLibrary::Free() {
    if (!handle_) return true;
    dlerror();
    const int rc = dlclose(std::exchange(handle_, nullptr));
    if (rc != 0) NoteLoaderError();
    return rc == 0;
}

PluginCallScope::PluginCallScope() = default;
PluginCallScope::~PluginCallScope() = default;

}  // namespace nelvo::platform
