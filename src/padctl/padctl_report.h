// What qv-padctl reports: per key pad what was done, what failed and why, as a readable table
// (Japanese, like the rest of the program) or as JSON with English keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "keycode/key_table.h"
#include "padctl/key_pad_access.h"
#include "padctl/padctl_arguments.h"
#include "padctl/padctl_ports.h"

namespace qv {

enum class PadOutcome {
  kDone,
  kFailed,
  kSkipped,  // restore --all: a key pad of another model, not asked for
};

struct PadResult {
  PadctlKeyPad keyPad;
  PadOutcome outcome = PadOutcome::kDone;
  std::vector<std::u16string> messages;  // why it failed or was skipped, in order
  // restore
  std::vector<int> keysWritten;     // key numbers whose write the key pad took
  std::vector<int> keysFailed;      // key numbers whose write was not confirmed
  std::vector<int> keysMismatched;  // written, but read back different (or not at all)
  std::vector<int> keysToChange;    // --dry-run: keys whose key code differs from the file's
  bool settingsWritten = false;
  bool settingsToChange = false;  // --dry-run
  // backup
  std::u16string file;
  // show
  int key = 0;
  std::vector<KeyCodeRow> rows;
  // settings (and a restore that wrote them): the status byte read back
  std::uint8_t status = 0;
  bool statusKnown = false;
};

struct PadctlReport {
  PadctlCommand command = PadctlCommand::kList;
  bool dryRun = false;
  std::vector<PadResult> results;
  // Run-level failures not tied to one key pad (a file that cannot be read, a serial number
  // that names no attached key pad, the tray program that would not let go).
  std::vector<std::u16string> errors;
  // The tray program: whether the run closed it, and how its restart went.
  bool trayProgramClosed = false;
  TrayRestart trayProgram = TrayRestart::kRestarted;
  std::u16string trayProgramPath;  // where it lies, when the user must start it
};

// What the user is told when the tray program did not come back; empty when it did (or was not
// running).
std::u16string TrayProgramNotice(const PadctlReport& report);

// 0 when everything asked for was done, 1 otherwise.
int ExitStatusOf(const PadctlReport& report);

// Key numbers as ranges: "1-40, 42, 44-45".
std::u16string KeyRanges(const std::vector<int>& keys);

std::u16string ReportText(const PadctlReport& report);
std::u16string ReportJson(const PadctlReport& report);

// Upper-case hex and zero-padded decimal digits.
std::u16string HexText(std::uint32_t value, int digits);
std::u16string DecimalText(std::uint32_t value, int width = 0);

// The state of one key pad as the list command prints it.
std::u16string_view TransportName(const PadctlKeyPad& keyPad);

}  // namespace qv
