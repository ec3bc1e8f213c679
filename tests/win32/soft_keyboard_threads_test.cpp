// The soft keyboards' threads as the main thread starts and closes them: a close that comes
// while a keyboard is still being made, and every wait on another thread ending in its time.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "app/win32/registry_settings.h"
#include "common/win32/owned.h"
#include "device/device_commands.h"
#include "device/device_link.h"
#include "emulator/emulated_hid_system.h"
#include "shell_fixture.h"
#include "softkbd/soft_key_commands.h"
#include "softkbd/win32/hot_key_hook_win32.h"
#include "softkbd/win32/soft_keyboard_host_win32.h"

namespace qv {
namespace {

using testing::PumpUntil;

constexpr std::uint32_t kSerial = 515151;
const wchar_t* const kKeyboardClass = L"QV_PADCONF_SOFT_LUMKEYS_01001224515151";

// Counts this process's top-level windows of `className` (hidden ones included).
int WindowsOfClass(const wchar_t* className) {
  int count = 0;
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, className, nullptr)) != nullptr) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    count += processId == GetCurrentProcessId() ? 1 : 0;
  }
  return count;
}

// A window of the test's thread that runs `action` when another thread sends it a message, the
// way the main window runs the session's end when Windows sends WM_ENDSESSION.
class SentAction {
 public:
  explicit SentAction(std::function<void()> action) : action_(std::move(action)) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QvTestSentAction";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"QvTestSentAction", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~SentAction() {
    DestroyWindow(window_);
    UnregisterClassW(L"QvTestSentAction", GetModuleHandleW(nullptr));
  }
  HWND window() const { return window_; }
  static constexpr UINT kRun = WM_APP + 7;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRun) {
      reinterpret_cast<SentAction*>(GetWindowLongPtrW(window, GWLP_USERDATA))->action_();
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }
  std::function<void()> action_;
  HWND window_ = nullptr;
};

class SoftKeyboardThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.keyPadCount = 1;
    table.slots[0].modelIdentity = kModel01001224;
    table.slots[0].serialNumber = kSerial;
    table.slots[0].accessState = AccessState::Open;
    SoftKeyboardServices services;
    services.table = &table;
    services.touchEnabled = &touchEnabled;
    services.nonJapaneseLayout = &nonJapaneseLayout;
    services.keyCodes = &cache;
    services.settings = &settings;
    // Asked on the keyboard's thread while its window is being made.
    services.monitors = [this] {
      if (duringCreation) duringCreation();
      RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
      return std::vector<ScreenRect>{{screen.left, screen.top, screen.right, screen.bottom}};
    };
    Prepare(services);
    host.Bind(&table, &touchEnabled);
    host.Attach(std::move(services));
  }
  // What a fixture adds to the soft keyboards' services before they are attached.
  virtual void Prepare(SoftKeyboardServices&) {}
  void TearDown() override {
    host.Clear();
    wchar_t key[128];
    swprintf(key, 128, L"Software\\Morvalen\\qv-padconf\\SoftKeyboardWindow_100\\%08x&%08x",
             kModel01001224, kSerial);
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
  }

  KeyPadTable table;
  DeviceKeyCodeCache cache;
  std::atomic<std::uint32_t> touchEnabled{1};
  std::atomic<bool> nonJapaneseLayout{false};
  RegistrySettings settings;
  std::function<void()> duringCreation;
  Win32SoftKeyboardHost host;
};

