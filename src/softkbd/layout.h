// The soft keyboard's key grid: the two 30-cell layout tables in layout units, the scale that
// maps them to the client area below the header band, the gap closing and page-tab adjustment of
// the buttons, the window's first placement on the desktop and the eight registry values that
// keep a key pad's window size, position and scale.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "access/access_ports.h"
#include "common/key_code_record.h"
#include "common/settings_store.h"

namespace qv {

inline constexpr int kLayoutCells = 30;
// The header band above the keys: logo, serial number and the three header icons.
inline constexpr int kHeaderHeight = 51;
// A stored window narrower or lower than this is forgotten.
inline constexpr int kMinTrackSize = 300;
// Control id of key button 0; button j has kFirstSoftKeyButtonId + j.
inline constexpr int kFirstSoftKeyButtonId = 32968;
// Starting scale: one layout unit is five pixels.
inline constexpr std::int32_t kStartMag = 5;

struct KeyCell {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  char16_t label[4] = {};  // "1" .. "30"
};

struct LayoutTable {
  std::array<KeyCell, kLayoutCells> cells;
  int columns = 6;
};

// 6 x 5 cells of 10 x 10 units, and 5 x 6 cells of 12 x 10 units (model 0xB5B50777).
const LayoutTable& StandardLayout();
const LayoutTable& AlternateLayout();
const LayoutTable& LayoutTableFor(SoftKeyLayout layout);

// Model identities 0x01001225 and 0x0100130D: six pages of 24 keys.
bool IsPagedKeyboard(std::uint32_t modelIdentity);
// The key a button shows: j on single-page keyboards, currentPage x 24 + j - 6 below the tabs of
// a paged keyboard; -1 for a page tab or a button out of range.
int KeyForButton(bool paged, int currentPage, int button);

// The scale of one soft keyboard: a cell unit is xmag / xbase pixels wide and ymag / ybase high.
struct LayoutScale {
  std::int32_t xbase = 1;
  std::int32_t ybase = 1;
  std::int32_t xmag = kStartMag;
  std::int32_t ymag = kStartMag;
};

struct PixelRect {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PixelRect&) const = default;
};

struct ScreenRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const ScreenRect&) const = default;
};

// Cell `j` in client pixels, the keys below the header band; multiplication first, truncating
// division. A scale with a base of 0 or below maps to an empty rectangle.
PixelRect CellRect(const LayoutTable& table, const LayoutScale& scale, int j);

// Button j with the gaps that truncation leaves closed: a button of the last column is widened by
// one pixel unless it meets the client's right edge, any other by one unless it meets its right
// neighbour; the same downwards for the last row, the client's bottom and the cell below.
PixelRect KeyButtonRect(const LayoutTable& table, const LayoutScale& scale, int j,
                        std::int32_t clientWidth, std::int32_t clientHeight);

// The page tab look: the current page's tab a third lower and a sixteenth narrower (centred),
// the others a thirty-second lower and an eighth shorter.
PixelRect AdjustTab(PixelRect tab, bool current);

// Button j as it is placed on creation and resize: gaps closed, then the tab adjustment for the
// tabs of a paged keyboard.
PixelRect PlacedButtonRect(const LayoutTable& table, const LayoutScale& scale, int j,
                           std::int32_t clientWidth, std::int32_t clientHeight, bool paged,
                           int currentPage);

// The key size the captions are fitted to: the smaller of cell 0's width and height at the scale,
// a quotient of 0 (a scale not converted yet) replaced by its undivided product.
std::int32_t CaptionSize(const LayoutTable& table, const LayoutScale& scale);

// What a page change does to the grid of a paged keyboard.
struct PageLayout {
  bool changed = false;  // false: page out of range, nothing to do
  int currentPage = 0;
  LayoutScale scale;
  std::array<PixelRect, kPageCount> tabs{};  // paged keyboards only
  std::int32_t captionSize = 0;
};
// Page `page` of the keyboard: on a paged keyboard a starting scale is converted first (xmag =
// 5 x xbase, ymag = ymag x ybase) and the six tabs are laid out without gap closing; a page past
// the sixth changes nothing. A single-page keyboard always shows page 0.
PageLayout LayoutPage(const LayoutTable& table, const LayoutScale& scale, bool paged, int page);

