// The platform layer: every operating-system call the library makes goes through an "area"
// interface declared in this folder (process.h, clock.h, locations.h, ...). Each area is an
// abstract class with a process-wide Linux backend; a test installs a scripted fake for its scope
// with ScopedPlatform, so one test binary can exercise many machines.
//
// Contract for every area and backend:
//  - functions never throw for a missing source; "not available" is a false result, an empty
//    value or std::nullopt as each function documents;
//  - backends never run other programs and never write outside the paths they are given;
//  - Part logic (walks, fallbacks, parsing, messages) stays with its caller, not here.
//
// Adding an area: declare `class Foo { public: virtual ~Foo(); ...; static Foo& linux_backend(); }`
// in foo.h, implement the backend in foo_linux.cc, and callers use `platform::get<Foo>()`.
#pragma once

#include <utility>

namespace base::platform {

namespace internal {
template <class Area>
inline Area*& installed() {
  static Area* area = nullptr;
  return area;
}
}  // namespace internal

// The area's current implementation: the installed fake, or the Linux backend.
// Installing is meant for tests and start-up; lookups are not synchronised with it.
template <class Area>
[[nodiscard]] Area& get() {
  Area* area = internal::installed<Area>();
  return area ? *area : Area::linux_backend();
}

// Installs `fake` as the area's implementation until this object is destroyed; nests.
template <class Area>
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Area& fake)
      : previous_(std::exchange(internal::installed<Area>(), &fake)) {}
  ~ScopedPlatform() { internal::installed<Area>() = previous_; }
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Area* previous_;
};

}  // namespace base::platform
