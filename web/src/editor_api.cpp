// The browser editor's WebAssembly module: the page calls these functions (through ccall, with
// Asyncify where they talk to a key pad) and gets JSON answers. Every decision is the core's:
// discovery over the WebHID port, the access sequence of the key-code settings command, the
// key-code editing rules, the capture rules, the key-code file and qv-padctl's backup and
// restore. This file only holds the one editing session and turns results into JSON.
#include <emscripten.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "access/access_control.h"
#include "access/key_pad_connection.h"
#include "access/key_pad_table.h"
#include "access/model_names.h"
#include "access_commands.h"
#include "common/ini_text.h"
#include "common/memory_settings.h"
#include "common/secure_zero.h"
#include "device/browser_device.h"
#include "device/device_commands.h"
#include "device/device_context.h"
#include "device/web/web_hid_system.h"
#include "json_text.h"
#include "keycode/capture.h"
#include "keycode/extended_settings.h"
#include "keycode/key_code_editing.h"
#include "keycode/key_code_file.h"
#include "keycode/key_code_store.h"
#include "keycode/key_table.h"
#include "keycode/shortcuts.h"
#include "padctl/key_pad_access.h"
#include "padctl/padctl_report.h"
#include "padctl/padctl_run.h"
#include "qv_version.h"

namespace qv {
namespace {

// The page's files: a file the user opened, or the bytes of one to download. Replacing a file
// keeps its bytes for the page.
class PageFiles : public KeyCodeFileSystem, public PadctlFiles {
 public:
  bool ChooseFileToOpen(UiWindow, std::u16string& path) override {
    path = u"opened.qvk";
    return true;
  }
  bool ChooseFileToSave(UiWindow, std::u16string& path) override {
    path = u"saved.qvk";
    return true;
  }
  bool ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) override {
    for (const auto& [name, content] : files)
      if (name == path) {
        bytes = content;
        return true;
      }
    return false;
  }
  FileRead ReadWholeFile(std::u16string_view path, std::size_t mostBytes,
                         std::vector<std::uint8_t>& bytes) override {
    std::vector<std::uint8_t> whole;
    if (!ReadWholeFile(path, whole)) return FileRead::kUnreadable;
    if (whole.size() > mostBytes) return FileRead::kTooLong;
    bytes = std::move(whole);
    return FileRead::kRead;
  }
  bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    for (auto& [name, content] : files)
      if (name == path) {
        content.assign(bytes.begin(), bytes.end());
        return true;
      }
    files.emplace_back(std::u16string(path), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return true;
  }
  bool MakeFolder(std::u16string_view) override { return true; }

  std::vector<std::pair<std::u16string, std::vector<std::uint8_t>>> files;
};

// Message boxes become lines the page shows; a question is answered No.
class PageMessages : public EditorMessages {
 public:
  int ShowMessage(UiWindow, const UiMessage& message) override {
    lines.push_back(MessageLine(message.title, message.text));
    return kMessageNo;
  }
  std::vector<std::u16string> lines;
};

// The password the user typed for this one run; wiped when the run ends. Without one the run
// stops with the tool's "no way to ask" message, on which the page opens its prompt and runs the
// command again.
class PagePasswords : public PasswordSupply, public PasswordConsole {
 public:
  PasswordSource PasswordFor(const PadctlKeyPad&, SecretText& password) override {
    return Give(password) ? PasswordSource::kGiven : PasswordSource::kNoWayToAsk;
  }
  PasswordAnswer AskPassword(std::u16string_view, SecretText& password) override {
    return Give(password) ? PasswordAnswer::kEntered : PasswordAnswer::kNoConsole;
  }
  SecretText password;

