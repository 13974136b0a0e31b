// Linux implementation of the module, environment, machine and file facilities.
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/Platform.h"

extern char** environ;

namespace nelvo::platform {

namespace {

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

std::optional<std::string> NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value && *value) return std::string(value);
    return std::nullopt;
}

// Where the Windows folders the system names live on Linux.
std::optional<std::string> MappedFolder(const std::string& name) {
    if (EqualsNoCase(name, "AppData")) {
        if (auto v = NonEmptyEnv("XDG_CONFIG_HOME")) return v;
        return HomeFolder() + "/.config";
    }
    if (EqualsNoCase(name, "LOCALAPPDATA")) {
        if (auto v = NonEmptyEnv("XDG_DATA_HOME")) return v;
        return HomeFolder() + "/.local/share";
    }
    if (EqualsNoCase(name, "Temp") || EqualsNoCase(name, "TMP")) {
        if (auto v = NonEmptyEnv("TMPDIR")) return v;
        return std::string("/tmp");
    }
    return std::nullopt;
}

std::string ReadLink(const std::string& path) {
    std::string buffer(4096, '\0');
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool IsPathDelimiter(char c) {
    return c == '/';
}

std::string ExeFilePath() {
    return ReadLink("/proc/self/exe");
}

std::string ModuleFilePath(const void* addressInModule) {
    Dl_info info{};
    if (dladdr(addressInModule, &info) == 0 || !info.dli_fname || !*info.dli_fname) return {};
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved)) return resolved;
    return info.dli_fname;
}

std::string LoadedModulePath(const std::string& moduleName) {
    std::string wanted = moduleName;
    if (wanted.size() > 4 && EqualsNoCase(wanted.substr(wanted.size() - 4), ".dll"))
        wanted = wanted.substr(0, wanted.size() - 4) + ".so";
    struct Search {
        std::string wanted;
        std::string found;
    } search{wanted, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            if (!info->dlpi_name || !*info->dlpi_name) return 0;
            const std::string path = info->dlpi_name;
            const std::string base = BaseName(path);
            // Versioned sonames ("libssl.so.3") match their plain name too.
            if (base == s->wanted || base.starts_with(s->wanted + ".")) {
                s->found = path;
                return 1;
            }
            return 0;
        },
        &search);
    if (search.found.empty()) return {};
    char resolved[PATH_MAX];
    return realpath(search.found.c_str(), resolved) ? std::string(resolved) : search.found;
}

std::uintptr_t ProgramModuleHandle() {
    return reinterpret_cast<std::uintptr_t>(dlopen(nullptr, RTLD_NOW | RTLD_NOLOAD));
}

std::optional<std::string> GetEnvironmentValue(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (const char* value = std::getenv(name.c_str())) return std::string(value);
    for (char** entry = environ; entry && *entry; ++entry) {
        const char* eq = std::strchr(*entry, '=');
        if (eq && EqualsNoCase(std::string(*entry, static_cast<std::size_t>(eq - *entry)), name))
            return std::string(eq + 1);
    }
    return MappedFolder(name);
}

std::string ExpandEnvironmentText(const std::string& text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t open = text.find('%', i);
        if (open == std::string::npos) break;
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) break;
        out.append(text, i, open - i);
        if (auto value = GetEnvironmentValue(text.substr(open + 1, close - open - 1))) {
            out += *value;
            i = close + 1;
        } else {
            // Unresolved: keep "%NAME" and let the closing sign start the next reference.
            out.append(text, open, close - open);
            i = close;
        }
    }
    out.append(text, i, std::string::npos);
    return out;
}

std::string ComputerName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

int CurrentProcessId() {
    return static_cast<int>(getpid());
}

std::uint64_t CurrentThreadId() {
    return static_cast<std::uint64_t>(syscall(SYS_gettid));
}

void SleepMs(int milliseconds) {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

LocalTime LocalTimeOf(double secondsSinceEpoch) {
    const time_t seconds = static_cast<time_t>(secondsSinceEpoch);
    tm local{};
    localtime_r(&seconds, &local);
    const int ms = static_cast<int>((secondsSinceEpoch - static_cast<double>(seconds)) * 1000);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            ms};
}

LocalTime LocalTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    LocalTime local = LocalTimeOf(static_cast<double>(now.tv_sec));
    local.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return local;
}

OsFacts ReadOsFacts() {
    OsFacts facts;
    utsname uts{};
    if (uname(&uts) == 0) {
        facts.kernelName = uts.sysname;
        facts.kernelRelease = uts.release;
        const std::string machine = uts.machine;
        facts.is64Bit = machine.find("64") != std::string::npos || machine == "s390x";
    }
    std::ifstream release("/etc/os-release");
    std::string line;
    while (std::getline(release, line)) {
        if (!line.starts_with("PRETTY_NAME=")) continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        facts.distribution = value;
    }
    return facts;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceDirectories(const std::string& path) {
    if (path.empty()) return false;
    if (DirectoryExists(path)) return true;
    std::string current;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        std::size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        current = path.substr(0, next);
        if (!current.empty() && !DirectoryExists(current)) {
            if (mkdir(current.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
        pos = next + 1;
    }
    return DirectoryExists(path);
}

bool DeleteFileAt(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::optional<double> FileModificationTime(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::nullopt;
    return static_cast<double>(st.st_mtim.tv_sec) + st.st_mtim.tv_nsec / 1e9;
}

std::string ErrorMessage(int errorCode) {
    char buffer[256] = {};
    // GNU strerror_r returns the text, which may or may not live in the buffer.
    return strerror_r(errorCode, buffer, sizeof buffer);
}

std::string LastErrorMessage() {
    return ErrorMessage(errno);
}

std::string SearchFile(const std::string& fileName) {
    if (fileName.empty()) return {};
    auto usable = [](const std::string& candidate) {
        return FileExists(candidate) && access(candidate.c_str(), R_OK) == 0;
    };
    if (fileName.find('/') != std::string::npos) {
        char resolved[PATH_MAX];
        return usable(fileName) && realpath(fileName.c_str(), resolved) ? resolved : "";
    }
    std::vector<std::string> folders;
    const std::string exe = ExeFilePath();
    folders.push_back(exe.substr(0, exe.find_last_of('/')));
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd)) folders.emplace_back(cwd);
    if (const char* path = std::getenv("PATH")) {
        std::string list = path;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(':', start);
            if (end == std::string::npos) end = list.size();
            if (end > start) folders.push_back(list.substr(start, end - start));
            start = end + 1;
        }
    }
    for (const auto& folder : folders) {
        const std::string candidate = folder + "/" + fileName;
        if (usable(candidate)) return candidate;
    }
    return {};
}

std::vector<DirEntry> ListDirectory(const std::string& folder) {
    std::vector<DirEntry> entries;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return entries;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        bool isLink = entry->d_type == DT_LNK;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            isLink = lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
        }
        const bool isDir = entry->d_type == DT_DIR ||
                           ((isLink || entry->d_type == DT_UNKNOWN) && DirectoryExists(path));
        entries.push_back({name, isDir, isLink});
    }
    return entries;
}

}  // namespace nelvo::platform
