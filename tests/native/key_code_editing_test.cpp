// The key-code settings dialog's decisions and flows: key grids, button colours, key-code files
// (format, checks and their order, nothing changed by a refused file), exporting with its
// question, writing the edits, and the extended settings.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"
#include "keycode/extended_settings.h"
#include "keycode/key_code_editing.h"
#include "keycode/key_table.h"

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kAllProducts[] = {1618, 1804, 1871, 1872, 1887, 1911, 4644,
                                          4645, 4647, 4876, 4877, 5162, 6245};

KeyCodeRecord Record(std::initializer_list<std::uint8_t> strokes) {
  KeyCodeRecord record;
  record.bytes[0] = static_cast<std::uint8_t>(strokes.size() + 1);
  std::copy(strokes.begin(), strokes.end(), record.bytes.begin() + 1);
  return record;
}

// Records of varied lengths within every model's capacity.
KeyCodeRecords SampleRecords() {
  KeyCodeRecords records{};
  for (int key = 0; key < kMaxKeys; ++key) {
    const int strokes = (key * 7) % 41;
    records[key].bytes[0] = static_cast<std::uint8_t>(strokes + 1);
    for (int i = 1; i <= strokes; ++i)
      records[key].bytes[i] = static_cast<std::uint8_t>((key + i) & 0xFF);
  }
  return records;
}

class MemoryFiles : public KeyCodeFileSystem {
 public:
  std::map<std::u16string, Bytes> files;
  std::u16string chosen = u"C:\\keys.qvk";
  bool cancel = false;
  bool failWrites = false;

  bool ChooseFileToOpen(UiWindow, std::u16string& path) override { return Choose(path); }
  bool ChooseFileToSave(UiWindow, std::u16string& path) override {
    ++saveDialogs;
    return Choose(path);
  }
  int saveDialogs = 0;
  bool ReadWholeFile(std::u16string_view path, Bytes& bytes) override {
    auto found = files.find(std::u16string(path));
    if (found == files.end()) return false;
    bytes = found->second;
    return true;
  }
  bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) override {
    if (failWrites) return false;
    files[std::u16string(path)] = Bytes(bytes.begin(), bytes.end());
    return true;
  }

 private:
  bool Choose(std::u16string& path) {
    path = chosen;
    return !cancel;
  }
};

class ScriptedMessages : public EditorMessages {
 public:
  std::vector<std::u16string> shown;
  int answer = kMessageYes;
  int ShowMessage(UiWindow, const UiMessage& message) override {
    shown.emplace_back(message.text);
    return message.buttons == MessageButtons::kYesNo ? answer : kMessageOk;
  }
};

// One emulated key pad with the dialog's editing state over it.
struct Rig {
  EmulatedHidSystem hid{EmulatedHidSystem::ClockMode::kVirtual};
  DeviceContext context{hid};
  DeviceLink link;
  EmulatedDeviceId pad = 0;
  std::uint32_t identity = 0;
  EditedKeyCodes edited;
  KeyCodeRecords cache{};
  MemoryFiles files;
  ScriptedMessages ui;
  KeyCodeEditing editing{context, link, 0, edited, cache, files, ui};

  explicit Rig(std::uint16_t productId, std::uint16_t version = 0x0100, bool bluetooth = false,
               std::uint8_t status = 0x81) {
    EmulatedKeyPad keyPadSpec;
    keyPadSpec.productId = productId;
    keyPadSpec.version = version;
    keyPadSpec.bluetooth = bluetooth;
    keyPadSpec.status = status;
    pad = hid.AttachKeyPad(keyPadSpec);
    std::uint16_t openedVersion = 0;
    EXPECT_EQ(OpenKeyPad(context, link, productId, &openedVersion, 1, false), 1);
    identity = (std::uint32_t{openedVersion} << 16) | productId;
    editing.modelIdentity = identity;
    BeginKeyCodeSettings(editing);
    hid.ClearRequests(pad);
  }
  ~Rig() { CloseLink(context, link); }

  std::vector<int> WrittenKeys() {
    std::vector<int> keys;
    for (const ReceivedRequest& request : hid.Requests(pad))
      if (request.command == kCmdWriteKeyCode && !request.payload.empty())
        keys.push_back(request.payload[0]);
    return keys;
  }
};

