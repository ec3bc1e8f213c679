// qv-padctl over emulated key pads: the command line, the restore to a fleet of key pads with
// the failures a fleet brings, backup files the program's own import reads, the dry run, the
// extended settings, a key's strokes, passwords, and the tray program let go for the run.
#include <gtest/gtest.h>

#include "padctl_fakes.h"

#include <algorithm>
#include <atomic>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "common/memory_settings.h"
#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"
#include "emulator/key_pad_firmware.h"
#include "keycode/key_code_file.h"
#include "padctl/key_pad_access.h"
#include "padctl/padctl_run.h"
#include "padctl/password_file.h"
#include "padctl/tray_restart.h"

namespace qv {
namespace {

using testing::FakeTray;
using testing::MemoryFiles;
using testing::RecordingOutput;
using testing::ScriptedConsole;

constexpr char16_t kKeyFile[] = u"C:\\keys\\fleet.qvk";

KeyCodeRecord Record(std::initializer_list<std::uint8_t> strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  std::copy(strokes.begin(), strokes.end(), record.bytes.begin() + 1);
  return record;
}

// Records unlike any factory default: key k types key number 17 + k % 20 (press, release).
KeyCodeRecords FleetRecords() {
  KeyCodeRecords records{};
  for (int key = 0; key < kMaxKeys; ++key) {
    const auto number = static_cast<std::uint8_t>(17 + key % 20);
    records[key] = Record({number, static_cast<std::uint8_t>(number | 0x80), 0x48});
  }
  return records;
}

struct PadctlRig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext device{hid};
  MemoryFiles files;
  RecordingOutput output;
  ScriptedConsole console;
  FakeTray tray;
  testing::FakeInstanceLock instances;
  MemorySettings settings;
  PadctlPorts ports{device, files, console, output, tray, instances, settings, nullptr, u"1.2.3"};

  EmulatedDeviceId Attach(std::uint16_t productId, std::uint32_t serial, std::string password = "",
                          std::uint16_t version = 0x0100) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = version;
    keyPadSpec.serial = serial;
    keyPadSpec.password = password;
    return hid.AttachKeyPad(keyPadSpec);
  }
  EmulatedDeviceId AttachBluetooth(std::uint32_t serial, std::string password = "") {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = kProduct074F;
    keyPadSpec.version = 0;
    keyPadSpec.bluetooth = true;
    keyPadSpec.serial = serial;
    keyPadSpec.password = password;
    return hid.AttachKeyPad(keyPadSpec);
  }
  int Run(std::initializer_list<std::u16string> arguments) {
    const std::vector<std::u16string> words(arguments);
    return RunPadctl(words, ports);
  }
  bool HasWriteOf(EmulatedDeviceId id, std::uint8_t command) {
    for (const ReceivedRequest& request : hid.Requests(id))
      if (request.command == command) return true;
    return false;
  }
};

PadctlArguments Parse(std::initializer_list<std::u16string> words) {
  const std::vector<std::u16string> list(words);
  const ParsedArguments parsed = ParsePadctlArguments(list);
  EXPECT_TRUE(parsed.ok) << std::string(parsed.error.begin(), parsed.error.end()).size();
  return parsed.arguments;
}

bool Refused(std::initializer_list<std::u16string> words) {
  const std::vector<std::u16string> list(words);
  return !ParsePadctlArguments(list).ok;
}

bool Contains(std::u16string_view text, std::u16string_view part) {
  return text.find(part) != std::u16string_view::npos;
}

// ---------------------------------------------------------------- command line

TEST(PadctlArguments, CommandsTakeTheirOperandsAndOptions) {
  PadctlArguments restore = Parse({u"restore", u"a.qvk", u"--serial", u"7", u"--serial=9",
                                   u"--serial", u"7", u"--dry-run", u"--json"});
  EXPECT_EQ(restore.command, PadctlCommand::kRestore);
  EXPECT_EQ(restore.target, u"a.qvk");
  EXPECT_EQ(restore.serials, (std::vector<std::uint32_t>{7, 9}));  // a repeat counts once
  EXPECT_TRUE(restore.dryRun);
  EXPECT_TRUE(restore.json);

  PadctlArguments show = Parse({u"show", u"--serial", u"123456", u"144"});
  EXPECT_EQ(show.key, 144);
  PadctlArguments settings =
      Parse({u"settings", u"--serial", u"1", u"--buzzer", u"small", u"--interface", u"ps2"});
  EXPECT_EQ(settings.buzzer, BuzzerSetting::kSmall);
  EXPECT_EQ(settings.interfaceMode, InterfaceSetting::kPs2);
  EXPECT_EQ(Parse({u"backup", u"D:\\save", u"--password-file", u"p.txt"}).passwordFile, u"p.txt");
  EXPECT_EQ(Parse({u"--help"}).command, PadctlCommand::kHelp);
}

