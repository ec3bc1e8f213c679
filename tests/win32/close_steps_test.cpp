// Ends the running program at every step of a user's work, in each of the ways it can end or be
// interrupted: "/CLOSE" from a second process, the end of the Windows session, the key pad in use
// pulled out, the session locked. Every case must end (or come back to an idle, usable program)
// within 10 s, leave no key pad in its editing state, write no status byte or key code the user
// did not choose, and leave no thread, handle or window behind.
//
// The cases come from a seed: QV_CLOSE_STEPS_SEED (default 1), QV_CLOSE_STEPS_CASES (default: the
// short form) and QV_CLOSE_STEPS_ONLY (one case number, to run a failed case again alone).
#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>
#include <gtest/gtest.h>
#include <winternl.h>
#include <wtsapi32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "access/access_ports.h"
#include "common/ids.h"
#include "common/win32/owned.h"
#include "common/window_messages.h"
#include "device/device_commands.h"
#include "keyboard_hook_recorder.h"
#include "keycode/key_code_editing.h"
#include "keycode/key_table.h"
#include "keycode/win32/capture_hook_win32.h"
#include "keycode/win32/key_code_files_win32.h"
#include "process_counts.h"
#include "resource.h"
#include "shell_fixture.h"
#include "softkbd/layout.h"

namespace qv {
namespace {

using testing::PumpUntil;
using testing::SendKeys;
using testing::ShellRig;

constexpr DWORD kEndWithinMs = 10000;
// How long one step of the user waits for what it asked for (a dialog, a write) on a busy machine.
constexpr DWORD kStepWaitMs = 15000;
constexpr int kShortFormCases = 8;

enum class EndWay { kClose, kEndSession, kUnplug, kLock };
constexpr const char* kEndWayNames[] = {"/CLOSE", "WM_ENDSESSION", "unplug", "session lock"};

// The three key pads every scenario starts with.
enum KeyPadRole { kPasswordPad, kSoftKeyPad, kFramedPad, kRoles };
constexpr std::uint8_t kPasswordPadStatus = kStatusPasswordSet | kStatusVolumeSmall;
constexpr char kPassword[] = "1234";
constexpr int kEditedKey = 5;    // the key written in dialog 134
constexpr int kMenuKey = 30;     // the soft key written through its menu
constexpr int kTypingKey = 1;    // the soft key typed with delays
constexpr int kSoftKeySlot = 1;  // slots go by product id: 0x074F, 0x1224, 0x1227

// Where a case ends the program: after `actions` actions of step `step` and `delayMs` more.
struct CutPoint {
  int scenario = 0;
  int step = 0;
  int actions = 0;
  DWORD delayMs = 0;
  EndWay way = EndWay::kClose;
};

class CaseRun;
using Action = std::function<bool(CaseRun&)>;
struct Step {
  const char* name;
  std::vector<Action> actions;
};
struct Scenario {
  const char* name;
  KeyPadRole inUse;  // the key pad the scenario works on (pulled out by an unplug)
  std::vector<Step> steps;
  // Settings bits (buzzer, interface) the user chooses for the password key pad, if any.
  int chosenSettings = -1;
  bool resets = false;
};

const std::vector<Scenario>& Scenarios();

// ---------------------------------------------------------------- windows of the process

bool IsClass(HWND window, const wchar_t* name) {
  wchar_t className[32] = {};
  GetClassNameW(window, className, 32);
  return lstrcmpW(className, name) == 0;
}

bool OwnedBy(HWND window, HWND owner) {
  for (int depth = 0; window != nullptr && depth < 32; ++depth) {
    window = GetWindow(window, GW_OWNER);
    if (window == owner) return true;
  }
  return false;
}

// Every visible top-level window of this process that `accept` accepts.
std::vector<HWND> VisibleWindows(const std::function<bool(HWND)>& accept) {
  struct Search {
    const std::function<bool(HWND)>* accept;
    std::vector<HWND> found;
  } search{&accept, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) && (*s->accept)(window))
          s->found.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A visible, enabled dialog whose title starts with `title`.
HWND FindDialog(const std::wstring& title) {
  const std::vector<HWND> found = VisibleWindows([&](HWND window) {
    return IsClass(window, L"#32770") && IsWindowEnabled(window) &&
           testing::WindowText(window).rfind(title, 0) == 0;
  });
  return found.empty() ? nullptr : found.front();
}

long CountTopLevelWindows() {
  long count = 0;
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId()) ++*reinterpret_cast<long*>(context);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&count));
  return count;
}

long EnvironmentNumber(const wchar_t* name, long fallback) {
  wchar_t value[32] = {};
  if (GetEnvironmentVariableW(name, value, 32) == 0) return fallback;
  return std::wcstol(value, nullptr, 10);
}

// ---------------------------------------------------------------- one case

struct CaseOutcome {
  bool endedInTime = false;
  int keyPadsLeftEditing = 0;
  int wrongWrites = 0;
  bool stepFailed = false;
  std::string notes;  // what went wrong, for the failure report
};

class CaseRun {
 public:
  CaseRun(const CutPoint& cut, int number)
      : cut_(cut), scenario_(Scenarios()[cut.scenario]), number_(number) {}

  // Runs the scenario on a user's thread up to the cut, ends the program there and checks.
  CaseOutcome Run();