TEST(KeyGrid, ButtonsAndKeysOfEveryModel) {
  const CellSize cell{40, 30};
  EXPECT_EQ(KeyButtonPlaces(1887, 10, 20, cell, 1).size(), 30u);
  EXPECT_EQ(KeyButtonPlaces(1911, 10, 20, cell, 1).size(), 30u);
  EXPECT_EQ(KeyButtonPlaces(5162, 10, 20, cell, 1).size(), 48u);
  EXPECT_EQ(KeyButtonPlaces(4647, 10, 20, cell, 1).size(), 96u);
  EXPECT_EQ(KeyButtonPlaces(6245, 10, 20, cell, 1).size(), 84u);
  EXPECT_TRUE(KeyButtonPlaces(0x1234, 10, 20, cell, 1).empty());
  // 1911: five columns, the sixth key starts row two.
  EXPECT_EQ(KeyButtonPlaces(1911, 10, 20, cell, 1)[5].rect.y, 50);
  EXPECT_TRUE(KeyGridFor(1911).keyInputMovedDown);

  // Paged: six half-height page buttons lowered by a sixth, then 24 keys of the page.
  const auto paged = KeyButtonPlaces(4645, 10, 20, cell, 2);
  ASSERT_EQ(paged.size(), 30u);
  EXPECT_EQ(paged[0].rect.y, 25);
  EXPECT_EQ(paged[0].rect.height, 15);
  EXPECT_EQ(paged[6].caption, 25u);  // key 25 is the first button of page 2
  EXPECT_EQ(paged[6].rect.y, 50);
  EXPECT_EQ(paged[29].caption, 48u);
  EXPECT_EQ(KeyIndexOfButton(4645, 2, 6), 24);
  EXPECT_EQ(KeyIndexOfButton(4645, 6, 29), 143);
  EXPECT_EQ(KeyIndexOfButton(4645, 2, 3), -1);
  EXPECT_EQ(PageOfButton(4645, 3), 4);
  EXPECT_EQ(KeyIndexOfButton(4647, 1, 95), 95);
  EXPECT_EQ(KeyIndexOfButton(4647, 1, 96), -1);

  // Widened models: (W - x0 + 110) / 12, twice as wide for 5162.
  EXPECT_EQ(WidenedCellSize(4647, 700, 326).width, 40);
  EXPECT_EQ(WidenedCellSize(5162, 700, 326).width, 80);
  EXPECT_EQ(WidenedCellSize(5162, 700, 326).height, 40);
}

TEST(KeyGrid, ButtonFills) {
  EditedKeyCodes edited;
  EXPECT_EQ(KeyButtonFill(false, true, edited), kKeyFillNormal);  // nothing selected or imported
  edited.imported = true;
  EXPECT_EQ(KeyButtonFill(false, true, edited), kKeyFillChanged);
  EXPECT_EQ(KeyButtonFill(true, true, edited), kKeyFillSelected);  // pushed, no selection yet
  edited.selectedKey = 3;
  EXPECT_EQ(KeyButtonFill(true, true, edited), kKeyFillSelectedChanged);
  EXPECT_EQ(KeyButtonFill(true, false, edited), kKeyFillSelected);
}

TEST(KeyCodeFile, RoundTripOnEveryModel) {
  const KeyCodeRecords records = SampleRecords();
  for (std::uint16_t product : kAllProducts) {
    for (std::uint32_t version : {0x0100u, 0x0200u}) {
      const std::uint32_t identity = (version << 16) | product;
      const Bytes file = BuildKeyCodeFile(identity, 0x65, records);
      const KeyCodeFileContent content = CheckKeyCodeFile(file, identity);
      ASSERT_EQ(content.verdict, KeyCodeFileVerdict::kValid) << std::hex << identity;
      EXPECT_EQ(content.keyCount, KeyCountForModel(product));
      EXPECT_EQ(content.extended, HasExtendedSettings(identity));
      for (int key = 0; key < content.keyCount; ++key)
        ASSERT_EQ(content.records[key].bytes, records[key].bytes) << product << " key " << key;
    }
  }
}

