#include "kestrum/document.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "kestrum/content.h"
#include "support/paths.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::PdfBuilder;
using testing_support::to_bytes;

// A file whose catalog (object 1) names object 2 as the page-tree root; `objects` are the tree.
std::string tree(const std::vector<std::pair<uint32_t, std::string>>& objects) {
  PdfBuilder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>").trailer("/Root 1 0 R");
  for (const auto& [number, body] : objects) b.object(number, body);
  return b.build();
}

Result<Document> open(const std::string& pdf) {
  return Document::from_bytes(to_bytes(pdf));
}

std::string text(const SharedBytes& bytes) {
  return std::string(bytes->begin(), bytes->end());
}

// What tells the pages of a fixture apart: their /Name.
std::vector<std::string> names(const Document& document) {
  std::vector<std::string> out;
  for (const PageNode& page : document.pages()) {
    std::optional<std::string_view> name = page.dict.get_name("Name");
    out.emplace_back(name ? *name : "?");
  }
  return out;
}

std::string font_of(const PageNode& page) {
  if (const Object* fonts = page.resources->get("Font")) {
    if (const Dict* d = fonts->as_dict(); d != nullptr && d->begin() != d->end()) {
      return d->begin()->first;
    }
  }
  return "-";
}

TEST(Document, PagesInheritBoxesRotationAndResources) {
  Result<Document> document = open(tree({
      {2,
       "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R 7 0 R] /MediaBox [0 0 500 700] /Rotate 90 "
       "/Resources << /Font << /F1 20 0 R >> >> >>"},
      {3, "<< /Type /Page /Name /inherits >>"},
      {4,
       "<< /Type /Page /Name /own /MediaBox [100 100 0 0] /CropBox [-50 -50 50 2000] /Rotate -90.7 "
       "/Resources 10 0 R >>"},
      {5, "<< /Type /Page /Name /disjoint /CropBox [600 0 700 100] /Resources 11 0 R >>"},
      {6, "<< /Type /Page /Name /unreadable /MediaBox [0 0 1] /Rotate /Ninety /Resources null >>"},
      {7, "<< /Type /Pages /Kids 8 0 R /CropBox [10 10 20 20] /Rotate 180 >>"},
      {8, "[9 0 R]"},
      {9, "<< /Type /Page /Name /deep /MediaBox 12 0 R >>"},
      {10, "<< /Font << /F2 21 0 R >> >>"},
      {11, "[/not /a /dictionary]"},
      {12, "[0 0 300 400]"},
  }));
  ASSERT_TRUE(document) << document.error().message();

  struct Want {
    std::string_view name;
    Rect media, crop;
    int32_t rotate;
    std::string_view font;
    const char* why;
  };
  const Want kPages[] = {
      {"inherits", {0, 0, 500, 700}, {0, 0, 500, 700}, 90, "F1", "everything from the root"},
      {"own",
       {0, 0, 100, 100},
       {0, 0, 50, 100},
       -90,
       "F2",
       "own entries replace; box normalised, crop clipped, real rotate truncated"},
      {"disjoint",
       {0, 0, 500, 700},
       {0, 0, 500, 700},
       90,
       "-",
       "a crop box outside the media box is replaced; non-dictionary resources are empty"},
      {"unreadable",
       {0, 0, 500, 700},
       {0, 0, 500, 700},
       90,
       "F1",
       "a short box, a named rotate and null resources keep the parent's values"},
      {"deep",
       {0, 0, 300, 400},
       {10, 10, 20, 20},
       180,
       "F1",
       "indirect /Kids and box; crop box from the middle of the tree"},
  };
  ASSERT_EQ(document->page_count(), std::size(kPages));
  for (size_t i = 0; i < std::size(kPages); ++i) {
    const Want& want = kPages[i];
    const PageNode& page = document->pages()[i];
    SCOPED_TRACE(want.why);
    EXPECT_EQ(page.dict.get_name("Name"), want.name);
    EXPECT_EQ(page.media_box, want.media);
    EXPECT_EQ(page.crop_box, want.crop);
    EXPECT_EQ(page.rotate, want.rotate);
    EXPECT_EQ(font_of(page), want.font);
  }
  // Pages that inherit one resources dictionary share it.
  EXPECT_EQ(document->pages()[0].resources, document->pages()[3].resources);
}

