// The road from the command protocol to the plugin. The host object sits above this folder, so
// it registers itself here while it lives, and the protocol sends through ProcessPluginCommand:
//
//   std::string reply;
//   if (ProcessPluginCommand(commandText, reply, true)) ...
//
// Registration and calls pass one gate: clearing the registration waits until no command is
// inside the old transport any more, so a host object that is being destroyed is never entered.
#pragma once

#include <string>

namespace nelvo {

class IPluginTransport {
public:
    // Sends one JSON command text to the plugin and returns its JSON reply text. LogData decides
    // whether both texts are written into the log.
    virtual bool ProcessCommand(const std::string& Command, std::string& Reply, bool LogData) = 0;

protected:
    ~IPluginTransport() = default;
};

// Makes Transport the one commands go through (nullptr: none). Waits for calls in progress.
void SetPluginTransport(IPluginTransport* Transport);
// Clears the registration if it is still Transport; waits for calls in progress.
void ClearPluginTransport(IPluginTransport* Transport);
// Through the registered transport; without one the command fails (logged as "No executor!
// Library not loaded?") with an empty reply.
bool ProcessPluginCommand(const std::string& Command, std::string& Reply, bool LogData);

}  // namespace nelvo
