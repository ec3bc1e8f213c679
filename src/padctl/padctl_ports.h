// What qv-padctl asks of the system: its two output streams, files and folders, the console's
// password prompt and the resident tray program, which must let go of the key pads while the
// tool works on them.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/settings_store.h"
#include "device/device_context.h"
#include "padctl/secret_text.h"

namespace qv {

class PadctlOutput {
 public:
  virtual ~PadctlOutput() = default;
  // The result: the table or the JSON document (standard output). False when the text could not
  // be written whole (a full disk, a closed pipe).
  virtual bool WriteResult(std::u16string_view text) = 0;
  // Progress, warnings and usage errors (standard error); false as above.
  virtual bool WriteProgress(std::u16string_view text) = 0;
};

enum class FileRead {
  kRead,
  kUnreadable,  // it cannot be opened or read
  kTooLong,     // it has more bytes than the caller takes; nothing of it is kept
};

class PadctlFiles {
 public:
  virtual ~PadctlFiles() = default;
  // The whole file when it has at most `mostBytes` bytes.
  virtual FileRead ReadWholeFile(std::u16string_view path, std::size_t mostBytes,
                                 std::vector<std::uint8_t>& bytes) = 0;
  // Replaces the file as a whole or not at all; false when nothing could be written.
  virtual bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) = 0;
  // Creates the folder when it does not exist; true when it exists afterwards.
  virtual bool MakeFolder(std::u16string_view path) = 0;
};

enum class PasswordAnswer {
  kEntered,
  kNoConsole,   // the tool runs from a script: nobody can be asked
  kEmptyEntry,  // asked, and nothing was entered
};

class PasswordConsole {
 public:
  virtual ~PasswordConsole() = default;
  // Shows `question` on the console itself (whatever the standard streams are redirected to) and
  // reads a line without echoing it.
  virtual PasswordAnswer AskPassword(std::u16string_view question, SecretText& password) = 0;
};

enum class TrayRestart {
  kRestarted,
  // Not started: it could not be started as the desktop's user without elevated rights (the
  // tool runs elevated or as another user), and a copy with the tool's rights would keep them for
  // the rest of the logon. The user starts it.
  kLeftToUser,
  kFailed,
};

// The resident tray program (qv-padconf.exe).
class TrayProgram {
 public:
  virtual ~TrayProgram() = default;
  // Runs in this session, where the tool can make it end.
  virtual bool IsRunning() = 0;
  // Runs for the same user in another session, where the tool cannot reach its window.
  virtual bool RunsInAnotherSession() = 0;
  // Makes the running program end ("/CLOSE") and waits for it; true when it has ended.
  virtual bool Close() = 0;
  // Starts the program that Close ended again, as the desktop's user without elevated rights.
  virtual TrayRestart Restart() = 0;
  // Where the program that Close ended lies, for telling the user how to start it.
  virtual std::u16string ProgramPath() = 0;
};

// What keeps the tool away from the key pads.
enum class TrayBlock {
  kNone,
  kWillNotEnd,        // asked to end, and still there
  kInAnotherSession,  // the same user's copy in another session, out of the tool's reach
};

// Keeps the tray program away from the key pads for the scope's lifetime: closes it when it runs
// and starts it again when Resume is called or the scope ends, however the tool's work ended.
class TrayProgramPause {
 public:
  explicit TrayProgramPause(TrayProgram& tray) : tray_(tray) {
    // A copy the tool cannot close would open the key pads beside it.
    if (tray_.RunsInAnotherSession()) {
      blocked_ = TrayBlock::kInAnotherSession;
      return;
    }
    if (!tray_.IsRunning()) return;
    closed_ = tray_.Close();
    if (!closed_ && tray_.IsRunning()) blocked_ = TrayBlock::kWillNotEnd;
  }
  ~TrayProgramPause() { Resume(); }
  TrayProgramPause(const TrayProgramPause&) = delete;
  TrayProgramPause& operator=(const TrayProgramPause&) = delete;

  TrayBlock blocked() const { return blocked_; }
  bool closed() const { return closed_; }
  // Starts the closed program again (once); kRestarted when nothing was closed.
  TrayRestart Resume() {
    if (!closed_) return TrayRestart::kRestarted;
    closed_ = false;
    return tray_.Restart();
  }

 private:
  TrayProgram& tray_;
  bool closed_ = false;
  TrayBlock blocked_ = TrayBlock::kNone;
};

// Keeps the key pads to one qv-padctl at a time, whichever user or session runs it.
class ToolInstanceLock {
 public:
  virtual ~ToolInstanceLock() = default;
  // True when this run now holds the key pads; false when another instance holds them.
  virtual bool TryAcquire() = 0;
  virtual void Release() = 0;
};

struct PadctlPorts {
  DeviceContext& device;
  PadctlFiles& files;
  PasswordConsole& console;
  PadctlOutput& output;
  TrayProgram& tray;
  ToolInstanceLock& instances;
  SettingsPort& settings;  // the keyboard identifier chooses the key names' table
  // Set from another thread (Ctrl+C): no further key pad is started.
  const std::atomic<bool>* cancelled = nullptr;
  std::u16string_view version = u"";  // the program's version, "1.0.0", for --version
};

}  // namespace qv
