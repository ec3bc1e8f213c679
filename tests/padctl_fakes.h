// Stand-ins for the system around qv-padctl, shared by the native tests and the benchmark: files
// in memory, recorded output, a scripted console and a tray program that only records.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "padctl/padctl_ports.h"

namespace qv::testing {

class MemoryFiles : public PadctlFiles {
 public:
  std::map<std::u16string, std::vector<std::uint8_t>> files;
  std::vector<std::u16string> folders;
  bool replaceFails = false;

  FileRead ReadWholeFile(std::u16string_view path, std::size_t mostBytes,
                         std::vector<std::uint8_t>& bytes) override {
    auto found = files.find(std::u16string(path));
    if (found == files.end()) return FileRead::kUnreadable;
    if (found->second.size() > mostBytes) return FileRead::kTooLong;
    bytes = found->second;
    return FileRead::kRead;
  }
  bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    if (replaceFails) return false;
    files[std::u16string(path)].assign(bytes.begin(), bytes.end());
    return true;
  }
  bool MakeFolder(std::u16string_view path) override {
    folders.emplace_back(path);
    return true;
  }
  void Put(std::u16string_view path, std::string_view text) {
    files[std::u16string(path)].assign(text.begin(), text.end());
  }
};

// Keeps what is written; a stream set to fail takes nothing and says so.
class RecordingOutput : public PadctlOutput {
 public:
  std::u16string result, progress;
  bool resultFails = false, progressFails = false;
  bool WriteResult(std::u16string_view text) override {
    if (resultFails) return false;
    result += text;
    return true;
  }
  bool WriteProgress(std::u16string_view text) override {
    if (progressFails) return false;
    progress += text;
    return true;
  }
};

// Answers password questions from a script; without one, there is no console to ask on.
class ScriptedConsole : public PasswordConsole {
 public:
  std::deque<std::u16string> answers;
  std::vector<std::u16string> questions;
  PasswordAnswer AskPassword(std::u16string_view question, SecretText& password) override {
    questions.emplace_back(question);
    if (answers.empty()) return PasswordAnswer::kNoConsole;
    password.Assign(answers.front());
    answers.pop_front();
    return password.empty() ? PasswordAnswer::kEmptyEntry : PasswordAnswer::kEntered;
  }
};

class FakeTray : public TrayProgram {
 public:
  bool running = false;
  bool inAnotherSession = false;
  bool closeWorks = true;
  TrayRestart restartOutcome = TrayRestart::kRestarted;
  int closes = 0, restarts = 0, runningQueries = 0;
  std::function<void()> onClose;    // what the test checks at the moment of closing
  std::function<void()> onRestart;  // and at the moment of starting it again

  bool IsRunning() override {
    ++runningQueries;
    return running;
  }
  bool RunsInAnotherSession() override { return inAnotherSession; }
  bool Close() override {
    ++closes;
    if (onClose) onClose();
    if (closeWorks) running = false;
    return closeWorks;
  }
  TrayRestart Restart() override {
    ++restarts;
    if (onRestart) onRestart();
    running = restartOutcome == TrayRestart::kRestarted;
    return restartOutcome;
  }
  std::u16string ProgramPath() override { return u"C:\\Programs\\qv-padconf\\qv-padconf.exe"; }
};

// The lock between tool instances; `heldElsewhere` stands for another running instance.
class FakeInstanceLock : public ToolInstanceLock {
 public:
  bool heldElsewhere = false;
  bool held = false;
  int acquired = 0;
  bool TryAcquire() override {
    if (heldElsewhere) return false;
    held = true;
    ++acquired;
    return true;
  }
  void Release() override { held = false; }
};

}  // namespace qv::testing
