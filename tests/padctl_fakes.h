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

  bool ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) override {
    auto found = files.find(std::u16string(path));
    if (found == files.end()) return false;
    bytes = found->second;
    return true;
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

class RecordingOutput : public PadctlOutput {
 public:
  std::u16string result, progress;
  void WriteResult(std::u16string_view text) override { result += text; }
  void WriteProgress(std::u16string_view text) override { progress += text; }
};

// Answers password questions from a script; without one, there is no console to ask on.
class ScriptedConsole : public PasswordConsole {
 public:
  std::deque<std::u16string> answers;
  std::vector<std::u16string> questions;
  bool AskPassword(std::u16string_view question, SecretText& password) override {
    questions.emplace_back(question);
    if (answers.empty()) return false;
    password.Assign(answers.front());
    answers.pop_front();
    return !password.empty();
  }
};

class FakeTray : public TrayProgram {
 public:
  bool running = false;
  bool closeWorks = true;
  int closes = 0, restarts = 0, runningQueries = 0;
  std::function<void()> onClose;    // what the test checks at the moment of closing
  std::function<void()> onRestart;  // and at the moment of starting it again

  bool IsRunning() override {
    ++runningQueries;
    return running;
  }
  bool Close() override {
    ++closes;
    if (onClose) onClose();
    if (closeWorks) running = false;
    return closeWorks;
  }
  bool Restart() override {
    ++restarts;
    if (onRestart) onRestart();
    running = true;
    return true;
  }
};

}  // namespace qv::testing
