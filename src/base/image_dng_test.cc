#include "base/image_dng.h"

#include <gtest/gtest.h>
#include <libraw/libraw.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "base/image_dng_for_testing.h"
#include "base/logging.h"

namespace base {
namespace {

using Bytes = std::vector<std::uint8_t>;

using dng_testing::DngLayout;
using dng_testing::kCameraMatrix;
using dng_testing::kXyzToSrgb;
using dng_testing::make_dng;
using dng_testing::sample_at;

std::string error_of(const Bytes& file) {
  try {
    (void)decode_dng(file.data(), static_cast<int>(file.size()), 1);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}

void expect_near_all(const std::vector<float>& actual, const std::vector<float>& expected,
                     float tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    EXPECT_NEAR(actual[i], expected[i], tolerance) << "entry " << i;
  }
}

void expect_samples(const RawImage<std::uint16_t>& image, const DngLayout& layout) {
  ASSERT_EQ(image.width(), static_cast<int>(layout.width));
  ASSERT_EQ(image.height(), static_cast<int>(layout.height));
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      ASSERT_EQ(image.row(y)[x], sample_at(x, y, layout.bits)) << x << "," << y;
    }
  }
}

TEST(DngDecodeTest, DecodesSamplesAndMetadata) {
  DngLayout layout;
  layout.width = 37;  // stride 48 with alignment 16
  const Bytes file = make_dng(layout);
  RawImage<std::uint16_t> image = decode_dng(file.data(), static_cast<int>(file.size()), 16);
  EXPECT_EQ(image.format(), kImageFormatGrayscale);
  EXPECT_EQ(image.channels(), 1);
  EXPECT_EQ(image.stride(), 48);
  EXPECT_EQ(image.color_filter_array(), kColorFilterArrayRGBG);
  expect_samples(image, layout);
  // CM is the inverse of M: P is the identity, so is the correction.
  expect_near_all(image.color_correction(), {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1e-4f);
  expect_near_all(image.white_balance(), {2, 1, 4}, 0);
  EXPECT_EQ(image.black_level(), 70000 % 65536);
  EXPECT_EQ(image.white_level(), 65535);
}

TEST(DngDecodeTest, RecordChoiceAndMatrixSearch) {
  // Preview in IFD0 carrying the colour tags, full image in a sub-IFD; the D65 matrix is the
  // second one.
  DngLayout layout;
  layout.preview_first = true;
  layout.illuminant1 = 17;
  layout.matrix1 = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  layout.illuminant2 = 21;
  layout.matrix2 = kCameraMatrix;
  const Bytes file = make_dng(layout);
  RawImage<std::uint16_t> image = decode_dng(file.data(), static_cast<int>(file.size()), 1);
  expect_samples(image, layout);

  // Expected: inverse of the row-normalised CM x M, worked out in double precision.
  const double m[9] = {0.4124564, 0.3575761, 0.1804375, 0.2126729, 0.7151522,
                       0.0721750, 0.0193339, 0.1191920, 0.9503041};
  double p[9];
  for (int i = 0; i < 3; ++i) {
    double sum = 0;
    for (int j = 0; j < 3; ++j) {
      p[i * 3 + j] = 0;
      for (int k = 0; k < 3; ++k) p[i * 3 + j] += kCameraMatrix[i * 3 + k] * m[k * 3 + j];
      sum += p[i * 3 + j];
    }
    for (int j = 0; j < 3; ++j) p[i * 3 + j] /= sum;
  }
  // The correction times P is the identity.
  const std::vector<float>& c = image.color_correction();
  std::vector<float> product(9);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      for (int k = 0; k < 3; ++k) product[i * 3 + j] += c[i * 3 + k] * float(p[k * 3 + j]);
    }
  }
  expect_near_all(product, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1e-4f);
  // And it maps camera white to sRGB white.
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(c[i * 3] + c[i * 3 + 1] + c[i * 3 + 2], 1, 1e-4f);
}

