#include "base/image_dng.h"

#include <fmt/format.h>
#include <libraw/libraw.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/image_codec.h"
#include "base/logging.h"

namespace base {
namespace {

constexpr float kEpsilon = 1.1920929e-7f;  // 2^-23
constexpr int kIlluminantD65 = 21;
constexpr int kSampleFormatUint = SAMPLEFORMAT_UINT;
// Bounds the directory walk of hostile files (directory loops are caught by the parser).
constexpr std::size_t kMaxRecords = 64;

// Linear sRGB to XYZ (D65), row-major.
constexpr float kSrgbToXyz[9] = {0.4124564f, 0.3575761f, 0.1804375f,  //
                                 0.2126729f, 0.7151522f, 0.0721750f,  //
                                 0.0193339f, 0.1191920f, 0.9503041f};

// What the decoder needs of one image directory.
struct DngRecord {
  std::uint32_t new_subfile_type = 0;
  int samples_per_pixel = 1;
  unsigned bits_per_sample = 0;           // after decoding
  unsigned bits_per_sample_original = 0;  // as stored
  int sample_format = kSampleFormatUint;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t black_level = 0;
  std::uint32_t white_level = 0;
  std::vector<int> cfa_pattern;
  std::vector<float> as_shot_neutral;
  std::vector<float> color_matrix1;
  std::vector<float> color_matrix2;
  int calibration_illuminant1 = -1;  // -1: tag absent
  int calibration_illuminant2 = -1;
  // Where the record is, to read its samples later.
  tdir_t chain_index = 0;
  std::uint64_t sub_ifd_offset = 0;  // 0: a directory of the main chain
  std::uint16_t compression = COMPRESSION_NONE;
};

// ---- reading the directories from memory ------------------------------------------------------

struct MemoryFile {
  const std::uint8_t* data;
  toff_t size;
  toff_t position;
};

tmsize_t memory_read(thandle_t handle, void* out, tmsize_t count) {
  auto* file = static_cast<MemoryFile*>(handle);
  if (count <= 0 || file->position >= file->size) return 0;
  const toff_t n = std::min<toff_t>(static_cast<toff_t>(count), file->size - file->position);
  std::memcpy(out, file->data + file->position, n);
  file->position += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t memory_write(thandle_t, void*, tmsize_t) { return -1; }

toff_t memory_seek(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<MemoryFile*>(handle);
  toff_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->size : 0;
  if (offset > ~toff_t{0} - base) return static_cast<toff_t>(-1);
  file->position = base + offset;
  return file->position;
}

int memory_close(thandle_t) { return 0; }
toff_t memory_size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size; }
int memory_map(thandle_t, void**, toff_t*) { return 0; }
void memory_unmap(thandle_t, void*, toff_t) {}

struct ParserMessages {
  std::string warnings;
  std::string errors;
};

int collect_message(std::string* into, const char* module, const char* format, va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof(text), format, args);
  if (!into->empty()) into->append("\n");
  if (module != nullptr) into->append(module).append(": ");
  into->append(text);
  return 1;  // handled: nothing reaches standard error
}

int collect_error(TIFF*, void* user, const char* module, const char* format, va_list args) {
  return collect_message(&static_cast<ParserMessages*>(user)->errors, module, format, args);
}

int collect_warning(TIFF*, void* user, const char* module, const char* format, va_list args) {
  return collect_message(&static_cast<ParserMessages*>(user)->warnings, module, format, args);
}

std::vector<float> float_array(TIFF* tiff, ttag_t tag) {
  std::uint16_t count = 0;
  float* values = nullptr;
  if (TIFFGetField(tiff, tag, &count, &values) != 1 || values == nullptr) return {};
  return std::vector<float>(values, values + count);
}

// A non-negative sample value as an integer; out-of-range values saturate.
std::uint32_t level_value(float value) {
  if (!(value > 0)) return 0;
  if (value >= 4294967295.0f) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(value);
}

DngRecord read_record(TIFF* tiff) {
  DngRecord record;
  std::uint32_t u32 = 0;
  std::uint16_t u16 = 0;
  if (TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &u32) == 1) record.new_subfile_type = u32;
  if (TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &u16) == 1) {
    record.samples_per_pixel = u16;
  }
  if (TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &u16) == 1) {
    record.bits_per_sample_original = u16;
  }
  // Samples are widened to 8 or 16 bits when decoded; wider ones keep their width.
  const unsigned stored = record.bits_per_sample_original;
  record.bits_per_sample = stored <= 8 ? 8 : stored <= 16 ? 16 : stored;
  if (TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &u16) == 1) record.sample_format = u16;
  if (TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &u16) == 1) record.compression = u16;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &record.width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &record.height);

  const std::vector<float> black = float_array(tiff, TIFFTAG_BLACKLEVEL);
  if (!black.empty()) record.black_level = level_value(black[0]);
  std::uint16_t count = 0;
  std::uint32_t* white = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_WHITELEVEL, &count, &white) == 1 && count > 0 && white) {
    record.white_level = white[0];
  }
  std::uint8_t* pattern = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_CFAPATTERN, &count, &pattern) == 1 && pattern != nullptr) {
    record.cfa_pattern.assign(pattern, pattern + count);
  }
  record.as_shot_neutral = float_array(tiff, TIFFTAG_ASSHOTNEUTRAL);
  record.color_matrix1 = float_array(tiff, TIFFTAG_COLORMATRIX1);
  record.color_matrix2 = float_array(tiff, TIFFTAG_COLORMATRIX2);
  if (TIFFGetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT1, &u16) == 1) {
    record.calibration_illuminant1 = u16;
  }
  if (TIFFGetField(tiff, TIFFTAG_CALIBRATIONILLUMINANT2, &u16) == 1) {
    record.calibration_illuminant2 = u16;
  }
  return record;
}

