// What the key-code settings dialog (134) decides and does with the editing copy: the key grid
// of each model, the key behind a button, the colour of a button, importing and exporting
// key-code files, and writing the edits to the key pad. The dialog procedure only turns messages
// into these calls; the file dialogs, the disk and the message boxes are ports.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "common/ui_message.h"
#include "device/device_context.h"
#include "device/device_link.h"
#include "keycode/key_code_file.h"
#include "keycode/key_code_store.h"

namespace qv {

// ---------------------------------------------------------------- key grid

inline constexpr int kFirstKeyButtonId = 1500;
inline constexpr int kWideningShiftX = 65;  // the widened dialog moves left by this
inline constexpr int kWideningExtra = 130;  // and grows by this
inline constexpr int kWideningDropKeyInput = 35;

enum class KeyGridKind {
  kNone,   // a model without key buttons
  kPlain,  // one button per key
  kPaged,  // six page buttons over 24 key buttons
};

// The grid of a model by its product id.
struct KeyGrid {
  KeyGridKind kind = KeyGridKind::kNone;
  int columns = 0;
  int rows = 0;                    // key rows (the page row not counted)
  bool widened = false;            // 4647, 5162, 6245: the dialog is widened first
  bool keyInputMovedDown = false;  // 1911: "キー入力" moves down by one cell height
};
KeyGrid KeyGridFor(std::uint16_t productId);

struct GridRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The cell of the widened models, from the dialog's window width before widening and the
// template button's x: (W - x0 + 110) / 12 square, and for 5162 twice as wide.
struct CellSize {
  int width = 0, height = 0;
};
CellSize WidenedCellSize(std::uint16_t productId, int dialogWidth, int templateX);

// One button of the grid: its id offset from 1500, its rectangle in the dialog's client area and
// its caption ("%u").
struct KeyButtonPlace {
  int index = 0;
  GridRect rect;
  unsigned caption = 0;
};

// The buttons of a model with the grid at `origin` and cells of `cell`: every key button of a
// plain grid; for the paged models the six page buttons (half a cell high, lowered by a sixth)
// followed by the 24 key buttons of `page`, ids 1506..1529.
std::vector<KeyButtonPlace> KeyButtonPlaces(std::uint16_t productId, int originX, int originY,
                                            CellSize cell, int page);

// The key index (0-based) of key button `buttonIndex` (control id - 1500), -1 for a page button;
// on the paged models (page - 1) x 24 + button index - 6.
int KeyIndexOfButton(std::uint16_t productId, int page, int buttonIndex);
// The page (1..6) of a page button, 0 when the button is no page button.
int PageOfButton(std::uint16_t productId, int buttonIndex);

// ---------------------------------------------------------------- button colours

struct Colour {
  std::uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Colour&) const = default;
};
inline constexpr Colour kKeyFillSelectedChanged{255, 128, 0};
inline constexpr Colour kKeyFillSelected{224, 0, 0};
inline constexpr Colour kKeyFillChanged{224, 224, 0};
inline constexpr Colour kKeyFillNormal{224, 224, 255};
inline constexpr Colour kPageFillNormal{192, 255, 192};
inline constexpr Colour kPageFillCurrent{192, 192, 192};
inline constexpr Colour kButtonTextShadow{96, 96, 96};
inline constexpr Colour kKeyText{0, 0, 0};
inline constexpr Colour kPageText{0, 0, 224};

// The fill of a key button: pushed or selected (drawn disabled) is orange when the key is changed
// and a selection exists, red otherwise; a normal button is yellow when the key is changed and a
// key was selected or a file imported, light blue otherwise.
Colour KeyButtonFill(bool pushedOrSelected, bool keyChanged, const EditedKeyCodes& edited);
Colour PageButtonFill(bool pushedOrCurrent);

// ---------------------------------------------------------------- ports

// The file dialogs and the disk.
class KeyCodeFileSystem {
 public:
  virtual ~KeyCodeFileSystem() = default;
  // The open and save dialogs for "*.qvk"; false when the user cancelled.
  virtual bool ChooseFileToOpen(UiWindow owner, std::u16string& path) = 0;
  virtual bool ChooseFileToSave(UiWindow owner, std::u16string& path) = 0;
  // The whole file; false when it cannot be opened for reading.
  virtual bool ReadWholeFile(std::u16string_view path, std::vector<std::uint8_t>& bytes) = 0;
  // Replaces the file with `bytes` as a whole or not at all (a temporary file in the same folder,
  // flushed, then moved over the target); false when nothing could be written.
  virtual bool ReplaceFile(std::u16string_view path, std::span<const std::uint8_t> bytes) = 0;
};

class EditorMessages {
 public:
  virtual ~EditorMessages() = default;
  // Shows the message box; returns kMessageOk, kMessageYes or kMessageNo, or another value when
  // the box was ended from outside (a lock, a key pad that went away).
  virtual int ShowMessage(UiWindow owner, const UiMessage& message) = 0;
};

