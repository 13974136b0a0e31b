// The host log: the one global object every part reports through.
//
//   HostLoger->Log(this, "Starting HTTP/HTTPS server...", 2);
//   HostLoger->Log(this, "Current settings", 2, detailText);
//   HostLoger->LogException(this, "ThttpThread.Execute", e);
//   HostLoger->TraceStart(this, "rpSign", {"keySessID", "signType"}, {sessId, signType});
//
// Calls are safe from any thread and silent while no log file is configured. The instance is
// created on first use (so module set-up can log before main runs) and freed by FreeHostLoger
// at program end; calls after that are silent.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "log/QxPluginLogerBase.h"
#include "tools/QxValues.h"

namespace nelvo {

// Levels of Log.
enum : int {
    llError = 0,
    llWarning = 1,
    llProgress = 2,
    llDetail = 3,
    llNever = 4,
    llBackground = 5,
};

// The host's log: enabled only when the settings file names a log file (section "Log", key
// "FileName"). Tests derive from it to read another settings file.
class THostLoger : public TQxPluginLogerBase {};

// Access to the global host log; never yields a null pointer.
class THostLogerAccess {
public:
    THostLoger* operator->() const;
};
extern const THostLogerAccess HostLoger;

// Frees the global host log at program end; later calls are silent.
void FreeHostLoger();
// Replaces the global host log (tests: a log configured from a given INI file). The new log
// consults its configuration at once, as the one created on first use does.
void SetHostLoger(std::unique_ptr<THostLoger> loger);

}  // namespace nelvo
