// The portable decisions of start-up: the command line, the program's paths and folders, and
// the monitor table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/bounded_text.h"
#include "common/ids.h"

namespace qv {

// String table entries loaded at start, each read with a limit of 100 characters.
inline constexpr std::size_t kResourceStringChars = 100;
// How long a second start waits for the running instance to take its message; a hung first
// instance must not hang the second start.
inline constexpr std::uint32_t kInstanceMessageTimeoutMs = 3000;

inline constexpr std::u16string_view kCloseSwitch = u"/CLOSE";
inline constexpr std::u16string_view kShortcutFileName = u"shortcut.ini";

// System error codes the single-instance test looks at (ERROR_ACCESS_DENIED,
// ERROR_ALREADY_EXISTS).
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

// The two looks at the instance mutex: opening it (is an instance running?) and creating it.
enum class InstanceMutexCall { kOpen, kCreate };

// Whether this start is a second start, from the result of one look at the instance mutex:
// whether the call gave a handle and the system's last error right after it. A mutex that exists
// with rights this user lacks (an instance running elevated or as another user) is refused with
// "access denied": an instance runs, so that too is a second start, never a second instance.
bool IsSecondStart(InstanceMutexCall call, bool gotHandle, std::uint32_t lastError);

// True when the whole command line is "/CLOSE", ignoring case. Anything else, an empty command
// line included, is a normal start.
bool IsCloseCommand(std::u16string_view commandLine);

struct ProgramPaths {
  char16_t programPath[kPathChars] = {};
  char16_t programFolder[kPathChars] = {};
  char16_t shortcutFile[kPathChars] = {};
  char16_t dataFolder[kPathChars] = {};
  char16_t softKeyFolder[kPathChars] = {};
};

// Sets programPath (cut to 259 characters), programFolder (programPath without its last "\"
// and the file name) and shortcutFile (programFolder + "\shortcut.ini").
void SetProgramPath(ProgramPaths& paths, std::u16string_view modulePath);

// Whether the data folder lives in the user's local application data: Windows XP (5.1) and later.
bool UsesLocalApplicationData(unsigned majorVersion, unsigned minorVersion);

// The folders start-up creates, in order, and the data folder they end in. A folder whose path
// does not fit in a path buffer is left out (empty), and so is every folder below it: a cut
// path would name another folder.
struct DataFolderPlan {
  char16_t vendorFolder[kPathChars] = {};  // "%s\MORVALEN", empty when the program's own folder
  char16_t dataFolder[kPathChars] = {};
  char16_t softKeyFolder[kPathChars] = {};  // dataFolder + "\softkey\"
};
DataFolderPlan PlanDataFolders(bool useLocalApplicationData, std::u16string_view localAppData,
                               std::u16string_view programFolder);

}  // namespace qv