TEST(PadctlArguments, RefusesWhatCannotBeCarriedOut) {
  EXPECT_TRUE(Refused({}));
  EXPECT_TRUE(Refused({u"format"}));
  EXPECT_TRUE(Refused({u"restore", u"a.qvk"}));                               // no key pads named
  EXPECT_TRUE(Refused({u"restore", u"a.qvk", u"--all", u"--serial", u"1"}));  // both
  EXPECT_TRUE(Refused({u"restore", u"--all"}));                               // no file
  EXPECT_TRUE(Refused({u"backup"}));
  EXPECT_TRUE(Refused({u"list", u"--all"}));
  EXPECT_TRUE(Refused({u"list", u"--serial", u"1000000"}));
  EXPECT_TRUE(Refused({u"list", u"--serial", u"12a"}));
  EXPECT_TRUE(Refused({u"list", u"--serial"}));
  EXPECT_TRUE(Refused({u"show", u"--serial", u"1", u"0"}));
  EXPECT_TRUE(Refused({u"show", u"--serial", u"1", u"145"}));
  EXPECT_TRUE(Refused({u"show", u"--serial", u"1", u"--serial", u"2", u"3"}));
  EXPECT_TRUE(Refused({u"settings", u"--serial", u"1"}));
  EXPECT_TRUE(Refused({u"settings", u"--serial", u"1", u"--buzzer", u"loud"}));
  EXPECT_TRUE(Refused({u"list", u"--buzzer", u"off"}));
  EXPECT_TRUE(Refused({u"list", u"extra"}));
}

TEST(PadctlArguments, APasswordOnTheCommandLineIsRefusedBeforeAnythingRuns) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7, "secret");
  rig.tray.running = true;
  EXPECT_EQ(rig.Run({u"backup", u"C:\\b", u"--password", u"secret"}), 2);
  EXPECT_EQ(rig.Run({u"backup", u"C:\\b", u"--password=secret"}), 2);
  EXPECT_EQ(rig.Run({u"--version", u"--password", u"secret"}), 2);
  EXPECT_EQ(rig.Run({u"--help", u"--password=secret"}), 2);
  EXPECT_TRUE(Contains(rig.output.progress, u"コマンドラインでは指定できません"));
  EXPECT_TRUE(rig.hid.Requests(pad).empty());
  EXPECT_EQ(rig.tray.runningQueries, 0);  // a usage error leaves the tray program alone
}

// ---------------------------------------------------------------- restore to a fleet

// Every key whose key code on the key pad differs from what it held before the run is named in
// the report, as written or as a write that was not confirmed: nothing is changed unreported.
void ExpectNothingUnreported(PadctlRig& rig, EmulatedDeviceId id, const PadResult& result) {
  auto named = [](const std::vector<int>& keys, int key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  };
  for (int key = 1; key <= result.keyPad.keyCount; ++key) {
    if (rig.hid.Record(id, key) == KeyPadFirmware::DefaultKeyCode(key)) continue;
    EXPECT_TRUE(named(result.keysWritten, key) || named(result.keysFailed, key))
        << "serial " << result.keyPad.serialNumber << " key " << key;
  }
}

// Sixteen key pads for one restore --all of a Bluetooth LE model's file: healthy ones, one with
// a password the password file gives right, one whose password it gives wrong, a silent one, one
// that drops the write of key 7, one that goes away in the middle of its writes, and a key pad
// of another model.
struct Fleet {
  KeyCodeRecords records = FleetRecords();
  std::map<std::uint32_t, EmulatedDeviceId> pads;
};

void AttachFleet(PadctlRig& rig, Fleet& fleet) {
  rig.files.files[kKeyFile] = BuildKeyCodeFile(kModelB4B4074F, 0, fleet.records);
  rig.files.Put(u"C:\\pw.txt", "# fleet\n1003 secret\n1004 wrong\n");
  for (std::uint32_t serial = 1001; serial <= 1015; ++serial)
    fleet.pads[serial] = rig.AttachBluetooth(serial, serial == 1003   ? "secret"
                                                     : serial == 1004 ? "other"
                                                                      : "");
  fleet.pads[2001] = rig.Attach(kProduct130D, 2001);
  KeyPadFaults silent;
  silent.silent = true;
  rig.hid.SetFaults(fleet.pads[1005], silent);
  KeyPadFaults drops;
  drops.dropsWriteOfKey = 7;
  rig.hid.SetFaults(fleet.pads[1006], drops);
  KeyPadFaults vanishes;  // goes away after its link checks and a few writes
  vanishes.vanishAfterRequests = 45;
  rig.hid.SetFaults(fleet.pads[1007], vanishes);
}

