#include "interface/console/console_writer.h"

#include <string>

#include "base/strings.h"

ConsoleWriter::~ConsoleWriter() {
  const std::string wrapped = strings::wrap_text(text_.str(), kWidth);
  std::fwrite(wrapped.data(), 1, wrapped.size(), target_);
  std::fflush(target_);
}
