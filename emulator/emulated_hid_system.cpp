#include "emulator/emulated_hid_system.h"

#include <algorithm>
#include <cstring>

#include "common/bounded_text.h"
#include "device/device_commands.h"

namespace qv {
namespace {

constexpr std::uint16_t kKeyPadVendorId = 0xEA7C;
constexpr std::uint16_t kCommandUsagePage = 0xFFA0;
constexpr std::uint16_t kPacketLength = 17;
constexpr std::size_t kPacketData = 14;
constexpr std::size_t kInputQueueLimit = 32;         // reports a handle buffers, oldest dropped
constexpr std::size_t kIncomingMessageLimit = 2048;  // key pad side reassembly
constexpr std::uint8_t kFirstPacketFlag = 0x80;
constexpr char16_t kHidInterfaceGuid[] = u"{4d1e55b2-f16f-11cf-88cb-001111000030}";

}  // namespace

struct EmulatedHidSystem::Collection {
  std::u16string path;
  HidAttributes attributes;
  HidCaps caps;
  std::optional<HidValueCaps> featureValueCaps;
  std::optional<HidValueCaps> outputValueCaps;
  bool command = false;  // the key pad's command collection
  bool openable = true;
};

struct EmulatedHidSystem::Device {
  EmulatedDeviceId id = 0;
  bool attached = true;
  std::vector<Collection> collections;
  std::size_t commandCollection = 0;

