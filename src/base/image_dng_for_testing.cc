#include "base/image_dng_for_testing.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace base::dng_testing {

using Bytes = std::vector<std::uint8_t>;

const std::vector<float> kXyzToSrgb = {3.2404542f,  -1.5371385f, -0.4985314f,
                                       -0.9692660f, 1.8760108f,  0.0415560f,
                                       0.0556434f,  -0.2040259f, 1.0572252f};
const std::vector<float> kCameraMatrix = {0.6461f, -0.1164f, -0.0857f, -0.3825f, 1.1597f,
                                          0.2534f, -0.0416f, 0.1540f,  0.6039f};

std::uint32_t sample_at(std::uint32_t x, std::uint32_t y, unsigned bits) {
  return ((y * 131 + x * 37 + 5) * 211) & ((1u << std::min(bits, 16u)) - 1);
}

namespace {

void set_dng_tags(TIFF* tiff, const DngLayout& layout) {
  static const std::uint8_t kVersion[4] = {1, 4, 0, 0};
  TIFFSetField(tiff, TIFFTAG_DNGVERSION, kVersion);
  TIFFSetField(tiff, TIFFTAG_DNGBACKWARDVERSION, kVersion);
  TIFFSetField(tiff, TIFFTAG_MAKE, "Corvalith");
  TIFFSetField(tiff, TIFFTAG_MODEL, "Test Camera");
  TIFFSetField(tiff, TIFFTAG_UNIQUECAMERAMODEL, "Corvalith Test Camera");
  if (!layout.matrix1.empty()) TIFFSetField(tiff, TIFFTAG_COLORMATRIX1, 9, layout.matrix1.data());
  if (!layout.matrix2.empty()) TIFFSetField(tiff, TIFFTAG_COLORMATRIX2, 9, layout.matrix2.data());
  if (layout.illuminant1 >= 0)
    TIFFSetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT1, layout.illuminant1);
  if (layout.illuminant2 >= 0)
    TIFFSetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT2, layout.illuminant2);
  if (!layout.neutral.empty()) TIFFSetField(tiff, TIFFTAG_ASSHOTNEUTRAL, 3, layout.neutral.data());
}

void write_raw_directory(TIFF* tiff, const DngLayout& layout, bool with_dng_tags) {
  TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, 0);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, layout.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samples_per_pixel);
  TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, layout.sample_format);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, layout.compression);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.samples_per_pixel == 1 ? 32803 : 34892);
  if (layout.samples_per_pixel == 1) {
    const std::uint16_t dims[2] = {2, 2};
    TIFFSetField(tiff, TIFFTAG_CFAREPEATPATTERNDIM, dims);
    TIFFSetField(tiff, TIFFTAG_CFAPATTERN, static_cast<int>(layout.cfa.size()), layout.cfa.data());
  }
  TIFFSetField(tiff, TIFFTAG_BLACKLEVEL, 1, &layout.black);
  TIFFSetField(tiff, TIFFTAG_WHITELEVEL, 1, &layout.white);
  if (with_dng_tags) set_dng_tags(tiff, layout);

  const unsigned bytes = layout.bits / 8;
  const std::uint32_t tile = 16;
  if (layout.tiled) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tile);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, tile);
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, layout.rows_per_strip);
  }
  // Samples in the machine's order; the parser swaps as the byte order says.
  auto value = [&](std::uint32_t x, std::uint32_t y, std::uint16_t channel) {
    return layout.sample ? layout.sample(x, y, channel) : sample_at(x, y, layout.bits) + channel;
  };
  auto put = [&](std::uint8_t* at, std::uint32_t x, std::uint32_t y, std::uint16_t channel) {
    const std::uint32_t v = value(x, y, channel);
    if (bytes == 1) *at = static_cast<std::uint8_t>(v);
    if (bytes == 2) *reinterpret_cast<std::uint16_t*>(at) = static_cast<std::uint16_t>(v);
    if (bytes == 4) *reinterpret_cast<std::uint32_t*>(at) = v;
  };
  const unsigned pixel = bytes * layout.samples_per_pixel;
  if (layout.tiled) {
    Bytes buffer(tile * tile * pixel);
    for (std::uint32_t ty = 0; ty < layout.height; ty += tile) {
      for (std::uint32_t tx = 0; tx < layout.width; tx += tile) {
        std::fill(buffer.begin(), buffer.end(), 0);
        for (std::uint32_t y = ty; y < std::min(ty + tile, layout.height); ++y) {
          for (std::uint32_t x = tx; x < std::min(tx + tile, layout.width); ++x) {
            for (std::uint16_t c = 0; c < layout.samples_per_pixel; ++c) {
              put(&buffer[((y - ty) * tile + (x - tx)) * pixel + c * bytes], x, y, c);
            }
          }
        }
        TIFFWriteTile(tiff, buffer.data(), tx, ty, 0, 0);
      }
    }
  } else if (layout.bits % 8 != 0) {
    // Packed samples, most significant bit first, each row starting on a byte.
    const std::uint32_t samples = layout.width * layout.samples_per_pixel;
    Bytes row((samples * layout.bits + 7) / 8);
    for (std::uint32_t y = 0; y < layout.height; ++y) {
      std::fill(row.begin(), row.end(), 0);
      std::uint32_t bit = 0;
      for (std::uint32_t i = 0; i < samples; ++i) {
        const std::uint32_t v =
            value(i / layout.samples_per_pixel, y, i % layout.samples_per_pixel);
        for (int b = layout.bits - 1; b >= 0; --b, ++bit) {
          if ((v >> b) & 1u) row[bit / 8] |= static_cast<std::uint8_t>(0x80u >> (bit % 8));
        }
      }
      TIFFWriteScanline(tiff, row.data(), y, 0);
    }
  } else {
    Bytes row(layout.width * pixel);
    for (std::uint32_t y = 0; y < layout.height; ++y) {
      for (std::uint32_t x = 0; x < layout.width; ++x) {
        for (std::uint16_t c = 0; c < layout.samples_per_pixel; ++c) {
          put(&row[x * pixel + c * bytes], x, y, c);
        }
      }
      TIFFWriteScanline(tiff, row.data(), y, 0);
    }
  }
  TIFFWriteDirectory(tiff);
}

}  // namespace

Bytes make_dng(const DngLayout& layout) {
  static int serial = 0;
  const std::string path =
      (std::filesystem::temp_directory_path() /
       ("corvalith_dng_" + std::to_string(::getpid()) + "_" + std::to_string(serial++) + ".dng"))
          .string();
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) throw std::runtime_error("Cannot write the test DNG " + path);
  if (layout.preview_first) {
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, 4);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, 3);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 3);
    std::uint64_t sub_ifd = 0;
    TIFFSetField(tiff, TIFFTAG_SUBIFD, 1, &sub_ifd);
    set_dng_tags(tiff, layout);
    std::uint8_t row[12] = {};
    for (std::uint32_t y = 0; y < 3; ++y) TIFFWriteScanline(tiff, row, y, 0);
    TIFFWriteDirectory(tiff);
    write_raw_directory(tiff, layout, false);
  } else {
    write_raw_directory(tiff, layout, true);
  }
  TIFFClose(tiff);
  std::ifstream in(path, std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::remove(path.c_str());
  return bytes;
}

}  // namespace base::dng_testing
