#include "base/image_codec.h"

#include <fmt/format.h>
#include <png.h>

#include <algorithm>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "base/image_row_copy.h"
#include "base/logging.h"

namespace base {
namespace {

// Refuses zero or oversized dimensions before any pixel buffer is allocated.
void check_decoded_size(const char* codec, std::uint64_t width, std::uint64_t height,
                        std::uint64_t channels) {
  if (width == 0 || height == 0) {
    THROW_ERROR(fmt::format("{}: Image has no pixels ({}x{})", codec, width, height));
  }
  if (width * height * channels > kMaxDecodedImageBytes) {
    THROW_ERROR(fmt::format("{}: Image of {}x{} is too large", codec, width, height));
  }
}

// ---- JPEG -------------------------------------------------------------------------------------

// Fatal library errors become exceptions; the decompressor or compressor is destroyed by its
// owner while the exception unwinds.
[[noreturn]] void jpeg_error_exit(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  THROW_ERROR(fmt::format("JPEGCodec: {}", message));
}

void jpeg_output_message(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  LOG(WARNING) << "JPEGCodec: " << message;
}

void install_error_manager(jpeg_error_mgr* err) {
  jpeg_std_error(err);
  err->error_exit = jpeg_error_exit;
  err->output_message = jpeg_output_message;
}

struct JpegSource {
  jpeg_source_mgr pub;
  const JOCTET* data;
  std::size_t length;
  std::size_t consumed;
};

const JOCTET kEndOfImage[2] = {0xFF, 0xD9};

void source_init(j_decompress_ptr cinfo) {
  reinterpret_cast<JpegSource*>(cinfo->src)->consumed = 0;
}

boolean source_fill(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  if (src->consumed < src->length) {
    src->pub.next_input_byte = src->data + src->consumed;
    src->pub.bytes_in_buffer = src->length - src->consumed;
    src->consumed = src->length;
  } else {
    // Out of data: warn and pretend the file ends here so the library pads the rest.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->pub.next_input_byte = kEndOfImage;
    src->pub.bytes_in_buffer = sizeof(kEndOfImage);
  }
  return TRUE;
}

void source_skip(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  while (static_cast<std::size_t>(count) > src->pub.bytes_in_buffer) {
    count -= static_cast<long>(src->pub.bytes_in_buffer);
    source_fill(cinfo);
  }
  src->pub.next_input_byte += count;
  src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void source_term(j_decompress_ptr) {}

struct Decompressor {
  jpeg_decompress_struct info{};
  jpeg_error_mgr err{};
  Decompressor() {
    install_error_manager(&err);
    info.err = &err;
    jpeg_create_decompress(&info);
  }
  ~Decompressor() { jpeg_destroy_decompress(&info); }
  Decompressor(const Decompressor&) = delete;
  Decompressor& operator=(const Decompressor&) = delete;
};

struct JpegDestination {
  jpeg_destination_mgr pub;
  JOCTET* buffer;
  std::size_t capacity;
  std::size_t used;
  int reallocations;
};

void destination_init(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegDestination*>(cinfo->dest);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = dest->capacity;
}

boolean destination_empty(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegDestination*>(cinfo->dest);
  // The library calls this only when the whole buffer is full: double it, offer the new half.
  const std::size_t capacity = dest->capacity * 2;
  auto* grown = static_cast<JOCTET*>(std::realloc(dest->buffer, capacity));
  if (grown == nullptr) throw std::bad_alloc();
  dest->buffer = grown;
  dest->pub.next_output_byte = grown + dest->capacity;
  dest->pub.free_in_buffer = capacity - dest->capacity;
  dest->capacity = capacity;
  ++dest->reallocations;
  return TRUE;
}

void destination_term(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegDestination*>(cinfo->dest);
  dest->used = dest->capacity - dest->pub.free_in_buffer;
}

struct Compressor {
  jpeg_compress_struct info{};
  jpeg_error_mgr err{};
  JpegDestination dest{};
  Compressor() {
    install_error_manager(&err);
    info.err = &err;
    jpeg_create_compress(&info);
  }
  ~Compressor() {
    jpeg_destroy_compress(&info);
    std::free(dest.buffer);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
};

// Initial output capacity: `bytes` scaled down, but never at or below 64 KiB.
std::size_t initial_capacity(std::size_t estimate) { return estimate <= 65536 ? 65536 : estimate; }

// ---- PNG --------------------------------------------------------------------------------------

[[noreturn]] void png_error_callback(png_structp, png_const_charp message) {
  LOG(ERROR) << message;
  // Abandons the image: the owner of the png structures destroys them while this unwinds.
  throw std::runtime_error(fmt::format("PNGCodec: {}", message));
}

void png_warning_callback(png_structp, png_const_charp message) { LOG(INFO) << message; }

struct PngReader {
  const std::uint8_t* data;
  std::size_t length;
  std::size_t position;
};

void png_read_callback(png_structp png, png_bytep out, std::size_t count) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (count > reader->length - reader->position) png_error(png, "Read beyond end of data");
  std::memcpy(out, reader->data + reader->position, count);
  reader->position += count;
}

struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngRead() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct PngWriter {
  std::uint8_t* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t size = 0;
  int reallocations = 0;
};

void png_write_callback(png_structp png, png_bytep bytes, std::size_t count) {
  auto* writer = static_cast<PngWriter*>(png_get_io_ptr(png));
  if (count > writer->capacity - writer->size) {
    const std::size_t capacity = std::max(writer->capacity * 2, (writer->size + count) * 2);
    auto* grown = static_cast<std::uint8_t*>(std::realloc(writer->buffer, capacity));
    if (grown == nullptr) png_error(png, "Out of memory");
    writer->buffer = grown;
    writer->capacity = capacity;
    ++writer->reallocations;
  }
  std::memcpy(writer->buffer + writer->size, bytes, count);
  writer->size += count;
}

void png_flush_callback(png_structp) {}

struct PngWrite {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngWriter writer;
  ~PngWrite() {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    std::free(writer.buffer);
  }
};

using RowConversion = void (*)(const std::uint8_t* src, std::uint8_t* dst, int width);

void luma_rgba_row(const std::uint8_t* src, std::uint8_t* dst, int width) {
  luma_row(src, 4, dst, width);
}
void luma_rgb_row(const std::uint8_t* src, std::uint8_t* dst, int width) {
  luma_row(src, 3, dst, width);
}

// The conversion from the file's layout to the requested one; throws for pairs not handled.
RowConversion png_conversion(ImageFormat source, ImageFormat requested) {
  struct Entry {
    ImageFormat source, requested;
    RowConversion convert;
  };
  static constexpr Entry kTable[] = {
      {kImageFormatRGBA, kImageFormatGrayscale, luma_rgba_row},
      {kImageFormatRGBA, kImageFormatBGRA, rgba_to_bgra_row},
      {kImageFormatRGBA, kImageFormatRGB, rgba_to_rgb_row},
      {kImageFormatRGB, kImageFormatGrayscale, luma_rgb_row},
      {kImageFormatRGB, kImageFormatRGBA, rgb_to_rgba_row},
      {kImageFormatGrayscale, kImageFormatRGB, grey_to_rgb_row},
      {kImageFormatGrayscale, kImageFormatRGBA, grey_to_rgba_row},
  };
  for (const Entry& entry : kTable) {
    if (entry.source == source && entry.requested == requested) return entry.convert;
  }
  const bool known_source =
      source == kImageFormatGrayscale || source == kImageFormatRGB || source == kImageFormatRGBA;
  throw std::runtime_error(fmt::format("PNGCodec: Unhandled format {}",
                                       static_cast<int>(known_source ? requested : source)));
}

}  // namespace

namespace {

// The library's SIMD colour conversion writes a row that starts on a 32-byte boundary with
// non-temporal stores, which bypass the cache. Our image rows are page-aligned, and a strip of
// rows read that way and then read back (for luma) or copied is slower than ordinary stores, so
// rows whose starts are all on that boundary are decoded through a small cache-resident strip
// whose rows are deliberately placed off it, and copied out.
constexpr std::size_t kJpegSimdAlignment = 32;
constexpr int kJpegStripRows = 1;  // measured: a single row stays in the first-level cache

class JpegStrip {
 public:
  // Holds `count` rows of `row_bytes`; `count` is at least what the library may return at once.
  JpegStrip(std::size_t row_bytes, int count) : rows_(static_cast<std::size_t>(count)) {
    const std::size_t pitch =
        (row_bytes + kJpegSimdAlignment - 1) / kJpegSimdAlignment * kJpegSimdAlignment;
    buffer_.resize(pitch * rows_.size() + 2 * kJpegSimdAlignment);
    const auto address = reinterpret_cast<std::uintptr_t>(buffer_.data());
    const std::size_t skip = (kJpegSimdAlignment - address % kJpegSimdAlignment) + 8;
    for (std::size_t i = 0; i < rows_.size(); ++i) rows_[i] = buffer_.data() + skip + i * pitch;
  }
  JSAMPARRAY rows() { return rows_.data(); }
  [[nodiscard]] JDIMENSION count() const { return static_cast<JDIMENSION>(rows_.size()); }

