#include "padctl/padctl_run.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "access/access_control.h"
#include "access/key_pad_connection.h"
#include "common/secure_zero.h"
#include "device/device_commands.h"
#include "device/exchange_pass.h"
#include "keycode/extended_settings.h"
#include "keycode/key_code_editing.h"
#include "keycode/key_code_file.h"
#include "keycode/key_table.h"
#include "padctl/password_file.h"

namespace qv {
namespace {

// Status bits of the extended settings: buzzer volume and interface.
constexpr std::uint8_t kSettingsBits = kStatusVolumeMask | kStatusInterfacePs2;

// A key-code file is at most 16 + 4 + 144 x 61 bytes; a longer file is not one.
constexpr std::size_t kMostKeyCodeFileBytes = 64 * 1024;

constexpr std::u16string_view kNoKeyPadText = u"キーボードが接続されていません。";
constexpr std::u16string_view kOtherInstanceText =
    u"別の qv-padctl がキーボードを操作しています。終わってからもう一度実行してください。";
constexpr std::u16string_view kTrayWillNotEndText =
    u"常駐しているキーボード設定プログラムを終了できないため、キーボードを操作できません。";
constexpr std::u16string_view kTrayInAnotherSessionText =
    u"別のセッションでキーボード設定プログラム（qv-padconf.exe）が動いているため、キーボードを"
    u"操作できません。そのセッションでタスクトレイのメニューの「終了」を選んでから実行してください"
    u"。";
constexpr std::u16string_view kCancelledText = u"中断しました（Ctrl+C）。";
constexpr std::u16string_view kMismatchText =
    u"読み戻したキーコードが書き込んだものと一致しないキーがあります。";
constexpr std::u16string_view kSettingsMismatchText =
    u"読み戻した拡張設定が書き込んだものと一致しません。";

// Key-code files of the import and export rules, reached without a file dialog: the path is
// the one the command line named, and the restore's file was read once for every key pad.
class FixedFile : public KeyCodeFileSystem {
 public:
  FixedFile(PadctlFiles& files, std::u16string path, const std::vector<std::uint8_t>* bytes)
      : files_(files), path_(std::move(path)), bytes_(bytes) {}
  bool ChooseFileToOpen(UiWindow, std::u16string& path) override {
    path = path_;
    return true;
  }
  bool ChooseFileToSave(UiWindow, std::u16string& path) override {
    path = path_;
    return true;
  }
  bool ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) override {
    if (!bytes_) return files_.ReadWholeFile(path, kMostKeyCodeFileBytes, bytes) == FileRead::kRead;
    bytes = *bytes_;
    return true;
  }
  bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    return files_.ReplaceFile(path, bytes);
  }

 private:
  PadctlFiles& files_;
  std::u16string path_;
  const std::vector<std::uint8_t>* bytes_;
};

// The editor's message boxes become lines of the key pad's report.
class ReportedMessages : public EditorMessages {
 public:
  explicit ReportedMessages(AccessRun& run) : run_(run) {}
  int ShowMessage(UiWindow, const UiMessage& message) override {
    run_.messages.push_back(MessageLine(message.title, message.text));
    return message.buttons == MessageButtons::kYesNo ? kMessageNo : kMessageOk;
  }

 private:
  AccessRun& run_;
};

class ToolPasswords : public PasswordSupply {
 public:
  ToolPasswords(const PasswordFile* file, PasswordConsole& console)
      : file_(file), console_(console) {}
  PasswordSource PasswordFor(const PadctlKeyPad& keyPad, SecretText& password) override {
    if (file_)
      return file_->PasswordFor(keyPad.serialNumber, password) ? PasswordSource::kGiven
                                                               : PasswordSource::kNotInFile;
    switch (
        console_.AskPassword(u"キーボード " + KeyPadLabel(keyPad) + u" のパスワード: ", password)) {
      case PasswordAnswer::kEntered:
        return PasswordSource::kGiven;
      case PasswordAnswer::kEmptyEntry:
        return PasswordSource::kNothingEntered;
      default:
        return PasswordSource::kNoWayToAsk;
    }
  }

