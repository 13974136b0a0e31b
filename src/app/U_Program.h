// The program: its command line, module set-up and program end, and the headless run of the host
// (no windows: the desktop shell is not part of this build).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nelvo {

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
