// The program's own window messages (WM_APP + n) and the ids of its timers, each defined once
// here, so that no two of them collide. Portable: the values are the Win32 ones (WM_APP is
// 0x8000), and the Win32 side uses them as they are.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace qv {

inline constexpr std::uint32_t kAppMessageBase = 0x8000;  // WM_APP

// ---------------------------------------------------------------- the main window
// Sent by the notification-area icon: wParam = icon id, lParam = mouse message.
inline constexpr std::uint32_t kTrayNotifyMessage = kAppMessageBase + 100;  // 32868
// Sent by a second start of the program to the running instance.
inline constexpr std::uint32_t kRevealMessage = kAppMessageBase + 201;  // 32969
// Posted by the keyboard-change watcher's thread on every change of the system's keyboards: the
// main window (re)starts its monitor timers, which only the window's own thread may set.
inline constexpr std::uint32_t kKeyboardChangedMessage = kAppMessageBase + 202;

// ---------------------------------------------------------------- key-code settings dialog
// Posted by WM_DRAWITEM when a key or page button is drawn pushed: the selection or page change
// runs after the drawing, not inside it. wParam: the button index (control id - 1500).
inline constexpr std::uint32_t kKeyButtonPushedMessage = kAppMessageBase + 1;

// ---------------------------------------------------------------- key input dialog
// To the key input dialog: the capture's entries changed (wParam = new length, lParam = the VK
// captured, 0 from a button), and a record to load (lParam points to one of the shortcut list's
// records; sent by the shortcut list on the same thread).
inline constexpr std::uint32_t kEntriesChangedMessage = kAppMessageBase + 101;
inline constexpr std::uint32_t kLoadRecordMessage = kAppMessageBase + 102;
// Posted by the capture hook to its own dialog: what the hook may not do itself (wParam bits).
inline constexpr std::uint32_t kCaptureNoticeMessage = kAppMessageBase + 103;
inline constexpr unsigned kCaptureNoticeBeep = 0x1;
inline constexpr unsigned kCaptureNoticeLockButtons = 0x2;
// Posted to the key input dialog when a key reached its thread that the capture hook never saw:
// the system has removed the hook, which is installed again.
inline constexpr std::uint32_t kCaptureHookLostMessage = kAppMessageBase + 104;

// ---------------------------------------------------------------- soft keyboard windows
// Shows or hides the window's keyboard and its info icon on the window's own thread (wParam: a
// VisibilityRequest).
inline constexpr std::uint32_t kVisibilityMessage = kAppMessageBase + 0x52;
// Asks the soft keyboard of a slot to toggle; posted to its window by the hot key's hook.
inline constexpr std::uint32_t kToggleSoftKeyboardMessage = kAppMessageBase + 0x53;
// Answers of the key pad exchanges done off a keyboard's thread, posted to its window: wParam =
// 1 when the key pad answered, lParam = the answer byte (the active page; the status byte).
inline constexpr std::uint32_t kActivePageAnswerMessage = kAppMessageBase + 0x54;
inline constexpr std::uint32_t kStatusAnswerMessage = kAppMessageBase + 0x55;
// The answer of a soft keyboard menu command's key pad exchange: wParam 1 when the key pad
// answered, lParam the status byte it told.
inline constexpr std::uint32_t kCommandAnswerMessage = kAppMessageBase + 0x56;

// ---------------------------------------------------------------- timers
// One-shot monitor timers of the main window: 500 ms after its creation, 100 ms after each
// keyboard change reported by the watcher.
inline constexpr unsigned kRescanTimerId = 1;
inline constexpr unsigned kPresenceTimerId = 2;
inline constexpr unsigned kMonitorStartMs = 500;
inline constexpr unsigned kMonitorChangeMs = 100;
// A soft keyboard window's timers: the watch of a held repeating key, the following of the key
// pad's active page, the blinking of the key whose menu dialog is open.
inline constexpr unsigned kRepeatWatchTimerId = 0;
inline constexpr unsigned kPageFollowTimerId = 5;
inline constexpr unsigned kBlinkTimerId = 10;
// The demo's emulator panel refreshes what the selected key pad holds.
inline constexpr unsigned kEmulatorPanelTimerId = 20;

namespace window_message_ids {
constexpr bool AllDistinct(std::initializer_list<std::uint32_t> ids) {
  for (auto a = ids.begin(); a != ids.end(); ++a)
    for (auto b = a + 1; b != ids.end(); ++b)
      if (*a == *b) return false;
  return true;
}
}  // namespace window_message_ids

static_assert(window_message_ids::AllDistinct({kTrayNotifyMessage, kRevealMessage,
                                               kKeyboardChangedMessage, kKeyButtonPushedMessage,
                                               kEntriesChangedMessage, kLoadRecordMessage,
                                               kCaptureNoticeMessage, kCaptureHookLostMessage,
                                               kVisibilityMessage, kToggleSoftKeyboardMessage,
                                               kActivePageAnswerMessage, kStatusAnswerMessage,
                                               kCommandAnswerMessage}),
              "two of the program's window messages share a number");
static_assert(window_message_ids::AllDistinct({kRescanTimerId, kPresenceTimerId,
                                               kRepeatWatchTimerId, kPageFollowTimerId,
                                               kBlinkTimerId, kEmulatorPanelTimerId}),
              "two of the program's timers share an id");

}  // namespace qv