  // ---- what the scenario's actions use (on the user's thread)
  ShellRig& rig() { return *rig_; }
  Application& app() { return rig_->app(); }
  EmulatedDeviceId id(KeyPadRole role) const { return ids_[role]; }
  HWND main() const { return mainWindow_; }
  bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kStepWaitMs) {
    const DWORD start = GetTickCount();
    while (!condition()) {
      if (GetTickCount() - start > timeoutMs) return false;
      Sleep(10);
    }
    return true;
  }
  bool Fail(const std::string& why) {
    failure_ = why;
    return false;
  }
  HWND dialog = nullptr;  // the dialog the last action found
  HWND window = nullptr;  // another window an action keeps for the next one
  std::unique_ptr<testing::KeyboardHookRecorder> typing;
  std::wstring exportPath;

 private:
  void Drive();
  void End();
  bool EndedNow() const { return outerLoopSawEnd_.load(); }
  bool ProgramIdle();
  bool ReachIdle(DWORD since);
  void CloseFromSecondProcess();
  void CheckKeyPads(CaseOutcome& outcome);
  void Rescue();

  const CutPoint cut_;
  const Scenario& scenario_;
  const int number_;
  std::unique_ptr<ShellRig> rig_;
  DWORD mainThread_ = 0;
  EmulatedDeviceId ids_[kRoles] = {};
  int unplugged_ = -1;
  bool stepFailed_ = false;
  const bool verbose_ = EnvironmentNumber(L"QV_CLOSE_STEPS_VERBOSE", 0) != 0;
  HWND mainWindow_ = nullptr;
  std::string failure_;
  std::atomic<bool> driverDone_{false};
  std::atomic<bool> outerLoopSawEnd_{false};
  std::atomic<bool> endedInTime_{false};
  std::atomic<bool> stuck_{false};
};

EmulatedKeyPad KeyPadOf(KeyPadRole role) {
  EmulatedKeyPad keyPad;
  switch (role) {
    case kPasswordPad:  // extended settings (dialog 169), a password
      keyPad.productId = 0x1227;
      keyPad.version = 0x0200;
      keyPad.serial = 501;
      keyPad.password = kPassword;
      keyPad.status = kPasswordPadStatus;
      break;
    case kSoftKeyPad:  // a soft keyboard
      keyPad.productId = 0x1224;
      keyPad.serial = 502;
      break;
    case kFramedPad:  // Bluetooth LE, framed reports
      keyPad.productId = 0x074F;
      keyPad.version = 0;
      keyPad.bluetooth = true;
      keyPad.serial = 503;
      break;
    default:
      break;
  }
  return keyPad;
}

// The soft key typed with delays: "s", a delay, "s" again.
KeyCodeRecord TypingRecord() {
  KeyCodeRecord record;
  const std::uint8_t strokes[] = {32, 32 | kStrokeReleaseBit, kDelay1, 32, 32 | kStrokeReleaseBit};
  record.bytes[0] = static_cast<std::uint8_t>(1 + sizeof strokes);
  for (std::size_t i = 0; i < sizeof strokes; ++i) record.bytes[1 + i] = strokes[i];
  return record;
}

CaseOutcome CaseRun::Run() {
  CaseOutcome outcome;
  // No keyboard-change watcher: under Wine its system query fails after a few seconds of set-up,
  // which every case would wait out at its end. The user's thread posts the watcher's notice of
  // a change instead. A signalled event stands in for the watcher's thread handle, so the main
  // window starts none.
  TheApplication().watcherThread.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  rig_ = std::make_unique<ShellRig>();
  if (!rig_->started) {
    outcome.notes = "the main window did not start";
    return outcome;
  }
  mainWindow_ = rig_->window();
  app().shell.touchEnabled = 1;
  // The program learns the console session the way it does at its own start.
  app().wtsGetActiveConsoleSessionId = WTSGetActiveConsoleSessionId;
  mainThread_ = GetCurrentThreadId();
  for (int role = 0; role < kRoles; ++role)
    ids_[role] = rig_->hid.AttachKeyPad(KeyPadOf(static_cast<KeyPadRole>(role)));
  rig_->hid.SetRecord(ids_[kSoftKeyPad], kTypingKey, TypingRecord());
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  exportPath = std::wstring(folder) + L"qv-close-steps-" + std::to_wstring(number_) + L".qvk";
  DeleteFileW(exportPath.c_str());

  std::thread user([this] { Drive(); });
  // The main window's thread: its dialogs' loops run inside this pump. The end counts once the
  // window is gone and every loop has returned here.
  PumpUntil(
      [&] {
        if (!IsWindow(mainWindow_)) outerLoopSawEnd_ = true;
        return driverDone_.load();
      },
      0xFFFFFFF0);
  user.join();
  outcome.endedInTime = endedInTime_.load();
  outcome.stepFailed = stepFailed_;
  if (!failure_.empty()) outcome.notes += failure_ + "; ";

  CheckKeyPads(outcome);  // before the end of an unplug or lock case
  const DWORD endStart = GetTickCount();
  typing.reset();
  rig_.reset();
  if (verbose_) std::printf("  the rig's end: %lu ms\n", GetTickCount() - endStart);
  DeleteFileW(exportPath.c_str());
  return outcome;
}

// ---------------------------------------------------------------- the user's thread