 private:
  std::vector<JSAMPLE> buffer_;
  std::vector<JSAMPROW> rows_;
};

}  // namespace

Image<std::uint8_t> decode_jpeg(const void* data, int length, ImageFormat format, int alignment) {
  const ImageFormat effective = format == kImageFormatNative ? kImageFormatRGB : format;
  if (effective != kImageFormatGrayscale && effective != kImageFormatRGB &&
      effective != kImageFormatRGBA) {
    THROW_ERROR(fmt::format("JPEGCodec: Unhandled format {}", static_cast<int>(format)));
  }
  Decompressor decompressor;
  jpeg_decompress_struct& info = decompressor.info;
  JpegSource source{};
  source.pub.init_source = source_init;
  source.pub.fill_input_buffer = source_fill;
  source.pub.skip_input_data = source_skip;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.term_source = source_term;
  source.data = static_cast<const JOCTET*>(data);
  source.length = data != nullptr && length > 0 ? static_cast<std::size_t>(length) : 0;
  info.src = &source.pub;

  jpeg_read_header(&info, TRUE);
  info.out_color_space = effective == kImageFormatRGBA ? JCS_EXT_RGBA : JCS_RGB;
  check_decoded_size("JPEGCodec", info.image_width, info.image_height,
                     image_format_channels(effective));
  jpeg_start_decompress(&info);
  Image<std::uint8_t> image(static_cast<int>(info.output_width),
                            static_cast<int>(info.output_height), effective, alignment);
  const std::size_t row_bytes = static_cast<std::size_t>(info.output_width) * 3 +
                                (effective == kImageFormatRGBA ? info.output_width : 0);
  const int strip_rows = std::max(kJpegStripRows, info.rec_outbuf_height);
  if (effective == kImageFormatGrayscale) {
    // Converted to RGB in the strip, then reduced to luma row by row.
    JpegStrip strip(static_cast<std::size_t>(info.output_width) * 3, strip_rows);
    while (info.output_scanline < info.output_height) {
      const int first = static_cast<int>(info.output_scanline);
      const int count = static_cast<int>(jpeg_read_scanlines(&info, strip.rows(), strip.count()));
      for (int i = 0; i < count; ++i)
        luma_row(strip.rows()[i], 3, image.row(first + i), image.width());
    }
  } else if (reinterpret_cast<std::uintptr_t>(image.row(0)) % kJpegSimdAlignment == 0 &&
             image.stride() % kJpegSimdAlignment == 0) {
    JpegStrip strip(row_bytes, strip_rows);
    while (info.output_scanline < info.output_height) {
      const int first = static_cast<int>(info.output_scanline);
      const int count = static_cast<int>(jpeg_read_scanlines(&info, strip.rows(), strip.count()));
      for (int i = 0; i < count; ++i)
        copy_to_aligned_row(image.row(first + i), strip.rows()[i], row_bytes);
    }
  } else {
    // Rows are handed over in batches so the library can upsample straight into them.
    std::vector<JSAMPROW> rows(info.output_height);
    for (JDIMENSION y = 0; y < info.output_height; ++y) rows[y] = image.row(static_cast<int>(y));
    while (info.output_scanline < info.output_height) {
      jpeg_read_scanlines(&info, rows.data() + info.output_scanline,
                          info.output_height - info.output_scanline);
    }
  }
  jpeg_finish_decompress(&info);
  return image;
}

void encode_jpeg(const Image<std::uint8_t>& image, void** out, std::size_t* out_size, int quality,
                 int* reallocations) {
  Compressor compressor;
  jpeg_compress_struct& info = compressor.info;
  JpegDestination& dest = compressor.dest;
  dest.capacity = initial_capacity(static_cast<std::size_t>(image.width()) * image.height() *
                                   image.channels() / 10);
  dest.buffer = static_cast<JOCTET*>(std::malloc(dest.capacity));
  if (dest.buffer == nullptr) throw std::bad_alloc();
  dest.pub.init_destination = destination_init;
  dest.pub.empty_output_buffer = destination_empty;
  dest.pub.term_destination = destination_term;
  info.dest = &dest.pub;

  info.image_width = static_cast<JDIMENSION>(image.width());
  info.image_height = static_cast<JDIMENSION>(image.height());
  info.input_components = image.channels();
  switch (image.format()) {
    case kImageFormatGrayscale:
      info.in_color_space = JCS_GRAYSCALE;
      break;
    case kImageFormatRGB:
      info.in_color_space = JCS_RGB;
      break;
    case kImageFormatRGBA:
      info.in_color_space = JCS_EXT_RGBA;
      break;
    case kImageFormatBGRA:
      info.in_color_space = JCS_EXT_BGRA;
      break;
    default:
      break;  // no conversion: components stored as they are
  }
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.row(static_cast<int>(info.next_scanline)));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  *out = dest.buffer;
  *out_size = dest.used;
  if (reallocations != nullptr) *reallocations = dest.reallocations;
  dest.buffer = nullptr;
}

Image<std::uint8_t> decode_png(const void* data, int length, ImageFormat format, int alignment) {
  PngReader reader{static_cast<const std::uint8_t*>(data),
                   data != nullptr && length > 0 ? static_cast<std::size_t>(length) : 0, 0};
  PngRead read;
  read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_error_callback,
                                    png_warning_callback);
  CHECK_CALL(read.png != nullptr);
  read.info = png_create_info_struct(read.png);
  CHECK_CALL(read.info != nullptr);
  png_set_read_fn(read.png, &reader, png_read_callback);

