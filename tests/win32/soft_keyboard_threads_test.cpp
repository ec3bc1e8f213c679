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
#include "shell_fixture.h"
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
    host.Bind(&table, &touchEnabled);
    host.Attach(std::move(services));
  }
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

}  // namespace
}  // namespace qv
