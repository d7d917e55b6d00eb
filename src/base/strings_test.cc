#include "base/strings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace strings {
namespace {

using Pieces = std::vector<std::string>;

TEST(StringsTest, TrimKeepsOtherControlCharacters) {
  EXPECT_EQ(trim(" \t\r\n "), "");
  EXPECT_EQ(trim("\n a b \r"), "a b");
  EXPECT_EQ(trim("x\f"), "x\f");
  EXPECT_EQ(trim("\vx"), "\vx");
  EXPECT_EQ(trim_nul(std::string("\0\0ab\0c\0", 8)), std::string("ab\0c", 4));
}

TEST(StringsTest, CaseMappingChangesOnlyAsciiLetters) {
  EXPECT_EQ(to_upper("aZ09\xe9-"), "AZ09\xe9-");
  EXPECT_EQ(to_lower("AZ.DNG\xc9"), "az.dng\xc9");
}

TEST(StringsTest, SearchHelpers) {
  EXPECT_TRUE(starts_with("abc", ""));
  EXPECT_TRUE(starts_with("abc", "ab"));
  EXPECT_FALSE(starts_with("ab", "abc"));
  EXPECT_FALSE(contains("", 'a'));
  EXPECT_TRUE(contains("abc", 'c'));
  EXPECT_TRUE(contains("abc", std::string()));
  EXPECT_FALSE(contains("ab", std::string("abc")));
  EXPECT_TRUE(contains("xabcx", std::string("abc")));
  EXPECT_EQ(find_all("a,b,,c", ','), (std::vector<std::int32_t>{1, 3, 4}));
  EXPECT_TRUE(find_all("", ',').empty());
}

TEST(StringsTest, SplitLikeALineReader) {
  struct Case {
    const char* text;
    Pieces pieces;
  } cases[] = {
      {"a,b,", {"a", "b"}}, {",a", {"", "a"}}, {"", {}},         {"a,,b", {"a", "", "b"}},
      {",", {""}},          {"abc", {"abc"}},  {",,", {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(split(c.text, ','), c.pieces);
  }
}

TEST(StringsTest, SplitAnyWithAndWithoutEmptyPieces) {
  struct Case {
    const char* text;
    bool keep_empty;
    Pieces pieces;
  } cases[] = {
      {"a,,b", false, {"a", "b"}},
      {"a,,b", true, {"a", "", "b"}},
      {",a", false, {"a"}},
      {",a", true, {"", "a"}},
      {"", true, {""}},
      {"", false, {}},
      {"a;b,c", false, {"a", "b", "c"}},
      {"a,", true, {"a", ""}},
      {"a,", false, {"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " keep=" << c.keep_empty);
    EXPECT_EQ(split_any(c.text, ",;", c.keep_empty), c.pieces);
  }
}

TEST(StringsTest, ReplaceAllRestartsAndAlwaysEnds) {
  struct Case {
    const char* text;
    const char* from;
    const char* to;
    const char* result;
  } cases[] = {
      {"aaaa", "aa", "a", "a"},                                    // replaced text matches again
      {"a-b-c", "-", "+", "a+b+c"},      {"abc", "", "x", "abc"},  // empty pattern: unchanged
      {"aXa", "a", "aa", "aaXaa"},  // replacement holds the pattern: one pass
      {"aab", "ab", "ba", "baa"},   // bubbles to the front
      {"nothing", "zz", "y", "nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " " << c.from << "->" << c.to);
    EXPECT_EQ(replace_all(c.text, c.from, c.to), c.result);
  }
}

TEST(StringsTest, PadToWidth) {
  EXPECT_EQ(pad("abc", 5, true), "abc  ");
  EXPECT_EQ(pad("abc", 5, false), "  abc");
  EXPECT_EQ(pad("abc", 2, true), "abc");
  EXPECT_EQ(pad("abc", -1, false), "abc");
}

TEST(StringsTest, HexOfEveryByte) {
  const char* digits = "0123456789abcdef";
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string expected{digits[b >> 4], digits[b & 15]};
    EXPECT_EQ(byte_to_hex(static_cast<std::uint8_t>(b)), expected);
    all.push_back(static_cast<char>(b));
  }
  const std::string hex = to_hex(all);
  ASSERT_EQ(hex.size(), 512u);
  EXPECT_EQ(hex.substr(0, 6), "000102");
  EXPECT_EQ(to_hex(std::string("\x0a\xff")), "0aff");
  EXPECT_EQ(to_hex(nullptr, 0), "");
}

TEST(StringsTest, CharacterClassesOverEveryByte) {
  for (int b = 0; b < 256; ++b) {
    const std::string s(1, static_cast<char>(b));
    SCOPED_TRACE(b);
    EXPECT_EQ(is_ascii(s), b < 0x80);
    EXPECT_EQ(is_printable(s), b >= 0x20 && b <= 0x7e);
    EXPECT_EQ(is_valid_utf8(s), b < 0x80);  // a lone byte is valid only when ASCII
  }
  EXPECT_TRUE(is_ascii(""));
  EXPECT_TRUE(is_printable(""));
}

TEST(StringsTest, Utf8Validation) {
  struct Case {
    std::string bytes;
    bool valid;
  } cases[] = {
      {"", true},
      {"\xc0\x80", false},          // overlong
      {"\xed\xa0\x80", false},      // surrogate
      {"\xf4\x90\x80\x80", false},  // above U+10FFFF
      {"\xf0\x9f\x98\x80", true},   // U+1F600
      {"\xe0\x9f\xbf", false},      // overlong three-byte
      {"\xe0\xa0\x80", true},
      {"\xc3\xa9", true},
      {"\xc3", false},  // runs past the end
      {"\xf0\x9f\x98", false},
      {"\xc3\x28", false},  // bad continuation
      {"\xf5\x80\x80\x80", false},
      {"a\xed\x9f\xbf", true},  // U+D7FF
      {std::string("\0", 1), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(to_hex(c.bytes));
    EXPECT_EQ(is_valid_utf8(c.bytes), c.valid);
  }
}

TEST(StringsTest, NarrowKeepsAsciiAndWidenKeepsEveryByte) {
  EXPECT_EQ(narrow(L"a\u00e9b"), "ab");
  EXPECT_EQ(narrow(std::wstring(L"x\0y", 3)), "xy");
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::wstring wide = widen(all);
  ASSERT_EQ(wide.size(), 256u);
  for (int b = 0; b < 256; ++b) EXPECT_EQ(static_cast<int>(wide[b]), b);
  EXPECT_EQ(narrow(widen("plain text")), "plain text");
}

// --- wrap_text ---------------------------------------------------------------------------------

TEST(WrapTextTest, Cases) {
  struct Case {
    const char* text;
    int width;
    const char* wrapped;
  } cases[] = {
      {"", 10, ""},
      {"short", 10, "short"},
      {"aaa bbb ccc", 7, "aaa bbb\nccc"},
      {"aaa bbb ccc", 6, "aaa \nbbb \nccc"},
      {"aaa bbb", 3, "aaa\nbbb"},  // the break falls inside the spaces, which are dropped
      {"a\n\nb\n", 3, "a\n\nb\n"},
      {"xxxxx y", 3, "\nxxxxx\ny"},     // a long word starting a segment follows an empty line
      {"ab xxxxx", 3, "ab \nxxxxx\n"},  // a long last word ends its own line
      {"a\tb c", 3, "a\tb\nc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << "\" width " << c.width);
    EXPECT_EQ(wrap_text(c.text, c.width), c.wrapped);
  }
}

TEST(WrapTextTest, LongMessageOfShortWordsFitsTheWidth) {
  std::string text;
  while (text.size() < 200) text += "word ";
  text.resize(200);
  const std::string wrapped = wrap_text(text, 78);
  const Pieces lines = split(wrapped, '\n');
  EXPECT_GT(lines.size(), 2u);
  for (const std::string& line : lines) EXPECT_LE(line.size(), 78u) << line;
  auto words = [](const std::string& s) { return split_any(s, " \n", false); };
  EXPECT_EQ(words(wrapped), words(text));  // only breaks move or go: no word is lost
}

TEST(WrapTextTest, HundredCharacterWordStandsAlone) {
  const std::string word(100, 'x');
  EXPECT_EQ(wrap_text(word + " tail", 78), "\n" + word + "\ntail");
}

}  // namespace
}  // namespace strings
