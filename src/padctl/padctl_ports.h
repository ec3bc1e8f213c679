// What qv-padctl asks of the system: its two output streams, files and folders, the console's
// password prompt and the resident tray program, which must let go of the key pads while the
// tool works on them.
#pragma once

#include <atomic>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/settings_store.h"
#include "device/device_context.h"
#include "padctl/secret_text.h"

namespace qv {

class PadctlOutput {
 public:
  virtual ~PadctlOutput() = default;
  // The result: the table or the JSON document (standard output).
  virtual void WriteResult(std::u16string_view text) = 0;
  // Progress, warnings and usage errors (standard error).
  virtual void WriteProgress(std::u16string_view text) = 0;
};

class PadctlFiles {
 public:
  virtual ~PadctlFiles() = default;
  // The whole file; false when it cannot be opened for reading.
  virtual bool ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) = 0;
  // Replaces the file as a whole or not at all; false when nothing could be written.
  virtual bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) = 0;
  // Creates the folder when it does not exist; true when it exists afterwards.
  virtual bool MakeFolder(std::u16string_view path) = 0;
};

class PasswordConsole {
 public:
  virtual ~PasswordConsole() = default;
  // Shows `question` and reads a line without echoing it. False when there is no console to ask
  // on (the tool runs from a script) or nothing was entered.
  virtual bool AskPassword(std::u16string_view question, SecretText& password) = 0;
};

// The resident tray program (qv-padconf.exe).
class TrayProgram {
 public:
  virtual ~TrayProgram() = default;
  virtual bool IsRunning() = 0;
  // Makes the running program end ("/CLOSE") and waits for it; true when it has ended.
  virtual bool Close() = 0;
  // Starts the program that Close ended again; false when it could not be started.
  virtual bool Restart() = 0;
};

// Keeps the tray program away from the key pads for the scope's lifetime: closes it when it runs
// and starts it again when the scope ends, however the tool's work ended.
class TrayProgramPause {
 public:
  explicit TrayProgramPause(TrayProgram& tray) : tray_(tray) {
    if (!tray_.IsRunning()) return;
    closed_ = tray_.Close();
    // Asked to end but still there: the tool must not talk to the key pads beside it.
    blocked_ = !closed_ && tray_.IsRunning();
  }
  ~TrayProgramPause() {
    if (closed_) tray_.Restart();
  }
  TrayProgramPause(const TrayProgramPause&) = delete;
  TrayProgramPause& operator=(const TrayProgramPause&) = delete;

  // The tray program still runs: no key pad may be used.
  bool blocked() const { return blocked_; }

 private:
  TrayProgram& tray_;
  bool closed_ = false;
  bool blocked_ = false;
};

struct PadctlPorts {
  DeviceContext& device;
  PadctlFiles& files;
  PasswordConsole& console;
  PadctlOutput& output;
  TrayProgram& tray;
  SettingsPort& settings;  // the keyboard identifier chooses the key names' table
  // Set from another thread (Ctrl+C): no further key pad is started.
  const std::atomic<bool>* cancelled = nullptr;
};

}  // namespace qv
