// An emulated HID bus with key pads and foreign devices behind the HID port, for the tests and
// the demo program. Thread-safe: devices can be attached and detached from one thread while
// another exchanges with them.
//
// Input reports are queued per open handle, as the HID class driver keeps them: a handle sees only
// reports that arrive after it was opened. ReadInput waits on a clock that is either real
// (a condition variable; another thread may deliver the answer) or virtual (time jumps straight
// to the next scheduled answer or to the time-out, so long silences cost no real time).
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "device/hid_port.h"
#include "emulator/key_pad_firmware.h"

namespace qv {

using EmulatedDeviceId = int;

struct EmulatedKeyPad {
  std::uint16_t productId = 0x1224;
  std::uint16_t version = 0x0100;
  // Bluetooth LE key pad: framed 17-byte reports, no feature report, a HID service path.
  bool bluetooth = false;
  // Bluetooth LE only: attributes read all zero, the ids come from the path.
  bool zeroAttributes = true;
  std::uint32_t serial = 123456;
  std::uint8_t status = 0x00;
  std::string password;  // non-empty: registered (status bit 0 is set)
  std::uint8_t reportId = 0x03;
  std::uint16_t featureReportLength = 64;  // USB key pads
  // Extra collections of the same device with other usage pages (keyboard, consumer control).
  bool composite = true;
  // Held exclusively by another program: the command collection cannot be opened.
  bool exclusive = false;
};

// Any other HID collection (for example the virtual mouse and keyboard of vendor 0x845E).
struct ForeignDeviceSpec {
  std::uint16_t vendorId = 0x845E;
  std::uint16_t productId = 0x0001;
  std::uint16_t version = 0x0100;
  std::uint16_t usagePage = 0x0001;
  std::uint16_t usage = 0x0002;
  std::uint16_t inputReportLength = 5;
  std::uint16_t outputReportLength = 0;
  std::uint16_t featureReportLength = 0;
  std::u16string path;  // empty: a generated path
};

struct KeyPadFaults {
  bool silent = false;             // receives requests, never answers
  std::uint32_t replyDelayMs = 0;  // answers arrive this late (framed transport)
  bool wrongCommandEcho = false;   // answers name another command
  bool wrongKeyEcho = false;       // key-code answers name the previous key
  std::uint8_t firstSequence = 1;  // sequence number of an answer's first packet
  bool skipSequence = false;       // an answer's second packet skips one sequence number
  bool keepsSending = false;       // after an answer, continuation packets never stop
  int vanishAfterRequests = -1;    // detaches itself after answering this many more requests
  // Requests with this command are received but neither carried out nor answered.
  std::optional<std::uint8_t> unansweredCommand;
  // Writes of this key number are taken and answered as usual but not stored (a key pad whose
  // memory drops a write): only reading the key back shows it.
  std::optional<int> dropsWriteOfKey;
  // Output reports never complete (a stalled Bluetooth LE link): each write on an overlapped
  // handle waits out its time-out on the clock and fails; nothing reaches the key pad.
  bool stallsWrites = false;
  // Replaces the next answer: a body (command, length, data) or raw 17-byte input packets.
  std::optional<std::vector<std::uint8_t>> nextReplyBody;
  std::optional<std::vector<std::vector<std::uint8_t>>> nextReplyPackets;
};

class EmulatedHidSystem : public HidSystem {
 public:
  enum class ClockMode { kReal, kVirtual };

  explicit EmulatedHidSystem(ClockMode clockMode = ClockMode::kReal);
  ~EmulatedHidSystem() override;

  // ---- the bus
  EmulatedDeviceId AttachKeyPad(const EmulatedKeyPad& keyPadSpec);
  EmulatedDeviceId AttachForeignDevice(const ForeignDeviceSpec& keyPadSpec);
  // The device disappears: its paths leave the enumeration, its open handles fail.
  void Detach(EmulatedDeviceId id);
  bool IsAttached(EmulatedDeviceId id);
  // Device interface path of a key pad's command collection.
  std::u16string CommandPath(EmulatedDeviceId id);
  std::size_t OpenHandleCount();

  // ---- the clock
  std::uint64_t NowMs();

