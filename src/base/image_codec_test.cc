#include "base/image_codec.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/logging.h"

namespace base {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes read_fixture(const std::string& name) {
  std::ifstream in(std::string(CORVALITH_SOURCE_DIR) + "/testdata/images/" + name,
                   std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The image's pixels with the row padding removed.
Bytes packed(const Image<std::uint8_t>& image) {
  Bytes out;
  const std::size_t row = static_cast<std::size_t>(image.width()) * image.channels();
  for (int y = 0; y < image.height(); ++y) out.insert(out.end(), image.row(y), image.row(y) + row);
  return out;
}

Bytes luma_of(const Bytes& pixels, int channels) {
  Bytes out(pixels.size() / channels);
  luma_row(pixels.data(), channels, out.data(), static_cast<int>(out.size()));
  return out;
}

// Every byte equal, reporting the first difference only.
void expect_same_pixels(const Bytes& actual, const Bytes& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      ADD_FAILURE() << "byte " << i << ": " << int(actual[i]) << " != " << int(expected[i]);
      return;
    }
  }
}

std::string error_text(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no exception";
}

// An RGB image of pseudo-random samples from `seed`: the worst case for a compressor.
Image<std::uint8_t> noise_image(int width, int height, std::uint32_t seed) {
  Image<std::uint8_t> noise(width, height, kImageFormatRGB, 1);
  std::uint32_t state = seed;
  for (std::size_t i = 0; i < noise.size(); ++i) {
    state = state * 1664525u + 1013904223u;
    noise.data()[i] = static_cast<std::uint8_t>(state >> 24);
  }
  return noise;
}

struct Encoded {
  void* data = nullptr;
  std::size_t size = 0;
  int reallocations = -1;
  ~Encoded() { std::free(data); }
  const void* bytes() const { return data; }
  int length() const { return static_cast<int>(size); }
};

// ---- JPEG -------------------------------------------------------------------------------------

TEST(JpegDecodeTest, MatchesIndependentDecoderInEveryLayout) {
  struct Case {
    const char* file;
    const char* reference;  // packed RGB
  } cases[] = {
      {"baseline.jpg", "baseline.rgb"},
      {"progressive.jpg", "progressive.rgb"},
      {"grey.jpg", "grey_jpg.rgb"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Bytes file = read_fixture(c.file);
    const Bytes rgb = read_fixture(c.reference);
    for (ImageFormat format : {kImageFormatNative, kImageFormatRGB}) {
      Image<std::uint8_t> image = decode_jpeg(file.data(), int(file.size()), format, 16);
      EXPECT_EQ(image.format(), kImageFormatRGB);
      EXPECT_EQ(image.width(), 37);
      EXPECT_EQ(image.height(), 23);
      EXPECT_EQ(image.stride(), 112);
      expect_same_pixels(packed(image), rgb);
    }
    Image<std::uint8_t> rgba = decode_jpeg(file.data(), int(file.size()), kImageFormatRGBA, 1);
    EXPECT_EQ(rgba.format(), kImageFormatRGBA);
    Bytes with_alpha;
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
      with_alpha.insert(with_alpha.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    }
    expect_same_pixels(packed(rgba), with_alpha);
    Image<std::uint8_t> grey = decode_jpeg(file.data(), int(file.size()), kImageFormatGrayscale, 8);
    EXPECT_EQ(grey.channels(), 1);
    expect_same_pixels(packed(grey), luma_of(rgb, 3));
  }
}

TEST(JpegDecodeTest, WhiteStaysWhiteInGrey) {
  Image<std::uint8_t> white(16, 8, kImageFormatRGB, 1);
  std::memset(white.data(), 255, white.size());
  Encoded jpeg;
  encode_jpeg(white, &jpeg.data, &jpeg.size, 95);
  Image<std::uint8_t> grey = decode_jpeg(jpeg.bytes(), jpeg.length(), kImageFormatGrayscale, 4);
  for (std::uint8_t v : packed(grey)) ASSERT_EQ(v, 255);
}

TEST(JpegDecodeTest, TruncatedFileDecodesPadded) {
  const Bytes file = read_fixture("baseline.jpg");
  const Bytes rgb = read_fixture("baseline.rgb");
  // Cut inside the second row of blocks: the first row of pixels is complete.
  const int length = static_cast<int>(file.size()) - 60;
  Image<std::uint8_t> image = decode_jpeg(file.data(), length, kImageFormatNative, 1);
  EXPECT_EQ(image.width(), 37);
  EXPECT_EQ(image.height(), 23);
  EXPECT_EQ(0, std::memcmp(image.data(), rgb.data(), 37 * 3));
  EXPECT_NE(0, std::memcmp(image.data(), rgb.data(), rgb.size()));
}

TEST(JpegDecodeTest, FailuresThrowWithoutEndingTheProcess) {
  const Bytes baseline = read_fixture("baseline.jpg");
  const Bytes cmyk = read_fixture("cmyk.jpg");
  Bytes corrupt = baseline;
  Bytes huge = baseline;  // 60000 x 60000 pixels declared
  for (std::size_t i = 0; i + 8 < baseline.size(); ++i) {
    if (baseline[i] == 0xFF && baseline[i + 1] == 0xC0) {  // start of frame: sizes at +5
      corrupt[i + 5] = corrupt[i + 6] = 0;                 // zero height
      huge[i + 5] = huge[i + 7] = 0xEA;
      huge[i + 6] = huge[i + 8] = 0x60;
    }
  }
  const std::uint8_t not_jpeg[] = {'h', 'e', 'l', 'l', 'o'};
  struct Case {
    const char* name;
    const void* data;
    int length;
    ImageFormat format;
    const char* message;
  } cases[] = {
      {"cmyk", cmyk.data(), int(cmyk.size()), kImageFormatRGB,
       "JPEGCodec: Unsupported color conversion request"},
      {"not a jpeg", not_jpeg, 5, kImageFormatRGB,
       "JPEGCodec: Not a JPEG file: starts with 0x68 0x65"},
      {"empty", nullptr, 0, kImageFormatRGB, "JPEGCodec: Not a JPEG file: starts with 0xff 0xd9"},
      {"zero height", corrupt.data(), int(corrupt.size()), kImageFormatRGB,
       "JPEGCodec: Empty JPEG image (DNL not supported)"},
      {"too large", huge.data(), int(huge.size()), kImageFormatRGB,
       "JPEGCodec: Image of 60000x60000 is too large"},
      {"bgra", baseline.data(), int(baseline.size()), kImageFormatBGRA,
       "JPEGCodec: Unhandled format 5"},
      {"none", baseline.data(), int(baseline.size()), kImageFormatNone,
       "JPEGCodec: Unhandled format 0"},
      {"out of range", baseline.data(), int(baseline.size()), static_cast<ImageFormat>(9),
       "JPEGCodec: Unhandled format 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = error_text([&] { (void)decode_jpeg(c.data, c.length, c.format, 1); });
    EXPECT_EQ(text.rfind(c.message, 0), 0u) << text;
  }
}

TEST(JpegEncodeTest, RoundTripsEveryLayout) {
  const Bytes file = read_fixture("baseline.jpg");
  const Image<std::uint8_t> rgb = decode_jpeg(file.data(), int(file.size()), kImageFormatRGB, 1);
  for (ImageFormat format :
       {kImageFormatRGB, kImageFormatRGBA, kImageFormatBGRA, kImageFormatGrayscale}) {
    SCOPED_TRACE(static_cast<int>(format));
    Image<std::uint8_t> source(rgb.width(), rgb.height(), format, 32);
    for (int y = 0; y < rgb.height(); ++y) {
      const std::uint8_t* in = rgb.row(y);
      std::uint8_t* out = source.row(y);
      if (format == kImageFormatRGB) std::memcpy(out, in, rgb.width() * 3);
      if (format == kImageFormatRGBA) rgb_to_rgba_row(in, out, rgb.width());
      if (format == kImageFormatBGRA) {
        rgb_to_rgba_row(in, out, rgb.width());
        rgba_to_bgra_row(out, out, rgb.width());
      }
      if (format == kImageFormatGrayscale) luma_row(in, 3, out, rgb.width());
    }
    Encoded jpeg;
    encode_jpeg(source, &jpeg.data, &jpeg.size, 100, &jpeg.reallocations);
    EXPECT_EQ(jpeg.reallocations, 0);
    ASSERT_GT(jpeg.size, 100u);
    // Decoded independently, the colours come back within JPEG's loss.
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    ASSERT_EQ(tjDecompressHeader3(tj, static_cast<unsigned char*>(jpeg.data), jpeg.size, &width,
                                  &height, &subsampling, &colorspace),
              0);
    EXPECT_EQ(width, 37);
    EXPECT_EQ(height, 23);
    EXPECT_EQ(colorspace, format == kImageFormatGrayscale ? TJCS_GRAY : TJCS_YCbCr);
    Bytes back(37 * 23 * 3);
    ASSERT_EQ(tjDecompress2(tj, static_cast<unsigned char*>(jpeg.data), jpeg.size, back.data(), 37,
                            0, 23, TJPF_RGB, 0),
              0);
    tjDestroy(tj);
    const Bytes expected = packed(rgb);
    int worst = 0;
    for (std::size_t i = 0; i < back.size(); ++i) {
      const int want =
          format == kImageFormatGrayscale
              ? luma(expected[i / 3 * 3], expected[i / 3 * 3 + 1], expected[i / 3 * 3 + 2])
              : expected[i];
      worst = std::max(worst, std::abs(int(back[i]) - want));
    }
    EXPECT_LE(worst, 24);
  }
}

TEST(JpegEncodeTest, BufferGrowsFromTheEstimate) {
  // Noise compresses badly: a 512x512 RGB image at quality 100 overflows the 78643-byte start.
  const Image<std::uint8_t> noise = noise_image(512, 512, 12345);
  Encoded jpeg;
  encode_jpeg(noise, &jpeg.data, &jpeg.size, 100, &jpeg.reallocations);
  EXPECT_GT(jpeg.size, 512u * 512 * 3 / 10);
  EXPECT_GE(jpeg.reallocations, 1);
  Image<std::uint8_t> back = decode_jpeg(jpeg.bytes(), jpeg.length(), kImageFormatRGB, 1);
  EXPECT_EQ(back.width(), 512);

  Image<std::uint8_t> empty;
  Encoded none;
  EXPECT_EQ(
      error_text([&] { encode_jpeg(empty, &none.data, &none.size, 90); }).rfind("JPEGCodec: ", 0),
      0u);
  EXPECT_EQ(none.data, nullptr);
}

// ---- PNG --------------------------------------------------------------------------------------

TEST(PngDecodeTest, MatchesIndependentDecoder) {
  struct Case {
    const char* file;
    const char* reference;
    ImageFormat native;
  } cases[] = {
      {"rgb.png", "rgb.rgb", kImageFormatRGB},
      {"rgba.png", "rgba.rgba", kImageFormatRGBA},
      {"grey.png", "grey.gray", kImageFormatGrayscale},
      {"palette.png", "palette.rgba", kImageFormatRGBA},  // tRNS becomes alpha
      {"interlaced.png", "interlaced.rgba", kImageFormatRGBA},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Bytes file = read_fixture(c.file);
    const Bytes reference = read_fixture(c.reference);
    Image<std::uint8_t> image = decode_png(file.data(), int(file.size()), kImageFormatNative, 16);
    EXPECT_EQ(image.format(), c.native);
    EXPECT_EQ(image.width(), 37);
    EXPECT_EQ(image.height(), 23);
    expect_same_pixels(packed(image), reference);
    Image<std::uint8_t> same = decode_png(file.data(), int(file.size()), c.native, 1);
    expect_same_pixels(packed(same), reference);
  }
}

TEST(PngDecodeTest, SixteenBitSamplesAreRoundedToEight) {
  const Bytes file = read_fixture("rgb16.png");
  const Bytes wide = read_fixture("rgb16.rgb16");  // the independent decoder's 16-bit samples
  Image<std::uint8_t> image = decode_png(file.data(), int(file.size()), kImageFormatNative, 16);
  EXPECT_EQ(image.format(), kImageFormatRGB);
  const Bytes narrow = packed(image);
  ASSERT_EQ(narrow.size() * 2, wide.size());
  int exact = 0;
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    const double v = (wide[2 * i] << 8 | wide[2 * i + 1]) / 257.0;
    ASSERT_LE(std::abs(narrow[i] - v), 0.5) << i;
    exact += (wide[2 * i] != wide[2 * i + 1]);
  }
  EXPECT_GT(exact, 100);  // the fixture really has 16-bit detail
}

TEST(PngDecodeTest, ConversionTable) {
  const Bytes rgba_file = read_fixture("rgba.png");
  const Bytes interlaced_file = read_fixture("interlaced.png");
  const Bytes rgb_file = read_fixture("rgb.png");
  const Bytes grey_file = read_fixture("grey.png");
  const Bytes rgba = read_fixture("rgba.rgba");
  const Bytes rgb = read_fixture("rgb.rgb");
  const Bytes grey = read_fixture("grey.gray");
  const Bytes interlaced = read_fixture("interlaced.rgba");

  auto convert = [](const Bytes& in, int in_channels, int out_channels,
                    void (*row)(const std::uint8_t*, std::uint8_t*, int)) {
    Bytes out(in.size() / in_channels * out_channels);
    row(in.data(), out.data(), static_cast<int>(in.size() / in_channels));
    return out;
  };
  struct Case {
    const char* name;
    const Bytes* file;
    ImageFormat requested;
    Bytes expected;
  } cases[] = {
      {"rgba as grey", &rgba_file, kImageFormatGrayscale, luma_of(rgba, 4)},
      {"rgba as bgra", &rgba_file, kImageFormatBGRA, convert(rgba, 4, 4, rgba_to_bgra_row)},
      {"rgba as rgb", &rgba_file, kImageFormatRGB, convert(rgba, 4, 3, rgba_to_rgb_row)},
      {"interlaced as rgb", &interlaced_file, kImageFormatRGB,
       convert(interlaced, 4, 3, rgba_to_rgb_row)},
      {"interlaced as bgra", &interlaced_file, kImageFormatBGRA,
       convert(interlaced, 4, 4, rgba_to_bgra_row)},
      {"rgb as grey", &rgb_file, kImageFormatGrayscale, luma_of(rgb, 3)},
      {"rgb as rgba", &rgb_file, kImageFormatRGBA, convert(rgb, 3, 4, rgb_to_rgba_row)},
      {"grey as rgb", &grey_file, kImageFormatRGB, convert(grey, 1, 3, grey_to_rgb_row)},
      {"grey as rgba", &grey_file, kImageFormatRGBA, convert(grey, 1, 4, grey_to_rgba_row)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Image<std::uint8_t> image = decode_png(c.file->data(), int(c.file->size()), c.requested, 64);
    EXPECT_EQ(image.format(), c.requested);
    EXPECT_EQ(image.stride() % 64, 0);
    expect_same_pixels(packed(image), c.expected);
  }
}

TEST(PngDecodeTest, Failures) {
  const Bytes rgb = read_fixture("rgb.png");
  const Bytes grey = read_fixture("grey.png");
  const Bytes grey_alpha = read_fixture("grey_alpha.png");
  Bytes bad_crc = rgb;
  bad_crc[30] ^= 0x40;  // inside IHDR
  Bytes huge = rgb;     // 30000 x 30000 declared, CRC fixed below
  {
    huge[16] = 0, huge[17] = 0, huge[18] = 0x75, huge[19] = 0x30;
    huge[20] = 0, huge[21] = 0, huge[22] = 0x75, huge[23] = 0x30;
    // CRC-32 of the IHDR type and data.
    std::uint32_t crc = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) {
      crc ^= huge[i];
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xFFFFFFFFu;
    huge[29] = crc >> 24, huge[30] = crc >> 16, huge[31] = crc >> 8, huge[32] = crc;
  }
  struct Case {
    const char* name;
    const Bytes* file;
    int length;
    ImageFormat format;
    const char* message;
    bool check = false;  // a CheckException rather than a runtime_error
  } cases[] = {
      {"rgb as bgra", &rgb, int(rgb.size()), kImageFormatBGRA, "PNGCodec: Unhandled format 5"},
      {"grey as bgra", &grey, int(grey.size()), kImageFormatBGRA, "PNGCodec: Unhandled format 5"},
      {"grey+alpha as rgba", &grey_alpha, int(grey_alpha.size()), kImageFormatRGBA,
       "PNGCodec: Unhandled format 0"},
      {"grey+alpha as native", &grey_alpha, int(grey_alpha.size()), kImageFormatNative,
       "false && \"Unsupported format\" check failed", true},
      {"truncated in the data", &rgb, int(rgb.size()) - 200, kImageFormatRGB,
       "PNGCodec: Read beyond end of data"},
      {"truncated in the header", &rgb, 20, kImageFormatRGB, "PNGCodec: Read beyond end of data"},
      {"not a png", &rgb, 0, kImageFormatRGB, "PNGCodec: Read beyond end of data"},
      {"bad crc", &bad_crc, int(bad_crc.size()), kImageFormatRGB, "PNGCodec: IHDR: CRC error"},
      {"too large", &huge, int(huge.size()), kImageFormatRGB,
       "PNGCodec: Image of 30000x30000 is too large"},
      {"too large as grey", &huge, int(huge.size()), kImageFormatGrayscale,
       "PNGCodec: Image of 30000x30000 is too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      (void)decode_png(c.file->data(), c.length, c.format, 1);
      ADD_FAILURE() << "no exception";
    } catch (const CheckException& e) {
      EXPECT_TRUE(c.check);
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    } catch (const std::runtime_error& e) {
      EXPECT_FALSE(c.check);
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

TEST(PngEncodeTest, RoundTripsEveryChannelCount) {
  const Bytes rgba_file = read_fixture("rgba.png");
  const Image<std::uint8_t> rgba =
      decode_png(rgba_file.data(), int(rgba_file.size()), kImageFormatRGBA, 1);
  for (ImageFormat format :
       {kImageFormatGrayscale, kImageFormatRGB, kImageFormatRGBA, kImageFormatBGRA}) {
    SCOPED_TRACE(static_cast<int>(format));
    const Image<std::uint8_t> source =
        decode_png(rgba_file.data(), int(rgba_file.size()), format, 16);
    Encoded png;
    encode_png(source, &png.data, &png.size, &png.reallocations);
    EXPECT_EQ(png.reallocations, 0);
    // BGRA is stored in its own byte order, so it reads back as RGBA with the same bytes.
    const ImageFormat stored = format == kImageFormatBGRA ? kImageFormatRGBA : format;
    Image<std::uint8_t> back = decode_png(png.bytes(), png.length(), kImageFormatNative, 1);
    EXPECT_EQ(back.format(), stored);
    expect_same_pixels(packed(back), packed(source));
  }
}

TEST(PngEncodeTest, SmallImageFitsTheFirstBufferLargeOneGrows) {
  Image<std::uint8_t> small(10, 10, kImageFormatRGB, 1);
  std::memset(small.data(), 7, small.size());
  Encoded png;
  encode_png(small, &png.data, &png.size, &png.reallocations);
  EXPECT_EQ(png.reallocations, 0);
  EXPECT_LT(png.size, 65536u);
  EXPECT_EQ(std::memcmp(png.data, "\x89PNG\r\n\x1a\n", 8), 0);

  // Noise does not compress: the half-size estimate is exceeded once.
  const Image<std::uint8_t> noise = noise_image(300, 300, 99);
  Encoded big;
  encode_png(noise, &big.data, &big.size, &big.reallocations);
  EXPECT_GT(big.size, 300u * 300 * 3 / 2);
  EXPECT_EQ(big.reallocations, 1);
  Image<std::uint8_t> back = decode_png(big.bytes(), big.length(), kImageFormatNative, 1);
  expect_same_pixels(packed(back), packed(noise));
}

}  // namespace
}  // namespace base
