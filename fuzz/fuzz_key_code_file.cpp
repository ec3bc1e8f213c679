// Arbitrary key-code files, as bytes or as a valid file with bytes flipped, checked for every
// model identity: a file is loaded only when all of it is sound (every record within its 61
// bytes, as a key pad may hold more strokes than its model's capacity), a loaded file rebuilds to
// the same records, and a refused import leaves the editing copy exactly as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/device_commands.h"
#include "emulator/emulated_hid_system.h"
#include "fuzz/fuzz_support.h"
#include "keycode/key_code_editing.h"
#include "keycode/key_code_file.h"
#include "keycode/key_table.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

constexpr std::uint32_t kIdentities[] = {
    0x01000652, 0x0100070C, 0x0100074F, 0x01000750, 0x0100075F, 0x01000777, 0x01001224, 0x01001225,
    0x01001227, 0x02001227, 0x0100130C, 0x0100130D, 0x0100142A, 0x02001865, 0xB4B4074F, 0xB5B50777};

class OneFile : public KeyCodeFileSystem {
 public:
  explicit OneFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool ChooseFileToOpen(UiWindow, std::u16string& path) override {
    path = u"f.qvk";
    return true;
  }
  bool ChooseFileToSave(UiWindow, std::u16string&) override { return false; }
  bool ReadWholeFile(std::u16string_view, std::vector<std::uint8_t>& bytes) override {
    bytes = bytes_;
    return true;
  }
  bool ReplaceFile(std::u16string_view, std::span<const std::uint8_t>) override { return false; }

 private:
  std::vector<std::uint8_t> bytes_;
};

class NoAnswers : public EditorMessages {
 public:
  int ShowMessage(UiWindow, const UiMessage&) override { return kMessageOk; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint32_t identity = kIdentities[input.Byte() % std::size(kIdentities)];
  const auto productId = static_cast<std::uint16_t>(identity & 0xFFFF);
  const bool flipValid = input.Byte() & 1;
  std::vector<std::uint8_t> file;
  if (flipValid) {
    KeyCodeRecords records{};
    for (int key = 0; key < kMaxKeys; ++key) {
      const int strokes = input.Byte() % 8;
      records[key].bytes[0] = static_cast<std::uint8_t>(strokes + 1);
      for (int i = 1; i <= strokes; ++i) records[key].bytes[i] = input.Byte();
    }
    file = BuildKeyCodeFile(identity, input.Byte(), records);
    while (!input.empty()) {
      const std::size_t at = (input.Byte() << 8 | input.Byte()) % (file.size() + 1);
      const std::uint8_t value = input.Byte();
      if (at == file.size())
        file.resize(value % (file.size() + 1));  // cut the file short
      else
        file[at] ^= value;
    }
  } else {
    while (!input.empty()) file.push_back(input.Byte());
  }

  const KeyCodeFileContent content = CheckKeyCodeFile(file, identity);
  if (content.verdict == KeyCodeFileVerdict::kValid) {
    Check(content.keyCount == KeyCountForModel(productId), "key count of the model");
    for (int key = 0; key < content.keyCount; ++key) {
      const KeyCodeRecord& record = content.records[key];
      Check(record.length() >= 1 && record.length() <= kRecordBytes, "length within a record");
      Check(std::all_of(record.bytes.begin() + record.length(), record.bytes.end(),
                        [](std::uint8_t b) { return b == 0; }),
            "nothing beyond the length");
    }
    const std::vector<std::uint8_t> rebuilt = BuildKeyCodeFile(identity, 0, content.records);
    const KeyCodeFileContent again = CheckKeyCodeFile(rebuilt, identity);
    Check(again.verdict == KeyCodeFileVerdict::kValid, "a loaded file rebuilds valid");
    Check(again.records == content.records, "a loaded file rebuilds to the same records");
  }

  // The import over an emulated key pad: the editing copy changes only for a valid file.
  EmulatedHidSystem hid(EmulatedHidSystem::ClockMode::kVirtual);
  DeviceContext context(hid);
  EmulatedKeyPad keyPadSpec;
  keyPadSpec.productId = productId;
  keyPadSpec.version = static_cast<std::uint16_t>(identity >> 16);
  hid.AttachKeyPad(keyPadSpec);
  DeviceLink link;
  OpenKeyPad(context, link, productId, nullptr, 1, false);
  EditedKeyCodes edited;
  edited.records[0].bytes[0] = 9;
  edited.pendingStatus = 0x33;
  const EditedKeyCodes before = edited;
  KeyCodeRecords cache{};
  OneFile files(file);
  NoAnswers messages;
  KeyCodeEditing editing{context, link, identity, edited, cache, files, messages};
  const bool loaded = ImportKeyCodeFile(editing, 0);
  Check(loaded == (content.verdict == KeyCodeFileVerdict::kValid), "loaded exactly when valid");
  if (!loaded) {
    Check(edited.records == before.records && edited.changed == before.changed &&
              edited.pendingStatus == before.pendingStatus && !edited.imported,
          "a refused file changes nothing");
  }
  CloseLink(context, link);
  return 0;
}
