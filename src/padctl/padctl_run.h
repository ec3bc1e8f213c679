// qv-padctl's commands over the portable core: list, backup, restore, show and settings, each key
// pad worked on inside the tray program's access sequence, with the report written as a table or
// as JSON. The Win32 front end only supplies the ports.
#pragma once

#include <span>
#include <string>

#include "padctl/padctl_arguments.h"
#include "padctl/padctl_ports.h"
#include "padctl/padctl_report.h"

namespace qv {

// Runs one command line (the arguments after the program name) and returns the exit status:
// 0 when everything asked for was done, 1 when some key pad failed, 2 for a usage error.
int RunPadctl(std::span<const std::u16string> arguments, PadctlPorts& ports);

class PasswordFile;
// The work of parsed arguments (no usage errors left), without writing the report. Without a
// password file, passwords are asked on the console.
PadctlReport ExecutePadctl(const PadctlArguments& arguments, PadctlPorts& ports,
                           const PasswordFile* passwordFile);

// "130D 000007": product id and serial number, as the progress lines and prompts name a key pad.
std::u16string KeyPadLabel(const PadctlKeyPad& keyPad);

// The name of a key pad's backup file: product id (four lower-case hex digits), "_", serial
// number (six digits), ".qvk".
std::u16string BackupFileName(const PadctlKeyPad& keyPad);

// `folder` and `name` joined by "\" (none added after a folder that ends with "\" or "/").
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

}  // namespace qv