 private:
  bool Give(SecretText& out) {
    if (password.empty()) return false;
    out.Assign(password.view());
    return true;
  }
};

class PageOutput : public PadctlOutput {
 public:
  bool WriteResult(std::u16string_view) override { return true; }
  bool WriteProgress(std::u16string_view) override { return true; }
};

// The browser has no resident tray program beside it.
class NoTrayProgram : public TrayProgram {
 public:
  bool IsRunning() override { return false; }
  bool RunsInAnotherSession() override { return false; }
  bool Close() override { return true; }
  TrayRestart Restart() override { return TrayRestart::kRestarted; }
  std::u16string ProgramPath() override { return u""; }
};

// One page runs one command at a time; the browser keeps other pages from the same device.
class PageInstanceLock : public ToolInstanceLock {
 public:
  bool TryAcquire() override { return true; }
  void Release() override {}
};

struct EditorSession {
  WebHidSystem hid;
  DeviceContext device{hid};
  KeyPadTable table;
  std::vector<PadctlKeyPad> keyPads;
  int keyPad = -1;  // index into keyPads of the key pad being edited
  EditedKeyCodes edited;
  KeyCodeRecords cache{};
  CaptureState capture;
  int captureKey = -1;
  bool nonJapaneseLayout = false;
  PagePasswords passwords;
  ShortcutList shortcuts;
  std::uint8_t settingsWorking = 0;  // the status byte dialog 169 opened with
  std::string answer;
};

EditorSession& Session() {
  static EditorSession* session = new EditorSession;
  return *session;
}

const char* Answer(std::string json) {
  Session().answer = std::move(json);
  return Session().answer.c_str();
}

std::string JsonList(const std::vector<std::u16string>& lines) {
  std::string out = "[";
  for (const std::u16string& line : lines) out += (out.size() > 1 ? "," : "") + JsonString(line);
  return out + "]";
}

std::string JsonNumbers(const std::vector<int>& numbers) {
  std::string out = "[";
  for (int n : numbers) out += (out.size() > 1 ? "," : "") + std::to_string(n);
  return out + "]";
}

// Takes the password from the page's buffer and wipes the buffer.
void TakePassword(char16_t* text, int length) {
  EditorSession& session = Session();
  session.passwords.password.Wipe();
  if (text != nullptr && length > 0) {
    session.passwords.password.Assign(std::u16string_view(text, static_cast<std::size_t>(length)));
    SecureZero(text, static_cast<std::size_t>(length) * sizeof(char16_t));
  }
}

PadctlKeyPad* CurrentKeyPad() {
  EditorSession& session = Session();
  if (session.keyPad < 0 || session.keyPad >= static_cast<int>(session.keyPads.size()))
    return nullptr;
  return &session.keyPads[session.keyPad];
}

// Runs work on the current key pad inside the access sequence of the key-code settings command;
// the password is wiped afterwards whatever happened. The messages of the sequence and of the
// work come back in `messages`.
bool RunOnCurrentKeyPad(PageFiles& files, std::vector<std::u16string>& messages,
                        const std::function<void(KeyCodeEditing&)>& work) {
  EditorSession& session = Session();
  PadctlKeyPad* keyPad = CurrentKeyPad();
  if (keyPad == nullptr) return false;
  PageMessages ui;
  KeyPadSlot& slot = session.table.slots[keyPad->slot];
  const AccessRun run =
      RunWithAccess(session.table, session.device, *keyPad, session.passwords, [&](AccessRun&) {
        KeyCodeEditing editing{
            session.device, slot.link, keyPad->modelIdentity, session.edited, session.cache,
            files,          ui};
        work(editing);
      });
  session.passwords.password.Wipe();
  messages = run.messages;
  messages.insert(messages.end(), ui.lines.begin(), ui.lines.end());
  return run.workRan;
}

std::string KeyPadJson(const EditorSession& session, const PadctlKeyPad& keyPad) {
  const AccessState state = session.table.slots[keyPad.slot].accessState;
  std::string out = "{\"slot\":" + std::to_string(keyPad.slot);
  out += ",\"productId\":" + std::to_string(keyPad.productId());
  out += ",\"model\":" + JsonString(HexText(keyPad.modelIdentity, 8));
  out += ",\"serial\":" + JsonString(DecimalText(keyPad.serialNumber, 6));
  out += ",\"label\":" + JsonString(TextsOfModel(keyPad.modelIdentity).label);
  out += ",\"promptTitle\":" + JsonString(TextsOfModel(keyPad.modelIdentity).promptTitle);
  out += ",\"transport\":" + JsonString(TransportName(keyPad));
  out += std::string(",\"answered\":") + (keyPad.answered ? "true" : "false");
  out += std::string(",\"locked\":") + (state == AccessState::Locked ? "true" : "false");
  out += std::string(",\"hasPassword\":") +
         ((keyPad.status & kStatusPasswordSet) != 0 ? "true" : "false");
  out += std::string(",\"versionChoice\":") +
         (BrowserVersionIsAmbiguous(keyPad.productId()) && !keyPad.bluetooth ? "true" : "false");
  out += std::string(",\"extended\":") +
         (HasExtendedSettings(keyPad.modelIdentity) ? "true" : "false");
  out += ",\"keyCount\":" + std::to_string(keyPad.keyCount) + "}";
  return out;
}

std::string CaptureJson(const EditorSession& session, const CaptureVerdict* verdict) {
  const KeyCodeRecord record = CaptureRecord(session.capture);
  std::string out = "{\"key\":" + std::to_string(session.captureKey + 1);
  out += ",\"length\":" + std::to_string(session.capture.length);
  out += std::string(",\"complete\":") + (session.capture.complete ? "true" : "false");
  if (verdict != nullptr) {
    out += std::string(",\"beep\":") + (verdict->beep ? "true" : "false");
    out += std::string(",\"passOn\":") + (verdict->passOn ? "true" : "false");
  }
  out += ",\"rows\":[";
  bool first = true;
  for (const KeyCodeRow& row : KeyCodeRows(record, KeyTableFor(session.nonJapaneseLayout))) {
    out += (first ? "[" : ",[") + JsonString(BoundedView(row.key)) + "," +
           JsonString(std::u16string_view(row.state)) + "]";
    first = false;
  }
  return out + "]}";
}

ButtonOutcome PressCaptureButton(EditorSession& session, int button) {
  CaptureState& capture = session.capture;
  switch (button) {
    case 0:
      return PressRepeat1(capture);
    case 1:
      return PressRepeat2(capture);
    case 2:
      return PressDelay(capture, kDelay1);
    case 3:
      return PressDelay(capture, kDelay2);
    case 4:
      return PressDelay(capture, kDelay3);
    case 5:
      return PressJapaneseKey(capture, 0x01);
    case 6:
      return PressJapaneseKey(capture, 0x43);
    default:
      return ButtonOutcome{};
  }
}

}  // namespace
}  // namespace qv