void CaseRun::Drive() {
  const std::vector<Step>& steps = scenario_.steps;
  bool ended = false;
  for (int k = 0; k <= static_cast<int>(steps.size()) && !ended; ++k) {
    const int count =
        k < static_cast<int>(steps.size()) ? static_cast<int>(steps[k].actions.size()) : 0;
    for (int j = 0; j <= count; ++j) {
      if (cut_.step == k && cut_.actions == j) {
        if (cut_.delayMs) Sleep(cut_.delayMs);
        End();
        ended = true;
        break;
      }
      if (j == count) break;
      const DWORD actionStart = GetTickCount();
      const bool done = steps[k].actions[j](*this);
      if (verbose_)
        std::printf("  step %d action %d: %lu ms\n", k, j, GetTickCount() - actionStart);
      if (!done) {
        stepFailed_ = true;
        failure_ = "step " + std::string(steps[k].name) + " action " + std::to_string(j) +
                   " did not happen: " + failure_;
        End();
        ended = true;
        break;
      }
    }
  }
  driverDone_ = true;
  // The test's thread leaves its pump only once it is back in its outer loop.
  PostThreadMessageW(mainThread_, WM_NULL, 0, 0);
}

void CaseRun::End() {
  const DWORD start = GetTickCount();
  struct Timed {
    const bool verbose;
    const DWORD start;
    ~Timed() {
      if (verbose) std::printf("  the end: %lu ms\n", GetTickCount() - start);
    }
  } timed{verbose_, start};
  switch (cut_.way) {
    case EndWay::kClose:
      CloseFromSecondProcess();
      endedInTime_ = WaitFor([&] { return EndedNow(); }, kEndWithinMs - (GetTickCount() - start));
      break;
    case EndWay::kEndSession: {
      DWORD_PTR answer = 0;
      SendMessageTimeoutW(mainWindow_, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL,
                          kEndWithinMs, &answer);
      if (answer != TRUE) failure_ += "the end of the session was refused; ";
      SendMessageTimeoutW(mainWindow_, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL,
                          kEndWithinMs, &answer);
      endedInTime_ = WaitFor([&] { return EndedNow(); }, kEndWithinMs - (GetTickCount() - start));
      break;
    }
    case EndWay::kUnplug:
      rig_->hid.Detach(ids_[scenario_.inUse]);
      unplugged_ = scenario_.inUse;
      // What the keyboard-change watcher posts when the system's keyboards change.
      PostMessageW(mainWindow_, kKeyboardChangedMessage, 0, 0);
      endedInTime_ = ReachIdle(start);
      break;
    case EndWay::kLock: {
      const DWORD session = WTSGetActiveConsoleSessionId();
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(mainWindow_, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, session, SMTO_NORMAL,
                          kEndWithinMs, &ignored);
      // The program's own dialogs close with the lock: nothing of the main window stays open.
      const bool closed = WaitFor(
          [&] {
            return VisibleWindows([&](HWND w) { return OwnedBy(w, mainWindow_); }).empty() &&
                   !app().keyPads.commandActive.load();
          },
          kEndWithinMs);
      if (!closed) failure_ += "the main window's dialogs stayed open after the lock; ";
      SendMessageTimeoutW(mainWindow_, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, session,
                          SMTO_NORMAL, kEndWithinMs, &ignored);
      endedInTime_ = closed && ReachIdle(start);
      break;
    }
  }
  if (!endedInTime_) {
    failure_ +=
        std::string("after ") + std::to_string(GetTickCount() - start) + " ms: main window " +
        (IsWindow(mainWindow_) ? "still there" : "gone") + ", " +
        std::to_string(VisibleWindows([](HWND w) { return IsClass(w, L"#32770"); }).size()) +
        " dialogs open; ";
  }
  if (!endedInTime_ && (cut_.way == EndWay::kClose || cut_.way == EndWay::kEndSession)) Rescue();
}

