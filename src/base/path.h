// Well-known locations and operations on filesystem paths.
//
// Path operations follow one of two rule sets, chosen by PathStyle:
//  - kWindows: "\" and "/" are separators, "\" is inserted, "C:" drive prefixes are recognised;
//  - kPosix: "/" is the only separator and there are no drive prefixes.
// kNative (POSIX here) is the default and is what the program uses, so
//   path::join(well_known_path(kPathExecutableFolder), "corvalith_avx2.exe")
// gives a real path beside the running executable.
#pragma once

#include <string>

enum PathKind : int {
  kPathExecutableFolder = 1,  // parent folder of kPathExecutableFile
  kPathAlternateFolder = 2,   // same as kPathExecutableFolder
  kPathUserProfile = 3,       // the user's home folder; empty when unknown
  kPathResourceFolder = 4,    // same as kPathExecutableFolder
  kPathTemp = 5,              // temporary folder with a trailing separator; empty when unknown
  kPathExecutableFile = 6,    // the running executable, symlinks resolved
};

// The location for `kind`, asked of the system on every call unless an override is set;
// the empty string for unknown kinds.
[[nodiscard]] std::string well_known_path(int kind);
// Stores or replaces the override for `kind`. Meant for start-up and tests, before other
// threads ask.
void set_well_known_path(int kind, const std::string& path);
// Removes every override (tests).
void clear_well_known_path_overrides();

enum class PathStyle { kWindows, kPosix, kNative = kPosix };

namespace path {

[[nodiscard]] bool is_separator(char c, PathStyle style = PathStyle::kNative);
// Windows: "X:" + separator, or two leading separators. POSIX: a leading "/".
[[nodiscard]] bool is_absolute(const std::string& p, PathStyle style = PathStyle::kNative);
// Trailing separators removed, never past the root; a bare double-separator root is kept.
[[nodiscard]] std::string without_trailing_separators(const std::string& p,
                                                      PathStyle style = PathStyle::kNative);
// `a` and `b` joined with one separator; `b` is appended unchanged.
[[nodiscard]] std::string join(const std::string& a, const std::string& b,
                               PathStyle style = PathStyle::kNative);
// The folder containing `p`; "." for a bare name.
[[nodiscard]] std::string parent(const std::string& p, PathStyle style = PathStyle::kNative);
// The last component.
[[nodiscard]] std::string filename(const std::string& p, PathStyle style = PathStyle::kNative);
// The last component's suffix from its last ".", dot included; "" for "." and "..".
[[nodiscard]] std::string extension(const std::string& p, PathStyle style = PathStyle::kNative);
[[nodiscard]] std::string without_extension(const std::string& p,
                                            PathStyle style = PathStyle::kNative);
// True when a file or folder exists at `p`.
[[nodiscard]] bool exists(const std::string& p);
// Creates `p` and its missing parents; true when `p` exists afterwards as far as the creation
// calls report.
[[nodiscard]] bool create_directories(const std::string& p, PathStyle style = PathStyle::kNative);

}  // namespace path
