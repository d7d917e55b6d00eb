// Global operator new/delete on jemalloc, with the allocator's options fixed in the program:
// requests above 96 MiB go to the dedicated huge-allocation arena, and there are four ordinary
// arenas. Debian's jemalloc carries no symbol prefix, so it also serves malloc/free.
#include <jemalloc/jemalloc.h>

#include <cstddef>
#include <new>

extern "C" {
// Read by jemalloc at initialisation.
const char* malloc_conf = "oversize_threshold:100663296,narenas:4";
}

namespace {

void* allocate(std::size_t size) {
  void* p = malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void* allocate_aligned(std::size_t size, std::align_val_t align) {
  void* p = mallocx(size == 0 ? 1 : size, MALLOCX_ALIGN(static_cast<std::size_t>(align)));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t align) {
  return allocate_aligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return allocate_aligned(size, align);
}

void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }
void operator delete(void* p, std::align_val_t) noexcept {
  if (p) dallocx(p, 0);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  if (p) dallocx(p, 0);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  if (p) dallocx(p, 0);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  if (p) dallocx(p, 0);
}
