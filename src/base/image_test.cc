#include "base/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "base/logging.h"

namespace base {
namespace {

TEST(ImageFormatTest, ChannelLookups) {
  EXPECT_EQ(image_format_channels(kImageFormatGrayscale), 1);
  EXPECT_EQ(image_format_channels(kImageFormatRGB), 3);
  EXPECT_EQ(image_format_channels(kImageFormatRGBA), 4);
  EXPECT_EQ(image_format_channels(kImageFormatBGRA), 4);
  for (ImageFormat bad : {kImageFormatNone, kImageFormatNative, static_cast<ImageFormat>(6),
                          static_cast<ImageFormat>(-1)}) {
    SCOPED_TRACE(static_cast<int>(bad));
    try {
      (void)image_format_channels(bad);
      ADD_FAILURE() << "no exception";
    } catch (const CheckException& e) {
      EXPECT_NE(std::string(e.what()).find("false && \"Unsupported format\" check failed"),
                std::string::npos)
          << e.what();
    }
  }
  const ImageFormat expected[] = {kImageFormatNone, kImageFormatGrayscale, kImageFormatNone,
                                  kImageFormatRGB,  kImageFormatRGBA,      kImageFormatNone};
  for (int channels = 0; channels < 6; ++channels) {
    EXPECT_EQ(image_format_for_channels(channels), expected[channels]) << channels;
  }
  EXPECT_EQ(image_format_for_channels(-1), kImageFormatNone);
}

TEST(ImageTest, StrideAndAlignedStorage) {
  struct Case {
    int width, height;
    ImageFormat format;
    int alignment, stride;
  } cases[] = {
      {5, 2, kImageFormatGrayscale, 8, 8}, {5, 2, kImageFormatGrayscale, 1, 5},
      {3, 1, kImageFormatRGB, 4, 12},      {3, 1, kImageFormatRGB, 16, 16},
      {7, 3, kImageFormatRGBA, 3, 30},     {1, 1, kImageFormatBGRA, 64, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " align " << c.alignment);
    Image<std::uint8_t> image(c.width, c.height, c.format, c.alignment);
    EXPECT_EQ(image.width(), c.width);
    EXPECT_EQ(image.height(), c.height);
    EXPECT_EQ(image.channels(), image_format_channels(c.format));
    EXPECT_EQ(image.format(), c.format);
    EXPECT_EQ(image.alignment(), c.alignment);
    EXPECT_EQ(image.stride(), c.stride);
    EXPECT_EQ(image.size(), static_cast<std::size_t>(c.height * c.stride));
    ASSERT_NE(image.data(), nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(image.data()) % 4096, 0u);
    // The whole buffer is writable (ASan checks the extent).
    for (std::size_t i = 0; i < image.size(); ++i) image.data()[i] = static_cast<uint8_t>(i);
  }
  Image<std::uint16_t> wide(5, 2, kImageFormatGrayscale, 8);
  EXPECT_EQ(wide.stride(), 8);
  EXPECT_EQ(wide.row(1) - wide.row(0), 8);
}

TEST(ImageTest, RefusesBadGeometryBeforeAllocating) {
  struct Case {
    int width, height, alignment;
    const char* message;
  } cases[] = {
      {4, 4, 0, "Invalid image geometry 4x4 with alignment 0"},
      {4, 4, -3, "Invalid image geometry 4x4 with alignment -3"},
      {-1, 4, 1, "Invalid image geometry -1x4 with alignment 1"},
      {4, -1, 1, "Invalid image geometry 4x-1 with alignment 1"},
      // The stride no longer fits 32 bits.
      {0x7fffffff, 1, 1, "Image of 2147483647x1 with alignment 1 is too large"},
      {0x20000000, 1, 64, "Image of 536870912x1 with alignment 64 is too large"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      Image<std::uint8_t> image(c.width, c.height, kImageFormatRGBA, c.alignment);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  // An invalid format fails before the geometry is looked at.
  EXPECT_THROW(Image<std::uint8_t>(-1, -1, kImageFormatNative, 0), CheckException);
}

TEST(ImageTest, EmptyImages) {
  Image<std::uint8_t> none;
  EXPECT_EQ(none.data(), nullptr);
  EXPECT_EQ(none.width(), 0);
  Image<std::uint8_t> zero(0, 5, kImageFormatRGB, 4);
  EXPECT_EQ(zero.data(), nullptr);
  EXPECT_EQ(zero.stride(), 0);
  Image<std::uint8_t> copy(zero);
  EXPECT_EQ(copy.height(), 5);
  EXPECT_EQ(copy.data(), nullptr);
}

Image<std::uint8_t> filled(int width, int height, ImageFormat format, int alignment,
                           std::uint8_t seed) {
  Image<std::uint8_t> image(width, height, format, alignment);
  for (std::size_t i = 0; i < image.size(); ++i) image.data()[i] = static_cast<uint8_t>(seed + i);
  return image;
}

TEST(ImageTest, CopyAssignmentReusesBufferOnlyForEqualGeometry) {
  Image<std::uint8_t> source = filled(5, 3, kImageFormatRGB, 8, 7);
  Image<std::uint8_t> same(5, 3, kImageFormatRGB, 8);
  const std::uint8_t* kept = same.data();
  same = source;
  EXPECT_EQ(same.data(), kept);
  EXPECT_NE(same.data(), source.data());
  EXPECT_EQ(0, std::memcmp(same.data(), source.data(), source.size()));

  // Each differing field means a new buffer with the source's geometry.
  Image<std::uint8_t> others[] = {
      Image<std::uint8_t>(6, 3, kImageFormatRGB, 8),
      Image<std::uint8_t>(5, 4, kImageFormatRGB, 8),
      Image<std::uint8_t>(5, 3, kImageFormatRGBA, 8),
      Image<std::uint8_t>(5, 3, kImageFormatRGB, 16),
  };
  for (Image<std::uint8_t>& other : others) {
    SCOPED_TRACE(testing::Message() << other.width() << "x" << other.height());
    other = source;
    EXPECT_EQ(other.width(), 5);
    EXPECT_EQ(other.height(), 3);
    EXPECT_EQ(other.format(), kImageFormatRGB);
    EXPECT_EQ(other.alignment(), 8);
    EXPECT_EQ(other.stride(), 16);
    EXPECT_EQ(0, std::memcmp(other.data(), source.data(), source.size()));
  }

  Image<std::uint8_t> constructed(source);
  EXPECT_NE(constructed.data(), source.data());
  EXPECT_EQ(0, std::memcmp(constructed.data(), source.data(), source.size()));

  // A moved-from image of the same geometry gets a fresh buffer rather than a null write.
  Image<std::uint8_t> moved = filled(5, 3, kImageFormatRGB, 8, 1);
  Image<std::uint8_t> thief(std::move(moved));
  moved = source;
  ASSERT_NE(moved.data(), nullptr);
  EXPECT_EQ(0, std::memcmp(moved.data(), source.data(), source.size()));
}

TEST(ImageTest, MoveLeavesSourceSizesAndNullBuffer) {
  Image<std::uint8_t> source = filled(5, 2, kImageFormatGrayscale, 8, 3);
  const std::uint8_t* buffer = source.data();
  Image<std::uint8_t> target(1, 1, kImageFormatRGBA, 1);
  target = std::move(source);
  EXPECT_EQ(target.data(), buffer);
  EXPECT_EQ(target.width(), 5);
  EXPECT_EQ(target.stride(), 8);
  EXPECT_EQ(source.data(), nullptr);
  EXPECT_EQ(source.width(), 5);
  EXPECT_EQ(source.height(), 2);
  EXPECT_EQ(source.stride(), 8);

  Image<std::uint8_t> constructed(std::move(target));
  EXPECT_EQ(constructed.data(), buffer);
  EXPECT_EQ(target.data(), nullptr);
  EXPECT_EQ(target.width(), 5);

  constructed.reset();
  EXPECT_EQ(constructed.data(), nullptr);
  EXPECT_EQ(constructed.width(), 0);
  EXPECT_EQ(constructed.height(), 0);
  EXPECT_EQ(constructed.channels(), 0);
  EXPECT_EQ(constructed.format(), kImageFormatNone);
  EXPECT_EQ(constructed.alignment(), 0);
  EXPECT_EQ(constructed.stride(), 0);
}

RawImage<std::uint16_t> raw(int width, float wb) {
  return RawImage<std::uint16_t>(width, 2, kImageFormatGrayscale, kColorFilterArrayRGBG, {wb, 1, 3},
                                 {1, 2, 3, 4, 5, 6, 7, 8, 9}, 64, 4095, 4);
}

TEST(RawImageTest, FieldsChecksAndReset) {
  RawImage<std::uint16_t> image = raw(3, 2);
  EXPECT_EQ(image.stride(), 4);
  EXPECT_EQ(image.white_balance(), (std::vector<float>{2, 1, 3}));
  EXPECT_EQ(image.color_correction(), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(image.black_level(), 64);
  EXPECT_EQ(image.white_level(), 4095);
  EXPECT_EQ(image.color_filter_array(), kColorFilterArrayRGBG);

  image.reset();
  EXPECT_EQ(image.white_balance(), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(image.color_correction(), (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(image.black_level(), 0);
  EXPECT_EQ(image.white_level(), 0);
  EXPECT_EQ(image.color_filter_array(), kColorFilterArrayNone);
  EXPECT_EQ(image.data(), nullptr);
  EXPECT_EQ(image.width(), 0);

  // Reset through the base reaches the raw part too.
  RawImage<std::uint16_t> other = raw(3, 2);
  static_cast<Image<std::uint16_t>&>(other).reset();
  EXPECT_EQ(other.white_balance(), (std::vector<float>{0, 0, 0}));

  try {
    RawImage<std::uint16_t> bad(2, 2, kImageFormatRGB, kColorFilterArrayRGBG, {1, 1, 1}, {}, 0, 0,
                                1);
    ADD_FAILURE() << "no exception";
  } catch (const CheckException& e) {
    EXPECT_NE(std::string(e.what()).find("(format == kImageFormatGrayscale) || "
                                         "(color_filter_array == kColorFilterArrayNone) check "
                                         "failed"),
              std::string::npos)
        << e.what();
  }
  RawImage<std::uint16_t> linear(2, 2, kImageFormatRGB, kColorFilterArrayNone, {1, 1, 1}, {}, 0, 0,
                                 1);
  EXPECT_EQ(linear.channels(), 3);
}

TEST(RawImageTest, Assignments) {
  // Raw to raw carries the metadata with the pixels.
  RawImage<std::uint16_t> source = raw(3, 2);
  source.data()[0] = 77;
  RawImage<std::uint16_t> target = raw(5, 9);
  target = source;
  EXPECT_EQ(target.white_balance()[0], 2);
  EXPECT_EQ(target.width(), 3);
  EXPECT_EQ(target.data()[0], 77);
  RawImage<std::uint16_t> moved = raw(5, 9);
  moved = std::move(target);
  EXPECT_EQ(moved.white_balance()[0], 2);
  EXPECT_EQ(moved.data()[0], 77);
  EXPECT_EQ(target.data(), nullptr);

  // Through the base, only the image part changes.
  RawImage<std::uint16_t> base_target = raw(5, 9);
  Image<std::uint16_t>& as_image = base_target;
  as_image = static_cast<const Image<std::uint16_t>&>(source);
  EXPECT_EQ(base_target.width(), 3);
  EXPECT_EQ(base_target.white_balance()[0], 9);
  Image<std::uint16_t> plain(4, 4, kImageFormatGrayscale, 1);
  as_image = std::move(plain);
  EXPECT_EQ(base_target.width(), 4);
  EXPECT_EQ(base_target.white_balance()[0], 9);
  EXPECT_EQ(plain.data(), nullptr);
}

TEST(PixelConversionTest, Luma) {
  EXPECT_EQ(luma(255, 255, 255), 255);
  EXPECT_EQ(luma(0, 0, 0), 0);
  EXPECT_EQ(luma(255, 0, 0), 76);   // 9798 * 255 >> 15
  EXPECT_EQ(luma(0, 255, 0), 149);  // 19235 * 255 >> 15
  EXPECT_EQ(luma(0, 0, 255), 29);   // 3735 * 255 >> 15
  for (int v = 0; v < 256; ++v) EXPECT_EQ(luma(v, v, v), v) << v;
  const std::uint8_t rgb[] = {10, 200, 30, 255, 128, 0};
  const std::uint8_t rgba[] = {10, 200, 30, 0, 255, 128, 0, 9};
  std::uint8_t out[2];
  luma_row(rgb, 3, out, 2);
  EXPECT_EQ(out[0], (9798 * 10 + 19235 * 200 + 3735 * 30) >> 15);
  EXPECT_EQ(out[1], (9798 * 255 + 19235 * 128) >> 15);
  std::uint8_t out4[2];
  luma_row(rgba, 4, out4, 2);  // alpha ignored
  EXPECT_EQ(out4[0], out[0]);
  EXPECT_EQ(out4[1], out[1]);
}

TEST(PixelConversionTest, ChannelChanges) {
  const std::uint8_t grey[] = {0, 90, 255};
  std::uint8_t rgb[9], rgba[12];
  grey_to_rgb_row(grey, rgb, 3);
  EXPECT_EQ(0, std::memcmp(rgb, "\x00\x00\x00\x5a\x5a\x5a\xff\xff\xff", 9));
  grey_to_rgba_row(grey, rgba, 3);
  EXPECT_EQ(0, std::memcmp(rgba, "\x00\x00\x00\xff\x5a\x5a\x5a\xff\xff\xff\xff\xff", 12));

  const std::uint8_t src_rgb[] = {1, 2, 3, 4, 5, 6};
  std::uint8_t to_rgba[8];
  rgb_to_rgba_row(src_rgb, to_rgba, 2);
  EXPECT_EQ(0, std::memcmp(to_rgba, "\x01\x02\x03\xff\x04\x05\x06\xff", 8));

  const std::uint8_t src_rgba[] = {1, 2, 3, 4, 5, 6, 7, 8};
  std::uint8_t to_rgb[6];
  rgba_to_rgb_row(src_rgba, to_rgb, 2);
  EXPECT_EQ(0, std::memcmp(to_rgb, "\x01\x02\x03\x05\x06\x07", 6));
  std::uint8_t bgra[8];
  rgba_to_bgra_row(src_rgba, bgra, 2);
  EXPECT_EQ(0, std::memcmp(bgra, "\x03\x02\x01\x04\x07\x06\x05\x08", 8));
  std::uint8_t in_place[] = {1, 2, 3, 4};
  rgba_to_bgra_row(in_place, in_place, 1);
  EXPECT_EQ(0, std::memcmp(in_place, "\x03\x02\x01\x04", 4));
}

}  // namespace
}  // namespace base
