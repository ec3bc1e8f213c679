#include "softkbd/win32/soft_keyboard_window_win32.h"

#include <windowsx.h>

#include <algorithm>
#include <array>
#include <string>

#include "access/soft_keyboard_visibility.h"
#include "common/bounded_text.h"
#include "common/ids.h"
#include "common/win32/owned.h"
#include "common/win32/wide.h"
#include "device/device_commands.h"
#include "softkbd/caption_fit.h"
#include "softkbd/soft_key_commands.h"
#include "softkbd/soft_keyboard_controls.h"
#include "softkbd/soft_keyboard_start.h"
#include "softkbd/win32/hot_key_hook_win32.h"

namespace qv {
namespace {

constexpr int kHeaderIconSize = 48;
constexpr UINT kHeaderBitmapIds[] = {
    kBitmapSoftKeyboardLogo, kBitmapCloseIcon,     kBitmapCloseIconHover, kBitmapCloseIconPressed,
    kBitmapHideIcon,         kBitmapHideIconHover, kBitmapMenuIcon,       kBitmapMenuIconHover};
enum HeaderBitmap {
  kLogo,
  kClose,
  kCloseHover,
  kClosePressed,
  kHide,
  kHideHover,
  kMenu,
  kMenuHover
};

// One slot's soft keyboard, owned by its thread; the window finds it through GWLP_USERDATA.
struct SoftKeyboardWindow {
  const SoftKeyboardThreadContext* context = nullptr;
  const SoftKeyboardServices* services = nullptr;
  int slot = 0;
  std::uint32_t modelIdentity = 0;
  std::uint32_t serialNumber = 0;
  bool paged = false;
  const LayoutTable* table = nullptr;

  HWND window = nullptr;
  HWND logoStatic = nullptr;
  HWND serialStatic = nullptr;
  HWND closeIcon = nullptr;
  HWND hideIcon = nullptr;
  HWND menuIcon = nullptr;
  HWND infoIconWindow = nullptr;
  std::array<HWND, kLayoutCells> keyButtons{};
  HWND pressedRepeatButton = nullptr;

  std::array<OwnedBitmap, std::size(kHeaderBitmapIds)> bitmaps;
  OwnedFont serialFont;
  OwnedFont captionFont;
  std::array<OwnedFont, kLayoutCells> fittedFonts;  // per button: its key's or tab's own font
  // Per button: the copy of its key's or tab's image that it shows (buttons do not free them).
  std::array<OwnedBitmap, kLayoutCells> buttonBitmaps;
  std::array<OwnedIcon, kLayoutCells> buttonIcons;

  LayoutScale scale;
  int currentPage = 0;

  // The window is gone (a rescan closed it while one of its dialogs was open).
  bool destroyed = false;
  // The key or page tab the last key menu was opened for.
  AssetTarget menuTarget;
  // The button that blinks while a key menu dialog is open, and its next enable state.
  int blinkButton = -1;
  bool blinkEnabled = false;
  // The image each header icon (close, hide, menu) shows now.
  std::array<int, 3> headerImage{kClose, kHide, kMenu};
  // Where the left button went down on the info icon, in its client coordinates.
  std::uint16_t pressX = 0;
  std::uint16_t pressY = 0;
};

SoftKeyboardWindow* WindowState(HWND window) {
  return reinterpret_cast<SoftKeyboardWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LOGFONTW LogFont(const CaptionFont& font) {
  LOGFONTW description{};
  description.lfHeight = font.height;
  description.lfWidth = font.width;
  description.lfWeight = font.weight;
  description.lfCharSet = 0;
  description.lfQuality = kCaptionFontQuality;
  description.lfPitchAndFamily = kCaptionFontPitchAndFamily;
  BoundedCopy(Utf16(description.lfFaceName), LF_FACESIZE, font.face);
  return description;
}

OwnedFont MakeFont(const CaptionFont& font) {
  const LOGFONTW description = LogFont(font);
  return OwnedFont(CreateFontIndirectW(&description));
}

ButtonSize ClientSizeOf(HWND button) {
  RECT client{};
  GetClientRect(button, &client);
  return {client.right - client.left, client.bottom - client.top};
}

// Measures in the button's own device context, in a font made for the measurement only.
MeasureText MeasureOn(HWND button) {
  return [button](const CaptionFont& font, std::u16string_view cells) {
    TextExtent extent;
    HDC dc = GetDC(button);
    if (!dc) return extent;
    OwnedFont measureFont = MakeFont(font);
    {
      SelectedObject selected(dc, measureFont.get());
      SIZE size{};
      if (GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(cells.data()),
                                static_cast<int>(cells.size()), &size)) {
        extent = {size.cx, size.cy};
      }
    }
    ReleaseDC(button, dc);
    return extent;
  };
}

void SetButtonText(HWND button, std::u16string_view text) {
  SetWindowTextW(button, WideString(text).c_str());
}

// Takes the image off button j and releases its copy; the button shows its text again.
void RemoveButtonImage(SoftKeyboardWindow& kb, int j) {
  HWND button = kb.keyButtons[j];
  if (button) {
    SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP, 0);
    SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, 0);
    const LONG_PTR style = GetWindowLongPtrW(button, GWL_STYLE);
    SetWindowLongPtrW(button, GWL_STYLE, style & ~static_cast<LONG_PTR>(BS_BITMAP | BS_ICON));
  }
  kb.buttonBitmaps[j].reset();
  kb.buttonIcons[j].reset();
}

