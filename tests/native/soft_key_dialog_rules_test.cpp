// The image and text dialogs' rules: their titles, storing a chosen image new file first and
// the old one only then, deleting an image, and keeping a typed caption.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "softkey_assets/soft_key_dialog_rules.h"

namespace qv {
namespace {

constexpr std::u16string_view kFolder = u"C:\\sk\\130d000007";

template <std::size_t N>
std::u16string Text(const char16_t (&text)[N]) {
  return std::u16string(BoundedView(text));
}

class MarkedImage : public PlatformImage {};

// Files by name; operations are logged in order, and any path may be made to fail.
class FakeImageFiles : public AssetImageFiles {
 public:
  bool CopyIconFile(std::u16string_view from, std::u16string_view to) override {
    log.push_back(u"copy " + std::u16string(from) + u" > " + std::u16string(to));
    return Write(to);
  }
  bool SaveConvertedPicture(AssetTarget, std::u16string_view to) override {
    log.push_back(u"save " + std::u16string(to));
    return Write(to);
  }
  bool RemoveFile(std::u16string_view path) override {
    log.push_back(u"remove " + std::u16string(path));
    if (failing.count(std::u16string(path))) return false;
    present.erase(std::u16string(path));
    return true;
  }
  bool Write(std::u16string_view to) {
    if (failing.count(std::u16string(to))) return false;
    present.insert(std::u16string(to));
    return true;
  }
  std::vector<std::u16string> log;
  std::set<std::u16string> present, failing;
};

class SoftKeyDialogRules : public ::testing::Test {
 protected:
  // Key 5 starts with a stored picture.
  void SetUp() override {
    old_ = new MarkedImage;
    ReplaceAssetImage(assets(), kKey, ImageOwner(old_), false);
    SetAssetImagePath(assets(), kKey, u"C:\\sk\\130d000007\\005.png");
    files_.present = {u"C:\\sk\\130d000007\\005.png"};
  }
  SoftKeyAssetSlot& assets() { return tables_->slots[0]; }