// Runs "qv-padconf.exe /CLOSE" beside the test program: it finds this process's main window by
// the program's instance name and closes it.
void CaseRun::CloseFromSecondProcess() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder.resize(folder.find_last_of(L'\\'));
  std::wstring commandLine = L"\"" + folder + L"\\qv-padconf.exe\" /CLOSE";
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    failure_ += "qv-padconf.exe /CLOSE did not start; ";
    return;
  }
  if (WaitForSingleObject(info.hProcess, kEndWithinMs) == WAIT_TIMEOUT) {
    failure_ += "qv-padconf.exe /CLOSE did not end; ";
    TerminateProcess(info.hProcess, 99);
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

// Idle: nothing open, no command, modal dialog or scan running, the main window still there.
bool CaseRun::ProgramIdle() {
  const KeyPadTable& table = app().keyPads;
  return IsWindow(mainWindow_) && !table.commandActive.load() && !table.modalActive.load() &&
         !table.rescanRunning.load() && VisibleWindows([](HWND w) {
                                          return IsClass(w, L"#32770") || IsClass(w, L"#32768");
                                        }).empty();
}

// After an unplug or a lock the program is idle within the bound once the user has answered
// what it asks (the forced close message) and closed what the user's own work left open (a soft
// key's dialog, which the lock does not close). Then a command still runs: the about box opens.
bool CaseRun::ReachIdle(DWORD since) {
  const bool unplugged = cut_.way == EndWay::kUnplug;
  const bool idle = WaitFor(
      [&] {
        for (HWND box : VisibleWindows([](HWND w) { return IsClass(w, L"#32770"); })) {
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        for (HWND menu : VisibleWindows([](HWND w) { return IsClass(w, L"#32768"); }))
          PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        if (!ProgramIdle()) return false;
        // The key pad that was pulled out is gone from the table after the rescan.
        return !unplugged || app().keyPads.keyPadCount.load() == kRoles - 1;
      },
      kEndWithinMs - (GetTickCount() - since));
  if (!idle) {
    failure_ += "not idle within 10 s; ";
    return false;
  }
  PostMessageW(mainWindow_, WM_COMMAND, MAKEWPARAM(kCommandAbout, 0), 0);
  HWND about = nullptr;
  if (!WaitFor([&] { return (about = FindDialog(L"バージョン情報")) != nullptr; }, 5000)) {
    failure_ += "the about box did not open afterwards; ";
    return false;
  }
  testing::WindowUser close(L"バージョン情報", IDOK, {}, 5000);
  close.Wait();
  if (!WaitFor([&] { return ProgramIdle(); }, 5000)) {
    failure_ += "the about box did not close; ";
    return false;
  }
  return true;
}

// An end that did not come in time: the user cancels every dialog and menu until the main
// window's thread is back in its own loop (the case's end then destroys the window, as the
// program's own exit would). A program that does not come back even then is stuck for good.
void CaseRun::Rescue() {
  const auto backInItsLoop = [&] {
    const KeyPadTable& table = app().keyPads;
    return EndedNow() || (!table.commandActive.load() && !table.modalActive.load() &&
                          VisibleWindows([](HWND w) {
                            return IsClass(w, L"#32770") || IsClass(w, L"#32768");
                          }).empty());
  };
  const DWORD start = GetTickCount();
  while (!backInItsLoop() && GetTickCount() - start < 20000) {
    for (HWND box : VisibleWindows([](HWND w) { return IsClass(w, L"#32770"); }))
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (HWND menu : VisibleWindows([](HWND w) { return IsClass(w, L"#32768"); }))
      PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    Sleep(100);
  }
  if (!backInItsLoop()) {
    std::fprintf(stderr, "case %d: the program is stuck after the end; giving up\n", number_);
    std::fflush(stderr);
    std::_Exit(1);
  }
}

// ---------------------------------------------------------------- what the key pads were sent

// A written status byte the user chose: an editing or resume value (the key pad's access bits
// are its own), with buzzer and interface bits the key pad had or the user chose.
bool StatusChosen(std::uint8_t written, const std::vector<int>& settings) {
  const std::uint8_t low = written & 0x8F;
  if (low != 0x80 && low != 0x81) return false;
  for (int chosen : settings)
    if ((written & 0x70) == chosen) return true;
  return false;
}

bool ChosenRecord(const KeyCodeRecord& written, const KeyCodeRecord& before, bool typedHere) {
  if (written == before) return true;
  // A key typed in the key input dialog: one key pressed and released.
  return typedHere && written.length() == 3 &&
         written.bytes[2] == (written.bytes[1] | kStrokeReleaseBit);
}

void CaseRun::CheckKeyPads(CaseOutcome& outcome) {
  for (int role = 0; role < kRoles; ++role) {
    const EmulatedDeviceId id = ids_[role];
    const EmulatedKeyPad keyPad = KeyPadOf(static_cast<KeyPadRole>(role));
    // The resume value is bit 0 set, the editing value bit 0 clear (a key pad pulled out in its
    // editing state is out of the program's reach).
    const int last = rig_->hid.LastStatusWrite(id);
    if (role != unplugged_ && last >= 0 && (last & kStatusPasswordSet) == 0) {
      ++outcome.keyPadsLeftEditing;
      outcome.notes += "key pad " + std::to_string(keyPad.serial) + " left editing; ";
    }
    std::vector<int> settings{keyPad.status & 0x70};
    if (role == kPasswordPad && scenario_.chosenSettings >= 0)
      settings.push_back(scenario_.chosenSettings);
    const bool resets = role == kPasswordPad && scenario_.resets;
    if (resets) settings.push_back(kStatusAfterReset & 0x70);
    for (const ReceivedRequest& request : rig_->hid.Requests(id)) {
      bool wrong = false;
      switch (request.command) {
        case kCmdWriteStatusByte:
          wrong = request.payload.empty() || (!StatusChosen(request.payload[0], settings) &&
                                              !(resets && request.payload[0] == kStatusAfterReset));
          break;
        case kCmdWriteKeyCode: {
          const int key = request.payload.empty() ? 0 : request.payload[0];
          KeyCodeRecord written;
          written.bytes[0] = request.declaredLength;
          for (std::size_t i = 1; i < request.payload.size() && i < kRecordBytes; ++i)
            written.bytes[i] = request.payload[i];
          const KeyCodeRecord before = key == kTypingKey && role == kSoftKeyPad
                                           ? TypingRecord()
                                           : KeyPadFirmware::DefaultKeyCode(key);
          const bool typedHere = (role == kPasswordPad && key == kEditedKey) ||
                                 (role == kSoftKeyPad && key == kMenuKey);
          wrong = !ChosenRecord(written, before, typedHere);
          break;
        }
        case kCmdWritePassword:
        case kCmdResetToFactory:
          wrong = !resets;
          break;
        default:
          break;
      }
      if (wrong) {
        ++outcome.wrongWrites;
        char what[96];
        std::snprintf(what, sizeof what, "key pad %u was sent command 0x%02X (first byte 0x%02X); ",
                      static_cast<unsigned>(keyPad.serial), request.command,
                      request.payload.empty() ? 0u : request.payload[0]);
        outcome.notes += what;
      }
    }
  }
}

// ---------------------------------------------------------------- the scenarios' actions

Action Post(std::uint16_t command) {
  return [command](CaseRun& run) {
    return PostMessageW(run.main(), WM_COMMAND, MAKEWPARAM(command, 0), 0) != FALSE ||
           run.Fail("the command could not be posted");
  };
}

Action AwaitDialog(std::wstring title) {
  return [title](CaseRun& run) {
    return run.WaitFor([&] { return (run.dialog = FindDialog(title)) != nullptr; }) ||
           run.Fail("no dialog");
  };
}

Action PressButton(int id) {
  return [id](CaseRun& run) {
    return PostMessageW(run.dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0) != FALSE ||
           run.Fail("the dialog is gone");
  };
}

// A check box or radio button, clicked as the user clicks it (it opens nothing).
Action ClickButton(int id) {
  return [id](CaseRun& run) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(GetDlgItem(run.dialog, id), BM_CLICK, 0, 0, SMTO_NORMAL, kStepWaitMs,
                               &ignored) != 0 ||
           run.Fail("the button did not answer");
  };
}

Action TypePassword() {
  return [](CaseRun& run) {
    const std::string password = kPassword;
    return SetDlgItemTextW(run.dialog, IDC_PASSWORD,
                           std::wstring(password.begin(), password.end()).c_str()) != FALSE ||
           run.Fail("the password field is gone");
  };
}

// Waits for `title`, answering the password prompt on the way when the command asks for it.
Action AwaitDialogAfterPrompt(std::wstring title) {
  return [title](CaseRun& run) {
    bool prompted = false;
    return run.WaitFor([&] {
      if (!prompted) {
        if (HWND prompt = FindDialog(L"ユーザー認証")) {
          run.dialog = prompt;
          TypePassword()(run);
          PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
          prompted = true;
        }
      }
      return (run.dialog = FindDialog(title)) != nullptr;
    }) || run.Fail("no dialog after the prompt");
  };
}

// All three key pads connected, the soft keyboards shown, the scan over.
Action AwaitConnected() {
  return [](CaseRun& run) {
    return run.WaitFor([&] {
      const KeyPadTable& table = run.app().keyPads;
      if (table.keyPadCount.load() != kRoles || table.rescanRunning.load()) return false;
      for (int slot = 0; slot < kRoles; ++slot)
        if (table.slots[slot].modelIdentity == 0) return false;
      HWND keyboard = run.app().softKeyboards.SoftKeyboardWindow(kSoftKeySlot);
      return keyboard && IsWindowVisible(keyboard) &&
             table.slots[2].accessState.load() == AccessState::Authenticated;
    }) || run.Fail("the key pads were not connected");
  };
}

Action AskForRescan() {
  return [](CaseRun& run) {
    run.window = run.app().softKeyboards.SoftKeyboardWindow(kSoftKeySlot);
    return PostMessageW(run.main(), kKeyboardChangedMessage, 0, 0) != FALSE;
  };
}

// The rescan started each soft keyboard anew.
Action AwaitRescanned() {
  return [](CaseRun& run) {
    return run.WaitFor([&] {
      HWND keyboard = run.app().softKeyboards.SoftKeyboardWindow(kSoftKeySlot);
      return keyboard && keyboard != run.window && !run.app().keyPads.rescanRunning.load() &&
             run.app().keyPads.keyPadCount.load() == kRoles;
    }) || run.Fail("no rescan");
  };
}

// The selection dialog: the password key pad, by its serial number.
Action ChoosePasswordPad() {
  return [](CaseRun& run) {
    HWND combo = GetDlgItem(run.dialog, IDC_KEYBOARD_LIST);
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      wchar_t text[256] = {};
      if (SendMessageW(combo, CB_GETLBTEXTLEN, i, 0) >= 256) continue;
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      if (std::wstring(text).find(L"000501") != std::wstring::npos) {
        SendMessageW(combo, CB_SETCURSEL, i, 0);
        return PostMessageW(run.dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) != FALSE;
      }
    }
    return run.Fail("the password key pad is not in the list");
  };
}

