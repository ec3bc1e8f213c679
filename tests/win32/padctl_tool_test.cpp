// qv-padctl as a process: the test build over emulated key pads is run with arguments, its
// standard output and error (UTF-8 when redirected) and exit status checked, its backup files
// read back, and the resident program seen closed for the run and started again.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device_link.h"
#include "keycode/key_code_file.h"
#include "padctl/win32/padctl_console_win32.h"
#include "qv_version.h"

namespace {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.rfind(L'\\'));
}

std::wstring TestFolder() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp) + L"qv-padctl-test";
}

std::string ReadAll(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  return bytes;
}

struct ToolRun {
  long status = -1;
  std::string out, err;
};

// Runs the tool with `arguments`, its standard input a non-console (a script's), its outputs
// redirected to files; with `unwritableOutput` its standard output takes no writes (a full disk,
// a closed pipe).
ToolRun RunTool(const std::wstring& arguments, const wchar_t* keyPads,
                bool unwritableOutput = false) {
  SetEnvironmentVariableW(L"QV_DEMO_KEYPADS", keyPads);
  const std::wstring folder = TestFolder();
  CreateDirectoryW(folder.c_str(), nullptr);
  // Files of their own for each run: under Wine the handles a finished child inherited may
  // still be open for a moment.
  static int runs = 0;
  const std::wstring number =
      std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++runs);
  const std::wstring outPath = folder + L"\\out" + number + L".txt";
  const std::wstring errPath = folder + L"\\err" + number + L".txt";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE out =
      CreateFileW(outPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
  if (unwritableOutput) {
    CloseHandle(out);
    out = CreateFileW(outPath.c_str(), GENERIC_READ, share, &inherit, OPEN_EXISTING, 0, nullptr);
  }
  HANDLE err =
      CreateFileW(errPath.c_str(), GENERIC_WRITE, share, &inherit, CREATE_ALWAYS, 0, nullptr);
  HANDLE in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::wstring commandLine =
      L"\"" + ProgramFolder() + L"\\" + QV_PADCTL_TEST_PROGRAM + L"\" " + arguments;
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  PROCESS_INFORMATION info = {};
  ToolRun run;
  if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &startup, &info)) {
    if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(info.hProcess, &code);
      run.status = static_cast<long>(code);
    } else {
      TerminateProcess(info.hProcess, 99);
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
  SetEnvironmentVariableW(L"QV_DEMO_KEYPADS", nullptr);
  CloseHandle(out);
  CloseHandle(err);
  CloseHandle(in);
  run.out = ReadAll(outPath);
  run.err = ReadAll(errPath);
  DeleteFileW(outPath.c_str());
  DeleteFileW(errPath.c_str());
  return run;
}

bool Has(const std::string& text, const std::wstring& part) {
  return text.find(Utf8(part)) != std::string::npos;
}

constexpr wchar_t kTwoKeyPads[] = L"130d/0100/7/,1224/0100/45678/1234";

TEST(PadctlTool, ListsTheEmulatedKeyPadsAsJson) {
  const ToolRun run = RunTool(L"list --json", kTwoKeyPads);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.out, L"\"productId\":\"0x130D\",\"serial\":7,\"transport\":\"usb\""));
  EXPECT_TRUE(Has(run.out, L"\"serial\":45678"));
  EXPECT_TRUE(Has(run.out, L"\"passwordSet\":true"));
}

TEST(PadctlTool, BacksUpRestoresAndReportsAKeyPadItCouldNotUnlock) {
  const std::wstring folder = TestFolder() + L"\\backup";
  DeleteFileW((folder + L"\\130d_000007.qvk").c_str());
  DeleteFileW((folder + L"\\1224_045678.qvk").c_str());

  // No password file and no console to ask on: the key pad with a password fails, by name.
  ToolRun run = RunTool(L"backup \"" + folder + L"\"", kTwoKeyPads);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.out, L"1224 045678 (スロット 0): 失敗")) << run.out;
  EXPECT_TRUE(Has(run.out, L"パスワードが設定されています。"));
  EXPECT_TRUE(Has(run.err, L"[2/2] 130D 000007: 完了")) << run.err;
  const std::string file = ReadAll(folder + L"\\130d_000007.qvk");
  EXPECT_EQ(
      qv::CheckKeyCodeFile(std::vector<std::uint8_t>(file.begin(), file.end()), qv::kModel0100130D)
          .verdict,
      qv::KeyCodeFileVerdict::kValid);

  WriteAll(TestFolder() + L"\\pw.txt", "45678 1234\r\n");
  run = RunTool(L"backup \"" + folder + L"\" --password-file \"" + TestFolder() + L"\\pw.txt\"",
                kTwoKeyPads);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_FALSE(ReadAll(folder + L"\\1224_045678.qvk").empty());

  run = RunTool(L"restore \"" + folder + L"\\130d_000007.qvk\" --serial 7", kTwoKeyPads);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_TRUE(Has(run.out, L"書き込んだキー: 1-144")) << run.out;

  // Another model's file is refused by the import's rule.
  run = RunTool(L"restore \"" + folder + L"\\130d_000007.qvk\" --serial 45678 --json", kTwoKeyPads);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.out, L"別の製品のキーコードファイルです。")) << run.out;
}

