#pragma once

// Reads a PNG back through cairo to look at its pixels.

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <set>

namespace orvex::test {

/// The number of distinct colours of the PNG; 0 when it cannot be read. A blank picture has 1.
inline std::size_t distinctColours(const std::filesystem::path& png) {
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  std::set<std::uint32_t> colours;
  if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int y = 0; y < cairo_image_surface_get_height(image); ++y) {
      const auto* row =
          reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
      for (int x = 0; x < cairo_image_surface_get_width(image); ++x) colours.insert(row[x]);
    }
  }
  cairo_surface_destroy(image);
  return colours.size();
}

}  // namespace orvex::test