// An open parser over bytes in memory; messages collect its warnings and errors.
class TiffReader {
 public:
  TiffReader(const void* data, int length, ParserMessages* messages)
      : file_{static_cast<const std::uint8_t*>(data),
              data != nullptr && length > 0 ? static_cast<toff_t>(length) : 0, 0} {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, collect_error, messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, collect_warning, messages);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, 64 << 20);
    tiff_ = TIFFClientOpenExt("dng", "rm", &file_, memory_read, memory_write, memory_seek,
                              memory_close, memory_size, memory_map, memory_unmap, options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffReader() {
    if (tiff_ != nullptr) TIFFClose(tiff_);
  }
  TiffReader(const TiffReader&) = delete;
  TiffReader& operator=(const TiffReader&) = delete;
  TIFF* get() const { return tiff_; }

 private:
  MemoryFile file_;
  TIFF* tiff_ = nullptr;
};

// The image records in file order: each directory of the main chain followed by its
// sub-directories. False when the file cannot be parsed at all.
bool parse_records(const void* data, int length, std::vector<DngRecord>* records,
                   ParserMessages* messages) {
  TiffReader reader(data, length, messages);
  TIFF* tiff = reader.get();
  if (tiff == nullptr) return false;
  for (tdir_t index = 0; records->size() < kMaxRecords; ++index) {
    records->push_back(read_record(tiff));
    records->back().chain_index = index;
    std::uint16_t count = 0;
    std::uint64_t* offsets = nullptr;
    std::vector<std::uint64_t> children;
    if (TIFFGetField(tiff, TIFFTAG_SUBIFD, &count, &offsets) == 1 && offsets != nullptr) {
      children.assign(offsets, offsets + count);
    }
    for (std::uint64_t offset : children) {
      if (records->size() >= kMaxRecords) break;
      if (offset != 0 && TIFFSetSubDirectory(tiff, offset) == 1) {
        records->push_back(read_record(tiff));
        records->back().chain_index = index;
        records->back().sub_ifd_offset = offset;
      }
    }
    if (!children.empty() && TIFFSetDirectory(tiff, index) != 1) break;
    if (TIFFReadDirectory(tiff) != 1) break;
  }
  return true;
}

// ---- colour -----------------------------------------------------------------------------------

bool is_d65_record(const DngRecord& record, const std::vector<float>** matrix) {
  if (record.color_matrix1.size() >= 9 &&
      (record.calibration_illuminant1 == kIlluminantD65 ||
       // A lone matrix without an illuminant applies under every light.
       (record.calibration_illuminant1 < 0 && record.color_matrix2.empty()))) {
    *matrix = &record.color_matrix1;
    return true;
  }
  if (record.color_matrix2.size() >= 9 && record.calibration_illuminant2 == kIlluminantD65) {
    *matrix = &record.color_matrix2;
    return true;
  }
  return false;
}

