#include "base/image.h"

#include <fmt/format.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "base/gadget/bootstrap.h"
#include "base/logging.h"

namespace base {

int image_format_channels(ImageFormat format) {
  switch (format) {
    case kImageFormatGrayscale:
      return 1;
    case kImageFormatRGB:
      return 3;
    case kImageFormatRGBA:
    case kImageFormatBGRA:
      return 4;
    default:
      CHECK(false && "Unsupported format");
      return 0;
  }
}

ImageFormat image_format_for_channels(int channels) {
  switch (channels) {
    case 1:
      return kImageFormatGrayscale;
    case 3:
      return kImageFormatRGB;
    case 4:
      return kImageFormatRGBA;
    default:
      return kImageFormatNone;
  }
}

namespace {

std::size_t storage_alignment() {
  const std::size_t page = page_size();
  return page < 4096 ? 4096 : page;
}

// Page-aligned, uninitialised storage for `bytes` bytes; null for 0 bytes.
void* allocate_storage(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  const std::size_t align = storage_alignment();
  if (bytes > std::numeric_limits<std::size_t>::max() - align) throw std::bad_alloc();
  // aligned_alloc wants a size that is a multiple of the alignment.
  void* p = std::aligned_alloc(align, (bytes + align - 1) / align * align);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

template <typename T>
Image<T>::Image(int width, int height, ImageFormat format, int alignment) {
  const int channels = image_format_channels(format);
  if (width < 0 || height < 0 || alignment < 1) {
    THROW_ERROR(
        fmt::format("Invalid image geometry {}x{} with alignment {}", width, height, alignment));
  }
  // The stride must fit the 32-bit field and the buffer the address space.
  const std::int64_t row = static_cast<std::int64_t>(width) * channels;
  const std::int64_t stride = (row + alignment - 1) / alignment * alignment;
  if (stride > std::numeric_limits<std::int32_t>::max() ||
      (height != 0 && static_cast<std::uint64_t>(stride) >
                          std::numeric_limits<std::size_t>::max() / sizeof(T) / height)) {
    THROW_ERROR(
        fmt::format("Image of {}x{} with alignment {} is too large", width, height, alignment));
  }
  width_ = width;
  height_ = height;
  channels_ = channels;
  format_ = format;
  alignment_ = alignment;
  stride_ = static_cast<std::int32_t>(stride);
  data_ = static_cast<T*>(allocate_storage(size() * sizeof(T)));
}

template <typename T>
Image<T>::Image(const Image& other) {
  copy_image_from(other);
}

template <typename T>
Image<T>::Image(Image&& other) noexcept
    : width_(other.width_),
      height_(other.height_),
      channels_(other.channels_),
      format_(other.format_),
      alignment_(other.alignment_),
      stride_(other.stride_),
      data_(other.data_) {
  other.data_ = nullptr;
}

template <typename T>
Image<T>::~Image() {
  std::free(data_);
}

template <typename T>
Image<T>& Image<T>::operator=(Image&& other) noexcept {
  if (this == &other) return *this;
  // Resets the image part only: a raw image keeps its metadata when pixels are moved in.
  free_image_storage();
  width_ = other.width_;
  height_ = other.height_;
  channels_ = other.channels_;
  format_ = other.format_;
  alignment_ = other.alignment_;
  stride_ = other.stride_;
  data_ = other.data_;
  other.data_ = nullptr;
  return *this;
}

template <typename T>
Image<T>& Image<T>::operator=(const Image& other) {
  if (this == &other) return *this;
  copy_image_from(other);
  return *this;
}

template <typename T>
void Image<T>::reset() {
  free_image_storage();
}

template <typename T>
void Image<T>::free_image_storage() {
  width_ = height_ = channels_ = alignment_ = stride_ = 0;
  format_ = kImageFormatNone;
  std::free(data_);
  data_ = nullptr;
}

template <typename T>
void Image<T>::copy_image_from(const Image& other) {
  const bool same = width_ == other.width_ && height_ == other.height_ &&
                    channels_ == other.channels_ && format_ == other.format_ &&
                    alignment_ == other.alignment_ && stride_ == other.stride_;
  if (!same || (data_ == nullptr && other.data_ != nullptr)) {
    free_image_storage();
    T* fresh = static_cast<T*>(allocate_storage(other.size() * sizeof(T)));
    width_ = other.width_;
    height_ = other.height_;
    channels_ = other.channels_;
    format_ = other.format_;
    alignment_ = other.alignment_;
    stride_ = other.stride_;
    data_ = fresh;
  }
  if (other.data_ != nullptr && data_ != nullptr) {
    std::memcpy(data_, other.data_, size() * sizeof(T));
  }
}

template <typename T>
RawImage<T>::RawImage() {
  clear_metadata();
}

template <typename T>
RawImage<T>::RawImage(int width, int height, ImageFormat format,
                      ColorFilterArray color_filter_array, std::vector<float> white_balance,
                      std::vector<float> color_correction, std::uint16_t black_level,
                      std::uint16_t white_level, int alignment)
    : Image<T>(width, height, format, alignment),
      white_balance_(std::move(white_balance)),
      color_correction_(std::move(color_correction)),
      black_level_(black_level),
      white_level_(white_level),
      color_filter_array_(color_filter_array) {
  CHECK((format == kImageFormatGrayscale) || (color_filter_array == kColorFilterArrayNone));
}

template <typename T>
RawImage<T>& RawImage<T>::operator=(const RawImage& other) {
  if (this == &other) return *this;
  Image<T>::operator=(other);
  white_balance_ = other.white_balance_;
  color_correction_ = other.color_correction_;
  black_level_ = other.black_level_;
  white_level_ = other.white_level_;
  color_filter_array_ = other.color_filter_array_;
  return *this;
}

template <typename T>
RawImage<T>& RawImage<T>::operator=(RawImage&& other) noexcept {
  if (this == &other) return *this;
  Image<T>::operator=(std::move(other));
  white_balance_ = std::move(other.white_balance_);
  color_correction_ = std::move(other.color_correction_);
  black_level_ = other.black_level_;
  white_level_ = other.white_level_;
  color_filter_array_ = other.color_filter_array_;
  return *this;
}

template <typename T>
void RawImage<T>::reset() {
  clear_metadata();
  Image<T>::reset();
}

template <typename T>
void RawImage<T>::clear_metadata() {
  white_balance_.assign(3, 0.0f);
  color_correction_ = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  black_level_ = 0;
  white_level_ = 0;
  color_filter_array_ = kColorFilterArrayNone;
}

template class Image<std::uint8_t>;
template class Image<std::uint16_t>;
template class RawImage<std::uint16_t>;

void luma_row(const std::uint8_t* src, int src_channels, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += src_channels) dst[x] = luma(src[0], src[1], src[2]);
}

void grey_to_rgb_row(const std::uint8_t* src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, dst += 3) dst[0] = dst[1] = dst[2] = src[x];
}

void grey_to_rgba_row(const std::uint8_t* src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, dst += 4) {
    dst[0] = dst[1] = dst[2] = src[x];
    dst[3] = 255;
  }
}

void rgb_to_rgba_row(const std::uint8_t* src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 3, dst += 4) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
    dst[3] = 255;
  }
}

void rgba_to_rgb_row(const std::uint8_t* src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 4, dst += 3) {
    dst[0] = src[0];
    dst[1] = src[1];
    dst[2] = src[2];
  }
}

void rgba_to_bgra_row(const std::uint8_t* src, std::uint8_t* dst, int width) {
  for (int x = 0; x < width; ++x, src += 4, dst += 4) {
    const std::uint8_t r = src[0];
    const std::uint8_t b = src[2];
    dst[0] = b;
    dst[1] = src[1];
    dst[2] = r;
    dst[3] = src[3];
  }
}

}  // namespace base