using namespace qv;

extern "C" {

// The constants the page shares with the program: the device filter and the version.
EMSCRIPTEN_KEEPALIVE const char* qv_constants() {
  std::string out = "{\"vendorId\":" + std::to_string(kVendorId);
  out += ",\"usagePage\":" + std::to_string(kVendorUsagePage);
  out += ",\"version\":" + JsonString(std::string_view(QV_VERSION_TEXT));
  out += ",\"noPassword\":" + JsonString(kNoPasswordText);
  return Answer(out + "}");
}

EMSCRIPTEN_KEEPALIVE void qv_set_layout(int nonJapanese) {
  Session().nonJapaneseLayout = nonJapanese != 0;
}

// Opens every granted key pad and reads its identity and status, as the program's scan does.
EMSCRIPTEN_KEEPALIVE const char* qv_scan() {
  EditorSession& session = Session();
  session.keyPad = -1;
  session.keyPads = TakeInventory(session.table, session.device);
  std::string out = "[";
  for (const PadctlKeyPad& keyPad : session.keyPads)
    out += (out.size() > 1 ? "," : "") + KeyPadJson(session, keyPad);
  return Answer(out + "]");
}

// Chooses a key pad and reads all its key codes inside the access sequence, with the password
// the page passes (UTF-16, wiped here).
EMSCRIPTEN_KEEPALIVE const char* qv_open_key_pad(int index, char16_t* password, int length) {
  EditorSession& session = Session();
  TakePassword(password, length);
  if (index < 0 || index >= static_cast<int>(session.keyPads.size())) {
    session.passwords.password.Wipe();
    return Answer("{\"ok\":false,\"messages\":[]}");
  }
  session.keyPad = index;
  PageFiles files;
  std::vector<std::u16string> messages;
  bool read = false;
  const bool ran = RunOnCurrentKeyPad(files, messages, [&](KeyCodeEditing& editing) {
    BeginKeyCodeSettings(editing);
    read = true;
  });
  std::string out = std::string("{\"ok\":") + (ran && read ? "true" : "false");
  out += ",\"keyPad\":" + KeyPadJson(session, session.keyPads[index]);
  out += ",\"messages\":" + JsonList(messages) + "}";
  return Answer(out);
}

// The key grid of the current key pad's model for `page` (1..6 on the paged models): columns,
// rows and the key number behind each button.
EMSCRIPTEN_KEEPALIVE const char* qv_key_grid(int page) {
  const PadctlKeyPad* keyPad = CurrentKeyPad();
  if (keyPad == nullptr) return Answer("{}");
  const std::uint16_t productId = keyPad->productId();
  const KeyGrid grid = KeyGridFor(productId);
  std::string out =
      "{\"paged\":" + std::string(grid.kind == KeyGridKind::kPaged ? "true" : "false");
  out += ",\"columns\":" + std::to_string(grid.columns) + ",\"rows\":" + std::to_string(grid.rows);
  out += ",\"keys\":[";
  std::vector<int> keys;
  for (const KeyButtonPlace& place : KeyButtonPlaces(productId, 0, 0, CellSize{1, 1}, page)) {
    const int key = KeyIndexOfButton(productId, page, place.index);
    if (key >= 0) keys.push_back(key + 1);
  }
  if (grid.kind == KeyGridKind::kNone)
    for (int key = 1; key <= keyPad->keyCount; ++key) keys.push_back(key);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const int key = keys[i];
    out += (i ? ",{" : "{") + std::string("\"key\":") + std::to_string(key);
    out +=
        std::string(",\"changed\":") + (Session().edited.changed[key - 1] ? "true" : "false") + "}";
  }
  return Answer(out + "]}");
}

