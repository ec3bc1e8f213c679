// One soft keyboard as a state machine: a plain struct with what its window keeps (current page,
// scale, blinking button, menu target, header looks, held repeating key, what is shown), one
// function per event of its window, and a view port through which each event tells the window
// what to do. The window procedure turns messages into these events and implements the view.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "access/key_pad_table.h"
#include "common/settings_store.h"
#include "common/window_messages.h"
#include "keycode/key_code_store.h"
#include "softkbd/injection.h"
#include "softkbd/layout.h"
#include "softkbd/soft_keyboard_controls.h"
#include "softkey_assets/asset_names.h"

namespace qv {

// The timers of a soft keyboard window; the ids are the window's timer ids.
enum class SoftKeyboardTimer : unsigned {
  kRepeatWatch = kRepeatWatchTimerId,  // watches a held repeating key
  kPageFollow = kPageFollowTimerId,    // follows the key pad's active page
  kBlink = kBlinkTimerId,              // blinks the key whose menu dialog is open
};
inline constexpr unsigned kRepeatWatchMs = 10;
inline constexpr unsigned kPageFollowMs = 200;
inline constexpr unsigned kBlinkMs = 800;

// What the shell or the hot key asks of a keyboard's visibility.
enum class VisibilityRequest { kShow, kHide, kHideToInfoIcon };

struct ScreenPoint {
  std::int32_t x = 0, y = 0;
  bool operator==(const ScreenPoint&) const = default;
};

// What an event asks of the window. Every call is made on the window's own thread.
class SoftKeyboardView {
 public:
  virtual ~SoftKeyboardView() = default;
  // Moves the 30 buttons and the three header icons (close, hide, menu).
  virtual void PlaceButtons(const std::array<PixelRect, kLayoutCells>& buttons,
                            const std::array<PixelRect, 3>& headerIcons) = 0;
  // Moves the six page tabs of a paged keyboard.
  virtual void PlaceTabs(const std::array<PixelRect, kPageCount>& tabs) = 0;
  // Marks the page's tab as the selected one and releases the others.
  virtual void CheckTab(int page) = 0;
  // Gives the buttons of `page` their captions, fonts and images, the keys' shared caption font
  // fitted to `captionSize`.
  virtual void RefitFaces(int page, std::int32_t captionSize) = 0;
  virtual void ShowHeaderLook(HeaderIcon icon, HeaderLook look) = 0;
  virtual void StartTimer(SoftKeyboardTimer timer) = 0;
  virtual void StopTimer(SoftKeyboardTimer timer) = 0;
  virtual void ShowKeyboard(bool shown) = 0;
  // Shows or hides the info icon; either way it is left fully opaque.
  virtual void ShowInfoIcon(bool shown) = 0;
  virtual void EnableButton(int button, bool enabled) = 0;
  virtual void Repaint() = 0;
  virtual void OpenMenu(unsigned menuId, ScreenPoint point) = 0;
  // Runs the soft keyboard menu dialog (173) and returns its result.
  virtual int RunMenuDialog() = 0;
  // Posts a command to the shell's main window and brings it forward; never waits for it.
  virtual void PostShellCommand(std::uint16_t command, std::uint16_t notificationCode) = 0;
  // Key pad exchanges, done away from the window's thread; the answers come back as
  // OnActivePageAnswer and OnStatusAnswer.
  virtual void RequestActivePage() = 0;
  virtual void RequestStatus() = 0;
  virtual void SelectKeyPadPage(int pageNumber) = 0;
};

// What every soft keyboard works with; all of it outlives the keyboards.
struct SoftKeyboardContext {
  KeyPadTable& table;
  DeviceKeyCodeCache& keyCodes;
  SettingsPort& settings;
  Injector& injector;
  const std::atomic<std::uint32_t>& touchEnabled;
  const std::atomic<bool>& nonJapaneseLayout;
  SoftKeyboardView& view;
};

// A right click waiting for the key pad's status before its menu opens.
struct PendingMenu {
  bool waiting = false;
  int button = -1;  // -1: the background
  bool onHeaderIcon = false;
  ScreenPoint point;
};

// One slot's soft keyboard, owned by its window's thread.
struct SoftKeyboardState {
  int slot = 0;
  std::uint32_t modelIdentity = 0;
  std::uint32_t serialNumber = 0;
  bool paged = false;
  const LayoutTable* table = &StandardLayout();

  int currentPage = 0;
  LayoutScale scale;
  bool layoutInitialised = false;  // the scale holds real values: geometry is written
  bool keyboardShown = false;
  bool hiddenToIcon = false;
  bool closed = false;  // the window is being destroyed