  // Key pads only.
  std::unique_ptr<KeyPadFirmware> firmware;
  EmulatedKeyPad keyPadSpec;
  KeyPadFaults faults;
  std::vector<std::uint8_t> featureReply;  // what GetFeature returns
  bool hasFeatureReply = false;
  std::vector<std::uint8_t> incoming;  // framed request being reassembled
  bool receiving = false;
  int incomingSequence = 0;
  bool babbling = false;  // keeps sending continuation packets
  std::uint8_t babbleSequence = 0;
  std::vector<std::vector<std::uint8_t>> outputReports;
  std::vector<std::vector<std::uint8_t>> featureReports;
  std::size_t inputReportsRead = 0;
};

struct EmulatedHidSystem::OpenHandle {
  EmulatedDeviceId device = 0;
  std::size_t collection = 0;
  bool overlapped = false;
  std::deque<std::vector<std::uint8_t>> queue;
};

struct EmulatedHidSystem::Scheduled {
  std::uint64_t dueMs = 0;
  EmulatedDeviceId device = 0;
  std::vector<std::uint8_t> report;
};

EmulatedHidSystem::EmulatedHidSystem(ClockMode clockMode)
    : clockMode_(clockMode), start_(std::chrono::steady_clock::now()) {}

EmulatedHidSystem::~EmulatedHidSystem() = default;

// ------------------------------------------------------------------------------- the bus

EmulatedDeviceId EmulatedHidSystem::ReserveDeviceId() {
  std::lock_guard<std::mutex> lock(mutex_);
  return nextDeviceId_++;
}

EmulatedDeviceId EmulatedHidSystem::AddDevice(std::unique_ptr<Device> device) {
  std::lock_guard<std::mutex> lock(mutex_);
  EmulatedDeviceId id = device->id;
  devices_[id] = std::move(device);
  return id;
}

EmulatedDeviceId EmulatedHidSystem::AttachKeyPad(const EmulatedKeyPad& keyPadSpec) {
  auto device = std::make_unique<Device>();
  device->id = ReserveDeviceId();
  const unsigned instance = static_cast<unsigned>(device->id);
  device->keyPadSpec = keyPadSpec;
  std::uint8_t status = keyPadSpec.status;
  if (!keyPadSpec.password.empty()) status |= 0x01;
  device->firmware = std::make_unique<KeyPadFirmware>(keyPadSpec.productId, keyPadSpec.version,
                                                      keyPadSpec.serial, status);
  device->firmware->password = keyPadSpec.password;
  device->faults.firstSequence = 1;

  HidAttributes attributes{kKeyPadVendorId, keyPadSpec.productId, keyPadSpec.version};
  char16_t path[kPathChars];
  if (keyPadSpec.bluetooth) {
    HidAttributes shown = keyPadSpec.zeroAttributes ? HidAttributes{} : attributes;
    if (keyPadSpec.composite) {
      BoundedFormat(path,
                    u"\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02%04x_pid&%04x_"
                    u"rev&%04x_c0ffee00%04x&col01#9&1c2d3e4f&0&%04u#%s",
                    {unsigned{kKeyPadVendorId}, unsigned{keyPadSpec.productId},
                     unsigned{keyPadSpec.version}, instance, instance, kHidInterfaceGuid});
      Collection keyboard{path, shown, HidCaps{0x0006, 0x0001, 9, 2, 0}, std::nullopt,
                          std::nullopt};
      device->collections.push_back(keyboard);
    }
    BoundedFormat(path,
                  u"\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02%04x_pid&%04x_"
                  u"rev&%04x_c0ffee00%04x&col02#9&1c2d3e4f&0&%04u#%s",
                  {unsigned{kKeyPadVendorId}, unsigned{keyPadSpec.productId},
                   unsigned{keyPadSpec.version}, instance, instance, kHidInterfaceGuid});
    Collection command{path, shown,
                       HidCaps{0x0001, kCommandUsagePage, kPacketLength, kPacketLength, 0},
                       std::nullopt, HidValueCaps{kCommandUsagePage, keyPadSpec.reportId}};
    command.command = true;
    command.openable = !keyPadSpec.exclusive;
    device->collections.push_back(command);
  } else {
    if (keyPadSpec.composite) {
      BoundedFormat(
          path, u"\\\\?\\hid#vid_%04x&pid_%04x&mi_00#8&2b3c4d5e&0&%04u#%s",
          {unsigned{kKeyPadVendorId}, unsigned{keyPadSpec.productId}, instance, kHidInterfaceGuid});
      device->collections.push_back(Collection{path, attributes, HidCaps{0x0006, 0x0001, 9, 2, 0},
                                               std::nullopt, std::nullopt});
      BoundedFormat(
          path, u"\\\\?\\hid#vid_%04x&pid_%04x&mi_01&col01#8&2b3c4d5e&0&%04u#%s",
          {unsigned{kKeyPadVendorId}, unsigned{keyPadSpec.productId}, instance, kHidInterfaceGuid});
      device->collections.push_back(Collection{path, attributes, HidCaps{0x0001, 0x000C, 3, 0, 0},
                                               std::nullopt, std::nullopt});
    }
    BoundedFormat(
        path, u"\\\\?\\hid#vid_%04x&pid_%04x&mi_01&col02#8&2b3c4d5e&0&%04u#%s",
        {unsigned{kKeyPadVendorId}, unsigned{keyPadSpec.productId}, instance, kHidInterfaceGuid});
    Collection command{path, attributes,
                       HidCaps{0x0001, kCommandUsagePage, 0, 0, keyPadSpec.featureReportLength},
                       HidValueCaps{kCommandUsagePage, keyPadSpec.reportId}, std::nullopt};
    command.command = true;
    command.openable = !keyPadSpec.exclusive;
    device->collections.push_back(command);
  }
  device->commandCollection = device->collections.size() - 1;
  return AddDevice(std::move(device));
}

EmulatedDeviceId EmulatedHidSystem::AttachForeignDevice(const ForeignDeviceSpec& keyPadSpec) {
  auto device = std::make_unique<Device>();
  device->id = ReserveDeviceId();
  char16_t path[kPathChars];
  if (keyPadSpec.path.empty())
    BoundedFormat(path, u"\\\\?\\hid#vid_%04x&pid_%04x#1&4f5e6d7c&0&%04u#%s",
                  {unsigned{keyPadSpec.vendorId}, unsigned{keyPadSpec.productId},
                   static_cast<unsigned>(device->id), kHidInterfaceGuid});
  else
    BoundedCopy(path, keyPadSpec.path);
  Collection collection{
      path, HidAttributes{keyPadSpec.vendorId, keyPadSpec.productId, keyPadSpec.version},
      HidCaps{keyPadSpec.usage, keyPadSpec.usagePage, keyPadSpec.inputReportLength,
              keyPadSpec.outputReportLength, keyPadSpec.featureReportLength},
      std::nullopt, std::nullopt};
  if (keyPadSpec.featureReportLength != 0)
    collection.featureValueCaps = HidValueCaps{keyPadSpec.usagePage, 1};
  if (keyPadSpec.outputReportLength != 0)
    collection.outputValueCaps = HidValueCaps{keyPadSpec.usagePage, 1};
  device->collections.push_back(collection);
  return AddDevice(std::move(device));
}

void EmulatedHidSystem::Detach(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Device* device = FindDevice(id)) DetachLocked(*device);
}

