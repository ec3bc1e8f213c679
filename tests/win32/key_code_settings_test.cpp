// Dialog 134 from the resource script over emulated key pads: the key buttons of every model,
// writing only the changed keys, files carried between key pads, and a failed write keeping the
// dialog open.
#include "keycode/win32/key_code_dialogs.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/application.h"
#include "common/bounded_text.h"
#include "common/ids.h"
#include "common/win32/owned.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"
#include "keycode/win32/key_code_files_win32.h"
#include "keycode/win32/key_input_dialog.h"
#include "win32/dialog_user.h"

namespace qv {
namespace {

using testing::Press;
using testing::TextOf;
using testing::User;
using testing::WaitForDialog;

constexpr wchar_t kTitle[] = L"キーコード設定";

// Waits until `shown` holds (or the wait limit has passed), then until the dialog has finished
// the message it is handling: a key button's push reaches the dialog as a posted message, whose
// handling the first visible change does not end.
bool Settled(HWND dialog, const std::function<bool()>& shown) {
  const auto deadline = std::chrono::steady_clock::now() + testing::kWaitLimit;
  while (!shown() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  SendMessageW(dialog, WM_NULL, 0, 0);
  return shown();
}

bool Enabled(HWND dialog, int id) {
  return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// The disk and message boxes of the program, with the file dialogs answered by a fixed path.
class FixedPathFiles : public Win32KeyCodeFiles {
 public:
  std::u16string path;
  bool ChooseFileToOpen(UiWindow, std::u16string& chosen) override {
    chosen = path;
    return true;
  }
  bool ChooseFileToSave(UiWindow, std::u16string& chosen) override {
    chosen = path;
    return true;
  }
};

std::u16string TempFile(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  std::wstring path = std::wstring(folder) + name;
  DeleteFileW(path.c_str());
  return std::u16string(path.begin(), path.end());
}

struct KeyPad {
  EmulatedHidSystem& hid;
  DeviceContext& context;
  DeviceLink link;
  EmulatedDeviceId id = 0;
  std::uint32_t identity = 0;

  KeyPad(EmulatedHidSystem& system, DeviceContext& device, std::uint16_t productId,
         std::uint16_t ordinal, bool bluetooth = false)
      : hid(system), context(device) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.bluetooth = bluetooth;
    keyPadSpec.serial = 1000 + ordinal;
    id = hid.AttachKeyPad(keyPadSpec);
    std::uint16_t version = 0;
    EXPECT_EQ(OpenKeyPad(context, link, productId, &version, ordinal, false), ordinal);
    identity = (std::uint32_t{version} << 16) | productId;
  }
  // A key pad described in full (its version and status, say), opened as the first of its model.
  KeyPad(EmulatedHidSystem& system, DeviceContext& device, const EmulatedKeyPad& spec)
      : hid(system), context(device) {
    id = hid.AttachKeyPad(spec);
    std::uint16_t version = 0;
    EXPECT_EQ(OpenKeyPad(context, link, spec.productId, &version, 1, false), 1);
    identity = (std::uint32_t{version} << 16) | spec.productId;
  }
  ~KeyPad() { CloseLink(context, link); }

  std::vector<int> WrittenKeys() {
    std::vector<int> keys;
    for (const ReceivedRequest& request : hid.Requests(id))
      if (request.command == kCmdWriteKeyCode && !request.payload.empty())
        keys.push_back(request.payload[0]);
    return keys;
  }
};

// One run of dialog 134 for a key pad, with its own editing copy.
struct Session {
  EditedKeyCodes edited;
  KeyCodeRecords cache{};
  FixedPathFiles files;
  Win32EditorMessages messages;
  KeyCodeEditing editing;
  KeyCodeSettingsSession session;

  explicit Session(KeyPad& pad)
      : editing{pad.context, pad.link, pad.identity, edited, cache, files, messages} {
    session.editing = &editing;
  }
  INT_PTR Run() { return RunKeyCodeSettingsDialog(GetModuleHandleW(nullptr), nullptr, session); }
};

struct ButtonCount {
  int all = 0;
  int visible = 0;
  RECT keyInput{};
  bool keyInputOverlaps = false;
  bool outside = false;
  int gridBottom = 0;
};

ButtonCount CountKeyButtons(HWND dialog) {
  ButtonCount count;
  HWND keyInput = GetDlgItem(dialog, kControlKeyInput);
  GetWindowRect(keyInput, &count.keyInput);
  RECT client{};
  GetWindowRect(dialog, &client);
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (GetDlgCtrlID(child) < kFirstKeyButtonId) continue;
    ++count.all;
    if (!IsWindowVisible(child)) continue;
    ++count.visible;
    RECT rect{}, overlap{};
    GetWindowRect(child, &rect);
    if (IntersectRect(&overlap, &rect, &count.keyInput)) count.keyInputOverlaps = true;
    count.gridBottom = std::max<int>(count.gridBottom, rect.bottom);
    if (rect.right > client.right || rect.bottom > client.bottom) count.outside = true;
  }
  return count;
}

// The rows the dialog's key-code list shows.
int ListRows(HWND dialog) {
  return static_cast<int>(SendDlgItemMessageW(dialog, kKeyCodeListId, LVM_GETITEMCOUNT, 0, 0));
}

// A key button as it paints itself now (through the dialog's owner drawing), read back from a
// 32-bit bitmap of the button's size.
struct Painted {
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB
  bool operator==(const Painted&) const = default;
  // How many pixels have this colour: a button's fill covers most of its face.
  int Count(Colour colour) const {
    const std::uint32_t wanted =
        (std::uint32_t{colour.red} << 16) | (std::uint32_t{colour.green} << 8) | colour.blue;
    return static_cast<int>(std::count(pixels.begin(), pixels.end(), wanted));
  }
  bool MostlyFilled(Colour colour) const {
    return Count(colour) * 2 > static_cast<int>(pixels.size());
  }
};

Painted PaintedButton(HWND button) {
  RECT client{};
  GetClientRect(button, &client);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  OwnedMemoryDc dc(CreateCompatibleDC(nullptr));
  OwnedBitmap bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  Painted painted;
  if (!bitmap) return painted;
  {
    SelectedObject selected(dc.get(), bitmap.get());
    SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; i < client.right * client.bottom; ++i)
      painted.pixels.push_back(pixels[i] & 0xFFFFFF);
  }
  return painted;
}

// The text of a message box.
std::wstring MessageText(HWND box) {
  std::wstring text;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    if (std::wstring(className) == L"Static") text += TextOf(child);
  }
  return text;
}