// The window's placement.
struct PlacementInput {
  std::int32_t buttonsRight = 0;   // largest right edge of the buttons, screen coordinates
  std::int32_t buttonsBottom = 0;  // largest bottom edge
  std::int32_t frameWidth = 0;     // SM_CXFRAME
  std::int32_t frameHeight = 0;    // SM_CYFRAME
  ScreenRect workArea;
  ScreenRect stored;  // the registry's "left", "top", "right", "bottom"
  std::span<const ScreenRect> monitors;
};
struct Placement {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Placement&) const = default;
};
// The stored rectangle when one is stored and its left edge lies within some monitor's columns
// and its top within some monitor's rows (not necessarily the same monitor); otherwise just the
// size that holds the buttons, at the bottom-right corner of the work area.
Placement PlaceWindow(const PlacementInput& input);

// The bases after the first placement: the client size, unless a stored scale was loaded. A base
// never drops below 1, so the cell mapping never divides by zero.
LayoutScale ScaleAfterPlacement(const LayoutScale& scale, bool layoutInitialised,
                                std::int32_t clientWidth, std::int32_t clientHeight);

// The eight geometry values of one key pad, under its sub-key of the settings key.
struct StoredGeometry {
  ScreenRect rect;
  LayoutScale scale{0, 0, 0, 0};
};
inline constexpr std::u16string_view kGeometryLeft = u"left";
inline constexpr std::u16string_view kGeometryTop = u"top";
inline constexpr std::u16string_view kGeometryRight = u"right";
inline constexpr std::u16string_view kGeometryBottom = u"bottom";
inline constexpr std::u16string_view kGeometryXbase = u"xbase";
inline constexpr std::u16string_view kGeometryYbase = u"ybase";
inline constexpr std::u16string_view kGeometryXmag = u"xmag";
inline constexpr std::u16string_view kGeometryYmag = u"ymag";

// Opens (creating) the key pad's geometry key; null when it cannot be opened or its name would
// not fit (a cut name would be another key pad's key).
std::unique_ptr<SettingsKey> OpenGeometryKey(SettingsPort& port, std::uint32_t modelIdentity,
                                             std::uint32_t serialNumber);
// Missing, unreadable and non-DWORD values read as 0.
StoredGeometry ReadGeometry(SettingsPort& port, std::uint32_t modelIdentity,
                            std::uint32_t serialNumber);
bool WriteGeometryRect(SettingsPort& port, std::uint32_t modelIdentity, std::uint32_t serialNumber,
                       const ScreenRect& rect);
bool WriteGeometryScale(SettingsPort& port, std::uint32_t modelIdentity, std::uint32_t serialNumber,
                        const LayoutScale& scale);
// A stored scale is used only when all four values are set; bases and magnitudes that are not
// positive cannot be a scale the window wrote, and count as missing.
bool StoredScaleUsable(const LayoutScale& scale);
// The smallest key, in pixels, that a stored scale may give. A window the user sized never comes
// near it: at its smallest, 300 x 300, its keys are still about 45 pixels.
inline constexpr std::int32_t kMinStoredKeySize = 16;
// A stored scale is used only when its grid fits the client area it was stored with (xmag and
// ymag are five times its size) and every cell is at least kMinStoredKeySize wide and high:
// values edited or damaged in the registry would otherwise keep the buttons enormous or too small
// to use for good.
bool StoredScaleFits(const LayoutTable& table, const LayoutScale& scale);
// The start of a soft keyboard: a stored window smaller than 300 x 300 (or none) is forgotten,
// all eight values written as 0. True when they were reset.
bool ForgetSmallGeometry(SettingsPort& port, std::uint32_t modelIdentity,
                         std::uint32_t serialNumber);

}  // namespace qv
