#include "kestrum/parser.h"

#include <functional>
#include <string>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::PdfBuilder;
using testing_support::to_bytes;
using Xref = PdfBuilder::Xref;

constexpr std::string_view kCatalog = "<< /Type /Catalog /Pages 2 0 R >>";
constexpr std::string_view kPages = "<< /Type /Pages /Kids [] /Count 0 >>";
// Placed after the real objects, this string holds a later "3 0 obj" that only a scan of the
// whole file sees: object 3 reads "rebuilt" exactly when the cross-reference was rebuilt.
constexpr std::string_view kDecoy = "(3 0 obj (rebuilt) endobj)";

std::shared_ptr<PdfFile> open(const std::string& pdf) {
  Result<std::shared_ptr<PdfFile>> file = PdfFile::load(to_bytes(pdf));
  EXPECT_TRUE(file.has_value()) << file.error().message();
  return file ? *file : nullptr;
}

std::string open_error(const std::string& pdf) {
  Result<std::shared_ptr<PdfFile>> file = PdfFile::load(to_bytes(pdf));
  return file ? "opened" : file.error().message();
}

std::string string_of(const Object& o) {
  const Bytes* s = o.as_string();
  return s ? std::string(s->begin(), s->end()) : "<" + debug_string(o) + ">";
}

std::string stream_text(const Object& o) {
  const Stream* s = o.as_stream();
  return s ? std::string(s->bytes().begin(), s->bytes().end()) : "<" + debug_string(o) + ">";
}

PdfBuilder basic() {
  PdfBuilder b;
  b.object(1, kCatalog).object(2, kPages).trailer("/Root 1 0 R");
  return b;
}

TEST(PdfFile, OpensEveryCrossReferenceForm) {
  for (Xref form : {Xref::Table, Xref::Stream, Xref::Hybrid}) {
    PdfBuilder b = basic();
    b.xref(form).object(3, "(real)").stream(4, "/Kind /Test", "Hello\nstream");
    b.packed(5, "<< /Packed true >>", 10).packed(6, "[1 2 3]", 10).object(99, kDecoy);
    std::shared_ptr<PdfFile> file = open(b.build());
    ASSERT_TRUE(file);
    SCOPED_TRACE(static_cast<int>(form));
    EXPECT_TRUE(file->get(1)->as_dict()->has_name("Type", "Catalog"));
    EXPECT_EQ(file->trailer().get("Root")->as_ref(), (Ref{1, 0}));
    EXPECT_EQ(string_of(*file->get(3)), "real");
    EXPECT_EQ(stream_text(*file->get(4)), "Hello\nstream");
    if (form != Xref::Table) {  // a classic table cannot list packed objects
      EXPECT_EQ(file->get(5)->as_dict()->get("Packed")->as_bool(), true);
      EXPECT_EQ(file->get(6)->as_array()->size(), 3u);
    }
    EXPECT_TRUE(file->get(1234)->is_null());
  }
}

TEST(PdfFile, JunkBeforeHeaderIsDropped) {
  PdfBuilder b = basic();
  b.object(3, "(real)").junk_before_header("junk from a mail gateway\r\n");
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_EQ(std::string(file->data().begin(), file->data().begin() + 5), "%PDF-");
  EXPECT_EQ(string_of(*file->get(3)), "real");
}

TEST(PdfFile, FatalErrors) {
  struct Case {
    std::string pdf;
    std::string want;
  };
  const Case kCases[] = {
      {"", "malformed pdf: no %PDF header"},
      {"%PDF", "malformed pdf: no %PDF header"},
      {"just some text, no header", "malformed pdf: no %PDF header"},
      {"%PDF-1.4\nno objects at all\n", "malformed pdf: no objects found in scan"},
      {"%PDF-1.4\n1 0 obj\n<< /Type /Pages >>\nendobj\n", "malformed pdf: trailer has no /Root"},
      {basic()
           .trailer("/Root 1 0 R /Encrypt 5 0 R")
           .object(5, "<< /Filter /Standard /V 2 /R 3 >>")
           .build(),
       "invalid password"},  // the security handler's error is the error of opening
      {basic().trailer("/Root 1 0 R /Encrypt 5 0 R").object(5, "42").build(),
       "malformed pdf: encrypt entry is not a dictionary"},
      {basic().trailer("/Root 1 0 R /Encrypt 77 0 R").build(),
       "malformed pdf: encrypt entry is not a dictionary"},
  };
  for (const Case& c : kCases) EXPECT_EQ(open_error(c.pdf), c.want) << c.pdf;
}