void EmulatedHidSystem::DetachLocked(Device& device) {
  device.attached = false;
  device.babbling = false;
  const EmulatedDeviceId id = device.id;
  scheduled_.erase(std::remove_if(scheduled_.begin(), scheduled_.end(),
                                  [id](const Scheduled& s) { return s.device == id; }),
                   scheduled_.end());
  arrived_.notify_all();
}

bool EmulatedHidSystem::IsAttached(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device != nullptr && device->attached;
}

std::u16string EmulatedHidSystem::CommandPath(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device ? device->collections[device->commandCollection].path : std::u16string();
}

std::size_t EmulatedHidSystem::OpenHandleCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.size();
}

EmulatedHidSystem::Device* EmulatedHidSystem::FindDevice(EmulatedDeviceId id) {
  auto it = devices_.find(id);
  return it == devices_.end() ? nullptr : it->second.get();
}

EmulatedHidSystem::OpenHandle* EmulatedHidSystem::FindHandle(HidHandle handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second.get();
}

EmulatedHidSystem::Collection* EmulatedHidSystem::LiveCollection(HidHandle handle,
                                                                 Device** deviceOut) {
  OpenHandle* open = FindHandle(handle);
  if (open == nullptr) return nullptr;
  Device* device = FindDevice(open->device);
  if (device == nullptr || !device->attached) return nullptr;
  if (deviceOut != nullptr) *deviceOut = device;
  return &device->collections[open->collection];
}

// ------------------------------------------------------------------------------- the clock

std::uint64_t EmulatedHidSystem::NowLocked() const {
  if (clockMode_ == ClockMode::kVirtual) return virtualNowMs_;
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - start_)
                                        .count());
}

std::uint64_t EmulatedHidSystem::NowMs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return NowLocked();
}

void EmulatedHidSystem::DeliverDue() {
  const std::uint64_t now = NowLocked();
  // Oldest first, so that an answer's packets keep their order.
  std::stable_sort(scheduled_.begin(), scheduled_.end(),
                   [](const Scheduled& a, const Scheduled& b) { return a.dueMs < b.dueMs; });
  std::size_t due = 0;
  while (due < scheduled_.size() && scheduled_[due].dueMs <= now) {
    Device* device = FindDevice(scheduled_[due].device);
    if (device != nullptr && device->attached) Deliver(*device, scheduled_[due].report);
    ++due;
  }
  scheduled_.erase(scheduled_.begin(), scheduled_.begin() + static_cast<std::ptrdiff_t>(due));
}

void EmulatedHidSystem::Deliver(Device& device, const std::vector<std::uint8_t>& report) {
  for (auto& entry : handles_) {
    OpenHandle* open = entry.second.get();
    if (open->device != device.id || open->collection != device.commandCollection) continue;
    if (open->queue.size() >= kInputQueueLimit) open->queue.pop_front();
    open->queue.push_back(report);
  }
  arrived_.notify_all();
}

