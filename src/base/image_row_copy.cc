#include "base/image_row_copy.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace base {

#if defined(__x86_64__)

void copy_to_aligned_row_sse2(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes) {
  std::size_t i = 0;
  for (; i + 16 <= bytes; i += 16) {
    _mm_store_si128(reinterpret_cast<__m128i*>(to + i),
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
  }
  if (i < bytes) std::memcpy(to + i, from + i, bytes - i);
}

__attribute__((target("avx2"))) void copy_to_aligned_row_avx2(std::uint8_t* to,
                                                              const std::uint8_t* from,
                                                              std::size_t bytes) {
  std::size_t i = 0;
  for (; i + 32 <= bytes; i += 32) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(to + i),
                       _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i)));
  }
  if (i < bytes) std::memcpy(to + i, from + i, bytes - i);
}

void copy_to_aligned_row(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes) {
  using Copy = void (*)(std::uint8_t*, const std::uint8_t*, std::size_t);
  static const Copy copy =
      __builtin_cpu_supports("avx2") ? copy_to_aligned_row_avx2 : copy_to_aligned_row_sse2;
  copy(to, from, bytes);
}

#else

void copy_to_aligned_row(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes) {
  if (bytes != 0) std::memcpy(to, from, bytes);
}

#endif

}  // namespace base
