// The thread of one soft keyboard: its window classes, the window with its buttons, header and
// info icon, and the message loop that runs them until the window is destroyed.
#include <algorithm>
#include <memory>

#include "common/ids.h"
#include "common/win32/wide.h"
#include "common/win32/window_proc.h"
#include "softkbd/soft_key_buttons.h"
#include "softkbd/soft_keyboard_start.h"
#include "softkbd/win32/soft_keyboard_view_win32.h"

namespace qv {
namespace {

// The system's button style for the soft keyboard's own description of a button.
DWORD ButtonStyleOf(unsigned flags) {
  DWORD style = 0;
  if (flags & kButtonMultiline) style |= BS_MULTILINE;
  if (flags & kButtonImage) style |= BS_BITMAP;
  if (flags & kButtonPushLike) style |= BS_PUSHLIKE;
  if (flags & kButtonAutoRadio) style |= BS_AUTORADIOBUTTON;
  return style;
}

// A class left registered by an earlier start of this key pad's soft keyboard is fine.
bool RegisterKeyboardClass(const char16_t* name) {
  return RegisterWindowClassOf<SoftKeyboardWindow>(Wide(name), kIconApp);
}

bool ClassName(unsigned prefixString, const SoftKeyboardState& state,
               char16_t (&name)[kPathChars]) {
  wchar_t prefix[64] = {};
  if (LoadStringW(GetModuleHandleW(nullptr), prefixString, prefix, 64) <= 0) return false;
  return SoftKeyboardClassName(Utf16(prefix), state.modelIdentity, state.serialNumber, name);
}

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rect, LPARAM list) {
  reinterpret_cast<std::vector<ScreenRect>*>(list)->push_back(
      {rect->left, rect->top, rect->right, rect->bottom});
  return TRUE;
}

// The monitors attached now: one unplugged since the start no longer holds a stored keyboard.
std::vector<ScreenRect> MonitorsNow() {
  std::vector<ScreenRect> monitors;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

// Where the window goes: the size that holds the buttons, or the stored rectangle when it lies
// on one of the monitors present now.
Placement PlacementFor(SoftKeyboardWindow& kb) {
  PlacementInput input;
  for (HWND button : kb.keyButtons) {
    RECT rect{};
    if (button && GetWindowRect(button, &rect)) {
      input.buttonsRight = std::max<std::int32_t>(input.buttonsRight, rect.right);
      input.buttonsBottom = std::max<std::int32_t>(input.buttonsBottom, rect.bottom);
    }
  }
  RECT workArea{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
  input.workArea = {workArea.left, workArea.top, workArea.right, workArea.bottom};
  input.frameWidth = GetSystemMetrics(SM_CXFRAME);
  input.frameHeight = GetSystemMetrics(SM_CYFRAME);
  const SoftKeyboardState& state = kb.state;
  input.stored = ReadGeometry(*kb.services.settings, state.modelIdentity, state.serialNumber).rect;
  const std::vector<ScreenRect> monitors =
      kb.services.monitors ? kb.services.monitors() : MonitorsNow();
  input.monitors = monitors;
  return PlaceWindow(input);
}

// The 30 key buttons at the current scale, then the window placed around them.
void CreateKeyButtons(SoftKeyboardWindow& kb) {
  RECT client{};
  GetClientRect(kb.window, &client);
  BeginLayout(kb.state, kb.core);
  const std::array<PixelRect, kLayoutCells> rects =
      ButtonRects(kb.state, client.right, client.bottom);
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (int j = 0; j < kLayoutCells; ++j) {
    const bool tab = kb.state.paged && j < kPageCount;
    const DWORD style =
        WS_CHILD | WS_VISIBLE | ButtonStyleOf(SoftKeyButtonStyle(kb.state.paged, j));
    const PixelRect& rect = rects[j];
    kb.keyButtons[j] = CreateWindowExW(
        0, L"button", L"", style, rect.x, rect.y, rect.width, rect.height, kb.window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstSoftKeyButtonId + j)), instance,
        nullptr);
    const int key = KeyForButton(kb.state.paged, kb.state.currentPage, j);
    const DisplayText text =
        tab ? TabText({}, j) : KeyNumberText(kb.state.paged, key, kb.state.table->cells[j].label);
    SetWindowTextW(kb.keyButtons[j], WideString(text.view()).c_str());
  }
  const Placement placement = PlacementFor(kb);
  MoveWindow(kb.window, placement.x, placement.y, placement.width, placement.height, TRUE);
  GetClientRect(kb.window, &client);
  FinishLayout(kb.state, client.right, client.bottom);
}

HWND HeaderStatic(HWND parent, DWORD style, int x, int y, int width, int height,
                  const wchar_t* text = L"") {
  return CreateWindowExW(0, L"static", text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(-1)),
                         GetModuleHandleW(nullptr), nullptr);
}

