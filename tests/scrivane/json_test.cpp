#include "scrivane/json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace scrivane {
namespace {

TEST(Json, FloatForms) {
  struct Case {
    float value;
    const char* want;
    const char* why;
  };
  const Case kCases[] = {
      {12.0f, "12.0", "whole values keep a trailing .0"},
      {0.5f, "0.5", "plain fraction"},
      {0.000001f, "0.000001", "exponent -6 is still plain"},
      {1.5e-7f, "1.5e-7", "exponent -7 switches to exponent form"},
      {1e13f, "1e+13", "exponent 13 switches to exponent form, no point for one digit"},
      {1e12f, "1000000000000.0", "exponent 12 is still plain"},
      {0.1f, "0.1", "shortest digits, not the binary expansion"},
      {0.0f, "0.0", "zero"},
      {-2.25f, "-2.25", "negative values"},
      {612.0f, "612.0", "a page width"},
      {299.7f, "299.7", "shortest round-trip"},
      {std::numeric_limits<float>::quiet_NaN(), "null", "NaN"},
      {std::numeric_limits<float>::infinity(), "null", "infinity"},
      {-std::numeric_limits<float>::infinity(), "null", "negative infinity"},
  };
  for (const Case& c : kCases) {
    std::string out;
    append_f32(out, c.value);
    EXPECT_EQ(out, c.want) << c.why;
  }
}

TEST(Json, StringEscapes) {
  std::string out;
  append_json_string(out, "q\"b\\t\tn\nc\x01/\xc3\xa9");
  EXPECT_EQ(out, "\"q\\\"b\\\\t\\tn\\nc\\u0001/\xc3\xa9\"");
}

TEST(Json, CompactAndPrettyLayouts) {
  for (auto layout : {JsonLayout::Compact, JsonLayout::Pretty}) {
    JsonWriter w(layout);
    w.begin_object();
    w.member("a", 1.0f);
    w.key("b");
    w.begin_array();
    w.unsigned_integer(1);
    w.integer(-2);
    w.end_array();
    w.key("c");
    w.begin_array();
    w.end_array();
    w.key("d");
    w.null();
    w.end_object();
    if (layout == JsonLayout::Compact) {
      EXPECT_EQ(w.text(), R"({"a":1.0,"b":[1,-2],"c":[],"d":null})");
    } else {
      EXPECT_EQ(w.text(),
                "{\n  \"a\": 1.0,\n  \"b\": [\n    1,\n    -2\n  ],\n  \"c\": [],\n"
                "  \"d\": null\n}");
    }
  }
}

}  // namespace
}  // namespace scrivane
