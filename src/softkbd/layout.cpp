#include "softkbd/layout.h"

#include <algorithm>
#include <limits>

#include "common/bounded_text.h"
#include "device/device_link.h"

namespace qv {
namespace {

LayoutTable MakeTable(int columns, std::int32_t cellWidth, std::int32_t cellHeight) {
  LayoutTable table;
  table.columns = columns;
  for (int j = 0; j < kLayoutCells; ++j) {
    KeyCell& cell = table.cells[j];
    const int c = j % columns;
    const int r = j / columns;
    cell.left = cellWidth * c;
    cell.top = cellHeight * r;
    cell.right = cell.left + cellWidth;
    cell.bottom = cell.top + cellHeight;
    BoundedFormat(cell.label, u"%d", {j + 1});
  }
  return table;
}

// mag x units / base, with the product taken wide so that stored values cannot overflow it.
std::int32_t Scale(std::int32_t mag, std::int32_t units, std::int32_t base) {
  if (base <= 0) return 0;
  const std::int64_t value = static_cast<std::int64_t>(mag) * units / base;
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// b - a, computed wide and kept within 32 bits: stored values far apart must not wrap.
std::int32_t Difference(std::int32_t b, std::int32_t a) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      static_cast<std::int64_t>(b) - a, 0, std::numeric_limits<std::int32_t>::max()));
}

bool ValidCell(int j) {
  return j >= 0 && j < kLayoutCells;
}

std::int32_t ReadValue(SettingsKey& key, std::u16string_view name) {
  std::uint32_t value = 0;
  SettingsValueType type = SettingsValueType::kOther;
  if (!key.QueryValue(name, value, type) || type != SettingsValueType::kDword) return 0;
  return static_cast<std::int32_t>(value);
}

bool InColumns(const ScreenRect& monitor, std::int32_t x) {
  return monitor.left <= x && x < monitor.right;
}
bool InRows(const ScreenRect& monitor, std::int32_t y) {
  return monitor.top <= y && y < monitor.bottom;
}

}  // namespace

const LayoutTable& StandardLayout() {
  static const LayoutTable table = MakeTable(6, 10, 10);
  return table;
}

const LayoutTable& AlternateLayout() {
  static const LayoutTable table = MakeTable(5, 12, 10);
  return table;
}

const LayoutTable& LayoutTableFor(SoftKeyLayout layout) {
  return layout == SoftKeyLayout::kAlternative ? AlternateLayout() : StandardLayout();
}

bool IsPagedKeyboard(std::uint32_t modelIdentity) {
  return modelIdentity == kModel01001225 || modelIdentity == kModel0100130D;
}

int KeyForButton(bool paged, int currentPage, int button) {
  if (!ValidCell(button)) return -1;
  if (!paged) return button;
  if (button < kPageCount || currentPage < 0 || currentPage >= kPageCount) return -1;
  return currentPage * kKeysPerPage + button - kPageCount;
}

PixelRect CellRect(const LayoutTable& table, const LayoutScale& scale, int j) {
  if (!ValidCell(j) || scale.xbase <= 0 || scale.ybase <= 0) return {};
  const KeyCell& cell = table.cells[j];
  return {Scale(scale.xmag, cell.left, scale.xbase),
          Scale(scale.ymag, cell.top, scale.ybase) + kHeaderHeight,
          Scale(scale.xmag, cell.right - cell.left, scale.xbase),
          Scale(scale.ymag, cell.bottom - cell.top, scale.ybase)};
}

PixelRect KeyButtonRect(const LayoutTable& table, const LayoutScale& scale, int j,
                        std::int32_t clientWidth, std::int32_t clientHeight) {
  PixelRect rect = CellRect(table, scale, j);
  if (!ValidCell(j) || scale.xbase <= 0 || scale.ybase <= 0) return rect;
  // The table's own grid tells the last column and the last row apart.
  const int columns = table.columns;
  const std::int32_t right = rect.x + rect.width;
  if (j % columns == columns - 1) {
    if (right != clientWidth) rect.width += 1;
  } else if (right != Scale(scale.xmag, table.cells[j + 1].left, scale.xbase)) {
    rect.width += 1;
  }
  const std::int32_t bottom = rect.y + rect.height;
  if (j >= kLayoutCells - columns) {
    if (bottom != clientHeight) rect.height += 1;
  } else if (bottom !=
             Scale(scale.ymag, table.cells[j + columns].top, scale.ybase) + kHeaderHeight) {
    rect.height += 1;
  }
  return rect;
}

