// Copies one decoded row out of a small cache-resident strip into an image row that starts on a
// 32-byte boundary. An explicit vector loop with aligned stores: the C library's copy of rows
// this long switches to a string instruction that measured markedly slower into freshly mapped
// pages, and the codecs write every row of a new image this way.
#ifndef CORVALITH_BASE_IMAGE_ROW_COPY_H_
#define CORVALITH_BASE_IMAGE_ROW_COPY_H_

#include <cstddef>
#include <cstdint>

namespace base {

// `to` must be 32-byte aligned; `from` may have any alignment; any `bytes`, tail included.
// Uses the widest variant this processor runs.
void copy_to_aligned_row(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes);

#if defined(__x86_64__)
// The variants behind copy_to_aligned_row; call the AVX2 one only where the processor has it.
void copy_to_aligned_row_sse2(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes);
void copy_to_aligned_row_avx2(std::uint8_t* to, const std::uint8_t* from, std::size_t bytes);
#endif

}  // namespace base

#endif  // CORVALITH_BASE_IMAGE_ROW_COPY_H_
