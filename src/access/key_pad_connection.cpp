#include "access/key_pad_connection.h"

#include <vector>

#include "device/device_commands.h"
#include "device/exchange_pass.h"

namespace qv {
namespace {

// A presence search starts over when the count of key pads changed while it ran; a key pad that
// keeps coming and going (a loose cable) must not hold the main thread in that loop.
constexpr int kMaxPresenceSearches = 8;

// Statuses that need the connection-time prompt: a password is set, not authenticated.
constexpr std::uint8_t kPromptStatusMask = kStatusAuthenticated | kStatusPasswordSet;

struct KeyPadIdentity {
  std::uint32_t modelIdentity = 0;
  std::uint32_t serialNumber = 0;
  bool read = false;  // ReadDeviceInfo answered
};

// Opens the key pad at a slot-order position into a temporary link and reads its identity; the
// link closes its handles when it goes out of scope, whichever way this returns.
KeyPadIdentity ReadIdentityAt(DeviceContext& context, const KeyPadCensus& census,
                              unsigned position) {
  KeyPadIdentity identity;
  DeviceLink link;
  identity.modelIdentity = OpenKeyPadAt(context, census, position, link);
  if (identity.modelIdentity == 0) return identity;
  DeviceInfo info{};
  if (ReadDeviceInfo(context, link, info)) {
    identity.serialNumber = SerialFromDeviceInfo(info);
    identity.read = true;
  }
  return identity;
}

unsigned CappedCount(const KeyPadCensus& census) {
  return census.total < static_cast<unsigned>(kMaxKeyPads) ? census.total
                                                           : static_cast<unsigned>(kMaxKeyPads);
}

// The connection-time prompt of slot k with status s: repeats while the user chooses to
// initialise and then declines the reset.
void PromptAtConnection(KeyPadTable& table, ConnectionPorts& ports, int k, std::uint8_t s) {
  KeyPadSlot& slot = table.slots[k];
  // The user acts here: what the prompt sends gets the key pad's real answer, whatever the scan
  // has found silent so far.
  ExchangePassPause userActs(ports.device);
  const std::uint16_t savedSelected = table.selectedKeyPad;
  // Taken like every command takes it; given back only when taken here, so a soft keyboard's
  // command that ends meanwhile cannot have its release undone by a stale saved value.
  const bool tookModal = TakeModal(table);
  // commandActive keeps the rescan away while the prompt's modal loop runs and lets the presence
  // check watch this key pad.
  table.commandActive = true;
  table.commandKeyPad = k;
  for (;;) {
    table.selectedKeyPad = static_cast<std::uint16_t>(k);
    table.softKeyAuthMode = false;
    const int result = ports.prompts.PasswordPrompt(k);
    if (!table.keyPadPresent) break;
    if (result == kPromptInitialise) {
      if (!ports.prompts.FactoryResetKeyPad(k)) {
        // The key pad went away while the reset's confirmation was open: no prompt again for a
        // key pad that is not there.
        if (!table.keyPadPresent) break;
        continue;
      }
      slot.accessState = AccessState::Open;
    } else if (result == kPromptAccepted) {
      WriteStatusByte(ports.device, slot.link, ResumeStatusValue(s));
    } else if (result == kPromptCancelled) {
      slot.accessState = AccessState::Locked;
      slot.authDeclined = true;
    }
    break;
  }
  if (tookModal) ReleaseModal(table);
  table.commandActive = false;
  table.commandKeyPad = kNoCommandKeyPad;
  table.selectedKeyPad = savedSelected;
}

}  // namespace

KeyPadCensus TakeKeyPadCensus(DeviceContext& context) {
  KeyPadCensus census;
  DeviceLink scratch;
  for (std::size_t i = 0; i < kProductIds.size(); ++i) {
    census.perProduct[i] = OpenKeyPad(context, scratch, kProductIds[i], nullptr, 0, true);
    census.total += census.perProduct[i];
  }
  return census;
}

std::uint32_t OpenKeyPadAt(DeviceContext& context, const KeyPadCensus& census, unsigned position,
                           DeviceLink& link) {
  // Only the product id whose counted range holds the position is opened: trying the smaller
  // product ids with an ordinal beyond their count would enumerate (and ping) their key pads
  // again for nothing.
  unsigned before = 0;
  for (std::size_t i = 0; i < kProductIds.size(); ++i) {
    const unsigned count = census.perProduct[i];
    if (position < before + count) {
      std::uint16_t version = 0;
      const auto ordinal = static_cast<std::uint16_t>(position - before + 1);
      if (OpenKeyPad(context, link, kProductIds[i], &version, ordinal, false) != ordinal) return 0;
      return ModelIdentity(version, kProductIds[i]);
    }
    before += count;
  }
  return 0;
}

namespace {

// A key pad the table knew before a rescan, with the access state it takes along.
struct KnownKeyPad {
  std::uint32_t modelIdentity = 0;
  std::uint32_t serialNumber = 0;
  CarriedAccess access;
  bool claimed = false;
};

void Connect(KeyPadTable& table, ConnectionPorts& ports, std::vector<KnownKeyPad>& known) {
  DeviceContext& device = ports.device;
  const KeyPadCensus census = TakeKeyPadCensus(device);
  const unsigned count = CappedCount(census);
  table.keyPadCount = static_cast<std::uint16_t>(count);
  std::array<bool, kMaxKeyPads> inUse{};

  for (unsigned k = 0; k < count; ++k) {
    KeyPadSlot& slot = table.slots[k];
    // A link still open from an earlier connection would otherwise be lost with its handles.
    CloseLink(device, slot.link);
    slot.modelIdentity = OpenKeyPadAt(device, census, k, slot.link);
    slot.serialNumber = 0;
    if (slot.modelIdentity == 0) continue;

    DeviceInfo info{};
    if (!ReadDeviceInfo(device, slot.link, info)) {
      slot.modelIdentity = 0;
      continue;
    }
    slot.serialNumber = SerialFromDeviceInfo(info);
    const std::uint8_t s = info[0];

    // After a rescan the key pad takes along the state it had, found by the identity it has just
    // told, not by where it was counted: a key pad plugged in while the scan runs cannot take
    // over another one's state. Two key pads with the same identity keep one state each.
    for (KnownKeyPad& entry : known) {
      if (!entry.claimed && entry.modelIdentity == slot.modelIdentity &&
          entry.serialNumber == slot.serialNumber) {
        InstallCarriedAccess(slot, entry.access);
        entry.claimed = true;
        break;
      }
    }

    if ((s & kPromptStatusMask) == kStatusPasswordSet && !slot.authDeclined)
      PromptAtConnection(table, ports, static_cast<int>(k), s);

    // The key pad a command worked on has gone (now or before this scan): stop here.
    if (!table.keyPadPresent) break;

    if (s & kStatusAuthenticated) slot.accessState = AccessState::Authenticated;
    if ((s & kStatusPasswordSet) == 0) slot.accessState = AccessState::Open;
    slot.softKeyAuthenticated = kSoftKeyNotAuthenticated;

    if (HasSoftKeyboard(table, device, static_cast<int>(k))) {
      char16_t folder[kPathChars];
      if (KeyPadFolder(table, ports.softKeyFolder, static_cast<int>(k), folder))
        ports.softKeyboards.CreateFolder(BoundedView(folder));
      ports.softKeyboards.LoadSoftKeyAssets(static_cast<int>(k));
      StartSoftKeyboard(table, ports, static_cast<int>(k));
      inUse[k] = true;
      slot.softKeyAuthenticated = kSoftKeyNotAuthenticated;
      slot.settingsLocked = true;
    }
  }

  for (int i = 0; i < kMaxKeyPads; ++i)
    if (!inUse[i]) CloseSoftKeyboard(ports.softKeyboards, i);
}

// Sets a flag of the table for the whole run of a rescan or presence check.
class ScopedFlag {
 public:
  explicit ScopedFlag(std::atomic<bool>& flag) : flag_(flag) { flag_ = true; }
  ~ScopedFlag() { flag_ = false; }
  ScopedFlag(const ScopedFlag&) = delete;
  ScopedFlag& operator=(const ScopedFlag&) = delete;

