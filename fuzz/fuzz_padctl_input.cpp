// qv-padctl's outside input from the fuzzer's bytes: the password file and the command line.
// A password file of plain ASCII is checked against a model written from its format (lines, blank-
// separated fields, "#" comments, a lone password for every key pad or a serial number of up to
// six digits before one); any other file must only be handled safely. A command line (words
// separated by zero bytes) is checked for what a parsed one must hold: a password option is never
// accepted, restore names its key pads one way, show names one key of 1 to 144, serial numbers
// are at most six digits and given once each.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "padctl/padctl_arguments.h"
#include "padctl/password_file.h"

using namespace qv;
using namespace qv::fuzz;

namespace {

struct Model {
  bool valid = true;
  std::optional<std::string> shared;
  std::map<std::uint32_t, std::string> own;
};

Model ModelOf(const std::string& text) {
  Model model;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> fields;
    std::string field;
    for (std::size_t i = start; i < end; ++i) {
      const char c = text[i];
      if (c == ' ' || c == '\t' || c == '\r') {
        if (!field.empty()) fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    if (!field.empty()) fields.push_back(field);
    start = end + 1;
    if (fields.empty() || fields[0][0] == '#') continue;
    if (fields.size() > 2) return Model{false, {}, {}};
    std::string password = fields.back();
    if (password.size() > SecretText::kMaxChars) return Model{false, {}, {}};
    if (fields.size() == 1) {
      if (!model.shared) model.shared = password;
      continue;
    }
    const std::string& serial = fields[0];
    if (serial.size() > 6 ||
        !std::all_of(serial.begin(), serial.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return Model{false, {}, {}};
    model.own.emplace(static_cast<std::uint32_t>(std::stoul(serial)), password);
  }
  return model;
}

void CheckPasswordFile(const std::uint8_t* data, std::size_t size) {
  PasswordFile file;
  const bool parsed = file.Parse(std::span<const std::uint8_t>(data, size));
  SecretText password;
  const bool ascii = std::all_of(data, data + size, [](std::uint8_t b) { return b < 0x80; });
  if (!ascii) {
    for (std::uint32_t serial : {0u, 1u, 123456u, 999999u}) file.PasswordFor(serial, password);
    return;
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Model model = ModelOf(text);
  Check(parsed == model.valid, "password file accepted or refused unlike the model");
  if (!parsed) {
    Check(!file.PasswordFor(0, password), "a refused file still gives a password");
    return;
  }
  std::vector<std::uint32_t> serials = {0, 1, 123456, 999999};
  for (const auto& [serial, text] : model.own) serials.push_back(serial);
  for (std::uint32_t serial : serials) {
    const auto own = model.own.find(serial);
    const std::optional<std::string> expected =
        own != model.own.end() ? std::optional<std::string>(own->second) : model.shared;
    const bool given = file.PasswordFor(serial, password);
    Check(given == expected.has_value(), "a password given unlike the model");
    if (!given) continue;
    const std::u16string wanted(expected->begin(), expected->end());
    Check(password.view() == wanted, "another password than the model's");
  }
}

void CheckArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> words(1);
  for (std::size_t i = 0; i < size && words.size() < 16; ++i) {
    if (data[i] == 0)
      words.emplace_back();
    else
      words.back() += static_cast<char16_t>(data[i]);
  }
  const ParsedArguments parsed = ParsePadctlArguments(words);
  const bool passwordGiven = std::any_of(words.begin(), words.end(), [](const std::u16string& w) {
    return w == u"--password" || w.rfind(u"--password=", 0) == 0;
  });
  if (passwordGiven) Check(!parsed.ok, "a password on the command line was accepted");
  if (!parsed.ok) {
    Check(!parsed.error.empty(), "a refusal without a reason");
    return;
  }
  const PadctlArguments& a = parsed.arguments;
  if (a.command == PadctlCommand::kRestore)
    Check(a.all != !a.serials.empty(), "restore without exactly one way to name key pads");
  if (a.command == PadctlCommand::kShow)
    Check(a.key >= 1 && a.key <= 144 && a.serials.size() == 1, "show without one key pad and key");
  for (std::size_t i = 0; i < a.serials.size(); ++i) {
    Check(a.serials[i] <= kMaxSerialNumber, "a serial number beyond six digits");
    for (std::size_t j = i + 1; j < a.serials.size(); ++j)
      Check(a.serials[i] != a.serials[j], "a serial number kept twice");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the input.
  if (data[0] & 1)
    CheckPasswordFile(data + 1, size - 1);
  else
    CheckArguments(data + 1, size - 1);
  return 0;
}
