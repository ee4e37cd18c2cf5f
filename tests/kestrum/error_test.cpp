#include "kestrum/error.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(Error, DisplayTexts) {
  EXPECT_EQ(Error::parse("no trailer").message(), "malformed pdf: no trailer");
  EXPECT_EQ(Error::password().message(), "invalid password");
  EXPECT_EQ(Error::unsupported_encryption("V 0").message(), "unsupported encryption: V 0");
  EXPECT_EQ(Error::page_out_of_range(4).message(), "page index 4 out of range");
  EXPECT_EQ(Error::page(2, "boom").message(), "page 2: boom");
  EXPECT_EQ(Error::render("no pixmap").message(), "render error: no pixmap");
}

}  // namespace
}  // namespace kestrum