PixelRect AdjustTab(PixelRect tab, bool current) {
  if (current) {
    const std::int32_t third = tab.height / 3;
    tab.y += third;
    tab.height -= third;
    tab.x += tab.width / 32;
    tab.width -= tab.width / 16;
  } else {
    tab.y += tab.height / 32;
    tab.height -= tab.height / 8;
  }
  return tab;
}

PixelRect PlacedButtonRect(const LayoutTable& table, const LayoutScale& scale, int j,
                           std::int32_t clientWidth, std::int32_t clientHeight, bool paged,
                           int currentPage) {
  PixelRect rect = KeyButtonRect(table, scale, j, clientWidth, clientHeight);
  if (paged && j >= 0 && j < kPageCount) rect = AdjustTab(rect, j == currentPage);
  return rect;
}

std::int32_t CaptionSize(const LayoutTable& table, const LayoutScale& scale) {
  const KeyCell& cell = table.cells[0];
  auto size = [](std::int32_t mag, std::int32_t units, std::int32_t base) {
    const std::int32_t quotient = Scale(mag, units, base);
    return quotient != 0 ? quotient : Scale(mag, units, 1);
  };
  return std::min(size(scale.xmag, cell.right - cell.left, scale.xbase),
                  size(scale.ymag, cell.bottom - cell.top, scale.ybase));
}

PageLayout LayoutPage(const LayoutTable& table, const LayoutScale& scale, bool paged, int page) {
  PageLayout result;
  result.scale = scale;
  if (!paged) {
    page = 0;
  } else {
    if (page < 0 || page >= kPageCount) return result;
    if (result.scale.xmag == kStartMag) {
      result.scale.xmag = Scale(kStartMag, result.scale.xbase, 1);
      result.scale.ymag = Scale(result.scale.ymag, result.scale.ybase, 1);
    }
    for (int j = 0; j < kPageCount; ++j) {
      result.tabs[j] = AdjustTab(CellRect(table, result.scale, j), j == page);
    }
  }
  result.changed = true;
  result.currentPage = page;
  result.captionSize = CaptionSize(table, result.scale);
  return result;
}

Placement PlaceWindow(const PlacementInput& input) {
  Placement fallback;
  fallback.width = std::max(input.buttonsRight, 0) + input.frameWidth;
  fallback.height = std::max(input.buttonsBottom, 0) + input.frameHeight;
  fallback.x = input.workArea.right - fallback.width;
  fallback.y = input.workArea.bottom - fallback.height;
  const ScreenRect& stored = input.stored;
  if (stored == ScreenRect{}) return fallback;
  const bool columnsOnScreen =
      std::any_of(input.monitors.begin(), input.monitors.end(),
                  [&](const ScreenRect& m) { return InColumns(m, stored.left); });
  const bool rowsOnScreen = std::any_of(input.monitors.begin(), input.monitors.end(),
                                        [&](const ScreenRect& m) { return InRows(m, stored.top); });
  if (!columnsOnScreen || !rowsOnScreen) return fallback;
  return {stored.left, stored.top, Difference(stored.right, stored.left),
          Difference(stored.bottom, stored.top)};
}

LayoutScale ScaleAfterPlacement(const LayoutScale& scale, bool layoutInitialised,
                                std::int32_t clientWidth, std::int32_t clientHeight) {
  if (layoutInitialised) return scale;
  LayoutScale placed = scale;
  placed.xbase = std::max(clientWidth, 1);
  placed.ybase = std::max(clientHeight - kHeaderHeight, 1);
  return placed;
}

std::unique_ptr<SettingsKey> OpenGeometryKey(SettingsPort& port, std::uint32_t modelIdentity,
                                             std::uint32_t serialNumber) {
  char16_t subKey[kSettingsKeyChars];
  if (!SoftKeyboardSubKeyName(modelIdentity, serialNumber, subKey, kSettingsKeyChars)) {
    return nullptr;
  }
  return OpenSettingsKey(port, BoundedView(subKey));
}