Action AwaitEnabled(int id) {
  return [id](CaseRun& run) {
    return run.WaitFor([&] { return IsWindowEnabled(GetDlgItem(run.dialog, id)) != FALSE; }) ||
           run.Fail("the button stayed disabled");
  };
}

// The key input dialog has the foreground and its capture: the user types one key.
Action TypeIntoKeyInput(std::wstring title) {
  return [title](CaseRun& run) {
    if (!run.WaitFor([&] {
          run.dialog = FindDialog(title);
          return run.dialog && GetForegroundWindow() == run.dialog && CaptureHookInstalled();
        }))
      return run.Fail("the key input dialog did not take the keyboard");
    SendKeys({{'B', false}, {'B', true}});
    return run.WaitFor([&] {
      return SendDlgItemMessageW(run.dialog, kKeyCodeListId, LVM_GETITEMCOUNT, 0, 0) == 2;
    }) || run.Fail("the typed key was not recorded");
  };
}

Action AwaitCommandOver() {
  return [](CaseRun& run) {
    return run.WaitFor([&] {
      return !run.app().keyPads.commandActive.load() && !run.app().keyPads.modalActive.load() &&
             VisibleWindows([](HWND w) { return IsClass(w, L"#32770"); }).empty();
    }) || run.Fail("the command did not end");
  };
}

// The system's file dialog under Wine keeps one registry key open for each time it was shown
// (the program makes no registry call around it): the handle count allows one per dialog.
std::atomic<long> fileDialogsAnswered{0};

