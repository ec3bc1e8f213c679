// Connecting the attached key pads to the slots of the key pad table, rescanning them when the
// system reports a keyboard change, and checking that the key pad a command works on is still
// attached.
#pragma once

#include <array>
#include <cstdint>

#include "access/access_ports.h"
#include "access/key_pad_table.h"
#include "device/device_context.h"
#include "device/device_link.h"

namespace qv {

// How many key pads of each product id are attached (index as in kProductIds) and in all.
struct KeyPadCensus {
  std::array<std::uint16_t, kProductIds.size()> perProduct{};
  unsigned total = 0;
};
KeyPadCensus TakeKeyPadCensus(DeviceContext& context);

// Opens the key pad at `position` (0-based) of the slot order: product ids ascending, and within
// one product id the system's enumeration order. Returns its model identity, or 0 with nothing
// open when no key pad opens there.
std::uint32_t OpenKeyPadAt(DeviceContext& context, const KeyPadCensus& census, unsigned position,
                           DeviceLink& link);

// The full scan, at start (on an empty table) and at every keyboard change: drops every link and
// soft keyboard, counts the key pads, opens slot by slot, reads each one's identity and status,
// asks for the password when the key pad demands it, and starts the soft keyboards. Each key pad
// keeps its access state wherever it lands. Key pads after the 16th in slot order are left out.
void RescanKeyPads(KeyPadTable& table, ConnectionPorts& ports);

// While a command is active: whether its key pad (selectedKeyPad) is still attached. When it is
// gone, the forced close message is shown, the main window's dialogs are closed and the result is
// false. Without an active command: true.
bool VerifySelectedKeyPad(KeyPadTable& table, ConnectionPorts& ports);

// -1: not a Brava key pad (nothing sent); 1: a Brava key pad that answered PingLink; 0: one that
// did not.
int ProbeKeyPad(KeyPadTable& table, DeviceContext& context, int slot);

// The slot's status byte; false, with `status` untouched, when the key pad does not answer (an
// unanswered read is never taken for a status: 0 would mean "no password").
bool ReadKeyPadStatus(KeyPadTable& table, DeviceContext& context, int slot, std::uint8_t& status);

// The status a key pad's resume value is built on when a command's editing ends (after the
// key-code dialog, and at the end of the session): the status it tells now, since a dialog may
// have changed its buzzer or interface bits, or the status the command read before its editing
// value when it does not answer. Never the editing value itself, which would leave the key pad
// reading as one without a password.
std::uint8_t StatusToResumeOn(KeyPadTable& table, DeviceContext& context, int slot,
                              std::uint8_t before);

// Whether the slot's key pad gets a soft keyboard (pings a 0xB4B4074F key pad).
bool HasSoftKeyboard(KeyPadTable& table, DeviceContext& context, int slot);

// Reads the key pad's key codes into the cache and starts its soft keyboard thread, unless the
// slot has one already.
void StartSoftKeyboard(KeyPadTable& table, ConnectionPorts& ports, int slot);

// Closes the slot's soft keyboard, if it has one.
void CloseSoftKeyboard(SoftKeyboardHost& host, int slot);

}  // namespace qv