  static constexpr AssetTarget kKey = KeyTarget(4);
  std::unique_ptr<SoftKeyAssetTables> tables_ = std::make_unique<SoftKeyAssetTables>();
  FakeImageFiles files_;
  MarkedImage* old_ = nullptr;
};

TEST(SoftKeyDialogTitles, NameKeyOrPageNumberAfterAnIdeographicSpace) {
  char16_t title[kDialogTitleChars];
  ASSERT_TRUE(ImageDialogTitle(KeyTarget(4), title));
  EXPECT_EQ(Text(title), u"イメージ指定\u3000Key#5");
  ASSERT_TRUE(TextDialogTitle(PageTarget(1), title));
  EXPECT_EQ(Text(title), u"テキスト指定\u3000Page#2");
  EXPECT_FALSE(TextDialogTitle(PageTarget(6), title));
  EXPECT_EQ(title[0], 0);
}

TEST_F(SoftKeyDialogRules, AnUpperCaseIconIsCopiedFirstAndOnlyThenThePngRemoved) {
  ImageStorePlan plan;
  ASSERT_TRUE(PlanImageStore(kFolder, kKey, u"D:\\pics\\Star.ICO", plan));
  EXPECT_TRUE(plan.isIcon);
  ImageOwner pending = std::make_unique<MarkedImage>();
  const PlatformImage* chosen = pending.get();
  ASSERT_TRUE(StoreChosenImage(assets(), kKey, plan, u"D:\\pics\\Star.ICO", pending, files_));
  EXPECT_EQ(files_.log,
            (std::vector<std::u16string>{u"copy D:\\pics\\Star.ICO > C:\\sk\\130d000007\\005.ico",
                                         u"remove C:\\sk\\130d000007\\005.png"}));
  EXPECT_EQ(AssetImage(assets(), kKey), chosen);
  EXPECT_TRUE(AssetImageIsIcon(assets(), kKey));
  EXPECT_EQ(AssetImagePathOf(assets(), kKey), u"C:\\sk\\130d000007\\005.ico");
}

TEST_F(SoftKeyDialogRules, AFailedStoreKeepsTheOldImageKindPathAndFiles) {
  struct Case {
    const char16_t* chosen;
    const char16_t* failing;
  } cases[] = {
      {u"D:\\a.jpg", u"C:\\sk\\130d000007\\005.png"},  // the PNG cannot be saved
      {u"D:\\a.ico", u"C:\\sk\\130d000007\\005.ico"},  // the icon cannot be copied
      {u"D:\\a.ico", u"C:\\sk\\130d000007\\005.png"},  // the PNG that would win stays
  };
  for (const Case& c : cases) {
    const std::u16string_view failing(c.failing);
    SCOPED_TRACE(std::string(failing.begin(), failing.end()));
    files_.failing = {c.failing};
    ImageStorePlan plan;
    ASSERT_TRUE(PlanImageStore(kFolder, kKey, c.chosen, plan));
    ImageOwner pending = std::make_unique<MarkedImage>();
    EXPECT_FALSE(StoreChosenImage(assets(), kKey, plan, c.chosen, pending, files_));
    EXPECT_NE(pending, nullptr);
    EXPECT_EQ(AssetImage(assets(), kKey), old_);
    EXPECT_FALSE(AssetImageIsIcon(assets(), kKey));
    EXPECT_EQ(AssetImagePathOf(assets(), kKey), u"C:\\sk\\130d000007\\005.png");
    EXPECT_TRUE(files_.present.count(u"C:\\sk\\130d000007\\005.png"));
  }
  // A picture's save failing never removes the file of the other kind.
  EXPECT_EQ(files_.log.front(), u"save C:\\sk\\130d000007\\005.png");
  EXPECT_EQ(files_.log[1], u"copy D:\\a.ico > C:\\sk\\130d000007\\005.ico");
}

TEST_F(SoftKeyDialogRules, APictureForAPageIsSavedAsItsPngAndItsIconRemoved) {
  ImageStorePlan plan;
  ASSERT_TRUE(PlanImageStore(kFolder, PageTarget(1), u"D:\\photo.jpeg", plan));
  files_.failing = {u"C:\\sk\\130d000007\\p02.ico"};  // a stale icon never wins over the PNG
  ImageOwner pending = std::make_unique<MarkedImage>();
  ASSERT_TRUE(StoreChosenImage(assets(), PageTarget(1), plan, u"D:\\photo.jpeg", pending, files_));
  EXPECT_EQ(files_.log.front(), u"save C:\\sk\\130d000007\\p02.png");
  EXPECT_FALSE(AssetImageIsIcon(assets(), PageTarget(1)));
  EXPECT_EQ(AssetImagePathOf(assets(), PageTarget(1)), u"C:\\sk\\130d000007\\p02.png");
  EXPECT_FALSE(PlanImageStore(u"", kKey, u"D:\\a.png", plan));
}

TEST_F(SoftKeyDialogRules, DeletingRemovesBothKindsAndKeepsTheCaption) {
  SetAssetCaption(assets(), kKey, u"Enter");
  files_.present.insert(u"C:\\sk\\130d000007\\005.ico");
  files_.failing = {u"C:\\sk\\130d000007\\005.ico"};
  EXPECT_FALSE(DeleteStoredImage(assets(), kKey, kFolder, files_));
  EXPECT_EQ(AssetImage(assets(), kKey), old_);

  files_.failing.clear();
  ASSERT_TRUE(DeleteStoredImage(assets(), kKey, kFolder, files_));
  EXPECT_TRUE(files_.present.empty());
  EXPECT_EQ(AssetImage(assets(), kKey), nullptr);
  EXPECT_EQ(AssetImagePathOf(assets(), kKey), u"");
  EXPECT_EQ(AssetCaption(assets(), kKey), u"Enter");
}

class RecordingCaptions : public CaptionFile {
 public:
  void ReadCaption(std::u16string_view, std::u16string_view, char16_t* value,
                   std::size_t) override {
    value[0] = 0;
  }
  bool WriteCaption(std::u16string_view file, std::u16string_view key,
                    std::u16string_view value) override {
    written = std::u16string(file) + u"|" + std::u16string(key) + u"|" + std::u16string(value);
    return succeed;
  }
  std::u16string written;
  bool succeed = true;
};

class NoFiles : public SoftKeyFiles {
 public:
  bool FileOpens(std::u16string_view) override { return false; }
  ImageOwner LoadIconImage(std::u16string_view) override { return nullptr; }
  ImageOwner LoadPictureImage(std::u16string_view) override { return nullptr; }
};

TEST(SoftKeyDialogCaptions, ATypedCaptionKeepsEightCharactersAndAFailedWriteTheOldOne) {
  auto tables = std::make_unique<SoftKeyAssetTables>();
  KeyPadTable keyPads;
  keyPads.slots[2].modelIdentity = kModel0100130D;
  keyPads.slots[2].serialNumber = 7;
  NoFiles files;
  RecordingCaptions captions;
  SoftKeyAssetContext context{*tables, keyPads, u"C:\\sk\\", files, captions};

  ASSERT_TRUE(StoreTypedCaption(context, 2, PageTarget(1), u"あいうえおかきくけこ"));
  EXPECT_EQ(captions.written, u"C:\\sk\\130d000007\\softkey_text.ini|text_p02|あいうえおかきく");
  EXPECT_EQ(AssetCaption(tables->slots[2], PageTarget(1)), u"あいうえおかきく");

  captions.succeed = false;
  EXPECT_FALSE(StoreTypedCaption(context, 2, PageTarget(1), u"new"));
  EXPECT_EQ(AssetCaption(tables->slots[2], PageTarget(1)), u"あいうえおかきく");
}

}  // namespace
}  // namespace qv
