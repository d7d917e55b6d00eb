#include "base/path.h"

#include <map>
#include <vector>

#include "base/platform/locations.h"
#include "base/platform/platform.h"

namespace {

std::map<int, std::string>& overrides() {
  static std::map<int, std::string> table;
  return table;
}

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Index of the drive colon (1) for a path with a drive prefix, -1 otherwise.
int drive_index(const std::string& p, PathStyle style) {
  if (style == PathStyle::kWindows && p.size() >= 2 && is_letter(p[0]) && p[1] == ':') return 1;
  return -1;
}

char preferred_separator(PathStyle style) { return style == PathStyle::kWindows ? '\\' : '/'; }

std::size_t last_separator(const std::string& p, PathStyle style) {
  return style == PathStyle::kWindows ? p.find_last_of("\\/") : p.find_last_of('/');
}

base::platform::Locations& locations() { return base::platform::get<base::platform::Locations>(); }

}  // namespace

std::string well_known_path(int kind) {
  if (auto it = overrides().find(kind); it != overrides().end()) return it->second;
  switch (kind) {
    case kPathExecutableFolder:
      return path::parent(well_known_path(kPathExecutableFile));
    case kPathAlternateFolder:
    case kPathResourceFolder:
      return well_known_path(kPathExecutableFolder);
    case kPathUserProfile:
      return locations().user_profile();
    case kPathTemp:
      return locations().temp_folder();
    case kPathExecutableFile:
      return locations().executable_path();
    default:
      return {};
  }
}

void set_well_known_path(int kind, const std::string& path) { overrides()[kind] = path; }

void clear_well_known_path_overrides() { overrides().clear(); }

namespace path {

bool is_separator(char c, PathStyle style) {
  return c == '/' || (style == PathStyle::kWindows && c == '\\');
}

bool is_absolute(const std::string& p, PathStyle style) {
  if (style == PathStyle::kPosix) return !p.empty() && p[0] == '/';
  if (p.size() >= 3 && is_letter(p[0]) && p[1] == ':' && is_separator(p[2], style)) return true;
  return p.size() >= 2 && is_separator(p[0], style) && is_separator(p[1], style);
}

std::string without_trailing_separators(const std::string& p, PathStyle style) {
  const int d = drive_index(p, style);
  const auto root = static_cast<std::size_t>(d + 1);
  // A network-style root: the prefix followed by exactly two separators.
  if (p.size() == root + 2 && is_separator(p[root], style) && is_separator(p[root + 1], style)) {
    return p;
  }
  std::size_t end = p.size();
  while (end > root + 1 && is_separator(p[end - 1], style)) --end;
  return p.substr(0, end);
}

std::string join(const std::string& a, const std::string& b, PathStyle style) {
  std::string result = without_trailing_separators(a, style);
  const bool bare_drive = drive_index(result, style) == 1 && result.size() == 2;
  if (!b.empty() && !result.empty() && !is_separator(result.back(), style) && !bare_drive) {
    result.push_back(preferred_separator(style));
  }
  result += b;
  return result;
}

std::string parent(const std::string& p, PathStyle style) {
  const std::string r = without_trailing_separators(p, style);
  const int d = drive_index(r, style);
  const auto root = static_cast<std::size_t>(d + 1);
  const std::size_t last = last_separator(r, style);
  std::string result;
  if (last == std::string::npos) {
    result = r.substr(0, root);
  } else if (last == root) {
    result = r.substr(0, last + 1);
  } else if (last == root + 1 && is_separator(r[root], style)) {
    result = r.substr(0, last + 1);
  } else {
    result = r.substr(0, last);
  }
  result = without_trailing_separators(result, style);
  return result.empty() ? "." : result;
}

std::string filename(const std::string& p, PathStyle style) {
  std::string r = without_trailing_separators(p, style);
  if (drive_index(r, style) == 1) r.erase(0, 2);
  if (r.empty()) return r;
  const std::size_t last = last_separator(r, style);
  if (last != std::string::npos && last + 1 < r.size()) return r.substr(last + 1);
  return r;
}

std::string extension(const std::string& p, PathStyle style) {
  const std::string f = filename(p, style);
  if (f.empty() || f == "." || f == "..") return {};
  const std::size_t dot = f.rfind('.');
  return dot == std::string::npos ? std::string() : f.substr(dot);
}

std::string without_extension(const std::string& p, PathStyle style) {
  if (extension(p, style).empty()) return p;
  return p.substr(0, p.rfind('.'));
}

bool exists(const std::string& p) { return locations().file_exists(p); }

bool create_directories(const std::string& p, PathStyle style) {
  if (exists(p)) return true;
  std::vector<std::string> chain{p};
  while (true) {
    std::string up = parent(chain.front(), style);
    if (up == chain.front()) break;
    chain.insert(chain.begin(), std::move(up));
  }
  for (const std::string& folder : chain) {
    if (!exists(folder) && !locations().make_directory(folder)) return false;
  }
  return true;
}

}  // namespace path
