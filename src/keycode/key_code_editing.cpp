#include "keycode/key_code_editing.h"

#include <algorithm>

#include "device/device_commands.h"

namespace qv {
namespace {

constexpr std::u16string_view kKeysChangedQuestion =
    u"キーコードの更新をしたキーがあります。\n"
    u"更新内容をルミナキーボードに反映してから、キーコードを保存しますか？";
constexpr std::u16string_view kSettingsChangedQuestion =
    u"拡張設定が更新されています。\n"
    u"更新内容をルミナキーボードに反映してから、キーコードを保存しますか？";
constexpr std::u16string_view kBothChangedQuestion =
    u"キーコードの更新をしたキーがあります。\n"
    u"拡張設定が更新されています。\n"
    u"更新内容をルミナキーボードに反映してから、キーコードを保存しますか？";

int KeysOf(const KeyCodeEditing& editing) {
  return KeyCountForModel(editing.ProductId());
}

// The status byte the key pad reports now; false when it does not answer. A status that could
// not be read is never taken for 0: that would show, write, export or merge settings the key pad
// does not hold (and clear its access bit).
bool ReadCurrentStatus(KeyCodeEditing& editing, std::uint8_t& status) {
  DeviceInfo info{};
  if (!ReadDeviceInfo(editing.device, editing.link, info)) return false;
  status = info[0];
  return true;
}

// A status byte that is to be written: only a model with extended settings has one, whatever an
// earlier dialog left pending.
bool SettingsPending(const KeyCodeEditing& editing) {
  return HasExtendedSettings(editing.modelIdentity) &&
         editing.edited.pendingStatus != kNoPendingStatus;
}

bool WriteOneKey(KeyCodeEditing& editing, int key) {
  const KeyCodeRecord& record = editing.edited.records[key];
  if (!WriteKeyCode(editing.device, editing.link, key + 1, record)) return false;
  editing.edited.changed[key] = false;
  if (editing.cacheLock) {
    const std::lock_guard lock(*editing.cacheLock);
    editing.cache[key] = record;
  } else {
    editing.cache[key] = record;
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------- key grid

KeyGrid KeyGridFor(std::uint16_t productId) {
  switch (productId) {
    case 1618:
    case 1871:
    case 1887:
    case 4644:
    case 4876:
      return {KeyGridKind::kPlain, 6, 5};
    case 1911:
      return {KeyGridKind::kPlain, 5, 6, false, true};
    case 1804:
    case 1872:
    case 4645:
    case 4877:
      return {KeyGridKind::kPaged, 6, 4};
    case 5162:
      return {KeyGridKind::kPlain, 6, 8, true};
    case 4647:
      return {KeyGridKind::kPlain, 12, 8, true};
    case 6245:
      return {KeyGridKind::kPlain, 12, 7, true};
    default:
      return {};
  }
}

CellSize WidenedCellSize(std::uint16_t productId, int dialogWidth, int templateX) {
  const int span = dialogWidth - templateX + 110;
  if (productId == 5162) return {span / 6, span / 12};
  return {span / 12, span / 12};
}

std::vector<KeyButtonPlace> KeyButtonPlaces(std::uint16_t productId, int originX, int originY,
                                            CellSize cell, int page) {
  const KeyGrid grid = KeyGridFor(productId);
  std::vector<KeyButtonPlace> places;
  if (grid.kind == KeyGridKind::kPlain) {
    for (int row = 0; row < grid.rows; ++row) {
      for (int column = 0; column < grid.columns; ++column) {
        const int index = row * grid.columns + column;
        places.push_back(
            {index,
             {originX + column * cell.width, originY + row * cell.height, cell.width, cell.height},
             static_cast<unsigned>(index + 1)});
      }
    }
  } else if (grid.kind == KeyGridKind::kPaged) {
    for (int button = 0; button < kPageCount; ++button)
      places.push_back(
          {button,
           {originX + button * cell.width, originY + cell.height / 6, cell.width, cell.height / 2},
           static_cast<unsigned>(button + 1)});
    const int first = (std::clamp(page, 1, kPageCount) - 1) * kKeysPerPage;
    for (int key = 0; key < kKeysPerPage; ++key) {
      const int row = 1 + key / grid.columns;
      const int column = key % grid.columns;
      places.push_back(
          {kPageCount + key,
           {originX + column * cell.width, originY + row * cell.height, cell.width, cell.height},
           static_cast<unsigned>(first + key + 1)});
    }
  }
  return places;
}

int KeyIndexOfButton(std::uint16_t productId, int page, int buttonIndex) {
  const KeyGrid grid = KeyGridFor(productId);
  if (grid.kind == KeyGridKind::kPaged) {
    if (buttonIndex < kPageCount || buttonIndex >= kPageCount + kKeysPerPage) return -1;
    return (std::clamp(page, 1, kPageCount) - 1) * kKeysPerPage + buttonIndex - kPageCount;
  }
  if (grid.kind == KeyGridKind::kPlain && buttonIndex >= 0 &&
      buttonIndex < grid.columns * grid.rows)
    return buttonIndex;
  return -1;
}

int PageOfButton(std::uint16_t productId, int buttonIndex) {
  if (KeyGridFor(productId).kind != KeyGridKind::kPaged) return 0;
  return buttonIndex >= 0 && buttonIndex < kPageCount ? buttonIndex + 1 : 0;
}

// ---------------------------------------------------------------- button colours

Colour KeyButtonFill(bool pushedOrSelected, bool keyChanged, const EditedKeyCodes& edited) {
  const bool selection = edited.selectedKey >= 0;
  if (pushedOrSelected) return keyChanged && selection ? kKeyFillSelectedChanged : kKeyFillSelected;
  if (keyChanged && (selection || edited.imported)) return kKeyFillChanged;
  return kKeyFillNormal;
}

Colour PageButtonFill(bool pushedOrCurrent) {
  return pushedOrCurrent ? kPageFillCurrent : kPageFillNormal;
}

// ---------------------------------------------------------------- flows

ExportQuestion ExportQuestionFor(bool keysChanged, bool settingsPending) {
  if (keysChanged && settingsPending) return {kBothChangedQuestion, true, true};
  if (keysChanged) return {kKeysChangedQuestion, true, false};
  if (settingsPending) return {kSettingsChangedQuestion, false, true};
  return {};
}

bool AnyKeyChanged(const EditedKeyCodes& edited, std::uint16_t productId) {
  const int keys = KeyCountForModel(productId);
  return std::any_of(edited.changed.begin(), edited.changed.begin() + keys,
                     [](bool changed) { return changed; });
}

void BeginKeyCodeSettings(KeyCodeEditing& editing) {
  EditedKeyCodes& edited = editing.edited;
  edited.selectedButton = -1;
  edited.selectedKey = -1;
  edited.page = 1;
  edited.imported = false;
  edited.changed.fill(false);
  // A setting chosen for the key pad of an earlier command never reaches this one.
  edited.pendingStatus = kNoPendingStatus;
  ReadAllKeyCodes(editing.device, editing.link, editing.ProductId(), edited.records);
}

bool ImportKeyCodeFile(KeyCodeEditing& editing, UiWindow owner) {
  std::u16string path;
  if (!editing.files.ChooseFileToOpen(owner, path)) return false;
  std::vector<std::uint8_t> bytes;
  if (!editing.files.ReadWholeFile(path, bytes)) {
    editing.ui.ShowMessage(owner, kFileReadFailedMessage);
    return false;
  }
  const KeyCodeFileContent content = CheckKeyCodeFile(bytes, editing.modelIdentity);
  if (content.verdict == KeyCodeFileVerdict::kForeign) {
    editing.ui.ShowMessage(owner, kForeignFileMessage);
    return false;
  }
  if (content.verdict == KeyCodeFileVerdict::kDamaged) {
    editing.ui.ShowMessage(owner, kDamagedFileMessage);
    return false;
  }

  EditedKeyCodes& edited = editing.edited;
  if (content.extended && SettingsBlockIsUsable(content.settings)) {
    // The file's settings go on top of the key pad's own access bits: without them, nothing.
    std::uint8_t current = 0;
    if (!ReadCurrentStatus(editing, current)) {
      editing.ui.ShowMessage(owner, kSettingsUnreadMessage);
      return false;
    }
    StatusFromSettingsBlock(content.settings, current, edited.pendingStatus);
  }
  for (int key = 0; key < content.keyCount; ++key) {
    edited.records[key] = content.records[key];
    edited.changed[key] = true;
  }
  edited.imported = true;
  return true;
}

bool ExportKeyCodeFile(KeyCodeEditing& editing, UiWindow owner) {
  std::u16string path;
  if (!editing.files.ChooseFileToSave(owner, path)) return false;
  std::uint8_t status = 0;
  if (SettingsPending(editing)) {
    status = editing.edited.pendingStatus;
  } else if (HasExtendedSettings(editing.modelIdentity) && !ReadCurrentStatus(editing, status)) {
    editing.ui.ShowMessage(owner, kSettingsUnreadMessage);
    return false;
  }
  const std::vector<std::uint8_t> file =
      BuildKeyCodeFile(editing.modelIdentity, status, editing.edited.records);
  if (!editing.files.ReplaceFile(path, file)) {
    editing.ui.ShowMessage(owner, kFileSaveFailedMessage);
    return false;
  }
  return true;
}

bool WriteEditedKeyCodes(KeyCodeEditing& editing, bool writeKeys, bool writeSettings) {
  bool all = true;
  const int keys = KeysOf(editing);
  for (int key = 0; writeKeys && key < keys; ++key)
    if (editing.edited.changed[key] && !WriteOneKey(editing, key)) all = false;
  EditedKeyCodes& edited = editing.edited;
  if (writeSettings && SettingsPending(editing)) {
    if (WriteStatusByte(editing.device, editing.link, edited.pendingStatus))
      edited.pendingStatus = kNoPendingStatus;
    else
      all = false;
  }
  return all;
}

bool ExportAndApply(KeyCodeEditing& editing, UiWindow owner) {
  const ExportQuestion question = ExportQuestionFor(
      AnyKeyChanged(editing.edited, editing.ProductId()), SettingsPending(editing));
  bool writeKeys = false;
  bool writeSettings = false;
  if (!question.text.empty()) {
    const UiMessage ask{kExportQuestionTitle, question.text, MessageIcon::kWarning,
                        MessageButtons::kYesNo};
    const int answer = editing.ui.ShowMessage(owner, ask);
    // Neither Yes nor No: the box was ended from outside (the console was locked or the key pad
    // went away) and the dialog is closing; no save dialog opens after it.
    if (answer != kMessageYes && answer != kMessageNo) return false;
    if (answer == kMessageYes) {
      writeKeys = question.writeKeys;
      writeSettings = question.writeSettings;
    }
  }
  if (!ExportKeyCodeFile(editing, owner)) return false;
  if (!writeKeys && !writeSettings) return true;

  if (!WriteEditedKeyCodes(editing, writeKeys, writeSettings))
    editing.ui.ShowMessage(owner, kKeyWriteFailedMessage);
  return true;
}

FinishOutcome FinishKeyCodeSettings(KeyCodeEditing& editing, UiWindow owner) {
  EditedKeyCodes& edited = editing.edited;
  const int keys = KeysOf(editing);
  // A framed key pad's link is checked before keys are written.
  if (IsBravaModel(editing.modelIdentity)) {
    for (int key = 0; key < keys; ++key) {
      if (edited.changed[key] && !PingLink(editing.device, editing.link)) {
        editing.ui.ShowMessage(owner, kBravaCannotSetKeysMessage);
        edited.pendingStatus = kNoPendingStatus;
        return FinishOutcome::kLinkDown;
      }
    }
  }
  if (!WriteEditedKeyCodes(editing, true, true)) {
    editing.ui.ShowMessage(owner, kKeyWriteFailedMessage);
    return FinishOutcome::kStayOpen;
  }
  edited.pendingStatus = kNoPendingStatus;
  return FinishOutcome::kWritten;
}

bool ExtendedSettingsWorkingValue(KeyCodeEditing& editing, UiWindow owner, std::uint8_t& working) {
  if (SettingsPending(editing)) {
    working = editing.edited.pendingStatus;
    return true;
  }
  if (ReadCurrentStatus(editing, working)) return true;
  editing.ui.ShowMessage(owner, kSettingsUnreadMessage);
  return false;
}

void CancelKeyCodeSettings(EditedKeyCodes& edited) {
  edited.pendingStatus = kNoPendingStatus;
}

}  // namespace qv