// Puts an image copy on button j, in the button style of its kind; the button owns nothing, the
// window state keeps the copy until it is replaced or removed.
void SetButtonImage(SoftKeyboardWindow& kb, int j, ButtonImage image) {
  OwnedBitmap bitmap;
  OwnedIcon icon;
  if (image.isIcon)
    icon.reset(static_cast<HICON>(image.handle));
  else
    bitmap.reset(static_cast<HBITMAP>(image.handle));
  HWND button = kb.keyButtons[j];
  if (!image.handle || !button) return;
  const LONG_PTR style =
      GetWindowLongPtrW(button, GWL_STYLE) & ~static_cast<LONG_PTR>(BS_BITMAP | BS_ICON);
  SetWindowLongPtrW(button, GWL_STYLE, style | (image.isIcon ? BS_ICON : BS_BITMAP));
  SendMessageW(button, BM_SETIMAGE, image.isIcon ? IMAGE_ICON : IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(image.handle));
  // The previous copy goes only once the button shows the new one.
  kb.buttonBitmaps[j] = std::move(bitmap);
  kb.buttonIcons[j] = std::move(icon);
  InvalidateRect(button, nullptr, TRUE);
}

int KeyOfButton(const SoftKeyboardWindow& kb, int j) {
  return KeyForButton(kb.paged, kb.currentPage, j);
}

int FirstKeyButton(const SoftKeyboardWindow& kb) {
  return kb.paged ? kPageTabs : 0;
}

