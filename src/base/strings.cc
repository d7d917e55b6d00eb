#include "base/strings.h"

#include <cctype>
#include <climits>
#include <cwchar>

namespace strings {
namespace {

bool is_trim_char(char c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }
bool is_break(char c) { return c == ' ' || c == '\t'; }

constexpr char kHexDigits[] = "0123456789abcdef";

std::string map_bytes(const std::string& s, int (*f)(int)) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(f(static_cast<unsigned char>(c)));
  return out;
}

void wrap_line(std::string_view line, std::size_t width, std::string* out) {
  const std::size_t length = line.size();
  std::size_t s = 0;
  std::size_t p = 0;
  while (p < length) {
    std::size_t e = p;
    while (e < length && !is_break(line[e])) ++e;
    std::size_t n = e;
    while (n < length && is_break(line[n])) ++n;
    if (e - s > width) {
      out->append(line.substr(s, p - s));
      out->push_back('\n');
      s = p;
    }
    if (n - s > width) {
      out->append(line.substr(s, e - s));
      out->push_back('\n');
      s = n;
    }
    p = n;
  }
  out->append(line.substr(s));
}

}  // namespace

std::string trim(const std::string& s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && is_trim_char(s[begin])) ++begin;
  while (end > begin && is_trim_char(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

std::string trim_nul(const std::string& s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && s[begin] == '\0') ++begin;
  while (end > begin && s[end - 1] == '\0') --end;
  return s.substr(begin, end - begin);
}

std::string to_upper(const std::string& s) { return map_bytes(s, ::toupper); }
std::string to_lower(const std::string& s) { return map_bytes(s, ::tolower); }

bool starts_with(std::string_view s, std::string_view prefix) { return s.starts_with(prefix); }

bool contains(const std::string& s, char c) { return s.find(c) != std::string::npos; }

bool contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

std::vector<std::int32_t> find_all(const std::string& s, char c) {
  std::vector<std::int32_t> indexes;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == c) indexes.push_back(static_cast<std::int32_t>(i));
  }
  return indexes;
}

std::vector<std::string> split(const std::string& s, char delimiter) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start < s.size()) {
    const std::size_t end = s.find(delimiter, start);
    if (end == std::string::npos) {
      pieces.push_back(s.substr(start));
      break;
    }
    pieces.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

std::vector<std::string> split_any(const std::string& s, const std::string& delimiters,
                                   bool keep_empty) {
  std::vector<std::string> pieces(1);
  for (char ch : s) {
    if (delimiters.find(ch) != std::string::npos) {
      if (keep_empty || !pieces.back().empty()) pieces.emplace_back();
    } else {
      pieces.back().push_back(ch);
    }
  }
  if (!keep_empty && pieces.back().empty()) pieces.pop_back();
  return pieces;
}

std::string replace_all(const std::string& s, const std::string& from, const std::string& to) {
  if (from.empty()) return s;
  std::string result = s;
  if (to.find(from) != std::string::npos) {
    for (std::size_t pos = result.find(from); pos != std::string::npos;
         pos = result.find(from, pos + to.size())) {
      result.replace(pos, from.size(), to);
    }
    return result;
  }
  // Restarting at the beginning after each replacement finds the same first occurrence as
  // resuming just far enough back to catch a match that the replacement completed.
  const std::size_t limit = (s.size() + 1) * (s.size() + 1);
  std::size_t pos = result.find(from);
  for (std::size_t count = 0; pos != std::string::npos && count < limit; ++count) {
    result.replace(pos, from.size(), to);
    const std::size_t resume = pos >= from.size() - 1 ? pos - (from.size() - 1) : 0;
    pos = result.find(from, resume);
  }
  return result;
}

std::string pad(const std::string& s, int width, bool left_align) {
  const auto length = static_cast<std::int32_t>(s.size());
  if (length >= width) return s;
  const std::string fill(static_cast<std::size_t>(width - length), ' ');
  return left_align ? s + fill : fill + s;
}

std::string byte_to_hex(std::uint8_t b) { return {kHexDigits[b >> 4], kHexDigits[b & 0xF]}; }

std::string to_hex(const std::uint8_t* data, int length) {
  std::string out;
  if (length <= 0) return out;
  out.reserve(static_cast<std::size_t>(length) * 2);
  for (int i = 0; i < length; ++i) {
    out.push_back(kHexDigits[data[i] >> 4]);
    out.push_back(kHexDigits[data[i] & 0xF]);
  }
  return out;
}

std::string to_hex(const std::string& bytes) {
  return to_hex(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                static_cast<int>(bytes.size()));
}

bool is_ascii(const std::string& s) {
  for (char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool is_printable(const std::string& s) {
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b > 0x7E) return false;
  }
  return true;
}

bool is_valid_utf8(const std::string& s) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t size = s.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    std::size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead <= 0x7F) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (size - i < length) return false;
    if (bytes[i + 1] < low || bytes[i + 1] > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (bytes[i + k] < 0x80 || bytes[i + k] > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

std::string narrow(const std::wstring& w) {
  std::string out;
  out.reserve(w.size());
  char buffer[MB_LEN_MAX + 1];
  for (wchar_t unit : w) {
    std::mbstate_t state{};
    const std::size_t n = std::wcrtomb(buffer, unit, &state);
    const auto byte = static_cast<unsigned char>(buffer[0]);
    if (n == 1 && byte >= 1 && byte <= 127) {
      out.push_back(buffer[0]);
    }
  }
  return out;
}

std::wstring widen(const std::string& s) {
  std::wstring out;
  out.reserve(s.size());
  for (char c : s) {
    std::mbstate_t state{};
    wchar_t wc = 0;
    const std::size_t n = std::mbrtowc(&wc, &c, 1, &state);
    // A NUL byte converts to L'\0' with result 0, and a byte the locale refuses gives no
    // character: both still stand for the byte's own value, so the walk always advances.
    if (n == 1) {
      out.push_back(wc);
    } else {
      out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

std::string wrap_text(const std::string& text, int width) {
  const std::size_t w = width < 0 ? 0 : static_cast<std::size_t>(width);
  std::string out;
  out.reserve(text.size() + text.size() / 8 + 1);
  std::size_t start = 0;
  while (true) {
    const std::size_t newline = text.find('\n', start);
    const std::string_view line(text.data() + start,
                                (newline == std::string::npos ? text.size() : newline) - start);
    wrap_line(line, w, &out);
    if (newline == std::string::npos) break;
    out.push_back('\n');
    start = newline + 1;
  }
  return out;
}

}  // namespace strings
