// Feeds arbitrary bytes to one image decoder, chosen at build time by CORVALITH_FUZZ_DECODER
// (1 JPEG, 2 PNG, 3 DNG). Every request layout is tried on JPEG and PNG; failures must be
// exceptions, never crashes, leaks or reads outside the input.
#include <cstddef>
#include <cstdint>
#include <exception>

#include "base/image_codec.h"
#include "base/image_dng.h"
#include "base/logging.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  base::set_min_severity(base::kLogFatal + 1);  // keep the fuzzer's output readable
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 24)) return 0;
  const int length = static_cast<int>(size);
  // The last byte picks the requested layout so the corpus reaches every conversion.
  const auto format = static_cast<base::ImageFormat>(size > 0 ? data[size - 1] % 6 : 1);
  try {
#if CORVALITH_FUZZ_DECODER == 1
    base::Image<std::uint8_t> image = base::decode_jpeg(data, length, format, 16);
#elif CORVALITH_FUZZ_DECODER == 2
    base::Image<std::uint8_t> image = base::decode_png(data, length, format, 16);
#else
    (void)format;
    base::RawImage<std::uint16_t> image = base::decode_dng(data, length, 16);
#endif
  } catch (const std::exception&) {
  }
  return 0;
}
