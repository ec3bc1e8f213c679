#include "padctl/padctl_arguments.h"

#include <algorithm>

namespace qv {

const std::u16string_view kPadctlUsage =
    u"使い方:\n"
    u"  qv-padctl list [--serial N ...] [--json]\n"
    u"  qv-padctl backup DIR [--serial N ...] [--password-file FILE] [--json]\n"
    u"  qv-padctl restore FILE (--serial N ... | --all) [--dry-run] [--password-file FILE] "
    u"[--json]\n"
    u"  qv-padctl show --serial N KEY [--password-file FILE] [--json]\n"
    u"  qv-padctl settings --serial N [--buzzer off|small|large] [--interface usb|ps2]\n"
    u"                     [--password-file FILE] [--json]\n"
    u"  qv-padctl --version\n"
    u"パスワードはファイル（--password-file）から読むか、コンソールで入力します。\n"
    u"終了コード: 0 すべて完了、1 失敗したキーボードあり、2 コマンドラインの誤り\n";

namespace {

bool ParseNumber(std::u16string_view text, std::uint32_t limit, std::uint32_t& value) {
  if (text.empty() || text.size() > 7) return false;
  std::uint32_t result = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    result = result * 10 + static_cast<std::uint32_t>(c - u'0');
  }
  if (result > limit) return false;
  value = result;
  return true;
}

ParsedArguments Refuse(std::u16string error) {
  ParsedArguments parsed;
  parsed.error = std::move(error);
  return parsed;
}

bool CommandOf(std::u16string_view word, PadctlCommand& command) {
  struct Name {
    std::u16string_view word;
    PadctlCommand command;
  };
  static constexpr Name kNames[] = {
      {u"list", PadctlCommand::kList},         {u"backup", PadctlCommand::kBackup},
      {u"restore", PadctlCommand::kRestore},   {u"show", PadctlCommand::kShow},
      {u"settings", PadctlCommand::kSettings}, {u"help", PadctlCommand::kHelp},
  };
  for (const Name& name : kNames) {
    if (name.word == word) {
      command = name.command;
      return true;
    }
  }
  return false;
}

// The options that take a value, written "--name value" or "--name=value".
bool TakesValue(std::u16string_view name) {
  return name == u"--serial" || name == u"--password-file" || name == u"--buzzer" ||
         name == u"--interface";
}

// Checks what each command needs once every word is read.
ParsedArguments Finish(PadctlArguments& a, const std::vector<std::u16string>& positional) {
  const std::size_t wanted = a.command == PadctlCommand::kList || a.command == PadctlCommand::kHelp
                                 ? 0
                                 : (a.command == PadctlCommand::kSettings ? 0 : 1);
  if (positional.size() != wanted) {
    if (positional.size() < wanted) {
      switch (a.command) {
        case PadctlCommand::kBackup:
          return Refuse(u"保存先のフォルダーを指定してください。");
        case PadctlCommand::kRestore:
          return Refuse(u"書き込むキーコードファイルを指定してください。");
        default:
          return Refuse(u"キー番号を指定してください。");
      }
    }
    return Refuse(u"余分な引数があります: " + positional[wanted]);
  }
  if (a.all && a.command != PadctlCommand::kRestore)
    return Refuse(u"--all は restore にだけ指定できます。");
  if (a.dryRun && a.command != PadctlCommand::kRestore)
    return Refuse(u"--dry-run は restore にだけ指定できます。");
  const bool settingsGiven =
      a.buzzer != BuzzerSetting::kUnchanged || a.interfaceMode != InterfaceSetting::kUnchanged;
  if (settingsGiven && a.command != PadctlCommand::kSettings)
    return Refuse(u"--buzzer と --interface は settings にだけ指定できます。");

  switch (a.command) {
    case PadctlCommand::kBackup:
      a.target = positional[0];
      break;
    case PadctlCommand::kRestore:
      a.target = positional[0];
      if (a.all == !a.serials.empty())
        return Refuse(u"restore には --serial N か --all のどちらか一方を指定してください。");
      break;
    case PadctlCommand::kShow: {
      if (a.serials.size() != 1)
        return Refuse(u"show には --serial N をひとつだけ指定してください。");
      std::uint32_t key = 0;
      if (!ParseNumber(positional[0], 144, key) || key == 0)
        return Refuse(u"キー番号は 1 から 144 の数で指定してください: " + positional[0]);
      a.key = static_cast<int>(key);
      break;
    }
    case PadctlCommand::kSettings:
      if (a.serials.empty()) return Refuse(u"settings には --serial N を指定してください。");
      if (!settingsGiven)
        return Refuse(u"settings には --buzzer か --interface を指定してください。");
      break;
    default:
      break;
  }
  ParsedArguments parsed;
  parsed.ok = true;
  parsed.arguments = a;
  return parsed;
}

}  // namespace

