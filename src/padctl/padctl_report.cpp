#include "padctl/padctl_report.h"

#include "device/device_commands.h"

namespace qv {
namespace {}  // namespace

std::u16string HexText(std::uint32_t value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text(static_cast<std::size_t>(digits), u'0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4)
    text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

std::u16string DecimalText(std::uint32_t value, int width) {
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(u'0' + value % 10));
    value /= 10;
  } while (value != 0);
  while (static_cast<int>(text.size()) < width) text.insert(text.begin(), u'0');
  return text;
}

namespace {

std::u16string Hex(std::uint32_t value, int digits) {
  return HexText(value, digits);
}
std::u16string Decimal(std::uint32_t value, int width = 0) {
  return DecimalText(value, width);
}

// Columns a character takes on a console: two for the wide (East Asian) ones.
int DisplayWidth(std::u16string_view text) {
  int width = 0;
  for (char16_t c : text) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6);
    width += wide ? 2 : 1;
  }
  return width;
}

void AppendPadded(std::u16string& line, std::u16string_view text, int width) {
  line += text;
  for (int pad = width - DisplayWidth(text); pad > 0; --pad) line += u' ';
}

std::u16string SerialText(const PadctlKeyPad& keyPad) {
  return keyPad.answered ? Decimal(keyPad.serialNumber, 6) : std::u16string(u"------");
}

std::u16string_view PasswordText(const PadctlKeyPad& keyPad) {
  if (!keyPad.answered) return u"不明";
  return (keyPad.status & kStatusPasswordSet) ? u"あり" : u"なし";
}

std::u16string_view OutcomeText(PadOutcome outcome, bool dryRun) {
  switch (outcome) {
    case PadOutcome::kDone:
      return dryRun ? u"確認済み" : u"完了";
    case PadOutcome::kFailed:
      return u"失敗";
    default:
      return u"対象外";
  }
}

std::u16string_view OutcomeName(PadOutcome outcome) {
  switch (outcome) {
    case PadOutcome::kDone:
      return u"done";
    case PadOutcome::kFailed:
      return u"failed";
    default:
      return u"skipped";
  }
}

std::u16string_view CommandName(PadctlCommand command) {
  switch (command) {
    case PadctlCommand::kList:
      return u"list";
    case PadctlCommand::kBackup:
      return u"backup";
    case PadctlCommand::kRestore:
      return u"restore";
    case PadctlCommand::kShow:
      return u"show";
    case PadctlCommand::kSettings:
      return u"settings";
    default:
      return u"help";
  }
}

std::u16string_view TrayProgramName(const PadctlReport& report) {
  if (!report.trayProgramClosed) return u"notRunning";
  switch (report.trayProgram) {
    case TrayRestart::kRestarted:
      return u"restarted";
    case TrayRestart::kLeftToUser:
      return u"leftToUser";
    default:
      return u"failed";
  }
}

std::u16string_view BuzzerName(std::uint8_t status) {
  switch (status & kStatusVolumeMask) {
    case kStatusVolumeNone:
      return u"off";
    case kStatusVolumeSmall:
      return u"small";
    case kStatusVolumeLarge:
      return u"large";
    default:
      return u"unknown";
  }
}

std::u16string_view BuzzerText(std::uint8_t status) {
  switch (status & kStatusVolumeMask) {
    case kStatusVolumeNone:
      return u"無し";
    case kStatusVolumeSmall:
      return u"小";
    case kStatusVolumeLarge:
      return u"大";
    default:
      return u"不明";
  }
}

std::u16string_view InterfaceName(std::uint8_t status) {
  return (status & kStatusInterfacePs2) ? u"ps2" : u"usb";
}

