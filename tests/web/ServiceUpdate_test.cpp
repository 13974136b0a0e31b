// The update notice: its texts for every error, and where it goes with and without a window to
// show it in.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/LogCapture.h"
#include "update/U_AutoUpdate.h"

namespace nelvo::test {
namespace {

const std::string WaitText =
    "Подождите, идет процесс обновления сервиса.\r\nЭто может занять несколько минут...";

std::string ErrorWindowText(const std::string& error) {
    return "Ошибка при попытке обновления крипто-плагина.\r\n" + error +
           "\r\nИсправьте ошибки и перезапустите крипто-плагин.";
}

TEST(UpdateNotice, TextCaptionAndTypeForEveryError) {
    const std::string info = "Nelvo Plugin Host [ZRB] - Информация";
    const std::string error = "Nelvo Plugin Host [ZRB] - Ошибка";
    const struct {
        TAutoUpdateError value;
        TUpdateNotice notice;
    } cases[] = {
        {TAutoUpdateError::errNone, {info, WaitText, TUpdateDialogType::dtInformation}},
        {TAutoUpdateError::errGetManifest,
         {error, ErrorWindowText("Ошибки возникли при получении манифеста обновления."),
          TUpdateDialogType::dtError}},
        {TAutoUpdateError::errParseManifest,
         {error, ErrorWindowText("Ошибки возникли при разборе манифеста обновления."),
          TUpdateDialogType::dtError}},
        {TAutoUpdateError::errGetInstaller,
         {error, ErrorWindowText("Ошибки возникли при получении инсталлятора обновления."),
          TUpdateDialogType::dtError}},
        {TAutoUpdateError::errCheckInstaller,
         {error, ErrorWindowText("Ошибки возникли при проверке инсталлятора обновления."),
          TUpdateDialogType::dtError}},
        {TAutoUpdateError::errRunInstaller,
         {error, ErrorWindowText("Ошибки возникли при запуске инсталлятора обновления."),
          TUpdateDialogType::dtError}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UpdateNoticeOf(c.value), c.notice) << static_cast<int>(c.value);
    EXPECT_EQ(AutoUpdateErrorText(TAutoUpdateError::errNone), "Нет ошибки");
}

class UpdateWindow : public ::testing::Test {
protected:
    void TearDown() override {
        SetUpdateNoticeHook(nullptr);
        LastUpdateError = TAutoUpdateError::errNone;
    }
    ScopedLogLines Log;
};

TEST_F(UpdateWindow, GoesToTheHookForTheLastErrorAndIsNotLoggedThen) {
    std::vector<TUpdateNotice> shown;
    SetUpdateNoticeHook([&](const TUpdateNotice& notice) { shown.push_back(notice); });
    ShowUpdateWindow();
    LastUpdateError = TAutoUpdateError::errGetInstaller;
    ShowUpdateWindow();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].Text, WaitText);
    EXPECT_EQ(shown[1], UpdateNoticeOf(TAutoUpdateError::errGetInstaller));
    EXPECT_TRUE(Log.Lines().empty());
}

TEST_F(UpdateWindow, WithoutAHookTheNoticeIsLoggedAsAWarning) {
    ShowUpdateWindow();
    EXPECT_EQ(Log.Lines(), (std::vector<LogLine>{{"", false,
                                                  "Update notice: Nelvo Plugin Host [ZRB] - "
                                                  "Информация",
                                                  WaitText}}));
}

// Connection threads show notices while the shell installs or removes its window.
TEST_F(UpdateWindow, HookReplacedWhileNoticesAreShown) {
    std::atomic<int> shown{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            while (!stop) ShowUpdateWindow();
        });
    for (int i = 0; i < 200; ++i) {
        SetUpdateNoticeHook([&](const TUpdateNotice&) { ++shown; });
        SetUpdateNoticeHook(nullptr);
    }
    SetUpdateNoticeHook([&](const TUpdateNotice&) { ++shown; });
    while (shown == 0) std::this_thread::yield();
    stop = true;
    for (std::thread& thread : threads) thread.join();
    EXPECT_GT(shown, 0);
}

}  // namespace
}  // namespace nelvo::test