TEST(PadctlRestore, SixteenKeyPadsGetTheFileWhereTheyCanAndTheRunEndsWithStatus1) {
  PadctlRig rig;
  Fleet fleet;
  AttachFleet(rig, fleet);
  rig.tray.running = true;
  EXPECT_EQ(rig.Run({u"restore", kKeyFile, u"--all", u"--password-file", u"C:\\pw.txt", u"--json"}),
            1);
  EXPECT_TRUE(Contains(rig.output.result, u"\"ok\":false"));
  EXPECT_TRUE(Contains(rig.output.progress, u"[15/15]"));
  EXPECT_EQ(rig.tray.restarts, 1);

  // Healthy key pads, and the one whose password was given right, hold the file's key codes.
  for (std::uint32_t serial : {1001u, 1002u, 1003u, 1008u, 1015u})
    for (int key = 1; key <= 30; ++key)
      EXPECT_EQ(rig.hid.Record(fleet.pads[serial], key), fleet.records[key - 1]) << serial;
  // A wrong password, a silent key pad and another model: nothing was written to them.
  for (std::uint32_t serial : {1004u, 1005u, 2001u})
    EXPECT_FALSE(rig.HasWriteOf(fleet.pads[serial], kCmdWriteKeyCode)) << serial;
}

TEST(PadctlRestore, TheReportNamesEachFailureWithItsReasonAndTheKeysWrittenBeforeIt) {
  PadctlRig rig;
  Fleet fleet;
  AttachFleet(rig, fleet);
  std::map<std::uint32_t, EmulatedDeviceId>& pads = fleet.pads;
  const std::vector<std::u16string> words = {u"restore", kKeyFile, u"--all", u"--password-file",
                                             u"C:\\pw.txt"};
  ParsedArguments parsed = ParsePadctlArguments(words);
  ASSERT_TRUE(parsed.ok);
  std::vector<std::uint8_t> bytes;
  rig.files.ReadWholeFile(u"C:\\pw.txt", kMostPasswordFileBytes, bytes);
  PasswordFile passwords;
  ASSERT_TRUE(passwords.Parse(bytes));
  const PadctlReport report = ExecutePadctl(parsed.arguments, rig.ports, &passwords);
  ASSERT_EQ(report.results.size(), 16u);
  EXPECT_EQ(ExitStatusOf(report), 1);

  std::map<std::uint32_t, const PadResult*> bySerial;
  const PadResult* silentResult = nullptr;
  for (const PadResult& result : report.results) {
    if (!result.keyPad.answered)
      silentResult = &result;
    else
      bySerial[result.keyPad.serialNumber] = &result;
  }
  std::vector<int> all30(30);
  for (int i = 0; i < 30; ++i) all30[i] = i + 1;

  for (std::uint32_t serial : {1001u, 1002u, 1003u, 1008u, 1015u}) {
    const PadResult& r = *bySerial.at(serial);
    EXPECT_EQ(r.outcome, PadOutcome::kDone) << serial;
    EXPECT_EQ(r.keysWritten, all30);
    EXPECT_TRUE(r.keysMismatched.empty());
    EXPECT_TRUE(r.messages.empty());
  }
  // The key pad the tray program would have prompted for was authenticated and left resumed.
  EXPECT_EQ(rig.hid.LastStatusWrite(pads[1003]) & 0x81, 0x81);

  const PadResult& wrong = *bySerial.at(1004);
  EXPECT_EQ(wrong.outcome, PadOutcome::kFailed);
  EXPECT_EQ(wrong.messages, std::vector<std::u16string>{std::u16string(kWrongPasswordText)});
  EXPECT_TRUE(wrong.keysWritten.empty());

  ASSERT_NE(silentResult, nullptr);
  EXPECT_EQ(silentResult->outcome, PadOutcome::kFailed);
  ASSERT_FALSE(silentResult->messages.empty());
  EXPECT_TRUE(Contains(silentResult->messages.front(), u"Brava未接続エラー"));

  const PadResult& dropped = *bySerial.at(1006);
  EXPECT_EQ(dropped.outcome, PadOutcome::kFailed);
  EXPECT_EQ(dropped.keysWritten, all30);                   // the key pad took every write ...
  EXPECT_EQ(dropped.keysMismatched, std::vector<int>{7});  // ... and reading back caught one

  const PadResult& gone = *bySerial.at(1007);
  EXPECT_EQ(gone.outcome, PadOutcome::kFailed);
  EXPECT_FALSE(gone.keysWritten.empty());
  EXPECT_FALSE(gone.keysFailed.empty());
  EXPECT_EQ(gone.keysWritten.size() + gone.keysFailed.size(), 30u);
  EXPECT_FALSE(gone.messages.empty());

  EXPECT_EQ(bySerial.at(2001)->outcome, PadOutcome::kSkipped);

  for (const PadResult& result : report.results) {
    if (!result.keyPad.answered) continue;
    ExpectNothingUnreported(rig, pads[result.keyPad.serialNumber], result);
  }

  const std::u16string text = ReportText(report);
  EXPECT_TRUE(Contains(text, u"書き込んだキー: 1-30"));
  EXPECT_TRUE(Contains(text, u"読み戻しが一致しないキー: 7"));
  EXPECT_TRUE(Contains(text, kWrongPasswordText));
}