TEST(Document, PageWithoutAnyBoxIsLetterSized) {
  Result<Document> document = open(tree({
      {2, "<< /Type /Pages /Kids [3 0 R] >>"},
      {3, "<< /Type /Page /CropBox [-100 -100 100 100] >>"},
  }));
  ASSERT_TRUE(document) << document.error().message();
  ASSERT_EQ(document->page_count(), 1u);
  EXPECT_EQ(document->pages()[0].media_box, (Rect{0, 0, 612, 792}));
  EXPECT_EQ(document->pages()[0].crop_box, (Rect{0, 0, 100, 100}));
  EXPECT_EQ(document->pages()[0].rotate, 0);
  EXPECT_TRUE(document->pages()[0].resources->empty());
}

TEST(Document, BrokenTreesLosePagesNotTheDocument) {
  struct Case {
    std::vector<std::pair<uint32_t, std::string>> objects;
    std::vector<std::string> want;
    const char* why;
  };
  const Case kCases[] = {
      {{{2, "<< /Type /Pages /Kids [3 0 R 2 0 R 4 0 R 3 0 R] >>"},
        {3, "<< /Type /Page /Name /a >>"},
        {4, "<< /Type /Pages /Kids [5 0 R 2 0 R 4 0 R] >>"},
        {5, "<< /Type /Page /Name /b >>"}},
       {"a", "b"},
       "kids naming the root, their own parent or an earlier page are walked once"},
      {{{2, "<< /Type /Pages /Kids [<< /Name /direct >> 2 0 R] >>"}},
       {"direct"},
       "a root that lists itself is walked once, direct kids included"},
      {{{2, "<< /Type /Page /Kids [3 0 R << /Type /Page /Name /inline >>] >>"},
        {3, "<< /Type /Page /Name /a >>"}},
       {"a", "inline"},
       "a /Type /Page node with /Kids is an inner node; kids may be direct"},
      {{{2, "<< /Type /Pages /Kids [3 0 R 99 0 R 42 (x) 4 0 R 5 0 R] >>"},
        {3, "<< /Type /Pages /Kids 6 0 R >>"},
        {4, "<< /Name /untyped >>"},
        {5, "<< /Type /Pages >>"},
        {6, "(not an array)"}},
       {"untyped"},
       "missing and non-dictionary kids and /Pages without kids are dropped; untyped is a page"},
      {{{2, "<< /Type /Pages /Kids [] >>"}}, {}, "an empty tree has zero pages"},
      {{{2, "<< /Type /Page /Name /single >>"}}, {"single"}, "the root itself is a page"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    Result<Document> document = open(tree(c.objects));
    ASSERT_TRUE(document) << document.error().message();
    EXPECT_EQ(names(*document), c.want);
  }
}

TEST(Document, TreeWalkIsBounded) {
  // A chain of inner nodes, each with one page and the next node: nodes deeper than the limit
  // stop the walk, keeping the pages above.
  std::vector<std::pair<uint32_t, std::string>> chain;
  for (uint32_t level = 0; level < 100; ++level) {
    chain.emplace_back(level + 2, fmt::format("<< /Type /Pages /Kids [<< /Name /p{} >> {} 0 R] >>",
                                              level + 1, level + 3));
  }
  Result<Document> deep = open(tree(chain));
  ASSERT_TRUE(deep) << deep.error().message();
  ASSERT_EQ(deep->page_count(), kMaxTreeDepth);
  EXPECT_EQ(names(*deep).back(), fmt::format("p{}", kMaxTreeDepth));

  std::string kids;
  for (size_t i = 0; i < kMaxPages + 5; ++i) kids += "<<>>";
  Result<Document> wide = open(tree({{2, "<< /Type /Pages /Kids [" + kids + "] >>"}}));
  ASSERT_TRUE(wide) << wide.error().message();
  EXPECT_EQ(wide->page_count(), kMaxPages);
}

TEST(Document, OpeningErrors) {
  struct Case {
    std::string pdf;
    std::string_view want;
  };
  const Case kCases[] = {
      {PdfBuilder().object(1, "(catalog)").trailer("/Root 1 0 R").build(),
       "malformed pdf: catalog missing"},
      {PdfBuilder().object(1, "<< /Type /Catalog >>").trailer("/Root 1 0 R").build(),
       "malformed pdf: catalog has no /Pages"},
      {PdfBuilder().object(1, "<< /Type /Catalog /Pages 7 0 R >>").trailer("/Root 1 0 R").build(),
       "malformed pdf: catalog has no /Pages"},
      {"not a pdf at all", "malformed pdf: no %PDF header"},
  };
  for (const Case& c : kCases) {
    Result<Document> document = open(c.pdf);
    ASSERT_FALSE(document) << c.want;
    EXPECT_EQ(document.error().message(), c.want);
  }
}

TEST(Document, PageIndexOutOfRange) {
  Result<Document> document = open(tree({
      {2, "<< /Type /Pages /Kids [3 0 R] >>"},
      {3, "<< /Type /Page >>"},
  }));
  ASSERT_TRUE(document) << document.error().message();
  EXPECT_TRUE(document->page_node(0));
  Result<const PageNode*> past = document->page_node(1);
  ASSERT_FALSE(past);
  ASSERT_NE(past.error().get<Error::PageOutOfRange>(), nullptr);
  EXPECT_EQ(past.error().message(), "page index 1 out of range");
}

TEST(Document, ContentStreamsAreJoined) {
  struct Case {
    std::string_view contents;  // the page's /Contents entry, or "" for none
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"/Contents 4 0 R", "q 1 0 0 1 5 5 cm", "one stream as it is"},
      {"/Contents [4 0 R 5 0 R]", "q 1 0 0 1 5 5 cm\n(x) Tj Q", "two streams, a newline between"},
      {"/Contents [4 0 R 6 0 R 5 0 R]", "q 1 0 0 1 5 5 cm\n(x) Tj Q",
       "a stream with an unknown filter is skipped"},
      {"/Contents [8 0 R 4 0 R 99 0 R 5 0 R]", "q 1 0 0 1 5 5 cm\n(x) Tj Q",
       "non-streams and missing objects are skipped"},
      {"/Contents [7 0 R 5 0 R]", "(x) Tj Q", "no newline while the buffer is still empty"},
      {"/Contents 9 0 R", "q 1 0 0 1 5 5 cm\n(x) Tj Q", "an indirect array"},
      {"", "", "no /Contents"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.why);
    PdfBuilder b;
    b.object(1, "<< /Type /Catalog /Pages 2 0 R >>").trailer("/Root 1 0 R");
    b.object(2, "<< /Type /Pages /Kids [3 0 R] >>");
    b.object(3, fmt::format("<< /Type /Page {} >>", c.contents));
    b.stream(4, "", "q 1 0 0 1 5 5 cm");
    b.flate_stream(5, "", "(x) Tj Q");
    b.stream(6, "/Filter /NoSuchDecode", "BT");
    b.stream(7, "", "");
    b.object(8, "42");
    b.object(9, "[4 0 R 5 0 R]");
    Result<Document> document = open(b.build());
    ASSERT_TRUE(document) << document.error().message();
    ASSERT_EQ(document->page_count(), 1u);
    EXPECT_EQ(text(document->page_content(document->pages()[0])), c.want);
  }
}

