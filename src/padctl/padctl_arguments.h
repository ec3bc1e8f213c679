// The command line of qv-padctl: which command, which key pads, which file or folder and which
// options. Parsing only; nothing here talks to a key pad.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class PadctlCommand { kHelp, kVersion, kList, kBackup, kRestore, kShow, kSettings };
enum class BuzzerSetting { kUnchanged, kOff, kSmall, kLarge };
enum class InterfaceSetting { kUnchanged, kUsb, kPs2 };

// Serial numbers are six decimal digits on the key pad.
inline constexpr std::uint32_t kMaxSerialNumber = 999999;

struct PadctlArguments {
  PadctlCommand command = PadctlCommand::kHelp;
  std::vector<std::uint32_t> serials;  // --serial, in the order given, without repeats
  bool all = false;                    // restore --all
  bool dryRun = false;                 // restore --dry-run
  bool json = false;
  std::u16string passwordFile;  // --password-file; empty: asked on the console
  std::u16string target;        // backup: the folder; restore: the key-code file
  int key = 0;                  // show: key number from 1
  BuzzerSetting buzzer = BuzzerSetting::kUnchanged;
  InterfaceSetting interfaceMode = InterfaceSetting::kUnchanged;
};

struct ParsedArguments {
  bool ok = false;
  PadctlArguments arguments;
  std::u16string error;  // why the command line was refused (ok = false)
};

// The arguments after the program name.
ParsedArguments ParsePadctlArguments(std::span<const std::u16string> arguments);

// The usage text printed with --help and after a usage error.
extern const std::u16string_view kPadctlUsage;

}  // namespace qv