 private:
  const PasswordFile* file_;
  PasswordConsole& console_;
};

bool SameRecord(const KeyCodeRecord& a, const KeyCodeRecord& b) {
  if (a.length() != b.length()) return false;
  const int length = std::min<int>(a.length(), kRecordBytes);
  return std::equal(a.bytes.begin(), a.bytes.begin() + length, b.bytes.begin());
}

// Everything one run works with.
struct Run {
  const PadctlArguments& arguments;
  PadctlPorts& ports;
  KeyPadTable& table;
  PasswordSupply& passwords;
  const std::vector<std::uint8_t>* restoreFile = nullptr;
  bool nonJapaneseLayout = false;
  std::vector<std::u16string> backupNames;  // files this run has written, one per key pad
};

using Work = std::function<void(KeyCodeEditing&, AccessRun&, PadResult&)>;

// Runs `work` on the key pad inside the access sequence; the result fails when the sequence did
// not reach the work or the work or the sequence reported anything.
void RunOnKeyPad(Run& run, PadResult& result, const Work& work) {
  const PadctlKeyPad& keyPad = result.keyPad;
  KeyPadSlot& slot = run.table.slots[keyPad.slot];
  auto edited = std::make_unique<EditedKeyCodes>();
  auto cache = std::make_unique<KeyCodeRecords>();
  AccessRun access =
      RunWithAccess(run.table, run.ports.device, keyPad, run.passwords, [&](AccessRun& inside) {
        FixedFile files(run.ports.files, std::u16string(), run.restoreFile);
        ReportedMessages messages(inside);
        KeyCodeEditing editing{
            run.ports.device, slot.link, keyPad.modelIdentity, *edited, *cache, files, messages};
        work(editing, inside, result);
      });
  result.messages.insert(result.messages.end(), access.messages.begin(), access.messages.end());
  if (!access.workRan || !access.messages.empty()) result.outcome = PadOutcome::kFailed;
}

// A message of the program without its line breaks.
std::u16string OneLine(std::u16string_view text) {
  std::u16string line;
  for (char16_t c : text)
    if (c != u'\n') line += c;
  return line;
}

void Fail(PadResult& result, std::u16string message) {
  result.outcome = PadOutcome::kFailed;
  result.messages.push_back(std::move(message));
}

// ---------------------------------------------------------------- backup

void BackUp(Run& run, PadResult& result) {
  const std::u16string path = JoinPath(run.arguments.target, BackupFileName(result.keyPad));
  if (std::find(run.backupNames.begin(), run.backupNames.end(), path) != run.backupNames.end()) {
    Fail(result,
         u"同じ製品IDとシリアル番号のキーボードのファイルをこの実行で保存済みのため、"
         u"上書きしませんでした。");
    return;
  }
  RunOnKeyPad(run, result, [&](KeyCodeEditing& editing, AccessRun& access, PadResult& r) {
    BeginKeyCodeSettings(editing);
    // A key that could not be read would be saved as an empty key: the file would look like a
    // backup and lose that key's code on a restore.
    std::vector<int> unread;
    for (int key = 0; key < r.keyPad.keyCount; ++key)
      if (editing.edited.records[key].length() == 0) unread.push_back(key + 1);
    if (!unread.empty()) {
      access.messages.push_back(u"読み取れなかったキーがあるため保存しませんでした: " +
                                KeyRanges(unread));
      return;
    }
    FixedFile file(run.ports.files, path, nullptr);
    KeyCodeEditing toFile{editing.device, editing.link,  editing.modelIdentity,
                          editing.edited, editing.cache, file,
                          editing.ui};
    if (ExportKeyCodeFile(toFile, 0)) r.file = path;
  });
  if (!result.file.empty()) run.backupNames.push_back(path);
}

