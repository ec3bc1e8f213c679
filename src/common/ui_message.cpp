#include "common/ui_message.h"

namespace qv {

std::uint32_t MessageBoxStyle(const UiMessage& message) {
  std::uint32_t style = 0;
  switch (message.icon) {
    case MessageIcon::kError:
      style |= kMessageBoxIconError;
      break;
    case MessageIcon::kWarning:
      style |= kMessageBoxIconWarning;
      break;
    case MessageIcon::kInformation:
      style |= kMessageBoxIconInformation;
      break;
  }
  if (message.buttons == MessageButtons::kYesNo) style |= kMessageBoxYesNo;
  if (message.secondButtonDefault) style |= kMessageBoxDefaultSecond;
  return style;
}

}  // namespace qv
