// The operating-system description shown in the log header and the system-information reply.
#include <fmt/format.h>

#include "platform/Platform.h"
#include "tools/QxSysTools.h"

namespace nelvo {

std::string WindowsOSName(int major, int minor, int build, const std::string& servicePack) {
    std::string name;
    if (major == 5 && minor == 0)
        name = "Windows 2000";
    else if (major == 5 && minor == 1)
        name = "Windows XP";
    else if (major == 5 && minor == 2)
        name = "Windows XP64";
    else if (major == 6 && minor == 0)
        name = "Vista";
    else if (major == 6 && minor == 1)
        name = "Windows 7";
    else if (major == 6 && minor == 2)
        name = "Windows 8";
    else if (major == 6 && minor == 3)
        name = "Windows 8.1";
    else if (major == 10)
        name = "Windows 10";
    else if (major != 5 && major != 6)
        name = fmt::format("{}.{}", major, minor);
    name += " Build " + std::to_string(build);
    if (!servicePack.empty()) name += " (" + servicePack + ")";
    return name;
}

// "Linux 6.1.0-18-amd64 (Debian GNU/Linux 12 (bookworm))": the first word names the system, as
// the Windows names do, so the short OS field reads "Linux".
namespace {

std::string OSNameOf(const platform::OsFacts& facts) {
    std::string name = facts.kernelName.empty() ? "Linux" : facts.kernelName;
    if (!facts.kernelRelease.empty()) name += " " + facts.kernelRelease;
    if (!facts.distribution.empty()) name += " (" + facts.distribution + ")";
    return name;
}

}  // namespace

std::string GetOSName() {
    return OSNameOf(platform::ReadOsFacts());
}

bool IsWindows64() {
    return platform::ReadOsFacts().is64Bit;
}

// One reading of the system's facts serves both halves of the text.
std::string GetOSVersionText() {
    const platform::OsFacts facts = platform::ReadOsFacts();
    return fmt::format("{} {}-bit", OSNameOf(facts), facts.is64Bit ? 64 : 32);
}

}  // namespace nelvo
