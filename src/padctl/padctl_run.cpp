#include "padctl/padctl_run.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

#include "access/access_control.h"
#include "access/key_pad_connection.h"
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
    if (!bytes_) return files_.ReadWholeFile(path, bytes);
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
  bool PasswordFor(const PadctlKeyPad& keyPad, SecretText& password) override {
    if (file_) return file_->PasswordFor(keyPad.serialNumber, password);
    return console_.AskPassword(u"キーボード " + KeyPadLabel(keyPad) + u" のパスワード: ",
                                password);
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
  if (a.command == PadctlCommand::kRestore && !ports.files.ReadWholeFile(a.target, restoreFile)) {
    report.errors.push_back(MessageLine(kFileReadFailedMessage.title, kFileReadFailedMessage.text) +
                            u" " + a.target);
    return report;
  }
  if (a.command == PadctlCommand::kBackup && !ports.files.MakeFolder(a.target)) {
    report.errors.push_back(u"保存先のフォルダーを作成できません: " + a.target);
    return report;
  }

  // The tray program lets go of the key pads first; it comes back when this scope ends, after
  // the table below has closed every link.
  TrayProgramPause pause(ports.tray);
  if (pause.blocked()) {
    report.errors.push_back(
        u"常駐しているキーボード設定プログラムを終了できないため、キーボードを操作できません。");
    return report;
  }
  auto table = std::make_unique<KeyPadTable>();
  // One pass for the whole run: a Bluetooth LE key pad that let a request time out is not waited
  // for again.
  ExchangePass pass(ports.device);
  const std::vector<PadctlKeyPad> keyPads = TakeInventory(*table, ports.device);
  report.results = ChooseKeyPads(
      a, keyPads, a.command == PadctlCommand::kRestore ? &restoreFile : nullptr, report);
  if (report.results.empty() && a.serials.empty() && a.command != PadctlCommand::kList)
    report.errors.push_back(u"キーボードが接続されていません。");

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
  return report;
}

std::u16string KeyPadLabel(const PadctlKeyPad& keyPad) {
  return HexText(keyPad.productId(), 4) + u" " +
         (keyPad.answered ? DecimalText(keyPad.serialNumber, 6) : std::u16string(u"------"));
}

int RunPadctl(std::span<const std::u16string> arguments, PadctlPorts& ports) {
  const ParsedArguments parsed = ParsePadctlArguments(arguments);
  if (!parsed.ok) {
    ports.output.WriteProgress(u"qv-padctl: " + parsed.error + u"\n" +
                               std::u16string(kPadctlUsage));
    return 2;
  }
  if (parsed.arguments.command == PadctlCommand::kHelp) {
    ports.output.WriteResult(kPadctlUsage);
    return 0;
  }
  // A password file that cannot be used is a mistake of the command line: nothing is started.
  const PadctlArguments& a = parsed.arguments;
  PasswordFile passwordFile;
  if (!a.passwordFile.empty()) {
    std::vector<std::uint8_t> bytes;
    const bool read = ports.files.ReadWholeFile(a.passwordFile, bytes);
    const bool usable = read && passwordFile.Parse(bytes);
    SecureZero(bytes.data(), bytes.size());
    if (!usable) {
      ports.output.WriteProgress(std::u16string(u"qv-padctl: ") +
                                 (read ? u"パスワードファイルの形式が正しくありません: "
                                       : u"パスワードファイルを読み込めません: ") +
                                 a.passwordFile + u"\n");
      return 2;
    }
  }
  const PadctlReport report =
      ExecutePadctl(a, ports, a.passwordFile.empty() ? nullptr : &passwordFile);
  ports.output.WriteResult(parsed.arguments.json ? ReportJson(report) : ReportText(report));
  return ExitStatusOf(report);
}

}  // namespace qv
