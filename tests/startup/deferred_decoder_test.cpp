// A HEIF image still decodes when the decoder library's start-up was deferred past loading,
// also after its first decoder is gone and the library has released its tables.

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kSide = 64;

template <class T, auto Free>
using Owned = std::unique_ptr<T, decltype([](T* p) { Free(p); })>;
using Context = Owned<heif_context, heif_context_free>;
using Image = Owned<heif_image, heif_image_release>;
using Handle = Owned<heif_image_handle, heif_image_handle_release>;
using Encoder = Owned<heif_encoder, heif_encoder_release>;

uint8_t sourceGrey(int x, int y) { return static_cast<uint8_t>(2 * x + y); }

heif_error collect(heif_context*, const void* data, size_t size, void* sink) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(sink);
  bytes->insert(bytes->end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

/// A smooth grey ramp as an HEVC-coded HEIF file, in memory.
std::vector<uint8_t> encodedRamp() {
  heif_image* raw = nullptr;
  EXPECT_EQ(heif_image_create(kSide, kSide, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &raw).code,
            heif_error_Ok);
  Image image(raw);
  EXPECT_EQ(heif_image_add_plane(image.get(), heif_channel_interleaved, kSide, kSide, 8).code, heif_error_Ok);
  int stride = 0;
  uint8_t* rgb = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      for (int c = 0; c < 3; ++c) rgb[y * stride + 3 * x + c] = sourceGrey(x, y);
  Context context(heif_context_alloc());
  heif_encoder* rawEncoder = nullptr;
  EXPECT_EQ(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder).code,
            heif_error_Ok);
  Encoder encoder(rawEncoder);
  heif_encoder_set_lossy_quality(encoder.get(), 95);
  EXPECT_EQ(heif_context_encode_image(context.get(), image.get(), encoder.get(), nullptr, nullptr).code,
            heif_error_Ok);
  std::vector<uint8_t> bytes;
  heif_writer writer{1, collect};
  EXPECT_EQ(heif_context_write(context.get(), &writer, &bytes).code, heif_error_Ok);
  return bytes;
}

/// The largest difference of a decoded file from the ramp; -1 when it does not decode.
int largestDecodedError(const std::vector<uint8_t>& file) {
  Context context(heif_context_alloc());
  if (heif_context_read_from_memory_without_copy(context.get(), file.data(), file.size(), nullptr).code !=
      heif_error_Ok)
    return -1;
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) return -1;
  Handle handle(rawHandle);
  heif_image* rawImage = nullptr;
  if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr)
          .code != heif_error_Ok)
    return -1;
  Image image(rawImage);
  int stride = 0;
  const uint8_t* rgb = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  int worst = 0;
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(rgb[y * stride + 3 * x + c] - sourceGrey(x, y)));
  return worst;
}

TEST(DeferredDecoderStart, HeifFilesDecodeBeforeAndAfterTheLibraryReleasesItsTables) {
  const std::vector<uint8_t> file = encodedRamp();
  ASSERT_FALSE(file.empty());
  // Tolerance 12 grey levels: lossy HEVC at quality 95 with 4:2:0 chroma on a smooth ramp (a
  // decoder without its tables gives garbage, far beyond it, or fails).
  for (int round = 0; round < 2; ++round) {
    const int worst = largestDecodedError(file);
    EXPECT_GE(worst, 0) << "round " << round;
    EXPECT_LE(worst, 12) << "round " << round;
  }
}

}  // namespace
