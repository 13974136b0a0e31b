#include "update/U_AutoUpdate.h"

#include <array>
#include <mutex>
#include <utility>

#include "log/U_LogFile.h"

namespace nelvo {

std::atomic<bool> UpdateInProgress{false};
std::atomic<TAutoUpdateError> LastUpdateError{TAutoUpdateError::errNone};

namespace {

constexpr std::array<const char*, 6> ErrorTexts = {
    "Нет ошибки",
    "Ошибки возникли при получении манифеста обновления.",
    "Ошибки возникли при разборе манифеста обновления.",
    "Ошибки возникли при получении инсталлятора обновления.",
    "Ошибки возникли при проверке инсталлятора обновления.",
    "Ошибки возникли при запуске инсталлятора обновления.",
};

// The hook is replaced on the main thread while connection threads may be showing a notice:
// each caller copies it under the lock and calls its copy outside, so a notice that waits for
// the user never holds anyone else up.
std::mutex HookLock;
TUpdateNoticeHook NoticeHook;

TUpdateNoticeHook CurrentHook() {
    std::lock_guard guard(HookLock);
    return NoticeHook;
}

}  // namespace

std::string AutoUpdateErrorText(TAutoUpdateError error) {
    const auto index = static_cast<std::size_t>(error);
    return index < ErrorTexts.size() ? ErrorTexts[index] : std::string();
}

TUpdateNotice UpdateNoticeOf(TAutoUpdateError lastError) {
    if (lastError == TAutoUpdateError::errNone)
        return {std::string(ApplicationTitle) + " - Информация",
                "Подождите, идет процесс обновления сервиса.\r\n"
                "Это может занять несколько минут...",
                TUpdateDialogType::dtInformation};
    return {std::string(ApplicationTitle) + " - Ошибка",
            "Ошибка при попытке обновления крипто-плагина.\r\n" + AutoUpdateErrorText(lastError) +
                "\r\nИсправьте ошибки и перезапустите крипто-плагин.",
            TUpdateDialogType::dtError};
}

void ShowUpdateWindow() {
    const TUpdateNotice notice = UpdateNoticeOf(LastUpdateError.load());
    if (const TUpdateNoticeHook hook = CurrentHook()) {
        hook(notice);
        return;
    }
    // No window can be shown yet (no desktop shell installed its dialog, or the host runs
    // headless): the notice must not vanish, so it goes to the log as a warning.
    HostLoger->Log(nullptr, "Update notice: " + notice.Caption, llWarning, notice.Text);
}

void SetUpdateNoticeHook(TUpdateNoticeHook hook) {
    std::lock_guard guard(HookLock);
    NoticeHook = std::move(hook);
}

}  // namespace nelvo
