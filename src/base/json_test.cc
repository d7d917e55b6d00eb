#include "base/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

#include "base/asset_manager.h"

namespace base {
namespace {

// The message a call throws, or "" when it does not.
std::string error_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

TEST(JsonValueTest, ParsesObjectsAndArraysOnly) {
  const JsonValue empty_object = JsonValue::parse("{}");
  EXPECT_EQ(empty_object.type(), kJsonObject);
  EXPECT_TRUE(empty_object.keys().empty());
  EXPECT_EQ(empty_object.size(), 0u);

  const struct {
    const char* text;
    const char* message;
  } failures[] = {
      {"42", "json_loads() error: '[' or '{' expected near '42'"},
      {"\"text\"", "json_loads() error: '[' or '{' expected near '\"text\"'"},
      {"", "json_loads() error: '[' or '{' expected near end of file"},
      {"{\"a\": }", "json_loads() error: unexpected token near '}'"},
      {"[\"\\u0000\"]",
       "json_loads() error: \\u0000 is not allowed without JSON_ALLOW_NUL near '\"\\u0000\"'"},
  };
  for (const auto& c : failures) {
    SCOPED_TRACE(c.text);
    testing::internal::CaptureStderr();
    EXPECT_EQ(error_of([&] { (void)JsonValue::parse(std::string(c.text)); }), c.message);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // parse errors are not logged
  }
  // A repeated key keeps its later value.
  EXPECT_EQ(JsonValue::parse(R"({"a": "1", "a": "2"})").get("a").as_string(), "2");
  // Only the given length is parsed.
  const char buffer[] = "[1]garbage";
  EXPECT_EQ(JsonValue::parse(buffer, 3).size(), 1u);
}

TEST(JsonValueTest, TypedAccessorsAcceptTheirTypesAndNameTheRest) {
  const JsonValue doc = JsonValue::parse(
      R"({"s": "text", "n": null, "i": 2, "r": 1.5, "t": true, "f": false, "a": [1, 2],
          "o": {"k": "v"}, "big": -9000000000})");
  EXPECT_EQ(doc.get("s").as_string(), "text");
  EXPECT_EQ(doc.get("n").as_string(), "");  // null reads as the empty text
  EXPECT_EQ(doc.get("i").as_int(), 2);
  EXPECT_EQ(doc.get("big").as_int64(), -9000000000);
  EXPECT_EQ(doc.get("big").as_uint64(), static_cast<uint64_t>(int64_t{-9000000000}));
  EXPECT_EQ(doc.get("i").as_double(), 2.0);
  EXPECT_EQ(doc.get("r").as_float(), 1.5f);
  EXPECT_TRUE(doc.get("t").as_bool());
  EXPECT_FALSE(doc.get("f").as_bool());
  EXPECT_EQ(doc.get("a").size(), 2u);
  EXPECT_EQ(doc.get("a").at(1).as_int(), 2);
  EXPECT_TRUE(doc.get("a").at(2).empty());  // past the end
  EXPECT_TRUE(doc.get("missing").empty());
  EXPECT_EQ(doc.get("o").get("k").as_string(), "v");
  EXPECT_EQ(doc.keys(), (std::vector<std::string>{"s", "n", "i", "r", "t", "f", "a", "o", "big"}));
  EXPECT_EQ(doc.get("t").type(), kJsonTrue);
  EXPECT_EQ(doc.get("n").type(), kJsonNull);
  EXPECT_EQ(JsonValue().type(), kJsonNone);