float determinant(const float p[9]) {
  return p[0] * (p[4] * p[8] - p[5] * p[7]) + p[1] * (p[5] * p[6] - p[3] * p[8]) +
         p[2] * (p[3] * p[7] - p[4] * p[6]);
}

// Inverse of the row-normalised camera-from-sRGB matrix: camera colour to linear sRGB.
std::vector<float> camera_to_srgb(const std::vector<float>& xyz_to_camera) {
  float p[9];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      float sum = 0;
      for (int k = 0; k < 3; ++k) sum += xyz_to_camera[i * 3 + k] * kSrgbToXyz[k * 3 + j];
      p[i * 3 + j] = sum;
    }
  }
  for (int i = 0; i < 3; ++i) {
    const float sum = p[i * 3] + p[i * 3 + 1] + p[i * 3 + 2];
    for (int j = 0; j < 3; ++j) p[i * 3 + j] /= sum;
  }
  const float det = determinant(p);
  CHECK(det > kEpsilon || det < -kEpsilon);
  return {(p[4] * p[8] - p[5] * p[7]) / det, (p[2] * p[7] - p[1] * p[8]) / det,
          (p[1] * p[5] - p[2] * p[4]) / det, (p[5] * p[6] - p[3] * p[8]) / det,
          (p[0] * p[8] - p[2] * p[6]) / det, (p[2] * p[3] - p[0] * p[5]) / det,
          (p[3] * p[7] - p[4] * p[6]) / det, (p[1] * p[6] - p[0] * p[7]) / det,
          (p[0] * p[4] - p[1] * p[3]) / det};
}

ColorFilterArray mosaic(const std::vector<int>& pattern) {
  const auto is = [&](int a, int b, int c, int d) {
    return pattern.size() == 4 && pattern[0] == a && pattern[1] == b && pattern[2] == c &&
           pattern[3] == d;
  };
  if (is(2, 1, 1, 0)) return kColorFilterArrayRGBG;
  if (is(1, 2, 0, 1)) return kColorFilterArrayGBRG;
  CHECK(false && "Unsupported color filter array");
  return kColorFilterArrayNone;
}

std::vector<float> white_balance(const std::vector<float>& neutral) {
  if (neutral.size() >= 3 && neutral[0] > 0 && neutral[1] > 0 && neutral[2] > 0 &&
      std::isfinite(1 / neutral[0]) && std::isfinite(1 / neutral[1]) &&
      std::isfinite(1 / neutral[2])) {
    return {1 / neutral[0], 1 / neutral[1], 1 / neutral[2]};
  }
  if (!neutral.empty()) LOG(WARNING) << "DNG: Ignoring unusable AsShotNeutral";
  return {1, 1, 1};
}

// ---- samples ----------------------------------------------------------------------------------

[[noreturn]] void samples_failure(const std::string& reason) {
  THROW_ERROR(fmt::format("DNG: Unable to decode the samples: {}", reason));
}

// Uncompressed or deflated samples of 9 to 16 bits, in strips or tiles, are read here;
// everything else (lossless JPEG above all) goes to the camera-raw decoder.
bool plain_samples(const DngRecord& record) {
  const unsigned bits = record.bits_per_sample_original;
  return bits > 8 && bits <= 16 &&
         (record.compression == COMPRESSION_NONE ||
          record.compression == COMPRESSION_ADOBE_DEFLATE ||
          record.compression == COMPRESSION_DEFLATE);
}

// `count` samples of `bits` bits packed most significant bit first; 16-bit samples arrive
// already in native byte order.
void unpack_samples(const std::uint8_t* src, std::uint16_t* dst, std::uint32_t count,
                    unsigned bits) {
  if (bits == 16) {
    std::memcpy(dst, src, std::size_t{count} * 2);
    return;
  }
  const std::uint32_t mask = (1u << bits) - 1;
  std::uint32_t acc = 0;
  unsigned have = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    while (have < bits) {
      acc = (acc << 8) | *src++;
      have += 8;
    }
    have -= bits;
    dst[i] = static_cast<std::uint16_t>((acc >> have) & mask);
  }
}