  // ---- key pad state and fault injection (unknown ids: defaults / no effect)
  KeyPadFaults Faults(EmulatedDeviceId id);
  void SetFaults(EmulatedDeviceId id, const KeyPadFaults& faults);
  std::vector<ReceivedRequest> Requests(EmulatedDeviceId id);
  void ClearRequests(EmulatedDeviceId id);
  std::uint8_t Status(EmulatedDeviceId id);
  void SetStatus(EmulatedDeviceId id, std::uint8_t status);
  // The byte the last WriteStatusByte carried (the key pad keeps its own access bits), or -1.
  int LastStatusWrite(EmulatedDeviceId id);
  std::string Password(EmulatedDeviceId id);
  KeyCodeRecord Record(EmulatedDeviceId id, int keyNumber);
  void SetRecord(EmulatedDeviceId id, int keyNumber, const KeyCodeRecord& record);
  int ActivePage(EmulatedDeviceId id);
  void SetActivePage(EmulatedDeviceId id, int page);
  // Raw reports the key pad received, and how many input packets its handles have read.
  std::vector<std::vector<std::uint8_t>> OutputReports(EmulatedDeviceId id);
  std::vector<std::vector<std::uint8_t>> FeatureReports(EmulatedDeviceId id);
  std::size_t InputReportsRead(EmulatedDeviceId id);
  // The key pad sends an input report now (to every handle open on its command collection), or
  // after delayMs on the clock.
  void SendInput(EmulatedDeviceId id, const std::vector<std::uint8_t>& report,
                 std::uint32_t delayMs = 0);

  // ---- HidSystem
  bool EnumeratePaths(std::vector<std::u16string>& paths) override;
  HidHandle Open(std::u16string_view path, bool overlapped) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes& attributes) override;
  bool GetCaps(HidHandle handle, HidCaps& caps) override;
  bool GetFirstValueCaps(HidHandle handle, HidReportKind kind, HidValueCaps& valueCaps) override;
  bool SetFeature(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  // Accepted on any open handle of the key pad's command collection, synchronous or overlapped.
  bool WriteOutput(HidHandle handle, const std::uint8_t* report, std::size_t length,
                   std::uint32_t timeoutMs) override;
  void AbortWaits() override;
  HidReadResult ReadInput(HidHandle handle, std::uint8_t* report, std::size_t length,
                          std::uint32_t timeoutMs, std::size_t& bytesRead) override;

 private:
  struct Collection;
  struct Device;
  struct OpenHandle;
  struct Scheduled;

  Device* FindDevice(EmulatedDeviceId id);
  OpenHandle* FindHandle(HidHandle handle);
  // The handle's collection when the handle is open and its device attached.
  Collection* LiveCollection(HidHandle handle, Device** device = nullptr);
  std::uint64_t NowLocked() const;
  // Lets `ms` pass on the clock (the virtual clock jumps), the lock released meanwhile.
  void WaitOut(std::unique_lock<std::mutex>& lock, std::uint32_t ms);
  void DeliverDue();
  void Deliver(Device& device, const std::vector<std::uint8_t>& report);
  void Answer(Device& device, const ReceivedRequest& request, bool framed);
  std::vector<std::vector<std::uint8_t>> Packetize(const Device& device,
                                                   const std::vector<std::uint8_t>& body) const;
  void TakeFramedPacket(Device& device, const std::uint8_t* report);
  EmulatedDeviceId ReserveDeviceId();
  EmulatedDeviceId AddDevice(std::unique_ptr<Device> device);
  void DetachLocked(Device& device);

  std::mutex mutex_;
  std::condition_variable arrived_;
  // Counts AbortWaits calls: a read that sees it change ends as a time-out.
  std::uint64_t abortGeneration_ = 0;
  const ClockMode clockMode_;
  const std::chrono::steady_clock::time_point start_;
  std::uint64_t virtualNowMs_ = 0;
  EmulatedDeviceId nextDeviceId_ = 1;
  HidHandle nextHandle_ = 0x100;
  std::map<EmulatedDeviceId, std::unique_ptr<Device>> devices_;  // in attach order, detached too
  std::map<HidHandle, std::unique_ptr<OpenHandle>> handles_;
  std::vector<Scheduled> scheduled_;
};

}  // namespace qv