// The list rows of a key of the editing copy (key number from 1).
EMSCRIPTEN_KEEPALIVE const char* qv_key_rows(int key) {
  EditorSession& session = Session();
  if (key < 1 || key > kMaxKeys) return Answer("{}");
  std::string out = "{\"length\":" + std::to_string(session.edited.records[key - 1].length());
  out += ",\"rows\":[";
  bool first = true;
  for (const KeyCodeRow& row :
       KeyCodeRows(session.edited.records[key - 1], KeyTableFor(session.nonJapaneseLayout))) {
    out += (first ? "[" : ",[") + JsonString(BoundedView(row.key)) + "," +
           JsonString(std::u16string_view(row.state)) + "]";
    first = false;
  }
  return Answer(out + "]}");
}

// Starts recording a new key code for a key (from 1).
EMSCRIPTEN_KEEPALIVE const char* qv_capture_begin(int key) {
  EditorSession& session = Session();
  const PadctlKeyPad* keyPad = CurrentKeyPad();
  if (keyPad == nullptr || key < 1 || key > keyPad->keyCount) return Answer("{}");
  session.captureKey = key - 1;
  BeginCapture(session.capture, keyPad->productId(), true);
  return Answer(CaptureJson(session, nullptr));
}

// One key event of the capture area, as the capture hook would see it.
EMSCRIPTEN_KEEPALIVE const char* qv_capture_key(int vk, int extended, int release) {
  EditorSession& session = Session();
  if (session.captureKey < 0) return Answer("{}");
  KeyEvent event;
  event.vk = static_cast<std::uint16_t>(vk);
  event.extended = extended != 0;
  event.release = release != 0;
  const CaptureVerdict verdict =
      OnCaptureKey(session.capture, event, KeyTableFor(session.nonJapaneseLayout));
  return Answer(CaptureJson(session, &verdict));
}