// Positions the reader on the record's directory.
bool select_record(TIFF* tiff, const DngRecord& record) {
  return tiff != nullptr && TIFFSetDirectory(tiff, record.chain_index) == 1 &&
         (record.sub_ifd_offset == 0 || TIFFSetSubDirectory(tiff, record.sub_ifd_offset) == 1);
}

void read_plain_samples(const void* data, int length, const DngRecord& record,
                        Image<std::uint16_t>* image) {
  ParserMessages messages;
  TiffReader reader(data, length, &messages);
  TIFF* tiff = reader.get();
  const bool found =
      tiff != nullptr && TIFFSetDirectory(tiff, record.chain_index) == 1 &&
      (record.sub_ifd_offset == 0 || TIFFSetSubDirectory(tiff, record.sub_ifd_offset) == 1);
  if (!found) samples_failure(messages.errors);
  const unsigned bits = record.bits_per_sample_original;
  const std::size_t row_bytes = (static_cast<std::size_t>(image->width()) * bits + 7) / 8;
  const auto height = static_cast<std::uint32_t>(image->height());
  const auto width = static_cast<std::uint32_t>(image->width());
  if (TIFFIsTiled(tiff)) {
    std::uint32_t tile_width = 0, tile_height = 0;
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tile_width);
    TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tile_height);
    const tmsize_t tile_bytes = TIFFTileSize(tiff);
    const std::uint64_t tile_row_bytes = (std::uint64_t{tile_width} * bits + 7) / 8;
    if (tile_width == 0 || tile_height == 0 || tile_bytes <= 0 ||
        static_cast<std::uint64_t>(tile_bytes) < tile_row_bytes * tile_height) {
      samples_failure("bad tile size");
    }
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(tile_bytes));
    for (std::uint32_t ty = 0; ty < height; ty += tile_height) {
      for (std::uint32_t tx = 0; tx < width; tx += tile_width) {
        if (TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, tx, ty, 0, 0), tile.data(),
                                tile_bytes) < 0) {
          samples_failure(messages.errors);
        }
        const std::uint32_t columns = std::min(tile_width, width - tx);
        for (std::uint32_t y = ty; y < std::min(ty + tile_height, height); ++y) {
          unpack_samples(tile.data() + (y - ty) * tile_row_bytes,
                         image->row(static_cast<int>(y)) + tx, columns, bits);
        }
      }
    }
  } else {
    if (static_cast<std::size_t>(TIFFScanlineSize(tiff)) != row_bytes) {
      samples_failure("bad row size");
    }
    // Whole 16-bit rows go straight into the image; packed ones through one scratch row.
    std::vector<std::uint8_t> scratch(bits == 16 ? 0 : row_bytes);
    for (std::uint32_t y = 0; y < height; ++y) {
      std::uint16_t* row = image->row(static_cast<int>(y));
      void* into = bits == 16 ? static_cast<void*>(row) : scratch.data();
      if (TIFFReadScanline(tiff, into, y, 0) < 0) samples_failure(messages.errors);
      if (bits != 16) unpack_samples(scratch.data(), row, width, bits);
    }
  }
}

// The camera-raw decoder leaves zeros, without an error, where lossless JPEG data does not
// start like JPEG data; refuse such files before handing them over.
void check_jpeg_segments(const void* data, int length, const DngRecord& record) {
  ParserMessages messages;
  TiffReader reader(data, length, &messages);
  TIFF* tiff = reader.get();
  if (!select_record(tiff, record)) samples_failure(messages.errors);
  const bool tiled = TIFFIsTiled(tiff) != 0;
  const std::uint32_t segments = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  std::uint64_t* offsets = nullptr;
  if (TIFFGetField(tiff, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) != 1 ||
      offsets == nullptr) {
    samples_failure("no sample data");
  }
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::uint32_t i = 0; i < segments; ++i) {
    if (length < 2 || offsets[i] > static_cast<std::uint64_t>(length) - 2 ||
        bytes[offsets[i]] != 0xFF || bytes[offsets[i] + 1] != 0xD8) {
      samples_failure("lossless JPEG data does not start with a JPEG marker");
    }
  }
}

