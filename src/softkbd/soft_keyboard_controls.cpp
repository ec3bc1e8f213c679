#include "softkbd/soft_keyboard_controls.h"

#include "common/ids.h"

namespace qv {
namespace {

constexpr HeaderIcon kHeaderIcons[] = {HeaderIcon::kClose, HeaderIcon::kHide, HeaderIcon::kMenu};

}  // namespace

const std::array<unsigned, kHeaderBitmapCount> kHeaderBitmapIds = {
    kBitmapSoftKeyboardLogo, kBitmapCloseIcon,     kBitmapCloseIconHover, kBitmapCloseIconPressed,
    kBitmapHideIcon,         kBitmapHideIconHover, kBitmapMenuIcon,       kBitmapMenuIconHover};

PixelRect HeaderIconRect(HeaderIcon icon, std::int32_t clientWidth) {
  for (int i = 0; i < 3; ++i) {
    if (kHeaderIcons[i] == icon) {
      return {clientWidth - kHeaderIconSize - 1 - 50 * i, 1, kHeaderIconSize, kHeaderIconSize};
    }
  }
  return {};
}

std::array<PixelRect, 3> HeaderIconRects(std::int32_t clientWidth) {
  return {HeaderIconRect(HeaderIcon::kClose, clientWidth),
          HeaderIconRect(HeaderIcon::kHide, clientWidth),
          HeaderIconRect(HeaderIcon::kMenu, clientWidth)};
}

HeaderIcon HeaderIconAt(const ScreenRect& window, std::int32_t frameX, std::int32_t frameY,
                        std::int32_t x, std::int32_t y) {
  // The client area's top right corner, and the point from there.
  const std::int32_t dx = x - (window.right - frameX);
  const std::int32_t dy = y - (window.top + frameY);
  for (HeaderIcon icon : kHeaderIcons) {
    const PixelRect r = HeaderIconRect(icon, 0);
    if (dx >= r.x && dx <= r.x + r.width && dy >= r.y && dy <= r.y + r.height) return icon;
  }
  return HeaderIcon::kNone;
}

int HeaderLookBitmap(HeaderIcon icon, HeaderLook look) {
  switch (icon) {
    case HeaderIcon::kClose:
      return look == HeaderLook::kPressed ? kHeaderClosePressed
             : look == HeaderLook::kHover ? kHeaderCloseHover
                                          : kHeaderClose;
    case HeaderIcon::kHide:
      return look == HeaderLook::kNormal ? kHeaderHide : kHeaderHideHover;
    case HeaderIcon::kMenu:
      return look == HeaderLook::kNormal ? kHeaderMenu : kHeaderMenuHover;
    case HeaderIcon::kNone:
      break;
  }
  return -1;
}

unsigned BackgroundMenuFor(bool settingsLocked, bool onHeaderIcon, bool statusRead,
                           std::uint8_t status, std::uint8_t softKeyAuthenticated) {
  if (!BackgroundMenuMayOpen(settingsLocked, onHeaderIcon)) return 0;
  if (!statusRead || (status & 0x01) == 0) return 0;
  return softKeyAuthenticated == kSoftKeyNotAuthenticated ? kMenuSettingsLocked
                                                          : kMenuSettingsUnlocked;
}

bool BackgroundMenuMayOpen(bool settingsLocked, bool onHeaderIcon) {
  return !settingsLocked && !onHeaderIcon;
}

bool ButtonMenuMayOpen(bool settingsLocked, int button) {
  return !settingsLocked && button >= 0 && button < kLayoutCells;
}

ButtonMenu ButtonMenuFor(bool settingsLocked, bool statusRead, std::uint8_t status,
                         std::uint8_t& softKeyAuthenticated, bool paged, int currentPage,
                         int button) {
  ButtonMenu result;
  if (settingsLocked) return result;
  if (statusRead && (status & 0x01) == 0) softKeyAuthenticated = kSoftKeyNoPassword;
  if (softKeyAuthenticated == kSoftKeyNotAuthenticated) return result;
  if (button < 0 || button >= kLayoutCells) return result;
  if (paged && button < kPageCount) {
    result.target = PageTarget(button);
    result.menu = kMenuSoftKeyPage;
  } else {
    result.target = KeyTarget(KeyForButton(paged, currentPage, button));
    result.menu = kMenuSoftKey;
  }
  return result;
}

int ButtonOfTarget(bool paged, int currentPage, AssetTarget target) {
  if (!IsValidTarget(target)) return -1;
  if (target.isPage) return paged ? target.index : -1;
  if (!paged) return target.index < kLayoutCells ? target.index : -1;
  if (target.index / kKeysPerPage != currentPage) return -1;
  return target.index % kKeysPerPage + kPageCount;
}

TabUnderline TabUnderlineFor(const LayoutTable& table, const LayoutScale& scale,
                             std::int32_t clientWidth) {
  const KeyCell& cell = table.cells[0];
  const std::int64_t xbase = scale.xbase > 0 ? scale.xbase : 1;
  const std::int64_t ybase = scale.ybase > 0 ? scale.ybase : 1;
  const auto x0 = static_cast<std::int32_t>(std::int64_t{scale.xmag} * cell.left / xbase);
  const auto y0 =
      static_cast<std::int32_t>(std::int64_t{scale.ymag} * cell.top / ybase) + kHeaderHeight;
  const auto h0 =
      static_cast<std::int32_t>(std::int64_t{scale.ymag} * (cell.bottom - cell.top) / ybase);
  const std::int32_t yb = y0 + h0;
  return {{x0 + 1, yb - 2, x0 + clientWidth - 2, yb - 1},
          {x0 + 1, yb - 1, x0 + clientWidth - 2, yb}};
}

bool InfoIconDragStarts(std::uint16_t pressX, std::uint16_t pressY, std::uint16_t x,
                        std::uint16_t y, std::uint32_t mouseKeys) {
  if (mouseKeys != kMouseKeyLeft) return false;
  const std::int64_t dx = static_cast<std::int64_t>(x) - pressX;
  const std::int64_t dy = static_cast<std::int64_t>(y) - pressY;
  return dx * dx + dy * dy >= 25;
}

HeaderBitmap InfoIconPicture() {
  return kHeaderHide;
}

bool InfoIconShowsSerial(int keyPadCount) {
  return keyPadCount >= 2;
}

InfoIconReaction OnInfoIconEvent(InfoIconPress& press, InfoIconEvent event, std::uint16_t x,
                                 std::uint16_t y, std::uint32_t mouseKeys) {
  InfoIconReaction reaction;
  switch (event) {
    case InfoIconEvent::kLeftDown:
      press = {x, y};
      break;
    case InfoIconEvent::kMouseMove:
      // The system's move loop takes the mouse; its release ends the move, not a click.
      reaction.startMove = InfoIconDragStarts(press.x, press.y, x, y, mouseKeys);
      break;
    case InfoIconEvent::kLeftUp:
      reaction.clicked = true;
      reaction.alpha = kInfoIconOpaque;
      break;
    case InfoIconEvent::kMoved:
      reaction.alpha = kInfoIconMoving;
      break;
    case InfoIconEvent::kShown:
    case InfoIconEvent::kMoveEnded:
      reaction.alpha = kInfoIconOpaque;
      break;
  }
  return reaction;
}

int HotKeyEvent(HotKeyModifiers& modifiers, const HotKeyKey& key, bool modalActive,
                const HotKeyModifiers& heldNow) {
  if (key.ownInjection) return -1;
  const std::uint32_t vk = key.vk;
  const bool alt = vk == kVkLeftMenu || vk == kVkRightMenu;
  const bool control = vk == kVkLeftControl || vk == kVkRightControl;
  const bool shift = vk == kVkLeftShift || vk == kVkRightShift;
  if (!key.keyUp) {
    if (alt) modifiers.alt = true;
    if (control) modifiers.control = true;
    if (shift) modifiers.shift = true;
    return -1;
  }
  if (alt) {
    modifiers.alt = false;
    return -1;
  }
  if (control) modifiers.control = false;
  if (shift) modifiers.shift = false;
  if (modalActive || !IsHotKeyDigitRelease(key)) return -1;
  const bool tracked = modifiers.alt && modifiers.control && modifiers.shift;
  const bool held = heldNow.alt && heldNow.control && heldNow.shift;
  return tracked && held ? static_cast<int>(vk - '0') : -1;
}

ToggleAction ToggleActionFor(bool windowExists, bool mayShow, bool keyboardShown) {
  if (!windowExists || !mayShow) return ToggleAction::kNothing;
  return keyboardShown ? ToggleAction::kHide : ToggleAction::kShow;
}

}  // namespace qv
