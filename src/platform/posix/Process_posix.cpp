// Processes from /proc, and memory regions from /proc/self/maps translated into the protection
// flags the callers' checks were written for.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/Platform.h"

namespace nelvo::platform {

std::vector<ProcessEntry> ProcessSnapshot() {
    std::vector<ProcessEntry> processes;
    for (const auto& entry : ListDirectory("/proc")) {
        if (!entry.isDirectory || entry.name.empty()) continue;
        if (entry.name.find_first_not_of("0123456789") != std::string::npos) continue;
        processes.push_back({std::atoi(entry.name.c_str())});
    }
    return processes;
}

std::string ProcessImagePath(int pid) {
    if (pid <= 0) return {};
    std::string buffer(4096, '\0');
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = readlink(link.c_str(), buffer.data(), buffer.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return {};
    buffer.resize(static_cast<std::size_t>(n));
    // A program replaced on disk while running keeps its old path with this suffix.
    constexpr std::string_view deleted = " (deleted)";
    if (buffer.ends_with(deleted)) buffer.resize(buffer.size() - deleted.size());
    return buffer;
}

namespace {

std::uint32_t ProtectionOf(const char perms[4]) {
    const bool r = perms[0] == 'r', w = perms[1] == 'w', x = perms[2] == 'x';
    if (x) return r ? (w ? MemExecuteReadWrite : MemExecuteRead) : MemExecute;
    if (r) return w ? MemReadWrite : MemReadOnly;
    return MemNoAccess;
}

}  // namespace

std::optional<MemoryRegion> QueryMemoryRegion(std::uintptr_t address) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3) continue;
        if (address >= start && address < end)
            return MemoryRegion{start, end - start, ProtectionOf(perms)};
    }
    return std::nullopt;
}

}  // namespace nelvo::platform
