// JPEG and PNG decoding from memory into Image<uint8_t>, and encoding back into memory.
//
// Every call uses its own library objects and buffers, so the codecs run on any number of
// threads at once. Input bytes are untrusted: a corrupt or truncated file, a size whose pixel
// buffer would exceed kMaxDecodedImageBytes, or zero dimensions end in an exception, never in a
// crash or an oversized allocation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/image.h"

namespace base {

// Largest pixel buffer (height * width * channels bytes) a decoder agrees to allocate: 1 GiB.
constexpr std::uint64_t kMaxDecodedImageBytes = std::uint64_t{1} << 30;

// Decodes a JPEG. `format`: kImageFormatNative or kImageFormatRGB gives RGB, kImageFormatRGBA
// RGB with alpha 255, kImageFormatGrayscale the `luma` of the RGB output. Any other request
// throws std::runtime_error "JPEGCodec: Unhandled format {n}" before decoding. Library errors
// (corrupt data, CMYK files, which cannot be converted to RGB) throw std::runtime_error
// "JPEGCodec: " + the library's message, logged at ERROR; library warnings (a file cut short,
// padded with an end marker) are logged at WARNING and decoding goes on.
[[nodiscard]] Image<std::uint8_t> decode_jpeg(const void* data, int length, ImageFormat format,
                                              int alignment);

// Compresses `image` at `quality` (0..100, baseline tables). RGB, RGBA, BGRA and grey images are
// stored as colour JPEGs (grey as one component). On return *out is a malloc'd buffer the caller
// frees and *out_size its byte count. `reallocations`, when given, receives how many times the
// output buffer grew. Library errors throw std::runtime_error as for decode_jpeg.
void encode_jpeg(const Image<std::uint8_t>& image, void** out, std::size_t* out_size, int quality,
                 int* reallocations = nullptr);

// Decodes a PNG. Palette, low-bit grey and 16-bit files are expanded to 8-bit samples (palette
// transparency becomes an alpha channel); interlaced files are decoded whole. The file's layout
// is grey, grey+alpha, RGB or RGBA; `format` kImageFormatNative keeps it (grey+alpha then fails
// the "Unsupported format" check), otherwise:
//   RGBA -> Grayscale (luma), BGRA (red and blue exchanged), RGB (alpha dropped)
//   RGB  -> Grayscale (luma), RGBA (alpha 255)
//   Grey -> RGB, RGBA (replicated, alpha 255)
// Any other pair throws std::runtime_error "PNGCodec: Unhandled format {n}", n the requested
// format's number, or the file's (0 for grey+alpha) when the file is none of grey, RGB, RGBA.
// Library errors, including data ending early, are logged at ERROR and throw
// std::runtime_error "PNGCodec: " + the library's message.
[[nodiscard]] Image<std::uint8_t> decode_png(const void* data, int length, ImageFormat format,
                                             int alignment);

// Writes `image` as an 8-bit, non-interlaced PNG; the colour type follows the channel count
// (1 grey, 2 grey+alpha, 3 RGB, 4 RGBA), so a BGRA image is stored in its own byte order. Output
// and `reallocations` as for encode_jpeg.
void encode_png(const Image<std::uint8_t>& image, void** out, std::size_t* out_size,
                int* reallocations = nullptr);

}  // namespace base