// The key name of a list row without the blanks the key-code list puts around it.
std::u16string_view RowKeyName(const KeyCodeRow& row) {
  std::u16string_view name(row.key);
  while (!name.empty() && name.front() == u' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
  return name;
}

// ---------------------------------------------------------------- JSON

void JsonString(std::u16string& out, std::u16string_view text) {
  out += u'"';
  for (char16_t c : text) {
    if (c == u'"' || c == u'\\') {
      out += u'\\';
      out += c;
    } else if (c < 0x20) {
      out += u"\\u00";
      out += Hex(c, 2);
    } else {
      out += c;
    }
  }
  out += u'"';
}

void JsonKey(std::u16string& out, std::u16string_view key) {
  out += u',';
  JsonString(out, key);
  out += u':';
}

void JsonNumbers(std::u16string& out, std::u16string_view key, const std::vector<int>& values) {
  JsonKey(out, key);
  out += u'[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += u',';
    out += Decimal(static_cast<std::uint32_t>(values[i]));
  }
  out += u']';
}

void JsonStrings(std::u16string& out, std::u16string_view key,
                 const std::vector<std::u16string>& values) {
  JsonKey(out, key);
  out += u'[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += u',';
    JsonString(out, values[i]);
  }
  out += u']';
}

void JsonBool(std::u16string& out, std::u16string_view key, bool value) {
  JsonKey(out, key);
  out += value ? u"true" : u"false";
}

void JsonKeyPad(std::u16string& out, const PadctlKeyPad& keyPad) {
  out += u"\"slot\":";
  out += Decimal(static_cast<std::uint32_t>(keyPad.slot));
  JsonKey(out, u"modelIdentity");
  JsonString(out, u"0x" + Hex(keyPad.modelIdentity, 8));
  JsonKey(out, u"productId");
  JsonString(out, u"0x" + Hex(keyPad.productId(), 4));
  JsonKey(out, u"serial");
  out += keyPad.answered ? Decimal(keyPad.serialNumber) : u"null";
  JsonKey(out, u"transport");
  JsonString(out, keyPad.bluetooth ? u"bluetooth-le" : u"usb");
  JsonBool(out, u"answered", keyPad.answered);
  JsonKey(out, u"passwordSet");
  out += keyPad.answered ? ((keyPad.status & kStatusPasswordSet) ? u"true" : u"false") : u"null";
  JsonKey(out, u"keys");
  out += Decimal(static_cast<std::uint32_t>(keyPad.keyCount));
}

void JsonResult(std::u16string& out, const PadctlReport& report, const PadResult& result) {
  out += u'{';
  JsonKeyPad(out, result.keyPad);
  JsonKey(out, u"outcome");
  JsonString(out, OutcomeName(result.outcome));
  JsonStrings(out, u"messages", result.messages);
  switch (report.command) {
    case PadctlCommand::kBackup:
      JsonKey(out, u"file");
      if (result.file.empty())
        out += u"null";
      else
        JsonString(out, result.file);
      break;
    case PadctlCommand::kRestore:
      if (report.dryRun) {
        JsonNumbers(out, u"keysToChange", result.keysToChange);
        JsonBool(out, u"settingsToChange", result.settingsToChange);
      } else {
        JsonNumbers(out, u"keysWritten", result.keysWritten);
        JsonNumbers(out, u"keysFailed", result.keysFailed);
        JsonNumbers(out, u"keysMismatched", result.keysMismatched);
        JsonBool(out, u"settingsWritten", result.settingsWritten);
      }
      break;
    case PadctlCommand::kShow: {
      JsonKey(out, u"key");
      out += Decimal(static_cast<std::uint32_t>(result.key));
      JsonKey(out, u"strokes");
      out += u'[';
      for (std::size_t i = 0; i < result.rows.size(); ++i) {
        if (i) out += u',';
        out += u"{\"name\":";
        JsonString(out, RowKeyName(result.rows[i]));
        JsonKey(out, u"state");
        JsonString(out, result.rows[i].state);
        out += u'}';
      }
      out += u']';
      break;
    }
    default:
      break;
  }
  if (result.statusKnown &&
      (report.command == PadctlCommand::kSettings || report.command == PadctlCommand::kRestore)) {
    JsonKey(out, u"buzzer");
    JsonString(out, BuzzerName(result.status));
    JsonKey(out, u"interface");
    JsonString(out, InterfaceName(result.status));
  }
  out += u'}';
}

