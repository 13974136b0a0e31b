// The program: its command line, module set-up and program end, and the headless run of the host
// (no windows: the desktop shell is not part of this build).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace nelvo {

// The stack of every thread the program makes: each connection is a thread of its own, made and
// ended per request, and with the system's 8 MiB default the allocator keeps only five stacks for
// reuse, so every further thread maps, faults in and gives back a stack of its own (measured:
// half the requests a second at 16 and 64 connections). Half a mebibyte holds the deepest walk a
// request can cause, a JSON value nested to the reader's bound, with room to spare (tested).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' instrumentation multiplies every frame; their builds keep the same margin.
inline constexpr std::size_t ThreadStackBytes = 8 * 512 * 1024;
#else
inline constexpr std::size_t ThreadStackBytes = 512 * 1024;
#endif

// The command line. Our own options are not parameters: only the parameters are handed to a
// running instance.
struct TProgramOptions {
    bool Headless = false;
    bool InstallCA = false;
    std::optional<std::string> ExportCA;  // the file to write
    bool Help = false;
    std::vector<std::string> Params;
    std::string Error;  // not empty: the command line is wrong, and why
};

TProgramOptions ParseProgramOptions(const std::vector<std::string>& args);
std::string ProgramUsage();

// The whole program; the exit code.
int RunProgram(int argc, char** argv);

}  // namespace nelvo
