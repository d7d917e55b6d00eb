// A short-lived message buffer for the console: compose a message, and when the writer is
// destroyed the text is word-wrapped to 78 columns and written to its stream in one write.
//
//   { ConsoleWriter(stderr).stream() << text << '\n'; }
#pragma once

#include <cstdio>
#include <sstream>

class ConsoleWriter {
 public:
  static constexpr int kWidth = 78;

  // `target` is the standard output or standard error stream; it must outlive the writer.
  explicit ConsoleWriter(std::FILE* target) : target_(target) {}
  ~ConsoleWriter();
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;

  std::ostringstream& stream() { return text_; }

 private:
  std::ostringstream text_;
  std::FILE* target_;
};
