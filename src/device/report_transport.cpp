#include "device/report_transport.h"

#include <algorithm>
#include <cstring>

#include "device/exchange_pass.h"

namespace qv {
namespace {

// Packets that can fill the 80-byte assembly buffer: 12 payload bytes in the first, 14 in each
// further one.
constexpr int kMaxReplyPackets = 6;

constexpr std::size_t kPacketBytes = kFramedReportLength;
constexpr std::uint8_t kFirstPacketFlag = 0x80;

// Reads one input packet; only a read that completed with exactly one full report counts.
// `timedOut` tells a wait that ran out from a read that failed.
bool ReadPacket(DeviceContext& context, HidHandle readHandle, std::uint8_t (&packet)[kPacketBytes],
                bool& timedOut) {
  std::size_t bytesRead = 0;
  HidReadResult result =
      context.hid.ReadInput(readHandle, packet, kPacketBytes, context.framedTimeoutMs, bytesRead);
  timedOut = result == HidReadResult::kTimeout;
  return result == HidReadResult::kOk && bytesRead == kPacketBytes;
}

// Appends payload bytes of a packet, from `from` on, while the message still expects some.
// Bytes beyond the assembly buffer are dropped.
void TakePayload(FramedState& state, const std::uint8_t (&packet)[kPacketBytes], std::size_t from) {
  for (std::size_t i = from; i < kPacketBytes && state.remainingPayload > 0; ++i) {
    if (state.assembledLength < kAssemblyBytes) state.assembly[state.assembledLength++] = packet[i];
    --state.remainingPayload;
  }
}

}  // namespace

bool SendFramed(DeviceContext& context, DeviceLink& link,
                const std::uint8_t (&message)[kMessageBytes]) {
  const int total = message[2] + 2;  // command, L, payload
  if (total > static_cast<int>(kFramedMessageLimit)) return false;

  // A new request starts from a clean reassembly state.
  FramedState& state = context.framed;
  SecureZero(state.assembly, sizeof state.assembly);
  state.assembledLength = 0;
  state.remainingPayload = 0;

  // A link whose key pad was closed (a rescan) is not opened again behind the scan's back.
  if (link.handle == kInvalidHidHandle) return false;

  // A fresh read handle sees only input that arrives after this point. The request goes out on
  // it too: an overlapped write can be bounded, so a stalled key pad fails the exchange after
  // the time-out instead of holding the exchange lock (and every thread waiting on it) for good.
  link.ReopenReadHandle(context.hid);
  if (link.readHandle == kInvalidHidHandle) return false;

  const int packets = FramedPacketCount(message[2]);
  std::uint8_t packet[kPacketBytes];
  bool sent = true;
  for (int k = 1; k <= packets && sent; ++k) {
    std::memset(packet, 0, sizeof packet);
    packet[0] = message[0];
    packet[1] = static_cast<std::uint8_t>(k == 1 ? (kFirstPacketFlag | packets) : packets - k + 1);
    packet[2] = static_cast<std::uint8_t>(k);
    for (int i = 0; i < static_cast<int>(kFramedPayloadBytes); ++i) {
      int at = (k - 1) * static_cast<int>(kFramedPayloadBytes) + i;
      if (at < total) packet[3 + i] = message[1 + at];
    }
    sent = context.hid.WriteOutput(link.readHandle, packet, sizeof packet, context.framedTimeoutMs);
  }
  SecureZero(packet, sizeof packet);  // it may have carried a password
  return sent;
}

std::uint8_t ReceiveFramed(DeviceContext& context, HidHandle readHandle, std::uint8_t* output,
                           std::size_t length, bool* timedOut) {
  bool waitRanOut = false;
  if (timedOut != nullptr) *timedOut = false;
  const std::size_t outLength = std::min(length, kFramedMessageLimit);
  std::memset(output, 0, outLength);
  FramedState& state = context.framed;

  bool started = false;  // a first packet has been taken in this reply
  int packetsLeft = 0;   // packets the first packet announced, still to come
  for (;;) {
    std::uint8_t packet[kPacketBytes];
    if (!ReadPacket(context, readHandle, packet, waitRanOut)) {
      if (timedOut != nullptr) *timedOut = waitRanOut;
      return kFramedTimeout;
    }

    int count;
    if (packet[1] & kFirstPacketFlag) {
      // A second first packet inside one reply means the key pad started over: the partial
      // message is dropped like any other break in the sequence.
      if (started) return kFramedSequenceError;
      started = true;
      std::memset(state.assembly, 0, sizeof state.assembly);
      state.assembly[0] = packet[0];
      state.assembly[1] = packet[3];
      state.assembly[2] = packet[4];
      state.assembledLength = 3;
      state.remainingPayload = packet[4];
      state.lastSequence = packet[2];
      count = packet[1] & 0x7F;
      // No reply fills more than the assembly buffer's packets: a key pad that announces more
      // (up to 127, each allowed 5 s) must not hold the caller for minutes.
      packetsLeft = std::clamp(count, 1, kMaxReplyPackets);
      TakePayload(state, packet, 5);
    } else {
      // A continuation must follow a first packet of this reply, in sequence (no wrap after 255).
      if (!started || packet[2] != state.lastSequence + 1) return kFramedSequenceError;
      state.lastSequence = packet[2];
      count = packet[1];
      TakePayload(state, packet, 3);
    }
    --packetsLeft;
    if (count <= 1) break;  // an announced 0 counts as 1
    // More packets announced by this one than by the first: a key pad that keeps sending does
    // not hold the caller.
    if (packetsLeft == 0) return kFramedSequenceError;
  }

  std::memcpy(output, state.assembly, std::min(outLength, state.assembledLength));
  return kFramedReceived;
}

bool Exchange(DeviceContext& context, DeviceLink& link, std::uint8_t (&message)[kMessageBytes],
              bool expectReply) {
  std::lock_guard<std::mutex> lock(context.exchangeMutex);
  const std::size_t featureLength = link.caps.featureReportByteLength;
  if (featureLength != 0) {
    if (featureLength > kMessageBytes) return false;
    if (!context.hid.SetFeature(link.handle, message, featureLength)) return false;
    return !expectReply || context.hid.GetFeature(link.handle, message, featureLength);
  }
  if (!link.framed) return false;
  // A key pad that let a request of this pass time out is not asked again in it: the request
  // fails at once, with the reply bytes zeroed as after its own time-out.
  const PassVerdict pass = CheckExchangePass(context, link);
  if (pass.silent) {
    std::memset(message, 0, kFramedMessageLimit);
    return false;
  }
  if (!SendFramed(context, link, message)) return false;
  bool timedOut = false;
  if (ReceiveFramed(context, link.readHandle, message, kFramedMessageLimit, &timedOut) !=
      kFramedTimeout)
    return true;
  if (timedOut) NoteTimedOut(context, link, pass.pass);
  return false;
}

}  // namespace qv