// The key input buttons: 0 "[Repeat1]", 1 "[Repeat2]", 2..4 the delays, 5 "半角/全角",
// 6 "カタカナひらがな", 7 "消去".
EMSCRIPTEN_KEEPALIVE const char* qv_capture_button(int button) {
  EditorSession& session = Session();
  const PadctlKeyPad* keyPad = CurrentKeyPad();
  if (session.captureKey < 0 || keyPad == nullptr) return Answer("{}");
  if (button == 7) {
    BeginCapture(session.capture, keyPad->productId(), true);
    return Answer(CaptureJson(session, nullptr));
  }
  const ButtonOutcome outcome = PressCaptureButton(session, button);
  CaptureVerdict verdict;
  verdict.beep = !outcome.accepted;
  return Answer(CaptureJson(session, &verdict));
}

// "初期設定": the key's factory default from the key pad, replayed into the capture.
EMSCRIPTEN_KEEPALIVE const char* qv_capture_default() {
  EditorSession& session = Session();
  PadctlKeyPad* keyPad = CurrentKeyPad();
  if (session.captureKey < 0 || keyPad == nullptr) return Answer("{}");
  KeyCodeRecord record;
  const bool read = ReadDefaultKeyCode(session.device, session.table.slots[keyPad->slot].link,
                                       session.captureKey + 1, record);
  CaptureVerdict verdict;
  verdict.beep = !AcceptDefaultKeyCode(read, record);
  if (!verdict.beep) {
    BeginCapture(session.capture, keyPad->productId(), true);
    ReplayRecord(session.capture, record);
  }
  return Answer(CaptureJson(session, &verdict));
}

// The shortcut list from a shortcut.ini the user opened (its bytes at `bytes`): key text and
// description of each entry, in file order.
EMSCRIPTEN_KEEPALIVE const char* qv_shortcuts(const std::uint8_t* bytes, int size) {
  EditorSession& session = Session();
  IniText ini(std::span<const std::uint8_t>(bytes, static_cast<std::size_t>(size)));
  LoadShortcuts(ini, u"shortcut.ini", session.shortcuts);
  std::string out = "[";
  for (const Shortcut& entry : session.shortcuts.entries)
    out += (out.size() > 1 ? "," : "") + std::string("[") + JsonString(BoundedView(entry.keyText)) +
           "," + JsonString(BoundedView(entry.description)) + "]";
  return Answer(out + "]");
}

// A shortcut of the list loaded into the capture, under the key table in use.
EMSCRIPTEN_KEEPALIVE const char* qv_capture_shortcut(int index) {
  EditorSession& session = Session();
  if (session.captureKey < 0 || index < 0 ||
      index >= static_cast<int>(session.shortcuts.entries.size()))
    return Answer("{}");
  ReplayRecord(session.capture,
               session.shortcuts.entries[index].RecordFor(session.nonJapaneseLayout));
  return Answer(CaptureJson(session, nullptr));
}