TEST(DngDecodeTest, PackedSamplesOfFewerBits) {
  for (std::uint16_t bits : {12, 14}) {
    SCOPED_TRACE(bits);
    DngLayout layout;
    layout.bits = bits;
    layout.width = 36;
    layout.white = (1u << bits) - 1;
    const Bytes file = make_dng(layout);
    RawImage<std::uint16_t> image = decode_dng(file.data(), static_cast<int>(file.size()), 4);
    expect_samples(image, layout);
    EXPECT_EQ(image.white_level(), (1u << bits) - 1);
    // The camera-raw library unpacks the same samples.
    LibRaw raw(0);
    Bytes copy = file;
    ASSERT_EQ(raw.open_buffer(copy.data(), copy.size()), LIBRAW_SUCCESS);
    ASSERT_EQ(raw.unpack(), LIBRAW_SUCCESS);
    ASSERT_EQ(raw.imgdata.sizes.raw_width, layout.width);
    const std::size_t pitch = raw.imgdata.sizes.raw_pitch / 2;
    for (int y = 0; y < image.height(); ++y) {
      ASSERT_EQ(
          0, std::memcmp(image.row(y), raw.imgdata.rawdata.raw_image + pitch * y, layout.width * 2))
          << y;
    }
  }
}

// The 12-byte entries of the first directory of a little-endian file, in place.
std::vector<std::uint8_t*> first_directory_entries(Bytes* file) {
  std::uint32_t ifd = 0;
  std::memcpy(&ifd, file->data() + 4, 4);
  std::uint16_t count = 0;
  std::memcpy(&count, file->data() + ifd, 2);
  std::vector<std::uint8_t*> entries;
  for (std::uint16_t i = 0; i < count; ++i) entries.push_back(file->data() + ifd + 2 + i * 12);
  return entries;
}

// Rewrites one short-valued tag of the first directory of a little-endian file.
Bytes with_tag(Bytes file, std::uint16_t wanted, std::uint32_t value, std::uint16_t type) {
  for (std::uint8_t* entry : first_directory_entries(&file)) {
    std::uint16_t tag = 0;
    std::memcpy(&tag, entry, 2);
    if (tag != wanted) continue;
    std::memcpy(entry + 2, &type, 2);
    std::memset(entry + 8, 0, 4);
    std::memcpy(entry + 8, &value, type == TIFF_SHORT ? 2 : 4);
  }
  return file;
}

TEST(DngDecodeTest, CompressedSamples) {
  for (std::uint16_t bits : {16, 12}) {
    SCOPED_TRACE(bits);
    DngLayout layout;
    layout.compression = COMPRESSION_ADOBE_DEFLATE;
    layout.bits = bits;
    const Bytes file = make_dng(layout);
    expect_samples(decode_dng(file.data(), static_cast<int>(file.size()), 1), layout);
  }
  // Lossless JPEG goes to the camera-raw library; plain samples labelled so are refused by it.
  const Bytes mislabelled = with_tag(make_dng(DngLayout{}), TIFFTAG_COMPRESSION, 7, TIFF_SHORT);
  const std::string text = error_of(mislabelled);
  EXPECT_EQ(text.rfind("DNG: Unable to decode the samples: ", 0), 0u) << text;
}

