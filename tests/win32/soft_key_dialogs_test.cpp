// The image and caption dialogs of a soft key or page button from the resource script, driven
// by messages, over a real key pad folder: chosen icons and pictures become its files, Cancel
// and failed writes leave everything as it was, and captions reach "softkey_text.ini".
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/win32/wide.h"
#include "device/device_link.h"
#include "softkey_assets/win32/caption_file_win32.h"
#include "softkey_assets/win32/soft_key_dialogs_win32.h"
#include "win32/dialog_user.h"
#include "win32/picture_files.h"

namespace qv {
namespace {

using testing::TempFolder;
using testing::User;
using testing::WaitForDialog;

std::u16string U16(const std::wstring& text) {
  return std::u16string(Utf16(text.c_str()), text.size());
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class ScriptedChooser : public ImageFileChooser {
 public:
  bool ChooseImageFile(UiWindow, char16_t (&path)[kPathChars]) override {
    return BoundedCopy(path, U16(chosen));
  }
  std::wstring chosen;
};

class CountingTouchKeyboard : public TouchKeyboardSystem {
 public:
  void SystemVersion(unsigned& major, unsigned& minor) override {
    major = 6;
    minor = 1;
  }
  bool RunningProcessNames(std::vector<std::u16string>&) override { return false; }
  void StartProgram(std::u16string_view, std::u16string_view) override {}
  SystemWindow FindTopLevelWindow(std::u16string_view) override {
    ++lookups;
    return 0;
  }
  void SendCloseCommand(SystemWindow) override {}
  int lookups = 0;
};

class SoftKeyDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_);
    keyPads_.slots[0].modelIdentity = kModel0100130D;
    keyPads_.slots[0].serialNumber = 7;
    padFolder_ = temp_.path() + L"\\130d000007";
    CreateDirectoryW(padFolder_.c_str(), nullptr);
  }
  std::wstring InPad(const wchar_t* name) const { return padFolder_ + L"\\" + name; }
  std::wstring InTemp(const wchar_t* name) const { return temp_.path() + L"\\" + name; }
  const SoftKeyAssetSlot& Slot() const { return tables_->slots[0]; }
  void Load() { LoadSoftKeyAssets(context_, 0); }

  // Runs a dialog on this thread while `script` plays the user.
  template <typename Script>
  int Run(AssetTarget target, bool text, Script script) {
    const SoftKeyDialogRequest request{context_, 0, target, chooser_, &touch_};
    User user(script);
    return text ? RunSoftKeyTextDialog(GetModuleHandleW(nullptr), nullptr, request)
                : RunSoftKeyImageDialog(GetModuleHandleW(nullptr), nullptr, request);
  }

  GdiplusSession gdiplus_ = StartGdiplus();
  TempFolder temp_{L"qv-soft-key-dialogs"};
  KeyPadTable keyPads_;
  std::unique_ptr<SoftKeyAssetTables> tables_ = std::make_unique<SoftKeyAssetTables>();
  Win32SoftKeyFiles files_{*tables_};
  Win32CaptionFile captions_;
  // The context views this text: it is set once, before the context.
  std::u16string softKeyFolder_ = U16(temp_.path() + L"\\");
  std::wstring padFolder_;
  SoftKeyAssetContext context_{*tables_, keyPads_, softKeyFolder_, files_, captions_};
  ScriptedChooser chooser_;
  CountingTouchKeyboard touch_;
};