TEST(Document, JoinedStreamsTokenizeLikeOne) {
  // The newline keeps the last token of one stream from running into the first of the next.
  PdfBuilder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>").trailer("/Root 1 0 R");
  b.object(2, "<< /Type /Pages /Kids [3 0 R] >>");
  b.object(3, "<< /Type /Page /Contents [4 0 R 5 0 R] >>");
  b.stream(4, "", "q 1 0 0 1 5 5 cm");
  b.stream(5, "", "0 0 m Q");
  Result<Document> document = open(b.build());
  ASSERT_TRUE(document) << document.error().message();
  SharedBytes content = document->page_content(document->pages()[0]);
  ContentParser parser(*content);
  std::vector<std::string> ops;
  while (std::optional<Operation> op = parser.next()) ops.push_back(op->op);
  EXPECT_EQ(ops, (std::vector<std::string>{"q", "cm", "m", "Q"}));
}

TEST(Document, DictGetResolves) {
  PdfBuilder b;
  b.object(1,
           "<< /Type /Catalog /Pages 2 0 R /Direct 5 /Indirect 3 0 R /Gone 99 0 R "
           "/Null null >>");
  b.object(2, "<< /Type /Pages /Kids [] >>").object(3, "(found)").trailer("/Root 1 0 R");
  Result<Document> document = open(b.build());
  ASSERT_TRUE(document) << document.error().message();
  const Dict& catalog = document->catalog();
  EXPECT_EQ(document->dict_get(catalog, "Direct"), Object::integer(5));
  EXPECT_EQ(document->dict_get(catalog, "Indirect"), Object::string("found"));
  EXPECT_FALSE(document->dict_get(catalog, "Gone"));
  EXPECT_FALSE(document->dict_get(catalog, "Null"));
  EXPECT_FALSE(document->dict_get(catalog, "Absent"));
  EXPECT_EQ(document->trailer().get("Root")->as_ref(), (Ref{1, 0}));
}