// Fits each page tab's caption ("P1" .. "P6" without one) to the tab.
void FitTabCaptions(SoftKeyboardWindow& kb) {
  if (!kb.paged) return;
  for (int page = 0; page < kPageTabs; ++page) {
    HWND tab = kb.keyButtons[page];
    if (!tab) continue;
    const TextFace face = FitTabCaption(page, kb.services->faces->PageCaption(kb.slot, page),
                                        ClientSizeOf(tab), MeasureOn(tab));
    if (face.font) {
      OwnedFont font = MakeFont(*face.font);
      SendMessageW(tab, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
      kb.fittedFonts[page] = std::move(font);
    }
    SetButtonText(tab, face.text.view());
    RemoveButtonImage(kb, page);
  }
}

bool KeyHasOwnFace(const SoftKeyboardWindow& kb, int key) {
  SoftKeyFaces& faces = *kb.services->faces;
  return faces.AssetsLoaded(kb.slot) &&
         (!faces.KeyCaption(kb.slot, key).empty() || faces.HasKeyImage(kb.slot, key));
}

// The shared caption font of the keys that have neither caption nor image, at the key size.
void ResizeCaptionFont(SoftKeyboardWindow& kb, std::int32_t size) {
  CaptionFont description = kKeyFont;
  description.height = CaptionFontHeight(size);
  description.width = 0;
  OwnedFont font = MakeFont(description);
  for (int j = FirstKeyButton(kb); j < kLayoutCells; ++j) {
    const int key = KeyOfButton(kb, j);
    if (!kb.keyButtons[j] || key < 0 || KeyHasOwnFace(kb, key)) continue;
    SendMessageW(kb.keyButtons[j], WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
    RemoveButtonImage(kb, j);
  }
  // The buttons hold the new font now; the old one may go.
  kb.captionFont = std::move(font);
}

void FitKeyCaptions(SoftKeyboardWindow& kb) {
  const bool loaded = kb.services->faces->AssetsLoaded(kb.slot);
  for (int j = FirstKeyButton(kb); j < kLayoutCells; ++j) {
    HWND button = kb.keyButtons[j];
    const int key = KeyOfButton(kb, j);
    if (!button || key < 0) continue;
    const std::u16string_view caption =
        loaded ? kb.services->faces->KeyCaption(kb.slot, key) : std::u16string_view{};
    const TextFace face = FitKeyCaption(kb.paged, key, kb.table->cells[j].label, caption,
                                        ClientSizeOf(button), MeasureOn(button));
    if (caption.empty()) {
      SetButtonText(button, face.text.view());
      continue;
    }
    SetWindowTextW(button, L"");
    if (face.font) {
      OwnedFont font = MakeFont(*face.font);
      SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
      kb.fittedFonts[j] = std::move(font);
    }
    SetButtonText(button, face.text.view());
    RemoveButtonImage(kb, j);
  }
}

void RefreshImages(SoftKeyboardWindow& kb) {
  SoftKeyFaces& faces = *kb.services->faces;
  auto size = [](HWND button) {
    const ButtonSize client = ClientSizeOf(button);
    return std::min(client.height - 8, client.width - 8);
  };
  for (int j = 0; j < kLayoutCells; ++j) {
    HWND button = kb.keyButtons[j];
    if (!button) continue;
    if (kb.paged && j < kPageTabs) {
      SetButtonImage(kb, j, faces.TabImageCopy(kb.slot, j, size(button)));
    } else if (const int key = KeyOfButton(kb, j); key >= 0) {
      SetButtonImage(kb, j, faces.KeyImageCopy(kb.slot, key, size(button)));
    }
  }
}

void Refit(SoftKeyboardWindow& kb, std::int32_t captionSize) {
  FitTabCaptions(kb);
  ResizeCaptionFont(kb, captionSize);
  FitKeyCaptions(kb);
  RefreshImages(kb);
}

// Re-lays the page tabs for `page` and refits captions and images of the page's keys.
void LayoutPageHere(SoftKeyboardWindow& kb, int page) {
  const PageLayout layout = LayoutPage(*kb.table, kb.scale, kb.paged, page);
  if (!layout.changed) return;
  kb.currentPage = layout.currentPage;
  kb.scale = layout.scale;
  if (kb.paged) {
    HDWP positions = BeginDeferWindowPos(kPageTabs);
    for (int j = 0; j < kPageTabs && positions; ++j) {
      const PixelRect& tab = layout.tabs[j];
      positions = DeferWindowPos(positions, kb.keyButtons[j], nullptr, tab.x, tab.y, tab.width,
                                 tab.height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (positions) EndDeferWindowPos(positions);
  }
  Refit(kb, layout.captionSize);
}

void SwitchPage(SoftKeyboardWindow& kb, int page) {
  if (!kb.paged || page < 0 || page >= kPageTabs) return;
  for (int j = 0; j < kPageTabs; ++j) {
    SendMessageW(kb.keyButtons[j], BM_SETCHECK, j == page ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  LayoutPageHere(kb, page);
}

ScreenRect WindowRectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

void WriteWindowRect(SoftKeyboardWindow& kb) {
  WriteGeometryRect(*kb.services->settings, kb.modelIdentity, kb.serialNumber,
                    WindowRectOf(kb.window));
}

void PlaceHeaderIcons(SoftKeyboardWindow& kb, int clientWidth) {
  const HWND icons[] = {kb.closeIcon, kb.hideIcon, kb.menuIcon};
  for (int i = 0; i < 3; ++i) {
    if (icons[i]) {
      MoveWindow(icons[i], clientWidth - 49 - 50 * i, 1, kHeaderIconSize, kHeaderIconSize, TRUE);
    }
  }
}

void OnSize(SoftKeyboardWindow& kb, int clientWidth, int clientHeight) {
  PlaceHeaderIcons(kb, clientWidth);
  kb.scale.xmag = kStartMag * clientWidth;
  kb.scale.ymag = kStartMag * (clientHeight - kHeaderHeight);
  HDWP positions = BeginDeferWindowPos(kLayoutCells);
  for (int j = 0; j < kLayoutCells && positions; ++j) {
    const PixelRect rect = PlacedButtonRect(*kb.table, kb.scale, j, clientWidth, clientHeight,
                                            kb.paged, kb.currentPage);
    positions = DeferWindowPos(positions, kb.keyButtons[j], nullptr, rect.x, rect.y, rect.width,
                               rect.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (positions) EndDeferWindowPos(positions);
  WriteGeometryScale(*kb.services->settings, kb.modelIdentity, kb.serialNumber, kb.scale);
  WriteWindowRect(kb);
  const PixelRect last =
      KeyButtonRect(*kb.table, kb.scale, kLayoutCells - 1, clientWidth, clientHeight);
  Refit(kb, std::min(last.width, last.height));
}

// A click on a key button: a page tab shows its page; a key types its key code, or ends the
// repetition of a held repeating key.
void OnKeyButtonClicked(SoftKeyboardWindow& kb, int j) {
  if (kb.paged && j < kPageTabs) {
    LayoutPageHere(kb, j);
    KillTimer(kb.window, kPageFollowTimerId);
    if (kb.services->device) {
      SelectPage(*kb.services->device, kb.services->table->slots[kb.slot].link, j + 1);
    }
    SetTimer(kb.window, kPageFollowTimerId, kPageFollowMs, nullptr);
    return;
  }
  const int key = KeyOfButton(kb, j);
  if (key < 0) return;
  const KeyCodeRecord& record = kb.services->keyCodes->slots[kb.slot][key];
  if (HasRepeat(record)) {
    kb.pressedRepeatButton = nullptr;
    KillTimer(kb.window, kRepeatReleaseTimerId);
    kb.context->injector->RequestStop(kb.slot);
    return;
  }
  kb.context->injector->StartInjection(kb.slot, record, kb.services->nonJapaneseLayout->load());
}

// The left button goes down on a key: a repeating key starts typing at once and is watched until
// it is let go or left.
void OnButtonPress(SoftKeyboardWindow& kb, HWND button) {
  for (int j = FirstKeyButton(kb); j < kLayoutCells; ++j) {
    if (kb.keyButtons[j] != button) continue;
    const int key = KeyOfButton(kb, j);
    const KeyCodeRecord& record = kb.services->keyCodes->slots[kb.slot][key];
    if (!HasRepeat(record) || kb.context->injector->repeatState(kb.slot) != RepeatState::Idle) {
      return;
    }
    kb.context->injector->StartInjection(kb.slot, record, kb.services->nonJapaneseLayout->load());
    kb.pressedRepeatButton = button;
    SetTimer(kb.window, kRepeatReleaseTimerId, kRepeatReleaseMs, nullptr);
    return;
  }
}

void OnRepeatWatch(SoftKeyboardWindow& kb) {
  HWND button = kb.pressedRepeatButton;
  POINT cursor{};
  RECT area{};
  if (button && GetCursorPos(&cursor) && GetClientRect(button, &area)) {
    MapWindowPoints(button, nullptr, reinterpret_cast<POINT*>(&area), 2);
    if (PtInRect(&area, cursor) && WindowFromPoint(cursor) == button) return;
  }
  kb.pressedRepeatButton = nullptr;
  KillTimer(kb.window, kRepeatReleaseTimerId);
  kb.context->injector->RequestStop(kb.slot);
}

void FollowActivePage(SoftKeyboardWindow& kb) {
  KeyPadTable& table = *kb.services->table;
  if (table.consoleInactive.load() || table.modalActive.load() || !kb.services->device) return;
  KillTimer(kb.window, kPageFollowTimerId);
  DeviceInfo answer{};
  const bool read = ReadActivePage(*kb.services->device, table.slots[kb.slot].link, answer);
  if (read && answer[0] >= 1 && answer[0] <= kPageTabs && answer[0] - 1 != kb.currentPage) {
    SwitchPage(kb, answer[0] - 1);
  }
  SetTimer(kb.window, kPageFollowTimerId, kPageFollowMs, nullptr);
}

// ---------------------------------------------------------------- visibility

bool MayChangeVisibility(const SoftKeyboardWindow& kb) {
  return MayShowSoftKeyboard(*kb.services->table, kb.slot, kb.services->touchEnabled->load() != 0);
}

void MakeInfoIconOpaque(SoftKeyboardWindow& kb) {
  if (kb.infoIconWindow) SetLayeredWindowAttributes(kb.infoIconWindow, 0, 255, LWA_ALPHA);
}

void ShowKeyboardHere(SoftKeyboardWindow& kb) {
  LayoutPageHere(kb, kb.currentPage);
  if (kb.infoIconWindow) ShowWindow(kb.infoIconWindow, SW_HIDE);
  kb.context->shown->store(true);
  ShowWindow(kb.window, SW_SHOWNA);
}

void HideKeyboardHere(SoftKeyboardWindow& kb, bool toIcon) {
  LayoutPageHere(kb, kb.currentPage);
  if (kb.infoIconWindow && toIcon) {
    // Shown above the other always-on-top windows, another key pad's keyboard among them.
    SetWindowPos(kb.infoIconWindow, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  } else if (kb.infoIconWindow) {
    ShowWindow(kb.infoIconWindow, SW_HIDE);
  }
  MakeInfoIconOpaque(kb);
  kb.context->shown->store(false);
  ShowWindow(kb.window, SW_HIDE);
}

void OnVisibilityRequest(SoftKeyboardWindow& kb, WPARAM request) {
  if (request == kShowKeyboard)
    ShowKeyboardHere(kb);
  else
    HideKeyboardHere(kb, request == kHideToInfoIcon);
}

// The hot key: a shown keyboard hides, a hidden one shows; hiddenToIcon is cleared either way.
void ToggleSoftKeyboard(SoftKeyboardWindow& kb) {
  switch (ToggleActionFor(true, MayChangeVisibility(kb), kb.context->shown->load())) {
    case ToggleAction::kHide:
      HideKeyboardHere(kb, false);
      break;
    case ToggleAction::kShow:
      ShowKeyboardHere(kb);
      break;
    case ToggleAction::kNothing:
      break;
  }
  kb.context->hiddenToIcon->store(false);
}

// ---------------------------------------------------------------- header icons

void ShowHeaderImage(SoftKeyboardWindow& kb, int icon, int image) {
  const HWND icons[] = {kb.closeIcon, kb.hideIcon, kb.menuIcon};
  if (kb.headerImage[icon] == image || !icons[icon]) return;
  kb.headerImage[icon] = image;
  SendMessageW(icons[icon], STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(kb.bitmaps[image].get()));
}

void ShowHeaderImages(SoftKeyboardWindow& kb, HeaderIcon hovered) {
  ShowHeaderImage(kb, 0, hovered == HeaderIcon::kClose ? kCloseHover : kClose);
  ShowHeaderImage(kb, 1, hovered == HeaderIcon::kHide ? kHideHover : kHide);
  ShowHeaderImage(kb, 2, hovered == HeaderIcon::kMenu ? kMenuHover : kMenu);
}

HeaderIcon HeaderIconAtPoint(SoftKeyboardWindow& kb, LPARAM screenPoint) {
  return HeaderIconAt(WindowRectOf(kb.window), GetSystemMetrics(SM_CXFRAME),
                      GetSystemMetrics(SM_CYFRAME), GET_X_LPARAM(screenPoint),
                      GET_Y_LPARAM(screenPoint));
}

// The menu icon: dialog 173, whose lock and password commands go to the shell's window once the
// dialog is closed (the shell runs no command while a dialog is marked open).
void RunMenuIcon(SoftKeyboardWindow& kb) {
  const SoftKeyboardServices& services = *kb.services;
  KeyPadTable& table = *services.table;
  if (!services.dialogs || !TakeModal(table)) return;
  const int result = services.dialogs->RunSoftKeyMenu(kb.window);
  ReleaseModal(table);
  HWND main = services.mainWindow ? services.mainWindow->load() : nullptr;
  if (kb.destroyed || !main) return;
  if (result == 1020) {
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(kCommandLock, 0), 0);
  } else if (result == 1022) {
    table.selectedKeyPad = static_cast<std::uint16_t>(kb.slot);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(kCommandPasswordSetting, kFromSecondInstance), 0);
  }
  SetForegroundWindow(main);
}

bool OnHeaderButtonUp(SoftKeyboardWindow& kb, HeaderIcon icon) {
  switch (icon) {
    case HeaderIcon::kClose:
      if (MayChangeVisibility(kb)) HideKeyboardHere(kb, false);
      kb.context->hiddenToIcon->store(false);
      ShowHeaderImage(kb, 0, kClose);
      return true;
    case HeaderIcon::kHide:
      kb.context->hiddenToIcon->store(true);
      if (MayChangeVisibility(kb)) HideKeyboardHere(kb, true);
      ShowHeaderImage(kb, 1, kHide);
      return true;
    case HeaderIcon::kMenu:
      ShowHeaderImage(kb, 2, kMenu);
      RunMenuIcon(kb);
      return true;
    case HeaderIcon::kNone:
      break;
  }
  return false;
}

// ---------------------------------------------------------------- right-click menus

void ShowPopupMenu(HWND window, POINT point, unsigned menuId) {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(menuId));
  if (!menu) return;
  if (HMENU popup = GetSubMenu(menu, 0)) {
    TrackPopupMenu(popup, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, point.x, point.y, 0, window, nullptr);
  }
  DestroyMenu(menu);
}

bool ReadStatus(SoftKeyboardWindow& kb, std::uint8_t& status) {
  if (!kb.services->device) return false;
  DeviceInfo info{};
  if (!ReadDeviceInfo(*kb.services->device, kb.services->table->slots[kb.slot].link, info))
    return false;
  status = info[0];
  return true;
}

void OnBackgroundRightClick(SoftKeyboardWindow& kb, LPARAM screenPoint) {
  KeyPadSlot& entry = kb.services->table->slots[kb.slot];
  if (!kb.services->dialogs || entry.settingsLocked.load()) return;
  const bool onIcon = HeaderIconAtPoint(kb, screenPoint) != HeaderIcon::kNone;
  if (onIcon) return;
  std::uint8_t status = 0;
  const bool read = ReadStatus(kb, status);
  const unsigned menu =
      BackgroundMenuFor(false, false, read, status, entry.softKeyAuthenticated.load());
  if (menu) ShowPopupMenu(kb.window, {GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)}, menu);
}

void OnButtonRightClick(SoftKeyboardWindow& kb, HWND button, LPARAM screenPoint) {
  KeyPadSlot& entry = kb.services->table->slots[kb.slot];
  if (!kb.services->dialogs || entry.settingsLocked.load()) return;
  int j = 0;
  while (j < kLayoutCells && kb.keyButtons[j] != button) ++j;
  if (j == kLayoutCells) return;
  std::uint8_t status = 0;
  const bool read = ReadStatus(kb, status);
  std::uint8_t authenticated = entry.softKeyAuthenticated.load();
  const ButtonMenu menu =
      ButtonMenuFor(false, read, status, authenticated, kb.paged, kb.currentPage, j);
  entry.softKeyAuthenticated = authenticated;
  if (!menu.menu) return;
  kb.menuTarget = menu.target;
  POINT point{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
  if (point.x == -1 && point.y == -1) {  // the menu key: at the button
    RECT rect{};
    GetWindowRect(button, &rect);
    point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  }
  ShowPopupMenu(kb.window, point, menu.menu);
}

// ---------------------------------------------------------------- menu commands

// What a menu command shows and changes on this window.
class WindowCommandUi final : public SoftKeyCommandUi {
 public:
  explicit WindowCommandUi(SoftKeyboardWindow& kb) : kb_(kb) {}
  int RunImageDialog(AssetTarget target) override {
    return Dialogs().RunImageDialog(kb_.window, kb_.slot, target);
  }
  int RunTextDialog(AssetTarget target) override {
    return Dialogs().RunTextDialog(kb_.window, kb_.slot, target);
  }
  int RunKeyInput(int key) override { return Dialogs().RunKeyInput(kb_.window, kb_.slot, key); }
  void RunKeyCheck(int key) override { Dialogs().RunKeyCheck(kb_.window, kb_.slot, key); }
  int RunSettingsPrompt() override { return Dialogs().RunSettingsPrompt(kb_.window, kb_.slot); }
  bool WindowOpen() override { return !kb_.destroyed; }
  void StartBlink(AssetTarget target) override {
    kb_.blinkButton = ButtonOfTarget(kb_.paged, kb_.currentPage, target);
    if (kb_.blinkButton < 0) return;
    EnableWindow(kb_.keyButtons[kb_.blinkButton], FALSE);
    kb_.blinkEnabled = true;
    SetTimer(kb_.window, kBlinkTimerId, kBlinkMs, nullptr);
  }
  void StopBlink() override {
    const int button = kb_.blinkButton;
    kb_.blinkButton = -1;
    if (button < 0 || kb_.destroyed) return;
    KillTimer(kb_.window, kBlinkTimerId);
    EnableWindow(kb_.keyButtons[button], TRUE);
    InvalidateRect(kb_.window, nullptr, TRUE);
  }
  void Relayout() override { LayoutPageHere(kb_, kb_.currentPage); }
  void Tell(const UiMessage& message) override {
    const std::wstring title = WideString(message.title);
    const std::wstring text = WideString(message.text);
    MessageBoxW(kb_.destroyed ? nullptr : kb_.window, text.c_str(), title.c_str(),
                MessageBoxStyle(message) | MB_TOPMOST);
  }

 private:
  SoftKeyDialogs& Dialogs() { return *kb_.services->dialogs; }
  SoftKeyboardWindow& kb_;
};

void OnMenuCommand(SoftKeyboardWindow& kb, std::uint16_t command) {
  const SoftKeyboardServices& services = *kb.services;
  if (!services.dialogs || !services.device || !services.edited) return;
  // The slot and target are this window's own for the whole command.
  const AssetTarget target = kb.menuTarget;
  SoftKeyCommandContext context{*services.table, *services.device, *services.keyCodes,
                                *services.edited};
  WindowCommandUi ui(kb);
  RunSoftKeyCommand(context, ui, kb.slot, command, target);
}

// ---------------------------------------------------------------- painting

void PaintBackground(SoftKeyboardWindow& kb) {
  RECT client{};
  GetClientRect(kb.window, &client);
  HRGN region = CreateRectRgn(0, 0, client.right, client.bottom);
  auto cutOut = [&](HWND control) {
    RECT rect{};
    if (!control || !GetWindowRect(control, &rect)) return;
    MapWindowPoints(nullptr, kb.window, reinterpret_cast<POINT*>(&rect), 2);
    HRGN part = CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom);
    CombineRgn(region, region, part, RGN_DIFF);
    DeleteObject(part);
  };
  for (HWND button : kb.keyButtons) cutOut(button);
  for (HWND control : {kb.logoStatic, kb.closeIcon, kb.hideIcon, kb.menuIcon}) cutOut(control);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(kb.window, &paint);
  FillRgn(dc, region, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DeleteObject(region);
  if (kb.paged) {
    const TabUnderline line = TabUnderlineFor(*kb.table, kb.scale, client.right);
    auto fill = [dc](const ScreenRect& r, COLORREF colour) {
      const RECT rect{r.left, r.top, r.right, r.bottom};
      OwnedBrush brush(CreateSolidBrush(colour));
      FillRect(dc, &rect, brush.get());
    };
    fill(line.dark, RGB(120, 120, 255));
    fill(line.light, RGB(200, 200, 255));
  }
  EndPaint(kb.window, &paint);
}

void OnDestroy(SoftKeyboardWindow& kb) {
  kb.destroyed = true;
  if (kb.pressedRepeatButton &&
      kb.context->injector->repeatState(kb.slot) == RepeatState::Repeating) {
    kb.pressedRepeatButton = nullptr;
    KillTimer(kb.window, kRepeatReleaseTimerId);
    kb.context->injector->StopRepeat(kb.slot);
  }
  if (kb.infoIconWindow) SendMessageW(kb.infoIconWindow, WM_CLOSE, 0, 0);
  // The hot key goes with the first soft keyboard that closes; the next start puts it in again.
  RemoveSoftKeyboardHook();
  PostQuitMessage(0);
}

LRESULT CALLBACK SoftKeyboardWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  SoftKeyboardWindow* kb = WindowState(window);
  if (!kb) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      InstallSoftKeyboardHook();
      return 0;
    case WM_MOUSEACTIVATE:
      // A click must leave the focus where the typing goes.
      return MA_NOACTIVATE;
    case WM_NCHITTEST: {
      const LRESULT hit = DefWindowProcW(window, message, wParam, lParam);
      ShowHeaderImages(*kb, HeaderIconAtPoint(*kb, lParam));
      return hit == HTCLIENT ? HTCAPTION : hit;  // the background drags the window
    }
    case WM_NCLBUTTONDOWN:
      switch (HeaderIconAtPoint(*kb, lParam)) {
        case HeaderIcon::kClose:
          ShowHeaderImage(*kb, 0, kClosePressed);
          return 0;
        case HeaderIcon::kHide:
        case HeaderIcon::kMenu:
          return 0;
        case HeaderIcon::kNone:
          break;
      }
      break;
    case WM_NCLBUTTONUP:
      if (OnHeaderButtonUp(*kb, HeaderIconAtPoint(*kb, lParam))) return 0;
      break;
    case WM_NCRBUTTONDOWN:
      OnBackgroundRightClick(*kb, lParam);
      return 0;
    case WM_CONTEXTMENU:
      OnButtonRightClick(*kb, reinterpret_cast<HWND>(wParam), lParam);
      return 0;
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize = {kMinTrackSize, kMinTrackSize};
      return 0;
    }
    case WM_ERASEBKGND:
      return 0;
    case WM_PAINT:
      PaintBackground(*kb);
      return 0;
    case WM_CTLCOLORSTATIC:
      if (reinterpret_cast<HWND>(lParam) == kb->serialStatic)
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
      return 0;
    case WM_MOVE:
      if (kb->context->initialised->load()) WriteWindowRect(*kb);
      break;
    case WM_SIZE:
      if (!kb->context->initialised->load()) break;
      OnSize(*kb, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        ShowHeaderImages(*kb, HeaderIcon::kNone);
        if (HIWORD(lParam) == WM_LBUTTONDOWN) OnButtonPress(*kb, reinterpret_cast<HWND>(wParam));
      }
      break;
    case WM_COMMAND: {
      const auto id = static_cast<std::uint16_t>(LOWORD(wParam));
      if (IsSoftKeyCommand(id)) {
        OnMenuCommand(*kb, id);
        return 0;
      }
      const int j = static_cast<int>(id) - kFirstSoftKeyButtonId;
      if (HIWORD(wParam) == BN_CLICKED && j >= 0 && j < kLayoutCells) {
        OnKeyButtonClicked(*kb, j);
        return 0;
      }
      break;
    }
    case WM_TIMER:
      if (wParam == kRepeatReleaseTimerId) {
        OnRepeatWatch(*kb);
      } else if (wParam == kPageFollowTimerId) {
        FollowActivePage(*kb);
      } else if (wParam == kBlinkTimerId) {
        if (kb->blinkButton >= 0) EnableWindow(kb->keyButtons[kb->blinkButton], kb->blinkEnabled);
        kb->blinkEnabled = !kb->blinkEnabled;
      }
      return 0;
    case kLayoutPageMessage:
      LayoutPageHere(*kb,
                     wParam == kLayoutCurrentPage ? kb->currentPage : static_cast<int>(wParam));
      return 0;
    case kVisibilityMessage:
      OnVisibilityRequest(*kb, wParam);
      return 0;
    case kToggleSoftKeyboardMessage:
      ToggleSoftKeyboard(*kb);
      return 0;
    case WM_DESTROY:
      OnDestroy(*kb);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// ---------------------------------------------------------------- info icon

void PaintInfoIcon(SoftKeyboardWindow& kb, HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (HDC memory = CreateCompatibleDC(dc)) {
    {
      SelectedObject picture(memory, kb.bitmaps[kHide].get());
      BitBlt(dc, 0, 0, kInfoIconSize, kInfoIconSize, memory, 0, 0, SRCCOPY | CAPTUREBLT);
    }
    DeleteDC(memory);
  }
  // With several key pads each icon says whose keyboard it stands for.
  if (kb.services->table->keyPadCount.load() >= 2) {
    CaptionFont description = kSerialFont;
    description.height = 15;
    OwnedFont font = MakeFont(description);
    SelectedObject selected(dc, font.get());
    SetBkColor(dc, RGB(224, 224, 255));
    char16_t serial[32];
    InfoIconSerialText(kb.serialNumber, serial);
    const std::wstring text = WideString(std::u16string_view(serial));
    TextOutW(dc, 3, 18, text.c_str(), static_cast<int>(text.size()));
  }
  EndPaint(window, &paint);
}

// A click on the info icon brings its keyboard back.
void RestoreFromInfoIcon(SoftKeyboardWindow& kb) {
  if (kb.destroyed || !MayChangeVisibility(kb)) return;
  ShowKeyboardHere(kb);
}

LRESULT CALLBACK InfoIconWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    return DefWindowProcW(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_CREATE:
    case WM_COMMAND:
      return 0;
    case WM_MOVE:
      // Half transparent while it is dragged.
      SetLayeredWindowAttributes(window, 0, 128, LWA_ALPHA);
      break;
    case WM_EXITSIZEMOVE:
      SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
      return 0;
    default:
      break;
  }
  SoftKeyboardWindow* kb = WindowState(window);
  if (!kb) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_PAINT:
      PaintInfoIcon(*kb, window);
      return 0;
    case WM_LBUTTONDOWN:
      kb->pressX = LOWORD(lParam);
      kb->pressY = HIWORD(lParam);
      return 0;
    case WM_MOUSEMOVE:
      if (InfoIconDragStarts(kb->pressX, kb->pressY, LOWORD(lParam), HIWORD(lParam),
                             wParam == MK_LBUTTON)) {
        // The system's move loop takes the mouse; its release ends the move, not a click.
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(window, &point);
        SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(point.x, point.y));
        return 0;
      }
      break;
    case WM_LBUTTONUP:
      RestoreFromInfoIcon(*kb);
      SetLayeredWindowAttributes(window, 0, 255, LWA_ALPHA);
      return 0;
    case WM_DESTROY:
      kb->infoIconWindow = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterSoftKeyboardClass(const char16_t* name, WNDPROC procedure) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconApp));
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = Wide(name);
  // A class left registered by an earlier start of this key pad's soft keyboard is fine.
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool ClassName(unsigned prefixString, const SoftKeyboardWindow& kb, char16_t (&name)[kPathChars]) {
  wchar_t prefix[64] = {};
  if (LoadStringW(GetModuleHandleW(nullptr), prefixString, prefix, 64) <= 0) return false;
  return SoftKeyboardClassName(Utf16(prefix), kb.modelIdentity, kb.serialNumber, name);
}

// The 30 key buttons at the current scale, then the window placed around them.
void CreateKeyButtons(SoftKeyboardWindow& kb) {
  RECT client{};
  GetClientRect(kb.window, &client);
  const LayoutScale stored =
      ReadGeometry(*kb.services->settings, kb.modelIdentity, kb.serialNumber).scale;
  // With a stored scale the placement's resize already lays the buttons out at it.
  const bool initialised = StoredScaleUsable(stored);
  if (initialised) {
    kb.scale = stored;
    kb.context->initialised->store(true);
  }
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (int j = 0; j < kLayoutCells; ++j) {
    const PixelRect rect =
        PlacedButtonRect(*kb.table, kb.scale, j, client.right, client.bottom, kb.paged, 0);
    const bool tab = kb.paged && j < kPageTabs;
    DWORD style = WS_CHILD | WS_VISIBLE | BS_MULTILINE | BS_BITMAP;
    if (tab) style |= BS_PUSHLIKE | BS_AUTORADIOBUTTON;
    kb.keyButtons[j] = CreateWindowExW(
        0, L"button", L"", style, rect.x, rect.y, rect.width, rect.height, kb.window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstSoftKeyButtonId + j)), instance,
        nullptr);
    const int key = KeyOfButton(kb, j);
    SetButtonText(kb.keyButtons[j],
                  tab ? TabText({}, j).view()
                      : KeyNumberText(kb.paged, key, kb.table->cells[j].label).view());
  }
  // The placement: the size that holds the buttons, or the stored rectangle on a monitor.
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
  input.stored = ReadGeometry(*kb.services->settings, kb.modelIdentity, kb.serialNumber).rect;
  input.monitors = kb.services->monitors;
  const Placement placement = PlaceWindow(input);
  MoveWindow(kb.window, placement.x, placement.y, placement.width, placement.height, TRUE);
  GetClientRect(kb.window, &client);
  kb.scale = ScaleAfterPlacement(kb.scale, initialised, client.right, client.bottom);
  kb.context->initialised->store(true);
}