ParsedArguments ParsePadctlArguments(std::span<const std::u16string> arguments) {
  PadctlArguments a;
  std::vector<std::u16string> positional;
  bool commandSeen = false;

  // A password on the command line can be read by every user of the machine (the process list
  // shows it): it is refused, whatever else the command line holds, --help and --version too.
  for (std::u16string_view word : arguments)
    if (word == u"--password" || word.starts_with(u"--password="))
      return Refuse(
          u"パスワードはコマンドラインでは指定できません。--password-file "
          u"を使うか、入力を求められたときに入力してください。");

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::u16string_view word = arguments[i];
    if (word == u"--help" || word == u"-h" || word == u"/?") {
      ParsedArguments parsed;
      parsed.ok = true;
      return parsed;  // kHelp
    }
    if (word == u"--version") {
      ParsedArguments parsed;
      parsed.ok = true;
      parsed.arguments.command = PadctlCommand::kVersion;
      return parsed;
    }
    if (word.starts_with(u"--")) {
      std::u16string_view name = word;
      std::u16string value;
      bool hasValue = false;
      const std::size_t equals = word.find(u'=');
      if (equals != std::u16string_view::npos) {
        name = word.substr(0, equals);
        value = word.substr(equals + 1);
        hasValue = true;
      }
      if (TakesValue(name)) {
        if (!hasValue) {
          if (i + 1 >= arguments.size())
            return Refuse(std::u16string(name) + u" には値が必要です。");
          value = arguments[++i];
        }
      } else if (hasValue) {
        return Refuse(std::u16string(name) + u" に値は指定できません。");
      }

      if (name == u"--json") {
        a.json = true;
      } else if (name == u"--all") {
        a.all = true;
      } else if (name == u"--dry-run") {
        a.dryRun = true;
      } else if (name == u"--serial") {
        std::uint32_t serial = 0;
        if (!ParseNumber(value, kMaxSerialNumber, serial))
          return Refuse(u"シリアル番号は 0 から 999999 の数で指定してください: " + value);
        if (std::find(a.serials.begin(), a.serials.end(), serial) == a.serials.end())
          a.serials.push_back(serial);
      } else if (name == u"--password-file") {
        if (value.empty()) return Refuse(u"--password-file にはファイルを指定してください。");
        a.passwordFile = value;
      } else if (name == u"--buzzer") {
        if (value == u"off")
          a.buzzer = BuzzerSetting::kOff;
        else if (value == u"small")
          a.buzzer = BuzzerSetting::kSmall;
        else if (value == u"large")
          a.buzzer = BuzzerSetting::kLarge;
        else
          return Refuse(u"--buzzer には off、small、large のどれかを指定してください: " + value);
      } else if (name == u"--interface") {
        if (value == u"usb")
          a.interfaceMode = InterfaceSetting::kUsb;
        else if (value == u"ps2")
          a.interfaceMode = InterfaceSetting::kPs2;
        else
          return Refuse(u"--interface には usb か ps2 を指定してください: " + value);
      } else {
        return Refuse(u"不明なオプションです: " + std::u16string(word));
      }
      continue;
    }
    if (!commandSeen) {
      if (!CommandOf(word, a.command))
        return Refuse(u"不明なコマンドです: " + std::u16string(word));
      commandSeen = true;
      continue;
    }
    positional.emplace_back(word);
  }
  if (!commandSeen) return Refuse(u"コマンドを指定してください。");
  if (a.command == PadctlCommand::kHelp) {
    ParsedArguments parsed;
    parsed.ok = true;
    return parsed;
  }
  return Finish(a, positional);
}

}  // namespace qv