TEST(Document, RectFrom) {
  auto rect = [](std::string_view text) {
    Cursor c(as_bytes(text));
    return rect_from(c.read_object_at(0).value_or(Object()));
  };
  struct Case {
    std::string_view input;
    std::optional<Rect> want;
    const char* why;
  };
  const Case kCases[] = {
      {"[0 0 612 792]", Rect{0, 0, 612, 792}, "integers"},
      {"[612.5 792 0 -1]", Rect{0, -1, 612.5, 792}, "corners normalised"},
      {"[1 /x 2 (y) 3 4 5]", Rect{1, 2, 3, 4}, "non-numbers skipped, the first four taken"},
      {"[0 0 1]", std::nullopt, "three numbers"},
      {"[0 0 1 1 0 R]", std::nullopt, "references are not numbers"},
      {"(0 0 1 1)", std::nullopt, "not an array"},
      {"[0 0 1e300 1]", Rect{0, 0, 3.4028235e38f, 1}, "beyond f32 stays finite"},
  };
  for (const Case& c : kCases) EXPECT_EQ(rect(c.input), c.want) << c.why;
}

TEST(Document, PageMatrixFollowsRotation) {
  const Rect crop{10, 20, 110, 220};
  struct Case {
    int32_t rotate;
    Point user, want;  // want at scale 2
  };
  const Case kCases[] = {
      {0, {10, 220}, {0, 0}},      {0, {110, 20}, {200, 400}},   {45, {10, 220}, {0, 0}},
      {90, {10, 20}, {0, 0}},      {90, {110, 220}, {400, 200}}, {450, {10, 20}, {0, 0}},
      {180, {110, 20}, {0, 0}},    {180, {10, 220}, {200, 400}}, {270, {110, 220}, {0, 0}},
      {270, {10, 20}, {400, 200}}, {-90, {110, 220}, {0, 0}},    {-90, {10, 20}, {400, 200}},
      {-180, {110, 20}, {0, 0}},   {360, {110, 20}, {200, 400}},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(page_matrix(crop, c.rotate, 2).apply(c.user), c.want) << "rotate " << c.rotate;
  }
  EXPECT_EQ(page_matrix(crop, -90, 1.5f), page_matrix(crop, 270, 1.5f));
}

// Page counts from `qpdf --show-npages`; the encrypted copies open with their user password.
struct CorpusFile {
  const char* name;
  size_t pages;
  const char* password;
};
const CorpusFile kCorpus[] = {
    {"article.pdf", 3, ""},
    {"article-objstm.pdf", 3, ""},
    {"authoryear.pdf", 3, ""},
    {"dvips.pdf", 3, ""},
    {"lualatex.pdf", 3, ""},
    {"mixed.pdf", 3, ""},
    {"sample.pdf", 2, ""},
    {"scanned.pdf", 3, ""},
    {"short.pdf", 1, ""},
    {"twocolumn.pdf", 6, ""},
    {"twocolumn-linearized.pdf", 6, ""},
    {"xelatex.pdf", 3, ""},
    {"short-r2-rc4-40.pdf", 1, ""},
    {"short-r2-rc4-40-secret.pdf", 1, "secret"},
    {"short-r3-rc4-128.pdf", 1, ""},
    {"short-r3-rc4-128-secret.pdf", 1, "secret"},
    {"short-r4-aes-128.pdf", 1, ""},
    {"short-r4-aes-128-secret.pdf", 1, "secret"},
    {"short-r6-aes-256.pdf", 1, ""},
    {"short-r6-aes-256-secret.pdf", 1, "secret"},
};

TEST(Document, OpensTheCorpus) {
  for (const CorpusFile& f : kCorpus) {
    SCOPED_TRACE(f.name);
    std::string bytes = testing_support::read_file(testing_support::corpus_file(f.name));
    ASSERT_FALSE(bytes.empty());
    std::string_view password = f.password;
    Result<Document> document = Document::from_bytes(to_bytes(bytes), as_bytes(password));
    ASSERT_TRUE(document) << document.error().message();
    EXPECT_EQ(document->page_count(), f.pages);
    for (const PageNode& page : document->pages()) {
      EXPECT_TRUE(has_area(page.crop_box));
      EXPECT_FALSE(document->page_content(page)->empty());
    }
  }
}

}  // namespace
}  // namespace kestrum