// ------------------------------------------------------------------------------- key pad side

std::vector<std::vector<std::uint8_t>> EmulatedHidSystem::Packetize(
    const Device& device, const std::vector<std::uint8_t>& body) const {
  const std::size_t length = body.size() >= 2 ? body[1] : 0;
  std::vector<std::uint8_t> message(length + 2, 0);
  std::copy_n(body.begin(), std::min(body.size(), message.size()), message.begin());
  const std::size_t count = (message.size() - 1) / kPacketData + 1;
  std::vector<std::vector<std::uint8_t>> packets;
  std::uint8_t sequence = device.faults.firstSequence;
  for (std::size_t k = 1; k <= count; ++k) {
    std::vector<std::uint8_t> packet(kPacketLength, 0);
    packet[0] = device.keyPadSpec.reportId;
    packet[1] = static_cast<std::uint8_t>(k == 1 ? (kFirstPacketFlag | count) : count - k + 1);
    if (k == 2 && device.faults.skipSequence) ++sequence;
    packet[2] = sequence++;
    for (std::size_t i = 0; i < kPacketData; ++i) {
      std::size_t at = (k - 1) * kPacketData + i;
      if (at < message.size()) packet[3 + i] = message[at];
    }
    packets.push_back(std::move(packet));
  }
  return packets;
}

void EmulatedHidSystem::Answer(Device& device, const ReceivedRequest& request, bool framed) {
  KeyPadFaults& faults = device.faults;
  device.babbling = false;
  if (faults.vanishAfterRequests > 0) --faults.vanishAfterRequests;
  if (faults.silent || (faults.unansweredCommand && *faults.unansweredCommand == request.command)) {
    device.firmware->requests.push_back(request);
    device.hasFeatureReply = false;
    return;
  }
  const bool dropped = faults.dropsWriteOfKey && request.command == kCmdWriteKeyCode &&
                       !request.payload.empty() && request.payload[0] == *faults.dropsWriteOfKey;
  const int droppedKey = dropped ? *faults.dropsWriteOfKey : 0;
  const KeyCodeRecord kept = dropped && droppedKey >= 1 && droppedKey <= kMaxKeys
                                 ? device.firmware->records[droppedKey - 1]
                                 : KeyCodeRecord{};
  std::vector<std::uint8_t> body = device.firmware->Handle(request);
  if (dropped && droppedKey >= 1 && droppedKey <= kMaxKeys)
    device.firmware->records[droppedKey - 1] = kept;
  if (faults.nextReplyBody) {
    body = *faults.nextReplyBody;
    faults.nextReplyBody.reset();
  }
  if (faults.wrongCommandEcho && !body.empty()) ++body[0];
  if (faults.wrongKeyEcho && body.size() > 2 && (body[0] == 0x04 || body[0] == 0x05)) --body[2];

  if (!framed) {
    device.featureReply.assign(device.keyPadSpec.featureReportLength, 0);
    device.featureReply[0] = device.keyPadSpec.reportId;
    std::copy_n(body.begin(), std::min(body.size(), device.featureReply.size() - 1),
                device.featureReply.begin() + 1);
    device.hasFeatureReply = true;
    return;
  }

  std::vector<std::vector<std::uint8_t>> packets;
  if (faults.nextReplyPackets) {
    packets = std::move(*faults.nextReplyPackets);
    faults.nextReplyPackets.reset();
  } else {
    packets = Packetize(device, body);
  }
  if (faults.keepsSending && !packets.empty()) {
    // No packet ever says "last": the first announces at least two, the last says two more.
    std::vector<std::uint8_t>& last = packets.back();
    if (packets.size() == 1)
      last[1] = kFirstPacketFlag | 2;
    else
      last[1] = 2;
    device.babbling = true;
    device.babbleSequence = static_cast<std::uint8_t>(last[2] + 1);
  }
  const std::uint64_t due = NowLocked() + faults.replyDelayMs;
  for (auto& packet : packets) {
    if (faults.replyDelayMs == 0)
      Deliver(device, packet);
    else
      scheduled_.push_back(Scheduled{due, device.id, std::move(packet)});
  }
}

