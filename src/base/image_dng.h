// Camera-raw (DNG) decoding into RawImage<uint16_t>: the undemosaiced sensor samples with the
// levels, white balance, mosaic and camera-to-sRGB matrix later processing needs.
#pragma once

#include <cstdint>

#include "base/image.h"

namespace base {

// Decodes the full-resolution image of a DNG held in memory; rows are aligned to `alignment`
// samples.
//
// The image records are the file's directories in order, each followed by its sub-directories.
// The main record is the first whose NewSubFileType is 0 (else the first). Checks, in order,
// each a base::CheckException naming its condition:
//   the parse succeeded ("ret"); samples per pixel give a known layout; unsigned samples of
//   16 bits once decoded and at most 16 as stored; one sample per pixel; a D65 colour matrix
//   in some record (CalibrationIlluminant 21, or a lone ColorMatrix1 without an illuminant);
//   an invertible camera-from-sRGB matrix; the mosaic blue-green / green-red (CFAPattern
//   2 1 1 0), any other "Unsupported color filter array".
// Parser warnings are logged at WARNING and parser errors at ERROR before the result is tested.
// White balance is the reciprocal of AsShotNeutral, (1, 1, 1) when the tag is absent or not
// positive; levels are the first BlackLevel and WhiteLevel entries truncated to 16 bits.
// A file without records, with zero dimensions or with more than 1 GiB of samples, or whose
// sample data cannot be decompressed, throws std::runtime_error before any pixel buffer is
// allocated for it.
[[nodiscard]] RawImage<std::uint16_t> decode_dng(const void* data, int length, int alignment);

}  // namespace base