TEST(KeyCodeSettingsDialog, KeyButtonsOfEveryModel) {
  struct Model {
    std::uint16_t productId;
    int buttons;
  };
  for (Model model : {Model{1887, 30}, Model{1911, 30}, Model{4645, 30}, Model{5162, 48},
                      Model{4647, 96}, Model{6245, 84}}) {
    SCOPED_TRACE(model.productId);
    EmulatedHidSystem hid;
    DeviceContext context{hid};
    KeyPad pad(hid, context, model.productId, 1);
    Session run(pad);
    ButtonCount count, afterPage;
    bool extendedShown = false;
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, kTitle);
      if (!dialog) return;
      count = CountKeyButtons(dialog);
      extendedShown = IsWindowVisible(GetDlgItem(dialog, kControlExtendedSettings)) != FALSE;
      // A page button pushed from the keyboard shows that page's keys.
      // (A page button or a key button, either is shown pushed once it has been handled.)
      SendMessageW(GetDlgItem(dialog, kFirstKeyButtonId + 1), BM_CLICK, 0, 0);
      Settled(dialog, [&] { return !Enabled(dialog, kFirstKeyButtonId + 1); });
      afterPage = CountKeyButtons(dialog);
      Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(run.Run(), kSettingsDropped);
    user.Finished();
    EXPECT_EQ(count.all, model.buttons);
    EXPECT_FALSE(count.outside);
    EXPECT_FALSE(count.keyInputOverlaps) << count.gridBottom << " " << count.keyInput.top;
    EXPECT_EQ(extendedShown, HasExtendedSettings(pad.identity));
    if (model.productId == 4645) {
      EXPECT_EQ(count.visible, 6);  // no key buttons until a page is chosen
      EXPECT_EQ(afterPage.visible, 30);
      EXPECT_EQ(run.edited.page, 2);
      EXPECT_FALSE(afterPage.keyInputOverlaps);
    }
    EXPECT_TRUE(pad.WrittenKeys().empty());  // cancelled: nothing written
  }
}