void EmulatedHidSystem::TakeFramedPacket(Device& device, const std::uint8_t* report) {
  int count;
  if (report[1] & kFirstPacketFlag) {
    device.incoming.clear();
    device.receiving = true;
    count = report[1] & 0x7F;
  } else {
    if (!device.receiving || report[2] != device.incomingSequence + 1) {
      device.receiving = false;  // the partial request is dropped
      return;
    }
    count = report[1];
  }
  device.incomingSequence = report[2];
  if (device.incoming.size() < kIncomingMessageLimit)
    device.incoming.insert(device.incoming.end(), report + 3, report + kPacketLength);
  if (count > 1) return;

  device.receiving = false;
  ReceivedRequest request;
  request.command = device.incoming[0];
  request.declaredLength = device.incoming[1];
  const std::size_t available = device.incoming.size() - 2;
  request.payload.assign(
      device.incoming.begin() + 2,
      device.incoming.begin() + 2 +
          static_cast<std::ptrdiff_t>(std::min<std::size_t>(request.declaredLength, available)));
  Answer(device, request, true);
}

// ------------------------------------------------------------------------------- key pad state

KeyPadFaults EmulatedHidSystem::Faults(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device ? device->faults : KeyPadFaults{};
}

void EmulatedHidSystem::SetFaults(EmulatedDeviceId id, const KeyPadFaults& faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (Device* device = FindDevice(id)) device->faults = faults;
}

std::vector<ReceivedRequest> EmulatedHidSystem::Requests(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device && device->firmware ? device->firmware->requests : std::vector<ReceivedRequest>{};
}

void EmulatedHidSystem::ClearRequests(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  if (device && device->firmware) {
    device->firmware->requests.clear();
    device->outputReports.clear();
    device->featureReports.clear();
    device->inputReportsRead = 0;
  }
}

std::uint8_t EmulatedHidSystem::Status(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device && device->firmware ? device->firmware->status : 0;
}

int EmulatedHidSystem::LastStatusWrite(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device && device->firmware ? device->firmware->lastStatusWrite : -1;
}

void EmulatedHidSystem::SetStatus(EmulatedDeviceId id, std::uint8_t status) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  if (device && device->firmware) device->firmware->status = status;
}

std::string EmulatedHidSystem::Password(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device && device->firmware ? device->firmware->password : std::string();
}

KeyCodeRecord EmulatedHidSystem::Record(EmulatedDeviceId id, int keyNumber) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  if (!device || !device->firmware || keyNumber < 1 || keyNumber > kMaxKeys) return {};
  return device->firmware->records[keyNumber - 1];
}

void EmulatedHidSystem::SetRecord(EmulatedDeviceId id, int keyNumber, const KeyCodeRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  if (device && device->firmware && keyNumber >= 1 && keyNumber <= kMaxKeys)
    device->firmware->records[keyNumber - 1] = record;
}

int EmulatedHidSystem::ActivePage(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device && device->firmware ? device->firmware->activePage : 0;
}

void EmulatedHidSystem::SetActivePage(EmulatedDeviceId id, int page) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  if (device && device->firmware) device->firmware->activePage = page;
}

std::vector<std::vector<std::uint8_t>> EmulatedHidSystem::OutputReports(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device ? device->outputReports : std::vector<std::vector<std::uint8_t>>{};
}

std::vector<std::vector<std::uint8_t>> EmulatedHidSystem::FeatureReports(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device ? device->featureReports : std::vector<std::vector<std::uint8_t>>{};
}

