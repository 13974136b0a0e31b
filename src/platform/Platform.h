// The operating-system layer: every call the host makes to the OS goes through these small
// functions. The rest of the code never includes a system header for these facilities, so a
// second implementation (win32/) can stand beside posix/ without touching the callers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nelvo::platform {

// The platform's path delimiter; the system's own texts write "\" where this is meant.
#ifdef _WIN32
inline constexpr char PathDelim = '\\';
#else
inline constexpr char PathDelim = '/';
#endif

// True for every character that separates folders on this platform.
bool IsPathDelimiter(char c);

// --- modules and programs -------------------------------------------------------------------

// Full path of the running program file; empty when the system does not tell.
std::string ExeFilePath();
// Full path of the loaded module (program or shared library) that contains the address.
std::string ModuleFilePath(const void* addressInModule);
// Full path of a loaded module given by its file name (a ".dll" name also matches ".so");
// empty when no such module is loaded.
std::string LoadedModulePath(const std::string& moduleName);
// Handle of the program module, as a number (the tracer shows it as the module's ID).
std::uintptr_t ProgramModuleHandle();

// --- environment -------------------------------------------------------------------------------

// Value of an environment variable. Names are looked up exactly, then without regard to letter
// case (the system's names were designed case-insensitive), then through the folder mapping
// for AppData, LOCALAPPDATA, Temp and TMP.
std::optional<std::string> GetEnvironmentValue(const std::string& name);
// Expands every %NAME% reference that resolves; references that do not resolve stay as written.
std::string ExpandEnvironmentText(const std::string& text);

// --- machine and system ------------------------------------------------------------------------

// Computer name; empty when it cannot be read.
std::string ComputerName();
int CurrentProcessId();
std::uint64_t CurrentThreadId();
void SleepMs(int milliseconds);

// A moment in local time, broken down.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};
LocalTime LocalTimeNow();
LocalTime LocalTimeOf(double secondsSinceEpoch);

struct OsFacts {
    std::string kernelName;     // "Linux"
    std::string kernelRelease;  // "6.1.0-18-amd64"
    std::string distribution;   // PRETTY_NAME of os-release, may be empty
    bool is64Bit = false;       // the operating system runs 64-bit
};
OsFacts ReadOsFacts();

// --- files -------------------------------------------------------------------------------------

bool FileExists(const std::string& path);  // a file (not a folder) of that name exists
bool DirectoryExists(const std::string& path);
// Creates the folder with all its parents; true when it exists afterwards.
bool ForceDirectories(const std::string& path);
bool DeleteFileAt(const std::string& path);
// Renames a file, replacing an existing target.
bool RenameFile(const std::string& from, const std::string& to);
// Last-modification time of a file in seconds since the epoch, with sub-second part.
std::optional<double> FileModificationTime(const std::string& path);
// The text of the last system error of this thread (errno).
std::string LastErrorMessage();
std::string ErrorMessage(int errorCode);

// Version record stamped by the build into a binary: the four-part version text, or nothing
// when the file cannot be read or carries no record.
std::optional<std::string> ReadFileVersionRecord(const std::string& path);

// Full path of the file found by the system search order (program folder, current folder,
// PATH); empty when not found.
std::string SearchFile(const std::string& fileName);

// One directory entry in the order the system returns them ("." and ".." skipped).
struct DirEntry {
    std::string name;
    bool isDirectory = false;  // a folder, or a link to one
    bool isLink = false;
};
std::vector<DirEntry> ListDirectory(const std::string& folder);

// --- processes ---------------------------------------------------------------------------------

struct ProcessEntry {
    int pid = 0;
};
// Running processes in the order the system lists them.
std::vector<ProcessEntry> ProcessSnapshot();
// Full path of the process's program file; empty when it cannot be read.
std::string ProcessImagePath(int pid);

// --- memory ------------------------------------------------------------------------------------

// Protection flags of a memory region, with the values the system's checks were written for.
enum MemoryProtection : std::uint32_t {
    MemNoAccess = 0x01,
    MemReadOnly = 0x02,
    MemReadWrite = 0x04,
    MemWriteCopy = 0x08,
    MemExecute = 0x10,
    MemExecuteRead = 0x20,
    MemExecuteReadWrite = 0x40,
    MemExecuteWriteCopy = 0x80,
    MemGuard = 0x100,
};

struct MemoryRegion {
    std::uintptr_t base = 0;
    std::uintptr_t size = 0;
    std::uint32_t protection = 0;
};
// The region that contains the address; nothing when the address is not mapped.
std::optional<MemoryRegion> QueryMemoryRegion(std::uintptr_t address);

}  // namespace nelvo::platform