TEST(PadctlTool, AUsageErrorExitsWith2AndShowsTheUsage) {
  const ToolRun run = RunTool(L"restore x.qvk", kTwoKeyPads);
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.out.empty());
  EXPECT_TRUE(Has(run.err, L"使い方:"));
}

TEST(PadctlTool, TheInstanceNameIsTheProgramsString109) {
  wchar_t name[100] = {};
  LoadStringW(GetModuleHandleW(nullptr), 109, name, 100);
  EXPECT_STREQ(name, qv::kTrayInstanceName);
}

HWND TrayWindow(DWORD* processId) {
  HWND window = FindWindowW(qv::kTrayInstanceName, nullptr);
  if (window && processId) GetWindowThreadProcessId(window, processId);
  return window;
}

TEST(PadctlTool, TheResidentProgramIsClosedForTheRunAndBackAfterItEvenWhenTheRunFails) {
  std::wstring commandLine = L"\"" + ProgramFolder() + L"\\" + QV_PROGRAM_NAME + L"\"";
  std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back(0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &info));
  DWORD first = 0;
  for (int i = 0; i < 200 && !TrayWindow(&first); ++i) Sleep(50);
  ASSERT_EQ(first, info.dwProcessId);

  // A key pad that is not attached: the run fails, and the program still comes back.
  const ToolRun run = RunTool(L"show --serial 999 1 --json", kTwoKeyPads);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.out, L"\"trayProgram\":\"restarted\"")) << run.out << run.err;
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_OBJECT_0);  // it was closed
  DWORD again = 0;
  for (int i = 0; i < 200 && !TrayWindow(&again); ++i) Sleep(50);
  EXPECT_NE(again, 0u);
  EXPECT_NE(again, first);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);

  // The started copy is ended at once (closing it takes the program seconds under Wine).
  HANDLE restarted = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, again);
  ASSERT_NE(restarted, nullptr);
  TerminateProcess(restarted, 0);
  EXPECT_EQ(WaitForSingleObject(restarted, 10000), WAIT_OBJECT_0);
  CloseHandle(restarted);
}

// ---------------------------------------------------------------- what a script is told

TEST(PadctlToolOutcome, ARestoreThatMatchedNoKeyPadExitsWith1NamingTheFilesModel) {
  const std::wstring folder = TestFolder() + L"\\backup";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::vector<std::uint8_t> file =
      qv::BuildKeyCodeFile(qv::kModel0100130D, 0, qv::KeyCodeRecords{});
  const std::wstring path = folder + L"\\130d.qvk";
  WriteAll(path, std::string(file.begin(), file.end()));
  const ToolRun run = RunTool(L"restore \"" + path + L"\" --all --json", L"1224/0100/45678/");
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_TRUE(Has(run.out, L"\"ok\":false")) << run.out;
  EXPECT_TRUE(Has(run.out, L"製品ID 130D")) << run.out;
}

TEST(PadctlToolOutcome, AResultThatCannotBeWrittenExitsWith1) {
  const ToolRun run = RunTool(L"list --json", kTwoKeyPads, true);
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run.err, L"出力を書き込めませんでした")) << run.err;
  EXPECT_EQ(RunTool(L"list --json", kTwoKeyPads).status, 0);
}

TEST(PadctlToolOutcome, AnOverLongPasswordFileExitsWith2BeforeAnyKeyPadIsTouched) {
  std::string text(64 * 1024 - 4, '#');
  text += "\nsecret\n";
  WriteAll(TestFolder() + L"\\long.txt", text);
  const ToolRun run = RunTool(
      L"backup \"" + TestFolder() + L"\\b2\" --password-file \"" + TestFolder() + L"\\long.txt\"",
      kTwoKeyPads);
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Has(run.err, L"パスワードファイルが大きすぎます")) << run.err;
  EXPECT_EQ(GetFileAttributesW((TestFolder() + L"\\b2").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(PadctlToolOutcome, TheVersionIsPrintedAndInTheVersionResource) {
  const ToolRun run = RunTool(L"--version", kTwoKeyPads);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string("qv-padctl ") + QV_VERSION_TEXT + "\n");

  const std::wstring program = ProgramFolder() + L"\\" + QV_PADCTL_TEST_PROGRAM;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, block.data()));
  wchar_t* name = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\041104b0\\OriginalFilename",
                             reinterpret_cast<void**>(&name), &length));
  EXPECT_STREQ(name, L"qv-padctl.exe");
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\StringFileInfo\\041104b0\\ProductVersion",
                             reinterpret_cast<void**>(&name), &length));
  EXPECT_STREQ(name, QV_VERSION_WTEXT);
}

TEST(PadctlToolOutcome, ASecondInstanceIsRefusedWhileTheFirstHoldsTheKeyPads) {
  HANDLE held = CreateMutexW(nullptr, TRUE, qv::kToolInstanceMutex);
  ASSERT_NE(held, nullptr);
  const ToolRun refused = RunTool(L"list", kTwoKeyPads);
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Has(refused.out, L"別の qv-padctl がキーボードを操作しています")) << refused.out;
  ReleaseMutex(held);
  CloseHandle(held);
  EXPECT_EQ(RunTool(L"list", kTwoKeyPads).status, 0);
}

}  // namespace