TEST(KeyCodeFile, HeaderAndSettingsBlockBytes) {
  KeyCodeRecords records{};  // every read failed: written as empty keys, one byte each
  const Bytes basic = BuildKeyCodeFile(0x0100075F, 0, records);
  ASSERT_EQ(basic.size(), 16u + 30u);
  EXPECT_EQ(std::string(basic.begin(), basic.begin() + 10), "QV-PADCONF");
  EXPECT_EQ(basic[10], 0x7C);
  EXPECT_EQ(basic[12], 0x5F);
  EXPECT_EQ(basic[13], 0x07);
  unsigned sum = 0;
  for (int i = 0; i < 16; ++i) sum += basic[i];
  EXPECT_EQ(sum % 256, 0u);
  EXPECT_EQ(basic[16], 1);

  const Bytes extended = BuildKeyCodeFile(0x02001227, 0x65, records);
  EXPECT_EQ(std::string(extended.begin(), extended.begin() + 6), "QV2PAD");
  EXPECT_EQ(Bytes(extended.begin() + 8, extended.begin() + 12), (Bytes{0x27, 0x12, 0x00, 0x02}));
  EXPECT_EQ(Bytes(extended.begin() + 16, extended.begin() + 20),
            (Bytes{1, 2, 2, 2}));  // USB, large
  EXPECT_EQ(SettingsBlockFromStatus(0x02001227, 0x50), (SettingsBlock{1, 1, 2, 1}));
  EXPECT_EQ(SettingsBlockFromStatus(0x01001227, 0x70)[1], 0);  // no interface choice
  EXPECT_EQ(SettingsBlockFromStatus(0x02001227, 0x20)[3], 0);  // 0x20 is no volume

  std::uint8_t status = 0;
  ASSERT_TRUE(StatusFromSettingsBlock({1, 1, 2, 1}, 0xFF, status));
  EXPECT_EQ(status, 0x8F | 0x10 | 0x40);
  ASSERT_TRUE(StatusFromSettingsBlock({1, 2, 2, 2}, 0x81, status));
  EXPECT_EQ(status, 0x81 | 0x60);
  EXPECT_FALSE(StatusFromSettingsBlock({0, 2, 2, 2}, 0x81, status));
}

TEST(KeyCodeFile, RefusalsInTheirOrder) {
  const KeyCodeRecords records = SampleRecords();
  auto verdict = [](const Bytes& file, std::uint32_t identity) {
    return CheckKeyCodeFile(file, identity).verdict;
  };
  Bytes file = BuildKeyCodeFile(0x0100075F, 0, records);
  EXPECT_EQ(verdict(file, 0x0100074F), KeyCodeFileVerdict::kForeign);  // 1887 on 1871
  EXPECT_EQ(verdict(file, 0x0200075F), KeyCodeFileVerdict::kValid);    // basic: version not named

  Bytes checksum = file;
  checksum[14] = 1;
  EXPECT_EQ(verdict(checksum, 0x0100075F), KeyCodeFileVerdict::kDamaged);
  checksum[12] = 0x4F;  // damaged and foreign: foreign is said first
  EXPECT_EQ(verdict(checksum, 0x0100075F), KeyCodeFileVerdict::kForeign);

  Bytes magic = file;  // no known magic, yet a correct checksum and identity
  magic[0] = 'X';
  magic[15] = static_cast<std::uint8_t>(magic[15] - ('X' - 'Q'));
  EXPECT_EQ(verdict(magic, 0x0100075F), KeyCodeFileVerdict::kDamaged);

  const Bytes v1 = BuildKeyCodeFile(0x01001227, 0, records);
  EXPECT_EQ(verdict(v1, 0x02001227), KeyCodeFileVerdict::kForeign);  // version high byte
  EXPECT_EQ(verdict(Bytes(file.begin(), file.begin() + 15), 0x0100075F),
            KeyCodeFileVerdict::kDamaged);
}