// Lossless JPEG (SOF3, one component, predictor 1, 16 five-bit Huffman codes that name the
// difference's bit count) of `width` x `height` samples at `precision` bits: what cameras write
// into compressed DNGs, encoded here because no packaged tool writes it.
Bytes lossless_jpeg(std::uint32_t width, std::uint32_t height, int precision,
                    const std::function<std::uint32_t(std::uint32_t, std::uint32_t)>& sample) {
  Bytes out = {0xFF, 0xD8};
  auto u16 = [&](unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
  };
  u16(0xFFC4);  // one DC table: 17 codes of 5 bits, code k for bit count k
  u16(2 + 1 + 16 + 17);
  out.push_back(0x00);
  for (int length = 1; length <= 16; ++length) out.push_back(length == 5 ? 17 : 0);
  for (int category = 0; category <= 16; ++category)
    out.push_back(static_cast<std::uint8_t>(category));
  u16(0xFFC3);
  u16(11);
  out.push_back(static_cast<std::uint8_t>(precision));
  u16(height);
  u16(width);
  out.insert(out.end(), {1, 1, 0x11, 0});
  u16(0xFFDA);
  u16(8);
  out.insert(out.end(), {1, 1, 0x00, 1, 0, 0});  // predictor 1 (left), no point transform

  std::uint32_t bits = 0;
  int count = 0;
  auto put = [&](std::uint32_t value, int length) {
    for (int b = length - 1; b >= 0; --b) {
      bits = bits << 1 | ((value >> b) & 1u);
      if (++count == 8) {
        out.push_back(static_cast<std::uint8_t>(bits));
        if (bits == 0xFF) out.push_back(0);  // byte stuffing
        bits = 0;
        count = 0;
      }
    }
  };
  std::uint32_t first_of_row = 1u << (precision - 1);
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint32_t left = 0;
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t value = sample(x, y);
      const std::uint32_t predicted = x == 0 ? first_of_row : left;
      if (x == 0) first_of_row = value;
      left = value;
      // Differences are taken modulo 2^16, in -32767..32768.
      int difference = static_cast<int>(value) - static_cast<int>(predicted);
      if (difference > 32768) difference -= 65536;
      if (difference < -32767) difference += 65536;
      int category = 0;
      while (category < 16 && (1 << category) <= std::abs(difference)) ++category;
      put(static_cast<std::uint32_t>(category), 5);
      if (category > 0 && category < 16) {
        put(static_cast<std::uint32_t>(difference < 0 ? difference + (1 << category) - 1
                                                      : difference),
            category);
      }
    }
  }
  if (count > 0) put(0xFF, 8 - count);  // pad with ones
  u16(0xFFD9);
  return out;
}

// Replaces the first directory's sample segments (strips or tiles, in order) with `segments`
// appended to the file.
void replace_segments(Bytes* file_bytes, const std::vector<Bytes>& segments) {
  Bytes& file = *file_bytes;
  std::vector<std::uint32_t> offsets;
  for (const Bytes& segment : segments) {
    offsets.push_back(static_cast<std::uint32_t>(file.size()));
    file.insert(file.end(), segment.begin(), segment.end());
  }
  for (std::uint8_t* entry : first_directory_entries(&file)) {
    std::uint16_t tag = 0, type = 0;
    std::uint32_t count = 0;
    std::memcpy(&tag, entry, 2);
    std::memcpy(&type, entry + 2, 2);
    std::memcpy(&count, entry + 4, 4);
    const bool is_offsets = tag == TIFFTAG_STRIPOFFSETS || tag == TIFFTAG_TILEOFFSETS;
    if (!is_offsets && tag != TIFFTAG_STRIPBYTECOUNTS && tag != TIFFTAG_TILEBYTECOUNTS) continue;
    EXPECT_EQ(count, segments.size());
    // The writer stores small byte counts as shorts.
    ASSERT_TRUE(type == TIFF_LONG || type == TIFF_SHORT) << type;
    const std::size_t width = type == TIFF_LONG ? 4 : 2;
    std::uint8_t* values = entry + 8;
    if (count * width > 4) {
      std::uint32_t at = 0;
      std::memcpy(&at, entry + 8, 4);
      values = &file[at];
    }
    for (std::uint32_t k = 0; k < count && k < segments.size(); ++k) {
      const auto value = is_offsets ? offsets[k] : static_cast<std::uint32_t>(segments[k].size());
      if (width == 2) {
        ASSERT_LT(value, 65536u);
        const auto narrow = static_cast<std::uint16_t>(value);
        std::memcpy(values + 2 * k, &narrow, 2);
      } else {
        std::memcpy(values + 4 * k, &value, 4);
      }
    }
  }
}

// The file with its samples replaced by lossless JPEG segments, labelled so.
Bytes with_jpeg_segments(Bytes file, const std::vector<Bytes>& segments) {
  replace_segments(&file, segments);
  return with_tag(std::move(file), TIFFTAG_COMPRESSION, 7, TIFF_SHORT);
}

