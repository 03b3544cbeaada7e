// The command bitmaps, drawn as 16 rows of 16 palette letters so that they can be read and
// changed in a text editor. The palette is the 16-colour one of toolbar bitmaps; its magenta
// entry ('.') is the transparent background.

#include <array>
#include <cstdint>
#include <string_view>

#include "core/data/command_descriptors.h"

namespace orvex::core {
namespace {

constexpr int kSide = 16;
using Picture = std::array<std::string_view, kSide>;

/// ARGB of a palette letter; the background is magenta with alpha 0.
constexpr std::uint32_t colourOf(char letter) {
  switch (letter) {
    case '0':
      return 0xFF000000u;  // black
    case '1':
      return 0xFF800000u;  // maroon
    case '2':
      return 0xFF008000u;  // green
    case '3':
      return 0xFF808000u;  // olive
    case '4':
      return 0xFF000080u;  // navy
    case '5':
      return 0xFF800080u;  // purple
    case '6':
      return 0xFF008080u;  // teal
    case '7':
      return 0xFFC0C0C0u;  // silver
    case '8':
      return 0xFF808080u;  // grey
    case '9':
      return 0xFFFF0000u;  // red
    case 'a':
      return 0xFF00FF00u;  // lime
    case 'b':
      return 0xFFFFFF00u;  // yellow
    case 'c':
      return 0xFF0000FFu;  // blue
    case 'e':
      return 0xFF00FFFFu;  // aqua
    case 'f':
      return 0xFFFFFFFFu;  // white
    default:
      return 0x00FF00FFu;  // '.', the transparent magenta
  }
}

constexpr bool wellFormed(const Picture& picture) {
  for (std::string_view row : picture)
    if (row.size() != kSide) return false;
  return true;
}

// 201: a database with an arrow pointing out of it.
constexpr Picture kImport{
    "................", "..44444444......", ".4eeeeeeee4..2..", ".4444444444..2..",
    ".4cccccccc4..2..", ".4c444444c4..2..", ".4cccccccc4..2..", ".4c444444c4..2..",
    ".4cccccccc4..2..", ".4c444444c422222", ".4cccccccc4.222.", ".4cccccccc4..2..",
    "..44444444......", "................", "................", "................",
};

// 204: nested density contours around a core.
constexpr Picture kKernel{
    "................", ".....888888.....", "...88......88...", "..8...2222...8..",
    ".8...2....2...8.", ".8..2..99..2..8.", "8..2..9bb9..2..8", "8..2.9bbbb9.2..8",
    "8..2.9bbbb9.2..8", "8..2..9bb9..2..8", ".8..2..99..2..8.", ".8...2....2...8.",
    "..8...2222...8..", "...88......88...", ".....888888.....", "................",
};

// 205: a convex polygon around scattered fixes.
constexpr Picture kMcp{
    "................", "......4444......", "....44.9..44....", "...4........4...",
    "..4..9...9...4..", ".4............4.", ".4...9..9.....4.", ".4.9.......9..4.",
    "..4....9......4.", "..4..9....9..4..", "...4.......9.4..", "...4...9....4...",
    "....4......4....", ".....444444.....", "................", "................",
};

static_assert(wellFormed(kImport) && wellFormed(kKernel) && wellFormed(kMcp), "bitmaps are 16x16");

host::Bitmap render(int resourceId, const Picture& picture) {
  host::Bitmap bitmap;
  bitmap.resourceId = resourceId;
  bitmap.width = kSide;
  bitmap.height = kSide;
  bitmap.argb.reserve(kSide * kSide);
  for (std::string_view row : picture)
    for (char letter : row) bitmap.argb.push_back(colourOf(letter));
  return bitmap;
}

}  // namespace

host::Bitmap commandBitmap(int resourceId) {
  switch (resourceId) {
    case kImportBitmapResource:
      return render(resourceId, kImport);
    case kKernelBitmapResource:
      return render(resourceId, kKernel);
    case kMcpBitmapResource:
      return render(resourceId, kMcp);
    default:
      return {};
  }
}

}  // namespace orvex::core
