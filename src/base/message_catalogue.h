// The message catalogue: every text shown to a user, looked up by key and filled with up to four
// arguments. Texts come from JSON assets of the resource archive ("l10n/<language>.json", each
// an object of key to text, a null text standing for ""); a key the catalogue lacks is shown as
// the key itself, so a run without the archive still says something.
//
//   MessageCatalogue::instance().format("error_console_arch", "avx2", "", "", "");
//
// Placeholders: "$1".."$4" are the arguments (inserted as they are, never re-scanned), "$$" is
// one "$", a "$" ending the text is dropped, and "$" before any other character stays as written.
#pragma once

#include <map>
#include <string>

namespace base {

class MessageCatalogue {
 public:
  // The process-wide catalogue, created on first call (thread-safe) with "l10n/en.json" laid
  // over an empty map. A malformed English asset throws from here; the next call tries again.
  [[nodiscard]] static MessageCatalogue& instance();

  // Lays the asset's key/text pairs over the map: listed keys are added or replaced, others stay.
  // False when the asset does not exist. A document that is not an object of strings (or nulls)
  // throws the JSON error; entries stored before the bad member stay. Not synchronised with
  // lookups.
  bool load(const std::string& asset_path);
  // Loads "l10n/<language>.json", or "l10n/en.json" when that does not exist; answers the result
  // of the last load attempted.
  bool load_language(const std::string& language);

  // The text for `key`, or `key` itself.
  [[nodiscard]] std::string lookup(const std::string& key) const;
  // lookup(key) with its placeholders replaced.
  [[nodiscard]] std::string format(const std::string& key, const std::string& a1,
                                   const std::string& a2, const std::string& a3,
                                   const std::string& a4) const;
  // The same with wide arguments; the UTF-8 text is widened code point by code point.
  [[nodiscard]] std::wstring format_wide(const std::string& key, const std::wstring& a1,
                                         const std::wstring& a2, const std::wstring& a3,
                                         const std::wstring& a4) const;

  // An empty catalogue, for tests; the program uses instance().
  MessageCatalogue() = default;

 private:
  std::map<std::string, std::string> texts_;
};

}  // namespace base