TEST(KeyCodeFile, DamagedBodiesAreRefusedWhole) {
  const KeyCodeRecords records = SampleRecords();
  const Bytes file = BuildKeyCodeFile(0x0100075F, 0, records);
  const Bytes extended = BuildKeyCodeFile(0x02001227, 0x65, records);
  std::size_t lastRecord = 16;
  for (int key = 0; key < 29; ++key) lastRecord += records[key].length();

  struct Case {
    Bytes bytes;
    std::uint16_t productId, version;
  };
  std::vector<Case> damaged;
  damaged.push_back({Bytes(file.begin(), file.end() - 1), 0x075F, 0x0100});  // ends early
  damaged.push_back({file, 0x075F, 0x0100});
  damaged.back().bytes[16] = 0;  // length 0
  damaged.push_back({file, 0x075F, 0x0100});
  damaged.back().bytes[lastRecord] = 62;  // beyond a record
  damaged.push_back({Bytes(extended.begin(), extended.begin() + 18), 0x1227, 0x0200});

  for (const Case& bad : damaged) {
    Rig rig(bad.productId, bad.version);
    const EditedKeyCodes before = rig.edited;
    rig.edited.pendingStatus = 0x42;
    rig.files.files[rig.files.chosen] = bad.bytes;
    EXPECT_FALSE(ImportKeyCodeFile(rig.editing, 0));
    ASSERT_EQ(rig.ui.shown.size(), 1u);
    EXPECT_EQ(rig.ui.shown[0],
              u"キーコードファイルが壊れています。\nこのファイルは使用できません。");
    EXPECT_EQ(rig.edited.records, before.records);
    EXPECT_EQ(rig.edited.changed, before.changed);
    EXPECT_FALSE(rig.edited.imported);
    EXPECT_EQ(rig.edited.pendingStatus, 0x42);
  }
  // 60 strokes are within 4876's capacity.
  KeyCodeRecords full{};
  full[0].bytes.fill(1);
  full[0].bytes[0] = 61;
  EXPECT_EQ(CheckKeyCodeFile(BuildKeyCodeFile(0x0100130C, 0, full), 0x0100130C).verdict,
            KeyCodeFileVerdict::kValid);
}

TEST(KeyCodeFile, ImportMarksEveryKeyAndTakesTheSettings) {
  Rig rig(0x1227, 0x0200, false, 0x8F);
  KeyCodeRecords records{};
  for (auto& record : records) record = Record({});
  records[4] = Record({0x3A, 0x30, 0xB0, 0xBA});
  rig.edited.records[4].bytes.fill(0x77);  // stale bytes beyond L are cleared
  rig.files.files[rig.files.chosen] = BuildKeyCodeFile(0x02001227, 0x50, records);  // PS/2, small
  ASSERT_TRUE(ImportKeyCodeFile(rig.editing, 0));
  EXPECT_TRUE(rig.ui.shown.empty());
  EXPECT_EQ(rig.edited.records[4].bytes, records[4].bytes);
  EXPECT_EQ(std::count(rig.edited.changed.begin(), rig.edited.changed.end(), true), 96);
  EXPECT_TRUE(rig.edited.imported);
  EXPECT_EQ(rig.edited.pendingStatus, 0x8F | 0x10 | 0x40);
  EXPECT_TRUE(rig.WrittenKeys().empty());  // nothing reaches the key pad before it is applied

  rig.files.files.clear();
  EXPECT_FALSE(ImportKeyCodeFile(rig.editing, 0));
  EXPECT_EQ(rig.ui.shown.back(), kFileReadFailedMessage.text);
}

