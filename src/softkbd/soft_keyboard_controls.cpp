#include "softkbd/soft_keyboard_controls.h"

namespace qv {

HeaderIcon HeaderIconAt(const ScreenRect& window, std::int32_t frameX, std::int32_t frameY,
                        std::int32_t x, std::int32_t y) {
  const std::int32_t top = window.top + frameY;
  if (y < top + 1 || y > top + 49) return HeaderIcon::kNone;
  const std::int32_t right = window.right - frameX;
  constexpr HeaderIcon kIcons[] = {HeaderIcon::kClose, HeaderIcon::kHide, HeaderIcon::kMenu};
  for (int i = 0; i < 3; ++i) {
    if (x >= right - 49 - 50 * i && x <= right - 1 - 50 * i) return kIcons[i];
  }
  return HeaderIcon::kNone;
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
                        std::uint16_t y, bool onlyLeftButton) {
  if (!onlyLeftButton) return false;
  const std::int64_t dx = static_cast<std::int64_t>(x) - pressX;
  const std::int64_t dy = static_cast<std::int64_t>(y) - pressY;
  return dx * dx + dy * dy >= 25;
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