TEST(KeyCodeSettingsDialog, FinishWritesOnlyTheKeyThatWasEntered) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  KeyPad pad(hid, context, 1887, 1);
  Session run(pad);
  KeyCodeRecord entered;
  entered.bytes[0] = 3;
  entered.bytes[1] = 0x1E;
  entered.bytes[2] = 0x9E;
  run.session.runKeyInput = [&](HWND) {
    run.edited.records[run.edited.selectedKey] = entered;
    return INT_PTR{1};
  };
  bool keyInputEnabled = false;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    SendMessageW(GetDlgItem(dialog, kFirstKeyButtonId + 6), BM_CLICK, 0, 0);  // key 7
    keyInputEnabled = Settled(dialog, [&] { return Enabled(dialog, kControlKeyInput); });
    // Posted, so taken in this order.
    Press(dialog, kControlKeyInput);
    Press(dialog, IDOK);
  });
  EXPECT_EQ(run.Run(), kSettingsWritten);
  user.Finished();
  EXPECT_TRUE(keyInputEnabled);
  EXPECT_EQ(run.edited.selectedKey, 6);
  EXPECT_EQ(pad.WrittenKeys(), std::vector<int>{7});
  EXPECT_EQ(hid.Record(pad.id, 7), entered);
  EXPECT_EQ(run.cache[6], entered);
}

// The HID system as one thread meets it: whether the wait cursor was shown at each exchange with
// the key pad that thread made.
class CursorWitness : public HidSystem {
 public:
  explicit CursorWitness(HidSystem& inner) : inner_(inner) {}
  bool EnumeratePaths(std::vector<std::u16string>& paths) override {
    return inner_.EnumeratePaths(paths);
  }
  HidHandle Open(std::u16string_view path, bool overlapped) override {
    return inner_.Open(path, overlapped);
  }
  void Close(HidHandle handle) override { inner_.Close(handle); }
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override {
    return inner_.GetAttributes(handle, attributes);
  }
  bool GetCaps(HidHandle handle, HidCaps& caps) override { return inner_.GetCaps(handle, caps); }
  bool GetFirstValueCaps(HidHandle handle, HidReportKind kind, HidValueCaps& caps) override {
    return inner_.GetFirstValueCaps(handle, kind, caps);
  }
  bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) override {
    Note();
    return inner_.SetFeature(handle, report, length);
  }
  bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    Note();
    return inner_.GetFeature(handle, report, length);
  }
  bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                   std::uint32_t timeoutMs) override {
    Note();
    return inner_.WriteOutput(handle, report, length, timeoutMs);
  }
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                          std::uint32_t timeoutMs, std::size_t& bytesRead) override {
    Note();
    return inner_.ReadInput(handle, report, length, timeoutMs, bytesRead);
  }

  DWORD thread = 0;
  int exchanges = 0;
  int withoutWaitCursor = 0;

 private:
  void Note() {
    if (GetCurrentThreadId() != thread) return;
    ++exchanges;
    if (GetCursor() != LoadCursorW(nullptr, IDC_WAIT)) ++withoutWaitCursor;
  }
  HidSystem& inner_;
};

TEST(KeyCodeSettingsDialog, TheWaitCursorShowsWhileTheDialogTalksToTheKeyPad) {
  EmulatedHidSystem hid;
  CursorWitness witness(hid);
  DeviceContext context{witness};
  KeyPad pad(hid, context, 1887, 1);
  Session run(pad);
  run.session.runKeyInput = [&](HWND) {
    run.edited.records[run.edited.selectedKey].bytes[0] = 1;
    return INT_PTR{1};
  };
  witness.thread = GetCurrentThreadId();
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  int exchangesWhileOpen = 0;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    exchangesWhileOpen = witness.exchanges;
    SendMessageW(GetDlgItem(dialog, kFirstKeyButtonId + 2), BM_CLICK, 0, 0);  // key 3
    Settled(dialog, [&] { return Enabled(dialog, kControlKeyInput); });
    Press(dialog, kControlKeyInput);
    Press(dialog, IDOK);
  });
  EXPECT_EQ(run.Run(), kSettingsWritten);
  user.Finished();
  // Reading every key at the start and writing the changed one at the end.
  EXPECT_GT(exchangesWhileOpen, 0);
  EXPECT_GT(witness.exchanges, exchangesWhileOpen);
  EXPECT_EQ(witness.withoutWaitCursor, 0);
  EXPECT_EQ(pad.WrittenKeys(), std::vector<int>{3});
  EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
}

