// A message box as the program's flows describe it (title, text, icon and buttons) and the window
// it is shown over; the Win32 side turns it into MessageBoxW flags.
#pragma once

#include <cstdint>
#include <string_view>

namespace qv {

// A window of the user interface (an HWND on Windows); 0 = none.
using UiWindow = std::uintptr_t;

enum class MessageIcon { kError, kWarning, kInformation };
enum class MessageButtons { kOk, kYesNo };

// One message box: its title, text, icon and buttons.
struct UiMessage {
  std::u16string_view title;
  std::u16string_view text;
  MessageIcon icon = MessageIcon::kInformation;
  MessageButtons buttons = MessageButtons::kOk;
  bool secondButtonDefault = false;
};

// The style flags of a message box (the values of MB_ICONERROR, MB_ICONWARNING,
// MB_ICONINFORMATION, MB_YESNO and MB_DEFBUTTON2; MB_OK is 0).
inline constexpr std::uint32_t kMessageBoxIconError = 0x10;
inline constexpr std::uint32_t kMessageBoxIconWarning = 0x30;
inline constexpr std::uint32_t kMessageBoxIconInformation = 0x40;
inline constexpr std::uint32_t kMessageBoxYesNo = 0x04;
inline constexpr std::uint32_t kMessageBoxDefaultSecond = 0x100;
// The icon, buttons and default button a message box is shown with.
std::uint32_t MessageBoxStyle(const UiMessage& message);

// Answers of a message box.
inline constexpr int kMessageOk = 1;
inline constexpr int kMessageYes = 6;
inline constexpr int kMessageNo = 7;

// The access control's messages are the program's messages.
using AccessMessage = UiMessage;

}  // namespace qv