// A file dialog of the system: the file name typed into its name box, then its OK.
Action AnswerFileDialog() {
  return [](CaseRun& run) {
    HWND files = nullptr;
    if (!run.WaitFor([&] {
          for (HWND w : VisibleWindows([](HWND w) { return IsClass(w, L"#32770"); }))
            if (IsWindowEnabled(w) && (GetDlgItem(w, cmb13) || GetDlgItem(w, edt1))) files = w;
          return files != nullptr;
        }))
      return run.Fail("no file dialog");
    ++fileDialogsAnswered;
    for (int box : {cmb13, edt1})
      if (GetDlgItem(files, box)) SetDlgItemTextW(files, box, run.exportPath.c_str());
    return PostMessageW(files, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0) != FALSE;
  };
}

Action AwaitFile() {
  return [](CaseRun& run) {
    return run.WaitFor([&] {
      return GetFileAttributesW(run.exportPath.c_str()) != INVALID_FILE_ATTRIBUTES &&
             FindDialog(L"キーコード設定") != nullptr;
    }) || run.Fail("the file was not written");
  };
}

Action AwaitKeyWritten(KeyPadRole role, int key) {
  return [role, key](CaseRun& run) {
    return run.WaitFor([&] { return run.rig().hid.Record(run.id(role), key).length() == 3; }) ||
           run.Fail("the key was not written");
  };
}

// The soft key's menu: "設定禁止" was cleared by the user earlier, so the key menus open.
Action OpenSoftKeyMenu() {
  return [](CaseRun& run) {
    run.app().keyPads.slots[kSoftKeySlot].settingsLocked = false;
    HWND keyboard = run.app().softKeyboards.SoftKeyboardWindow(kSoftKeySlot);
    HWND key = GetDlgItem(keyboard, kFirstSoftKeyButtonId + kMenuKey - 1);
    return (key && PostMessageW(keyboard, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(key),
                                MAKELPARAM(-1, -1)) != FALSE) ||
           run.Fail("no soft key");
  };
}

Action ChooseKeyInputInMenu() {
  return [](CaseRun& run) {
    HWND menu = nullptr;
    if (!run.WaitFor(
            [&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); }))
      return run.Fail("no menu");
    return PostMessageW(menu, WM_CHAR, L'k', 0) != FALSE;
  };
}

Action ClickSoftKey() {
  return [](CaseRun& run) {
    run.typing = std::make_unique<testing::KeyboardHookRecorder>();
    HWND keyboard = run.app().softKeyboards.SoftKeyboardWindow(kSoftKeySlot);
    HWND key = GetDlgItem(keyboard, kFirstSoftKeyButtonId + kTypingKey - 1);
    return (key && PostMessageW(keyboard, WM_COMMAND,
                                MAKEWPARAM(kFirstSoftKeyButtonId + kTypingKey - 1, BN_CLICKED),
                                reinterpret_cast<LPARAM>(key)) != FALSE) ||
           run.Fail("no soft key");
  };
}

// Both "s" typed: four key events with the delay between them.
Action AwaitTyped() {
  return [](CaseRun& run) {
    return run.typing->AwaitEvents(4, kStepWaitMs) || run.Fail("the soft key did not type");
  };
}

Step StartStep() {
  return {"start with three key pads",
          {AwaitDialog(L"ユーザー認証"), TypePassword(), PressButton(IDOK), AwaitConnected()}};
}

Step OpenKeyCodeSettings() {
  return {"open key code settings",
          {Post(kCommandKeyCodeSettings), AwaitDialog(L"ルミナキーボード選択"), ChoosePasswordPad(),
           AwaitDialogAfterPrompt(L"キーコード設定")}};
}

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios{
      {"key codes",
       kPasswordPad,
       {StartStep(),
        {"rescan", {AskForRescan(), AwaitRescanned()}},
        OpenKeyCodeSettings(),
        {"key input",
         {ClickButton(kFirstKeyButtonId + kEditedKey - 1), AwaitEnabled(kControlKeyInput),
          PressButton(kControlKeyInput),
          TypeIntoKeyInput(L"キー入力 #" + std::to_wstring(kEditedKey)), PressButton(IDOK),
          AwaitDialog(L"キーコード設定")}},
        {"extended settings",
         {PressButton(kControlExtendedSettings), AwaitDialog(L"拡張設定"),
          ClickButton(kControlBuzzerLarge), ClickButton(kControlInterfacePs2), PressButton(IDOK),
          AwaitDialog(L"キーコード設定")}},
        {"finish",
         {PressButton(IDOK), AwaitCommandOver(), AwaitKeyWritten(kPasswordPad, kEditedKey)}}},
       kStatusVolumeLarge | kStatusInterfacePs2},
      {"soft keyboard",
       kSoftKeyPad,
       {StartStep(),
        {"key menu command",
         {OpenSoftKeyMenu(), ChooseKeyInputInMenu(),
          TypeIntoKeyInput(L"キー入力 #" + std::to_wstring(kMenuKey)), PressButton(IDOK),
          AwaitKeyWritten(kSoftKeyPad, kMenuKey), AwaitCommandOver()}},
        {"typing with delays", {ClickSoftKey(), AwaitTyped()}}}},
      {"export and import",
       kPasswordPad,
       {StartStep(),
        OpenKeyCodeSettings(),
        {"export", {PressButton(kControlExport), AnswerFileDialog(), AwaitFile()}},
        {"import",
         {AwaitDialog(L"キーコード設定"), PressButton(kControlImport), AnswerFileDialog(),
          AwaitDialog(L"キーコード設定")}},
        {"finish", {PressButton(IDOK), AwaitCommandOver()}}}},
      {"factory reset",
       kPasswordPad,
       {StartStep(),
        {"reset",
         {Post(kCommandFactoryReset), AwaitDialog(L"ルミナキーボード選択"), ChoosePasswordPad(),
          AwaitDialogAfterPrompt(L"初期化確認"), PressButton(IDYES), AwaitCommandOver()}}},
       -1,
       true},
  };
  return scenarios;
}