// Any other sample layout, through the camera-raw decoder.
void read_raw_samples(const void* data, int length, const DngRecord& record,
                      Image<std::uint16_t>* image) {
  if (record.compression == 7) check_jpeg_segments(data, length, record);
  auto raw = std::make_unique<LibRaw>(0);
  // Damage is reported through the log rather than the library's own line on stderr.
  raw->set_dataerror_handler(
      [](void*, const char*, const int offset) {
        if (offset < 0) {
          LOG(WARNING) << "DNG: The sample data ends early";
        } else {
          LOG(WARNING) << "DNG: The sample data is damaged at offset " << offset;
        }
      },
      nullptr);
  // The library reads the buffer without writing to it.
  int code = raw->open_buffer(const_cast<void*>(data), static_cast<std::size_t>(length));
  if (code == LIBRAW_SUCCESS) code = raw->unpack();
  if (code != LIBRAW_SUCCESS) samples_failure(libraw_strerror(code));
  // Damaged compressed data is counted rather than reported by the return code.
  if (raw->error_count() != 0) samples_failure("the compressed data is damaged");
  const libraw_rawdata_t& decoded = raw->imgdata.rawdata;
  if (decoded.raw_image == nullptr ||
      decoded.sizes.raw_width != static_cast<unsigned>(image->width()) ||
      decoded.sizes.raw_height != static_cast<unsigned>(image->height())) {
    samples_failure("the decoded image is not the full-resolution one");
  }
  const std::size_t pitch = decoded.sizes.raw_pitch / sizeof(std::uint16_t);
  for (int y = 0; y < image->height(); ++y) {
    std::memcpy(image->row(y), decoded.raw_image + pitch * y, image->width() * 2);
  }
}

}  // namespace

RawImage<std::uint16_t> decode_dng(const void* data, int length, int alignment) {
  using dtype = std::uint16_t;
  std::vector<DngRecord> records;
  ParserMessages messages;
  const bool ret = parse_records(data, length, &records, &messages);
  if (!messages.warnings.empty()) LOG(WARNING) << messages.warnings;
  if (!messages.errors.empty()) LOG(ERROR) << messages.errors;
  CHECK(ret);
  if (records.empty()) THROW_ERROR("DNG: The file holds no image");

  const DngRecord* main_image = &records.front();
  for (const DngRecord& record : records) {
    if (record.new_subfile_type == 0) {
      main_image = &record;
      break;
    }
  }
  const DngRecord& dng_image = *main_image;
  const ImageFormat image_format = image_format_for_channels(dng_image.samples_per_pixel);
  CHECK(image_format != ImageFormat::kImageFormatNone);
  CHECK(dng_image.sample_format == kSampleFormatUint);
  CHECK(dng_image.bits_per_sample == 8 * sizeof(dtype));
  CHECK(dng_image.bits_per_sample_original <= 8 * sizeof(dtype));
  CHECK(dng_image.samples_per_pixel == 1);

  const std::vector<float>* matrix = nullptr;
  for (const DngRecord& record : records) {
    if (is_d65_record(record, &matrix)) break;
  }
  if (matrix == nullptr) CHECK(false && "Could not find required color correction matrix");
  std::vector<float> color_correction = camera_to_srgb(*matrix);
  const ColorFilterArray cfa = mosaic(dng_image.cfa_pattern);
  CHECK(cfa == kColorFilterArrayRGBG && "Unsupported color filter array");
  std::vector<float> balance = white_balance(dng_image.as_shot_neutral);

  const std::uint64_t width = dng_image.width;
  const std::uint64_t height = dng_image.height;
  if (width == 0 || height == 0) {
    THROW_ERROR(fmt::format("DNG: Image has no pixels ({}x{})", width, height));
  }
  if (width * height * sizeof(dtype) > kMaxDecodedImageBytes) {
    THROW_ERROR(fmt::format("DNG: Image of {}x{} is too large", width, height));
  }
  RawImage<dtype> image(static_cast<int>(width), static_cast<int>(height), kImageFormatGrayscale,
                        kColorFilterArrayRGBG, std::move(balance), std::move(color_correction),
                        static_cast<dtype>(dng_image.black_level),
                        static_cast<dtype>(dng_image.white_level), alignment);
  if (plain_samples(dng_image)) {
    read_plain_samples(data, length, dng_image, &image);
  } else {
    read_raw_samples(data, length, dng_image, &image);
  }
  return image;
}

}  // namespace base