  const struct {
    const char* what;
    std::function<void()> call;
    const char* message;
  } cases[] = {
      {"missing as_string", [&] { (void)doc.get("missing").as_string(); },
       "JSON value is not a string"},
      {"number as_string", [&] { (void)doc.get("i").as_string(); }, "JSON value is not a string"},
      {"real as_int64", [&] { (void)doc.get("r").as_int64(); }, "JSON value is not an integer"},
      {"string as_int", [&] { (void)doc.get("s").as_int(); }, "JSON value is not an integer"},
      {"real as_uint64", [&] { (void)doc.get("r").as_uint64(); }, "JSON value is not an integer"},
      {"string as_double", [&] { (void)doc.get("s").as_double(); }, "JSON value is not a number"},
      {"null as_float", [&] { (void)doc.get("n").as_float(); }, "JSON value is not a number"},
      {"null as_bool", [&] { (void)doc.get("n").as_bool(); }, "JSON value is not a boolean"},
      {"string size", [&] { (void)doc.get("s").size(); },
       "JSON value is not an array or an object"},
      {"array keys", [&] { (void)doc.get("a").keys(); }, "JSON value is not an object"},
      {"object at", [&] { (void)doc.at(0); }, "JSON JSON value is not an array"},
      {"array get", [&] { (void)doc.get("a").get("k"); }, "JSON JSON value is not an object"},
      {"empty get", [&] { (void)JsonValue().get("k"); }, "JSON JSON value is not an object"},
      {"empty size", [&] { (void)JsonValue().size(); }, "JSON value is not an array or an object"},
      {"object append", [&] { JsonValue(doc).append(JsonValue(1)); }, "JSON value is not an array"},
      {"object set index", [&] { JsonValue(doc).set(0, JsonValue(1)); },
       "JSON value is not an array"},
      {"array set key", [&] { doc.get("a").set("k", JsonValue(1)); },
       "JSON value is not an object"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::internal::CaptureStderr();
    EXPECT_EQ(error_of(c.call), c.message);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

TEST(JsonValueTest, ConstructionRefusesWhatJsonCannotHold) {
  EXPECT_EQ(JsonValue(-5).as_int(), -5);
  EXPECT_EQ(JsonValue(0.25).as_double(), 0.25);
  EXPECT_TRUE(JsonValue(std::nan("")).empty());
  EXPECT_TRUE(JsonValue(std::numeric_limits<double>::infinity()).empty());
  EXPECT_EQ(JsonValue(std::string("caf\xc3\xa9")).as_string(), "caf\xc3\xa9");
  EXPECT_TRUE(JsonValue(std::string("bad \xff utf-8")).empty());
  // A string with an inner zero keeps its length, but reads up to the zero.
  EXPECT_EQ(JsonValue(std::string("a\0b", 3)).as_string(), "a");
}

TEST(JsonValueTest, HandlesShareValuesAndBuildDocuments) {
  JsonValue array = JsonValue::array();
  JsonValue element(std::string("kept"));
  EXPECT_EQ(array.append(element), 0);
  EXPECT_EQ(element.as_string(), "kept");  // the caller's handle stays valid
  EXPECT_EQ(array.append(JsonValue(2)), 0);
  EXPECT_EQ(array.set(1, JsonValue(3)), 0);
  EXPECT_EQ(array.set(5, JsonValue(3)), -1);  // past the end
  EXPECT_EQ(array.append(JsonValue()), -1);   // nothing to append

  JsonValue object = JsonValue::object();
  EXPECT_EQ(object.set("list", array), 0);
  EXPECT_EQ(object.set("flag", JsonValue::parse("[true]").at(0)), 0);
  EXPECT_EQ(object.dump(), "{\n  \"list\": [\n    \"kept\",\n    3\n  ],\n  \"flag\": true\n}");
  EXPECT_EQ(JsonValue().dump(), "");
  EXPECT_EQ(JsonValue(1).dump(), "");

  // A copy outlives the handle it came from; a member outlives its container.
  JsonValue member;
  {
    JsonValue first = JsonValue::parse(R"({"k": ["v"]})");
    JsonValue copy = first;
    first = JsonValue();
    EXPECT_EQ(copy.get("k").at(0).as_string(), "v");
    member = copy.get("k");
  }
  EXPECT_EQ(member.at(0).as_string(), "v");
  JsonValue moved = std::move(member);
  EXPECT_TRUE(member.empty());  // NOLINT: moved-from handles are empty
  EXPECT_EQ(moved.size(), 1u);
  moved = moved;  // self-assignment keeps the value
  EXPECT_EQ(moved.size(), 1u);
}

TEST(JsonValueTest, ParsesAnAsset) {
  const std::string text = R"({"from": "asset"})";
  auto asset = std::make_shared<Asset>("doc.json", text.data(), static_cast<int32_t>(text.size()));
  std::weak_ptr<Asset> watch = asset;
  const JsonValue doc = JsonValue::parse(std::move(asset));
  EXPECT_EQ(doc.get("from").as_string(), "asset");
  EXPECT_TRUE(watch.expired());  // the handle to the asset is released
}

}  // namespace
}  // namespace base
