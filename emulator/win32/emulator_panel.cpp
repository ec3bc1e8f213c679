#include "emulator/win32/emulator_panel.h"

#include <cwchar>

#include "app/win32/application.h"
#include "common/win32/window_proc.h"
#include "common/window_messages.h"
#include "device/device_commands.h"
#include "device/device_link.h"
#include "emulator/demo_key_pads.h"
#include "keycode/key_table.h"

namespace qv {
namespace {

constexpr int kModelCombo = 100;
constexpr int kSerialEdit = 101;
constexpr int kPasswordEdit = 102;
constexpr int kAttachButton = 103;
constexpr int kAttachedList = 104;
constexpr int kDetachButton = 105;
constexpr int kKeyNumberEdit = 106;
constexpr int kKeyCodeView = 107;

struct PanelModel {
  std::uint16_t productId;
  std::uint16_t version;
  const wchar_t* label;
};

const PanelModel kPanelModels[] = {
    {0x1225, 0x0100, L"1225 v0100  Corvo 144 (soft keyboard, 6 pages)"},
    {0x130D, 0x0100, L"130D v0100  Corvo 144 (soft keyboard, 6 pages)"},
    {0x1224, 0x0100, L"1224 v0100  30 keys (soft keyboard)"},
    {0x130C, 0x0100, L"130C v0100  30 keys (soft keyboard)"},
    {0x074F, 0xA100, L"074F vA100  Tarn (soft keyboard)"},
    {0x074F, 0xB4B4, L"074F Bluetooth LE  Brava"},
    {0x0777, 0xB5B5, L"0777 Bluetooth LE  Brava"},
    {0x0777, 0x0100, L"0777 v0100  Tarn Quad"},
    {0x1227, 0x0100, L"1227 v0100  Merla 96"},
    {0x1227, 0x0200, L"1227 v0200  Merla 96"},
    {0x142A, 0x0100, L"142A v0100  Sable 48"},
    {0x1865, 0x0200, L"1865 v0200  Wren 84"},
    {0x070C, 0x0100, L"070C v0100  Corvo"},
    {0x0750, 0x0100, L"0750 v0100  CorvoTarn"},
    {0x075F, 0x0100, L"075F v0100  Tarn+"},
    {0x0652, 0x0100, L"0652 v0100"},
};

struct PanelState {
  EmulatedHidSystem* hid = nullptr;
  std::vector<DemoKeyPad>* keyPads = nullptr;

  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
PanelState panel;

std::wstring Describe(const EmulatedKeyPad& keyPadSpec) {
  wchar_t text[128];
  std::uint16_t version =
      keyPadSpec.bluetooth ? BleVersionSubstitute(keyPadSpec.productId) : keyPadSpec.version;
  swprintf(text, 128, L"%04x v%04x  %06u%ls", keyPadSpec.productId, version,
           static_cast<unsigned>(keyPadSpec.serial),
           keyPadSpec.password.empty() ? L"" : L"  (password)");
  return text;
}

void NotifyProgram() {
  // As the keyboard-change watcher does on every change of the system's keyboards.
  if (HWND main = TheApplication().mainWindow) {
    SetTimer(main, kRescanTimerId, kMonitorChangeMs, nullptr);
    SetTimer(main, kPresenceTimerId, kMonitorChangeMs, nullptr);
  }
}

void RefreshList(HWND window) {
  HWND list = GetDlgItem(window, kAttachedList);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const DemoKeyPad& keyPad : *panel.keyPads) {
    SendMessageW(list, LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(Describe(keyPad.keyPadSpec).c_str()));
  }
}

void Attach(HWND window) {
  int index = static_cast<int>(SendDlgItemMessageW(window, kModelCombo, CB_GETCURSEL, 0, 0));
  if (index < 0 || index >= static_cast<int>(std::size(kPanelModels))) return;
  wchar_t serialText[16] = {};
  GetDlgItemTextW(window, kSerialEdit, serialText, 16);
  wchar_t passwordText[24] = {};
  GetDlgItemTextW(window, kPasswordEdit, passwordText, 24);
  std::string password;
  for (const wchar_t* c = passwordText; *c; ++c) password += static_cast<char>(*c & 0x7F);
  EmulatedKeyPad keyPadSpec =
      DemoKeyPadSpec(kPanelModels[index].productId, kPanelModels[index].version,
                     static_cast<std::uint32_t>(wcstoul(serialText, nullptr, 10)), password);
  DemoKeyPad keyPad{keyPadSpec, panel.hid->AttachKeyPad(keyPadSpec)};
  panel.keyPads->push_back(keyPad);
  RefreshList(window);
  NotifyProgram();
}

void Detach(HWND window) {
  int index = static_cast<int>(SendDlgItemMessageW(window, kAttachedList, LB_GETCURSEL, 0, 0));
  if (index < 0 || index >= static_cast<int>(panel.keyPads->size())) return;
  panel.hid->Detach((*panel.keyPads)[index].id);
  panel.keyPads->erase(panel.keyPads->begin() + index);
  RefreshList(window);
  NotifyProgram();
}

// The key pad's status byte in the words of the extended settings dialog: buzzer volume (bits
// 6-5), interface (bit 4), and the password (bit 0) and editing (bit 7) bits; then the byte the
// program last wrote with WriteStatusByte, so a setting that reached the key pad shows at once.
std::wstring DescribeStatus(EmulatedDeviceId id) {
  const std::uint8_t status = panel.hid->Status(id);
  const wchar_t* buzzer = L"?";
  switch (status & kStatusVolumeMask) {
    case kStatusVolumeNone:
      buzzer = L"無し";
      break;
    case kStatusVolumeSmall:
      buzzer = L"小";
      break;
    case kStatusVolumeLarge:
      buzzer = L"大";
      break;
    default:
      break;
  }
  wchar_t text[160];
  swprintf(text, 160, L"Status 0x%02X: ブザー %ls, %ls%ls%ls\r\n", status, buzzer,
           (status & kStatusInterfacePs2) ? L"PS/2" : L"USB", (status & 0x01) ? L", password" : L"",
           (status & 0x80) ? L", editing" : L"");
  std::wstring described = text;
  const int written = panel.hid->LastStatusWrite(id);
  if (written < 0)
    swprintf(text, 160, L"Status written: (none)\r\n");
  else
    swprintf(text, 160, L"Status written: 0x%02X\r\n", static_cast<unsigned>(written));
  return described + text;
}

// What the key pad selected in the list holds: its status byte and the key code of the key
// number typed beside it, as the program's key-code list names the strokes. Refreshed twice a
// second, so a key code or setting written by the program shows here at once.
void ShowHeldKeyCode(HWND window) {
  std::wstring text = L"(接続中のキーパッドを選択 / select an attached key pad)";
  const int index =
      static_cast<int>(SendDlgItemMessageW(window, kAttachedList, LB_GETCURSEL, 0, 0));
  wchar_t keyText[8] = {};
  GetDlgItemTextW(window, kKeyNumberEdit, keyText, 8);
  const int key = static_cast<int>(wcstol(keyText, nullptr, 10));
  if (index >= 0 && index < static_cast<int>(panel.keyPads->size())) {
    text = DescribeStatus((*panel.keyPads)[index].id);
  }
  if (index >= 0 && index < static_cast<int>(panel.keyPads->size()) && key >= 1 && key <= 144) {
    const KeyCodeRecord record = panel.hid->Record((*panel.keyPads)[index].id, key);
    wchar_t head[48];
    swprintf(head, 48, L"Key #%d: %d strokes\r\n", key, StrokeCount(record));
    text += head;
    for (const KeyCodeRow& row : KeyCodeRows(record, KeyTableFor(false))) {
      text += reinterpret_cast<const wchar_t*>(row.key);
      text += reinterpret_cast<const wchar_t*>(row.state);
      text += L"\r\n";
    }
  }
  static wchar_t shown[4096];
  GetDlgItemTextW(window, kKeyCodeView, shown, 4096);
  if (text != shown) SetDlgItemTextW(window, kKeyCodeView, text.c_str());
}

HWND AddControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x,
                int y, int width, int height, int id, HFONT font) {
  HWND control =
      CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return control;
}

LRESULT PanelState::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
      AddControl(window, L"STATIC", L"型式 (model)", 0, 10, 10, 330, 18, -1, font);
      HWND combo = AddControl(window, L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                              10, 30, 330, 300, kModelCombo, font);
      for (const PanelModel& model : kPanelModels) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model.label));
      }
      SendMessageW(combo, CB_SETCURSEL, 0, 0);
      AddControl(window, L"STATIC", L"シリアル番号 (serial)", 0, 10, 62, 160, 18, -1, font);
      AddControl(window, L"EDIT", L"100", WS_BORDER | ES_NUMBER | WS_TABSTOP, 10, 82, 160, 22,
                 kSerialEdit, font);
      AddControl(window, L"STATIC", L"パスワード (password)", 0, 180, 62, 160, 18, -1, font);
      AddControl(window, L"EDIT", L"", WS_BORDER | WS_TABSTOP, 180, 82, 160, 22, kPasswordEdit,
                 font);
      AddControl(window, L"BUTTON", L"接続 (attach)", BS_PUSHBUTTON | WS_TABSTOP, 10, 114, 330, 26,
                 kAttachButton, font);
      AddControl(window, L"LISTBOX", L"", WS_BORDER | WS_VSCROLL | LBS_NOTIFY | WS_TABSTOP, 10, 150,
                 330, 120, kAttachedList, font);
      AddControl(window, L"BUTTON", L"切断 (detach)", BS_PUSHBUTTON | WS_TABSTOP, 10, 276, 330, 26,
                 kDetachButton, font);
      AddControl(window, L"STATIC", L"キー番号 (key number)", 0, 10, 312, 160, 18, -1, font);
      AddControl(window, L"EDIT", L"1", WS_BORDER | ES_NUMBER | WS_TABSTOP, 180, 310, 60, 22,
                 kKeyNumberEdit, font);
      AddControl(window, L"EDIT", L"",
                 WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 10, 338, 330,
                 130, kKeyCodeView, font);
      SetTimer(window, kEmulatorPanelTimerId, 500, nullptr);
      RefreshList(window);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kEmulatorPanelTimerId) ShowHeldKeyCode(window);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kAttachButton) Attach(window);
      if (LOWORD(wParam) == kDetachButton) Detach(window);
      return 0;
    case WM_CLOSE:
      // The panel stays while the program runs; closing it only hides it.
      ShowWindow(window, SW_MINIMIZE);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

