// The input sink of the soft keyboard's typing: SendInput with the system's scan codes.
#pragma once

#include "softkbd/injection.h"

namespace qv {

class Win32InputSink : public InputSink {
 public:
  // One SendInput call with a keyboard record per input: the scan code of the virtual key
  // (MapVirtualKeyW) and the calling thread's message extra information added.
  std::size_t SendKeyboardInputs(std::span<const KeyInput> inputs) override;
};

}  // namespace qv