// An import of a model with extended settings reads the key pad's status to merge the file's
// settings into it: the wait cursor shows then too.
TEST(KeyCodeSettingsDialog, TheWaitCursorShowsWhileAnImportReadsTheKeyPad) {
  EmulatedHidSystem hid;
  CursorWitness witness(hid);
  DeviceContext context{witness};
  KeyPad pad(hid, context, 0x1227, 1);
  ASSERT_TRUE(HasExtendedSettings(pad.identity));
  Session run(pad);
  run.files.path = TempFile(L"qv-import-cursor.qvk");
  witness.thread = GetCurrentThreadId();
  SetCursor(LoadCursorW(nullptr, IDC_ARROW));
  int beforeImport = 0;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    // Each button's work is over when its sent click returns (neither opens a box here).
    const auto click = [&](int id) {
      DWORD_PTR answer = 0;
      SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL,
                          static_cast<UINT>(testing::kWaitLimit.count() * 1000), &answer);
    };
    click(kControlExport);  // the file, with the key pad's settings
    beforeImport = witness.exchanges;
    click(kControlImport);
    Press(dialog, IDCANCEL);
  });
  run.Run();
  user.Finished();
  EXPECT_GT(witness.exchanges, beforeImport);
  EXPECT_EQ(witness.withoutWaitCursor, 0);
}

TEST(KeyCodeSettingsDialog, FilesMoveBetweenKeyPadsOfOneModelOnly) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  KeyPad source(hid, context, 1887, 1);
  KeyCodeRecord record;
  record.bytes[0] = 5;
  record.bytes[1] = 0x3A;
  record.bytes[2] = 0x30;
  record.bytes[3] = 0xB0;
  record.bytes[4] = 0xBA;
  hid.SetRecord(source.id, 12, record);
  const std::u16string path = TempFile(L"qv-transfer.qvk");

  Session exporting(source);
  exporting.files.path = path;
  User exportUser([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    Press(dialog, kControlExport);  // nothing changed: no question, just the file
    Press(dialog, IDCANCEL);        // posted, so taken after the export
  });
  exporting.Run();
  exportUser.Finished();
  ASSERT_TRUE(std::filesystem::exists(std::filesystem::path(path)));

  KeyPad target(hid, context, 1887, 2);
  KeyCodeRecord one;
  one.bytes[0] = 2;
  one.bytes[1] = 0x1E;
  hid.SetRecord(target.id, 12, one);
  Session importing(target);
  importing.files.path = path;
  int rowsBefore = -1;
  bool rowsImported = false;
  User importUser([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    // With key 12 chosen, the list shows the file's strokes for it once imported.
    SendMessageW(GetDlgItem(dialog, kFirstKeyButtonId + 11), BM_CLICK, 0, 0);
    Settled(dialog, [&] { return !Enabled(dialog, kFirstKeyButtonId + 11); });
    rowsBefore = ListRows(dialog);
    Press(dialog, kControlImport);
    rowsImported = Settled(dialog, [&] { return ListRows(dialog) == 4; });
    Press(dialog, IDOK);
  });
  EXPECT_EQ(importing.Run(), kSettingsWritten);
  importUser.Finished();
  EXPECT_EQ(rowsBefore, 1);
  EXPECT_TRUE(rowsImported);
  EXPECT_EQ(hid.Record(target.id, 12), record);
  EXPECT_EQ(target.WrittenKeys().size(), 30u);

  KeyPad other(hid, context, 0x074F, 1);
  Session refusing(other);
  refusing.files.path = path;
  std::wstring shown, caption;
  User refuseUser([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    Press(dialog, kControlImport);
    HWND box = WaitForDialog(thread, L"エラー");
    if (!box) return;
    shown = MessageText(box);
    Press(box, IDOK);
    Settled(dialog, [&] { return !IsWindow(box); });
    Press(dialog, IDCANCEL);
  });
  refusing.Run();
  refuseUser.Finished();
  EXPECT_EQ(shown, L"別の製品のキーコードファイルです。\nこのファイルは使用できません。");
  EXPECT_FALSE(refusing.edited.imported);
  DeleteFileW(reinterpret_cast<const wchar_t*>(path.c_str()));
}

TEST(KeyCodeSettingsDialog, FailedWriteKeepsTheDialogOpenAndTheKeyMarked) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  context.framedTimeoutMs = 200;
  KeyPad pad(hid, context, 0x074F, 1, true);
  Session run(pad);
  run.session.runKeyInput = [&](HWND) {
    run.edited.records[run.edited.selectedKey].bytes[0] = 1;
    return INT_PTR{1};
  };
  KeyPadFaults faults;
  faults.unansweredCommand = kCmdWriteKeyCode;
  hid.SetFaults(pad.id, faults);
  bool stillOpen = false;
  std::wstring shown;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    SendMessageW(GetDlgItem(dialog, kFirstKeyButtonId + 2), BM_CLICK, 0, 0);
    Settled(dialog, [&] { return Enabled(dialog, kControlKeyInput); });
    Press(dialog, kControlKeyInput);
    Press(dialog, IDOK);
    HWND box = WaitForDialog(thread, L"通信エラー");
    if (!box) return;
    shown = MessageText(box);
    Press(box, IDOK);
    stillOpen = WaitForDialog(thread, kTitle) != nullptr;
    Press(dialog, IDCANCEL);
  });
  EXPECT_EQ(run.Run(), kSettingsDropped);
  user.Finished();
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(shown,
            std::wstring(kKeyWriteFailedMessage.text.begin(), kKeyWriteFailedMessage.text.end()));
  EXPECT_TRUE(run.edited.changed[2]);
}

