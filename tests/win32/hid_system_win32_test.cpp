#include "device/win32/hid_system_win32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/bounded_text.h"
#include "common/win32/owned.h"

namespace qv {
namespace {

constexpr std::uint16_t kKeyPadVendorId = 0xEA7C;

struct OpenedCollection {
  std::u16string path;
  HidAttributes attributes;
  HidCaps caps;
};

// Every collection of the system that opens for reading and writing, with what hid.dll reports.
std::vector<OpenedCollection> OpenAll(Win32HidSystem& hid) {
  std::vector<std::u16string> paths;
  EXPECT_TRUE(hid.EnumeratePaths(paths));
  std::vector<OpenedCollection> opened;
  for (const std::u16string& path : paths) {
    HidHandle handle = hid.Open(path, false);
    if (handle == kInvalidHidHandle) continue;
    OpenedCollection collection{path, {}, {}};
    EXPECT_TRUE(hid.GetAttributes(handle, collection.attributes));
    EXPECT_TRUE(hid.GetCaps(handle, collection.caps));
    HidValueCaps valueCaps;
    if (collection.caps.featureReportByteLength == 0) {
      EXPECT_FALSE(hid.GetFirstValueCaps(handle, HidReportKind::kFeature, valueCaps));
    }
    if (collection.caps.outputReportByteLength == 0) {
      EXPECT_FALSE(hid.GetFirstValueCaps(handle, HidReportKind::kOutput, valueCaps));
    }
    hid.Close(handle);
    opened.push_back(collection);
  }
  return opened;
}

TEST(HidSystemWin32, EnumeratesTheSystemCollectionsAndFindsNoKeyPad) {
  Win32HidSystem hid;
  std::vector<std::u16string> paths;
  ASSERT_TRUE(hid.EnumeratePaths(paths));
  ASSERT_FALSE(paths.empty());  // Wine provides a virtual mouse and keyboard
  for (const std::u16string& path : paths) {
    EXPECT_FALSE(path.empty());
    EXPECT_LT(path.size(), kPathChars);
    EXPECT_EQ(path.find(u'\0'), std::u16string::npos);
  }
  // A second enumeration replaces the list instead of appending to it.
  std::vector<std::u16string> again;
  ASSERT_TRUE(hid.EnumeratePaths(again));
  EXPECT_EQ(again, paths);

  const std::vector<OpenedCollection> opened = OpenAll(hid);
  ASSERT_FALSE(opened.empty());
  for (const OpenedCollection& collection : opened) {
    EXPECT_NE(collection.attributes.vendorId, kKeyPadVendorId);
    EXPECT_NE(collection.caps.usagePage, 0);
    EXPECT_GT(collection.caps.inputReportByteLength, 0);
  }
}

TEST(HidSystemWin32, RefusesBadPathsAndHandles) {
  Win32HidSystem hid;
  EXPECT_EQ(hid.Open(u"", false), kInvalidHidHandle);
  EXPECT_EQ(
      hid.Open(u"\\\\?\\hid#no_such_device#0&0&0#{4d1e55b2-f16f-11cf-88cb-001111000030}", false),
      kInvalidHidHandle);
  // A path with an embedded terminator is refused rather than opened as its first part.
  std::vector<std::u16string> paths;
  ASSERT_TRUE(hid.EnumeratePaths(paths));
  ASSERT_FALSE(paths.empty());
  std::u16string withNul = paths[0] + u'\0' + u"x";
  EXPECT_EQ(hid.Open(withNul, false), kInvalidHidHandle);
  // An overlong path is cut to the size of a path buffer; what is left names no device.
  EXPECT_EQ(hid.Open(paths[0] + std::u16string(300, u'x'), false), kInvalidHidHandle);

  hid.Close(kInvalidHidHandle);
  HidAttributes attributes;
  std::array<std::uint8_t, 17> report{};
  std::size_t bytesRead = 99;
  EXPECT_FALSE(hid.GetAttributes(kInvalidHidHandle, attributes));
  EXPECT_EQ(hid.ReadInput(kInvalidHidHandle, report.data(), report.size(), 10, bytesRead),
            HidReadResult::kError);
  EXPECT_EQ(bytesRead, 0u);
}

// With no input on the virtual display the read times out; it is cancelled and finished before
// ReadInput returns, so the buffer stays untouched afterwards.
TEST(HidSystemWin32, ReadWithoutInputTimesOutAndReleasesTheBuffer) {
  Win32HidSystem hid;
  const std::vector<OpenedCollection> opened = OpenAll(hid);
  ASSERT_FALSE(opened.empty());
  const OpenedCollection& collection = opened.front();
  HidHandle handle = hid.Open(collection.path, true);
  ASSERT_NE(handle, kInvalidHidHandle);

  std::vector<std::uint8_t> report(collection.caps.inputReportByteLength, 0xA5);
  std::size_t bytesRead = 99;
  const DWORD start = GetTickCount();
  const HidReadResult result = hid.ReadInput(handle, report.data(), report.size(), 200, bytesRead);
  const DWORD elapsed = GetTickCount() - start;
  hid.Close(handle);

  ASSERT_EQ(result, HidReadResult::kTimeout);
  EXPECT_EQ(bytesRead, 0u);
  EXPECT_GE(elapsed, 150u);
  EXPECT_LT(elapsed, 2000u);
  Sleep(100);
  EXPECT_TRUE(std::all_of(report.begin(), report.end(), [](std::uint8_t b) { return b == 0xA5; }));
}

// An output write that never completes (here: a pipe whose reader reads nothing, so its buffer
// fills up) is cancelled after its time-out and reported as failed; a stalled link cannot hold
// the exchange, and with it the main thread, for ever.
TEST(HidSystemWin32, StalledOutputWriteIsCancelledAfterItsTimeOut) {
  const wchar_t* name = L"\\\\.\\pipe\\qv-stalled-output-write";
  OwnedFile server(CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                    PIPE_TYPE_BYTE | PIPE_WAIT, 1, 64, 64, 0, nullptr));
  ASSERT_TRUE(server);
  Win32HidSystem hid;
  HidHandle handle = hid.Open(reinterpret_cast<const char16_t*>(name), true);
  ASSERT_NE(handle, kInvalidHidHandle);

  std::uint8_t report[17] = {0x03, 0x81, 0x01};
  bool stalled = false;
  DWORD elapsed = 0;
  for (int i = 0; i < 20000 && !stalled; ++i) {
    const DWORD start = GetTickCount();
    stalled = !hid.WriteOutput(handle, report, sizeof report, 200);
    elapsed = GetTickCount() - start;
  }
  ASSERT_TRUE(stalled) << "no write ever waited: the pipe's buffer never filled";
  EXPECT_GE(elapsed, 150u);
  EXPECT_LT(elapsed, 2000u);
  // The cancelled write is finished with: the buffer may change and the handle close safely.
  std::fill(std::begin(report), std::end(report), std::uint8_t{0});
  EXPECT_FALSE(hid.WriteOutput(handle, report, sizeof report, 50));
  hid.Close(handle);
}

}  // namespace
}  // namespace qv