std::vector<DemoKeyPad> AttachDemoKeyPads(EmulatedHidSystem& hid) {
  ForeignDeviceSpec mouse;
  hid.AttachForeignDevice(mouse);
  ForeignDeviceSpec keyboard;
  keyboard.productId = 0x0002;
  keyboard.usage = 0x0006;
  hid.AttachForeignDevice(keyboard);

  wchar_t configured[1024] = {};
  const DWORD length = GetEnvironmentVariableW(L"QV_DEMO_KEYPADS", configured, 1024);
  const std::u16string list = length > 0 && length < 1024
                                  ? std::u16string(configured, configured + length)
                                  : std::u16string(kDefaultDemoKeyPads);
  std::vector<DemoKeyPad> keyPads;
  for (const EmulatedKeyPad& keyPadSpec : ParseDemoKeyPads(list))
    keyPads.push_back(DemoKeyPad{keyPadSpec, hid.AttachKeyPad(keyPadSpec)});
  return keyPads;
}

HWND CreateEmulatorPanel(HINSTANCE instance, EmulatedHidSystem& hid,
                         std::vector<DemoKeyPad>& keyPads) {
  panel.hid = &hid;
  panel.keyPads = &keyPads;
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProcOf<PanelState>;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"QvPadconfEmulatorPanel";
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(107));
  RegisterClassExW(&windowClass);
  HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"キーパッド エミュレーター (demo)",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 40, 40,
                                366, 510, nullptr, nullptr, instance, &panel);
  if (window) ShowWindow(window, SW_SHOWNOACTIVATE);
  return window;
}

}  // namespace qv
