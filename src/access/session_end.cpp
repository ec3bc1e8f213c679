#include "access/session_end.h"

#include "access/key_pad_connection.h"
#include "device/device_commands.h"

namespace qv {

SessionEndSettle PlanSessionEndSettle(const KeyPadTable& table) {
  const int slot = table.commandKeyPad.load();
  const int status = table.editingStatus.load();
  if (!table.commandActive.load() || !IsSlot(slot) || slot >= CountedSlots(table) || status < 0 ||
      status > 0xFF) {
    return SessionEndSettle{};
  }
  return SessionEndSettle{slot, static_cast<std::uint8_t>(status)};
}

void CutKeyPadWaitsForSessionEnd(DeviceContext& device) {
  if (device.framedTimeoutMs > kSessionEndFramedTimeoutMs)
    device.framedTimeoutMs = kSessionEndFramedTimeoutMs;
  // Exchanges already waiting on a key pad that stopped answering (another thread's, which the
  // close or the resume write would wait behind) end now instead of after their whole time-out.
  device.hid.AbortWaits();
}

bool SettleKeyPadsForSessionEnd(KeyPadTable& table, DeviceContext& device) {
  const SessionEndSettle settle = PlanSessionEndSettle(table);
  // Every step of a command checks this flag after its dialogs: with it cleared the command
  // unwinds without another exchange or message box.
  table.keyPadPresent = false;
  CutKeyPadWaitsForSessionEnd(device);
  if (settle.slot == kNoCommandKeyPad) return false;
  const std::uint8_t base = StatusToResumeOn(table, device, settle.slot, settle.status);
  WriteStatusByte(device, table.slots[settle.slot].link, ResumeStatusValue(base));
  table.editingStatus = -1;
  return true;
}

}  // namespace qv
