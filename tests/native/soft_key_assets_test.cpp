// The soft-key asset tables: file names and paths of a key pad's images and captions, the
// square crop of a picture, caption cutting, and loading a key pad's folder into the tables.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/device_link.h"
#include "softkey_assets/asset_names.h"
#include "softkey_assets/soft_key_assets.h"

namespace qv {
namespace {

template <std::size_t N>
std::u16string Text(const char16_t (&text)[N]) {
  return std::u16string(BoundedView(text));
}

TEST(SoftKeyAssetNames, FilesAndKeysOfKeysAndPages) {
  char16_t path[kPathChars];
  ASSERT_TRUE(AssetImagePath(u"C:\\sk\\130d000007", KeyTarget(143), ImageFileKind::kIcon, path));
  EXPECT_EQ(Text(path), u"C:\\sk\\130d000007\\144.ico");
  ASSERT_TRUE(AssetImagePath(u"C:\\sk\\130d000007", PageTarget(1), ImageFileKind::kPng, path));
  EXPECT_EQ(Text(path), u"C:\\sk\\130d000007\\p02.png");
  char16_t key[kCaptionKeyChars];
  ASSERT_TRUE(CaptionKeyName(KeyTarget(4), key));
  EXPECT_EQ(Text(key), u"text_005");
  ASSERT_TRUE(CaptionKeyName(PageTarget(0), key));
  EXPECT_EQ(Text(key), u"text_p01");

  // Out of range, or a path that would be cut: refused with an empty result.
  EXPECT_FALSE(AssetImagePath(u"C:\\sk", PageTarget(6), ImageFileKind::kPng, path));
  EXPECT_FALSE(CaptionKeyName(KeyTarget(144), key));
  EXPECT_TRUE(AssetImagePath(std::u16string(251, u'x'), KeyTarget(0), ImageFileKind::kPng, path));
  EXPECT_FALSE(AssetImagePath(std::u16string(252, u'x'), KeyTarget(0), ImageFileKind::kPng, path));
  EXPECT_EQ(path[0], 0);
  // Every image file that can be named can be written: the file written first beside it is
  // exactly as long.
  ASSERT_TRUE(AssetImagePath(std::u16string(251, u'x'), KeyTarget(0), ImageFileKind::kPng, path));
  char16_t replacement[kPathChars];
  ASSERT_TRUE(ReplacementPath(Text(path), replacement));
  EXPECT_EQ(Text(replacement), std::u16string(251, u'x') + u"\\001.pn~");
  ASSERT_TRUE(ReplacementPath(u"C:\\a\\b~", replacement));
  EXPECT_EQ(Text(replacement), u"C:\\a\\b_");
  EXPECT_FALSE(ReplacementPath(std::u16string(260, u'x'), replacement));
  EXPECT_FALSE(ReplacementPath(u"C:\\a\\", replacement));

  EXPECT_TRUE(IsIconPath(u"C:\\a\\001.ICO"));
  EXPECT_FALSE(IsIconPath(u"C:\\a\\001.icon"));
  EXPECT_FALSE(IsIconPath(u"ico"));
}

TEST(SoftKeyAssetNames, CaptionFileEncodingIsToldByItsByteOrderMark) {
  const std::uint8_t utf16le[] = {0xFF, 0xFE, '['}, utf8[] = {0xEF, 0xBB, 0xBF, '['};
  EXPECT_EQ(DetectProfileEncoding(utf16le, 3), ProfileEncoding::kUtf16Le);
  EXPECT_EQ(DetectProfileEncoding(utf8, 4), ProfileEncoding::kUtf8);
  EXPECT_EQ(DetectProfileEncoding(utf8, 2), ProfileEncoding::kAnsi);
  EXPECT_EQ(DetectProfileEncoding(nullptr, 0), ProfileEncoding::kEmpty);
}

TEST(SoftKeyAssetNames, PicturesAreCroppedToTheirCentredSquare) {
  struct Case {
    std::uint32_t width, height;
    int x, y, side;
  } cases[] = {
      {400, 300, 50, 0, 300}, {300, 400, 0, 50, 300},     {401, 300, 50, 0, 300},
      {256, 256, 0, 0, 256},  {1920, 1080, 420, 0, 1080}, {0, 0, 0, 0, 0},
      {10, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    const SquareCrop crop = CenteredSquareCrop(c.width, c.height);
    EXPECT_EQ(crop.x, c.x) << c.width << "x" << c.height;
    EXPECT_EQ(crop.y, c.y) << c.width << "x" << c.height;
    EXPECT_EQ(crop.side, c.side) << c.width << "x" << c.height;
  }
  EXPECT_EQ(OpaqueArgbFromColorRef(0x00332211), 0xFF112233u);
}

TEST(SoftKeyAssetNames, CaptionsKeepTheirFirstEightCharacters) {
  EXPECT_EQ(CutCaption(u"0123456789"), u"01234567");
  EXPECT_EQ(CutCaption(u"日本語"), u"日本語");
  EXPECT_EQ(CutCaption(u""), u"");
  // A character of two units that would be split is left out whole.
  EXPECT_EQ(CutCaption(u"1234567\U0001F600"), u"1234567");
  EXPECT_EQ(CutCaption(u"123456\U0001F600x"), u"123456\U0001F600");
}

// Images that count how many of them were released.
struct ReleaseCount {
  int released = 0;
};
class CountedImage : public PlatformImage {
 public:
  CountedImage(ReleaseCount& count, std::u16string path, bool icon)
      : count_(count), path(std::move(path)), icon(icon) {}
  ~CountedImage() override { ++count_.released; }
  ReleaseCount& count_;
  std::u16string path;
  bool icon;
};

class FakeFiles : public SoftKeyFiles {
 public:
  explicit FakeFiles(const SoftKeyAssetSlot& watched) : watched_(watched) {}
  bool FileOpens(std::u16string_view path) override {
    if (watched_.softKeyAssetsLoaded != 0) loadedFlagSeenSet = true;
    opened.emplace_back(path);
    return existing.count(std::u16string(path)) != 0;
  }
  ImageOwner LoadIconImage(std::u16string_view path) override {
    return std::make_unique<CountedImage>(count, std::u16string(path), true);
  }
  ImageOwner LoadPictureImage(std::u16string_view path) override {
    if (damaged.count(std::u16string(path))) return nullptr;
    return std::make_unique<CountedImage>(count, std::u16string(path), false);
  }

  std::set<std::u16string> existing, damaged;
  std::vector<std::u16string> opened;
  ReleaseCount count;
  bool loadedFlagSeenSet = false;

 private:
  const SoftKeyAssetSlot& watched_;
};

class FakeCaptions : public CaptionFile {
 public:
  void ReadCaption(std::u16string_view file, std::u16string_view key, char16_t* value,
                   std::size_t capacity) override {
    files.insert(std::u16string(file));
    auto found = values.find(std::u16string(key));
    BoundedCopy(value, capacity, found == values.end() ? u"" : std::u16string_view(found->second));
  }
  bool WriteCaption(std::u16string_view file, std::u16string_view key,
                    std::u16string_view value) override {
    files.insert(std::u16string(file));
    values[std::u16string(key)] = std::u16string(value);
    return true;
  }
  std::map<std::u16string, std::u16string> values;
  std::set<std::u16string> files;
};

constexpr std::u16string_view kFolder = u"C:\\data\\softkey\\";
const std::u16string kPadFolder = u"C:\\data\\softkey\\130d000007\\";

struct AssetRig {
  explicit AssetRig(std::uint32_t model = kModel0100130D) {
    keyPads.slots[2].modelIdentity = model;
    keyPads.slots[2].serialNumber = 7;
  }
  const SoftKeyAssetSlot& slot() const { return tables->slots[2]; }
  const CountedImage* KeyImage(int key) const {
    return static_cast<const CountedImage*>(AssetImage(slot(), KeyTarget(key)));
  }
  const CountedImage* PageImage(int page) const {
    return static_cast<const CountedImage*>(AssetImage(slot(), PageTarget(page)));
  }

  KeyPadTable keyPads;
  std::unique_ptr<SoftKeyAssetTables> tables = std::make_unique<SoftKeyAssetTables>();
  FakeFiles files{tables->slots[2]};
  FakeCaptions captions;
  SoftKeyAssetContext context{*tables, keyPads, kFolder, files, captions};
};

TEST(SoftKeyAssetLoading, PngWinsOverIconAndMissingFilesLeaveNoImage) {
  AssetRig rig;
  rig.files.existing = {kPadFolder + u"001.png", kPadFolder + u"001.ico", kPadFolder + u"002.ico",
                        kPadFolder + u"p03.png"};
  EXPECT_TRUE(LoadSoftKeyAssets(rig.context, 2));

  ASSERT_NE(rig.KeyImage(0), nullptr);
  EXPECT_FALSE(rig.KeyImage(0)->icon);
  EXPECT_EQ(rig.KeyImage(0)->path, kPadFolder + u"001.png");
  EXPECT_FALSE(AssetImageIsIcon(rig.slot(), KeyTarget(0)));
  ASSERT_NE(rig.KeyImage(1), nullptr);
  EXPECT_TRUE(rig.KeyImage(1)->icon);
  EXPECT_TRUE(AssetImageIsIcon(rig.slot(), KeyTarget(1)));
  EXPECT_EQ(AssetImagePathOf(rig.slot(), KeyTarget(1)), kPadFolder + u"002.ico");
  EXPECT_EQ(rig.KeyImage(2), nullptr);
  EXPECT_EQ(AssetImagePathOf(rig.slot(), KeyTarget(2)), u"");
  ASSERT_NE(rig.PageImage(2), nullptr);
  EXPECT_EQ(rig.PageImage(2)->path, kPadFolder + u"p03.png");
  EXPECT_EQ(rig.slot().softKeyAssetsLoaded.load(), 1u);
  EXPECT_FALSE(rig.files.loadedFlagSeenSet);
}

TEST(SoftKeyAssetLoading, PagesOnlyOnPagedModelsAndEveryKeyOnAllModels) {
  AssetRig rig(0x01000B0B);  // a 30-key model
  const std::u16string folder = u"C:\\data\\softkey\\0b0b000007\\";
  rig.files.existing = {folder + u"p01.png", folder + u"144.png", folder + u"031.ico"};
  rig.captions.values = {{u"text_p01", u"page"}, {u"text_144", u"last"}};
  LoadSoftKeyAssets(rig.context, 2);
  EXPECT_EQ(rig.PageImage(0), nullptr);
  EXPECT_EQ(AssetImagePathOf(rig.slot(), PageTarget(0)), u"");
  EXPECT_EQ(AssetCaption(rig.slot(), PageTarget(0)), u"");
  EXPECT_NE(rig.KeyImage(143), nullptr);
  EXPECT_NE(rig.KeyImage(30), nullptr);
  EXPECT_EQ(AssetCaption(rig.slot(), KeyTarget(143)), u"last");
  for (const std::u16string& path : rig.files.opened) EXPECT_EQ(path.find(u"\\p0"), path.npos);
}

TEST(SoftKeyAssetLoading, ImagesAreReleasedWhenReplacedOrCleared) {
  AssetRig rig;
  rig.files.existing = {kPadFolder + u"001.png", kPadFolder + u"p01.ico"};
  LoadSoftKeyAssets(rig.context, 2);
  EXPECT_EQ(rig.files.count.released, 0);
  // Loading again replaces both images: the old ones are released.
  LoadSoftKeyAssets(rig.context, 2);
  EXPECT_EQ(rig.files.count.released, 2);
  // Another model in the slot: the page image goes too, and a key whose file has gone.
  rig.keyPads.slots[2].modelIdentity = 0x01001111;
  LoadSoftKeyAssets(rig.context, 2);
  EXPECT_EQ(rig.files.count.released, 4);
  EXPECT_EQ(rig.PageImage(0), nullptr);
  EXPECT_EQ(AssetImageIsIcon(rig.slot(), PageTarget(0)), false);

  ReplaceAssetImage(rig.tables->slots[2], KeyTarget(5),
                    std::make_unique<CountedImage>(rig.files.count, u"x", true), true);
  EXPECT_TRUE(AssetImageIsIcon(rig.slot(), KeyTarget(5)));
  ReplaceAssetImage(rig.tables->slots[2], KeyTarget(5), nullptr, true);
  EXPECT_EQ(rig.files.count.released, 5);
  EXPECT_FALSE(AssetImageIsIcon(rig.slot(), KeyTarget(5)));
}

TEST(SoftKeyAssetLoading, DamagedPictureAndUnusableFolder) {
  AssetRig rig;
  rig.files.existing = {kPadFolder + u"003.png"};
  rig.files.damaged = rig.files.existing;
  LoadSoftKeyAssets(rig.context, 2);
  EXPECT_EQ(rig.KeyImage(2), nullptr);
  EXPECT_EQ(rig.slot().softKeyAssetsLoaded.load(), 1u);

  // A soft-key folder too long for the key pad's paths: empty tables, no file is touched.
  rig.files.existing = {};
  SetAssetCaption(rig.tables->slots[2], KeyTarget(0), u"old");
  const std::u16string longFolder(250, u'x');
  SoftKeyAssetContext context{*rig.tables, rig.keyPads, longFolder, rig.files, rig.captions};
  rig.files.opened.clear();
  rig.captions.files.clear();
  EXPECT_TRUE(LoadSoftKeyAssets(context, 2));
  EXPECT_TRUE(rig.files.opened.empty());
  EXPECT_TRUE(rig.captions.files.empty());
  EXPECT_EQ(AssetCaption(rig.slot(), KeyTarget(0)), u"");
  EXPECT_EQ(rig.slot().softKeyAssetsLoaded.load(), 1u);
  EXPECT_FALSE(WriteKeyCaption(context, 2, 0));
}

TEST(SoftKeyAssetCaptions, LoadedCutAndWrittenUnderTheirKeys) {
  AssetRig rig;
  rig.captions.values = {{u"text_005", u"0123456789"}, {u"text_p02", u"ページ"}};
  LoadSoftKeyAssets(rig.context, 2);
  EXPECT_EQ(AssetCaption(rig.slot(), KeyTarget(4)), u"01234567");
  EXPECT_EQ(AssetCaption(rig.slot(), PageTarget(1)), u"ページ");
  EXPECT_EQ(AssetCaption(rig.slot(), KeyTarget(0)), u"");
  EXPECT_EQ(rig.captions.files, std::set<std::u16string>{kPadFolder + u"softkey_text.ini"});

  rig.captions.values.clear();
  SetAssetCaption(rig.tables->slots[2], KeyTarget(9), u"キャプション文字列");
  EXPECT_TRUE(WriteKeyCaption(rig.context, 2, 9));
  EXPECT_TRUE(WritePageCaption(rig.context, 2, 5));  // the empty caption is written too
  EXPECT_EQ(rig.captions.values, (std::map<std::u16string, std::u16string>{
                                     {u"text_010", u"キャプション文字"}, {u"text_p06", u""}}));
  EXPECT_FALSE(WriteKeyCaption(rig.context, 2, 144));
  EXPECT_FALSE(WritePageCaption(rig.context, 2, 6));
  EXPECT_FALSE(WriteKeyCaption(rig.context, 16, 0));
  EXPECT_EQ(rig.captions.values.size(), 2u);
}

}  // namespace
}  // namespace qv