// ---------------------------------------------------------------- text

std::u16string ListText(const PadctlReport& report) {
  static constexpr int kWidths[] = {10, 12, 8, 14, 14, 12};
  std::u16string out;
  std::u16string header;
  const std::u16string_view titles[] = {u"スロット",     u"モデル", u"製品ID",
                                        u"シリアル番号", u"接続",   u"パスワード"};
  for (int i = 0; i < 6; ++i) AppendPadded(header, titles[i], kWidths[i]);
  header += u"キー数\n";
  out += header;
  for (const PadResult& result : report.results) {
    const PadctlKeyPad& k = result.keyPad;
    std::u16string line;
    AppendPadded(line, Decimal(static_cast<std::uint32_t>(k.slot)), kWidths[0]);
    AppendPadded(line, u"0x" + Hex(k.modelIdentity, 8), kWidths[1]);
    AppendPadded(line, Hex(k.productId(), 4), kWidths[2]);
    AppendPadded(line, SerialText(k), kWidths[3]);
    AppendPadded(line, TransportName(k), kWidths[4]);
    AppendPadded(line, PasswordText(k), kWidths[5]);
    line += Decimal(static_cast<std::uint32_t>(k.keyCount));
    for (const std::u16string& message : result.messages) line += u"  " + message;
    out += line + u"\n";
  }
  // With an error (a serial number that names no key pad, the tray program in the way) the error
  // says why the table is empty.
  if (report.results.empty() && report.errors.empty()) out += u"キーボードが接続されていません。\n";
  return out;
}

void KeyLine(std::u16string& out, std::u16string_view label, const std::vector<int>& keys) {
  if (keys.empty()) return;
  out += u"  ";
  out += label;
  out += u": ";
  out += KeyRanges(keys);
  out += u'\n';
}

void ResultText(std::u16string& out, const PadctlReport& report, const PadResult& result) {
  const PadctlKeyPad& k = result.keyPad;
  out += Hex(k.productId(), 4) + u" " + SerialText(k) + u" (スロット " +
         Decimal(static_cast<std::uint32_t>(k.slot)) + u"): ";
  out += OutcomeText(result.outcome, report.dryRun);
  out += u'\n';
  switch (report.command) {
    case PadctlCommand::kBackup:
      if (!result.file.empty()) out += u"  ファイル: " + result.file + u"\n";
      break;
    case PadctlCommand::kRestore:
      if (result.outcome == PadOutcome::kSkipped) break;
      if (report.dryRun) {
        if (result.outcome == PadOutcome::kDone && result.keysToChange.empty())
          out += u"  変更されるキーはありません\n";
        KeyLine(out, u"変更されるキー", result.keysToChange);
        if (result.settingsToChange) out += u"  拡張設定が変更されます\n";
      } else {
        KeyLine(out, u"書き込んだキー", result.keysWritten);
        KeyLine(out, u"書き込みを確認できなかったキー", result.keysFailed);
        KeyLine(out, u"読み戻しが一致しないキー", result.keysMismatched);
        if (result.settingsWritten) out += u"  拡張設定を書き込みました\n";
      }
      break;
    case PadctlCommand::kShow:
      if (result.outcome != PadOutcome::kDone) break;
      out += u"  キー確認 #" + Decimal(static_cast<std::uint32_t>(result.key)) + u"\n";
      if (result.rows.empty()) out += u"  （キーコードなし）\n";
      for (const KeyCodeRow& row : result.rows) {
        std::u16string line = u"    ";
        AppendPadded(line, RowKeyName(row), 20);
        out += line + row.state + u"\n";
      }
      break;
    default:
      break;
  }
  if (result.statusKnown && report.command == PadctlCommand::kSettings) {
    out += u"  ブザー音量: ";
    out += BuzzerText(result.status);
    out += u"  インターフェース: ";
    out += (result.status & kStatusInterfacePs2) ? u"PS/2" : u"USB";
    out += u'\n';
  }
  for (const std::u16string& message : result.messages) out += u"  理由: " + message + u"\n";
}

}  // namespace