TEST(KeyCodeSettingsDialog, ExtendedSettingsAndKeyCheck) {
  // The dialog opens on the key pad's settings and prepares exactly the radio buttons chosen.
  struct Choice {
    std::uint8_t status;
    int shownBuzzer, shownInterface;
    int chosenBuzzer, chosenInterface;
    std::uint8_t pending;
  };
  for (const Choice& choice : {Choice{0x65, kControlBuzzerLarge, kControlInterfaceUsb,
                                      kControlBuzzerSmall, kControlInterfacePs2, 0x55},
                               Choice{0x55, kControlBuzzerSmall, kControlInterfacePs2,
                                      kControlBuzzerLarge, kControlInterfaceUsb, 0x65},
                               Choice{0x65, kControlBuzzerLarge, kControlInterfaceUsb,
                                      kControlBuzzerOff, kControlInterfaceUsb, 0x05}}) {
    SCOPED_TRACE(std::to_string(choice.pending));
    EmulatedHidSystem hid;
    DeviceContext context{hid};
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = 0x1227;
    keyPadSpec.version = 0x0200;
    keyPadSpec.status = choice.status;
    KeyPad pad(hid, context, keyPadSpec);
    Session run(pad);

    bool shown = false;
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"拡張設定");
      if (!dialog) return;
      shown = IsDlgButtonChecked(dialog, choice.shownBuzzer) == BST_CHECKED &&
              IsDlgButtonChecked(dialog, choice.shownInterface) == BST_CHECKED;
      SendMessageW(GetDlgItem(dialog, choice.chosenBuzzer), BM_CLICK, 0, 0);
      SendMessageW(GetDlgItem(dialog, choice.chosenInterface), BM_CLICK, 0, 0);
      Press(dialog, IDOK);
    });
    EXPECT_EQ(RunExtendedSettingsDialog(GetModuleHandleW(nullptr), nullptr, run.editing),
              kSettingsWritten);
    user.Finished();
    EXPECT_TRUE(shown);
    EXPECT_EQ(run.edited.pendingStatus, choice.pending);
    EXPECT_EQ(hid.Status(pad.id), choice.status);  // prepared only: dialog 134 writes it
  }

  KeyCodeRecord record;
  record.bytes[0] = 5;
  record.bytes[1] = 0x3A;
  record.bytes[2] = 0x30;
  record.bytes[3] = 0xB0;
  record.bytes[4] = 0xBA;
  int rows = 0;
  std::wstring label;
  User checker([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"キー確認 #12");
    if (!dialog) return;
    rows = static_cast<int>(SendDlgItemMessageW(dialog, kKeyCodeListId, LVM_GETITEMCOUNT, 0, 0));
    label = testing::ItemText(dialog, kControlKeyNumber);
    Press(dialog, IDOK);
  });
  RunKeyCheckDialog(GetModuleHandleW(nullptr), nullptr, record, 11, false);
  checker.Finished();
  EXPECT_EQ(rows, 4);
  EXPECT_EQ(label, L"Key #12");
}

// ---------------------------------------------------------------- closed from outside, rules