// The session ends (or "/CLOSE" arrives) while the main thread waits for a starting keyboard:
// the close handled inside that wait finds no window yet. The keyboard must still go, the close
// and the start must both return, and the host must not keep the window of a closed slot.
TEST_F(SoftKeyboardThreadsTest, ACloseWhileTheKeyboardIsBeingMadeEndsItInTime) {
  OwnedHandle creating(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  OwnedHandle closeBegun(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<DWORD> closeTook{0xFFFFFFFF};
  bool windowSeenByTheClose = true;
  SentAction endSession([&] {
    SetEvent(closeBegun.get());
    windowSeenByTheClose = host.SoftKeyboardWindow(0) != nullptr;
    const DWORD begin = GetTickCount();
    host.CloseSoftKeyboardThread(0);
    closeTook = GetTickCount() - begin;
  });
  // The keyboard's creation goes on only once the close has begun.
  duringCreation = [&] {
    SetEvent(creating.get());
    WaitForSingleObject(closeBegun.get(), 5000);
  };
  std::atomic<bool> startReturned{false};
  std::thread sender([&] {
    if (WaitForSingleObject(creating.get(), 10000) != WAIT_OBJECT_0) return;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(endSession.window(), SentAction::kRun, 0, 0, SMTO_NORMAL, 20000, &ignored);
  });
  // A close that waits for ever is ended from outside after a while, so that the test fails
  // instead of hanging: the keyboard's window, once it shows, is told to close.
  std::thread rescue([&] {
    const DWORD begin = GetTickCount();
    while (!startReturned && GetTickCount() - begin < 12000) Sleep(20);
    if (startReturned) return;
    if (HWND window = FindWindowW(kKeyboardClass, nullptr)) PostMessageW(window, WM_CLOSE, 0, 0);
  });
  const DWORD begin = GetTickCount();
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  const DWORD startTook = GetTickCount() - begin;
  startReturned = true;
  sender.join();
  rescue.join();

  EXPECT_FALSE(windowSeenByTheClose);
  EXPECT_LT(closeTook.load(), 3000u);
  EXPECT_LT(startTook, 4000u);
  EXPECT_FALSE(host.SoftKeyboardThreadExists(0));
  EXPECT_EQ(host.SoftKeyboardWindow(0), nullptr);
  EXPECT_TRUE(PumpUntil([] { return WindowsOfClass(kKeyboardClass) == 0; }, 5000));

  // The slot starts again as usual afterwards, and closes as usual.
  duringCreation = nullptr;
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  HWND window = host.SoftKeyboardWindow(0);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(IsWindow(window));
  host.CloseSoftKeyboardThread(0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(WindowsOfClass(kKeyboardClass), 0);
}

// The hot key's hook thread may outlive its stop (it is given up on after a wait) and look at a
// key after the soft keyboards' host has gone: the targets it holds then still answer, and reach
// nothing of the host.
TEST(SoftKeyboardHotKeyTargets, OutliveTheirHostWithoutReachingIt) {
  KeyPadTable table;
  table.keyPadCount = 1;
  table.slots[0].modelIdentity = kModel01001224;
  table.slots[0].serialNumber = kSerial;
  DeviceKeyCodeCache cache;
  std::atomic<std::uint32_t> touchEnabled{0};
  std::atomic<bool> nonJapaneseLayout{false};
  RegistrySettings settings;
  SoftKeyboardServices services;
  services.table = &table;
  services.touchEnabled = &touchEnabled;
  services.nonJapaneseLayout = &nonJapaneseLayout;
  services.keyCodes = &cache;
  services.settings = &settings;
  auto host = std::make_unique<Win32SoftKeyboardHost>();
  host->Bind(&table, &touchEnabled);
  host->Attach(std::move(services));
  host->StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  ASSERT_NE(host->SoftKeyboardWindow(0), nullptr);

  const std::shared_ptr<HotKeyTargets> held = CurrentHotKeyTargets();
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->SoftKeyboardWindowOf(0), host->SoftKeyboardWindow(0));
  table.modalActive = true;
  EXPECT_TRUE(held->ModalActive());

  host.reset();
  EXPECT_EQ(CurrentHotKeyTargets(), nullptr);
  EXPECT_EQ(held->SoftKeyboardWindowOf(0), nullptr);
  EXPECT_FALSE(held->ModalActive());
}

// The dialogs of the soft keyboard's menus: every one is cancelled at once and counted.
class CancelledDialogs : public SoftKeyDialogs {
 public:
  int RunImageDialog(HWND, int, AssetTarget) override { return Count(); }
  int RunTextDialog(HWND, int, AssetTarget) override { return Count(); }
  int RunKeyInput(HWND, int, int) override { return Count(); }
  void RunKeyCheck(HWND, int, int) override { Count(); }
  int RunSettingsPrompt(HWND, int) override { return Count(); }
  int RunSoftKeyMenu(HWND) override { return Count(); }
  std::atomic<int> opened{0};

 private:
  int Count() {
    ++opened;
    return 2;
  }
};

// A soft keyboard over a Bluetooth LE key pad whose answers come late, with the menus' dialogs.
class SoftKeyboardCommandTest : public SoftKeyboardThreadsTest {
 protected:
  void Prepare(SoftKeyboardServices& services) override {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = 0x074F;
    keyPadSpec.bluetooth = true;
    keyPadSpec.reportId = 0x05;
    keyPadSpec.status = 0x00;
    pad = hid.AttachKeyPad(keyPadSpec);
    EXPECT_EQ(OpenKeyPad(device, table.slots[0].link, 0x074F, nullptr, 1, false), 1);
    services.device = &device;
    services.edited = &edited;
    services.dialogs = &dialogs;
  }
  void TearDown() override {
    SoftKeyboardThreadsTest::TearDown();
    CloseLink(device, table.slots[0].link);
  }
  int StatusWrites() {
    int writes = 0;
    for (const ReceivedRequest& request : hid.Requests(pad))
      writes += request.command == kCmdWriteStatusByte ? 1 : 0;
    return writes;
  }

  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kReal};
  DeviceContext device{hid};
  EditedKeyCodes edited;
  CancelledDialogs dialogs;
  EmulatedDeviceId pad = 0;
};

// A menu command reads the key pad's status before its dialog and writes it back after: with a
// key pad that answers late, the keyboard still takes what comes meanwhile (here the hot key's
// toggle, posted behind the command) instead of waiting for the key pad.
TEST_F(SoftKeyboardCommandTest, TheKeyboardGoesOnWhileItsCommandWaitsForTheKeyPad) {
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  HWND window = host.SoftKeyboardWindow(0);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }));
  KeyPadFaults late;
  late.replyDelayMs = 2500;
  hid.SetFaults(pad, late);
  hid.ClearRequests(pad);

  const DWORD begin = GetTickCount();
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(kCommandSettingsAuthenticate, 0), 0);
  PostMessageW(window, kToggleSoftKeyboardMessage, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(window); }, 1500));
  EXPECT_LT(GetTickCount() - begin, 2000u);
  EXPECT_EQ(dialogs.opened.load(), 0);  // the status has not come yet
  EXPECT_TRUE(table.modalActive.load());

  // The status comes, the prompt opens and is cancelled, the key pad is resumed.
  EXPECT_TRUE(PumpUntil([&] { return StatusWrites() == 1 && !table.modalActive.load(); }, 15000));
  EXPECT_EQ(dialogs.opened.load(), 1);
  EXPECT_EQ(table.slots[0].softKeyAuthenticated.load(), kSoftKeyNotAuthenticated);
}