std::u16string_view TransportName(const PadctlKeyPad& keyPad) {
  return keyPad.bluetooth ? u"Bluetooth LE" : u"USB";
}

std::u16string TrayProgramNotice(const PadctlReport& report) {
  if (!report.trayProgramClosed) return {};
  std::u16string start = u"スタートメニューの「ルミナキーボード」から起動してください";
  if (!report.trayProgramPath.empty()) start += u"（" + report.trayProgramPath + u"）";
  start += u"。";
  switch (report.trayProgram) {
    case TrayRestart::kLeftToUser:
      return u"キーボード設定プログラムは、このツールの権限（管理者または別のユーザー）で動き続け"
             u"ないよう、起動し直していません。デスクトップのユーザーとして" +
             start;
    case TrayRestart::kFailed:
      return u"キーボード設定プログラムを起動し直せませんでした。" + start;
    default:
      return {};
  }
}

int ExitStatusOf(const PadctlReport& report) {
  if (!report.errors.empty()) return 1;
  for (const PadResult& result : report.results)
    if (result.outcome == PadOutcome::kFailed) return 1;
  return 0;
}

std::u16string KeyRanges(const std::vector<int>& keys) {
  std::u16string text;
  for (std::size_t i = 0; i < keys.size();) {
    std::size_t j = i;
    while (j + 1 < keys.size() && keys[j + 1] == keys[j] + 1) ++j;
    if (!text.empty()) text += u", ";
    text += Decimal(static_cast<std::uint32_t>(keys[i]));
    if (j > i) text += u"-" + Decimal(static_cast<std::uint32_t>(keys[j]));
    i = j + 1;
  }
  return text;
}

std::u16string ReportText(const PadctlReport& report) {
  std::u16string out;
  for (const std::u16string& error : report.errors) out += u"エラー: " + error + u"\n";
  if (report.command == PadctlCommand::kList) return out + ListText(report);
  int done = 0, failed = 0, skipped = 0;
  for (const PadResult& result : report.results) {
    ResultText(out, report, result);
    if (result.outcome == PadOutcome::kDone) ++done;
    if (result.outcome == PadOutcome::kFailed) ++failed;
    if (result.outcome == PadOutcome::kSkipped) ++skipped;
  }
  out += u"完了 " + Decimal(static_cast<std::uint32_t>(done)) + u" 台、失敗 " +
         Decimal(static_cast<std::uint32_t>(failed)) + u" 台";
  if (skipped) out += u"、対象外 " + Decimal(static_cast<std::uint32_t>(skipped)) + u" 台";
  out += u"\n";
  return out;
}

std::u16string ReportJson(const PadctlReport& report) {
  std::u16string out = u"{\"command\":";
  JsonString(out, CommandName(report.command));
  if (report.command == PadctlCommand::kRestore) JsonBool(out, u"dryRun", report.dryRun);
  JsonBool(out, u"ok", ExitStatusOf(report) == 0);
  JsonStrings(out, u"errors", report.errors);
  JsonKey(out, u"trayProgram");
  JsonString(out, TrayProgramName(report));
  JsonKey(out, u"keyPads");
  out += u'[';
  for (std::size_t i = 0; i < report.results.size(); ++i) {
    if (i) out += u',';
    JsonResult(out, report, report.results[i]);
  }
  out += u"]}\n";
  return out;
}

}  // namespace qv
