// JsonValue: a reference-counted handle to one JSON value, with typed accessors that throw a
// std::runtime_error with a fixed text when the value has another type (nothing is logged).
//
//   JsonValue doc = JsonValue::parse(R"({"name": "corvalith", "cores": 8})");
//   for (const std::string& key : doc.keys()) ...
//   int64_t cores = doc.get("cores").as_int();        // 8
//   doc.get("missing").as_string();                    // throws "JSON value is not a string"
//
// Copies share the value (the count follows the handles); values taken with at() and get() keep
// their member alive on their own. Handles are not synchronised: a value is not shared between
// threads while its handles are copied or destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct json_t;

namespace base {

class Asset;

// Type codes, as the JSON library numbers them.
constexpr int kJsonObject = 0;
constexpr int kJsonArray = 1;
constexpr int kJsonString = 2;
constexpr int kJsonInteger = 3;
constexpr int kJsonReal = 4;
constexpr int kJsonTrue = 5;
constexpr int kJsonFalse = 6;
constexpr int kJsonNull = 7;
constexpr int kJsonNone = -1;  // type() of the empty handle

class JsonValue {
 public:
  // The empty handle.
  JsonValue() = default;
  // A new integer (widened with its sign).
  explicit JsonValue(int value);
  // A new real; NaN and infinities give the empty handle.
  explicit JsonValue(double value);
  // A new string of exactly these bytes; text that is not valid UTF-8 gives the empty handle.
  explicit JsonValue(const std::string& text);
  // A new, empty object or array (for building documents).
  [[nodiscard]] static JsonValue object();
  [[nodiscard]] static JsonValue array();

  JsonValue(const JsonValue& other);
  JsonValue(JsonValue&& other) noexcept;
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept;
  ~JsonValue();

  // Parses a document whose top level is an object or an array; a repeated key keeps its later
  // value; "\u0000" is refused. Throws "json_loads() error: " + the parser's message.
  [[nodiscard]] static JsonValue parse(const char* data, size_t length);
  [[nodiscard]] static JsonValue parse(const std::string& text);
  [[nodiscard]] static JsonValue parse(std::shared_ptr<Asset> asset);

  [[nodiscard]] bool empty() const { return value_ == nullptr; }
  // The type code, or kJsonNone for the empty handle.
  [[nodiscard]] int type() const;
  // Members of an object or elements of an array; else "JSON value is not an array or an object".
  [[nodiscard]] size_t size() const;
  // Member names in iteration order; else "JSON value is not an object".
  [[nodiscard]] std::vector<std::string> keys() const;
  // The element, or the empty handle past the end; else "JSON JSON value is not an array".
  [[nodiscard]] JsonValue at(size_t index) const;
  // The member, or the empty handle when missing; else "JSON JSON value is not an object".
  [[nodiscard]] JsonValue get(const std::string& key) const;
  // The text up to its first zero byte; null reads as ""; else "JSON value is not a string".
  [[nodiscard]] std::string as_string() const;
  // Else "JSON value is not a boolean".
  [[nodiscard]] bool as_bool() const;
  // Integers only (a real is refused): "JSON value is not an integer". All three answer the
  // stored 64-bit value unchanged (as_uint64 reinterprets it).
  [[nodiscard]] int64_t as_int() const;
  [[nodiscard]] int64_t as_int64() const;
  [[nodiscard]] uint64_t as_uint64() const;
  // Integers and reals: "JSON value is not a number".
  [[nodiscard]] double as_double() const;
  [[nodiscard]] float as_float() const;

  // Changing: the container keeps its own reference to `value`, so the caller's handle stays
  // valid. Answers 0 on success and -1 when refused (index past the end, empty value).
  int set(size_t index, const JsonValue& value);            // array: "JSON value is not an array"
  int set(const std::string& key, const JsonValue& value);  // object: "...not an object"
  int append(const JsonValue& value);                       // array: "JSON value is not an array"

  // The document with two-space indentation and members in insertion order. An empty handle or
  // a value that is neither an object nor an array gives the empty string.
  [[nodiscard]] std::string dump() const;

 private:
  // Adopts `value`'s single reference (a value the library just created).
  static JsonValue adopt(json_t* value);
  // Takes a reference of its own to a borrowed value.
  static JsonValue borrow(json_t* value);

  json_t* value_ = nullptr;
};

}  // namespace base