StoredGeometry ReadGeometry(SettingsPort& port, std::uint32_t modelIdentity,
                            std::uint32_t serialNumber) {
  StoredGeometry geometry;
  std::unique_ptr<SettingsKey> key = OpenGeometryKey(port, modelIdentity, serialNumber);
  if (!key) return geometry;
  geometry.rect = {ReadValue(*key, kGeometryLeft), ReadValue(*key, kGeometryTop),
                   ReadValue(*key, kGeometryRight), ReadValue(*key, kGeometryBottom)};
  geometry.scale = {ReadValue(*key, kGeometryXbase), ReadValue(*key, kGeometryYbase),
                    ReadValue(*key, kGeometryXmag), ReadValue(*key, kGeometryYmag)};
  return geometry;
}

bool WriteGeometryRect(SettingsPort& port, std::uint32_t modelIdentity, std::uint32_t serialNumber,
                       const ScreenRect& rect) {
  std::unique_ptr<SettingsKey> key = OpenGeometryKey(port, modelIdentity, serialNumber);
  if (!key) return false;
  bool ok = key->SetDword(kGeometryLeft, static_cast<std::uint32_t>(rect.left));
  ok = key->SetDword(kGeometryTop, static_cast<std::uint32_t>(rect.top)) && ok;
  ok = key->SetDword(kGeometryRight, static_cast<std::uint32_t>(rect.right)) && ok;
  return key->SetDword(kGeometryBottom, static_cast<std::uint32_t>(rect.bottom)) && ok;
}

bool WriteGeometryScale(SettingsPort& port, std::uint32_t modelIdentity, std::uint32_t serialNumber,
                        const LayoutScale& scale) {
  std::unique_ptr<SettingsKey> key = OpenGeometryKey(port, modelIdentity, serialNumber);
  if (!key) return false;
  bool ok = key->SetDword(kGeometryXbase, static_cast<std::uint32_t>(scale.xbase));
  ok = key->SetDword(kGeometryYbase, static_cast<std::uint32_t>(scale.ybase)) && ok;
  ok = key->SetDword(kGeometryXmag, static_cast<std::uint32_t>(scale.xmag)) && ok;
  return key->SetDword(kGeometryYmag, static_cast<std::uint32_t>(scale.ymag)) && ok;
}

bool StoredScaleUsable(const LayoutScale& scale) {
  return scale.xbase > 0 && scale.ybase > 0 && scale.xmag > 0 && scale.ymag > 0;
}

bool StoredScaleFits(const LayoutTable& table, const LayoutScale& scale) {
  if (!StoredScaleUsable(scale)) return false;
  // Truncation and the closed gaps may take the grid a pixel or two past the client's edge.
  constexpr std::int32_t kSlack = 2;
  const std::int32_t clientWidth = scale.xmag / kStartMag;
  const std::int32_t keyAreaHeight = scale.ymag / kStartMag;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  for (int j = 0; j < kLayoutCells; ++j) {
    const PixelRect cell = CellRect(table, scale, j);
    if (cell.width < kMinStoredKeySize || cell.height < kMinStoredKeySize) return false;
    right = std::max(right, cell.x + cell.width);
    bottom = std::max(bottom, cell.y - kHeaderHeight + cell.height);
  }
  return right <= clientWidth + kSlack && bottom <= keyAreaHeight + kSlack;
}

bool ForgetSmallGeometry(SettingsPort& port, std::uint32_t modelIdentity,
                         std::uint32_t serialNumber) {
  const ScreenRect rect = ReadGeometry(port, modelIdentity, serialNumber).rect;
  if (Difference(rect.right, rect.left) >= kMinTrackSize &&
      Difference(rect.bottom, rect.top) >= kMinTrackSize) {
    return false;
  }
  WriteGeometryScale(port, modelIdentity, serialNumber, {0, 0, 0, 0});
  WriteGeometryRect(port, modelIdentity, serialNumber, {});
  return true;
}

}  // namespace qv
