// Arbitrary input packet streams fed to ReceiveFramed, starting from an arbitrary left-over
// reassembly state and with an output buffer of any length up to the 64-byte message buffer.
// The result, the bytes handed over and the number of packets read must match the packet
// format; bytes past the output's end and past the 44 handed over are never written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "device/device_context.h"
#include "device/report_transport.h"
#include "fuzz/fuzz_support.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

constexpr std::uint8_t kUntouched = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::size_t length = input.Byte() % (kMessageBytes + 1);

  ScriptedHidSystem hid(input, HidCaps{0x0001, kVendorUsagePage, 17, 17, 0},
                        HidAttributes{kVendorId, kProduct074F, 0});
  DeviceContext context(hid);
  // Whatever an earlier exchange left behind (within the state's own limits).
  input.Fill(context.framed.assembly, sizeof context.framed.assembly);
  context.framed.assembledLength = input.Byte() % (kAssemblyBytes + 1);
  context.framed.lastSequence = input.Byte();
  context.framed.remainingPayload = input.Byte();

  const HidHandle readHandle = hid.Open(ScriptedHidSystem::kPath, true);
  // Exactly `length` bytes on the heap (a valid pointer even for none), so a write past the end
  // is caught.
  std::unique_ptr<std::uint8_t[]> output(new std::uint8_t[length]);
  std::fill_n(output.get(), length, kUntouched);
  const std::uint8_t result = ReceiveFramed(context, readHandle, output.get(), length);

  const ExpectedReply expected = ExpectReply(hid.reads);
  Check(expected.readsTaken == hid.reads.size(), "packets read differ from the reply's end");
  Check(result == expected.result, "result differs from the packet format");
  const std::size_t handedOver = std::min(length, kFramedMessageLimit);
  for (std::size_t i = 0; i < length; ++i) {
    if (i >= handedOver) {
      Check(output[i] == kUntouched, "a byte past the 44 handed over was written");
    } else if (result == kFramedReceived) {
      Check(output[i] == expected.bytes[i], "reply bytes differ from the packets");
    } else {
      Check(output[i] == 0, "output not zeroed after a failed reception");
    }
  }
  hid.Close(readHandle);
  return 0;
}