TEST_F(SoftKeyDialogsTest, AnUpperCaseIconIsStoredAsAByteCopyAndTheKeysPngDeleted) {
  ASSERT_TRUE(testing::WritePicture(InPad(L"005.png"), 64, 64, L"image/png", 0xFF102030, {}));
  Load();
  ASSERT_NE(AssetImage(Slot(), KeyTarget(4)), nullptr);
  chooser_.chosen = InTemp(L"STAR.ICO");
  ASSERT_TRUE(testing::WriteIconFile(chooser_.chosen));

  bool bitmapShown = false, iconShown = false;
  const int result = Run(KeyTarget(4), false, [&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"イメージ指定\u3000Key#5");
    if (!dialog) return;
    HWND preview = GetDlgItem(dialog, IDC_SOFTKEY_PREVIEW);
    bitmapShown = SendMessageW(preview, BM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_SOFTKEY_PREVIEW, BN_CLICKED), 0);
    iconShown = SendMessageW(preview, BM_GETIMAGE, IMAGE_ICON, 0) != 0;
    testing::Press(dialog, IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(bitmapShown);
  EXPECT_TRUE(iconShown);
  EXPECT_EQ(testing::ReadBytes(InPad(L"005.ico")), testing::ReadBytes(chooser_.chosen));
  EXPECT_FALSE(Exists(InPad(L"005.png")));
  EXPECT_TRUE(AssetImageIsIcon(Slot(), KeyTarget(4)));
  EXPECT_NE(dynamic_cast<const Win32IconImage*>(AssetImage(Slot(), KeyTarget(4))), nullptr);
  EXPECT_EQ(AssetImagePathOf(Slot(), KeyTarget(4)), U16(InPad(L"005.ico")));
}

TEST_F(SoftKeyDialogsTest, AChosenFileThatGivesNoPictureIsToldAndOkChangesNothing) {
  ASSERT_TRUE(testing::WritePicture(InPad(L"005.png"), 64, 64, L"image/png", 0xFF102030, {}));
  const std::vector<std::uint8_t> stored = testing::ReadBytes(InPad(L"005.png"));
  Load();
  const PlatformImage* before = AssetImage(Slot(), KeyTarget(4));
  ASSERT_NE(before, nullptr);
  const std::wstring broken = InTemp(L"broken.jpg");
  ASSERT_TRUE(testing::WriteBytes(broken, std::vector<std::uint8_t>(300, 0x5A)));
  // A PNG header declaring 50000 pixels a side, and nothing else.
  std::vector<std::uint8_t> huge = {0x89, 'P', 'N',  'G',  0x0D, 0x0A, 0x1A, 0x0A, 0,    0,
                                    0,    13,  'I',  'H',  'D',  'R',  0,    0,    0xC3, 0x50,
                                    0,    0,   0xC3, 0x50, 8,    6,    0,    0,    0};
  const std::wstring tooLarge = InTemp(L"huge.png");
  ASSERT_TRUE(testing::WriteBytes(tooLarge, huge));

  std::wstring unreadableText, tooLargeText;
  const int result = Run(KeyTarget(4), false, [&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"イメージ指定\u3000Key#5");
    if (!dialog) return;
    const std::pair<const std::wstring*, std::wstring*> choices[] = {{&broken, &unreadableText},
                                                                     {&tooLarge, &tooLargeText}};
    for (const auto& [file, text] : choices) {
      chooser_.chosen = *file;
      testing::Press(dialog, IDC_SOFTKEY_PREVIEW);
      HWND box = WaitForDialog(thread, L"イメージの指定");
      if (!box) return;
      *text = testing::ItemText(box, 0xFFFF);
      testing::Press(box, IDOK);
      WaitForDialog(thread, L"イメージ指定\u3000Key#5");
    }
    testing::Press(dialog, IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(U16(unreadableText), kPictureUnreadableMessage.text);
  EXPECT_EQ(U16(tooLargeText), kPictureTooLargeMessage.text);
  EXPECT_EQ(AssetImage(Slot(), KeyTarget(4)), before);
  EXPECT_EQ(testing::ReadBytes(InPad(L"005.png")), stored);
}

TEST_F(SoftKeyDialogsTest, AJpegForPageTwoBecomesItsSquarePngAndItsIconIsDeleted) {
  ASSERT_TRUE(testing::WriteIconFile(InPad(L"p02.ico")));
  Load();
  ASSERT_TRUE(AssetImageIsIcon(Slot(), PageTarget(1)));
  chooser_.chosen = InTemp(L"photo.jpg");
  ASSERT_TRUE(testing::WritePicture(chooser_.chosen, 400, 300, L"image/jpeg", 0xFF2040FF, {}));

  const int result = Run(PageTarget(1), false, [&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"イメージ指定\u3000Page#2");
    if (!dialog) return;
    testing::Press(dialog, IDC_SOFTKEY_PREVIEW);
    testing::Press(dialog, IDOK);
  });
  EXPECT_EQ(result, 1);
  Gdiplus::GpBitmap* saved = nullptr;
  ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromFile(InPad(L"p02.png").c_str(), &saved),
            Gdiplus::Ok);
  const OwnedGdiplusImage png(saved);
  UINT width = 0, height = 0;
  Gdiplus::DllExports::GdipGetImageWidth(png.get(), &width);
  Gdiplus::DllExports::GdipGetImageHeight(png.get(), &height);
  EXPECT_EQ(width, 256u);
  EXPECT_EQ(height, 256u);
  EXPECT_FALSE(Exists(InPad(L"p02.ico")));
  EXPECT_FALSE(AssetImageIsIcon(Slot(), PageTarget(1)));
  EXPECT_EQ(AssetImagePathOf(Slot(), PageTarget(1)), U16(InPad(L"p02.png")));
}

TEST_F(SoftKeyDialogsTest, CancelAfterAChoiceChangesNothingAndDeletingKeepsTheCaption) {
  ASSERT_TRUE(testing::WritePicture(InPad(L"005.png"), 64, 64, L"image/png", 0xFF102030, {}));
  Load();
  SetAssetCaption(tables_->slots[0], KeyTarget(4), u"Tab");
  const PlatformImage* before = AssetImage(Slot(), KeyTarget(4));
  const std::vector<std::uint8_t> bytes = testing::ReadBytes(InPad(L"005.png"));
  chooser_.chosen = InTemp(L"photo.jpg");
  ASSERT_TRUE(testing::WritePicture(chooser_.chosen, 40, 30, L"image/jpeg", 0xFF2040FF, {}));

  auto pressAfterChoice = [&](int button) {
    return [&, button](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"イメージ指定\u3000Key#5");
      if (!dialog) return;
      testing::Press(dialog, IDC_SOFTKEY_PREVIEW);
      testing::Press(dialog, button);
    };
  };
  EXPECT_EQ(Run(KeyTarget(4), false, pressAfterChoice(IDCANCEL)), 2);
  EXPECT_EQ(testing::ReadBytes(InPad(L"005.png")), bytes);
  EXPECT_EQ(AssetImage(Slot(), KeyTarget(4)), before);
  EXPECT_EQ(AssetImagePathOf(Slot(), KeyTarget(4)), U16(InPad(L"005.png")));
  EXPECT_EQ(tables_->keptImages[4], nullptr);  // the converted picture was released

  EXPECT_EQ(Run(KeyTarget(4), false, pressAfterChoice(IDC_SOFTKEY_DELETE_IMAGE)), 1);
  EXPECT_FALSE(Exists(InPad(L"005.png")));
  EXPECT_EQ(AssetImage(Slot(), KeyTarget(4)), nullptr);
  EXPECT_EQ(AssetImagePathOf(Slot(), KeyTarget(4)), u"");
  EXPECT_EQ(AssetCaption(Slot(), KeyTarget(4)), u"Tab");
}