// A hidden window standing in for the main window: WM_APP closes every window it owns, as the main
// window does when the session is locked or the command's key pad goes away.
LRESULT CALLBACK StandInMainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    CloseOwnedWindows(window);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct StandInMainWindow {
  StandInMainWindow() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = StandInMainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QvTestStandInMain";
    RegisterClassExW(&windowClass);
    window = CreateWindowExW(WS_EX_TOOLWINDOW, L"QvTestStandInMain", L"", WS_POPUP, 0, 0, 0, 0,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~StandInMainWindow() {
    DestroyWindow(window);
    UnregisterClassW(L"QvTestStandInMain", GetModuleHandleW(nullptr));
  }
  HWND window = nullptr;
};

TEST(KeyCodeSettingsDialog, ClosedFromOutsideItEndsAsItsCancelButtonWould) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = 0x1227;
  keyPadSpec.version = 0x0200;
  keyPadSpec.status = 0x81;
  KeyPad pad(hid, context, keyPadSpec);
  Session run(pad);
  StandInMainWindow main;
  ASSERT_NE(main.window, nullptr);

  bool chosen = false, secondOpen = false;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    Press(dialog, kControlExtendedSettings);
    HWND extended = WaitForDialog(thread, L"拡張設定");
    if (!extended) return;
    SendMessageW(GetDlgItem(extended, kControlBuzzerLarge), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(extended, kControlInterfacePs2), BM_CLICK, 0, 0);
    Press(extended, IDOK);
    chosen = WaitForDialog(thread, kTitle) != nullptr;
    // Open again, then the session is locked: both dialogs go.
    Press(dialog, kControlExtendedSettings);
    secondOpen = WaitForDialog(thread, L"拡張設定") != nullptr;
    PostMessageW(main.window, WM_APP, 0, 0);
  });
  EXPECT_EQ(RunKeyCodeSettingsDialog(GetModuleHandleW(nullptr), main.window, run.session),
            kSettingsDropped);
  user.Finished();
  EXPECT_TRUE(chosen && secondOpen);
  EXPECT_EQ(run.edited.pendingStatus, kNoPendingStatus);
  EXPECT_EQ(hid.LastStatusWrite(pad.id), -1);
  EXPECT_EQ(hid.Status(pad.id), 0x81);
}

TEST(KeyCodeSettingsDialog, ExtendedSettingsShowTheInterfaceOnlyWhereItIsChosen) {
  struct Model {
    std::uint16_t productId, version;
    bool interfaceShown;
  };
  for (Model model : {Model{0x142A, 0x0100, false}, Model{0x1227, 0x0200, true},
                      Model{0x1865, 0x0200, true}, Model{0x1227, 0x0100, true}}) {
    EmulatedHidSystem hid;
    DeviceContext context{hid};
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = model.productId;
    keyPadSpec.version = model.version;
    keyPadSpec.status = 0x50;
    hid.AttachKeyPad(keyPadSpec);
    DeviceLink link;
    ASSERT_EQ(OpenKeyPad(context, link, model.productId, nullptr, 1, false), 1);
    EditedKeyCodes edited;
    KeyCodeRecords cache{};
    FixedPathFiles files;
    Win32EditorMessages messages;
    const std::uint32_t identity = (std::uint32_t{model.version} << 16) | model.productId;
    KeyCodeEditing editing{context, link, identity, edited, cache, files, messages};
    int shown = -1;
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"拡張設定");
      if (!dialog) return;
      shown = 0;
      for (int control : {kControlInterfaceGroup, kControlInterfacePs2, kControlInterfaceUsb})
        shown += IsWindowVisible(GetDlgItem(dialog, control)) ? 1 : 0;
      Press(dialog, IDCANCEL);
    });
    EXPECT_EQ(RunExtendedSettingsDialog(GetModuleHandleW(nullptr), nullptr, editing),
              kSettingsDropped);
    user.Finished();
    EXPECT_EQ(shown, model.interfaceShown ? 3 : 0) << std::hex << identity;
    EXPECT_EQ(edited.pendingStatus, kNoPendingStatus);  // "中止" changes nothing
    CloseLink(context, link);
  }
}

TEST(KeyCodeSettingsDialog, AStatusThatCannotBeReadOpensNoExtendedSettings) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  KeyPad pad(hid, context, 0x1227, 1);
  KeyPadFaults faults;
  faults.unansweredCommand = kCmdReadDeviceInfo;
  hid.SetFaults(pad.id, faults);
  Session run(pad);
  std::wstring shown;
  bool extendedOpened = false;
  std::atomic<bool> returned{false};
  User user([&](DWORD thread) {
    HWND box = WaitForDialog(thread, L"通信エラー");
    if (!box) return;
    shown = MessageText(box);
    Press(box, IDOK);
    // Told, and then no dialog 169 over a guessed status: watched until the call has returned.
    const auto deadline = std::chrono::steady_clock::now() + testing::kWaitLimit;
    while (!returned && !extendedOpened && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EnumThreadWindows(
          thread,
          [](HWND window, LPARAM opened) -> BOOL {
            if (TextOf(window) != L"拡張設定") return TRUE;
            *reinterpret_cast<bool*>(opened) = true;
            Press(window, IDCANCEL);
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&extendedOpened));
    }
  });
  EXPECT_EQ(RunExtendedSettingsDialog(GetModuleHandleW(nullptr), nullptr, run.editing),
            kSettingsDropped);
  returned = true;
  user.Finished();
  EXPECT_EQ(shown,
            L"キーボードと通信できないため拡張設定を読み込めませんでした。\n"
            L"キーボードを接続し直してから再度操作してください。");
  EXPECT_FALSE(extendedOpened);
  EXPECT_EQ(run.edited.pendingStatus, kNoPendingStatus);
}