// ---------------------------------------------------------------- restore

// Reads every written key back; a key that reads differently, or not at all, was not kept.
void ReadBack(KeyCodeEditing& editing, PadResult& result) {
  for (int key : result.keysWritten) {
    KeyCodeRecord read;
    if (!ReadKeyCode(editing.device, editing.link, key, read) ||
        !SameRecord(read, editing.edited.records[key - 1]))
      result.keysMismatched.push_back(key);
  }
}

void Restore(Run& run, PadResult& result) {
  const bool dryRun = run.arguments.dryRun;
  RunOnKeyPad(run, result, [&](KeyCodeEditing& editing, AccessRun& access, PadResult& r) {
    EditedKeyCodes& edited = editing.edited;
    const int keys = r.keyPad.keyCount;
    std::unique_ptr<KeyCodeRecords> before;
    std::uint8_t statusBefore = 0;
    if (dryRun) {
      BeginKeyCodeSettings(editing);
      before = std::make_unique<KeyCodeRecords>(edited.records);
      if (!ReadKeyPadStatus(run.table, editing.device, r.keyPad.slot, statusBefore)) {
        access.messages.push_back(
            MessageLine(kStatusReadFailedMessage.title, kStatusReadFailedMessage.text));
        return;
      }
    }
    if (!ImportKeyCodeFile(editing, 0)) return;  // the import's own message says why
    const std::uint8_t pending = edited.pendingStatus;

    if (dryRun) {
      for (int key = 0; key < keys; ++key)
        if (!SameRecord((*before)[key], edited.records[key])) r.keysToChange.push_back(key + 1);
      r.settingsToChange = pending != kNoPendingStatus &&
                           (pending & kSettingsBits) != (statusBefore & kSettingsBits);
      edited.pendingStatus = kNoPendingStatus;
      return;
    }

    const FinishOutcome outcome = FinishKeyCodeSettings(editing, 0);
    for (int key = 0; key < keys; ++key)
      (edited.changed[key] ? r.keysFailed : r.keysWritten).push_back(key + 1);
    r.settingsWritten = pending != kNoPendingStatus && outcome != FinishOutcome::kLinkDown &&
                        edited.pendingStatus == kNoPendingStatus;
    ReadBack(editing, r);
    if (!r.keysMismatched.empty()) access.messages.emplace_back(kMismatchText);
    if (r.settingsWritten) {
      std::uint8_t now = 0;
      r.statusKnown = ReadKeyPadStatus(run.table, editing.device, r.keyPad.slot, now);
      r.status = now;
      if (!r.statusKnown || (now & kSettingsBits) != (pending & kSettingsBits))
        access.messages.emplace_back(kSettingsMismatchText);
    }
  });
}

// ---------------------------------------------------------------- show

void Show(Run& run, PadResult& result) {
  const int key = run.arguments.key;
  result.key = key;
  if (key > result.keyPad.keyCount) {
    Fail(result, u"このキーボードのキー番号は 1 から " +
                     DecimalText(static_cast<std::uint32_t>(result.keyPad.keyCount)) + u" です。");
    return;
  }
  RunOnKeyPad(run, result, [&](KeyCodeEditing& editing, AccessRun& access, PadResult& r) {
    KeyCodeRecord record;
    if (!ReadKeyCode(editing.device, editing.link, key, record)) {
      access.messages.push_back(u"キーコードを読み取れませんでした。");
      return;
    }
    r.rows = KeyCodeRows(record, KeyTableFor(run.nonJapaneseLayout));
  });
}

// ---------------------------------------------------------------- settings

BuzzerChoice ChoiceOf(BuzzerSetting setting, BuzzerChoice current) {
  switch (setting) {
    case BuzzerSetting::kOff:
      return BuzzerChoice::kOff;
    case BuzzerSetting::kSmall:
      return BuzzerChoice::kSmall;
    case BuzzerSetting::kLarge:
      return BuzzerChoice::kLarge;
    default:
      return current;
  }
}