TEST_F(SoftKeyDialogsTest, AFailedWriteKeepsTheOldImageAndTellsTheUser) {
  // The PNG's name is taken by a read-only folder, so the picture cannot be put in place.
  ASSERT_TRUE(testing::WriteIconFile(InPad(L"005.ico")));
  ASSERT_TRUE(CreateDirectoryW(InPad(L"005.png").c_str(), nullptr));
  SetFileAttributesW(InPad(L"005.png").c_str(), FILE_ATTRIBUTE_READONLY);
  Load();
  ASSERT_TRUE(AssetImageIsIcon(Slot(), KeyTarget(4)));
  const PlatformImage* before = AssetImage(Slot(), KeyTarget(4));
  const std::vector<std::uint8_t> icon = testing::ReadBytes(InPad(L"005.ico"));
  chooser_.chosen = InTemp(L"photo.jpg");
  ASSERT_TRUE(testing::WritePicture(chooser_.chosen, 40, 30, L"image/jpeg", 0xFF2040FF, {}));

  std::wstring told;
  const int result = Run(KeyTarget(4), false, [&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"イメージ指定\u3000Key#5");
    if (!dialog) return;
    testing::Press(dialog, IDC_SOFTKEY_PREVIEW);
    testing::Press(dialog, IDOK);
    HWND box = WaitForDialog(thread, L"イメージの指定");
    if (!box) return;
    told = testing::ItemText(box, 0xFFFF);
    testing::Press(box, IDOK);
  });
  SetFileAttributesW(InPad(L"005.png").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(result, 2);
  EXPECT_EQ(told.substr(0, 15), L"イメージの保存に失敗しました。");
  EXPECT_EQ(AssetImage(Slot(), KeyTarget(4)), before);
  EXPECT_TRUE(AssetImageIsIcon(Slot(), KeyTarget(4)));
  EXPECT_EQ(AssetImagePathOf(Slot(), KeyTarget(4)), U16(InPad(L"005.ico")));
  EXPECT_EQ(testing::ReadBytes(InPad(L"005.ico")), icon);
}

TEST_F(SoftKeyDialogsTest, ATenCharacterCaptionIsStoredAsItsFirstEight) {
  SetAssetCaption(tables_->slots[0], KeyTarget(2), u"old");
  std::wstring shown;
  const int result = Run(KeyTarget(2), true, [&](DWORD thread) {
    HWND dialog = WaitForDialog(thread, L"テキスト指定\u3000Key#3");
    if (!dialog) return;
    shown = testing::ItemText(dialog, IDC_SOFTKEY_CAPTION);
    SetDlgItemTextW(dialog, IDC_SOFTKEY_CAPTION, L"あいうえおかきくけこ");
    testing::Press(dialog, IDOK);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(shown, L"old");
  EXPECT_EQ(touch_.lookups, 1);  // the touch keyboard was closed
  EXPECT_EQ(AssetCaption(Slot(), KeyTarget(2)), u"あいうえおかきく");
  wchar_t stored[32] = {};
  GetPrivateProfileStringW(L"softkey", L"text_003", L"-", stored, 32,
                           InPad(L"softkey_text.ini").c_str());
  EXPECT_EQ(std::wstring(stored), L"あいうえおかきく");
}

TEST(SoftKeyImageChooser, OffersOneFilterOfPicturesAndIconsUnderItsTitle) {
  std::wstring filter;
  bool chose = true;
  {
    User user([&](DWORD thread) {
      HWND dialog = WaitForDialog(thread, L"画像ファイルの選択");
      if (!dialog) return;
      HWND types = GetDlgItem(dialog, 0x470);  // the file type list
      if (SendMessageW(types, CB_GETCOUNT, 0, 0) == 1) filter = testing::TextOf(types);
      testing::Press(dialog, IDCANCEL);
    });
    char16_t path[kPathChars];
    chose = Win32ImageFileChooser().ChooseImageFile(0, path);
  }
  EXPECT_FALSE(chose);
  EXPECT_EQ(filter, L"画像ファイル(BMP/JPG/PNG/GIF/ICO)");
}

}  // namespace
}  // namespace qv
