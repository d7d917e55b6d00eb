#include "base/json.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include <jansson.h>

#include "base/asset_manager.h"

namespace base {
namespace {

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

}  // namespace

JsonValue JsonValue::adopt(json_t* value) {
  JsonValue handle;
  handle.value_ = value;
  return handle;
}

JsonValue JsonValue::borrow(json_t* value) { return adopt(json_incref(value)); }

JsonValue::JsonValue(int value) : value_(json_integer(static_cast<json_int_t>(value))) {}
JsonValue::JsonValue(double value) : value_(json_real(value)) {}
JsonValue::JsonValue(const std::string& text) : value_(json_stringn(text.data(), text.size())) {}

JsonValue JsonValue::object() { return adopt(json_object()); }
JsonValue JsonValue::array() { return adopt(json_array()); }

JsonValue::JsonValue(const JsonValue& other) : value_(json_incref(other.value_)) {}

JsonValue::JsonValue(JsonValue&& other) noexcept : value_(other.value_) { other.value_ = nullptr; }

JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this != &other) {
    json_t* previous = value_;
    value_ = json_incref(other.value_);
    json_decref(previous);
  }
  return *this;
}

JsonValue& JsonValue::operator=(JsonValue&& other) noexcept {
  if (this != &other) {
    json_decref(value_);
    value_ = other.value_;
    other.value_ = nullptr;
  }
  return *this;
}

// json_incref and json_decref pass over null and the library's static values themselves.
JsonValue::~JsonValue() { json_decref(value_); }

JsonValue JsonValue::parse(const char* data, size_t length) {
  json_error_t error;
  json_t* value = json_loadb(data, length, 0, &error);
  if (value == nullptr) throw std::runtime_error(std::string("json_loads() error: ") + error.text);
  return adopt(value);
}

JsonValue JsonValue::parse(const std::string& text) { return parse(text.data(), text.size()); }

JsonValue JsonValue::parse(std::shared_ptr<Asset> asset) {
  const std::shared_ptr<Asset> held = std::move(asset);
  return parse(reinterpret_cast<const char*>(held->data()), static_cast<size_t>(held->length()));
}

int JsonValue::type() const { return value_ ? static_cast<int>(json_typeof(value_)) : kJsonNone; }

size_t JsonValue::size() const {
  if (json_is_object(value_)) return json_object_size(value_);
  if (json_is_array(value_)) return json_array_size(value_);
  fail("JSON value is not an array or an object");
}

std::vector<std::string> JsonValue::keys() const {
  if (!json_is_object(value_)) fail("JSON value is not an object");
  std::vector<std::string> names;
  names.reserve(json_object_size(value_));
  for (void* it = json_object_iter(value_); it != nullptr; it = json_object_iter_next(value_, it)) {
    names.emplace_back(json_object_iter_key(it));
  }
  return names;
}

JsonValue JsonValue::at(size_t index) const {
  if (!json_is_array(value_)) fail("JSON JSON value is not an array");
  return borrow(json_array_get(value_, index));
}

JsonValue JsonValue::get(const std::string& key) const {
  if (!json_is_object(value_)) fail("JSON JSON value is not an object");
  return borrow(json_object_get(value_, key.c_str()));
}

std::string JsonValue::as_string() const {
  if (json_is_null(value_)) return std::string();
  if (!json_is_string(value_)) fail("JSON value is not a string");
  return std::string(json_string_value(value_));
}

bool JsonValue::as_bool() const {
  if (!json_is_boolean(value_)) fail("JSON value is not a boolean");
  return json_is_true(value_);
}

int64_t JsonValue::as_int() const { return as_int64(); }

int64_t JsonValue::as_int64() const {
  if (!json_is_integer(value_)) fail("JSON value is not an integer");
  return static_cast<int64_t>(json_integer_value(value_));
}

uint64_t JsonValue::as_uint64() const { return static_cast<uint64_t>(as_int64()); }

double JsonValue::as_double() const {
  if (!json_is_number(value_)) fail("JSON value is not a number");
  return json_number_value(value_);
}

float JsonValue::as_float() const { return static_cast<float>(as_double()); }

int JsonValue::set(size_t index, const JsonValue& value) {
  if (!json_is_array(value_)) fail("JSON value is not an array");
  return json_array_set_new(value_, index, json_incref(value.value_));
}

int JsonValue::set(const std::string& key, const JsonValue& value) {
  if (!json_is_object(value_)) fail("JSON value is not an object");
  return json_object_set_new(value_, key.c_str(), json_incref(value.value_));
}

int JsonValue::append(const JsonValue& value) {
  if (!json_is_array(value_)) fail("JSON value is not an array");
  return json_array_append_new(value_, json_incref(value.value_));
}

std::string JsonValue::dump() const {
  if (value_ == nullptr) return std::string();
  char* text = json_dumps(value_, JSON_INDENT(2) | JSON_PRESERVE_ORDER);
  if (text == nullptr) return std::string();
  std::string result(text);
  std::free(text);
  return result;
}

}  // namespace base