InterfaceChoice ChoiceOf(InterfaceSetting setting, InterfaceChoice current) {
  switch (setting) {
    case InterfaceSetting::kUsb:
      return InterfaceChoice::kUsb;
    case InterfaceSetting::kPs2:
      return InterfaceChoice::kPs2;
    default:
      return current;
  }
}

void ChangeSettings(Run& run, PadResult& result) {
  const PadctlArguments& a = run.arguments;
  const std::uint32_t identity = result.keyPad.modelIdentity;
  // What dialog 169 lets the user change on this model.
  const ExtendedSettingsView offered = ExtendedSettingsOpen(identity, 0);
  if (!HasExtendedSettings(identity) || !offered.buzzerEnabled) {
    Fail(result, u"このキーボードには拡張設定（ブザー音量・インターフェース）がありません。");
    return;
  }
  if (a.interfaceMode != InterfaceSetting::kUnchanged &&
      !(offered.interfaceShown && offered.interfaceEnabled)) {
    Fail(result, u"このキーボードではインターフェースを変更できません。");
    return;
  }
  RunOnKeyPad(run, result, [&](KeyCodeEditing& editing, AccessRun& access, PadResult& r) {
    // A status that cannot be read is never the base of a new one: the user is told (through
    // the editing session's messages) and nothing is written.
    std::uint8_t working = 0;
    if (!ExtendedSettingsWorkingValue(editing, UiWindow{}, working)) return;
    const ExtendedSettingsView view = ExtendedSettingsOpen(identity, working);
    const std::uint8_t wanted =
        ExtendedSettingsValue(identity, working, ChoiceOf(a.buzzer, view.buzzer),
                              ChoiceOf(a.interfaceMode, view.interfaceMode));
    editing.edited.pendingStatus = wanted;
    if (!WriteEditedKeyCodes(editing, false, true)) {
      access.messages.push_back(
          MessageLine(kKeyWriteFailedMessage.title, kKeyWriteFailedMessage.text));
      return;
    }
    std::uint8_t now = 0;
    r.statusKnown = ReadKeyPadStatus(run.table, editing.device, r.keyPad.slot, now);
    r.status = now;
    if (!r.statusKnown || (now & kSettingsBits) != (wanted & kSettingsBits))
      access.messages.emplace_back(kSettingsMismatchText);
  });
}

// ---------------------------------------------------------------- choosing the key pads

bool IsFileModel(const std::vector<std::uint8_t>& file, const PadctlKeyPad& keyPad) {
  return CheckKeyCodeFile(file, keyPad.modelIdentity).verdict != KeyCodeFileVerdict::kForeign;
}

// The results to work on: the key pads named by --serial (each name that matches none is a
// run-level error), or every key pad; for restore --all the key pads of other models are
// reported as skipped.
std::vector<PadResult> ChooseKeyPads(const PadctlArguments& a,
                                     const std::vector<PadctlKeyPad>& keyPads,
                                     const std::vector<std::uint8_t>* restoreFile,
                                     PadctlReport& report) {
  std::vector<PadResult> chosen;
  for (const PadctlKeyPad& keyPad : keyPads) {
    PadResult result;
    result.keyPad = keyPad;
    if (!a.serials.empty()) {
      const bool named = keyPad.answered && std::find(a.serials.begin(), a.serials.end(),
                                                      keyPad.serialNumber) != a.serials.end();
      if (!named) continue;
    } else if (a.all && restoreFile && !IsFileModel(*restoreFile, keyPad)) {
      result.outcome = PadOutcome::kSkipped;
      result.messages.push_back(u"キーコードファイルとは別のモデルです。");
    }
    chosen.push_back(std::move(result));
  }
  for (std::uint32_t serial : a.serials) {
    const bool found = std::any_of(keyPads.begin(), keyPads.end(), [&](const PadctlKeyPad& k) {
      return k.answered && k.serialNumber == serial;
    });
    if (!found) {
      report.errors.push_back(u"シリアル番号 " + DecimalText(serial, 6) +
                              u" のキーボードが見つかりません。");
    }
  }
  return chosen;
}

