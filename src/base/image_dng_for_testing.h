// Writes small DNG files with the TIFF library for the DNG decoder's tests and benchmarks:
// one raw image (strips, tiles or packed samples), optionally after a reduced-resolution
// preview, with the colour tags the decoder reads.
//
//   DngLayout layout;
//   layout.bits = 12;
//   std::vector<std::uint8_t> file = make_dng(layout);
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace base::dng_testing {

// XYZ (D65) to linear sRGB: the inverse of the decoder's sRGB-to-XYZ matrix.
extern const std::vector<float> kXyzToSrgb;
// A camera's XYZ-to-camera matrix for D65, of the kind real DNGs carry.
extern const std::vector<float> kCameraMatrix;

// What the writer puts in the file.
struct DngLayout {
  // The sample decoder treats anything below 22 pixels a side as a thumbnail, not a raw image.
  std::uint32_t width = 34;
  std::uint32_t height = 24;
  std::uint16_t bits = 16;
  std::uint16_t samples_per_pixel = 1;
  std::uint16_t sample_format = SAMPLEFORMAT_UINT;
  bool tiled = false;
  std::uint32_t rows_per_strip = 2;
  std::uint16_t compression = COMPRESSION_NONE;
  bool preview_first = false;  // a reduced-resolution preview in IFD0, the raw in a sub-IFD
  std::vector<std::uint8_t> cfa = {2, 1, 1, 0};
  int illuminant1 = 21;
  int illuminant2 = -1;
  std::vector<float> matrix1 = kXyzToSrgb;
  std::vector<float> matrix2;
  std::vector<float> neutral = {0.5f, 1.0f, 0.25f};
  float black = 70000;
  std::uint32_t white = 65535;
  // Sample `channel` of pixel (x, y); when empty, sample_at(x, y, bits) plus the channel.
  std::function<std::uint32_t(std::uint32_t x, std::uint32_t y, std::uint16_t channel)> sample;
};

// The default samples: a pattern over the whole range of a `bits`-bit sample.
std::uint32_t sample_at(std::uint32_t x, std::uint32_t y, unsigned bits);

// The whole file; throws std::runtime_error when the temporary file cannot be written.
std::vector<std::uint8_t> make_dng(const DngLayout& layout);

}  // namespace base::dng_testing