// Ends the capture: every held key gets its release and the key code goes into the editing copy,
// marked changed. `keep` 0 drops the capture instead.
EMSCRIPTEN_KEEPALIVE const char* qv_capture_end(int keep) {
  EditorSession& session = Session();
  if (session.captureKey < 0) return Answer("{}");
  FinishCapture(session.capture);
  if (keep != 0) {
    session.edited.records[session.captureKey] = CaptureRecord(session.capture);
    session.edited.changed[session.captureKey] = true;
  }
  const std::string out = CaptureJson(session, nullptr);
  session.captureKey = -1;
  ResetCapture(session.capture);
  return Answer(out);
}

// Writes every changed key and reads each written key back: only a key that reads back as
// written counts as written.
EMSCRIPTEN_KEEPALIVE const char* qv_write(char16_t* password, int length) {
  EditorSession& session = Session();
  TakePassword(password, length);
  const PadctlKeyPad* keyPad = CurrentKeyPad();
  if (keyPad == nullptr) {
    session.passwords.password.Wipe();
    return Answer("{\"ok\":false,\"written\":[],\"failed\":[],\"messages\":[]}");
  }
  std::vector<int> toWrite;
  for (int key = 0; key < keyPad->keyCount; ++key)
    if (session.edited.changed[key]) toWrite.push_back(key + 1);
  const bool settingsPending = session.edited.pendingStatus != kNoPendingStatus;
  std::vector<int> written, failed;
  PageFiles files;
  std::vector<std::u16string> messages;
  const bool ran = RunOnCurrentKeyPad(files, messages, [&](KeyCodeEditing& editing) {
    WriteEditedKeyCodes(editing, true, settingsPending);
    for (int key : toWrite) {
      KeyCodeRecord read;
      const bool same = !editing.edited.changed[key - 1] &&
                        ReadKeyCode(editing.device, editing.link, key, read) &&
                        read == editing.edited.records[key - 1];
      (same ? written : failed).push_back(key);
    }
  });
  if (!ran) failed = toWrite;
  // Keys that did not arrive on a key pad that no longer answers: the page says why, as the
  // program's presence check does on the desktop (the resume after the keys is no longer a
  // failure of its own).
  std::uint8_t status = 0;
  if (ran && !failed.empty() &&
      !ReadKeyPadStatus(session.table, session.device, keyPad->slot, status))
    messages.push_back(MessageLine(kStatusReadFailedMessage.title, kStatusReadFailedMessage.text));
  const bool settingsWritten =
      ran && settingsPending && session.edited.pendingStatus == kNoPendingStatus;
  const bool ok = ran && failed.empty() && settingsWritten == settingsPending;
  std::string out = std::string("{\"ok\":") + (ok ? "true" : "false");
  out += std::string(",\"settingsWritten\":") + (settingsWritten ? "true" : "false");
  out += ",\"written\":" + JsonNumbers(written) + ",\"failed\":" + JsonNumbers(failed);
  out += ",\"messages\":" + JsonList(messages) + "}";
  return Answer(out);
}

// Dialog 169 as it opens: the working status byte (pending, else the key pad's) and the choices
// the core shows and enables.
EMSCRIPTEN_KEEPALIVE const char* qv_settings_open(char16_t* password, int length) {
  EditorSession& session = Session();
  TakePassword(password, length);
  PageFiles files;
  std::vector<std::u16string> messages;
  bool opened = false;
  ExtendedSettingsView view;
  RunOnCurrentKeyPad(files, messages, [&](KeyCodeEditing& editing) {
    opened = ExtendedSettingsWorkingValue(editing, 0, session.settingsWorking);
    if (opened) view = ExtendedSettingsOpen(editing.modelIdentity, session.settingsWorking);
  });
  std::string out = std::string("{\"ok\":") + (opened ? "true" : "false");
  out += std::string(",\"buzzerEnabled\":") + (view.buzzerEnabled ? "true" : "false");
  out += ",\"buzzer\":" + std::to_string(static_cast<int>(view.buzzer));
  out += std::string(",\"interfaceShown\":") + (view.interfaceShown ? "true" : "false");
  out += std::string(",\"interfaceEnabled\":") + (view.interfaceEnabled ? "true" : "false");
  out += ",\"interface\":" + std::to_string(static_cast<int>(view.interfaceMode));
  out += ",\"messages\":" + JsonList(messages) + "}";
  return Answer(out);
}

