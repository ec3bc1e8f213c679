#include "softkbd/soft_keyboard_state.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "access/soft_keyboard_visibility.h"
#include "common/ids.h"
#include "softkbd/soft_keyboard_start.h"

namespace qv {
namespace {

constexpr HeaderIcon kHeaderIcons[] = {HeaderIcon::kClose, HeaderIcon::kHide, HeaderIcon::kMenu};

int IconIndex(HeaderIcon icon) {
  switch (icon) {
    case HeaderIcon::kClose:
      return 0;
    case HeaderIcon::kHide:
      return 1;
    case HeaderIcon::kMenu:
      return 2;
    case HeaderIcon::kNone:
      break;
  }
  return -1;
}

// An icon's image is sent again only when it changes.
void SetLook(SoftKeyboardState& kb, SoftKeyboardContext& context, HeaderIcon icon,
             HeaderLook look) {
  const int i = IconIndex(icon);
  if (i < 0 || kb.headerLooks[i] == look) return;
  kb.headerLooks[i] = look;
  context.view.ShowHeaderLook(icon, look);
}

bool IsTab(const SoftKeyboardState& kb, int button) {
  return kb.paged && button >= 0 && button < kPageCount;
}

// A copy of the mirrored code of the key that `button` shows, taken under the mirror's lock (the
// main thread writes it); false for a button without a key.
bool RecordOfButton(const SoftKeyboardState& kb, SoftKeyboardContext& context, int button,
                    KeyCodeRecord& record) {
  const int key = KeyForButton(kb.paged, kb.currentPage, button);
  if (key < 0 || key >= kMaxKeys) return false;
  const std::lock_guard lock(context.keyCodes.mutex);
  record = context.keyCodes.slots[kb.slot][key];
  return true;
}

void StopHeldRepeat(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  kb.heldRepeatButton = -1;
  context.view.StopTimer(SoftKeyboardTimer::kRepeatWatch);
  context.injector.RequestStop(kb.slot);
}

void ShowHere(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  LayoutPage(kb, context, kb.currentPage);
  context.view.ShowInfoIcon(false);
  kb.keyboardShown = true;
  context.view.ShowKeyboard(true);
}

void HideHere(SoftKeyboardState& kb, SoftKeyboardContext& context, bool toIcon) {
  LayoutPage(kb, context, kb.currentPage);
  context.view.ShowInfoIcon(toIcon);
  kb.keyboardShown = false;
  context.view.ShowKeyboard(false);
}

// The status for a right click comes some time after the click: by then a shell dialog may be
// open (a menu beside it could lock the key pads under it) or the keyboard hidden, and a menu
// must not open over either.
bool MenuMayOpenNow(const SoftKeyboardState& kb, const SoftKeyboardContext& context) {
  return !kb.closed && kb.keyboardShown && !context.table.modalActive.load();
}

void RunMenuIcon(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  // modalActive is taken for the dialog and given back before its command is posted: the shell
  // takes it again for the command itself.
  if (!TakeModal(context.table)) return;
  const int result = context.view.RunMenuDialog();
  ReleaseModal(context.table);
  OnMenuIconResult(kb, context, result);
}

}  // namespace

SoftKeyboardState MakeSoftKeyboardState(const KeyPadTable& table, int slot, SoftKeyLayout layout) {
  SoftKeyboardState kb;
  kb.slot = slot;
  if (IsSlot(slot)) {
    kb.modelIdentity = table.slots[slot].modelIdentity;
    kb.serialNumber = table.slots[slot].serialNumber;
  }
  kb.paged = IsPagedKeyboard(kb.modelIdentity);
  kb.table = &LayoutTableFor(layout);
  return kb;
}

// ---------------------------------------------------------------- creation

void BeginLayout(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  kb.scale = LayoutScale{};
  kb.layoutInitialised = false;
  const LayoutScale stored =
      ReadGeometry(context.settings, kb.modelIdentity, kb.serialNumber).scale;
  // With a stored scale the placement's resize already lays the buttons out at it.
  if (StoredScaleFits(*kb.table, stored)) {
    kb.scale = stored;
    kb.layoutInitialised = true;
  }
}

std::array<PixelRect, kLayoutCells> ButtonRects(const SoftKeyboardState& kb,
                                                std::int32_t clientWidth,
                                                std::int32_t clientHeight) {
  std::array<PixelRect, kLayoutCells> rects{};
  for (int j = 0; j < kLayoutCells; ++j) {
    rects[j] = PlacedButtonRect(*kb.table, kb.scale, j, clientWidth, clientHeight, kb.paged,
                                kb.currentPage);
  }
  return rects;
}

void FinishLayout(SoftKeyboardState& kb, std::int32_t clientWidth, std::int32_t clientHeight) {
  kb.scale = ScaleAfterPlacement(kb.scale, kb.layoutInitialised, clientWidth, clientHeight);
  kb.layoutInitialised = true;
}

void OnKeyboardCreated(SoftKeyboardState& kb, SoftKeyboardContext& context, int initialPage) {
  const bool locked = context.table.slots[kb.slot].accessState.load() == AccessState::Locked;
  kb.keyboardShown = ShownAtStart(locked, context.touchEnabled.load() != 0);
  if (kb.paged) {
    SwitchPage(kb, context, initialPage);
    context.view.StartTimer(SoftKeyboardTimer::kPageFollow);
  }
  context.view.RefitFaces(kb.currentPage, CaptionSize(*kb.table, kb.scale));
  LayoutPage(kb, context, kb.currentPage);
  context.view.ShowKeyboard(kb.keyboardShown);
}

// ---------------------------------------------------------------- pages

void LayoutPage(SoftKeyboardState& kb, SoftKeyboardContext& context, int page) {
  const PageLayout layout = LayoutPage(*kb.table, kb.scale, kb.paged, page);
  if (!layout.changed) return;
  kb.currentPage = layout.currentPage;
  kb.scale = layout.scale;
  if (kb.paged) context.view.PlaceTabs(layout.tabs);
  context.view.RefitFaces(kb.currentPage, layout.captionSize);
}

void SwitchPage(SoftKeyboardState& kb, SoftKeyboardContext& context, int page) {
  if (!kb.paged || page < 0 || page >= kPageCount) return;
  context.view.CheckTab(page);
  LayoutPage(kb, context, page);
}

void OnPageFollowTick(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  // Paused, not stopped, while a dialog is open or the console is away.
  if (kb.closed || context.table.consoleInactive.load() || context.table.modalActive.load()) return;
  if (kb.pageRequestOpen) return;
  kb.pageRequestOpen = true;
  context.view.RequestActivePage();
}

void OnActivePageAnswer(SoftKeyboardState& kb, SoftKeyboardContext& context, bool read,
                        std::uint8_t answer) {
  kb.pageRequestOpen = false;
  // An answer asked for before a tab click is older than the page the click selected.
  if (std::exchange(kb.pageAnswerStale, false) || kb.closed) return;
  if (read && answer >= 1 && answer <= kPageCount && answer - 1 != kb.currentPage) {
    SwitchPage(kb, context, answer - 1);
  }
}

// ---------------------------------------------------------------- keys

bool KeyPadInCommand(const KeyPadTable& table, int slot) {
  return table.commandActive.load() && table.commandKeyPad.load() == slot;
}

void OnKeyPressed(SoftKeyboardState& kb, SoftKeyboardContext& context, int button) {
  // A shell command that has the key pad rewrites its mirror: it is not read then.
  if (IsTab(kb, button) || kb.closed || KeyPadInCommand(context.table, kb.slot)) return;
  KeyCodeRecord record;
  if (!RecordOfButton(kb, context, button, record) || !HasRepeat(record)) return;
  if (context.injector.repeatState(kb.slot) != RepeatState::Idle) return;
  if (!context.injector.StartInjection(kb.slot, record, context.nonJapaneseLayout.load())) return;
  kb.heldRepeatButton = button;
  context.view.StartTimer(SoftKeyboardTimer::kRepeatWatch);
}

void OnKeyClicked(SoftKeyboardState& kb, SoftKeyboardContext& context, int button) {
  if (button < 0 || button >= kLayoutCells || kb.closed) return;
  if (IsTab(kb, button)) {
    LayoutPage(kb, context, button);
    context.view.StopTimer(SoftKeyboardTimer::kPageFollow);
    if (kb.pageRequestOpen) kb.pageAnswerStale = true;
    context.view.SelectKeyPadPage(button + 1);
    context.view.StartTimer(SoftKeyboardTimer::kPageFollow);
    return;
  }
  // The release of the held button ends its repetition, whatever key it shows by now.
  if (button == kb.heldRepeatButton) {
    StopHeldRepeat(kb, context);
    return;
  }
  // A shell command that has the key pad rewrites its mirror: nothing is read or typed then,
  // and whatever still repeats stops.
  if (KeyPadInCommand(context.table, kb.slot)) {
    StopHeldRepeat(kb, context);
    return;
  }
  KeyCodeRecord record;
  if (!RecordOfButton(kb, context, button, record)) return;
  if (HasRepeat(record)) {
    StopHeldRepeat(kb, context);
    return;
  }
  context.injector.StartInjection(kb.slot, record, context.nonJapaneseLayout.load());
}

bool HeldButtonStillDown(const SoftKeyboardState& kb, const HeldButtonSample& sample) {
  if (kb.heldRepeatButton < 0 || !sample.pushed) return false;
  const ScreenRect& area = sample.buttonArea;
  const bool inside = sample.cursor.x >= area.left && sample.cursor.x < area.right &&
                      sample.cursor.y >= area.top && sample.cursor.y < area.bottom;
  return inside && sample.buttonAtCursor == kb.heldRepeatButton;
}

void OnRepeatWatchTick(SoftKeyboardState& kb, SoftKeyboardContext& context, bool stillHeld) {
  if (kb.heldRepeatButton >= 0 && stillHeld) return;
  StopHeldRepeat(kb, context);
}

// ---------------------------------------------------------------- header icons

void OnHeaderHover(SoftKeyboardState& kb, SoftKeyboardContext& context, HeaderIcon icon) {
  for (HeaderIcon each : kHeaderIcons) {
    SetLook(kb, context, each, each == icon ? HeaderLook::kHover : HeaderLook::kNormal);
  }
}

bool OnHeaderPressed(SoftKeyboardState& kb, SoftKeyboardContext& context, HeaderIcon icon) {
  if (icon == HeaderIcon::kClose) SetLook(kb, context, icon, HeaderLook::kPressed);
  return icon != HeaderIcon::kNone;
}

bool OnHeaderReleased(SoftKeyboardState& kb, SoftKeyboardContext& context, HeaderIcon icon) {
  switch (icon) {
    case HeaderIcon::kClose:
      if (MayChangeVisibility(kb, context)) HideHere(kb, context, false);
      kb.hiddenToIcon = false;
      SetLook(kb, context, icon, HeaderLook::kNormal);
      return true;
    case HeaderIcon::kHide:
      kb.hiddenToIcon = true;
      if (MayChangeVisibility(kb, context)) HideHere(kb, context, true);
      SetLook(kb, context, icon, HeaderLook::kNormal);
      return true;
    case HeaderIcon::kMenu:
      SetLook(kb, context, icon, HeaderLook::kNormal);
      RunMenuIcon(kb, context);
      return true;
    case HeaderIcon::kNone:
      break;
  }
  return false;
}

void OnMenuIconResult(SoftKeyboardState& kb, SoftKeyboardContext& context, int result) {
  // A keyboard closed while its dialog was open has no say any more.
  if (kb.closed) return;
  if (result == kMenuResultLock) {
    context.view.PostShellCommand(kCommandLock, 0);
  } else if (result == kMenuResultPasswordSetting) {
    context.table.selectedKeyPad = static_cast<std::uint16_t>(kb.slot);
    context.view.PostShellCommand(kCommandPasswordSetting, kPresetKeyPadCode);
  }
}

// ---------------------------------------------------------------- right-click menus

void OnBackgroundRightClick(SoftKeyboardState& kb, SoftKeyboardContext& context, ScreenPoint point,
                            bool onHeaderIcon) {
  if (kb.closed ||
      !BackgroundMenuMayOpen(context.table.slots[kb.slot].settingsLocked.load(), onHeaderIcon))
    return;
  kb.pendingMenu = {true, -1, onHeaderIcon, point};
  context.view.RequestStatus();
}

void OnButtonRightClick(SoftKeyboardState& kb, SoftKeyboardContext& context, int button,
                        ScreenPoint point) {
  if (kb.closed || !ButtonMenuMayOpen(context.table.slots[kb.slot].settingsLocked.load(), button))
    return;
  kb.pendingMenu = {true, button, false, point};
  context.view.RequestStatus();
}

void OnStatusAnswer(SoftKeyboardState& kb, SoftKeyboardContext& context, bool read,
                    std::uint8_t status) {
  const PendingMenu pending = std::exchange(kb.pendingMenu, PendingMenu{});
  if (!pending.waiting || !MenuMayOpenNow(kb, context)) return;
  KeyPadSlot& entry = context.table.slots[kb.slot];
  const bool settingsLocked = entry.settingsLocked.load();
  if (pending.button < 0) {
    const unsigned menu = BackgroundMenuFor(settingsLocked, pending.onHeaderIcon, read, status,
                                            entry.softKeyAuthenticated.load());
    if (menu) context.view.OpenMenu(menu, pending.point);
    return;
  }
  std::uint8_t authenticated = entry.softKeyAuthenticated.load();
  const ButtonMenu menu = ButtonMenuFor(settingsLocked, read, status, authenticated, kb.paged,
                                        kb.currentPage, pending.button);
  entry.softKeyAuthenticated = authenticated;
  if (!menu.menu) return;
  kb.menuTarget = menu.target;
  context.view.OpenMenu(menu.menu, pending.point);
}

void StartBlink(SoftKeyboardState& kb, SoftKeyboardContext& context, AssetTarget target) {
  kb.blinkButton = ButtonOfTarget(kb.paged, kb.currentPage, target);
  if (kb.blinkButton < 0) return;
  context.view.EnableButton(kb.blinkButton, false);
  kb.blinkEnabled = true;
  context.view.StartTimer(SoftKeyboardTimer::kBlink);
}

void StopBlink(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  const int button = std::exchange(kb.blinkButton, -1);
  if (button < 0 || kb.closed) return;
  context.view.StopTimer(SoftKeyboardTimer::kBlink);
  context.view.EnableButton(button, true);
  context.view.Repaint();
}

void OnBlinkTick(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  if (kb.blinkButton >= 0) context.view.EnableButton(kb.blinkButton, kb.blinkEnabled);
  kb.blinkEnabled = !kb.blinkEnabled;
}

// ---------------------------------------------------------------- geometry

void OnMoved(SoftKeyboardState& kb, SoftKeyboardContext& context, const ScreenRect& window,
             FrameState frame) {
  if (!kb.layoutInitialised || kb.closed || frame != FrameState::kNormal) return;
  WriteGeometryRect(context.settings, kb.modelIdentity, kb.serialNumber, window);
}

void OnResized(SoftKeyboardState& kb, SoftKeyboardContext& context, std::int32_t clientWidth,
               std::int32_t clientHeight, const ScreenRect& window, FrameState frame) {
  // A minimized window has no client area: its scale would be zero and stored for good.
  if (!kb.layoutInitialised || kb.closed || frame != FrameState::kNormal) return;
  kb.scale.xmag = kStartMag * clientWidth;
  kb.scale.ymag = kStartMag * (clientHeight - kHeaderHeight);
  context.view.PlaceButtons(ButtonRects(kb, clientWidth, clientHeight),
                            HeaderIconRects(clientWidth));
  WriteGeometryScale(context.settings, kb.modelIdentity, kb.serialNumber, kb.scale);
  WriteGeometryRect(context.settings, kb.modelIdentity, kb.serialNumber, window);
  const PixelRect last =
      KeyButtonRect(*kb.table, kb.scale, kLayoutCells - 1, clientWidth, clientHeight);
  context.view.RefitFaces(kb.currentPage, std::min(last.width, last.height));
}

// ---------------------------------------------------------------- visibility

bool MayChangeVisibility(const SoftKeyboardState& kb, const SoftKeyboardContext& context) {
  return !kb.closed &&
         MayShowSoftKeyboard(context.table, kb.slot, context.touchEnabled.load() != 0);
}

void OnVisibilityRequest(SoftKeyboardState& kb, SoftKeyboardContext& context,
                         VisibilityRequest request) {
  if (!MayChangeVisibility(kb, context)) return;
  if (request == VisibilityRequest::kShow)
    ShowHere(kb, context);
  else
    HideHere(kb, context, request == VisibilityRequest::kHideToInfoIcon);
}

void OnHotKeyToggle(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  switch (ToggleActionFor(!kb.closed, MayChangeVisibility(kb, context), kb.keyboardShown)) {
    case ToggleAction::kHide:
      HideHere(kb, context, false);
      break;
    case ToggleAction::kShow:
      ShowHere(kb, context);
      break;
    case ToggleAction::kNothing:
      break;
  }
  kb.hiddenToIcon = false;
}

void OnInfoIconClicked(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  if (MayChangeVisibility(kb, context)) ShowHere(kb, context);
}

// ---------------------------------------------------------------- end

void OnClosing(SoftKeyboardState& kb, SoftKeyboardContext& context) {
  if (kb.closed) return;
  kb.closed = true;
  kb.layoutInitialised = false;
  // A closed keyboard is neither shown nor hidden to its icon.
  kb.keyboardShown = false;
  kb.hiddenToIcon = false;
  kb.pendingMenu = {};
  if (kb.heldRepeatButton >= 0) {
    kb.heldRepeatButton = -1;
    context.view.StopTimer(SoftKeyboardTimer::kRepeatWatch);
  }
  // Whatever the slot still types, repeating or pausing at a delay, ends now and lets go of its
  // keys: the thread that closes this keyboard waits for it, for at most the injector's worker
  // end wait. A worker the system holds up in a send lets go of its keys by itself when the send
  // returns, and the close goes on without it.
  context.injector.EndTyping(kb.slot);
}

}  // namespace qv
