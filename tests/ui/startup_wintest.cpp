#include <gtest/gtest.h>

#include <windows.h>

#include <type_traits>
#include <vector>

#include "app/bootwick_app_win.h"
#include "setup/setup_handler_win.h"
#include "setup/setup_interface.h"
#include "ui/bootwick_dialog_win.h"
#include "ui/resources/resource.h"
#include "ui/window_test_util_win.h"

namespace {

// What start-up does with a notification: post it to the window, or give the
// text back when the window takes nothing more.
class WindowRelay : public SetupInterface {
 public:
  explicit WindowRelay(BootwickDialog* dialog) : dialog_(dialog) {}
  void Notify(int code, uintptr_t first, intptr_t second) override {
    if (!dialog_->PostNotification(static_cast<UINT>(code), first, second) && NotificationCarriesText(code))
      FreeNotificationText(reinterpret_cast<char*>(first));
  }

 private:
  BootwickDialog* dialog_;
};

// A worker whose installed client is current; it launches once told to.
class LaunchingSetup : public SetupHandler {
 public:
  LaunchingSetup() : go_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~LaunchingSetup() override { CloseHandle(go_); }
  void Go() { SetEvent(go_); }
  int run_priority = THREAD_PRIORITY_ERROR_RETURN;

  bool Run() override {
    run_priority = GetThreadPriority(GetCurrentThread());
    return SetupHandler::Run();
  }
  bool InitializeSetup() override { return true; }
  void CheckIsVersionIsSynced() override { m_bIsVersionSynced = true; }
  bool LaunchClient() override {
    WaitForSingleObject(go_, INFINITE);
    NotifyText(NOTIFY_CLOSE, "Launching %s ... ", m_sClientName);
    return true;
  }
  bool Download() override { return false; }
  void CallToInstall() override {}

 private:
  HANDLE go_;
};

TEST(StartUp, TheWindowRunsUntilTheWorkerHasLaunchedTheClient) {
  int live_texts = LiveNotificationTexts();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  ASSERT_TRUE(BootwickDialog::RegisterWindowClass(instance));
  BootwickDialog dialog;
  HICON edition_icon = static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_EDITION_FENNIMO), IMAGE_ICON, 16, 16, LR_SHARED));
  ASSERT_NE(nullptr, edition_icon);
  dialog.SetEditionIcon(edition_icon);

  LaunchingSetup setup;
  WindowRelay relay(&dialog);
  setup.SetSetupInterface(&relay);
  setup.SetRaisePriority(false);
  ASSERT_NE(nullptr, setup.Start());

  uitest::ModalScript script(&dialog);
  script.Then([&](HWND window) {
    EXPECT_EQ(edition_icon, reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)));
    EXPECT_TRUE(IsWindowVisible(window));
    setup.Go();
  });
  script.LeaveEndingToOthers();
  EXPECT_EQ(IDCANCEL, script.Run());

  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(setup.GetFinishedEvent(), INFINITE));
  EXPECT_EQ(THREAD_PRIORITY_NORMAL, setup.run_priority);
  WaitForSingleObject(setup.GetThreadHandle(), INFINITE);
  EXPECT_EQ(live_texts, LiveNotificationTexts());
}

// Nothing a worker reaches through the application may go while the process
// ends (a worker that outlived the window may still notify): it cannot be
// destroyed at all, so it is made with new and kept, as the program does.
static_assert(!std::is_destructible<BootwickApp>::value, "the application object is never destroyed");

TEST(StartUp, NotificationsWithoutAWindowGiveTheirTextBack) {
  int live_texts = LiveNotificationTexts();
  BootwickApp* app = new BootwickApp();  // no window until InitInstance makes one
  app->Notify(NOTIFY_SHOW_MESSAGE, reinterpret_cast<uintptr_t>(AllocNotificationText()), 0);
  app->Notify(NOTIFY_CLOSE, reinterpret_cast<uintptr_t>(AllocNotificationText()), 0);
  app->Notify(NOTIFY_INIT_FAILED, 0, 0);
  EXPECT_EQ(live_texts, LiveNotificationTexts());
}

// Sizes and colour depths of the images in an icon group resource.
struct IconImage {
  int size;
  int bits;
};
std::vector<IconImage> IconGroup(int id) {
  std::vector<IconImage> images;
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), RT_GROUP_ICON);
  if (found == nullptr) return images;
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  DWORD length = SizeofResource(module, found);
  if (data == nullptr || length < 6) return images;
  int count = data[4] | (data[5] << 8);
  for (int i = 0; i < count && 6u + 14u * (i + 1) <= length; ++i) {
    const BYTE* entry = data + 6 + 14 * i;
    images.push_back(IconImage{entry[0] == 0 ? 256 : entry[0], entry[6] | (entry[7] << 8)});
  }
  return images;
}

TEST(StartUp, IconsOfTheWindowAndEachEdition) {
  std::vector<IconImage> application = IconGroup(IDR_MAINFRAME);
  ASSERT_EQ(3u, application.size());
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(16 << i, application[i].size);
    EXPECT_EQ(8, application[i].bits);  // 256 colours
  }
  std::vector<IconImage> close = IconGroup(IDI_CLOSE_BUTTON);
  ASSERT_EQ(1u, close.size());
  EXPECT_EQ(16, close[0].size);
  EXPECT_EQ(32, close[0].bits);
  for (int edition : {IDI_EDITION_FENNIMO, IDI_EDITION_DEFAULT, IDI_EDITION_QUORREL}) {
    EXPECT_NE(nullptr, LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(edition), IMAGE_ICON, 16, 16, LR_SHARED))
        << edition;
  }
}

}  // namespace