HWND HeaderStatic(HWND parent, DWORD style, int x, int y, int width, int height,
                  const wchar_t* text = L"") {
  return CreateWindowExW(0, L"static", text, WS_CHILD | WS_VISIBLE | style, x, y, width, height,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(-1)),
                         GetModuleHandleW(nullptr), nullptr);
}

void CreateHeader(SoftKeyboardWindow& kb) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (std::size_t i = 0; i < std::size(kHeaderBitmapIds); ++i) {
    kb.bitmaps[i].reset(
        static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(kHeaderBitmapIds[i]),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_DEFAULTSIZE)));
  }
  auto setImage = [](HWND control, const OwnedBitmap& bitmap) {
    if (control && bitmap) {
      SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get()));
    }
  };
  RECT client{};
  GetClientRect(kb.window, &client);
  kb.logoStatic = HeaderStatic(kb.window, SS_BITMAP, 0, 0, 120, 30);
  setImage(kb.logoStatic, kb.bitmaps[kLogo]);
  char16_t serial[32];
  SerialText(kb.serialNumber, serial);
  kb.serialStatic = HeaderStatic(kb.window, SS_SIMPLE, 5, 30, 120, 30, Wide(serial));
  kb.serialFont = MakeFont(kSerialFont);
  SendMessageW(kb.serialStatic, WM_SETFONT, reinterpret_cast<WPARAM>(kb.serialFont.get()), TRUE);
  kb.closeIcon = HeaderStatic(kb.window, SS_BITMAP, client.right - 49, 1, 48, 48);
  kb.hideIcon = HeaderStatic(kb.window, SS_BITMAP, client.right - 99, 1, 48, 48);
  kb.menuIcon = HeaderStatic(kb.window, SS_BITMAP, client.right - 149, 1, 48, 48);
  setImage(kb.closeIcon, kb.bitmaps[kClose]);
  setImage(kb.hideIcon, kb.bitmaps[kHide]);
  setImage(kb.menuIcon, kb.bitmaps[kMenu]);
}

