#include "softkbd/layout.h"

#include <gtest/gtest.h>

#include "common/memory_settings.h"

namespace qv {
namespace {

constexpr std::u16string_view kKeyPath =
    u"Software\\Morvalen\\qv-padconf\\SoftKeyboardWindow_100\\01001225&0001e240";
constexpr std::uint32_t kModel = 0x01001225;
constexpr std::uint32_t kSerial = 123456;

TEST(KeyGrid, FirstStartButtonsAreFivePixelsPerUnitWithTheOuterEdgesWidened) {
  struct Grid {
    SoftKeyLayout layout;
    int columns;
    int cellWidth;
  };
  for (const Grid& grid :
       {Grid{SoftKeyLayout::kStandard, 6, 50}, Grid{SoftKeyLayout::kAlternative, 5, 60}}) {
    const LayoutTable& table = LayoutTableFor(grid.layout);
    const int rows = kLayoutCells / grid.columns;
    // The window is created with no size, so the client edges are not met yet.
    for (int j = 0; j < kLayoutCells; ++j) {
      SCOPED_TRACE(j);
      const int c = j % grid.columns;
      const int r = j / grid.columns;
      const PixelRect rect = KeyButtonRect(table, LayoutScale{}, j, 0, 0);
      EXPECT_EQ(rect, (PixelRect{grid.cellWidth * c, 50 * r + kHeaderHeight,
                                 grid.cellWidth + (c == grid.columns - 1 ? 1 : 0),
                                 50 + (r == rows - 1 ? 1 : 0)}));
    }
  }
  // Once the client edge is met the last column keeps its width.
  EXPECT_EQ(KeyButtonRect(StandardLayout(), LayoutScale{}, 29, 300, 301).width, 50);
  EXPECT_EQ(std::u16string_view(StandardLayout().cells[29].label), u"30");
}

TEST(KeyGrid, NeighbouringButtonsMeetAndTheOuterOnesReachTheClientEdges) {
  // Each client size of a resized window, at the scale the resize gives: the truncated cells
  // leave one-pixel gaps that the buttons close.
  for (const SoftKeyLayout layout : {SoftKeyLayout::kStandard, SoftKeyLayout::kAlternative}) {
    const LayoutTable& table = LayoutTableFor(layout);
    const int columns = table.columns;
    const std::int32_t unitsWide = table.cells[columns - 1].right;
    const std::int32_t unitsHigh = table.cells[kLayoutCells - 1].bottom;
    for (std::int32_t width = 300; width < 340; ++width) {
      const std::int32_t height = width + 7;
      const LayoutScale scale{kStartMag * unitsWide, kStartMag * unitsHigh, kStartMag * width,
                              kStartMag * (height - kHeaderHeight)};
      for (int j = 0; j < kLayoutCells; ++j) {
        SCOPED_TRACE(testing::Message() << "width " << width << ", button " << j);
        const PixelRect rect = KeyButtonRect(table, scale, j, width, height);
        if (j % columns == columns - 1) {
          EXPECT_EQ(rect.x + rect.width, width);
        } else {
          EXPECT_EQ(rect.x + rect.width, KeyButtonRect(table, scale, j + 1, width, height).x);
        }
        if (j >= kLayoutCells - columns) {
          EXPECT_EQ(rect.y + rect.height, height);
        } else {
          EXPECT_EQ(rect.y + rect.height,
                    KeyButtonRect(table, scale, j + columns, width, height).y);
        }
      }
    }
  }
}

TEST(KeyGrid, ScaleFollowsTheClientSizeAndSurvivesBadValues) {
  // Twice the reference width: every button twice as wide, the height as before.
  const LayoutScale doubled{300, 250, 10 * 300, 5 * 250};
  EXPECT_EQ(CellRect(StandardLayout(), doubled, 7), (PixelRect{100, 101, 100, 50}));
  // Truncating division, multiplication first: 7/3 of a unit per pixel.
  EXPECT_EQ(CellRect(StandardLayout(), {3, 3, 7, 7}, 1), (PixelRect{23, 51, 23, 23}));
  EXPECT_EQ(CellRect(StandardLayout(), {0, 250, 5, 5}, 1), PixelRect{});
  EXPECT_EQ(CellRect(StandardLayout(), {1, 1, 0x7FFFFFFF, 5}, 29).x, 0x7FFFFFFF);

  EXPECT_EQ(ScaleAfterPlacement(LayoutScale{}, false, 309, 301).xbase, 309);
  EXPECT_EQ(ScaleAfterPlacement(LayoutScale{}, false, 309, 301).ybase, 250);
  EXPECT_EQ(ScaleAfterPlacement(LayoutScale{}, false, 0, 40).ybase, 1);
  // A stored scale is kept whole whatever size the window was placed at.
  const LayoutScale kept = ScaleAfterPlacement(doubled, true, 10, 10);
  EXPECT_EQ(kept.xbase, 300);
  EXPECT_EQ(kept.ybase, 250);
  EXPECT_EQ(kept.xmag, 3000);
}

TEST(KeyGrid, PageTabsShowTheCurrentPageLowerAndNarrower) {
  const PageLayout page = LayoutPage(StandardLayout(), {300, 250, 5, 5}, true, 2);
  ASSERT_TRUE(page.changed);
  EXPECT_EQ(page.currentPage, 2);
  EXPECT_EQ(page.scale.xmag, 1500);  // the starting scale converted
  EXPECT_EQ(page.scale.ymag, 1250);
  for (int j = 0; j < kPageCount; ++j) {
    SCOPED_TRACE(j);
    EXPECT_EQ(page.tabs[j],
              j == 2 ? (PixelRect{101, 67, 47, 34}) : (PixelRect{50 * j, 52, 50, 44}));
  }
  EXPECT_EQ(page.captionSize, 50);
  EXPECT_FALSE(LayoutPage(StandardLayout(), {300, 250, 5, 5}, true, 6).changed);
  // Single-page keyboards show page 0 and keep their scale; the unconverted size is not 0.
  const PageLayout single = LayoutPage(StandardLayout(), {301, 250, 5, 5}, false, 3);
  EXPECT_EQ(single.currentPage, 0);
  EXPECT_EQ(single.scale.xmag, 5);
  EXPECT_EQ(single.captionSize, 50);
  // Creation closes the gaps first, then adjusts the tabs.
  EXPECT_EQ(PlacedButtonRect(StandardLayout(), LayoutScale{}, 5, 0, 0, true, 0),
            (PixelRect{250, 52, 51, 44}));
  EXPECT_EQ(KeyForButton(true, 2, 6), 48);
  EXPECT_EQ(KeyForButton(true, 2, 3), -1);
  EXPECT_EQ(KeyForButton(false, 2, 3), 3);
}

TEST(WindowPlacement, StoredRectangleNeedsItsCornerOnTheMonitors) {
  const ScreenRect monitors[] = {{0, 0, 1280, 1024}, {1280, 2000, 2560, 3000}};
  PlacementInput input;
  input.buttonsRight = 305;
  input.buttonsBottom = 356;
  input.frameWidth = 4;
  input.frameHeight = 4;
  input.workArea = {0, 0, 1280, 984};
  input.monitors = monitors;
  const Placement fallback{1280 - 309, 984 - 360, 309, 360};
  EXPECT_EQ(PlaceWindow(input), fallback);  // nothing stored

  input.stored = {100, 2100, 500, 2500};  // x on the first monitor, y on the second only
  EXPECT_EQ(PlaceWindow(input), (Placement{100, 2100, 400, 400}));
  input.stored = {2560, 100, 2960, 500};  // a monitor since removed, right of the second
  EXPECT_EQ(PlaceWindow(input), fallback);
  input.stored = {0, 1024, 400, 1424};  // a monitor's bottom edge is not on it
  EXPECT_EQ(PlaceWindow(input), fallback);
  input.stored = {100, 100, 500, 500};
  input.monitors = {};
  EXPECT_EQ(PlaceWindow(input), fallback);
}

TEST(GeometryStore, SmallOrMissingGeometryIsResetToZeros) {
  MemorySettings store;
  EXPECT_TRUE(ForgetSmallGeometry(store, kModel, kSerial));
  for (std::u16string_view name : {kGeometryLeft, kGeometryTop, kGeometryRight, kGeometryBottom,
                                   kGeometryXbase, kGeometryYbase, kGeometryXmag, kGeometryYmag}) {
    MemorySettings::Value value;
    ASSERT_TRUE(store.GetUserValue(kKeyPath, name, value));
    EXPECT_EQ(value.bytes, MemorySettings::Dword(0).bytes);
  }
  WriteGeometryRect(store, kModel, kSerial, {10, 10, 310, 310});
  WriteGeometryScale(store, kModel, kSerial, {300, 250, 1500, 1250});
  EXPECT_FALSE(ForgetSmallGeometry(store, kModel, kSerial));
  StoredGeometry geometry = ReadGeometry(store, kModel, kSerial);
  EXPECT_EQ(geometry.rect, (ScreenRect{10, 10, 310, 310}));
  EXPECT_EQ(geometry.scale.ymag, 1250);

  WriteGeometryRect(store, kModel, kSerial, {10, 10, 309, 310});
  store.SetUserValue(kKeyPath, kGeometryXmag, MemorySettings::Text(u"1500"));
  EXPECT_EQ(ReadGeometry(store, kModel, kSerial).scale.xmag, 0);  // not a DWORD: unreadable
  EXPECT_TRUE(ForgetSmallGeometry(store, kModel, kSerial));
  EXPECT_EQ(ReadGeometry(store, kModel, kSerial).scale.xbase, 0);
  // Values far apart do not wrap into a large window.
  WriteGeometryRect(store, kModel, kSerial, {-2147483647, 0, 0x7FFFFFFF, 0x7FFFFFFF});
  EXPECT_FALSE(ForgetSmallGeometry(store, kModel, kSerial));
  WriteGeometryRect(store, kModel, kSerial, {100, 0, -2147483647, 400});
  EXPECT_TRUE(ForgetSmallGeometry(store, kModel, kSerial));

  EXPECT_TRUE(StoredScaleUsable({300, 250, 1500, 1250}));
  EXPECT_FALSE(StoredScaleUsable({300, 0, 1500, 1250}));
  EXPECT_FALSE(StoredScaleUsable({-1, 250, 1500, 1250}));

  store.SetUserKeysUnavailable(true);
  EXPECT_FALSE(WriteGeometryRect(store, kModel, kSerial, {}));
  EXPECT_EQ(ReadGeometry(store, kModel, kSerial).rect, ScreenRect{});
}

TEST(GeometryStore, SubKeyNameThatWouldBeCutIsRefused) {
  char16_t name[30];
  EXPECT_FALSE(SoftKeyboardSubKeyName(kModel, kSerial, name, std::size(name)));
  EXPECT_EQ(name[0], u'\0');
  char16_t fits[41];
  EXPECT_TRUE(SoftKeyboardSubKeyName(kModel, kSerial, fits, std::size(fits)));
}

}  // namespace
}  // namespace qv