 private:
  std::atomic<bool>& flag_;
};

}  // namespace

void RescanKeyPads(KeyPadTable& table, ConnectionPorts& ports) {
  DeviceContext& device = ports.device;
  ExchangePass pass(device);
  ScopedFlag running(table.rescanRunning);
  const int oldCount = CountedSlots(table);

  // Every key pad takes its access state along to the slot it lands in, matched by model
  // identity and serial number when the scan reads them. The match is made on every rescan, not
  // only when the count changed: one key pad swapped for another between two scans must not
  // inherit the state, an authentication included, of the one that left. A slot whose key pad
  // was not identified passes nothing on.
  std::vector<KnownKeyPad> known;
  for (int i = 0; i < oldCount; ++i) {
    const KeyPadSlot& old = table.slots[i];
    if (old.modelIdentity != 0)
      known.push_back(KnownKeyPad{old.modelIdentity, old.serialNumber, TakeCarriedAccess(old)});
  }

  // The soft keyboards go first: they talk to their key pads through these links.
  for (int i = 0; i < oldCount; ++i) {
    CloseSoftKeyboard(ports.softKeyboards, i);
    CloseLink(device, table.slots[i].link);
  }
  for (KeyPadSlot& slot : table.slots) {
    slot.serialNumber = 0;
    slot.modelIdentity = 0;
    InstallCarriedAccess(slot, CarriedAccess{});
  }

  Connect(table, ports, known);
}

bool VerifySelectedKeyPad(KeyPadTable& table, ConnectionPorts& ports) {
  if (!table.commandActive) return true;
  // One check at a time: the forced close message box runs the timers in its own loop, and a
  // second check from there would stack a second box on the first. The running check decides.
  if (table.presenceCheckRunning) return table.keyPadPresent;
  ScopedFlag running(table.presenceCheckRunning);
  DeviceContext& device = ports.device;
  // The key pad the command chose; before it has chosen one (the selection dialog), the
  // selected slot.
  const int chosen = table.commandKeyPad;
  const int selected = IsSlot(chosen) ? chosen : static_cast<int>(table.selectedKeyPad);
  if (IsSlot(selected)) {
    // The search is one pass; it ends before the message box, whose modal loop runs timers.
    ExchangePass pass(device);
    const KeyPadSlot& wanted = table.slots[selected];
    KeyPadCensus census = TakeKeyPadCensus(device);
    for (int search = 0; search < kMaxPresenceSearches; ++search) {
      for (unsigned j = 0; j < census.total; ++j) {
        const KeyPadIdentity identity = ReadIdentityAt(device, census, j);
        if (identity.read && identity.serialNumber == wanted.serialNumber &&
            identity.modelIdentity == wanted.modelIdentity)
          return true;
      }
      const KeyPadCensus again = TakeKeyPadCensus(device);
      if (again.total == census.total) break;
      census = again;
    }
  }
  ports.presenceUi.ShowForcedCloseMessage();
  ports.presenceUi.CloseOwnedWindows();
  return false;
}

int ProbeKeyPad(KeyPadTable& table, DeviceContext& context, int slot) {
  if (!IsSlot(slot)) return -1;
  KeyPadSlot& entry = table.slots[slot];
  if (!IsBravaModel(entry.modelIdentity)) return -1;
  return PingLink(context, entry.link) ? 1 : 0;
}

bool ReadKeyPadStatus(KeyPadTable& table, DeviceContext& context, int slot, std::uint8_t& status) {
  if (!IsSlot(slot)) return false;
  DeviceInfo info{};
  if (!ReadDeviceInfo(context, table.slots[slot].link, info)) return false;
  status = info[0];
  return true;
}

std::uint8_t StatusToResumeOn(KeyPadTable& table, DeviceContext& context, int slot,
                              std::uint8_t before) {
  std::uint8_t now = before;
  return ReadKeyPadStatus(table, context, slot, now) ? now : before;
}

bool HasSoftKeyboard(KeyPadTable& table, DeviceContext& context, int slot) {
  if (!IsSlot(slot)) return false;
  KeyPadSlot& entry = table.slots[slot];
  switch (entry.modelIdentity) {
    case kModel01001224:
    case kModel01001225:
    case kModel0100130C:
    case kModel0100130D:
    case kModelA100074F:
    case kModelB5B50777:
      return true;
    case kModelB4B4074F:
      return PingLink(context, entry.link);
    default:
      return false;
  }
}

void StartSoftKeyboard(KeyPadTable& table, ConnectionPorts& ports, int slot) {
  if (!IsSlot(slot) || ports.softKeyboards.SoftKeyboardThreadExists(slot)) return;
  KeyPadSlot& entry = table.slots[slot];
  // Read aside and taken over under the mirror's lock, like every write soft keyboards may see.
  KeyCodeRecords records = ports.keyCodeCache.slots[slot];
  ReadAllKeyCodes(ports.device, entry.link, ProductIdOf(entry.modelIdentity), records);
  {
    const std::lock_guard lock(ports.keyCodeCache.mutex);
    ports.keyCodeCache.slots[slot] = records;
  }
  const SoftKeyLayout layout = entry.modelIdentity == kModelB5B50777 ? SoftKeyLayout::kAlternative
                                                                     : SoftKeyLayout::kStandard;
  ports.softKeyboards.StartSoftKeyboardThread(slot, layout);
}

void CloseSoftKeyboard(SoftKeyboardHost& host, int slot) {
  if (!IsSlot(slot) || !host.SoftKeyboardThreadExists(slot)) return;
  host.CloseSoftKeyboardThread(slot);
}

}  // namespace qv
