// The key pads' side of the program's end when Windows ends the session or an installer closes
// the program (Restart Manager): the end must not leave a key pad in its editing state, nor wait
// long on a key pad that does not answer.
#pragma once

#include <cstdint>

#include "access/key_pad_table.h"
#include "device/device_context.h"

namespace qv {

// How long one framed exchange may wait while the session ends: Windows gives a program a few
// seconds in all, and a Bluetooth LE key pad that does not answer would otherwise take five
// seconds for each.
inline constexpr std::uint32_t kSessionEndFramedTimeoutMs = 1000;

// What the end does for the key pads: which one gets its resume value, built on which status.
struct SessionEndSettle {
  int slot = kNoCommandKeyPad;  // kNoCommandKeyPad: no key pad is left in its editing state
  std::uint8_t status = 0;      // the status the command read before its editing value
};

// The first step of the end: framed exchanges wait at most kSessionEndFramedTimeoutMs from now
// on, and those waiting now on a key pad that does not answer end at once. It comes before the
// soft keyboards are closed, since each close waits for its keyboard's exchange in flight.
void CutKeyPadWaitsForSessionEnd(DeviceContext& device);

// The key pad a running command put into its editing state and has not resumed yet.
SessionEndSettle PlanSessionEndSettle(const KeyPadTable& table);

// Ends the key pads' part of a running command for the end of the session: the command's
// remaining steps send nothing more and ask nothing (the key pad counts as gone for them), and
// the key pad it left in its editing state gets its resume value, built on the status it tells
// now (a dialog may have changed its buzzer or interface bits), or on the status the command
// read when it does not answer. The key pads' waits are cut again first
// (CutKeyPadWaitsForSessionEnd). True when a resume value was written.
bool SettleKeyPadsForSessionEnd(KeyPadTable& table, DeviceContext& device);

}  // namespace qv