std::size_t EmulatedHidSystem::InputReportsRead(EmulatedDeviceId id) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  return device ? device->inputReportsRead : 0;
}

void EmulatedHidSystem::SendInput(EmulatedDeviceId id, const std::vector<std::uint8_t>& report,
                                  std::uint32_t delayMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = FindDevice(id);
  if (device == nullptr || !device->attached) return;
  if (delayMs == 0)
    Deliver(*device, report);
  else
    scheduled_.push_back(Scheduled{NowLocked() + delayMs, id, report});
}

// ------------------------------------------------------------------------------- HidSystem

bool EmulatedHidSystem::EnumeratePaths(std::vector<std::u16string>& paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  DeliverDue();
  paths.clear();
  for (auto& [id, device] : devices_)
    if (device->attached)
      for (const Collection& collection : device->collections) paths.push_back(collection.path);
  return true;
}

HidHandle EmulatedHidSystem::Open(std::u16string_view path, bool overlapped) {
  std::lock_guard<std::mutex> lock(mutex_);
  DeliverDue();
  for (auto& [id, device] : devices_) {
    if (!device->attached) continue;
    for (std::size_t i = 0; i < device->collections.size(); ++i) {
      const Collection& collection = device->collections[i];
      if (!EqualsIgnoreAsciiCase(collection.path, path)) continue;
      if (!collection.openable) return kInvalidHidHandle;
      auto open = std::make_unique<OpenHandle>();
      open->device = id;
      open->collection = i;
      open->overlapped = overlapped;
      HidHandle handle = nextHandle_++;
      handles_[handle] = std::move(open);
      return handle;
    }
  }
  return kInvalidHidHandle;
}

void EmulatedHidSystem::Close(HidHandle handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  handles_.erase(handle);
  arrived_.notify_all();
}

bool EmulatedHidSystem::GetAttributes(HidHandle handle, HidAttributes& attributes) {
  std::lock_guard<std::mutex> lock(mutex_);
  Collection* collection = LiveCollection(handle);
  if (collection == nullptr) return false;
  attributes = collection->attributes;
  return true;
}

bool EmulatedHidSystem::GetCaps(HidHandle handle, HidCaps& caps) {
  std::lock_guard<std::mutex> lock(mutex_);
  Collection* collection = LiveCollection(handle);
  if (collection == nullptr) return false;
  caps = collection->caps;
  return true;
}

bool EmulatedHidSystem::GetFirstValueCaps(HidHandle handle, HidReportKind kind,
                                          HidValueCaps& valueCaps) {
  std::lock_guard<std::mutex> lock(mutex_);
  Collection* collection = LiveCollection(handle);
  if (collection == nullptr) return false;
  const std::optional<HidValueCaps>& found =
      kind == HidReportKind::kFeature ? collection->featureValueCaps : collection->outputValueCaps;
  if (!found) return false;
  valueCaps = *found;
  return true;
}

bool EmulatedHidSystem::SetFeature(HidHandle handle, const std::uint8_t* report,
                                   std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  DeliverDue();
  Device* device = nullptr;
  Collection* collection = LiveCollection(handle, &device);
  if (collection == nullptr || !collection->command || !device->firmware) return false;
  if (length == 0 || length != collection->caps.featureReportByteLength ||
      report[0] != device->keyPadSpec.reportId)
    return false;
  if (device->faults.vanishAfterRequests == 0) {
    DetachLocked(*device);
    return false;
  }
  device->featureReports.emplace_back(report, report + length);
  // A feature report shorter than the message header carries only what fits in it.
  ReceivedRequest request;
  request.command = length > 1 ? report[1] : 0;
  request.declaredLength = length > 2 ? report[2] : 0;
  if (length > 3)
    request.payload.assign(report + 3,
                           report + 3 + std::min<std::size_t>(request.declaredLength, length - 3));
  Answer(*device, request, false);
  return true;
}