TEST(DngDecodeTest, LosslessJpegSamples) {
  auto sample_of = [](const DngLayout& layout) {
    return [&layout](std::uint32_t x, std::uint32_t y) {
      // Beyond the image (a tile's padding) the camera repeats the edge.
      return sample_at(std::min(x, layout.width - 1), std::min(y, layout.height - 1), layout.bits);
    };
  };
  for (std::uint16_t bits : {16, 14, 12}) {
    SCOPED_TRACE(bits);
    DngLayout strip;
    strip.bits = 16;  // the placeholder samples are written whole, then replaced
    strip.rows_per_strip = strip.height;
    strip.white = (1u << bits) - 1;
    const Bytes plain = make_dng(strip);
    strip.bits = bits;
    const Bytes file =
        with_tag(with_jpeg_segments(
                     plain, {lossless_jpeg(strip.width, strip.height, bits, sample_of(strip))}),
                 TIFFTAG_BITSPERSAMPLE, bits, TIFF_SHORT);
    RawImage<std::uint16_t> image = decode_dng(file.data(), static_cast<int>(file.size()), 1);
    expect_samples(image, strip);
    EXPECT_EQ(image.white_level(), (1u << bits) - 1);
  }

  // Tiles of 16 x 16, each its own JPEG, the right and bottom ones padded.
  DngLayout tiled;
  tiled.tiled = true;
  tiled.width = 40;
  tiled.height = 30;
  std::vector<Bytes> tiles;
  for (std::uint32_t ty = 0; ty < tiled.height; ty += 16) {
    for (std::uint32_t tx = 0; tx < tiled.width; tx += 16) {
      tiles.push_back(lossless_jpeg(16, 16, 16, [&](std::uint32_t x, std::uint32_t y) {
        return sample_of(tiled)(tx + x, ty + y);
      }));
    }
  }
  const Bytes file = with_jpeg_segments(make_dng(tiled), tiles);
  expect_samples(decode_dng(file.data(), static_cast<int>(file.size()), 1), tiled);

  // A damaged entropy-coded segment fails instead of leaving wrong samples.
  Bytes damaged = file;
  damaged.resize(damaged.size() - 40);
  EXPECT_EQ(error_of(damaged).rfind("DNG: Unable to decode the samples: ", 0), 0u)
      << error_of(damaged);
}