// "登録" of dialog 169: the chosen settings become the pending status byte, written with the keys.
EMSCRIPTEN_KEEPALIVE const char* qv_settings_register(int buzzer, int interfaceMode) {
  EditorSession& session = Session();
  const PadctlKeyPad* keyPad = CurrentKeyPad();
  if (keyPad == nullptr || buzzer < 0 || buzzer > 3 || interfaceMode < 0 || interfaceMode > 2)
    return Answer("{\"ok\":false}");
  session.edited.pendingStatus = ExtendedSettingsValue(
      keyPad->modelIdentity, session.settingsWorking, static_cast<BuzzerChoice>(buzzer),
      static_cast<InterfaceChoice>(interfaceMode));
  return Answer("{\"ok\":true}");
}

// Password setting (0), factory reset (1) or lock (2) for the current key pad. The texts (UTF-16,
// wiped here) are the key pad's password and the new one twice; `yes` answers the flow's
// questions. Returns the questions asked and the messages shown.
EMSCRIPTEN_KEEPALIVE const char* qv_command(int command, char16_t* password, int passwordLength,
                                            char16_t* newPassword, int newLength,
                                            char16_t* confirmation, int confirmationLength,
                                            int yes) {
  EditorSession& session = Session();
  PageAnswers answers;
  const auto take = [](SecretText& secret, char16_t* text, int length) {
    if (text == nullptr || length <= 0) return;
    secret.Assign(std::u16string_view(text, static_cast<std::size_t>(length)));
    SecureZero(text, static_cast<std::size_t>(length) * sizeof(char16_t));
  };
  take(answers.password, password, passwordLength);
  take(answers.newPassword, newPassword, newLength);
  take(answers.confirmation, confirmation, confirmationLength);
  answers.yes = yes != 0;
  const PadctlKeyPad* keyPad = CurrentKeyPad();
  const auto pageCommand = static_cast<PageCommand>(command);
  // Lock works on every key pad the last scan counted; the others on the chosen one.
  if (command < 0 || command > 2 || (keyPad == nullptr && pageCommand != PageCommand::kLock))
    return Answer("{\"ok\":false,\"questions\":[],\"messages\":[]}");
  const AccessCommandResult result = RunPageCommand(
      session.table, session.device, keyPad ? keyPad->slot : 0, pageCommand, answers);
  std::string out = "{\"ok\":true,\"questions\":" + JsonList(result.questions);
  out += std::string(",\"registered\":") + (result.registered ? "true" : "false");
  out += ",\"messages\":" + JsonList(result.messages) + "}";
  return Answer(out);
}

// "エクスポート" of the editing copy: the file's bytes as hex.
EMSCRIPTEN_KEEPALIVE const char* qv_export(char16_t* password, int length) {
  TakePassword(password, length);
  PageFiles files;
  std::vector<std::u16string> messages;
  bool exported = false;
  RunOnCurrentKeyPad(files, messages,
                     [&](KeyCodeEditing& editing) { exported = ExportKeyCodeFile(editing, 0); });
  std::string out = std::string("{\"ok\":") + (exported ? "true" : "false");
  const PadctlKeyPad* keyPad = CurrentKeyPad();
  out += ",\"name\":" + JsonString(keyPad ? BackupFileName(*keyPad) : std::u16string());
  out += ",\"bytes\":" + JsonHex(exported && !files.files.empty() ? files.files.front().second
                                                                  : std::vector<std::uint8_t>());
  out += ",\"messages\":" + JsonList(messages) + "}";
  return Answer(out);
}