// ---------------------------------------------------------------- the cases from the seed

// Every step boundary of every scenario (the end before each step, and after the last one).
std::vector<CutPoint> Boundaries() {
  std::vector<CutPoint> cuts;
  const std::vector<Scenario>& scenarios = Scenarios();
  for (int s = 0; s < static_cast<int>(scenarios.size()); ++s)
    for (int k = 0; k <= static_cast<int>(scenarios[s].steps.size()); ++k)
      cuts.push_back(CutPoint{s, k, 0, 0, EndWay::kClose});
  return cuts;
}

// Case `number` of a run from `seed`: two of every three are step boundaries (each with each end
// way, in an order the seed shuffles), the third a random point inside a step. A case depends on
// the seed and its number only, so it can be run again alone.
CutPoint CaseOf(std::uint32_t seed, int number) {
  const std::vector<CutPoint> boundaries = Boundaries();
  std::mt19937 order(seed);
  std::vector<int> sequence(boundaries.size() * 4);
  for (std::size_t i = 0; i < sequence.size(); ++i) sequence[i] = static_cast<int>(i);
  std::shuffle(sequence.begin(), sequence.end(), order);
  if (number % 3 != 2) {
    const int pick = sequence[(number - number / 3) % sequence.size()];
    CutPoint cut = boundaries[pick / 4];
    cut.way = static_cast<EndWay>(pick % 4);
    return cut;
  }
  std::mt19937 random(seed * 7919u + static_cast<std::uint32_t>(number));
  const std::vector<Scenario>& scenarios = Scenarios();
  CutPoint cut;
  cut.scenario = static_cast<int>(random() % scenarios.size());
  const std::vector<Step>& steps = scenarios[cut.scenario].steps;
  cut.step = static_cast<int>(random() % steps.size());
  cut.actions = 1 + static_cast<int>(random() % steps[cut.step].actions.size());
  cut.delayMs = random() % 400;
  cut.way = static_cast<EndWay>(random() % 4);
  return cut;
}

std::string Describe(const CutPoint& cut, std::uint32_t seed, int number) {
  const Scenario& scenario = Scenarios()[cut.scenario];
  const std::string where =
      cut.step < static_cast<int>(scenario.steps.size())
          ? std::string(cut.actions == 0 ? "before step \"" : "inside step \"") +
                scenario.steps[cut.step].name + "\" after " + std::to_string(cut.actions) +
                " actions and " + std::to_string(cut.delayMs) + " ms"
          : std::string("after the last step");
  return "case " + std::to_string(number) + ": scenario \"" + scenario.name + "\", " + where +
         ", end by " + kEndWayNames[static_cast<int>(cut.way)] + ", seed " + std::to_string(seed) +
         " (run alone: QV_CLOSE_STEPS_SEED=" + std::to_string(seed) +
         " QV_CLOSE_STEPS_ONLY=" + std::to_string(number) + ")";
}

// How many live handles of each kind the process holds (the system's object type names), to
// say what a case left behind.
std::map<std::wstring, int> HandleKinds() {
  using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
  static const auto query = reinterpret_cast<QueryObject>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
  std::map<std::wstring, int> kinds;
  if (!query) return kinds;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags;
    const auto handle = reinterpret_cast<HANDLE>(value);
    if (!GetHandleInformation(handle, &flags)) continue;
    alignas(8) unsigned char buffer[1024] = {};
    ULONG length = 0;
    std::wstring name = L"?";
    if (query(handle, 2 /* ObjectTypeInformation */, buffer, sizeof buffer, &length) == 0) {
      const auto* type = reinterpret_cast<const UNICODE_STRING*>(buffer);
      if (type->Buffer) name.assign(type->Buffer, type->Length / sizeof(wchar_t));
    }
    ++kinds[name];
  }
  return kinds;
}

std::string KindsGained(const std::map<std::wstring, int>& before,
                        const std::map<std::wstring, int>& after) {
  std::string gained;
  for (const auto& [kind, count] : after) {
    const auto it = before.find(kind);
    const int was = it == before.end() ? 0 : it->second;
    if (count > was)
      gained += std::string(kind.begin(), kind.end()) + " +" + std::to_string(count - was) + " ";
  }
  return gained;
}

// Waits (bounded) for the threads, handles and windows of an ended case to be gone. The counts
// are compared with those after the first case, which loads what the process keeps (GDI+, the
// system's own threads). The system caches a few handles and pictures the first time a dialog
// or menu is used: a leak of one thread or window shows at once, a leak of a handle or a GDI
// object within a few dozen cases.
bool SettledBack(const testing::ProcessCounts& before, long windowsBefore,
                 testing::ProcessCounts& after, bool objectsToo) {
  const DWORD start = GetTickCount();
  for (;;) {
    after = testing::CountNow();
    after.handles -= fileDialogsAnswered.load();
    const bool back = after.threads <= before.threads && CountTopLevelWindows() <= windowsBefore &&
                      (!objectsToo || (after.handles <= before.handles + 24 &&
                                       after.userObjects <= before.userObjects + 8 &&
                                       after.gdiObjects <= before.gdiObjects + 48));
    if (back || GetTickCount() - start > 5000) return back;
    PumpUntil([] { return false; }, 50);
  }
}