TEST(KeyCodeSettingsDialog, KeyInputFollowsTheSelectionAcrossPagesAndKeys) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  KeyPad pad(hid, context, 4645, 1);
  Session run(pad);
  struct Seen {
    bool firstSelected = false, keyInputOn = false;
    bool firstBack = false, secondSelected = false;
    bool keyInputAfterPage = true;
  } seen;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    auto click = [&](int index) {
      SendMessageW(GetDlgItem(dialog, kFirstKeyButtonId + index), BM_CLICK, 0, 0);
    };
    auto enabled = [&](int id) { return Enabled(dialog, id); };
    const int key1 = kFirstKeyButtonId + kPageCount, key2 = key1 + 1;
    click(0);  // page 1
    Settled(dialog, [&] {
      return !enabled(kFirstKeyButtonId) && IsWindowVisible(GetDlgItem(dialog, key1));
    });
    click(kPageCount);  // key 1
    seen.firstSelected = Settled(dialog, [&] { return !enabled(key1); });
    seen.keyInputOn = enabled(kControlKeyInput);
    click(kPageCount + 1);  // key 2: key 1 can be chosen again
    seen.secondSelected = Settled(dialog, [&] { return !enabled(key2); });
    seen.firstBack = enabled(key1);
    click(1);  // page 2: no key of the new page is chosen yet
    Settled(dialog, [&] { return !enabled(kFirstKeyButtonId + 1); });
    seen.keyInputAfterPage = enabled(kControlKeyInput);
    Press(dialog, IDCANCEL);
  });
  EXPECT_EQ(run.Run(), kSettingsDropped);
  user.Finished();
  EXPECT_TRUE(seen.firstSelected);
  EXPECT_TRUE(seen.keyInputOn);
  EXPECT_TRUE(seen.firstBack);
  EXPECT_TRUE(seen.secondSelected);
  EXPECT_FALSE(seen.keyInputAfterPage);
}

// What the user sees of the selection: the chosen key drawn pushed in red, orange once a key code
// was entered for it, its strokes in the list until another page is chosen, and every key number
// whole (keys 100 to 144 have three digits).
TEST(KeyCodeSettingsDialog, TheSelectedKeyIsDrawnAndListedAsChosen) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  KeyPad pad(hid, context, 4645, 1);
  KeyCodeRecord strokes;
  strokes.bytes[0] = 3;
  strokes.bytes[1] = 0x1E;
  strokes.bytes[2] = 0x9E;
  hid.SetRecord(pad.id, 1, strokes);
  Session run(pad);
  std::atomic<bool> entered{false};
  run.session.runKeyInput = [&](HWND) {
    entered = true;
    return INT_PTR{1};
  };
  struct Seen {
    int rowsSelected = -1, rowsAfterPage = -1;
    bool red = false, orange = false, stillSelected = false;
    bool wholeNumber = false;
  } seen;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    const int key1 = kFirstKeyButtonId + kPageCount;
    auto click = [&](int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); };
    click(kFirstKeyButtonId);  // page 1
    Settled(dialog, [&] { return !Enabled(dialog, kFirstKeyButtonId); });
    click(key1);
    Settled(dialog, [&] { return !Enabled(dialog, key1); });
    seen.rowsSelected = ListRows(dialog);
    seen.red = PaintedButton(GetDlgItem(dialog, key1)).MostlyFilled(kKeyFillSelected);
    Press(dialog, kControlKeyInput);
    Settled(dialog, [&] { return entered.load(); });
    seen.stillSelected = !Enabled(dialog, key1);
    seen.orange = PaintedButton(GetDlgItem(dialog, key1)).MostlyFilled(kKeyFillSelectedChanged);
    click(kFirstKeyButtonId + 4);  // page 5: keys 97 to 120
    Settled(dialog, [&] { return !Enabled(dialog, kFirstKeyButtonId + 4); });
    seen.rowsAfterPage = ListRows(dialog);
    // Key 100's face differs from the face it would have with "10" on it.
    HWND key100 = GetDlgItem(dialog, key1 + 3);
    const Painted whole = PaintedButton(key100);
    SetWindowTextW(key100, L"10");
    seen.wholeNumber = !whole.pixels.empty() && !(PaintedButton(key100) == whole);
    Press(dialog, IDCANCEL);
  });
  EXPECT_EQ(run.Run(), kSettingsDropped);
  user.Finished();
  EXPECT_EQ(seen.rowsSelected, 2);
  EXPECT_TRUE(seen.red);
  EXPECT_TRUE(seen.stillSelected);
  EXPECT_TRUE(seen.orange);
  EXPECT_EQ(seen.rowsAfterPage, 0);
  EXPECT_TRUE(seen.wholeNumber);
}