TEST(KeyCodeEditingFlows, ExportAsksAndAppliesOnlyAfterTheFileIsWritten) {
  // The question names what was changed, and Yes writes exactly that.
  struct Question {
    bool keys, settings;
    std::u16string_view text;
  };
  for (const Question& question :
       {Question{true, false,
                 u"キーコードの更新をしたキーがあります。\n"
                 u"更新内容をルミナキーボードに反映してから、キーコードを保存しますか？"},
        Question{false, true,
                 u"拡張設定が更新されています。\n"
                 u"更新内容をルミナキーボードに反映してから、キーコードを保存しますか？"},
        Question{true, true,
                 u"キーコードの更新をしたキーがあります。\n拡張設定が更新されています。\n"
                 u"更新内容をルミナキーボードに反映してから、キーコードを保存しますか？"},
        Question{false, false, u""}}) {
    const ExportQuestion asked = ExportQuestionFor(question.keys, question.settings);
    EXPECT_EQ(asked.text, question.text);
    EXPECT_EQ(asked.writeKeys, question.keys);
    EXPECT_EQ(asked.writeSettings, question.settings);
  }
  EXPECT_EQ(std::u16string_view(kExportQuestionTitle), u"Export 確認");

  Rig rig(0x074F);
  EXPECT_TRUE(ExportAndApply(rig.editing, 0));  // nothing changed: nothing asked
  EXPECT_TRUE(rig.ui.shown.empty());
  ASSERT_EQ(rig.files.files.size(), 1u);

  rig.edited.records[2] = Record({0x1E, 0x9E});
  rig.edited.changed[2] = true;
  rig.files.failWrites = true;
  EXPECT_FALSE(ExportAndApply(rig.editing, 0));  // Yes, but the file could not be saved
  EXPECT_EQ(rig.ui.shown.back(), kFileSaveFailedMessage.text);
  EXPECT_TRUE(rig.WrittenKeys().empty());
  EXPECT_TRUE(rig.edited.changed[2]);

  rig.files.failWrites = false;
  rig.ui.answer = kMessageNo;
  EXPECT_TRUE(ExportAndApply(rig.editing, 0));
  EXPECT_TRUE(rig.WrittenKeys().empty());

  rig.ui.answer = kMessageYes;
  EXPECT_TRUE(ExportAndApply(rig.editing, 0));
  EXPECT_EQ(rig.WrittenKeys(), std::vector<int>{3});
  EXPECT_FALSE(rig.edited.changed[2]);
  EXPECT_EQ(rig.cache[2].bytes, rig.edited.records[2].bytes);
  EXPECT_EQ(rig.hid.Record(rig.pad, 3).bytes, rig.edited.records[2].bytes);
}

TEST(KeyCodeEditingFlows, FinishWritesOnlyChangedKeysAndKeepsFailures) {
  Rig rig(0x1227, 0x0200);
  rig.edited.records[0] = Record({0x1E, 0x9E});
  rig.edited.records[9] = Record({0x3A, 0x30, 0xB0, 0xBA});
  rig.edited.changed[0] = rig.edited.changed[9] = true;
  rig.edited.pendingStatus = 0x55;
  EXPECT_EQ(FinishKeyCodeSettings(rig.editing, 0), FinishOutcome::kWritten);
  EXPECT_EQ(rig.WrittenKeys(), (std::vector<int>{1, 10}));
  EXPECT_EQ(rig.hid.Record(rig.pad, 10).bytes, rig.edited.records[9].bytes);
  EXPECT_EQ(rig.cache[9].bytes, rig.edited.records[9].bytes);
  EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), 0x55);
  EXPECT_EQ(rig.edited.pendingStatus, kNoPendingStatus);

  // A Bluetooth LE key pad that takes no key code: the key stays marked, the cache as it was,
  // the user is told, and the dialog stays open.
  Rig framed(0x074F, 0, true);
  const KeyCodeRecord before = framed.cache[4];
  framed.edited.records[4] = Record({0x1E, 0x9E});
  framed.edited.changed[4] = true;
  KeyPadFaults faults;
  faults.unansweredCommand = kCmdWriteKeyCode;
  framed.hid.SetFaults(framed.pad, faults);
  EXPECT_EQ(FinishKeyCodeSettings(framed.editing, 0), FinishOutcome::kStayOpen);
  EXPECT_TRUE(framed.edited.changed[4]);
  EXPECT_EQ(framed.cache[4].bytes, before.bytes);
  ASSERT_EQ(framed.ui.shown.size(), 1u);
  EXPECT_EQ(framed.ui.shown[0], kKeyWriteFailedMessage.text);
}

TEST(KeyCodeEditingFlows, FramedLinkCheckBeforeWriting) {
  Rig framed(0x074F, 0, true);
  ASSERT_EQ(framed.identity, 0xB4B4074Fu);
  EXPECT_EQ(FinishKeyCodeSettings(framed.editing, 0), FinishOutcome::kWritten);  // no key: no ping
  EXPECT_TRUE(framed.hid.Requests(framed.pad).empty());

  framed.edited.records[1] = Record({0x1E, 0x9E});
  framed.edited.changed[1] = true;
  framed.edited.pendingStatus = 0x55;
  KeyPadFaults faults;
  faults.silent = true;
  framed.hid.SetFaults(framed.pad, faults);
  EXPECT_EQ(FinishKeyCodeSettings(framed.editing, 0), FinishOutcome::kLinkDown);
  EXPECT_EQ(framed.ui.shown.back(), kBravaCannotSetKeysMessage.text);
  EXPECT_TRUE(framed.WrittenKeys().empty());
  EXPECT_EQ(framed.edited.pendingStatus, kNoPendingStatus);
}

