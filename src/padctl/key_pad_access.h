// The tool's key pads: finding every attached one in the tray program's slot order, and running
// one piece of work on one of them inside the tray program's own access sequence for a key pad
// command (the Bluetooth LE link check, the status byte, the password, the editing value before
// and the resume value after), with the tool answering where the tray program asks the user.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "access/key_pad_table.h"
#include "device/device_context.h"
#include "padctl/secret_text.h"

namespace qv {

struct PadctlKeyPad {
  int slot = 0;
  std::uint32_t modelIdentity = 0;  // version << 16 | product id, as the tray program finds it
  std::uint32_t serialNumber = 0;
  bool answered = false;  // its identity and status were read
  bool bluetooth = false;
  std::uint8_t status = 0;
  int keyCount = 0;

  std::uint16_t productId() const { return static_cast<std::uint16_t>(modelIdentity & 0xFFFF); }
};

// Opens every attached key pad into the table (at most 16) and reads its identity and status,
// as the tray program's scan does, without asking for any password. One exchange pass, so a
// silent Bluetooth LE key pad costs one time-out.
std::vector<PadctlKeyPad> TakeInventory(KeyPadTable& table, DeviceContext& device);

enum class PasswordSource {
  kGiven,
  kNoWayToAsk,     // no password file, and no console to ask on
  kNotInFile,      // the password file has no line for the key pad
  kNothingEntered  // asked on the console, and the entry was empty
};

// Where the access sequence gets a key pad's password from.
class PasswordSupply {
 public:
  virtual ~PasswordSupply() = default;
  virtual PasswordSource PasswordFor(const PadctlKeyPad& keyPad, SecretText& password) = 0;
};

// The tool's own messages where the access sequence would have asked the user.
inline constexpr std::u16string_view kNoPasswordText =
    u"パスワードが設定されています。--password-file で指定するか、コンソールから実行して入力して"
    u"ください。";
inline constexpr std::u16string_view kNotInPasswordFileText =
    u"パスワードが設定されています。パスワードファイルに、このキーボードのシリアル番号の行か"
    u"シリアル番号なしの行を書いてください。";
inline constexpr std::u16string_view kNothingEnteredText =
    u"パスワードが入力されなかったため、このキーボードは操作しませんでした。";
inline constexpr std::u16string_view kWrongPasswordText =
    u"パスワードエラー: パスワードが正しくありません。認証に失敗しました。";

struct AccessRun {
  bool workRan = false;  // the sequence reached the work
  // What the tray program would have shown, in order, each as "title: text".
  std::vector<std::u16string> messages;
};

// Runs `work` for the key pad inside the access sequence of the key-code settings command. The
// work gets the run to add its own messages. The password is wiped after use.
AccessRun RunWithAccess(KeyPadTable& table, DeviceContext& device, const PadctlKeyPad& keyPad,
                        PasswordSupply& passwords, const std::function<void(AccessRun&)>& work);

// A message of the program as one line of the report.
std::u16string MessageLine(std::u16string_view title, std::u16string_view text);

}  // namespace qv
