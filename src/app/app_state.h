// The shell's process-wide values: the strings of the string table, the program's paths and
// folders and the flags of the shell.
#pragma once

#include <atomic>
#include <cstdint>

#include "app/startup.h"

namespace qv {

struct ShellStrings {
  char16_t appName[kResourceStringChars] = {};
  char16_t productName[kResourceStringChars] = {};
  char16_t softKeyboardClass[kResourceStringChars] = {};
  char16_t infoIconClass[kResourceStringChars] = {};
  char16_t instanceName[kResourceStringChars] = {};
};

struct ShellState {
  ShellStrings strings;
  ProgramPaths paths;
  // The soft keyboards may be shown ("t_enable"); read by the soft keyboard threads.
  std::atomic<std::uint32_t> touchEnabled{0};
  // The PC keyboard is not a Japanese 106-key keyboard: selects the other key table.
  std::atomic<bool> nonJapaneseLayout{false};
};

}  // namespace qv