  std::array<HeaderLook, 3> headerLooks{};  // close, hide, menu
  int heldRepeatButton = -1;                // the button held on a repeating key
  AssetTarget menuTarget;                   // the key or tab the last key menu was for
  int blinkButton = -1;
  bool blinkEnabled = false;
  bool pageRequestOpen = false;  // an active-page read is on its way
  bool pageAnswerStale = false;  // a tab was clicked since that read was asked for
  PendingMenu pendingMenu;
};

// A fresh keyboard for `slot` of the table, on `layout`'s grid.
SoftKeyboardState MakeSoftKeyboardState(const KeyPadTable& table, int slot, SoftKeyLayout layout);

// ---------------------------------------------------------------- creation
// The scale before the buttons are made: the stored one when it is usable for this grid (then
// geometry is written from now on), else the starting scale.
void BeginLayout(SoftKeyboardState& kb, SoftKeyboardContext& context);
// The buttons' first rectangles, for a client area of this size.
std::array<PixelRect, kLayoutCells> ButtonRects(const SoftKeyboardState& kb,
                                                std::int32_t clientWidth,
                                                std::int32_t clientHeight);
// After the window was placed: the bases from the client size unless a stored scale was used.
void FinishLayout(SoftKeyboardState& kb, std::int32_t clientWidth, std::int32_t clientHeight);
// The window and its header exist: the first page, the faces, and shown or hidden.
void OnKeyboardCreated(SoftKeyboardState& kb, SoftKeyboardContext& context, int initialPage);

// ---------------------------------------------------------------- pages
// Lays out `page` (the tabs of a paged keyboard) and refits its faces; a page past the sixth
// changes nothing.
void LayoutPage(SoftKeyboardState& kb, SoftKeyboardContext& context, int page);
// Selects the page's tab and lays the page out.
void SwitchPage(SoftKeyboardState& kb, SoftKeyboardContext& context, int page);
// The 200 ms tick: asks the key pad for its page unless a dialog is open, the console is away or
// a question is still on its way.
void OnPageFollowTick(SoftKeyboardState& kb, SoftKeyboardContext& context);
// The key pad's answer (page number 1 to 6) to that question.
void OnActivePageAnswer(SoftKeyboardState& kb, SoftKeyboardContext& context, bool read,
                        std::uint8_t answer);

// ---------------------------------------------------------------- keys
// The left button goes down on `button`: a repeating key starts typing at once.
void OnKeyPressed(SoftKeyboardState& kb, SoftKeyboardContext& context, int button);
// A button was clicked (released over it): a tab shows its page, a key types, the held repeating
// key stops.
void OnKeyClicked(SoftKeyboardState& kb, SoftKeyboardContext& context, int button);
// What the window sees of the held button at a tick of the repeat watch.
struct HeldButtonSample {
  bool pushed = false;  // the button shows itself pushed: the left button is down on it
  ScreenPoint cursor;
  ScreenRect buttonArea;    // the button's client area on the screen
  int buttonAtCursor = -1;  // the button whose window is under the cursor; -1 for none
};
// The held repeating key is still held while its button is pushed and the pointer is on it:
// inside its area (the right and bottom edges are outside) with no other window over it.
bool HeldButtonStillDown(const SoftKeyboardState& kb, const HeldButtonSample& sample);
// The 10 ms watch of a held repeating key: `stillHeld` is HeldButtonStillDown now.
void OnRepeatWatchTick(SoftKeyboardState& kb, SoftKeyboardContext& context, bool stillHeld);
// The key pad of the slot is in a shell command (its dialog is open): its keyboard types nothing.
bool KeyPadInCommand(const KeyPadTable& table, int slot);

// ---------------------------------------------------------------- header icons
void OnHeaderHover(SoftKeyboardState& kb, SoftKeyboardContext& context, HeaderIcon icon);
// True when the press or release was on an icon (the system does nothing more with it).
bool OnHeaderPressed(SoftKeyboardState& kb, SoftKeyboardContext& context, HeaderIcon icon);
bool OnHeaderReleased(SoftKeyboardState& kb, SoftKeyboardContext& context, HeaderIcon icon);
// The menu dialog's result: the lock (1020) and password setting (1022) go to the shell.
void OnMenuIconResult(SoftKeyboardState& kb, SoftKeyboardContext& context, int result);
inline constexpr int kMenuResultLock = 1020;
inline constexpr int kMenuResultPasswordSetting = 1022;

// ---------------------------------------------------------------- right-click menus
void OnBackgroundRightClick(SoftKeyboardState& kb, SoftKeyboardContext& context, ScreenPoint point,
                            bool onHeaderIcon);
void OnButtonRightClick(SoftKeyboardState& kb, SoftKeyboardContext& context, int button,
                        ScreenPoint point);
// The key pad's status byte for the waiting right click.
void OnStatusAnswer(SoftKeyboardState& kb, SoftKeyboardContext& context, bool read,
                    std::uint8_t status);
// The key of a menu command blinks while its dialog is open.
void StartBlink(SoftKeyboardState& kb, SoftKeyboardContext& context, AssetTarget target);
void StopBlink(SoftKeyboardState& kb, SoftKeyboardContext& context);
void OnBlinkTick(SoftKeyboardState& kb, SoftKeyboardContext& context);

// ---------------------------------------------------------------- geometry
// How the system shows the window. The keyboard keeps its own place and size: it refuses to be
// maximized, and the rectangle of a maximized or minimized window is never stored, nor laid out.
enum class FrameState { kNormal, kMaximized, kMinimized };
void OnMoved(SoftKeyboardState& kb, SoftKeyboardContext& context, const ScreenRect& window,
             FrameState frame);
void OnResized(SoftKeyboardState& kb, SoftKeyboardContext& context, std::int32_t clientWidth,
               std::int32_t clientHeight, const ScreenRect& window, FrameState frame);

// ---------------------------------------------------------------- visibility
// Whether the slot's keyboard may change visibility now (not Locked, touch function on).
bool MayChangeVisibility(const SoftKeyboardState& kb, const SoftKeyboardContext& context);
void OnVisibilityRequest(SoftKeyboardState& kb, SoftKeyboardContext& context,
                         VisibilityRequest request);
// The hot key: a shown keyboard hides, a hidden one shows; hiddenToIcon is cleared either way.
void OnHotKeyToggle(SoftKeyboardState& kb, SoftKeyboardContext& context);
// A click on the info icon brings the keyboard back.
void OnInfoIconClicked(SoftKeyboardState& kb, SoftKeyboardContext& context);

// ---------------------------------------------------------------- end
// The window goes: the held key is let go, typing is cut short and nothing is written any more.
void OnClosing(SoftKeyboardState& kb, SoftKeyboardContext& context);

}  // namespace qv
