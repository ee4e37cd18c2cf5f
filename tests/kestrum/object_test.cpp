#include "kestrum/object.h"

#include <limits>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(Object, CopyingAStreamSharesItsBytes) {
  Stream s;
  s.dict.insert("Length", Object::integer(3));
  s.data = std::make_shared<const Bytes>(Bytes{1, 2, 3});
  Object original(s);
  Object copy = original;
  EXPECT_EQ(copy.as_stream()->data, original.as_stream()->data);
  // The dictionary is copied, not shared.
  copy.as_stream()->dict.insert("Length", Object::integer(4));
  EXPECT_EQ(original.as_stream()->dict.get("Length")->as_integer(), 3);
  EXPECT_NE(Stream().data, nullptr) << "a default stream holds an empty buffer";
}

TEST(Object, ArraysAndDictionariesCopyDeeply) {
  Dict inner;
  inner.insert("A", Object::integer(1));
  Object outer(Array{Object(inner)});
  Object copy = outer;
  copy.as_array()->front().as_dict()->insert("A", Object::integer(2));
  EXPECT_EQ(outer.as_array()->front().as_dict()->get("A")->as_integer(), 1);
  EXPECT_NE(outer, copy);
}

TEST(Object, NumbersReadAsIntegersTruncateAndSaturate) {
  struct Case {
    Object value;
    std::optional<int64_t> want;
  };
  const Case kCases[] = {
      {Object::integer(-7), -7},
      {Object::real(2.9), 2},
      {Object::real(-2.9), -2},
      {Object::real(1e300), std::numeric_limits<int64_t>::max()},
      {Object::real(-1e300), std::numeric_limits<int64_t>::min()},
      {Object::name("N"), std::nullopt},
  };
  for (const Case& c : kCases) EXPECT_EQ(c.value.as_int(), c.want) << c.value;
}

TEST(Dict, InsertReplacesAndGetNeverResolves) {
  Dict d;
  d.insert("Type", Object::name("Page"));
  d.insert("Type", Object::name("Pages"));
  d.insert("Parent", Object::ref(3));
  EXPECT_EQ(d.size(), 2u);
  EXPECT_TRUE(d.has_name("Type", "Pages"));
  EXPECT_EQ(d.get("Parent")->as_ref(), (Ref{3, 0}));
  EXPECT_EQ(d.get("Missing"), nullptr);
  EXPECT_EQ(debug_string(Object(d)), "<< /Parent 3 0 R /Type /Pages >>");
}

}  // namespace
}  // namespace kestrum
