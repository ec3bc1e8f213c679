// The decisions behind the soft keyboard's controls: which header icon a point is in, which
// right-click menu a click gets, which button blinks while a key menu dialog is open, when a
// press on the info icon becomes a move, the global hot key, and what a hot-key toggle does.
#pragma once

#include <cstdint>

#include "access/key_pad_table.h"
#include "softkbd/layout.h"
#include "softkey_assets/asset_names.h"

namespace qv {

// ---------------------------------------------------------------- header icons
enum class HeaderIcon { kNone, kClose, kHide, kMenu };

// The header icon whose hit rectangle holds the screen point (x, y), for a window rectangle and
// the frame sizes (SM_CXFRAME, SM_CYFRAME). Each icon is hit over 49 x 49 pixels, bounds
// inclusive, from the top right of the client area leftwards: close, hide, menu.
HeaderIcon HeaderIconAt(const ScreenRect& window, std::int32_t frameX, std::int32_t frameY,
                        std::int32_t x, std::int32_t y);

// ---------------------------------------------------------------- right-click menus
inline constexpr unsigned kMenuSoftKey = 162;           // on a key
inline constexpr unsigned kMenuSoftKeyPage = 165;       // on a page tab
inline constexpr unsigned kMenuSettingsLocked = 167;    // background, settings locked
inline constexpr unsigned kMenuSettingsUnlocked = 168;  // background, settings open

// The menu of a right click on the keyboard's background: none while "設定禁止" is set, on a
// header icon or when the key pad has no password (status bit 0 clear, or the status could not
// be read); else 167 until the settings are authenticated, 168 afterwards.
unsigned BackgroundMenuFor(bool settingsLocked, bool onHeaderIcon, bool statusRead,
                           std::uint8_t status, std::uint8_t softKeyAuthenticated);
// Whether such a right click can open a menu at all: when not, the status is not even asked.
bool BackgroundMenuMayOpen(bool settingsLocked, bool onHeaderIcon);

// The menu of a right click on key button `button` and the key or page it is for.
struct ButtonMenu {
  unsigned menu = 0;  // 0: no menu
  AssetTarget target;
};
// A key pad without a password (status read with bit 0 clear) opens the key menus for good:
// `softKeyAuthenticated` becomes kSoftKeyNoPassword. Nothing while "設定禁止" is set, while the
// settings are not authenticated, or for a button outside 0 to 29.
ButtonMenu ButtonMenuFor(bool settingsLocked, bool statusRead, std::uint8_t status,
                         std::uint8_t& softKeyAuthenticated, bool paged, int currentPage,
                         int button);
// Whether a right click on `button` can open a menu at all: when not, the status is not asked.
bool ButtonMenuMayOpen(bool settingsLocked, int button);

// The button that shows a key menu's target on the current page (page tabs are buttons 0 to 5
// of a paged keyboard); -1 when no button shows it.
int ButtonOfTarget(bool paged, int currentPage, AssetTarget target);

// The two-pixel line under the page tabs of a paged keyboard, as rectangles (left, top, right,
// bottom) in client pixels: dark above, light below, from the scale of key cell 0.
struct TabUnderline {
  ScreenRect dark;
  ScreenRect light;
};
TabUnderline TabUnderlineFor(const LayoutTable& table, const LayoutScale& scale,
                             std::int32_t clientWidth);

// ---------------------------------------------------------------- info icon
// A press on the info icon at (pressX, pressY) becomes a move of the icon once the left button
// alone is held and the mouse is at least 5 pixels away; coordinates are taken as unsigned
// 16-bit values.
bool InfoIconDragStarts(std::uint16_t pressX, std::uint16_t pressY, std::uint16_t x,
                        std::uint16_t y, bool onlyLeftButton);

// ---------------------------------------------------------------- hot key
inline constexpr std::uint32_t kVkLeftShift = 0xA0;
inline constexpr std::uint32_t kVkRightShift = 0xA1;
inline constexpr std::uint32_t kVkLeftControl = 0xA2;
inline constexpr std::uint32_t kVkRightControl = 0xA3;
inline constexpr std::uint32_t kVkLeftMenu = 0xA4;
inline constexpr std::uint32_t kVkRightMenu = 0xA5;

// The modifiers of Ctrl+Alt+Shift+digit as the hook has seen them; all start clear.
struct HotKeyModifiers {
  bool alt = false;
  bool control = false;
  bool shift = false;
};

// One low-level key event as the hot key sees it.
struct HotKeyKey {
  bool keyUp = false;
  std::uint32_t vk = 0;
  bool ownInjection = false;  // typed by this program's own soft keyboards
};

// Marks the input records the soft keyboards type, so that the hot key can tell them apart.
inline constexpr std::uintptr_t kOwnInjectionMark = 0x51564B42;

// One low-level key event: updates the modifiers and gives the slot (0 to 9) whose soft keyboard
// toggles, or -1. The toggle happens on the release of a digit while Ctrl, Alt and Shift are all
// held: as the hook has seen them and as the system says they are held now (`heldNow`, asked
// only for a digit's release), so that a release the hook missed cannot leave a modifier held.
// Modifiers are tracked while a dialog of the shell is open (`modalActive`), which only keeps the
// toggle from happening; keys the program types itself are neither tracked nor acted on.
int HotKeyEvent(HotKeyModifiers& modifiers, const HotKeyKey& key, bool modalActive,
                const HotKeyModifiers& heldNow);
// A digit's release: the only event for which the hook asks the system for `heldNow`.
inline bool IsHotKeyDigitRelease(const HotKeyKey& key) {
  return key.keyUp && key.vk >= '0' && key.vk <= '9';
}

// ---------------------------------------------------------------- visibility
// What the hot key does to a slot's soft keyboard: hide a shown one, show a hidden one, both
// only when the slot has a window that may be shown; hiddenToIcon is cleared in every case.
enum class ToggleAction { kNothing, kShow, kHide };
ToggleAction ToggleActionFor(bool windowExists, bool mayShow, bool keyboardShown);

}  // namespace qv