TEST(ExtendedSettings, OpeningAndTheNewStatusByte) {
  ExtendedSettingsView view = ExtendedSettingsOpen(0x02001227, 0x65);
  EXPECT_EQ(view.buzzer, BuzzerChoice::kLarge);
  EXPECT_EQ(view.interfaceMode, InterfaceChoice::kUsb);
  EXPECT_TRUE(view.interfaceEnabled && view.interfaceShown);
  EXPECT_EQ(ExtendedSettingsValue(0x02001227, 0x65, BuzzerChoice::kSmall, InterfaceChoice::kPs2),
            0x55);

  view = ExtendedSettingsOpen(0x01001227, 0x75);
  EXPECT_FALSE(view.interfaceEnabled);
  EXPECT_EQ(view.interfaceMode, InterfaceChoice::kNone);
  EXPECT_EQ(ExtendedSettingsValue(0x01001227, 0x75, BuzzerChoice::kLarge, InterfaceChoice::kPs2),
            0x65);

  view = ExtendedSettingsOpen(0x0100142A, 0x10);
  EXPECT_FALSE(view.interfaceShown);
  EXPECT_EQ(view.interfaceMode, InterfaceChoice::kPs2);  // still set from the status
  EXPECT_EQ(ExtendedSettingsOpen(0x02001865, 0x20).buzzer, BuzzerChoice::kNone);
  EXPECT_EQ(ExtendedSettingsValue(0x02001865, 0x21, BuzzerChoice::kNone, InterfaceChoice::kUsb),
            0x01);
  EXPECT_FALSE(ExtendedSettingsOpen(0x0100074F, 0x60).buzzerEnabled);
}

// ---------------------------------------------------------------- settings reach only their key
// pad

// A buzzer and interface choice (0xF1: large, PS/2) left pending by a dialog that was closed from
// outside, then a new command on another key pad.
constexpr std::uint8_t kStalePending = 0xF1;

TEST(KeyCodeSettingsWrites, ANewCommandStartsWithNothingPending) {
  Rig second(0x1227, 0x0200, false, 0x81);
  second.edited.pendingStatus = kStalePending;
  BeginKeyCodeSettings(second.editing);
  EXPECT_EQ(second.edited.pendingStatus, kNoPendingStatus);
  EXPECT_EQ(FinishKeyCodeSettings(second.editing, 0), FinishOutcome::kWritten);
  EXPECT_EQ(second.hid.LastStatusWrite(second.pad), -1);
  EXPECT_EQ(second.hid.Status(second.pad), 0x81);
}

TEST(KeyCodeSettingsWrites, CancelDropsThePendingSettings) {
  Rig rig(0x1227, 0x0200);
  rig.edited.pendingStatus = 0x55;
  CancelKeyCodeSettings(rig.edited);
  EXPECT_EQ(rig.edited.pendingStatus, kNoPendingStatus);
}

TEST(KeyCodeSettingsWrites, PendingSettingsAreWrittenOnlyToModelsThatHaveThem) {
  // Every model, on "設定終了" and on an export answered Yes; a status byte reaches only the four
  // models with extended settings.
  for (std::uint16_t product : kAllProducts) {
    for (std::uint16_t version : {std::uint16_t{0x0100}, std::uint16_t{0x0200}}) {
      const std::uint32_t identity = (std::uint32_t{version} << 16) | product;
      const bool has = HasExtendedSettings(identity);
      {
        Rig rig(product, version);
        rig.edited.pendingStatus = 0x41;
        EXPECT_EQ(FinishKeyCodeSettings(rig.editing, 0), FinishOutcome::kWritten);
        EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), has ? 0x41 : -1) << std::hex << identity;
      }
      {
        // Only settings pending: the question names them and Yes writes them, where they exist.
        Rig rig(product, version);
        rig.edited.pendingStatus = 0x41;
        EXPECT_TRUE(ExportAndApply(rig.editing, 0));
        EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), has ? 0x41 : -1) << std::hex << identity;
        ASSERT_EQ(rig.ui.shown.size(), has ? 1u : 0u) << std::hex << identity;
        if (has) {
          EXPECT_EQ(rig.ui.shown[0],
                    u"拡張設定が更新されています。\n"
                    u"更新内容をルミナキーボードに反映してから、キーコードを保存しますか？");
          EXPECT_EQ(rig.edited.pendingStatus, kNoPendingStatus);
        }
      }
      {
        // Keys and settings pending: Yes writes the keys everywhere, the settings where they exist.
        Rig rig(product, version);
        rig.edited.records[0] = Record({0x1E, 0x9E});
        rig.edited.changed[0] = true;
        rig.edited.pendingStatus = 0x41;
        EXPECT_TRUE(ExportAndApply(rig.editing, 0));
        EXPECT_EQ(rig.WrittenKeys(), std::vector<int>{1});
        EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), has ? 0x41 : -1) << std::hex << identity;
      }
    }
  }
}