TEST(PdfFile, DamagedChainOpensThroughTheRebuild) {
  auto plain = [] {
    PdfBuilder b = basic();
    b.object(3, "(real)").object(99, kDecoy);
    return b;
  };
  auto replace = [](std::string s, std::string_view from, std::string_view to) {
    size_t at = s.rfind(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? s : s.replace(at, from.size(), to);
  };
  struct Case {
    std::function<std::string()> make;
    const char* why;
  };
  const Case kCases[] = {
      {[&] { return plain().startxref(17).build(); }, "startxref into the middle of nowhere"},
      {[&] { return plain().startxref(1'000'000).build(); }, "startxref past the end"},
      {[&] { return plain().omit_startxref().build(); }, "no startxref"},
      {[&] { return plain().truncate_tail(40).build(); }, "tail with the trailer cut off"},
      {[&] { return replace(plain().build(), "startxref\n", "startxref\n-"); }, "bad offset"},
      {[&] { return replace(plain().build(), "xref\n0 ", "xref\nzz "); }, "bad subsection"},
      {[&] { return replace(plain().build(), "0000000000 65535 f", "0000000000 6553x f"); },
       "bad entry"},
      {[&] { return replace(plain().build(), "trailer\n<<", "trailer\n[<<"); },
       "trailer is not a dictionary"},
      {[&] { return plain().xref(Xref::Stream).startxref(30).build(); },
       "stream form with a wrong startxref"},
      {[&] { return replace(plain().xref(Xref::Stream).build(), "/W [1 4 2]", "/W [1 4]"); },
       "xref stream without three widths"},
  };
  for (const Case& c : kCases) {
    std::shared_ptr<PdfFile> file = open(c.make());
    ASSERT_TRUE(file) << c.why;
    EXPECT_EQ(file->trailer().get("Root")->as_ref(), (Ref{1, 0})) << c.why;
    EXPECT_TRUE(file->get(1)->as_dict()->has_name("Type", "Catalog")) << c.why;
    EXPECT_EQ(string_of(*file->get(3)), "rebuilt") << c.why << ": the last definition wins";
  }
}

TEST(PdfFile, RebuildFindsPackedObjectsAndTheLowestCatalog) {
  // Only cross-reference streams, no trailer keyword, and a startxref that misses.
  PdfBuilder b;
  b.xref(Xref::Stream)
      .object(2, kPages)
      .object(7, "<< /Type /Catalog /Pages 2 0 R /Which (plain) >>")
      .packed(4, "<< /Type /Catalog /Pages 2 0 R /Which (packed) >>", 10)
      .packed(5, "(five)", 10)
      .trailer("/Root 7 0 R /ID [<0102> <0304>] /Info 5 0 R")
      .startxref(3);
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_EQ(file->trailer().get("Root")->as_ref(), (Ref{4, 0}));
  EXPECT_TRUE(file->trailer().get("ID")) << "the cross-reference stream's trailer entries survive";
  EXPECT_EQ(file->trailer().get("Info")->as_ref(), (Ref{5, 0}));
  EXPECT_EQ(string_of(*file->get(4)->as_dict()->get("Which")), "packed");
  EXPECT_EQ(string_of(*file->get(5)), "five");
  EXPECT_EQ(file->xref().at(5), XrefEntry(InStream{10, 1}));
}

TEST(PdfFile, RebuildCopesWithManyUnterminatedObjects) {
  // Each fragment reads on to the end of the file; reading every one of them to the end, as a
  // careless scan would, takes time quadratic in the file size.
  std::string pdf = "%PDF-1.4\n";
  for (int i = 1; i <= 50'000; ++i) pdf += fmt::format("{} 0 obj << /A (\ntrailer (\n", i);
  EXPECT_EQ(open_error(pdf), "malformed pdf: trailer has no /Root");
}

TEST(PdfFile, HybridSectionsAreReadInOrder) {
  // Revision 1 defines 5, 6 and 7; the hybrid update redefines 5 in its table and 5 and 6 in
  // its stream. The table comes first, then the stream, then the older section.
  PdfBuilder b = basic();
  b.object(5, "(old)").object(6, "(old)").object(7, "(old)");
  b.update().xref(Xref::Hybrid).trailer("/Root 1 0 R");
  b.object(5, "(table)").packed(5, "(stream)", 20).packed(6, "(stream)", 20);
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_EQ(string_of(*file->get(5)), "table");
  EXPECT_EQ(string_of(*file->get(6)), "stream");
  EXPECT_EQ(string_of(*file->get(7)), "old");
}

TEST(PdfFile, UpdatesOverrideOlderRevisionsAndTrailers) {
  PdfBuilder b = basic();
  b.object(3, "(first)").trailer("/Root 1 0 R /Info 8 0 R /Old true");
  b.update().xref(Xref::Stream).object(3, "(second)").trailer("/Root 1 0 R /Info 9 0 R");
  b.update().xref(Xref::Table).object(4, "(third)").trailer("/Root 1 0 R");
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_EQ(string_of(*file->get(3)), "second");
  EXPECT_EQ(string_of(*file->get(4)), "third");
  EXPECT_EQ(file->trailer().get("Info")->as_ref(), (Ref{9, 0})) << "newer trailer keys win";
  EXPECT_EQ(file->trailer().get("Old")->as_bool(), true) << "older keys are kept";
}

TEST(PdfFile, PrevLoopsTerminate) {
  // Section points at itself.
  PdfBuilder self = basic();
  self.object(3, "(real)").object(99, kDecoy).trailer("/Root 1 0 R /Prev 0000000000");
  std::string s = self.build();
  size_t xref = s.rfind("\nxref\n") + 1;
  s.replace(s.find("/Prev 0000000000") + 6, 10, fmt::format("{:010}", xref));
  std::shared_ptr<PdfFile> file = open(s);
  ASSERT_TRUE(file);
  EXPECT_EQ(string_of(*file->get(3)), "real");

  // Two sections pointing at each other.
  PdfBuilder pair = basic();
  pair.object(3, "(real)").trailer("/Root 1 0 R /Prev 0000000000");
  pair.update().object(4, "(newer)").object(99, kDecoy).trailer("/Root 1 0 R");
  std::string p = pair.build();
  size_t newer = p.rfind("\nxref\n") + 1;
  p.replace(p.find("/Prev 0000000000") + 6, 10, fmt::format("{:010}", newer));
  file = open(p);
  ASSERT_TRUE(file);
  EXPECT_EQ(string_of(*file->get(3)), "real");
  EXPECT_EQ(string_of(*file->get(4)), "newer");
}

TEST(PdfFile, XrefStreamWithoutTypeFieldMeansInFile) {
  PdfBuilder b = basic();
  b.xref(Xref::Stream).xref_widths(0, 2, 1).object(3, "(real)").object(99, kDecoy);
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_EQ(string_of(*file->get(3)), "real");
}

TEST(PdfFile, StreamLengths) {
  struct Case {
    std::string object3;
    std::string want;
    const char* why;
  };
  const Case kCases[] = {
      {"<< /Length 5 >>\nstream\nHello\nendstream", "Hello", "direct and right"},
      {"<< /Length 500 >>\nstream\nHello\r\nendstream", "Hello", "too long"},
      {"<< /Length 2 >>\nstream\nHello\nendstream", "Hello", "too short"},
      {"<< /Length -4 >>\nstream\nHello\nendstream", "Hello", "negative"},
      {"<< /Length 4.0 >>\nstream\nHello\nendstream", "Hello", "a direct real is no length"},
      {"<< /Length 8 0 R >>\nstream\nHe endstream\nendstream", "He endstream", "indirect"},
      {"<< /Length 3 0 R >>\nstream\nHello\nendstream", "Hello", "refers to itself"},
      {"<< /Length 9 0 R >>\nstream\nHello\nendstream", "Hello", "refers to a missing object"},
      {"<< /Length 5 >>\nstream\r\nHello\nendstream", "Hello", "CR LF after the keyword"},
  };
  for (const Case& c : kCases) {
    PdfBuilder b = basic();
    b.object(3, c.object3).object(8, "12");
    std::shared_ptr<PdfFile> file = open(b.build());
    ASSERT_TRUE(file) << c.why;
    EXPECT_EQ(stream_text(*file->get(3)), c.want) << c.why;
  }
}

TEST(PdfFile, IndirectLengthInsideAnObjectStream) {
  PdfBuilder b = basic();
  b.xref(Xref::Stream).object(3, "<< /Length 8 0 R >>\nstream\nHello\nendstream");
  b.packed(8, "5", 10);
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_EQ(stream_text(*file->get(3)), "Hello");
}

TEST(PdfFile, ReferenceChains) {
  PdfBuilder b = basic();
  auto chain = [&](uint32_t first, int refs, std::string_view end) {
    for (int i = 0; i < refs; ++i) {
      b.object(first + static_cast<uint32_t>(i), fmt::format("{} 0 R", first + i + 1));
    }
    b.object(first + static_cast<uint32_t>(refs), end);
  };
  chain(100, 40, "(end)");
  chain(200, 10, "(end)");
  chain(300, 32, "(end)");  // the 33rd fetch is the final object
  chain(400, 33, "(end)");  // the 33rd fetch is still a reference
  b.object(500, "500 0 R");
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->resolve(Object::ref(100)).is_null());
  EXPECT_EQ(string_of(file->resolve(Object::ref(200))), "end");
  EXPECT_EQ(string_of(file->resolve(Object::ref(300))), "end");
  EXPECT_TRUE(file->resolve(Object::ref(400)).is_null());
  EXPECT_TRUE(file->resolve(Object::ref(500)).is_null());
  EXPECT_EQ(file->resolve(Object::integer(7)), Object::integer(7));
}

TEST(PdfFile, ObjectStreamIndex) {
  PdfBuilder b = basic();
  b.xref(Xref::Stream).packed(5, "(a)", 10).packed(6, "(b)", 10).packed(7, "(c)", 10);
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  auto index = file->objstm_index(10);
  ASSERT_TRUE(index.has_value());
  ASSERT_EQ((*index)->entries.size(), 3u);
  EXPECT_EQ((*index)->entries[1].first, 6u);
  EXPECT_EQ((*index)->find(7, 0), 2u) << "a wrong position falls back to the number";
  EXPECT_EQ(file->objstm_index(1).error().message(), "malformed pdf: object stream 1 missing");
}

TEST(PdfFile, HostileObjectStreams) {
  // Hand-made object streams, found by the rebuild: /N far beyond the data, and two streams
  // whose lengths each live in the other.
  PdfBuilder b = basic();
  b.object(10, "<< /Type /ObjStm /N 1000000000000000 /First 4 >>\nstream\n4 0 (x)\nendstream");
  b.object(11, "<< /Type /ObjStm /N 1 /First 4 /Length 7 0 R >>\nstream\n8 0 5\nendstream");
  b.object(12, "<< /Type /ObjStm /N 1 /First 4 /Length 8 0 R >>\nstream\n7 0 5\nendstream");
  b.startxref(1);
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  EXPECT_EQ(string_of(*file->get(4)), "x");
  EXPECT_EQ(stream_text(*file->get(11)), "8 0 5");
  EXPECT_EQ(file->get(7)->as_integer(), 5);
  EXPECT_EQ(file->get(8)->as_integer(), 5);
}

TEST(PdfFile, DecodesWithIndirectFilterParameters) {
  PdfBuilder b = basic();
  b.object(3, "<< /Filter 4 0 R /Length 5 >>\nstream\n4142>\nendstream").object(4, "/AHx");
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  Result<Decoded> decoded = file->decode(*file->get(3)->as_stream());
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(std::string(decoded->view().begin(), decoded->view().end()), "AB");
}

TEST(PdfFile, ConcurrentFetchesAgree) {
  PdfBuilder b = basic();
  b.xref(Xref::Stream);
  for (uint32_t n = 10; n < 410; ++n) {
    if (n % 3 == 0) {
      b.object(n, fmt::format("[{} ({})]", n, n));
    } else {
      b.packed(n, fmt::format("[{} ({})]", n, n), 1000 + n % 4);
    }
  }
  std::shared_ptr<PdfFile> file = open(b.build());
  ASSERT_TRUE(file);
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (uint32_t i = 0; i < 400; ++i) {
        uint32_t n = 10 + (i * 37 + static_cast<uint32_t>(t) * 101) % 400;
        SharedObject object = file->get(n);  // keeps the object alive while it is read
        const Array* a = object->as_array();
        if (a == nullptr || a->size() != 2 || (*a)[0].as_integer() != int64_t{n}) ++wrong[t];
      }
    });
  }
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(MergeTrailer, KeepsExistingKeys) {
  Dict acc, newer;
  acc.insert("Root", Object::ref(1));
  newer.insert("Root", Object::ref(2));
  newer.insert("Info", Object::ref(3));
  merge_trailer(acc, newer);
  EXPECT_EQ(acc.get("Root")->as_ref(), (Ref{1, 0}));
  EXPECT_EQ(acc.get("Info")->as_ref(), (Ref{3, 0}));
}

}  // namespace
}  // namespace kestrum