bool EmulatedHidSystem::GetFeature(HidHandle handle, std::uint8_t* report, std::size_t length) {
  std::lock_guard<std::mutex> lock(mutex_);
  Device* device = nullptr;
  Collection* collection = LiveCollection(handle, &device);
  if (collection == nullptr || !collection->command || !device->firmware) return false;
  if (length == 0 || length != collection->caps.featureReportByteLength ||
      report[0] != device->keyPadSpec.reportId || !device->hasFeatureReply)
    return false;
  std::copy(device->featureReply.begin(), device->featureReply.end(), report);
  return true;
}

bool EmulatedHidSystem::WriteOutput(HidHandle handle, const std::uint8_t* report,
                                    std::size_t length, std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  DeliverDue();
  Device* device = nullptr;
  Collection* collection = LiveCollection(handle, &device);
  if (collection == nullptr || length == 0 || length != collection->caps.outputReportByteLength)
    return false;
  if (!collection->command || !device->firmware) return true;  // a foreign device ignores it
  if (report[0] != device->keyPadSpec.reportId) return false;
  if (device->faults.stallsWrites) {
    // A synchronous handle would wait for good; only an overlapped write gives up.
    if (!FindHandle(handle)->overlapped) return false;
    WaitOut(lock, timeoutMs);
    return false;
  }
  if (device->faults.vanishAfterRequests == 0) {
    DetachLocked(*device);
    return false;
  }
  device->outputReports.emplace_back(report, report + length);
  TakeFramedPacket(*device, report);
  return true;
}

void EmulatedHidSystem::WaitOut(std::unique_lock<std::mutex>& lock, std::uint32_t ms) {
  const std::uint64_t deadline = NowLocked() + ms;
  if (clockMode_ == ClockMode::kVirtual) {
    virtualNowMs_ = std::max(virtualNowMs_, deadline);
    return;
  }
  while (NowLocked() < deadline)
    arrived_.wait_until(lock, start_ + std::chrono::milliseconds(deadline));
}

void EmulatedHidSystem::AbortWaits() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++abortGeneration_;
  }
  arrived_.notify_all();
}

HidReadResult EmulatedHidSystem::ReadInput(HidHandle handle, std::uint8_t* report,
                                           std::size_t length, std::uint32_t timeoutMs,
                                           std::size_t& bytesRead) {
  std::unique_lock<std::mutex> lock(mutex_);
  bytesRead = 0;
  const std::uint64_t deadline = NowLocked() + timeoutMs;
  const std::uint64_t generation = abortGeneration_;
  for (;;) {
    DeliverDue();
    OpenHandle* open = FindHandle(handle);
    Device* device = nullptr;
    if (open == nullptr || !open->overlapped || LiveCollection(handle, &device) == nullptr)
      return HidReadResult::kError;
    if (!open->queue.empty() || device->babbling) {
      std::vector<std::uint8_t> packet;
      if (!open->queue.empty()) {
        packet = std::move(open->queue.front());
        open->queue.pop_front();
      } else {
        packet.assign(kPacketLength, 0);
        packet[0] = device->keyPadSpec.reportId;
        packet[1] = 2;
        packet[2] = device->babbleSequence++;
      }
      bytesRead = std::min(length, packet.size());
      std::memcpy(report, packet.data(), bytesRead);
      ++device->inputReportsRead;
      return HidReadResult::kOk;
    }
    const std::uint64_t now = NowLocked();
    if (now >= deadline || abortGeneration_ != generation) return HidReadResult::kTimeout;
    std::uint64_t wake = deadline;
    for (const Scheduled& s : scheduled_) wake = std::min(wake, std::max(s.dueMs, now));
    if (clockMode_ == ClockMode::kVirtual) {
      // Nobody else moves the virtual clock during a read: jump to the next event.
      virtualNowMs_ = wake;
    } else {
      arrived_.wait_until(lock, start_ + std::chrono::milliseconds(wake));
    }
  }
}

}  // namespace qv