// The file holds the settings the user chose in this dialog, not yet written to the key pad,
// whatever the answer to the question.
TEST(KeyCodeSettingsWrites, AnExportRecordsThePendingSettingsRatherThanTheKeyPads) {
  for (const int answer : {kMessageYes, kMessageNo}) {
    Rig rig(0x1227, 0x0100, false, 0x81);
    ASSERT_TRUE(HasExtendedSettings(rig.identity));
    rig.edited.pendingStatus = 0x51;  // small volume, PS/2
    rig.ui.answer = answer;
    EXPECT_TRUE(ExportAndApply(rig.editing, 0));
    const Bytes& file = rig.files.files[rig.files.chosen];
    EXPECT_EQ(file, BuildKeyCodeFile(rig.identity, 0x51, rig.edited.records));
    EXPECT_NE(file, BuildKeyCodeFile(rig.identity, 0x81, rig.edited.records));
    EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), answer == kMessageYes ? 0x51 : -1);
  }
}

// A lock or an unplugged key pad ends the question's box from outside while the dialog closes:
// the export stops there, before its save dialog, and nothing is written.
TEST(KeyCodeSettingsWrites, AQuestionEndedFromOutsideStopsTheExportBeforeItsSaveDialog) {
  constexpr int kEndedFromOutside = 2;  // what a message box ended with IDCANCEL returns
  Rig rig(0x1227, 0x0100, false, 0x81);
  rig.edited.records[0] = Record({0x1E, 0x9E});
  rig.edited.changed[0] = true;
  rig.edited.pendingStatus = 0x51;
  rig.ui.answer = kEndedFromOutside;
  EXPECT_FALSE(ExportAndApply(rig.editing, 0));
  EXPECT_EQ(rig.ui.shown.size(), 1u);
  EXPECT_EQ(rig.files.saveDialogs, 0);
  EXPECT_TRUE(rig.files.files.empty());
  EXPECT_TRUE(rig.WrittenKeys().empty());
  EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), -1);
  EXPECT_TRUE(rig.edited.changed[0]);
  EXPECT_EQ(rig.edited.pendingStatus, 0x51);
}

TEST(KeyCodeSettingsWrites, TheBluetoothPingGuardsBothFramedIdentities) {
  for (std::uint16_t product : {std::uint16_t{0x074F}, std::uint16_t{0x0777}}) {
    Rig framed(product, 0, true);
    ASSERT_TRUE(framed.identity == 0xB4B4074Fu || framed.identity == 0xB5B50777u);
    framed.edited.records[1] = Record({0x1E, 0x9E});
    framed.edited.changed[1] = true;
    KeyPadFaults faults;
    faults.unansweredCommand = kCmdPingLink;
    framed.hid.SetFaults(framed.pad, faults);
    EXPECT_EQ(FinishKeyCodeSettings(framed.editing, 0), FinishOutcome::kLinkDown)
        << std::hex << framed.identity;
    EXPECT_TRUE(framed.WrittenKeys().empty()) << std::hex << framed.identity;
    ASSERT_EQ(framed.ui.shown.size(), 1u);
    EXPECT_EQ(framed.ui.shown[0],
              u"Bravaと通信できないため設定できません。\n"
              u"Bravaの電源を入れ直してから再度メニュー選択してください。");
  }
}

// ---------------------------------------------------------------- a status that cannot be read

// An extended model whose status byte cannot be read, with key 1 changed.
struct UnreadStatusRig : Rig {
  UnreadStatusRig() : Rig(0x1227, 0x0200, false, 0xE5) {
    KeyPadFaults faults;
    faults.unansweredCommand = kCmdReadDeviceInfo;
    hid.SetFaults(pad, faults);
  }
};