  png_read_info(read.png, read.info);
  png_uint_32 width = 0, height = 0;
  int bit_depth = 0, color_type = 0;
  png_get_IHDR(read.png, read.info, &width, &height, &bit_depth, &color_type, nullptr, nullptr,
               nullptr);
  // Every file is read as 8-bit samples: palettes become RGB (with alpha from tRNS), low-bit
  // grey is widened, 16-bit samples are scaled with rounding.
  if (color_type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(read.png);
  if (color_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) png_set_expand_gray_1_2_4_to_8(read.png);
  if (png_get_valid(read.png, read.info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(read.png);
  if (bit_depth == 16) png_set_scale_16(read.png);
  const int passes = png_set_interlace_handling(read.png);
  png_read_update_info(read.png, read.info);
  const int channels = png_get_channels(read.png, read.info);
  if (png_get_bit_depth(read.png, read.info) != 8) {
    THROW_ERROR(fmt::format("PNGCodec: Unsupported bit depth {}", bit_depth));
  }
  const ImageFormat source_format = image_format_for_channels(channels);
  const ImageFormat effective = format == kImageFormatNative ? source_format : format;
  // The larger of the file's rows (an interlaced file is held whole) and the image's.
  const bool known = effective >= kImageFormatGrayscale && effective <= kImageFormatBGRA;
  check_decoded_size("PNGCodec", width, height,
                     std::max(channels, known ? image_format_channels(effective) : 0));
  Image<std::uint8_t> image(static_cast<int>(width), static_cast<int>(height), effective,
                            alignment);
  if (effective == source_format) {
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = image.row(static_cast<int>(y));
    png_read_image(read.png, rows.data());
  } else {
    const RowConversion convert = png_conversion(source_format, effective);
    const std::size_t row_bytes = png_get_rowbytes(read.png, read.info);
    if (passes > 1) {
      // Interlaced passes fill each row in several visits: keep every row until the last one.
      std::vector<std::uint8_t> whole(row_bytes * height);
      std::vector<png_bytep> rows(height);
      for (png_uint_32 y = 0; y < height; ++y) rows[y] = whole.data() + row_bytes * y;
      png_read_image(read.png, rows.data());
      for (png_uint_32 y = 0; y < height; ++y) {
        convert(rows[y], image.row(static_cast<int>(y)), image.width());
      }
    } else {
      std::vector<std::uint8_t> scratch(row_bytes);
      for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(read.png, scratch.data(), nullptr);
        convert(scratch.data(), image.row(static_cast<int>(y)), image.width());
      }
    }
  }
  png_read_end(read.png, read.info);
  return image;
}

void encode_png(const Image<std::uint8_t>& image, void** out, std::size_t* out_size,
                int* reallocations) {
  PngWrite write;
  write.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_error_callback,
                                      png_warning_callback);
  CHECK_CALL(write.png != nullptr);
  write.info = png_create_info_struct(write.png);
  CHECK_CALL(write.info != nullptr);
  write.writer.capacity = initial_capacity(static_cast<std::size_t>(image.height()) *
                                           image.width() * image.channels() / 2);
  write.writer.buffer = static_cast<std::uint8_t*>(std::malloc(write.writer.capacity));
  if (write.writer.buffer == nullptr) throw std::bad_alloc();
  png_set_write_fn(write.png, &write.writer, png_write_callback, png_flush_callback);

  int color_type = PNG_COLOR_TYPE_RGB;
  switch (image.channels()) {
    case 1:
      color_type = PNG_COLOR_TYPE_GRAY;
      break;
    case 2:
      color_type = PNG_COLOR_TYPE_GRAY_ALPHA;
      break;
    case 4:
      color_type = PNG_COLOR_TYPE_RGB_ALPHA;
      break;
    default:
      break;
  }
  png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(image.width()),
               static_cast<png_uint_32>(image.height()), 8, color_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(write.png, write.info);
  std::vector<png_bytep> rows(static_cast<std::size_t>(image.height()));
  for (int y = 0; y < image.height(); ++y) rows[y] = const_cast<png_bytep>(image.row(y));
  png_write_image(write.png, rows.data());
  png_write_end(write.png, nullptr);
  *out = write.writer.buffer;
  *out_size = write.writer.size;
  if (reallocations != nullptr) *reallocations = write.writer.reallocations;
  write.writer.buffer = nullptr;
}

}  // namespace base
