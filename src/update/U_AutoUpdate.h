// Auto-update: the state that the local API shares with the update checks, and the notice a
// refused request shows.
//
// While a check or an installation runs, UpdateInProgress is set and every admitted API request
// is refused with 423 and ShowUpdateWindow. The update thread writes both flags, any number of
// connection threads read them: they are atomics, never guarded by a lock.
//
//   if (UpdateInProgress) { status = 423; ShowUpdateWindow(); return false; }
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/QxSysTools.h"

namespace nelvo {


enum class TAutoUpdateError : std::uint8_t {
    errNone,
    errGetManifest,
    errParseManifest,
    errGetInstaller,
    errCheckInstaller,
    errRunInstaller,
};

// The text shown to the user for an error.
std::string AutoUpdateErrorText(TAutoUpdateError error);

// Set from the start of each check to its end, and for good once an installer runs.
extern std::atomic<bool> UpdateInProgress;
// The last error an update check reported; never reset within a run.
extern std::atomic<TAutoUpdateError> LastUpdateError;

enum class TUpdateDialogType { dtInformation, dtError };

// One message window with a single OK button.
struct TUpdateNotice {
    std::string Caption;
    std::string Text;
    TUpdateDialogType DialogType = TUpdateDialogType::dtInformation;
    bool operator==(const TUpdateNotice&) const = default;
};

// The window for the given last error: the wait text while there is none, the error otherwise.
TUpdateNotice UpdateNoticeOf(TAutoUpdateError lastError);

// Shows the window for LastUpdateError and returns when the user has closed it. Called from
// connection threads and update threads, several at a time.
void ShowUpdateWindow();

// Installs what shows a notice to the user and waits until it is closed (the desktop shell's
// cross-thread message box); an empty function removes it. Without one the notice is written
// to the host log instead.
using TUpdateNoticeHook = std::function<void(const TUpdateNotice&)>;
void SetUpdateNoticeHook(TUpdateNoticeHook hook);

}  // namespace nelvo