void WorkOn(Run& run, PadResult& result) {
  // A key pad whose identity could not be read is still taken through the access sequence where
  // it was chosen: the sequence's link check and status read say why it cannot be used.
  switch (run.arguments.command) {
    case PadctlCommand::kList:
      if (!result.keyPad.answered) Fail(result, u"キーボードが応答しません。");
      break;
    case PadctlCommand::kBackup:
      if (!result.keyPad.answered)
        Fail(result, u"キーボードが応答しないため、シリアル番号を読めません。");
      else
        BackUp(run, result);
      break;
    case PadctlCommand::kRestore: {
      const KeyCodeFileContent content =
          CheckKeyCodeFile(*run.restoreFile, result.keyPad.modelIdentity);
      // The import's own rule, before anything is sent: another model's file is refused with
      // the import's message, and so is a damaged one.
      if (content.verdict == KeyCodeFileVerdict::kForeign)
        Fail(result, MessageLine(kForeignFileMessage.title, kForeignFileMessage.text));
      else if (content.verdict == KeyCodeFileVerdict::kDamaged)
        Fail(result, MessageLine(kDamagedFileMessage.title, kDamagedFileMessage.text));
      else
        Restore(run, result);
      break;
    }
    case PadctlCommand::kShow:
      Show(run, result);
      break;
    case PadctlCommand::kSettings:
      ChangeSettings(run, result);
      break;
    default:
      break;
  }
}

bool Cancelled(const PadctlPorts& ports) {
  return ports.cancelled && ports.cancelled->load();
}

// The run-level error of a restore that found no key pad of its file's model.
std::u16string NoKeyPadForFileText(const std::vector<std::uint8_t>& file) {
  KeyCodeFileModel model;
  if (!ReadKeyCodeFileModel(file, model)) return OneLine(kDamagedFileMessage.text);
  std::u16string name = u"製品ID " + HexText(model.productId, 4);
  if (model.versionNamed) name += u"、バージョン " + HexText(model.version, 4);
  return u"キーコードファイルのモデル（" + name + u"）のキーボードが接続されていないため、" +
         u"何も書き込みませんでした。";
}

// Every chosen key pad, one after the other, over a table of its own whose links are all closed
// when this returns.
void WorkOnKeyPads(const PadctlArguments& a, PadctlPorts& ports, const PasswordFile* passwordFile,
                   const std::vector<std::uint8_t>& restoreFile, PadctlReport& report) {
  auto table = std::make_unique<KeyPadTable>();
  // One pass for the whole run: a Bluetooth LE key pad that let a request time out is not waited
  // for again.
  ExchangePass pass(ports.device);
  const std::vector<PadctlKeyPad> keyPads = TakeInventory(*table, ports.device);
  const bool restore = a.command == PadctlCommand::kRestore;
  report.results = ChooseKeyPads(a, keyPads, restore ? &restoreFile : nullptr, report);
  const bool anyWorkedOn =
      std::any_of(report.results.begin(), report.results.end(),
                  [](const PadResult& r) { return r.outcome != PadOutcome::kSkipped; });
  if (!anyWorkedOn && a.serials.empty()) {
    // A command that writes and matched no key pad did nothing: that is a failure, never
    // success (a script deploying the wrong file must hear of it).
    if (restore)
      report.errors.push_back(NoKeyPadForFileText(restoreFile));
    else if (a.command != PadctlCommand::kList)
      report.errors.emplace_back(kNoKeyPadText);
  }

  ToolPasswords passwords(passwordFile, ports.console);
  Run run{a, ports, *table, passwords, &restoreFile, ReadKeyboardIdentifier(ports.settings), {}};
  // Progress counts the key pads worked on, not those skipped as another model.
  const auto total = static_cast<std::uint32_t>(
      std::count_if(report.results.begin(), report.results.end(),
                    [](const PadResult& r) { return r.outcome != PadOutcome::kSkipped; }));
  std::uint32_t position = 0;
  for (PadResult& result : report.results) {
    if (result.outcome == PadOutcome::kSkipped) continue;
    std::u16string progress = u"[";
    progress += DecimalText(++position) + u"/" + DecimalText(total);
    progress += u"] " + KeyPadLabel(result.keyPad) + u": ";
    if (Cancelled(ports)) {
      Fail(result, std::u16string(kCancelledText));
      continue;
    }
    if (a.command != PadctlCommand::kList) ports.output.WriteProgress(progress + u"開始\n");
    WorkOn(run, result);
    if (a.command != PadctlCommand::kList)
      ports.output.WriteProgress(progress +
                                 (result.outcome == PadOutcome::kDone ? u"完了\n" : u"失敗\n"));
  }
}

}  // namespace

