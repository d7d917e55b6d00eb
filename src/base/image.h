// Pixel containers shared by the image codecs: the pixel-layout enumeration, the row-aligned
// `Image<T>` buffer, the `RawImage<T>` that adds a raw photograph's camera metadata, and the
// few 8-bit pixel conversions the decoders apply.
//
// Instantiated for `Image<uint8_t>` (JPEG, PNG) and `RawImage<uint16_t>` (DNG).
#pragma once

#include <cstdint>
#include <vector>

namespace base {

// Pixel layouts; channels are interleaved within a pixel in the order the name gives.
enum ImageFormat : std::int32_t {
  kImageFormatNone = 0,    // no valid layout
  kImageFormatNative = 1,  // a decoder request: keep the file's own layout; never an image's format
  kImageFormatGrayscale = 2,
  kImageFormatRGB = 3,
  kImageFormatRGBA = 4,
  kImageFormatBGRA = 5,
};

// Sensor mosaics. kColorFilterArrayRGBG is the 2x2 mosaic blue, green / green, red (DNG
// CFAPattern 2 1 1 0). kColorFilterArrayGBRG (CFAPattern 1 2 0 1) is recognised by the DNG
// decoder only to be refused; no image is created with it.
enum ColorFilterArray : std::int32_t {
  kColorFilterArrayNone = 0,
  kColorFilterArrayRGBG = 1,
  kColorFilterArrayGBRG = 2,
};

// Samples per pixel of a concrete layout: 1, 3 or 4. Any other value (None, Native, out of
// range) fails CHECK(false && "Unsupported format").
[[nodiscard]] int image_format_channels(ImageFormat format);

// The layout with `channels` interleaved samples: 1 grey, 3 RGB, 4 RGBA; anything else
// (including 2, as there is no grey-plus-alpha layout) is kImageFormatNone.
[[nodiscard]] ImageFormat image_format_for_channels(int channels);

// A packed, row-aligned pixel buffer. Sample c of pixel (x, y) is at
// data()[y * stride() + x * channels() + c]; `stride` is width * channels rounded up to a
// multiple of `alignment` (in samples), and each row may end in spare samples. The buffer is
// aligned to the page size (at least 4096 bytes) and not initialised by allocation.
template <typename T>
class Image {
 public:
  // An empty image: all sizes 0, no buffer.
  Image() = default;
  // Allocates width x height pixels of `format` with rows aligned to `alignment` samples.
  // An invalid format fails the "Unsupported format" check; a negative size, an alignment below
  // 1 or a buffer that cannot be addressed (stride or byte count overflows) throws
  // std::runtime_error; all of these before anything is allocated. Allocation failure throws
  // std::bad_alloc. A zero width or height gives an image without a buffer.
  Image(int width, int height, ImageFormat format, int alignment);
  Image(const Image& other);
  Image(Image&& other) noexcept;
  virtual ~Image();

  // Frees this image, then takes over the other's sizes and buffer. The other keeps its sizes
  // but loses its buffer (data() becomes null).
  virtual Image& operator=(Image&& other) noexcept;
  // Deep copy. With identical geometry (all six size fields equal) the existing buffer is
  // reused; otherwise this image is reset and a new buffer allocated.
  virtual Image& operator=(const Image& other);
  // Sets every size field to 0 and frees the buffer.
  virtual void reset();

  [[nodiscard]] int width() const { return width_; }
  [[nodiscard]] int height() const { return height_; }
  [[nodiscard]] int channels() const { return channels_; }
  [[nodiscard]] ImageFormat format() const { return format_; }
  [[nodiscard]] int alignment() const { return alignment_; }
  [[nodiscard]] int stride() const { return stride_; }
  [[nodiscard]] T* data() { return data_; }
  [[nodiscard]] const T* data() const { return data_; }
  // Start of row y.
  [[nodiscard]] T* row(int y) { return data_ + static_cast<std::size_t>(y) * stride_; }
  [[nodiscard]] const T* row(int y) const { return data_ + static_cast<std::size_t>(y) * stride_; }
  // Number of elements in the buffer: height * stride.
  [[nodiscard]] std::size_t size() const {
    return static_cast<std::size_t>(height_) * static_cast<std::size_t>(stride_);
  }