// "インポート" of a file the user opened (its bytes at `bytes`): checked as a whole and taken into
// the editing copy, every key marked changed.
EMSCRIPTEN_KEEPALIVE const char* qv_import(const std::uint8_t* bytes, int size, char16_t* password,
                                           int length) {
  TakePassword(password, length);
  PageFiles files;
  files.files.emplace_back(u"opened.qvk", std::vector<std::uint8_t>(bytes, bytes + size));
  std::vector<std::u16string> messages;
  bool imported = false;
  RunOnCurrentKeyPad(files, messages,
                     [&](KeyCodeEditing& editing) { imported = ImportKeyCodeFile(editing, 0); });
  std::string out = std::string("{\"ok\":") + (imported ? "true" : "false");
  out += ",\"messages\":" + JsonList(messages) + "}";
  return Answer(out);
}

}  // extern "C"

namespace qv {
namespace {

// One qv-padctl run over the granted key pads with the page's files.
std::string RunPadctlCommand(const PadctlArguments& arguments, PageFiles& files) {
  EditorSession& session = Session();
  PageOutput output;
  NoTrayProgram tray;
  PageInstanceLock instances;
  MemorySettings settings;
  PadctlPorts ports{session.device, files,     session.passwords, output,
                    tray,           instances, settings,          nullptr};
  const PadctlReport report = ExecutePadctl(arguments, ports, nullptr);
  session.passwords.password.Wipe();
  std::string out = std::string("{\"ok\":") + (ExitStatusOf(report) == 0 ? "true" : "false");
  out += ",\"report\":" + JsonString(ReportText(report));
  out += ",\"files\":[";
  bool first = true;
  for (const auto& [name, bytes] : files.files) {
    if (name.find(u'\\') == std::u16string::npos) continue;  // only the files the run wrote
    out += (first ? "{" : ",{") + std::string("\"name\":") +
           JsonString(std::u16string_view(name).substr(name.rfind(u'\\') + 1)) +
           ",\"bytes\":" + JsonHex(bytes) + "}";
    first = false;
  }
  return out + "]}";
}

}  // namespace
}  // namespace qv

extern "C" {

// qv-padctl's backup of every granted key pad: one file per key pad, named by product id and
// serial number.
EMSCRIPTEN_KEEPALIVE const char* qv_backup(char16_t* password, int length) {
  TakePassword(password, length);
  PadctlArguments arguments;
  arguments.command = PadctlCommand::kBackup;
  arguments.target = u"backup";
  PageFiles files;
  return Answer(RunPadctlCommand(arguments, files));
}

// qv-padctl's restore of one backup file onto the key pad it was made from: the granted key pad
// whose backup file name (product id and serial number) is the file's name.
EMSCRIPTEN_KEEPALIVE const char* qv_restore(const char16_t* name, int nameLength,
                                            const std::uint8_t* bytes, int size, char16_t* password,
                                            int length) {
  TakePassword(password, length);
  EditorSession& session = Session();
  const std::u16string fileName(name, static_cast<std::size_t>(nameLength));
  PadctlArguments arguments;
  arguments.command = PadctlCommand::kRestore;
  arguments.target = fileName;
  for (const PadctlKeyPad& keyPad : TakeInventory(session.table, session.device))
    if (keyPad.answered && BackupFileName(keyPad) == fileName)
      arguments.serials.push_back(keyPad.serialNumber);
  session.keyPads.clear();
  session.keyPad = -1;
  if (arguments.serials.empty()) {
    session.passwords.password.Wipe();
    return Answer("{\"ok\":false,\"report\":" +
                  JsonString(u"このファイルのキーボード (" + fileName + u") が見つかりません。") +
                  ",\"files\":[]}");
  }
  PageFiles files;
  files.files.emplace_back(fileName, std::vector<std::uint8_t>(bytes, bytes + size));
  return Answer(RunPadctlCommand(arguments, files));
}

}  // extern "C"