TEST(PadctlRestore, AKeyPadOfAnotherModelNamedBySerialIsRefusedByTheImportRule) {
  PadctlRig rig;
  rig.files.files[kKeyFile] = BuildKeyCodeFile(kModel0100130D, 0, FleetRecords());
  const EmulatedDeviceId other = rig.Attach(kProduct1225, 5);
  EXPECT_EQ(rig.Run({u"restore", kKeyFile, u"--serial", u"5", u"--serial", u"6"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, u"別の製品のキーコードファイルです。"));
  EXPECT_TRUE(Contains(rig.output.result, u"シリアル番号 000006 のキーボードが見つかりません"));
  // Only the identity was read: no status value, no key.
  for (const ReceivedRequest& request : rig.hid.Requests(other))
    EXPECT_EQ(request.command, kCmdReadDeviceInfo);
}

TEST(PadctlRestore, ADryRunListsTheKeysThatWouldChangeAndWritesNone) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7);
  KeyCodeRecords records{};
  for (int key = 1; key <= 144; ++key) records[key - 1] = KeyPadFirmware::DefaultKeyCode(key);
  records[2] = Record({17, 0x91});
  records[8] = Record({});
  rig.files.files[kKeyFile] = BuildKeyCodeFile(kModel0100130D, 0, records);

  EXPECT_EQ(rig.Run({u"restore", kKeyFile, u"--serial", u"7", u"--dry-run", u"--json"}), 0);
  EXPECT_TRUE(Contains(rig.output.result, u"\"keysToChange\":[3,9]"));
  EXPECT_FALSE(rig.HasWriteOf(pad, kCmdWriteKeyCode));
  EXPECT_EQ(rig.hid.Record(pad, 3), KeyPadFirmware::DefaultKeyCode(3));
}

TEST(PadctlRestore, AFileThatCannotBeReadStopsTheRunBeforeAnyKeyPadIsTouched) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7);
  rig.tray.running = true;
  EXPECT_EQ(rig.Run({u"restore", u"C:\\missing.qvk", u"--all"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, u"ファイル読み込みに失敗しました。"));
  EXPECT_TRUE(rig.hid.Requests(pad).empty());
  EXPECT_EQ(rig.tray.closes, 0);
}

// ---------------------------------------------------------------- backup

TEST(PadctlBackup, WritesOneFilePerKeyPadThatTheImportReadsBackWithItsSettings) {
  PadctlRig rig;
  const EmulatedDeviceId usb = rig.Attach(kProduct130D, 7, "secret");
  const EmulatedDeviceId extended = rig.Attach(kProduct1227, 8, "", 0x0200);
  rig.hid.SetRecord(usb, 5, Record({17, 0x91}));
  rig.hid.SetStatus(extended, 0x70);  // large buzzer, PS/2
  rig.console.answers = {u"secret"};

  EXPECT_EQ(rig.Run({u"backup", u"C:\\save"}), 0);
  ASSERT_EQ(rig.files.files.count(u"C:\\save\\130d_000007.qvk"), 1u);
  ASSERT_EQ(rig.files.files.count(u"C:\\save\\1227_000008.qvk"), 1u);
  EXPECT_EQ(rig.console.questions.size(), 1u);  // asked for the key pad with a password only
  EXPECT_TRUE(Contains(rig.console.questions.front(), u"130D 000007"));

  const KeyCodeFileContent usbFile =
      CheckKeyCodeFile(rig.files.files[u"C:\\save\\130d_000007.qvk"], kModel0100130D);
  ASSERT_EQ(usbFile.verdict, KeyCodeFileVerdict::kValid);
  EXPECT_EQ(usbFile.records[4], Record({17, 0x91}));
  const KeyCodeFileContent extendedFile =
      CheckKeyCodeFile(rig.files.files[u"C:\\save\\1227_000008.qvk"], kModel02001227);
  ASSERT_EQ(extendedFile.verdict, KeyCodeFileVerdict::kValid);
  EXPECT_EQ(extendedFile.settings, (SettingsBlock{1, 1, 2, 2}));

  // Restoring the backup brings back what was changed since, settings included.
  rig.hid.SetRecord(usb, 5, Record({}));
  rig.hid.SetStatus(extended, 0x00);
  rig.output = {};
  rig.console.answers = {u"secret"};
  EXPECT_EQ(rig.Run({u"restore", u"C:\\save\\130d_000007.qvk", u"--serial", u"7"}), 0);
  EXPECT_EQ(rig.Run({u"restore", u"C:\\save\\1227_000008.qvk", u"--all"}), 0);
  EXPECT_EQ(rig.hid.Record(usb, 5), Record({17, 0x91}));
  EXPECT_EQ(rig.hid.Status(extended) & 0x70, 0x70);
}

