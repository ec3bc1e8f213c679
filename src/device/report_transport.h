// Carries one request message and its reply between the program and a key pad, over feature
// reports (USB key pads) or over 17-byte framed input and output reports (Bluetooth LE key pads).
//
// Message buffer (64 bytes, requests and replies alike): byte 0 report id, byte 1 command,
// byte 2 payload length L, bytes 3.. payload. The framed transport carries the message proper,
// bytes 1 .. L+2, cut into packets of 14 bytes:
//   byte 0 report id; byte 1 0x80 | N in the first packet (N packets in all), N-k+1 in packet k;
//   byte 2 sequence number (1, 2, ...); bytes 3..16 message bytes, zero after the last.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/secure_zero.h"
#include "device/device_context.h"
#include "device/device_link.h"

namespace qv {

// Most message-buffer bytes a framed request sends (command, L and 42 payload bytes) and a framed
// reply hands over (report id, command, L and 41 payload bytes).
inline constexpr std::size_t kFramedMessageLimit = 44;
inline constexpr std::size_t kFramedPayloadBytes = 14;  // message bytes per packet

// Results of ReceiveFramed.
inline constexpr std::uint8_t kFramedReceived = 1;
inline constexpr std::uint8_t kFramedSequenceError = 0;
inline constexpr std::uint8_t kFramedTimeout = 0xFF;

// Number of packets of a message with payload length L: (L + 2 - 1) / 14 + 1.
constexpr int FramedPacketCount(std::uint8_t payloadLength) {
  return (payloadLength + 2 - 1) / static_cast<int>(kFramedPayloadBytes) + 1;
}

// Sends the request in `message` and, on the feature transport when expectReply is set, fetches
// the reply into it. A framed key pad answers every request, so its reply is always received.
// Holds the context's exchange lock throughout. False when a report call failed, the framed
// reply timed out, or the link has no transport (neither a usable feature report nor framed).
// Inside an exchange pass, a framed key pad whose request timed out in that pass is refused at
// once (exchange_pass.h).
bool Exchange(DeviceContext& context, DeviceLink& link, std::uint8_t (&message)[kMessageBytes],
              bool expectReply);

// Re-opens the link's read handle (so input that arrived earlier is never taken for the reply)
// and writes the message on it as framed output reports, each write waiting at most the
// context's framedTimeoutMs. Refuses, sending nothing, a message longer than 44 bytes, and fails
// when the read handle does not open. The caller holds the exchange lock (Exchange does).
bool SendFramed(DeviceContext& context, DeviceLink& link,
                const std::uint8_t (&message)[kMessageBytes]);

// Reads one framed reply from readHandle into output (at most `length` bytes, and at most 44:
// report id, command, L, payload). Returns kFramedReceived, kFramedSequenceError (output zeroed)
// or kFramedTimeout (no complete packet in time, or a failed read). A reply never takes more
// packets than its first packet announced. The caller holds the exchange lock. When given,
// `timedOut` is set when the result is kFramedTimeout because a wait ran out (not a failed read).
std::uint8_t ReceiveFramed(DeviceContext& context, HidHandle readHandle, std::uint8_t* output,
                           std::size_t length, bool* timedOut = nullptr);

}  // namespace qv
