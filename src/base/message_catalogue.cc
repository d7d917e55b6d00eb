#include "base/message_catalogue.h"

#include "base/asset_manager.h"
#include "base/json.h"
#include "base/strings.h"

namespace base {
namespace {

// Catalogue texts are UTF-8 (JSON's encoding): decode them to code points. Text that is not
// valid UTF-8 keeps one unit per byte.
std::wstring widen_text(const std::string& text) {
  if (!strings::is_valid_utf8(text)) return strings::widen(text);
  std::wstring wide;
  wide.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) code = (code << 6) | (text[i + k] & 0x3F);
    wide += static_cast<wchar_t>(code);
    i += 1 + extra;
  }
  return wide;
}

// Walks `text`, appending literal runs with `literal` and placeholders with `argument`, the
// one set of placeholder rules for both result widths.
template <class Out, class Literal, class Argument>
void expand(const std::string& text, Out& out, Literal literal, Argument argument) {
  size_t run = 0;  // start of the pending literal run
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '$') continue;
    literal(out, text.substr(run, i - run));
    run = i + 1;
    if (i + 1 == text.size()) break;  // a trailing "$" is dropped
    const char next = text[i + 1];
    if (next == '$') {
      literal(out, std::string("$"));
      ++i;
      run = i + 1;
    } else if (next >= '1' && next <= '4') {
      argument(out, next - '1');
      ++i;
      run = i + 1;
    } else {
      run = i;  // any other "$x" stays as written
    }
  }
  if (run < text.size()) literal(out, text.substr(run));
}

}  // namespace

MessageCatalogue& MessageCatalogue::instance() {
  static MessageCatalogue catalogue = [] {
    MessageCatalogue created;
    created.load("l10n/en.json");
    return created;
  }();
  return catalogue;
}

bool MessageCatalogue::load(const std::string& asset_path) {
  AssetManager& assets = AssetManager::instance();
  if (!assets.exists(asset_path)) return false;
  const JsonValue document = JsonValue::parse(assets.load(asset_path)->to_string());
  for (const std::string& key : document.keys()) {
    texts_[key] = document.get(key).as_string();
  }
  return true;
}

bool MessageCatalogue::load_language(const std::string& language) {
  const std::string path = "l10n/" + language + ".json";
  if (AssetManager::instance().exists(path)) return load(path);
  return load("l10n/en.json");
}

std::string MessageCatalogue::lookup(const std::string& key) const {
  const auto found = texts_.find(key);
  return found == texts_.end() ? key : found->second;
}

std::string MessageCatalogue::format(const std::string& key, const std::string& a1,
                                     const std::string& a2, const std::string& a3,
                                     const std::string& a4) const {
  const std::string text = lookup(key);
  const std::string* args[] = {&a1, &a2, &a3, &a4};
  std::string result;
  result.reserve(text.size() + a1.size() + a2.size() + a3.size() + a4.size());
  expand(
      text, result, [](std::string& out, const std::string& run) { out += run; },
      [&args](std::string& out, int n) { out += *args[n]; });
  return result;
}

std::wstring MessageCatalogue::format_wide(const std::string& key, const std::wstring& a1,
                                           const std::wstring& a2, const std::wstring& a3,
                                           const std::wstring& a4) const {
  const std::string text = lookup(key);
  const std::wstring* args[] = {&a1, &a2, &a3, &a4};
  std::wstring result;
  result.reserve(text.size() + a1.size() + a2.size() + a3.size() + a4.size());
  expand(
      text, result, [](std::wstring& out, const std::string& run) { out += widen_text(run); },
      [&args](std::wstring& out, int n) { out += *args[n]; });
  return result;
}

}  // namespace base