TEST(DngDecodeTest, TiledAndDefaults) {
  DngLayout tiled;
  tiled.tiled = true;
  tiled.width = 40;
  tiled.height = 30;
  const Bytes file = make_dng(tiled);
  RawImage<std::uint16_t> image = decode_dng(file.data(), static_cast<int>(file.size()), 8);
  expect_samples(image, tiled);

  // No AsShotNeutral: neutral white balance. A lone matrix without an illuminant is used.
  DngLayout plain;
  plain.neutral.clear();
  plain.illuminant1 = -1;
  const Bytes plain_file = make_dng(plain);
  RawImage<std::uint16_t> neutral =
      decode_dng(plain_file.data(), static_cast<int>(plain_file.size()), 1);
  expect_near_all(neutral.white_balance(), {1, 1, 1}, 0);
  expect_near_all(neutral.color_correction(), {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1e-4f);
}

TEST(DngDecodeTest, ChecksInOrder) {
  struct Case {
    const char* name;
    DngLayout layout;
    const char* message;
  };
  std::vector<Case> cases;
  auto add = [&](const char* name, const char* message, auto change) {
    DngLayout layout;
    change(layout);
    cases.push_back({name, layout, message});
  };
  add("two channels", "image_format != ImageFormat::kImageFormatNone check failed",
      [](DngLayout& s) { s.samples_per_pixel = 2; });
  add("float samples", "dng_image.sample_format == kSampleFormatUint check failed",
      [](DngLayout& s) { s.sample_format = SAMPLEFORMAT_IEEEFP, s.bits = 32; });
  add("8-bit", "dng_image.bits_per_sample == 8 * sizeof(dtype) check failed",
      [](DngLayout& s) { s.bits = 8; });
  add("8-bit without D65", "dng_image.bits_per_sample == 8 * sizeof(dtype) check failed",
      [](DngLayout& s) { s.bits = 8, s.illuminant1 = 17; });
  add("32-bit", "dng_image.bits_per_sample == 8 * sizeof(dtype) check failed",
      [](DngLayout& s) { s.bits = 32; });
  add("linear three-channel", "dng_image.samples_per_pixel == 1 check failed",
      [](DngLayout& s) { s.samples_per_pixel = 3; });
  add("no D65", "false && \"Could not find required color correction matrix\" check failed",
      [](DngLayout& s) { s.illuminant1 = 17; });
  add("singular matrix", "det > kEpsilon || det < -kEpsilon check failed",
      [](DngLayout& s) { s.matrix1 = {1, 0, 0, 1, 0, 0, 0, 0, 1}; });
  add("second mosaic",
      "cfa == kColorFilterArrayRGBG && \"Unsupported color filter array\" check failed",
      [](DngLayout& s) {
        s.cfa = {1, 2, 0, 1};
      });
  add("other mosaic", "false && \"Unsupported color filter array\" check failed", [](DngLayout& s) {
    s.cfa = {0, 1, 1, 2};
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = error_of(make_dng(c.layout));
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }
}

TEST(DngDecodeTest, UnparsableInput) {
  const Bytes garbage = {'n', 'o', 't', ' ', 'a', ' ', 'd', 'n', 'g'};
  const Bytes empty;
  const Bytes valid = make_dng(DngLayout{});
  const Bytes header_only(valid.begin(), valid.begin() + 8);
  for (const Bytes* file : {&garbage, &empty, &header_only}) {
    SCOPED_TRACE(file->size());
    const std::string text = error_of(*file);
    EXPECT_NE(text.find(" ret check failed"), std::string::npos) << text;
  }
  // Every prefix of a valid file fails cleanly or, when only unused trailing bytes are cut,
  // still gives the right samples.
  int failures = 0;
  for (std::size_t length = 0; length < valid.size(); length += 13) {
    SCOPED_TRACE(length);
    try {
      expect_samples(decode_dng(valid.data(), static_cast<int>(length), 1), DngLayout{});
    } catch (const std::exception&) {
      ++failures;
    }
  }
  EXPECT_GT(failures, static_cast<int>(valid.size() / 13) - 4);
}

Bytes with_size(const Bytes& file, std::uint16_t width, std::uint16_t height) {
  return with_tag(with_tag(file, TIFFTAG_IMAGEWIDTH, width, TIFF_LONG), TIFFTAG_IMAGELENGTH, height,
                  TIFF_LONG);
}

TEST(DngDecodeTest, DeclaredSizesAreCheckedBeforeAllocation) {
  const Bytes valid = make_dng(DngLayout{});
  struct Case {
    std::uint16_t width, height;
    const char* message;
  } cases[] = {
      {40000, 30000, "DNG: Image of 40000x30000 is too large"},
      {65535, 8193, "DNG: Image of 65535x8193 is too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(error_of(with_size(valid, c.width, c.height)), c.message);
  }
  for (const Bytes& empty : {with_size(valid, 0, 24), with_size(valid, 34, 0)}) {
    EXPECT_NE(error_of(empty), "no exception");
  }
}

TEST(DngDecodeTest, RealCameraFileFailsOnItsMosaic) {
  // Beside the clone in CI; beside the worktree folder in a developer's checkout.
  std::string path = std::string(CORVALITH_SOURCE_DIR) + "/../shared/testdata/colorchart.dng";
  std::ifstream in(path, std::ios::binary);
  if (!in.good()) {
    path = std::string(CORVALITH_SOURCE_DIR) + "/../../shared/testdata/colorchart.dng";
    in.open(path, std::ios::binary);
  }
  if (!in.good()) GTEST_SKIP() << "camera file not present beside the source tree";
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // RGGB (CFAPattern 0 1 1 2) is not a supported arrangement; its one matrix has no
  // illuminant, so the matrix search succeeds first.
  EXPECT_NE(error_of(file).find("false && \"Unsupported color filter array\" check failed"),
            std::string::npos)
      << error_of(file);
}

}  // namespace
}  // namespace base