TEST(PadctlBackup, AKeyThatCannotBeReadLeavesNoFileBehind) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7);
  KeyPadFaults faults;
  faults.unansweredCommand = kCmdReadKeyCode;
  rig.hid.SetFaults(pad, faults);
  EXPECT_EQ(rig.Run({u"backup", u"C:\\save"}), 1);
  EXPECT_TRUE(rig.files.files.empty());
  EXPECT_TRUE(
      Contains(rig.output.result, u"読み取れなかったキーがあるため保存しませんでした: 1-144"));
}

TEST(PadctlBackup, AKeyPadWithAPasswordAndNoWayToAskIsReportedNotSkipped) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7, "secret");
  rig.Attach(kProduct1224, 9);
  EXPECT_EQ(rig.Run({u"backup", u"C:\\save", u"--json"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, kNoPasswordText));
  EXPECT_EQ(rig.files.files.count(u"C:\\save\\1224_000009.qvk"), 1u);
  EXPECT_FALSE(rig.HasWriteOf(pad, kCmdReadKeyCode));
}

// ---------------------------------------------------------------- passwords

TEST(PadctlPasswords, AFileGivesEachKeyPadItsOwnLineOrTheSharedOne) {
  PasswordFile file;
  const std::string text = "\xEF\xBB\xBF# shared first\r\nshared\r\n000012 own12\r\n\r\n";
  ASSERT_TRUE(file.Parse(std::vector<std::uint8_t>(text.begin(), text.end())));
  SecretText password;
  ASSERT_TRUE(file.PasswordFor(12, password));
  EXPECT_EQ(password.view(), u"own12");
  ASSERT_TRUE(file.PasswordFor(13, password));
  EXPECT_EQ(password.view(), u"shared");

  PasswordFile own;
  ASSERT_TRUE(own.Parse(std::vector<std::uint8_t>{'5', ' ', 'x', '\n'}));
  EXPECT_FALSE(own.PasswordFor(6, password));

  PasswordFile bad;
  const std::string malformed = "1 2 3\n";
  EXPECT_FALSE(bad.Parse(std::vector<std::uint8_t>(malformed.begin(), malformed.end())));
  const std::string badSerial = "12x4 secret\n";
  EXPECT_FALSE(bad.Parse(std::vector<std::uint8_t>(badSerial.begin(), badSerial.end())));
}

TEST(PadctlPasswords, AnUnusablePasswordFileIsAUsageErrorAndTouchesNothing) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7, "secret");
  rig.files.Put(u"C:\\pw.txt", "a b c\n");
  EXPECT_EQ(rig.Run({u"backup", u"C:\\s", u"--password-file", u"C:\\pw.txt"}), 2);
  EXPECT_EQ(rig.Run({u"backup", u"C:\\s", u"--password-file", u"C:\\none.txt"}), 2);
  EXPECT_TRUE(rig.hid.Requests(pad).empty());
}

// ---------------------------------------------------------------- show and settings

TEST(PadctlShow, PrintsTheKeysStrokesWithTheirKeyNames) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct1224, 9);
  rig.hid.SetRecord(pad, 3, Record({17, 0x91, 0x48}));
  EXPECT_EQ(rig.Run({u"show", u"--serial", u"9", u"3"}), 0);
  EXPECT_TRUE(Contains(rig.output.result, u"キー確認 #3"));
  EXPECT_TRUE(Contains(rig.output.result, u"Ｑ"));
  EXPECT_TRUE(Contains(rig.output.result, u"OFF"));
  EXPECT_TRUE(Contains(rig.output.result, u"SET"));

  rig.output = {};
  EXPECT_EQ(rig.Run({u"show", u"--serial", u"9", u"31", u"--json"}), 1);  // a 30-key model
  EXPECT_TRUE(Contains(rig.output.result, u"\"outcome\":\"failed\""));
}

TEST(PadctlSettings, SetsWhatDialog169SetsWhereTheModelHasIt) {
  PadctlRig rig;
  const EmulatedDeviceId full = rig.Attach(kProduct1227, 1, "", 0x0200);
  const EmulatedDeviceId noInterface = rig.Attach(kProduct1227, 2, "", 0x0100);
  const EmulatedDeviceId none = rig.Attach(kProduct130D, 3);
  rig.hid.SetStatus(full, 0x60);

  EXPECT_EQ(rig.Run({u"settings", u"--serial", u"1", u"--buzzer", u"small", u"--interface", u"ps2",
                     u"--json"}),
            0);
  EXPECT_EQ(rig.hid.Status(full) & 0x70, 0x50);
  EXPECT_TRUE(Contains(rig.output.result, u"\"buzzer\":\"small\",\"interface\":\"ps2\""));

  // The buzzer alone keeps the interface.
  EXPECT_EQ(rig.Run({u"settings", u"--serial", u"1", u"--buzzer", u"off"}), 0);
  EXPECT_EQ(rig.hid.Status(full) & 0x70, 0x10);

  EXPECT_EQ(rig.Run({u"settings", u"--serial", u"2", u"--interface", u"usb"}), 1);
  EXPECT_EQ(rig.Run({u"settings", u"--serial", u"3", u"--buzzer", u"large"}), 1);
  EXPECT_FALSE(rig.HasWriteOf(noInterface, kCmdWriteStatusByte));
  EXPECT_FALSE(rig.HasWriteOf(none, kCmdWriteStatusByte));
}

