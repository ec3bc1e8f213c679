// The decisions behind the soft keyboard's controls: which header icon a point is in, which
// right-click menu a click gets, which button blinks while a key menu dialog is open, when a
// press on the info icon becomes a move, the global hot key, and what a hot-key toggle does.
#pragma once

#include <array>
#include <cstdint>

#include "access/key_pad_table.h"
#include "softkbd/layout.h"
#include "softkey_assets/asset_names.h"

namespace qv {

// ---------------------------------------------------------------- header icons
enum class HeaderIcon { kNone, kClose, kHide, kMenu };
// What each header icon shows: its normal, hover or (close icon only) pressed image.
enum class HeaderLook { kNormal, kHover, kPressed };

inline constexpr std::int32_t kHeaderIconSize = 48;
// Where a header icon sits in the client area: 48 x 48 pixels, one pixel below the top, from the
// right edge leftwards (close, hide, menu) 50 pixels apart. Empty for kNone.
PixelRect HeaderIconRect(HeaderIcon icon, std::int32_t clientWidth);
// The three icons at a client width, in the order close, hide, menu.
std::array<PixelRect, 3> HeaderIconRects(std::int32_t clientWidth);

// The header icon whose hit rectangle holds the screen point (x, y), for a window rectangle and
// the frame sizes (SM_CXFRAME, SM_CYFRAME): the icon's rectangle with its right and bottom
// bounds included, one pixel more than the picture each way.
HeaderIcon HeaderIconAt(const ScreenRect& window, std::int32_t frameX, std::int32_t frameY,
                        std::int32_t x, std::int32_t y);

// The header's bitmaps, in the order of kHeaderBitmapIds.
enum HeaderBitmap {
  kHeaderLogo,
  kHeaderClose,
  kHeaderCloseHover,
  kHeaderClosePressed,
  kHeaderHide,
  kHeaderHideHover,
  kHeaderMenu,
  kHeaderMenuHover
};
inline constexpr int kHeaderBitmapCount = 8;
// Their resource ids.
extern const std::array<unsigned, kHeaderBitmapCount> kHeaderBitmapIds;
// The bitmap of an icon in a look; -1 for kNone. Only the close icon has a pressed look; the
// others show their hover look then.
int HeaderLookBitmap(HeaderIcon icon, HeaderLook look);

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
// The key flags of a mouse message: the left button is down.
inline constexpr std::uint32_t kMouseKeyLeft = 0x0001;

// A press on the info icon at (pressX, pressY) becomes a move of the icon once the left button
// alone is held (`mouseKeys`, the message's key flags, is exactly kMouseKeyLeft) and the mouse is
// at least 5 pixels away; coordinates are taken as unsigned 16-bit values.
bool InfoIconDragStarts(std::uint16_t pressX, std::uint16_t pressY, std::uint16_t x,
                        std::uint16_t y, std::uint32_t mouseKeys);

// The info icon shows the hide icon's normal picture.
HeaderBitmap InfoIconPicture();
// With several key pads attached each icon says whose keyboard it stands for: the serial number
// is drawn on it only with two or more key pads.
bool InfoIconShowsSerial(int keyPadCount);

// What the info icon's window goes through, and what it does for each.
enum class InfoIconEvent {
  kShown,      // shown or hidden with its keyboard
  kLeftDown,   // the left button went down on it
  kMouseMove,  // the mouse moved over it
  kLeftUp,     // the left button came up without a move: a click
  kMoved,      // the window moved (the system's move loop drags it)
  kMoveEnded,  // the move loop ended
};
inline constexpr std::uint8_t kInfoIconOpaque = 255;
inline constexpr std::uint8_t kInfoIconMoving = 128;  // half transparent while dragged
struct InfoIconReaction {
  int alpha = -1;          // the opacity to set, 0 .. 255; -1: leave it
  bool startMove = false;  // hand the mouse to the system's move loop
  bool clicked = false;    // the keyboard comes back
};
// The press point is the icon's own, remembered between the events.
struct InfoIconPress {
  std::uint16_t x = 0, y = 0;
};
InfoIconReaction OnInfoIconEvent(InfoIconPress& press, InfoIconEvent event, std::uint16_t x = 0,
                                 std::uint16_t y = 0, std::uint32_t mouseKeys = 0);

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