std::u16string BackupFileName(const PadctlKeyPad& keyPad) {
  std::u16string name = HexText(keyPad.productId(), 4);
  for (char16_t& c : name)
    if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c - u'A' + u'a');
  return name + u"_" + DecimalText(keyPad.serialNumber % 1000000, 6) + u".qvk";
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (!path.empty() && path.back() != u'\\' && path.back() != u'/') path += u'\\';
  return path + std::u16string(name);
}

PadctlReport ExecutePadctl(const PadctlArguments& a, PadctlPorts& ports,
                           const PasswordFile* passwordFile) {
  PadctlReport report;
  report.command = a.command;
  report.dryRun = a.dryRun;
  std::vector<std::uint8_t> restoreFile;
  if (a.command == PadctlCommand::kRestore) {
    switch (ports.files.ReadWholeFile(a.target, kMostKeyCodeFileBytes, restoreFile)) {
      case FileRead::kRead:
        break;
      case FileRead::kTooLong:
        report.errors.push_back(u"キーコードファイルとしては大きすぎるため使用できません: " +
                                a.target);
        return report;
      default:
        report.errors.push_back(std::u16string(kFileReadFailedMessage.text) + u" " + a.target);
        return report;
    }
  }
  if (a.command == PadctlCommand::kBackup && !ports.files.MakeFolder(a.target)) {
    report.errors.push_back(u"保存先のフォルダーを作成できません: " + a.target);
    return report;
  }

  if (!ports.instances.TryAcquire()) {
    report.errors.emplace_back(kOtherInstanceText);
    return report;
  }
  {
    // The tray program lets go of the key pads first; it comes back after the work, once every
    // link the work opened is closed.
    TrayProgramPause pause(ports.tray);
    if (pause.blocked() == TrayBlock::kNone) {
      WorkOnKeyPads(a, ports, passwordFile, restoreFile, report);
      const bool closed = pause.closed();
      report.trayProgram = closed ? pause.Resume() : TrayRestart::kRestarted;
      report.trayProgramClosed = closed;
      if (closed && report.trayProgram != TrayRestart::kRestarted)
        report.trayProgramPath = ports.tray.ProgramPath();
      // A tray program that should have come back and did not is a failure of the run.
      if (report.trayProgram == TrayRestart::kFailed)
        report.errors.push_back(TrayProgramNotice(report));
    } else {
      report.errors.emplace_back(pause.blocked() == TrayBlock::kInAnotherSession
                                     ? kTrayInAnotherSessionText
                                     : kTrayWillNotEndText);
    }
  }
  ports.instances.Release();
  return report;
}