// The system's file dialog starts threads and caches pictures of the folder it shows that stay
// for the life of the process: a file is saved once in the cases' folder before the counts are
// taken, so that these are not taken for a leak.
void SaveOnceThroughAFileDialog() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"qv-close-steps-warm-up.qvk";
  std::atomic<bool> done{false};
  std::thread user([&] {
    const DWORD start = GetTickCount();
    while (!done && GetTickCount() - start < kStepWaitMs) {
      for (HWND w : VisibleWindows([](HWND w) { return IsClass(w, L"#32770"); })) {
        for (int box : {cmb13, edt1})
          if (GetDlgItem(w, box)) SetDlgItemTextW(w, box, path.c_str());
        PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      }
      Sleep(50);
    }
  });
  Win32KeyCodeFiles files;
  std::u16string chosen;
  files.ChooseFileToSave(0, chosen);
  done = true;
  user.join();
  DeleteFileW(path.c_str());
}

TEST(CloseAtEveryStep, EveryEndLeavesTheKeyPadsAndTheProcessClean) {
  const auto seed = static_cast<std::uint32_t>(EnvironmentNumber(L"QV_CLOSE_STEPS_SEED", 1));
  const long cases = EnvironmentNumber(L"QV_CLOSE_STEPS_CASES", kShortFormCases);
  const long only = EnvironmentNumber(L"QV_CLOSE_STEPS_ONLY", -1);
  // "/CLOSE" finds a running program by its instance mutex and its main window's class.
  wchar_t instanceName[128] = {};
  LoadStringW(GetModuleHandleW(nullptr), IDS_INSTANCE_NAME, instanceName, 128);
  const OwnedHandle instance(CreateMutexW(nullptr, FALSE, instanceName));
  ASSERT_TRUE(instance);
  int ran = 0, inTime = 0, leftEditing = 0, wrongWrites = 0, leaks = 0, broken = 0;
  testing::ProcessCounts baseline;
  long baselineWindows = 0;
  std::map<std::wstring, int> baselineKinds;
  SaveOnceThroughAFileDialog();
  for (long number = only >= 0 ? only : 0; number < (only >= 0 ? only + 1 : cases); ++number) {
    const CutPoint cut = CaseOf(seed, static_cast<int>(number));
    const DWORD caseStart = GetTickCount();
    testing::ProcessCounts before = testing::CountNow();
    const long windowsBefore = CountTopLevelWindows();
    CaseRun run(cut, static_cast<int>(number));
    const CaseOutcome outcome = run.Run();
    ++ran;
    inTime += outcome.endedInTime;
    leftEditing += outcome.keyPadsLeftEditing;
    wrongWrites += outcome.wrongWrites;
    testing::ProcessCounts after;
    const DWORD settleStart = GetTickCount();
    bool clean = true;
    if (ran == 1) {
      // The first case loads what the process keeps (GDI+, cached pictures and handles): the
      // later ones are measured against the handles and objects left after it, but against the
      // threads and windows there were before it, which nothing of the program may keep.
      clean = SettledBack(before, windowsBefore, after, false);
      baseline = testing::CountNow();
      baseline.handles -= fileDialogsAnswered.load();
      baseline.threads = before.threads;
      baselineWindows = windowsBefore;
      baselineKinds = HandleKinds();
    } else {
      clean = SettledBack(baseline, baselineWindows, after, true);
    }
    leaks += !clean;
    broken += outcome.stepFailed;
    if (!outcome.endedInTime || outcome.keyPadsLeftEditing || outcome.wrongWrites || !clean ||
        outcome.stepFailed) {
      std::printf("FAILED %s: %s%s\n", Describe(cut, seed, static_cast<int>(number)).c_str(),
                  outcome.endedInTime ? "" : "did not end in time; ", outcome.notes.c_str());
      if (!clean) {
        std::printf(
            "  left behind: threads %ld -> %ld, handles %ld -> %ld, GDI %ld -> %ld, USER %ld -> "
            "%ld, windows %ld -> %ld\n",
            baseline.threads, after.threads, baseline.handles, after.handles, baseline.gdiObjects,
            after.gdiObjects, baseline.userObjects, after.userObjects, baselineWindows,
            CountTopLevelWindows());
        std::printf("  handles gained: %s\n", KindsGained(baselineKinds, HandleKinds()).c_str());
      }
      std::fflush(stdout);
    }
    if (EnvironmentNumber(L"QV_CLOSE_STEPS_VERBOSE", 0) > 1)
      std::printf("  handles %ld, gained since the first case: %s\n", testing::CountHandles(),
                  KindsGained(baselineKinds, HandleKinds()).c_str());
    if (EnvironmentNumber(L"QV_CLOSE_STEPS_VERBOSE", 0))
      std::printf(
          "%s: %.1f s (settled in %lu ms)\n", Describe(cut, seed, static_cast<int>(number)).c_str(),
          static_cast<double>(GetTickCount() - caseStart) / 1000.0, GetTickCount() - settleStart);
  }
  std::printf("%d cases, %d ended in time, %d key pads left editing, %d wrong writes (seed %u)\n",
              ran, inTime, leftEditing, wrongWrites, seed);
  std::fflush(stdout);
  EXPECT_EQ(inTime, ran);
  EXPECT_EQ(leftEditing, 0);
  EXPECT_EQ(wrongWrites, 0);
  EXPECT_EQ(leaks, 0);
  EXPECT_EQ(broken, 0);
}

}  // namespace
}  // namespace qv
