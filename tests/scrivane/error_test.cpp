#include "scrivane/error.h"

#include <gtest/gtest.h>

namespace scrivane {
namespace {

TEST(Error, Texts) {
  EXPECT_EQ(Error::pdf_open("a.pdf: bad").text(), "could not open the document: a.pdf: bad");
  EXPECT_EQ(Error::pdf_page(3, "page 3: broken").text(),
            "failed while reading page 3: page 3: broken");
  EXPECT_EQ(Error::scanned("s.pdf", 2, 3).text(),
            "s.pdf looks like a scanned document (2/3 pages have no extractable text); scrivane "
            "handles born-digital PDFs only");
  EXPECT_EQ(Error::page_out_of_range(5).text(), "page 5 is out of range");
  auto io = Error::io("figs/figure-001.png", std::make_error_code(std::errc::permission_denied));
  EXPECT_EQ(io.text().rfind("failed to read figs/figure-001.png: ", 0), 0u) << io.text();
}

TEST(Error, LongFormNumbersCausesOnlyWhenSeveral) {
  auto one = with_context("converting a.pdf", Error::pdf_open("a.pdf: gone").as_cause());
  EXPECT_EQ(long_form(*one),
            "converting a.pdf\n\nCaused by:\n    could not open the document: a.pdf: gone");

  auto two = with_context("converting b.pdf", Error::pdf_page(1, "page 1: x").as_cause());
  EXPECT_EQ(long_form(*two),
            "converting b.pdf\n\nCaused by:\n    0: failed while reading page 1: page 1: x\n"
            "    1: page 1: x");
  EXPECT_EQ(long_form(*text_cause("plain")), "plain");
}

TEST(Error, BrokenPipeAnywhereInTheChain) {
  auto pipe = os_cause(std::make_error_code(std::errc::broken_pipe));
  EXPECT_TRUE(is_broken_pipe(*pipe));
  EXPECT_TRUE(is_broken_pipe(*with_context("writing", pipe)));
  EXPECT_FALSE(is_broken_pipe(*os_cause(std::make_error_code(std::errc::no_space_on_device))));
}

}  // namespace
}  // namespace scrivane