void CreateHeader(SoftKeyboardWindow& kb) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (int i = 0; i < kHeaderBitmapCount; ++i) {
    kb.bitmaps[i].reset(
        static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(kHeaderBitmapIds[i]),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE)));
  }
  RECT client{};
  GetClientRect(kb.window, &client);
  kb.logoStatic = HeaderStatic(kb.window, SS_BITMAP, 0, 0, 120, 30);
  kb.SetStaticImage(kb.logoStatic, kb.bitmaps[kHeaderLogo].get());
  char16_t serial[32];
  SerialText(kb.state.serialNumber, serial);
  kb.serialStatic = HeaderStatic(kb.window, SS_SIMPLE, 5, 30, 120, 30, Wide(serial));
  kb.serialFont = MakeFont(kSerialFont);
  SendMessageW(kb.serialStatic, WM_SETFONT, reinterpret_cast<WPARAM>(kb.serialFont.get()), TRUE);
  constexpr HeaderIcon kIcons[] = {HeaderIcon::kClose, HeaderIcon::kHide, HeaderIcon::kMenu};
  for (int i = 0; i < 3; ++i) {
    const PixelRect rect = HeaderIconRect(kIcons[i], client.right);
    kb.headerIcons[i] = HeaderStatic(kb.window, SS_BITMAP, rect.x, rect.y, rect.width, rect.height);
    kb.SetStaticImage(kb.headerIcons[i],
                      kb.bitmaps[HeaderLookBitmap(kIcons[i], HeaderLook::kNormal)].get());
  }
}

// Creates everything up to the shown window; false when the window itself could not be made.
bool CreateSoftKeyboard(SoftKeyboardWindow& kb) {
  const SoftKeyboardServices& services = kb.services;
  ForgetSmallGeometry(*services.settings, kb.state.modelIdentity, kb.state.serialNumber);

  char16_t name[kPathChars];
  if (!ClassName(kStringSoftKeyboardClass, kb.state, name) || !RegisterKeyboardClass(name)) {
    return false;
  }
  kb.window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, Wide(name), L"",
                              WS_POPUP | WS_BORDER | WS_THICKFRAME | WS_MAXIMIZEBOX, 0, 0, 0, 0,
                              nullptr, nullptr, GetModuleHandleW(nullptr), &kb);
  if (!kb.window) return false;
  CreateKeyButtons(kb);
  char16_t title[64];
  SoftKeyboardTitle(kb.state.modelIdentity, title);
  SetWindowTextW(kb.window, Wide(title));
  CreateHeader(kb);
  if (ClassName(kStringInfoIconClass, kb.state, name)) {
    kb.infoIcon.SetPicture(kb.bitmaps[InfoIconPicture()].get());
    kb.infoIcon.Create(Wide(name), kb.state.slot);
  }
  kb.requests = std::make_unique<KeyPadRequests>(kb.window, services.device,
                                                 &services.table->slots[kb.state.slot].link);
  OnKeyboardCreated(kb.state, kb.core, kb.thread.initialPage);
  kb.Publish();
  UpdateWindow(kb.window);
  return true;
}

// Makes the window known to the host; a close that came while the window was being made finds
// no window, so the thread closes it itself.
void PublishWindow(const SoftKeyboardThreadContext& context, HWND window) {
  context.window->store(window);
  if (!context.closeRequested || !context.closeRequested->load()) return;
  HWND published = window;
  context.window->compare_exchange_strong(published, nullptr);
  PostMessageW(window, WM_CLOSE, 0, 0);
}

}  // namespace

DWORD WINAPI SoftKeyboardThread(void* parameter) {
  const std::unique_ptr<std::shared_ptr<SoftKeyboardRun>> run(
      static_cast<std::shared_ptr<SoftKeyboardRun>*>(parameter));
  const SoftKeyboardThreadContext& context = (*run)->context;
  SoftKeyboardWindow kb(context);
  const bool created = CreateSoftKeyboard(kb);
  if (created) PublishWindow(context, kb.window);
  SetEvent(context.ready);
  if (!created) return 0;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    // Alt combinations typed while a soft keyboard's window has the input must not open its
    // system menu.
    if (message.message == WM_SYSKEYDOWN) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace qv