std::u16string KeyPadLabel(const PadctlKeyPad& keyPad) {
  return HexText(keyPad.productId(), 4) + u" " +
         (keyPad.answered ? DecimalText(keyPad.serialNumber, 6) : std::u16string(u"------"));
}

namespace {

// Every write of the run's output, with a note of any that failed.
class CheckedOutput : public PadctlOutput {
 public:
  explicit CheckedOutput(PadctlOutput& output) : output_(output) {}
  bool WriteResult(std::u16string_view text) override { return Note(output_.WriteResult(text)); }
  bool WriteProgress(std::u16string_view text) override {
    return Note(output_.WriteProgress(text));
  }
  bool failed() const { return failed_; }

 private:
  bool Note(bool written) {
    failed_ = failed_ || !written;
    return written;
  }
  PadctlOutput& output_;
  bool failed_ = false;
};

// Reads and parses --password-file; on failure says why (nothing has been started yet).
bool TakePasswordFile(const PadctlArguments& a, PadctlPorts& ports, PasswordFile& passwords) {
  std::vector<std::uint8_t> bytes;
  const FileRead read = ports.files.ReadWholeFile(a.passwordFile, kMostPasswordFileBytes, bytes);
  const bool usable = read == FileRead::kRead && passwords.Parse(bytes);
  SecureZero(bytes.data(), bytes.size());
  if (usable) return true;
  std::u16string_view why = u"パスワードファイルの形式が正しくありません: ";
  if (read == FileRead::kUnreadable) why = u"パスワードファイルを読み込めません: ";
  // A longer file is refused whole: a cut could fall inside a password and send part of it.
  if (read == FileRead::kTooLong)
    why = u"パスワードファイルが大きすぎます（64 KiB まで）。何も実行しませんでした: ";
  ports.output.WriteProgress(u"qv-padctl: " + std::u16string(why) + a.passwordFile + u"\n");
  return false;
}

int RunParsed(const PadctlArguments& a, PadctlPorts& ports) {
  if (a.command == PadctlCommand::kHelp) {
    ports.output.WriteResult(kPadctlUsage);
    return 0;
  }
  if (a.command == PadctlCommand::kVersion) {
    ports.output.WriteResult(u"qv-padctl " + std::u16string(ports.version) + u"\n");
    return 0;
  }
  // A password file that cannot be used is a mistake of the command line: nothing is started.
  PasswordFile passwordFile;
  if (!a.passwordFile.empty() && !TakePasswordFile(a, ports, passwordFile)) return 2;
  PadctlReport report = ExecutePadctl(a, ports, a.passwordFile.empty() ? nullptr : &passwordFile);
  if (report.trayProgram == TrayRestart::kLeftToUser)
    ports.output.WriteProgress(u"qv-padctl: " + TrayProgramNotice(report) + u"\n");
  ports.output.WriteResult(a.json ? ReportJson(report) : ReportText(report));
  return ExitStatusOf(report);
}

}  // namespace

int RunPadctl(std::span<const std::u16string> arguments, PadctlPorts& ports) {
  CheckedOutput output(ports.output);
  PadctlPorts checked{ports.device,    ports.files,    ports.console,   output,       ports.tray,
                      ports.instances, ports.settings, ports.cancelled, ports.version};
  const ParsedArguments parsed = ParsePadctlArguments(arguments);
  int status = 2;
  if (parsed.ok) {
    status = RunParsed(parsed.arguments, checked);
  } else {
    output.WriteProgress(u"qv-padctl: " + parsed.error + u"\n" + std::u16string(kPadctlUsage));
  }
  // Output that did not arrive is a failure of the run, whatever it reported: a script must not
  // take a lost result for success. Standard error is told when it still can be.
  if (output.failed() && status != 2) {
    ports.output.WriteProgress(u"qv-padctl: 出力を書き込めませんでした。\n");
    status = 1;
  }
  return status;
}

}  // namespace qv
