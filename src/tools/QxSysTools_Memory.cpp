// Memory-range checks and process look-up.
#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

namespace {

constexpr std::uint32_t kReadableMask = 0xEE;
constexpr std::uint32_t kCodeMask = 0xE8;
constexpr std::uint32_t kRejected = platform::MemGuard | platform::MemNoAccess;

// Every region the byte range touches must be mapped, without guard or no-access protection,
// and with one of the accepted protections.
bool RangePasses(const void* address, std::size_t count, std::uint32_t accepted) {
    std::uintptr_t current = reinterpret_cast<std::uintptr_t>(address);
    const std::uintptr_t end = count == 0 ? current + 1 : current + count;
    if (end < current) return false;  // the range wraps around the address space
    while (current < end) {
        const auto region = platform::QueryMemoryRegion(current);
        if (!region) return false;
        if ((region->protection & kRejected) != 0 || (region->protection & accepted) == 0)
            return false;
        current = region->base + region->size;
    }
    return true;
}

}  // namespace

bool IsReadableMemory(const void* address, std::size_t count) {
    return RangePasses(address, count, kReadableMask);
}

bool IsCodeMemory(const void* address, std::size_t count) {
    return RangePasses(address, count, kCodeMask);
}

std::string GetProcessImagePath(int pid) {
    if (pid == 0) return {};
    return platform::ProcessImagePath(pid);
}

int FindProcessByName(const std::string& name) {
    const bool withFolder = name.find(platform::PathDelim) != std::string::npos;
    for (const auto& process : platform::ProcessSnapshot()) {
        if (process.pid == 0) continue;
        const std::string image = GetProcessImagePath(process.pid);
        if (image.empty()) continue;
        if (SameText(withFolder ? image : ExtractFileName(image), name)) return process.pid;
    }
    return 0;
}

}  // namespace nelvo