 protected:
  void free_image_storage();
  void copy_image_from(const Image& other);

  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t channels_ = 0;
  ImageFormat format_ = kImageFormatNone;
  std::int32_t alignment_ = 0;
  std::int32_t stride_ = 0;
  T* data_ = nullptr;
};

// An Image<T> of raw sensor samples plus the metadata later processing needs.
template <typename T>
class RawImage : public Image<T> {
 public:
  // An empty raw image, as after reset(): white balance (0, 0, 0), identity colour matrix.
  RawImage();
  // Builds the image part, stores the metadata, then checks that a mosaic image has one
  // channel: CHECK((format == kImageFormatGrayscale) || (color_filter_array ==
  // kColorFilterArrayNone)).
  RawImage(int width, int height, ImageFormat format, ColorFilterArray color_filter_array,
           std::vector<float> white_balance, std::vector<float> color_correction,
           std::uint16_t black_level, std::uint16_t white_level, int alignment);
  RawImage(const RawImage&) = default;
  RawImage(RawImage&&) noexcept = default;
  // Assigning one raw image to another carries the metadata along with the pixels; assigning
  // through an Image<T> reference copies or moves the pixels only.
  RawImage& operator=(const RawImage& other);
  RawImage& operator=(RawImage&& other) noexcept;
  using Image<T>::operator=;
  ~RawImage() override = default;

  // Clears the metadata (white balance zeros, identity colour matrix, levels and mosaic 0),
  // then resets the image part.
  void reset() override;

  // Per-channel multipliers: red, green, blue.
  [[nodiscard]] const std::vector<float>& white_balance() const { return white_balance_; }
  // Row-major 3x3 matrix from camera colour to linear sRGB.
  [[nodiscard]] const std::vector<float>& color_correction() const { return color_correction_; }
  [[nodiscard]] std::uint16_t black_level() const { return black_level_; }
  [[nodiscard]] std::uint16_t white_level() const { return white_level_; }
  [[nodiscard]] ColorFilterArray color_filter_array() const { return color_filter_array_; }

 private:
  void clear_metadata();

  std::vector<float> white_balance_;
  std::vector<float> color_correction_;
  std::uint16_t black_level_ = 0;
  std::uint16_t white_level_ = 0;
  ColorFilterArray color_filter_array_ = kColorFilterArrayNone;
};

// 8-bit pixel conversions over `width` pixels of one row. Source and destination must not
// overlap, except rgba_to_bgra_row, which may work in place.

// (9798 R + 19235 G + 3735 B) >> 15; white stays 255.
[[nodiscard]] inline std::uint8_t luma(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return static_cast<std::uint8_t>((9798u * r + 19235u * g + 3735u * b) >> 15);
}
// `luma` of each pixel of an RGB (src_channels 3) or RGBA (4, alpha ignored) row.
void luma_row(const std::uint8_t* src, int src_channels, std::uint8_t* dst, int width);
void grey_to_rgb_row(const std::uint8_t* src, std::uint8_t* dst, int width);
void grey_to_rgba_row(const std::uint8_t* src, std::uint8_t* dst, int width);  // alpha 255
void rgb_to_rgba_row(const std::uint8_t* src, std::uint8_t* dst, int width);   // alpha 255
void rgba_to_rgb_row(const std::uint8_t* src, std::uint8_t* dst, int width);
void rgba_to_bgra_row(const std::uint8_t* src, std::uint8_t* dst, int width);

extern template class Image<std::uint8_t>;
extern template class Image<std::uint16_t>;
extern template class RawImage<std::uint16_t>;

}  // namespace base
