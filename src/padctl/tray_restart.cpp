#include "padctl/tray_restart.h"

namespace qv {

RestartRoute ChooseRestartRoute(bool toolElevated, const DesktopRights& desktop) {
  // Nothing to compare with: only an unelevated tool's own rights are safe to hand on.
  if (!desktop.known)
    return toolElevated ? RestartRoute::kLeaveToTheUser : RestartRoute::kToolsOwnToken;
  if (desktop.sameUser && desktop.elevated == toolElevated) return RestartRoute::kToolsOwnToken;
  // Never the tool's own token otherwise: the tray program would keep rights or an account that
  // are not the desktop's.
  return desktop.tokenUsable ? RestartRoute::kDesktopToken : RestartRoute::kLeaveToTheUser;
}

}  // namespace qv
