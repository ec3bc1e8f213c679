// The key pad emulator as a WebAssembly module, for the page's demo and its tests: the stand-in
// for navigator.hid (hid_standin.js) presents each emulated collection as a WebHID device and
// forwards the page's reports here. The emulator runs on its virtual clock and answers at once;
// the stand-in adds the device's round trip time.
#include <emscripten.h>

#include <string>

#include "device/device_link.h"
#include "emulator/demo_key_pads.h"
#include "emulator/emulated_hid_system.h"
#include "json_text.h"

namespace qv {
namespace {

struct Bus {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  std::vector<EmulatedDeviceId> keyPads;
  std::string answer;
};

Bus& TheBus() {
  static Bus* bus = new Bus;
  return *bus;
}

const char* Answer(std::string json) {
  TheBus().answer = std::move(json);
  return TheBus().answer.c_str();
}

std::u16string Utf16OfAscii(const char* text) {
  std::u16string out;
  for (; text != nullptr && *text != 0; ++text) out += static_cast<char16_t>(*text & 0x7F);
  return out;
}

}  // namespace
}  // namespace qv

using namespace qv;

extern "C" {

// Attaches the demo's devices: a mouse and a keyboard of another maker, which the page's filter
// leaves out, and the key pads of `list` (QV_DEMO_KEYPADS' form; empty: the default three).
// Returns the emulator's ids of the key pads as a JSON list.
EMSCRIPTEN_KEEPALIVE const char* qvemu_attach_demo(const char* list) {
  Bus& bus = TheBus();
  ForeignDeviceSpec mouse;
  bus.hid.AttachForeignDevice(mouse);
  ForeignDeviceSpec keyboard;
  keyboard.productId = 0x0002;
  keyboard.usage = 0x0006;
  bus.hid.AttachForeignDevice(keyboard);
  const std::u16string given = Utf16OfAscii(list);
  std::string out = "[";
  for (const EmulatedKeyPad& keyPad :
       ParseDemoKeyPads(given.empty() ? kDefaultDemoKeyPads : given)) {
    const EmulatedDeviceId id = bus.hid.AttachKeyPad(keyPad);
    bus.keyPads.push_back(id);
    out += (out.size() > 1 ? "," : "") + std::to_string(id);
  }
  return Answer(out + "]");
}

// Every present collection: its path, the device it belongs to and what WebHID would say of it.
EMSCRIPTEN_KEEPALIVE const char* qvemu_collections() {
  Bus& bus = TheBus();
  std::vector<std::u16string> paths;
  bus.hid.EnumeratePaths(paths);
  std::string out = "[";
  for (const std::u16string& path : paths) {
    const HidHandle handle = bus.hid.Open(path, false);
    if (handle == kInvalidHidHandle) continue;
    HidAttributes attributes;
    HidCaps caps;
    HidValueCaps feature, output;
    bus.hid.GetAttributes(handle, attributes);
    bus.hid.GetCaps(handle, caps);
    bus.hid.GetFirstValueCaps(handle, HidReportKind::kFeature, feature);
    bus.hid.GetFirstValueCaps(handle, HidReportKind::kOutput, output);
    bus.hid.Close(handle);
    // A browser names a Bluetooth LE device by its own ids, which Windows puts in the path.
    BlePathIds ids;
    if (attributes.vendorId == 0 && ParseBleDevicePath(path, ids)) {
      attributes.vendorId = ids.vendorId;
      attributes.productId = ids.productId;
    }
    EmulatedDeviceId device = 0;
    for (EmulatedDeviceId id : bus.keyPads)
      if (bus.hid.IsAttached(id) && bus.hid.CommandPath(id) == path) device = id;
    out += out.size() > 1 ? ",{" : "{";
    out += "\"path\":" + JsonString(path) + ",\"keyPad\":" + std::to_string(device);
    out += ",\"vendorId\":" + std::to_string(attributes.vendorId);
    out += ",\"productId\":" + std::to_string(attributes.productId);
    out += ",\"usagePage\":" + std::to_string(caps.usagePage);
    out += ",\"usage\":" + std::to_string(caps.usage);
    out += ",\"input\":" + std::to_string(caps.inputReportByteLength);
    out += ",\"output\":" + std::to_string(caps.outputReportByteLength);
    out += ",\"feature\":" + std::to_string(caps.featureReportByteLength);
    out += ",\"reportId\":" +
           std::to_string(caps.featureReportByteLength ? feature.reportId : output.reportId) + "}";
  }
  return Answer(out + "]");
}

// The path is ASCII. Returns a handle, or -1.
EMSCRIPTEN_KEEPALIVE int qvemu_open(const char* path) {
  const HidHandle handle = TheBus().hid.Open(Utf16OfAscii(path), true);
  return handle == kInvalidHidHandle ? -1 : static_cast<int>(handle);
}

EMSCRIPTEN_KEEPALIVE void qvemu_close(int handle) {
  TheBus().hid.Close(handle);
}

EMSCRIPTEN_KEEPALIVE int qvemu_set_feature(int handle, const std::uint8_t* report, int length) {
  return TheBus().hid.SetFeature(handle, report, static_cast<std::size_t>(length)) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int qvemu_get_feature(int handle, std::uint8_t* report, int length) {
  return TheBus().hid.GetFeature(handle, report, static_cast<std::size_t>(length)) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int qvemu_write_output(int handle, const std::uint8_t* report, int length) {
  return TheBus().hid.WriteOutput(handle, report, static_cast<std::size_t>(length), 0) ? 1 : 0;
}

// One input report that has arrived on the handle: its length, 0 when none has, -1 when the
// handle no longer reads (the device went away).
EMSCRIPTEN_KEEPALIVE int qvemu_read_input(int handle, std::uint8_t* report, int length) {
  std::size_t read = 0;
  const HidReadResult result =
      TheBus().hid.ReadInput(handle, report, static_cast<std::size_t>(length), 0, read);
  if (result == HidReadResult::kTimeout) return 0;
  return result == HidReadResult::kOk ? static_cast<int>(read) : -1;
}

EMSCRIPTEN_KEEPALIVE int qvemu_attached(int keyPad) {
  return TheBus().hid.IsAttached(keyPad) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void qvemu_detach(int keyPad) {
  TheBus().hid.Detach(keyPad);
}

// The key pad detaches itself after answering `requests` more requests.
EMSCRIPTEN_KEEPALIVE void qvemu_vanish_after(int keyPad, int requests) {
  KeyPadFaults faults = TheBus().hid.Faults(keyPad);
  faults.vanishAfterRequests = requests;
  TheBus().hid.SetFaults(keyPad, faults);
}

// A key's record as the key pad holds it (61 bytes, hex).
EMSCRIPTEN_KEEPALIVE const char* qvemu_record(int keyPad, int key) {
  const KeyCodeRecord record = TheBus().hid.Record(keyPad, key);
  return Answer(JsonHex(record.bytes));
}

EMSCRIPTEN_KEEPALIVE int qvemu_status(int keyPad) {
  return TheBus().hid.Status(keyPad);
}

EMSCRIPTEN_KEEPALIVE const char* qvemu_password(int keyPad) {
  return Answer(JsonString(TheBus().hid.Password(keyPad)));
}

}  // extern "C"
