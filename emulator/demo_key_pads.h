// The key pads the demo programs start with: the demo program, qv-padctl-emu and the browser
// editor's demo all read the same "PID/VERSION/SERIAL/PASSWORD,..." list (QV_DEMO_KEYPADS).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/emulated_hid_system.h"

namespace qv {

// Without a list of their own, the demos attach a paged 144-key model, a 30-key model with the
// password "1234" and a Bluetooth LE key pad.
inline constexpr std::u16string_view kDefaultDemoKeyPads =
    u"1225/0100/123/,1224/0100/45678/1234,074f/b4b4/7/";

// A demo key pad: a version of b4b4 or b5b5 makes a Bluetooth LE key pad (framed reports, all-zero
// attributes, its ids in the path); a password makes it a registered one.
EmulatedKeyPad DemoKeyPadSpec(std::uint16_t productId, std::uint16_t version, std::uint32_t serial,
                              const std::string& password);

// "PID/VERSION/SERIAL/PASSWORD,...": hex product id and version (0100 when empty), decimal serial
// (1 when empty), optional password. Items with an unknown product id or a malformed number are
// skipped.
std::vector<EmulatedKeyPad> ParseDemoKeyPads(std::u16string_view list);

}  // namespace qv