TEST(UnreadStatus, IsNeverShownExportedOrMerged) {
  {
    UnreadStatusRig rig;
    std::uint8_t working = 0x33;
    EXPECT_FALSE(ExtendedSettingsWorkingValue(rig.editing, 0, working));
    ASSERT_EQ(rig.ui.shown.size(), 1u);
    EXPECT_EQ(rig.ui.shown[0], kSettingsUnreadMessage.text);
    // A pending value needs no read.
    rig.edited.pendingStatus = 0x55;
    EXPECT_TRUE(ExtendedSettingsWorkingValue(rig.editing, 0, working));
    EXPECT_EQ(working, 0x55);
  }
  {
    UnreadStatusRig rig;
    rig.edited.records[0] = Record({0x1E, 0x9E});
    rig.edited.changed[0] = true;
    EXPECT_FALSE(ExportAndApply(rig.editing, 0));  // asked, answered Yes, then told
    EXPECT_TRUE(rig.files.files.empty());
    EXPECT_EQ(rig.ui.shown.back(), kSettingsUnreadMessage.text);
    EXPECT_TRUE(rig.WrittenKeys().empty());
    EXPECT_EQ(rig.hid.LastStatusWrite(rig.pad), -1);
    EXPECT_TRUE(rig.edited.changed[0]);
  }
  {
    UnreadStatusRig rig;
    KeyCodeRecords records{};
    for (auto& record : records) record = Record({0x1E, 0x9E});
    rig.files.files[rig.files.chosen] = BuildKeyCodeFile(0x02001227, 0x50, records);
    const EditedKeyCodes before = rig.edited;
    EXPECT_FALSE(ImportKeyCodeFile(rig.editing, 0));
    ASSERT_EQ(rig.ui.shown.size(), 1u);
    EXPECT_EQ(rig.ui.shown[0], kSettingsUnreadMessage.text);
    EXPECT_EQ(rig.edited.records, before.records);
    EXPECT_EQ(rig.edited.changed, before.changed);
    EXPECT_EQ(rig.edited.pendingStatus, kNoPendingStatus);
    EXPECT_FALSE(rig.edited.imported);
  }
}

TEST(UnreadStatus, ABasicModelNeedsNoStatusToExportOrImport) {
  Rig rig(0x074F);
  KeyPadFaults faults;
  faults.unansweredCommand = kCmdReadDeviceInfo;
  rig.hid.SetFaults(rig.pad, faults);
  EXPECT_TRUE(ExportAndApply(rig.editing, 0));
  EXPECT_TRUE(ImportKeyCodeFile(rig.editing, 0));
  EXPECT_TRUE(rig.ui.shown.empty());
}

TEST(ExtendedSettings, TheNewStatusByteKeepsTheAccessBits) {
  // Editing (bit 7) and password (bit 0) bits come through "登録" unchanged.
  EXPECT_EQ(ExtendedSettingsValue(0x02001227, 0xE5, BuzzerChoice::kOff, InterfaceChoice::kUsb),
            0x85);
  EXPECT_EQ(ExtendedSettingsValue(0x0100142A, 0x81, BuzzerChoice::kSmall, InterfaceChoice::kPs2),
            0xD1);
}

// ---------------------------------------------------------------- what the program writes it reads

TEST(KeyCodeFile, AKeyLongerThanTheModelsCapacityExportsAndImportsAgain) {
  Rig rig(0x074F);  // capacity 40
  KeyCodeRecord longest;
  longest.bytes.fill(0x1E);
  longest.bytes[0] = kRecordBytes;  // 60 strokes, as the key pad holds them
  rig.hid.SetRecord(rig.pad, 7, longest);
  BeginKeyCodeSettings(rig.editing);
  ASSERT_EQ(rig.edited.records[6].bytes, longest.bytes);
  ASSERT_TRUE(ExportAndApply(rig.editing, 0));

  Rig again(0x074F);
  again.files.files = rig.files.files;
  ASSERT_TRUE(ImportKeyCodeFile(again.editing, 0));
  EXPECT_TRUE(again.ui.shown.empty());
  EXPECT_EQ(again.edited.records, rig.edited.records);
}

}  // namespace
}  // namespace qv
