// The soft keyboard's thread and window against the real window manager, registry and input.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/win32/registry_settings.h"
#include "common/win32/owned.h"
#include "device/device_link.h"
#include "resource.h"
#include "shell_fixture.h"
#include "softkbd/win32/soft_keyboard_host_win32.h"
#include "softkey_assets/win32/soft_key_faces_assets.h"
#include "softkey_assets/win32/soft_key_images_win32.h"

namespace qv {
namespace {

using testing::PumpUntil;

constexpr std::uint32_t kSerial = 424242;
const wchar_t* const kGeometryRoot = L"Software\\Morvalen\\qv-padconf\\SoftKeyboardWindow_100";

std::wstring GeometryKey(std::uint32_t model) {
  wchar_t key[128];
  swprintf(key, 128, L"%ls\\%08x&%08x", kGeometryRoot, model, kSerial);
  return key;
}

bool QueryDword(std::uint32_t model, const wchar_t* name, DWORD& value) {
  DWORD size = sizeof value;
  return RegGetValueW(HKEY_CURRENT_USER, GeometryKey(model).c_str(), name, RRF_RT_REG_DWORD,
                      nullptr, &value, &size) == ERROR_SUCCESS;
}

void StoreGeometry(std::uint32_t model,
                   std::initializer_list<std::pair<const wchar_t*, DWORD>> values) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, GeometryKey(model).c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (const auto& [name, value] : values) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  RegCloseKey(key);
}

RECT WindowRectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// The window's top-left width x height pixels as painted (0x00RRGGBB), in one copy; empty when
// they cannot be read.
std::vector<std::uint32_t> PaintedPixels(HWND window, int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const OwnedBitmap copy(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const OwnedMemoryDc memory(CreateCompatibleDC(nullptr));
  HDC dc = GetDC(window);
  if (!copy || !memory || !dc || width <= 0 || height <= 0) {
    if (dc) ReleaseDC(window, dc);
    return {};
  }
  {
    const SelectedObject selected(memory.get(), copy.get());
    BitBlt(memory.get(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
  }
  ReleaseDC(window, dc);
  GdiFlush();
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> painted(pixels, pixels + width * height);
  for (std::uint32_t& p : painted) p &= 0xFFFFFF;
  return painted;
}

// How many pixels of the window's 48 x 48 top-left corner have this colour, as painted.
int PixelsOfColour(HWND window, COLORREF colour) {
  const std::vector<std::uint32_t> pixels = PaintedPixels(window, 48, 48);
  if (pixels.empty()) return -1;
  const std::uint32_t wanted =
      (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
  return static_cast<int>(std::count(pixels.begin(), pixels.end(), wanted));
}

// The width of a button's caption as painted: from its first to its last column with a dark
// pixel, inside the button's raised edge (its outer three pixels). -1 when it cannot be read.
int PaintedTextWidth(HWND button) {
  RECT client{};
  GetClientRect(button, &client);
  const int width = client.right;
  const std::vector<std::uint32_t> pixels = PaintedPixels(button, width, client.bottom);
  if (pixels.empty()) return -1;
  constexpr int kEdge = 3;
  int first = -1;
  int last = -1;
  for (int x = kEdge; x < width - kEdge; ++x) {
    for (int y = kEdge; y < client.bottom - kEdge; ++y) {
      const std::uint32_t p = pixels[y * width + x];
      if ((((p >> 16) & 0xFF) * 3 + ((p >> 8) & 0xFF) * 6 + (p & 0xFF)) / 10 < 100) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return first < 0 ? 0 : last - first + 1;
}

// The pixels of a bitmap of the program's resources, as PaintedPixels gives a window's.
std::vector<std::uint32_t> ResourcePixels(UINT id, int width, int height) {
  const OwnedBitmap bitmap(static_cast<HBITMAP>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!bitmap) return {};
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap.get(), 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != height) return {};
  for (std::uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

// The header icons of a keyboard (its 48 x 48 pictures), in client coordinates.
std::vector<RECT> HeaderIconRects(HWND keyboard) {
  std::vector<RECT> icons;
  for (HWND child = GetWindow(keyboard, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[16] = {};
    GetClassNameW(child, className, 16);
    RECT rect = WindowRectOf(child);
    MapWindowPoints(nullptr, keyboard, reinterpret_cast<POINT*>(&rect), 2);
    if (_wcsicmp(className, L"static") == 0 && rect.right - rect.left == 48 &&
        rect.bottom - rect.top == 48) {
      icons.push_back(rect);
    }
  }
  return icons;
}

RECT WorkArea() {
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

class SoftKeyboardWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kGeometryRoot);
    table.keyPadCount = 2;
    for (int slot = 0; slot < 2; ++slot) {
      table.slots[slot].modelIdentity = slot == 0 ? kModel01001224 : kModelB5B50777;
      table.slots[slot].serialNumber = kSerial;
      table.slots[slot].accessState = AccessState::Open;
    }
    // Key 1 of slot 0 types "a", key 2 repeats "s" while held.
    cache.slots[0][0].bytes = {3, 31, 31 | 0x80};
    cache.slots[0][1].bytes = {4, kRepeat1, 32, 32 | 0x80};
    SoftKeyboardServices services;
    services.table = &table;
    services.touchEnabled = &touchEnabled;
    services.nonJapaneseLayout = &nonJapaneseLayout;
    services.keyCodes = &cache;
    services.settings = &settings;
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    monitors = {{screen.left, screen.top, screen.right, screen.bottom}};
    services.monitors = [this] { return monitors; };
    services.faces = faces;
    host.Bind(&table, &touchEnabled);
    host.Attach(std::move(services));
  }
  void TearDown() override {
    host.Clear();
    RegDeleteTreeW(HKEY_CURRENT_USER, kGeometryRoot);
  }

  HWND Button(int slot, int j) { return GetDlgItem(host.SoftKeyboardWindow(slot), 32968 + j); }
  SIZE ButtonSize(int slot, int j) {
    RECT rect = WindowRectOf(Button(slot, j));
    return {rect.right - rect.left, rect.bottom - rect.top};
  }

  KeyPadTable table;
  DeviceKeyCodeCache cache;
  std::atomic<std::uint32_t> touchEnabled{1};
  std::atomic<bool> nonJapaneseLayout{false};
  RegistrySettings settings;
  Win32SoftKeyboardHost host;
  SoftKeyFaces* faces = nullptr;     // none: no images or captions
  std::vector<ScreenRect> monitors;  // the monitors attached as the keyboards see them
};

// Slot 0 with an image on key 1, a caption on key 2 and an icon on key 4, from the asset tables.
class SoftKeyboardFacesTest : public SoftKeyboardWindowTest {
 protected:
  void SetUp() override {
    ReplaceAssetImage(assets.slots[0], KeyTarget(0),
                      std::make_unique<Win32BitmapImage>(OwnedBitmap(
                          CreateBitmap(kAssetImageSide, kAssetImageSide, 1, 32, nullptr))),
                      false);
    SetAssetCaption(assets.slots[0], KeyTarget(1), u"テスト");
    ReplaceAssetImage(
        assets.slots[0], KeyTarget(3),
        std::make_unique<Win32IconImage>(OwnedIcon(CopyIcon(LoadIconW(nullptr, IDI_APPLICATION)))),
        true);
    assets.slots[0].softKeyAssetsLoaded = 1;
    faces = &assetFaces;
    SoftKeyboardWindowTest::SetUp();
  }
  SoftKeyAssetTables assets;
  AssetSoftKeyFaces assetFaces{assets};
};

TEST_F(SoftKeyboardWindowTest, FirstStartPlacesANonActivatingKeyboardAtTheCorner) {
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  HWND window = host.SoftKeyboardWindow(0);
  ASSERT_TRUE(window);
  EXPECT_NE(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId());
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_TRUE(host.KeyboardShown(0));
  const LONG_PTR exStyle = GetWindowLongPtrW(window, GWL_EXSTYLE);
  EXPECT_EQ(exStyle & (WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST),
            WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
  EXPECT_EQ(SendMessageW(window, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(window),
                         MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
            MA_NOACTIVATE);
  wchar_t className[128] = {};
  GetClassNameW(window, className, 128);
  EXPECT_STREQ(className, L"QV_PADCONF_SOFT_LUMKEYS_01001224424242");
  EXPECT_EQ(testing::WindowText(window), L"ルミナソフトキーボード (01001224)");

  // 50-pixel buttons, the last column and row one pixel larger, the window just around them in
  // the bottom-right corner of the work area.
  EXPECT_EQ(ButtonSize(0, 0).cx, 50);
  EXPECT_EQ(ButtonSize(0, 0).cy, 50);
  EXPECT_EQ(ButtonSize(0, 5).cx, 51);
  EXPECT_EQ(ButtonSize(0, 29).cy, 51);
  EXPECT_EQ(testing::WindowText(Button(0, 29)), L"30");
  const RECT rect = WindowRectOf(window);
  const RECT work = WorkArea();
  EXPECT_EQ(rect.right, work.right);
  EXPECT_EQ(rect.bottom, work.bottom);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_GE(client.right, 301);

  // The key was created with the eight values at zero: nothing written while placing.
  DWORD value = 1;
  EXPECT_TRUE(QueryDword(kModel01001224, L"ymag", value));
  EXPECT_EQ(value, 0u);
  HWND infoIcon = FindWindowW(L"QV_PADCONF_LUMICON_01001224424242", nullptr);
  ASSERT_TRUE(infoIcon);
  EXPECT_FALSE(IsWindowVisible(infoIcon));

  // A double click on the header neither maximizes the keyboard nor stores a size.
  const POINT header{rect.left + 150, rect.top + 20};
  SendMessageW(window, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(header.x, header.y));
  SendMessageW(window, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_FALSE(IsZoomed(window));
  const RECT after = WindowRectOf(window);
  EXPECT_TRUE(EqualRect(&after, &rect));
  EXPECT_TRUE(QueryDword(kModel01001224, L"ymag", value));
  EXPECT_EQ(value, 0u);
  // Maximized by the system, as a drag to the top of the screen does, or by another program: the
  // state is refused, the keyboard stays where it is, and no other place or size is stored.
  ShowWindow(window, SW_MAXIMIZE);
  PumpUntil([] { return false; }, 100);
  EXPECT_FALSE(IsZoomed(window));
  const RECT notMaximized = WindowRectOf(window);
  EXPECT_TRUE(EqualRect(&notMaximized, &rect));
  DWORD stored[4] = {};
  const wchar_t* const names[4] = {L"left", L"top", L"right", L"bottom"};
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(QueryDword(kModel01001224, names[i], stored[i]));
  const RECT storedRect{static_cast<LONG>(stored[0]), static_cast<LONG>(stored[1]),
                        static_cast<LONG>(stored[2]), static_cast<LONG>(stored[3])};
  EXPECT_TRUE(IsRectEmpty(&storedRect) || EqualRect(&storedRect, &rect))
      << storedRect.left << "," << storedRect.top << " " << storedRect.right << ","
      << storedRect.bottom;
  EXPECT_TRUE(QueryDword(kModel01001224, L"ymag", value));
  EXPECT_TRUE(value == 0 || value == 5u * (client.bottom - 51)) << value;

  // Alt+F4 reaching the keyboard's thread neither opens its system menu nor closes it.
  PostMessageW(window, WM_SYSKEYDOWN, VK_F4, 0x20000001);
  PostMessageW(window, WM_SYSKEYUP, VK_F4, 0xE0000001);
  PumpUntil([] { return false; }, 200);
  EXPECT_TRUE(IsWindow(window) && IsWindowVisible(window));

  // Never made smaller than 300 x 300 pixels.
  SetWindowPos(window, nullptr, 0, 0, 100, 100, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  PumpUntil([] { return false; }, 100);
  const RECT smallest = WindowRectOf(window);
  EXPECT_GE(smallest.right - smallest.left, 300);
  EXPECT_GE(smallest.bottom - smallest.top, 300);

  host.CloseSoftKeyboardThread(0);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_FALSE(IsWindow(infoIcon));
  EXPECT_FALSE(host.SoftKeyboardWindowExists(0));
  EXPECT_FALSE(host.KeyboardShown(0));  // as the closed keyboard said last
}

TEST_F(SoftKeyboardWindowTest, EachKeyPadKeepsItsOwnGridAndStoredPlace) {
  StoreGeometry(kModelB5B50777, {{L"left", 100}, {L"top", 120}, {L"right", 500}, {L"bottom", 520}});
  StoreGeometry(kModel01001224, {{L"left", 100}, {L"top", 100}, {L"right", 399}, {L"bottom", 500}});
  table.slots[0].accessState = AccessState::Locked;
  host.StartSoftKeyboardThread(1, SoftKeyLayout::kAlternative);
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  ASSERT_TRUE(host.SoftKeyboardWindow(0));
  ASSERT_TRUE(host.SoftKeyboardWindow(1));
  EXPECT_EQ(ButtonSize(1, 0).cx, 60);  // started first, still on its own table
  EXPECT_EQ(ButtonSize(0, 0).cx, 50);
  EXPECT_FALSE(IsWindowVisible(host.SoftKeyboardWindow(0)));  // a locked key pad: hidden

  const RECT stored = WindowRectOf(host.SoftKeyboardWindow(1));
  EXPECT_EQ(stored.left, 100);
  EXPECT_EQ(stored.top, 120);
  // Its monitor unplugged before the next start: the default place, by the monitors of now.
  host.CloseSoftKeyboardThread(1);
  monitors = {{-2000, -2000, -1000, -1000}};
  host.StartSoftKeyboardThread(1, SoftKeyLayout::kAlternative);
  ASSERT_TRUE(host.SoftKeyboardWindow(1));
  EXPECT_EQ(WindowRectOf(host.SoftKeyboardWindow(1)).right, WorkArea().right);
  // 299 pixels wide: forgotten, and the window at the default place.
  DWORD left = 1;
  EXPECT_TRUE(QueryDword(kModel01001224, L"left", left));
  EXPECT_EQ(left, 0u);
  EXPECT_EQ(WindowRectOf(host.SoftKeyboardWindow(0)).right, WorkArea().right);

  // A resize doubles the width of the buttons and is stored with the scale.
  HWND window = host.SoftKeyboardWindow(0);
  const RECT before = WindowRectOf(window);
  RECT client{};
  GetClientRect(window, &client);
  const int frame = (before.right - before.left) - client.right;
  SetWindowPos(window, nullptr, 0, 0, 2 * client.right + frame, before.bottom - before.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  EXPECT_TRUE(PumpUntil([&] { return ButtonSize(0, 0).cx == 100; })) << ButtonSize(0, 0).cx;
  // The header icons moved along to the new top-right corner.
  RECT wider{};
  GetClientRect(window, &wider);
  const std::vector<RECT> icons = HeaderIconRects(window);
  ASSERT_EQ(icons.size(), 3u);
  for (const RECT& icon : icons) {
    EXPECT_GE(icon.left, wider.right - 150) << icon.left << " of " << wider.right;
    EXPECT_LE(icon.right, wider.right);
  }
  DWORD xmag = 0;
  EXPECT_TRUE(QueryDword(kModel01001224, L"xmag", xmag));
  EXPECT_EQ(xmag, 10u * static_cast<DWORD>(client.right));

  // A move alone stores the window's new place.
  SetWindowPos(window, nullptr, 40, 60, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
  DWORD top = 0;
  EXPECT_TRUE(PumpUntil([&] { return QueryDword(kModel01001224, L"left", left) && left == 40; }))
      << left;
  EXPECT_TRUE(QueryDword(kModel01001224, L"top", top));
  EXPECT_EQ(top, 60u);

  // Its key pad opened and the keyboard hidden to its info icon: with two key pads connected
  // the icon carries the serial number on its light band, with one it shows the picture alone.
  constexpr COLORREF kSerialBand = RGB(224, 224, 255);
  table.slots[0].accessState = AccessState::Open;
  HWND infoIcon = FindWindowW(L"QV_PADCONF_LUMICON_01001224424242", nullptr);
  ASSERT_TRUE(infoIcon);
  host.SetSoftKeyboardVisible(0, false, true);
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(infoIcon) != FALSE; }));
  EXPECT_TRUE(PumpUntil([&] { return PixelsOfColour(infoIcon, kSerialBand) > 20; }))
      << PixelsOfColour(infoIcon, kSerialBand);
  table.keyPadCount = 1;
  RedrawWindow(infoIcon, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
  EXPECT_TRUE(PumpUntil([&] { return PixelsOfColour(infoIcon, kSerialBand) == 0; }))
      << PixelsOfColour(infoIcon, kSerialBand);
  // The picture is the header's hide icon.
  const std::vector<std::uint32_t> hidePicture = ResourcePixels(IDB_SOFTKBD_HIDE, 48, 48);
  ASSERT_FALSE(hidePicture.empty());
  const std::vector<std::uint32_t> painted = PaintedPixels(infoIcon, 48, 48);
  ASSERT_EQ(painted.size(), hidePicture.size());
  std::size_t different = 0;
  for (std::size_t i = 0; i < painted.size(); ++i) different += painted[i] != hidePicture[i];
  EXPECT_EQ(different, 0u);
}

TEST_F(SoftKeyboardWindowTest, ClickingAKeyTypesIntoTheFocusedWindow) {
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  ASSERT_TRUE(host.SoftKeyboardWindow(0));
  testing::TypingTarget typing;
  HWND target = typing.window;
  HWND edit = typing.edit;
  ASSERT_TRUE(typing.Focus());

  auto mouse = [](HWND button, DWORD flags) {
    const RECT rect = WindowRectOf(button);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = (rect.left + rect.right) / 2 * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = (rect.top + rect.bottom) / 2 * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return SendInput(1, &input, sizeof input) == 1;
  };
  // A real mouse click on key 1.
  ASSERT_TRUE(mouse(Button(0, 0), 0));
  ASSERT_TRUE(mouse(Button(0, 0), MOUSEEVENTF_LEFTDOWN));
  ASSERT_TRUE(mouse(Button(0, 0), MOUSEEVENTF_LEFTUP));
  EXPECT_TRUE(PumpUntil([&] { return testing::WindowText(edit) == L"a"; }))
      << "edit holds: " << testing::WindowText(edit).size() << " characters";
  EXPECT_EQ(GetForegroundWindow(), target);

  // Holding key 2 repeats it; letting go stops the typing.
  ASSERT_TRUE(mouse(Button(0, 1), 0));
  ASSERT_TRUE(mouse(Button(0, 1), MOUSEEVENTF_LEFTDOWN));
  EXPECT_TRUE(PumpUntil([&] { return testing::WindowText(edit).size() >= 4; }));
  ASSERT_TRUE(mouse(Button(0, 1), MOUSEEVENTF_LEFTUP));
  PumpUntil([] { return false; }, 300);
  const std::wstring typed = testing::WindowText(edit);
  EXPECT_EQ(typed.substr(0, 2), L"as");
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(testing::WindowText(edit), typed);

  // Held again until it repeats, then the pointer leaves the key with the button still down:
  // the typing stops there, before any release.
  ASSERT_TRUE(mouse(Button(0, 1), MOUSEEVENTF_LEFTDOWN));
  EXPECT_TRUE(PumpUntil([&] { return testing::WindowText(edit).size() >= typed.size() + 2; }));
  ASSERT_TRUE(mouse(Button(0, 2), 0));
  PumpUntil([] { return false; }, 100);
  const std::wstring left = testing::WindowText(edit);
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(testing::WindowText(edit), left);
  ASSERT_TRUE(mouse(Button(0, 2), MOUSEEVENTF_LEFTUP));
  DestroyWindow(target);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST_F(SoftKeyboardFacesTest, KeysShowTheirImageOrCaptionAndReleaseTheCopies) {
  for (int round = 0; round < 2; ++round) {
    host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
    ASSERT_TRUE(host.SoftKeyboardWindow(0));
    HWND imageKey = Button(0, 0);
    EXPECT_TRUE(GetWindowLongPtrW(imageKey, GWL_STYLE) & BS_BITMAP);
    const auto copy =
        reinterpret_cast<HGDIOBJ>(SendMessageW(imageKey, BM_GETIMAGE, IMAGE_BITMAP, 0));
    EXPECT_EQ(GetObjectType(copy), static_cast<DWORD>(OBJ_BITMAP));
    EXPECT_EQ(testing::WindowText(Button(0, 1)), L"テスト");
    EXPECT_EQ(SendMessageW(Button(0, 1), BM_GETIMAGE, IMAGE_BITMAP, 0), 0);
    EXPECT_EQ(testing::WindowText(Button(0, 2)), L"3");
    // An icon is shown in the icon style, a bitmap in the bitmap style.
    const LONG_PTR iconStyle = GetWindowLongPtrW(Button(0, 3), GWL_STYLE);
    EXPECT_EQ(iconStyle & (BS_ICON | BS_BITMAP), BS_ICON);
    EXPECT_EQ(GetWindowLongPtrW(imageKey, GWL_STYLE) & (BS_ICON | BS_BITMAP), BS_BITMAP);
    EXPECT_NE(SendMessageW(Button(0, 3), BM_GETIMAGE, IMAGE_ICON, 0), 0);
    host.CloseSoftKeyboardThread(0);
    // The button's copy went with its keyboard; the table's own image stays.
    EXPECT_EQ(GetObjectType(copy), 0u);
    EXPECT_NE(AssetImage(assets.slots[0], KeyTarget(0)), nullptr);
  }
}

TEST_F(SoftKeyboardFacesTest, CaptionsFillTheWidthOfTheirKeys) {
  // One line of Latin, one line of katakana, and two lines of katakana.
  const std::pair<int, std::u16string_view> captions[] = {
      {6, u"Enter"}, {7, u"コピー"}, {8, u"ショートカット"}};
  for (const auto& [key, caption] : captions)
    SetAssetCaption(assets.slots[0], KeyTarget(key), caption);
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  HWND window = host.SoftKeyboardWindow(0);
  ASSERT_TRUE(window);
  // The keys as they start (50 pixels), then half as large again, as at 144 DPI.
  for (const int keySize : {50, 75}) {
    if (keySize != ButtonSize(0, 0).cx) {
      const RECT before = WindowRectOf(window);
      RECT client{};
      GetClientRect(window, &client);
      const int frameWidth = (before.right - before.left) - client.right;
      const int frameHeight = (before.bottom - before.top) - client.bottom;
      SetWindowPos(window, nullptr, 200, 100, client.right * 3 / 2 + frameWidth,
                   (client.bottom - 51) * 3 / 2 + 51 + frameHeight, SWP_NOZORDER | SWP_NOACTIVATE);
      ASSERT_TRUE(PumpUntil([&] { return ButtonSize(0, 0).cx >= keySize - 1; }))
          << ButtonSize(0, 0).cx;
    }
    for (const auto& [key, caption] : captions) {
      HWND button = Button(0, key);
      RECT client{};
      GetClientRect(button, &client);
      int painted = -1;
      // Read once the button has painted its new face.
      PumpUntil([&] {
        painted = PaintedTextWidth(button);
        return painted * 100 >= client.right * 60;
      });
      EXPECT_GE(painted * 100, client.right * 60)
          << "key " << key + 1 << " (" << keySize << " px): " << painted << " of " << client.right;
      EXPECT_LE(painted * 100, client.right * 95)
          << "key " << key + 1 << " (" << keySize << " px): " << painted << " of " << client.right;
    }
  }
  host.CloseSoftKeyboardThread(0);
}

TEST_F(SoftKeyboardFacesTest, AnImageKeyNeverKeepsADeletedCaptionFont) {
  // A paged keyboard: button 6 shows key 1 (no face) on page 1 and key 25 (an image) on page 2;
  // the third page's tab has a picture too.
  table.slots[0].modelIdentity = kModel0100130D;
  for (AssetTarget target : {KeyTarget(kKeysPerPage), PageTarget(2)}) {
    ReplaceAssetImage(assets.slots[0], target,
                      std::make_unique<Win32BitmapImage>(OwnedBitmap(
                          CreateBitmap(kAssetImageSide, kAssetImageSide, 1, 32, nullptr))),
                      false);
  }
  host.StartSoftKeyboardThread(0, SoftKeyLayout::kStandard);
  ASSERT_TRUE(host.SoftKeyboardWindow(0));
  HWND button = Button(0, 6);
  auto font = [&] { return reinterpret_cast<HGDIOBJ>(SendMessageW(button, WM_GETFONT, 0, 0)); };
  ASSERT_EQ(GetObjectType(font()), static_cast<DWORD>(OBJ_FONT));
  for (int page : {1, 0, 1, 1}) {
    // The page's tab is clicked.
    SendMessageW(host.SoftKeyboardWindow(0), WM_COMMAND, MAKEWPARAM(32968 + page, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Button(0, page)));
    EXPECT_EQ(GetObjectType(font()), static_cast<DWORD>(OBJ_FONT)) << "page " << page;
  }
  auto image = [](HWND of) {
    return GetObjectType(reinterpret_cast<HGDIOBJ>(SendMessageW(of, BM_GETIMAGE, IMAGE_BITMAP, 0)));
  };
  EXPECT_EQ(image(button), static_cast<DWORD>(OBJ_BITMAP));
  EXPECT_EQ(image(Button(0, 2)), static_cast<DWORD>(OBJ_BITMAP));
  EXPECT_NE(image(Button(0, 1)), static_cast<DWORD>(OBJ_BITMAP));
  host.CloseSoftKeyboardThread(0);
}

}  // namespace
}  // namespace qv