void CreateInfoIcon(SoftKeyboardWindow& kb) {
  char16_t name[kPathChars];
  if (!ClassName(kStringInfoIconClass, kb, name) ||
      !RegisterSoftKeyboardClass(name, InfoIconWindowProc)) {
    return;
  }
  RECT workArea{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
  const ScreenRect icon =
      InfoIconRect({workArea.left, workArea.top, workArea.right, workArea.bottom}, kb.slot);
  // Created without WS_VISIBLE: the icon stays hidden until the keyboard is hidden to it.
  kb.infoIconWindow = CreateWindowExW(
      WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, Wide(name), L"", WS_POPUP, icon.left,
      icon.top, kInfoIconSize, kInfoIconSize, nullptr, nullptr, GetModuleHandleW(nullptr), &kb);
}

// Creates everything up to the shown window; false when the window itself could not be made.
bool CreateSoftKeyboard(SoftKeyboardWindow& kb) {
  const SoftKeyboardServices& services = *kb.services;
  ForgetSmallGeometry(*services.settings, kb.modelIdentity, kb.serialNumber);
  int page = 0;
  if (kb.paged && services.device) {
    DeviceInfo answer{};
    const bool read = ReadActivePage(*services.device, services.table->slots[kb.slot].link, answer);
    page = InitialPage(true, read, answer[0]);
  }
  kb.scale = LayoutScale{};
  kb.context->initialised->store(false);

  char16_t name[kPathChars];
  if (!ClassName(kStringSoftKeyboardClass, kb, name) ||
      !RegisterSoftKeyboardClass(name, SoftKeyboardWindowProc)) {
    return false;
  }
  kb.window = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, Wide(name), L"",
                              WS_POPUP | WS_BORDER | WS_THICKFRAME | WS_MAXIMIZEBOX, 0, 0, 0, 0,
                              nullptr, nullptr, GetModuleHandleW(nullptr), &kb);
  if (!kb.window) return false;
  CreateKeyButtons(kb);
  char16_t title[64];
  SoftKeyboardTitle(kb.modelIdentity, title);
  SetWindowTextW(kb.window, Wide(title));
  CreateHeader(kb);
  CreateInfoIcon(kb);

  const bool locked = services.table->slots[kb.slot].accessState.load() == AccessState::Locked;
  const bool shown = ShownAtStart(locked, services.touchEnabled->load() != 0);
  kb.context->shown->store(shown);
  if (kb.paged) {
    SwitchPage(kb, page);
    SetTimer(kb.window, kPageFollowTimerId, kPageFollowMs, nullptr);
  }
  Refit(kb, CaptionSize(*kb.table, kb.scale));
  LayoutPageHere(kb, kb.currentPage);
  ShowWindow(kb.window, shown ? SW_SHOWNA : SW_HIDE);
  UpdateWindow(kb.window);
  return true;
}

}  // namespace

DWORD WINAPI SoftKeyboardThread(void* parameter) {
  const auto* context = static_cast<const SoftKeyboardThreadContext*>(parameter);
  SoftKeyboardWindow kb;
  kb.context = context;
  kb.services = context->services;
  kb.slot = context->slot;
  const KeyPadSlot& entry = kb.services->table->slots[kb.slot];
  kb.modelIdentity = entry.modelIdentity;
  kb.serialNumber = entry.serialNumber;
  kb.paged = IsPagedKeyboard(kb.modelIdentity);
  kb.table = &LayoutTableFor(context->layout);

  const bool created = CreateSoftKeyboard(kb);
  if (created) context->window->store(kb.window);
  SetEvent(context->ready);
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