// ---------------------------------------------------------------- list and the tray program

TEST(PadctlList, ListsEveryKeyPadWithoutAskingForPasswords) {
  PadctlRig rig;
  rig.Attach(kProduct130D, 7, "secret");
  rig.AttachBluetooth(12);
  EXPECT_EQ(rig.Run({u"list", u"--json"}), 0);
  const std::u16string& json = rig.output.result;
  EXPECT_TRUE(Contains(json, u"\"productId\":\"0x130D\",\"serial\":7,\"transport\":\"usb\""));
  EXPECT_TRUE(Contains(json, u"\"passwordSet\":true,\"keys\":144"));
  EXPECT_TRUE(Contains(json, u"\"modelIdentity\":\"0xB4B4074F\""));
  EXPECT_TRUE(Contains(json, u"\"transport\":\"bluetooth-le\""));
  EXPECT_TRUE(rig.console.questions.empty());
}

TEST(PadctlTray, TheTrayProgramIsClosedBeforeTheFirstExchangeAndBackAfterAFailure) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7, "secret");
  rig.tray.running = true;
  bool quietAtClose = false;
  std::size_t handlesAtRestart = 1;
  rig.tray.onClose = [&] { quietAtClose = rig.hid.Requests(pad).empty(); };
  rig.tray.onRestart = [&] { handlesAtRestart = rig.hid.OpenHandleCount(); };
  EXPECT_EQ(rig.Run({u"backup", u"C:\\save"}), 1);  // no password to give
  EXPECT_TRUE(quietAtClose);
  EXPECT_EQ(rig.tray.restarts, 1);
  EXPECT_EQ(handlesAtRestart, 0u);  // every link was closed before it came back
}

TEST(PadctlTray, AfterCtrlCNoFurtherKeyPadIsStartedAndTheTrayProgramStillComesBack) {
  PadctlRig rig;
  rig.files.files[kKeyFile] = BuildKeyCodeFile(kModel0100130D, 0, FleetRecords());
  const EmulatedDeviceId first = rig.Attach(kProduct130D, 7);
  const EmulatedDeviceId second = rig.Attach(kProduct130D, 8);
  std::atomic<bool> cancelled{false};
  rig.ports.cancelled = &cancelled;
  rig.tray.running = true;
  // Ctrl+C arrives just after the tray program was closed, before any key pad was started.
  rig.tray.onClose = [&] { cancelled = true; };
  EXPECT_EQ(rig.Run({u"restore", kKeyFile, u"--all"}), 1);
  EXPECT_FALSE(rig.HasWriteOf(first, kCmdWriteKeyCode));
  EXPECT_FALSE(rig.HasWriteOf(second, kCmdWriteKeyCode));
  EXPECT_TRUE(Contains(rig.output.result, u"中断しました"));
  EXPECT_EQ(rig.tray.restarts, 1);
}

TEST(PadctlTray, ATrayProgramThatWillNotEndKeepsTheToolAwayFromTheKeyPads) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7);
  rig.tray.running = true;
  rig.tray.closeWorks = false;
  EXPECT_EQ(rig.Run({u"list"}), 1);
  EXPECT_TRUE(rig.hid.Requests(pad).empty());
  EXPECT_EQ(rig.tray.restarts, 0);

  PadctlRig idle;
  idle.Attach(kProduct130D, 7);
  EXPECT_EQ(idle.Run({u"list"}), 0);
  EXPECT_EQ(idle.tray.closes, 0);
  EXPECT_EQ(idle.tray.restarts, 0);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

// ---------------------------------------------------------------- what a script is told