TEST(KeyCodeSettingsDialog, AbortedKeyInputLeavesTheKeyAsItWas) {
  EmulatedHidSystem hid;
  DeviceContext context{hid};
  KeyPad pad(hid, context, 1887, 1);
  Session run(pad);
  run.session.runKeyInput = [&](HWND owner) {
    KeyInputSession keyInput;
    keyInput.edited = &run.edited;
    keyInput.productId = 1887;
    return RunKeyInputDialog(owner, keyInput);
  };
  bool keyInputSeen = false;
  User user([&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, kTitle);
    if (!dialog) return;
    SendMessageW(GetDlgItem(dialog, kFirstKeyButtonId + 2), BM_CLICK, 0, 0);  // key 3
    Settled(dialog, [&] { return Enabled(dialog, kControlKeyInput); });
    Press(dialog, kControlKeyInput);
    HWND keyInput = WaitForDialog(thread, L"キー入力 #3");
    if (!keyInput) return;
    keyInputSeen = true;
    Press(keyInput, kKeyInputHankaku);  // something entered, then "中止" (posted: in this order)
    Press(keyInput, kDialogCancel);
    if (!WaitForDialog(thread, kTitle)) return;
    Press(dialog, IDOK);
  });
  const KeyCodeRecord before = hid.Record(pad.id, 3);
  EXPECT_EQ(run.Run(), kSettingsWritten);
  user.Finished();
  EXPECT_TRUE(keyInputSeen);
  EXPECT_FALSE(run.edited.changed[2]);
  EXPECT_TRUE(pad.WrittenKeys().empty());
  EXPECT_EQ(hid.Record(pad.id, 3), before);
}

TEST(KeyCodeFileDialogs, SaveAsksBeforeOverwritingAndOpenWantsAnExistingFile) {
  wchar_t file[kPathChars] = {};
  const OPENFILENAMEW save = KeyCodeFileDialog(0, file, true);
  EXPECT_NE(save.Flags & OFN_OVERWRITEPROMPT, 0u);
  EXPECT_NE(save.Flags & OFN_HIDEREADONLY, 0u);
  EXPECT_EQ(std::wstring(save.lpstrFilter), L"キーコードファイル(*.qvk)");
  EXPECT_EQ(save.lpstrFile, file);
  EXPECT_EQ(save.nMaxFile, static_cast<DWORD>(kPathChars));
  const OPENFILENAMEW open = KeyCodeFileDialog(0, file, false);
  EXPECT_EQ(open.Flags & OFN_OVERWRITEPROMPT, 0u);
  EXPECT_NE(open.Flags & OFN_FILEMUSTEXIST, 0u);
  EXPECT_NE(open.Flags & OFN_PATHMUSTEXIST, 0u);
}

// The save dialog itself, answered by typing a bare name: the name gets the filter's ".qvk".
TEST(KeyCodeFileDialogs, ANameTypedWithoutItsExtensionIsSavedAsAKeyCodeFile) {
  Win32KeyCodeFiles files;
  std::u16string chosen;
  bool typed = false;
  User user([&](DWORD thread) {
    HWND dialog = nullptr;
    const auto deadline = std::chrono::steady_clock::now() + testing::kWaitLimit;
    while (!dialog && std::chrono::steady_clock::now() < deadline) {
      EnumThreadWindows(
          thread,
          [](HWND window, LPARAM found) -> BOOL {
            wchar_t className[16] = {};
            GetClassNameW(window, className, 16);
            if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&dialog));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!dialog) return;
    // The file name box: an edit box, or a combo box with one, by the dialog's template.
    for (int box : {cmb13, edt1})
      if (GetDlgItem(dialog, box)) typed = SetDlgItemTextW(dialog, box, L"qv-typed-name") != FALSE;
    Press(dialog, IDOK);
  });
  const bool saved = files.ChooseFileToSave(0, chosen);
  user.Finished();
  EXPECT_TRUE(typed);
  EXPECT_TRUE(saved);
  const std::u16string ending = u"\\qv-typed-name.qvk";
  EXPECT_TRUE(chosen.size() > ending.size() && chosen.ends_with(ending))
      << std::string(chosen.begin(), chosen.end());
}

}  // namespace
}  // namespace qv