// What the dialog works on: the key pad of the command's slot, its cache entry and the one
// editing copy.
struct KeyCodeEditing {
  DeviceContext& device;
  DeviceLink& link;
  std::uint32_t modelIdentity = 0;
  EditedKeyCodes& edited;
  KeyCodeRecords& cache;  // DeviceKeyCodeCache of the slot
  KeyCodeFileSystem& files;
  EditorMessages& ui;
  // The mirror's lock (DeviceKeyCodeCache::mutex) when a soft keyboard may read it meanwhile.
  std::mutex* cacheLock = nullptr;

  std::uint16_t ProductId() const { return static_cast<std::uint16_t>(modelIdentity & 0xFFFF); }
};

// ---------------------------------------------------------------- messages

inline constexpr UiMessage kForeignFileMessage{
    u"エラー", u"別の製品のキーコードファイルです。\nこのファイルは使用できません。",
    MessageIcon::kError};
inline constexpr UiMessage kDamagedFileMessage{
    u"エラー", u"キーコードファイルが壊れています。\nこのファイルは使用できません。",
    MessageIcon::kError};
inline constexpr UiMessage kFileReadFailedMessage{u"エラー", u"ファイル読み込みに失敗しました。",
                                                  MessageIcon::kError};
inline constexpr UiMessage kFileSaveFailedMessage{u"エラー", u"ファイル保存に失敗しました。",
                                                  MessageIcon::kError};
inline constexpr UiMessage kBravaCannotSetKeysMessage{
    u"Brava未接続エラー",
    u"Bravaと通信できないため設定できません。\n"
    u"Bravaの電源を入れ直してから再度メニュー選択してください。",
    MessageIcon::kInformation};
// A key code or the extended settings could not be written: the edits stay in the dialog.
inline constexpr UiMessage kKeyWriteFailedMessage{
    u"通信エラー",
    u"キーボードと通信できないため書き込めなかった設定があります。\n"
    u"書き込めなかった設定は変更済みのまま残っています。\n"
    u"キーボードを確認してから再度書き込んでください。",
    MessageIcon::kError};

// The key pad's status byte, which holds the extended settings, could not be read: nothing is
// shown, exported or merged from a guessed value.
inline constexpr UiMessage kSettingsUnreadMessage{
    u"通信エラー",
    u"キーボードと通信できないため拡張設定を読み込めませんでした。\n"
    u"キーボードを接続し直してから再度操作してください。",
    MessageIcon::kError};

inline constexpr char16_t kExportQuestionTitle[] = u"Export 確認";

// The question "エクスポート" asks first and what Yes means.
struct ExportQuestion {
  std::u16string_view text;  // empty: nothing to apply, nothing is asked
  bool writeKeys = false;
  bool writeSettings = false;
};
ExportQuestion ExportQuestionFor(bool keysChanged, bool settingsPending);

// ---------------------------------------------------------------- flows

// Any key of the model marked changed.
bool AnyKeyChanged(const EditedKeyCodes& edited, std::uint16_t productId);

// Opening the dialog: no selection, page 1, nothing changed, imported or pending, and every key
// read from the key pad (a key whose read fails keeps length 0).
void BeginKeyCodeSettings(KeyCodeEditing& editing);

// "インポート": the open dialog, the file checked as a whole and, only when it is valid, its
// records (and settings) taken into the editing copy with every key marked changed. True when
// records were loaded; any refusal leaves the editing copy untouched. A file's settings are
// merged into the key pad's status byte: when that cannot be read the user is told and the file
// is not taken.
bool ImportKeyCodeFile(KeyCodeEditing& editing, UiWindow owner);
// The save dialog and the file written as a whole; true when the file was written. A model with
// extended settings records the pending ones, else its status byte: when that cannot be read the
// user is told and no file is written.
bool ExportKeyCodeFile(KeyCodeEditing& editing, UiWindow owner);

// Writes, as asked, every changed key of the model (in key order) and the pending settings; a
// model without extended settings is never sent a pending status byte.
// A key written is unmarked and copied into the cache; a key whose write fails stays marked with
// its cache entry unchanged, and pending settings that fail stay pending. True when everything
// was written.
bool WriteEditedKeyCodes(KeyCodeEditing& editing, bool writeKeys, bool writeSettings);

// "エクスポート": the question, the export whatever the answer, and after a written file the writes
// that Yes asked for. A failed write is reported. A question ended without Yes or No (closed
// from outside) ends the export there. True when the file was written.
bool ExportAndApply(KeyCodeEditing& editing, UiWindow owner);

// Results of the dialog.
inline constexpr int kSettingsWritten = 1;
inline constexpr int kSettingsDropped = 2;

enum class FinishOutcome {
  kWritten,   // end with 1
  kLinkDown,  // a framed key pad did not answer its ping: nothing written, end with 2
  kStayOpen,  // a write failed and was reported: the dialog stays open with the edits
};
// The status byte dialog 169 starts from: the pending one, else what the key pad reports now.
// False when the key pad does not answer: the user has been told and the dialog does not open.
bool ExtendedSettingsWorkingValue(KeyCodeEditing& editing, UiWindow owner, std::uint8_t& working);

// "設定終了": the link check of the framed models, then the writes.
FinishOutcome FinishKeyCodeSettings(KeyCodeEditing& editing, UiWindow owner);
// "設定取消": the edits are dropped.
void CancelKeyCodeSettings(EditedKeyCodes& edited);

}  // namespace qv