TEST(PadctlOutcome, ARestoreThatMatchedNoKeyPadFailsAndNamesTheFilesModel) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7);
  rig.files.files[kKeyFile] = BuildKeyCodeFile(kModel02001227, 0x60, FleetRecords());
  rig.tray.running = true;
  EXPECT_EQ(rig.Run({u"restore", kKeyFile, u"--all", u"--json"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, u"\"ok\":false")) << rig.output.result.size();
  EXPECT_TRUE(Contains(rig.output.result, u"製品ID 1227、バージョン 0200"));
  EXPECT_FALSE(rig.HasWriteOf(pad, kCmdWriteKeyCode));
  EXPECT_EQ(rig.tray.restarts, 1);

  // The same for a dry run, and where no key pad is attached at all.
  rig.output = {};
  EXPECT_EQ(rig.Run({u"restore", kKeyFile, u"--all", u"--dry-run"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, u"エラー: キーコードファイルのモデル（製品ID 1227"));
  PadctlRig empty;
  empty.files.files[kKeyFile] = BuildKeyCodeFile(kModel0100130D, 0, FleetRecords());
  EXPECT_EQ(empty.Run({u"restore", kKeyFile, u"--all"}), 1);
  EXPECT_TRUE(Contains(empty.output.result, u"製品ID 130D）"));
  EXPECT_FALSE(Contains(empty.output.result, u"バージョン"));  // the basic form names none
}

TEST(PadctlOutcome, OutputThatCouldNotBeWrittenFailsTheRun) {
  PadctlRig lostResult;
  lostResult.Attach(kProduct130D, 7);
  lostResult.output.resultFails = true;
  EXPECT_EQ(lostResult.Run({u"list", u"--json"}), 1);
  EXPECT_TRUE(Contains(lostResult.output.progress, u"出力を書き込めませんでした"));
  EXPECT_EQ(lostResult.Run({u"--version"}), 1);

  PadctlRig lostProgress;
  lostProgress.Attach(kProduct130D, 7);
  lostProgress.output.progressFails = true;
  EXPECT_EQ(lostProgress.Run({u"backup", u"C:\\save"}), 1);
  EXPECT_EQ(lostProgress.files.files.count(u"C:\\save\\130d_000007.qvk"), 1u);  // work went on
  // A usage error keeps its own status.
  EXPECT_EQ(lostProgress.Run({u"list", u"--all"}), 2);
}

TEST(PadctlOutcome, RunLevelErrorsReadOnceAndAnUnknownSerialIsNotAnEmptyBus) {
  PadctlRig rig;
  rig.Attach(kProduct130D, 7);
  rig.Attach(kProduct1224, 8);
  EXPECT_EQ(rig.Run({u"list", u"--serial", u"999"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, u"シリアル番号 000999 のキーボードが見つかりません"));
  EXPECT_FALSE(Contains(rig.output.result, u"接続されていません"));

  rig.output = {};
  EXPECT_EQ(rig.Run({u"restore", u"C:\\missing.qvk", u"--all"}), 1);
  EXPECT_TRUE(
      Contains(rig.output.result, u"エラー: ファイル読み込みに失敗しました。 C:\\missing.qvk"));
  EXPECT_FALSE(Contains(rig.output.result, u"エラー: エラー"));

  rig.output = {};
  EXPECT_EQ(rig.Run({u"--version"}), 0);
  EXPECT_EQ(rig.output.result, u"qv-padctl 1.2.3\n");
}

TEST(PadctlOutcome, ATrayProgramThatDidNotComeBackIsReportedWithHowToStartIt) {
  PadctlRig failed;
  failed.Attach(kProduct130D, 7);
  failed.tray.running = true;
  failed.tray.restartOutcome = TrayRestart::kFailed;
  EXPECT_EQ(failed.Run({u"list", u"--json"}), 1);
  EXPECT_TRUE(Contains(failed.output.result, u"\"trayProgram\":\"failed\""));
  EXPECT_TRUE(Contains(failed.output.result, u"起動し直せませんでした"));
  EXPECT_TRUE(Contains(failed.output.result, u"C:\\\\Programs\\\\qv-padconf\\\\qv-padconf.exe"));

  // Left for the desktop's user to start: the work succeeded and the user is told how.
  PadctlRig left;
  left.Attach(kProduct130D, 7);
  left.tray.running = true;
  left.tray.restartOutcome = TrayRestart::kLeftToUser;
  EXPECT_EQ(left.Run({u"list", u"--json"}), 0);
  EXPECT_TRUE(Contains(left.output.result, u"\"trayProgram\":\"leftToUser\""));
  EXPECT_TRUE(Contains(left.output.progress, u"デスクトップのユーザーとして"));
  EXPECT_TRUE(Contains(left.output.progress, u"「ルミナキーボード」"));

  PadctlRig idle;
  idle.Attach(kProduct130D, 7);
  EXPECT_EQ(idle.Run({u"list", u"--json"}), 0);
  EXPECT_TRUE(Contains(idle.output.result, u"\"trayProgram\":\"notRunning\""));
}

TEST(PadctlOutcome, TheTrayProgramComesBackWithTheDesktopsRightsOrIsLeftToTheUser) {
  const DesktopRights plainUser{true, true, false, true};
  EXPECT_EQ(ChooseRestartRoute(false, plainUser), RestartRoute::kToolsOwnToken);
  // Elevated, or another account (over-the-shoulder elevation): never with the tool's token.
  EXPECT_EQ(ChooseRestartRoute(true, plainUser), RestartRoute::kDesktopToken);
  const DesktopRights otherUser{true, false, false, true};
  EXPECT_EQ(ChooseRestartRoute(false, otherUser), RestartRoute::kDesktopToken);
  EXPECT_EQ(ChooseRestartRoute(true, {true, true, false, false}), RestartRoute::kLeaveToTheUser);
  EXPECT_EQ(ChooseRestartRoute(false, {true, false, false, false}), RestartRoute::kLeaveToTheUser);
  // A desktop that runs elevated throughout (user account control off): the same rights.
  EXPECT_EQ(ChooseRestartRoute(true, {true, true, true, false}), RestartRoute::kToolsOwnToken);
  // Nothing known of the desktop.
  EXPECT_EQ(ChooseRestartRoute(false, {}), RestartRoute::kToolsOwnToken);
  EXPECT_EQ(ChooseRestartRoute(true, {}), RestartRoute::kLeaveToTheUser);
}

// ---------------------------------------------------------------- one user of the key pads

TEST(PadctlExclusion, ASecondInstanceIsRefusedAndTouchesNothing) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7);
  rig.tray.running = true;
  rig.instances.heldElsewhere = true;
  EXPECT_EQ(rig.Run({u"list"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, u"別の qv-padctl がキーボードを操作しています"));
  EXPECT_TRUE(rig.hid.Requests(pad).empty());
  EXPECT_EQ(rig.tray.closes, 0);

  // Held for the run only, and let go after it, whatever the outcome.
  rig.instances.heldElsewhere = false;
  bool heldDuringWork = false;
  rig.tray.onClose = [&] { heldDuringWork = rig.instances.held; };
  EXPECT_EQ(rig.Run({u"backup", u"C:\\s", u"--serial", u"9"}), 1);
  EXPECT_TRUE(heldDuringWork);
  EXPECT_FALSE(rig.instances.held);
  // A usage error or a bad password file never takes it.
  EXPECT_EQ(rig.Run({u"list", u"--all"}), 2);
  EXPECT_EQ(rig.instances.acquired, 1);
}

TEST(PadctlExclusion, TheSameUsersTrayProgramInAnotherSessionKeepsTheToolAway) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7);
  rig.tray.inAnotherSession = true;
  EXPECT_EQ(rig.Run({u"list", u"--json"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, u"別のセッション"));
  EXPECT_TRUE(rig.hid.Requests(pad).empty());
  EXPECT_EQ(rig.tray.closes, 0);
  EXPECT_EQ(rig.tray.restarts, 0);
  EXPECT_FALSE(rig.instances.held);
}

