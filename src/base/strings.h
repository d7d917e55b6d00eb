// Helpers on narrow strings: trimming, case mapping, splitting, padding, searching, hexadecimal
// text, character-class checks, narrow/wide conversion, and the console word wrap.
// All work byte by byte (code unit by code unit for wide text), return new values, and never
// throw except on allocation failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace strings {

// Without leading/trailing tab, line feed, carriage return and space (11 and 12 are kept).
[[nodiscard]] std::string trim(const std::string& s);
// Without leading and trailing NUL bytes.
[[nodiscard]] std::string trim_nul(const std::string& s);
// Each byte through toupper/tolower of the default locale: only A-Z / a-z change.
[[nodiscard]] std::string to_upper(const std::string& s);
[[nodiscard]] std::string to_lower(const std::string& s);
[[nodiscard]] bool starts_with(std::string_view s, std::string_view prefix);
[[nodiscard]] bool contains(const std::string& s, char c);
// True for an empty `part`.
[[nodiscard]] bool contains(const std::string& s, const std::string& part);
// Indexes of every occurrence of `c`, ascending.
[[nodiscard]] std::vector<std::int32_t> find_all(const std::string& s, char c);
// The pieces a line reader returns with `delimiter` as line end: "a,b," gives a and b; ",a"
// gives "" and a; "" gives nothing.
[[nodiscard]] std::vector<std::string> split(const std::string& s, char delimiter);
// Pieces separated by any of `delimiters`. Without keep_empty, empty pieces are dropped
// ("a,,b" gives a, b); with it they are kept ("a,,b" gives a, "", b; "" gives one "").
[[nodiscard]] std::vector<std::string> split_any(const std::string& s,
                                                 const std::string& delimiters, bool keep_empty);
// Replaces `from` by `to`, searching again from the start after each replacement, so replaced
// text can match again ("aaaa", "aa" -> "a" gives "a"). An empty `from` returns `s`; a `to` that
// contains `from` is applied in one left-to-right pass (restarting would never end); and the
// restarting form stops after (size + 1)^2 replacements, so no input loops forever.
[[nodiscard]] std::string replace_all(const std::string& s, const std::string& from,
                                      const std::string& to);
// `s` padded with spaces to `width` (after it when left_align, before it otherwise).
[[nodiscard]] std::string pad(const std::string& s, int width, bool left_align);
// Two lowercase hex digits per byte, no separators.
[[nodiscard]] std::string to_hex(const std::uint8_t* data, int length);
[[nodiscard]] std::string to_hex(const std::string& bytes);
[[nodiscard]] std::string byte_to_hex(std::uint8_t b);
[[nodiscard]] bool is_ascii(const std::string& s);
// Every byte 0x20..0x7E.
[[nodiscard]] bool is_printable(const std::string& s);
// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
[[nodiscard]] bool is_valid_utf8(const std::string& s);
// Keeps wide code units 1..127 as the same byte and drops every other unit.
[[nodiscard]] std::string narrow(const std::wstring& w);
// Each byte becomes the wide character of the same value (NUL bytes included).
[[nodiscard]] std::wstring widen(const std::string& s);

// Word-wraps `text` to `width` columns. Lines are the text between newlines; spaces and tabs
// are the break characters. Breaks between words stay at the end of the line before the break,
// unless the break falls inside them, in which case the run is dropped. A word longer than
// `width` is never split and stands on a line of its own (preceded by an empty line when it
// starts a segment). Empty lines and a final newline survive; no other character is lost.
[[nodiscard]] std::string wrap_text(const std::string& text, int width);

}  // namespace strings