// The keyboard closes while its command waits for the key pad: the close ends in time, the
// command's dialog never opens and the shell may start commands again.
TEST_F(SoftKeyboardCommandTest, AKeyboardClosedWhileItsCommandWaitsEndsInTime) {
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  HWND window = host.SoftKeyboardWindow(0);
  ASSERT_NE(window, nullptr);
  KeyPadFaults late;
  late.replyDelayMs = 1500;
  hid.SetFaults(pad, late);
  hid.ClearRequests(pad);
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(kCommandSettingsAuthenticate, 0), 0);
  ASSERT_TRUE(PumpUntil([&] { return table.modalActive.load(); }));
  const DWORD begin = GetTickCount();
  host.CloseSoftKeyboardThread(0);
  EXPECT_LT(GetTickCount() - begin, 4000u);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(table.modalActive.load());
  EXPECT_EQ(dialogs.opened.load(), 0);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// "/CLOSE" reaches the main window (WM_CLOSE) while the first scan is starting the soft
// keyboards, or once they are up: the main window and every keyboard are gone within seconds.
TEST(SoftKeyboardsAtClose, TheMainWindowsCloseEndsEveryKeyboardPromptly) {
  for (const bool duringStart : {true, false}) {
    SCOPED_TRACE(duringStart ? "during the first scan" : "keyboards up");
    testing::ShellRig rig;
    ASSERT_TRUE(rig.started);
    rig.app().shell.touchEnabled = 1;
    rig.Attach(0x1224, 61);
    rig.Attach(0x1225, 62);
    Win32SoftKeyboardHost& host = rig.app().softKeyboards;
    HWND main = rig.window();
    std::atomic<DWORD> sentAt{0};
    std::atomic<int> keyboardsSeen{0};
    std::thread closer([&] {
      const DWORD begin = GetTickCount();
      auto ready = [&] {
        return duringStart ? host.SoftKeyboardThreadExists(0)
                           : host.SoftKeyboardWindow(0) && host.SoftKeyboardWindow(1);
      };
      while (!ready() && GetTickCount() - begin < 15000) Sleep(1);
      keyboardsSeen = WindowsOfClass(L"QV_PADCONF_SOFT_LUMKEYS_01001224000061") +
                      WindowsOfClass(L"QV_PADCONF_SOFT_LUMKEYS_01001225000062") +
                      (host.SoftKeyboardThreadExists(0) ? 1 : 0);
      sentAt = GetTickCount();
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(main, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &ignored);
    });
    EXPECT_TRUE(PumpUntil([&] { return sentAt.load() != 0 && !IsWindow(main); }, 25000));
    const DWORD took = GetTickCount() - sentAt.load();
    closer.join();
    EXPECT_LT(took, 5000u);
    // The keyboards were there when the close came: the check below is not empty.
    EXPECT_GT(keyboardsSeen.load(), 0);
    EXPECT_TRUE(PumpUntil([] {
      return WindowsOfClass(L"QV_PADCONF_SOFT_LUMKEYS_01001224000061") +
                 WindowsOfClass(L"QV_PADCONF_SOFT_LUMKEYS_01001225000062") ==
             0;
    }));
    EXPECT_FALSE(host.SoftKeyboardThreadExists(0));
    EXPECT_FALSE(host.SoftKeyboardThreadExists(1));
  }
}

}  // namespace
}  // namespace qv