// ---------------------------------------------------------------- passwords given wrongly

TEST(PadctlPasswords, AnOverLongPasswordFileIsRefusedWholeBeforeAnythingStarts) {
  PadctlRig rig;
  const EmulatedDeviceId pad = rig.Attach(kProduct130D, 7, "secret");
  rig.tray.running = true;
  // The password line straddles the 64 KiB mark: a cut would send "sec".
  std::string text(kMostPasswordFileBytes - 4, '#');
  text += "\nsecret\n";
  rig.files.Put(u"C:\\pw.txt", text);
  EXPECT_EQ(rig.Run({u"backup", u"C:\\s", u"--password-file", u"C:\\pw.txt"}), 2);
  EXPECT_TRUE(Contains(rig.output.progress, u"パスワードファイルが大きすぎます"));
  EXPECT_TRUE(rig.hid.Requests(pad).empty());
  EXPECT_EQ(rig.tray.runningQueries, 0);

  // Exactly 64 KiB is taken.
  std::string fits(kMostPasswordFileBytes - 8, '#');
  fits += "\nsecret\n";
  rig.files.Put(u"C:\\pw.txt", fits);
  EXPECT_EQ(rig.Run({u"backup", u"C:\\s", u"--password-file", u"C:\\pw.txt"}), 0);
}

TEST(PadctlPasswords, EachWayOfMissingAPasswordGetsItsOwnAdvice) {
  PadctlRig rig;
  rig.Attach(kProduct130D, 7, "secret");
  rig.console.answers = {u""};
  EXPECT_EQ(rig.Run({u"backup", u"C:\\s"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, kNothingEnteredText));
  EXPECT_FALSE(Contains(rig.output.result, u"--password-file"));

  rig.output = {};
  rig.files.Put(u"C:\\pw.txt", "123 other\n");
  EXPECT_EQ(rig.Run({u"backup", u"C:\\s", u"--password-file", u"C:\\pw.txt"}), 1);
  EXPECT_TRUE(Contains(rig.output.result, kNotInPasswordFileText));
}

}  // namespace
}  // namespace qv
