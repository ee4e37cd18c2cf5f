#include "kestrum/font/glyph.h"

#include <cctype>
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "kestrum/content.h"
#include "kestrum/document.h"
#include "kestrum/font/font.h"
#include "kestrum/font/system.h"
#include "kestrum/parser.h"
#include "support/font_builder.h"
#include "support/font_loader.h"
#include "support/paths.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::CffBuilder;
using testing_support::CffGlyph;
using testing_support::load_font;
using testing_support::PdfBuilder;
using testing_support::TrueTypeBuilder;
using testing_support::TtGlyph;
using Kind = PathCmd::Kind;

constexpr uint32_t kProgramObject = 91;

// A simple font whose descriptor embeds `program` as `key` (with `stream_entries` in the
// program stream's dictionary); `entries` go into the font dictionary, `descriptor` into the
// descriptor.
std::shared_ptr<const Font> simple_font(std::string_view subtype, std::string_view entries,
                                        std::string_view descriptor, std::string_view key,
                                        const std::string& program,
                                        std::string_view stream_entries = "") {
  PdfBuilder objects;
  objects.stream(kProgramObject, stream_entries, program);
  return load_font(fmt::format("<< /Type /Font /Subtype /{} /BaseFont /Test {} /FontDescriptor "
                               "<< {} /{} {} 0 R >> >>",
                               subtype, entries, descriptor, key, kProgramObject),
                   objects);
}

// A Type 0 font, Identity-H, whose descendant embeds `program` as `key`.
std::shared_ptr<const Font> type0_font(std::string_view cid_subtype, std::string_view key,
                                       const std::string& program,
                                       std::string_view stream_entries = "",
                                       std::string_view cid_to_gid = "") {
  PdfBuilder objects;
  objects.stream(kProgramObject, stream_entries, program);
  if (!cid_to_gid.empty()) objects.stream(92, "", cid_to_gid);
  return load_font(
      fmt::format("<< /Type /Font /Subtype /Type0 /BaseFont /Test /Encoding /Identity-H "
                  "/DescendantFonts [<< /Type /Font /Subtype /{} /BaseFont /Test {} "
                  "/FontDescriptor << /Flags 4 /{} {} 0 R >> >>] >>",
                  cid_subtype, cid_to_gid.empty() ? "" : "/CIDToGIDMap 92 0 R", key,
                  kProgramObject),
      objects);
}

CodeItem item(uint32_t code, std::optional<std::string> text = std::nullopt, float width = 500) {
  CodeItem out;
  out.code = code;
  out.cid = code;
  out.text = std::move(text);
  out.width = width;
  return out;
}

// Glyph `n` of the test fonts is a triangle whose first point lies at x = 100·n, so an outline
// tells which glyph it was made from.
TtGlyph tt_marker(int n, std::string name = "") {
  auto x = static_cast<int16_t>(100 * n);
  return {{{{x, 0}, {static_cast<int16_t>(x + 50), 0}, {x, 700}}}, 500, std::move(name)};
}
CffGlyph cff_marker(int n, std::string name = "", uint16_t cid = 0) {
  return {std::move(name), cid, {{100 * n, 0}, {100 * n + 50, 0}, {100 * n, 700}}};
}

// The x of the first point, or -1 without an outline.
float first_x(const std::shared_ptr<const Outline>& outline) {
  if (!outline || outline->commands.empty()) return -1;
  return outline->commands.front().x;
}

// Makes `bytes` the font's substitute before anything asks the system for one.
void give_substitute(const Font& font, SharedBytes bytes) {
  std::call_once(font.substitute_once, [&] { font.substitute = std::move(bytes); });
}

SharedBytes shared(const std::string& data) {
  return std::make_shared<const Bytes>(data.begin(), data.end());
}

TEST(Sink, BuildsCommands) {
  Sink sink;
  sink.move_to(0, 0);
  sink.quad_to(3, 3, 6, 0);
  sink.line_to(6, 5);
  sink.move_to(10, 10);  // closes the first contour
  sink.cubic_to(11, 12, 13, 14, 15, 16);
  sink.close();
  sink.close();  // nothing open: nothing added
  Outline outline = sink.finish(1, 250);
  const std::vector<PathCmd> want = {
      PathCmd::move_to(0, 0),
      PathCmd::curve_to(2, 2, 4, 2, 6, 0),  // (0,0) (3,3) (6,0) as a cubic
      PathCmd::line_to(6, 5),
      PathCmd::close(),
      PathCmd::move_to(10, 10),
      PathCmd::curve_to(11, 12, 13, 14, 15, 16),
      PathCmd::close(),
  };
  EXPECT_EQ(outline.commands, want);
  EXPECT_EQ(outline.width, 250);
  EXPECT_TRUE(sink.commands().empty());
}

TEST(Sink, FinishClosesAndScales) {
  struct Case {
    float scale;
    float applied;  // what the coordinates are multiplied by
    const char* why;
  };
  const Case kCases[] = {
      {0.5f, 0.5f, "halves"},
      {1.0000005f, 1, "within 1e-6 of 1: left alone"},
      {1000.0f / 2048, 1000.0f / 2048, "a 2048-unit em"},
  };
  for (const Case& c : kCases) {
    Sink sink;
    sink.move_to(100, 200);
    sink.quad_to(100, 100, 200, 100);
    sink.quad_to(300, 100, 300, 200);  // starts where the first curve ended
    Outline outline = sink.finish(c.scale, 0);
    ASSERT_EQ(outline.commands.size(), 4u) << c.why;
    EXPECT_EQ(outline.commands[0].x, 100 * c.applied) << c.why;
    EXPECT_FLOAT_EQ(outline.commands[2].x1, (200 + 0.6666667f * 100) * c.applied) << c.why;
    EXPECT_EQ(outline.commands[3].kind, Kind::Close) << c.why << ": the open contour is closed";
  }
}

TEST(GlyphOutline, TrueTypeGlyphSelection) {
  // Glyph 1 is "a" in the post table; glyphs 2 and 3 are reached through character maps.
  struct Case {
    std::vector<testing_support::CmapSubtable> cmaps;
    bool post;
    uint32_t flags;
    std::string_view encoding;  // font dictionary entries
    uint32_t code;
    float want;  // first x: 100 × glyph id
    const char* why;
  };
  const Case kCases[] = {
      {{{3, 0, {{0xF041, 2}}}}, false, 4, "", 0x41, 200, "symbolic: (3,0) at U+F041"},
      {{{1, 0, {{0x41, 3}}}}, false, 4, "", 0x41, 300, "symbolic: (1,0) at the code"},
      {{{3, 0, {{0x41, 2}}}}, false, 4, "", 0x41, 200, "(3,0) at the plain code second"},
      {{{3, 1, {{0x61, 2}}}, {1, 0, {{0x61, 3}}}},
       false,
       4,
       "",
       0x61,
       300,
       "symbolic: the (3,1) map is skipped by the symbol lookup"},
      {{{3, 1, {{0x61, 2}}}},
       false,
       32,
       "/Encoding /WinAnsiEncoding",
       97,
       200,
       "no post table: the name's character through the cmap"},
      {{{3, 1, {{0x61, 2}}}},
       true,
       32,
       "/Encoding /WinAnsiEncoding",
       97,
       100,
       "the post table before the cmap"},
      {{{3, 0, {{0xF061, 3}}}, {3, 1, {{0x61, 2}}}},
       true,
       4,
       "/Encoding << /Differences [97 /a] >>",
       97,
       300,
       "symbolic: the symbol lookup before the names"},
      {{{1, 0, {{0x62, 3}}}},
       false,
       32,
       "/Encoding /WinAnsiEncoding",
       98,
       300,
       "nonsymbolic: the symbol lookup after the names"},
      {{{3, 1, {{0x61, 2}}}},
       false,
       32,
       "/Encoding /WinAnsiEncoding",
       3,
       300,
       "nothing finds code 3: glyph 3 itself"},
      {{}, false, 4, "", 2, 200, "no cmap at all: the code"},
  };
  for (const Case& c : kCases) {
    TrueTypeBuilder ttf;
    ttf.glyph(tt_marker(0)).glyph(tt_marker(1, "a")).glyph(tt_marker(2)).glyph(tt_marker(3));
    for (const auto& cmap : c.cmaps) ttf.cmap(cmap);
    if (c.post) ttf.post_table();
    std::shared_ptr<const Font> font = simple_font(
        "TrueType", c.encoding, fmt::format("/Flags {}", c.flags), "FontFile2", ttf.build());
    ASSERT_TRUE(font);
    give_substitute(*font, nullptr);
    EXPECT_EQ(first_x(font->outline(item(c.code))), c.want) << c.why;
  }
}

TEST(GlyphOutline, TrueTypeScaleAndCurves) {
  std::string big_em =
      TrueTypeBuilder().units_per_em(2048).glyph({{{{1024, 0}, {2048, 0}, {1024, 2048}}}}).build();
  std::shared_ptr<const Font> font = simple_font("TrueType", "", "/Flags 4", "FontFile2", big_em);
  std::shared_ptr<const Outline> outline = font->outline(item(0, std::nullopt, 612));
  ASSERT_TRUE(outline);
  EXPECT_EQ(outline->width, 612) << "the item's width, not the font's advance";
  const std::vector<PathCmd> scaled = {PathCmd::move_to(500, 0), PathCmd::line_to(1000, 0),
                                       PathCmd::line_to(500, 1000), PathCmd::line_to(500, 0),
                                       PathCmd::close()};
  EXPECT_EQ(outline->commands, scaled) << "2048 units per em become 1000";

  std::string curved =
      TrueTypeBuilder().glyph({{{{0, 0}, {3, 3, false}, {6, 0}}}}).build();  // 1000 per em
  font = simple_font("TrueType", "", "/Flags 4", "FontFile2", curved);
  outline = font->outline(item(0));
  ASSERT_TRUE(outline);
  const std::vector<PathCmd> cubic = {PathCmd::move_to(0, 0), PathCmd::curve_to(2, 2, 4, 2, 6, 0),
                                      PathCmd::line_to(0, 0), PathCmd::close()};
  EXPECT_EQ(outline->commands, cubic);
}

TEST(GlyphOutline, Type0TrueTypeCidToGidMap) {
  TrueTypeBuilder ttf;
  for (int g = 0; g < 6; ++g) ttf.glyph(tt_marker(g));
  const std::string map("\0\0\0\1\0\2\0\5\0\3", 10);
  std::shared_ptr<const Font> mapped =
      type0_font("CIDFontType2", "FontFile2", ttf.build(), "", map);
  std::shared_ptr<const Font> identity = type0_font("CIDFontType2", "FontFile2", ttf.build());
  ASSERT_TRUE(mapped && identity);
  give_substitute(*identity, nullptr);
  EXPECT_EQ(first_x(mapped->outline(item(4))), 300) << "cid 4 reads bytes 8 and 9";
  EXPECT_EQ(first_x(mapped->outline(item(3))), 500);
  EXPECT_EQ(first_x(mapped->outline(item(5))), 0) << "past the map's end: glyph 0";
  EXPECT_EQ(first_x(identity->outline(item(4))), 400) << "/Identity: the cid itself";
  EXPECT_EQ(identity->outline(item(70000, "A")), nullptr) << "beyond any glyph id";
}

TEST(GlyphOutline, CidKeyedCff) {
  CffBuilder cff;
  cff.cid_keyed().glyph(cff_marker(0));
  for (int g = 1; g < 10; ++g) {
    cff.glyph(cff_marker(g, "", g == 5 || g == 9 ? 100 : static_cast<uint16_t>(g + 10)));
  }
  std::shared_ptr<const Font> font =
      type0_font("CIDFontType0", "FontFile3", cff.build(), "/Subtype /CIDFontType0C");
  ASSERT_TRUE(font);
  ASSERT_EQ(font->program.kind, ProgramKind::Cff);
  give_substitute(*font, nullptr);
  EXPECT_EQ(first_x(font->outline(item(100))), 500) << "glyphs 5 and 9 are CID 100: the lower";
  EXPECT_EQ(first_x(font->outline(item(13))), 300);
  EXPECT_EQ(first_x(font->outline(item(0))), 0);
  EXPECT_EQ(font->outline(item(50)), nullptr) << "no glyph with CID 50, and glyph 50 is none";
  EXPECT_EQ(font->cff_cid_to_gid.size(), 9u) << "CIDs 0, 11..14, 16..18 and 100";
  EXPECT_EQ(font->cff_cid_to_gid.at(100), 5);

  // A glyph id from a /CIDToGIDMap is found through its CID.
  const std::string map("\0\0\0\7", 4);
  font = type0_font("CIDFontType0", "FontFile3", cff.build(), "/Subtype /CIDFontType0C", map);
  EXPECT_EQ(first_x(font->outline(item(1))), 700) << "glyph 7 (CID 17)";
}

TEST(GlyphOutline, CffFontMatrix) {
  struct Case {
    std::optional<std::vector<std::string>> top;
    std::optional<std::vector<std::string>> fd;  // a CID-keyed program when set
    float want;                                  // x of a point at 1000 units
    const char* why;
  };
  const std::vector<std::string> k1 = {"1", "0", "0", "1", "0", "0"};
  const std::vector<std::string> k0005 = {"0.0005", "0", "0", "0.0005", "0", "0"};
  const std::vector<std::string> k001 = {"0.001", "0", "0", "0.001", "0", "0"};
  const std::vector<std::string> k0 = {"0", "0", "0", "0", "0", "0"};
  const Case kCases[] = {
      {std::nullopt, std::nullopt, 1000, "no matrix: the usual thousandths"},
      {k001, std::nullopt, 1000, "the usual matrix"},
      {k0005, std::nullopt, 500, "half-size units"},
      {k0, std::nullopt, 1000, "a zero matrix leaves the units alone"},
      {k1, k001, 1000, "an identity Top DICT and thousandths in the font dict"},
  };
  for (const Case& c : kCases) {
    CffBuilder cff;
    if (c.top) cff.font_matrix(*c.top);
    if (c.fd) cff.cid_keyed(*c.fd);
    cff.glyph(cff_marker(0)).glyph(cff_marker(10, "A", 1));
    std::shared_ptr<const Font> font =
        c.fd ? type0_font("CIDFontType0", "FontFile3", cff.build(), "/Subtype /CIDFontType0C")
             : simple_font("Type1", "", "/Flags 32", "FontFile3", cff.build(), "/Subtype /Type1C");
    ASSERT_TRUE(font);
    give_substitute(*font, nullptr);
    EXPECT_FLOAT_EQ(first_x(font->outline(c.fd ? item(1) : item('A'))), c.want) << c.why;
  }
}

TEST(GlyphOutline, BareCffSimpleFontSelection) {
  struct Case {
    std::string_view entries;
    bool custom_encoding;  // the program maps code 0x61 to glyph 2, else the standard encoding
    uint32_t code;
    float want;
    const char* why;
  };
  const Case kCases[] = {
      {"/Encoding << /Differences [65 /foo] >>", false, 65, 200, "the name in the charset"},
      {"/Encoding /WinAnsiEncoding", false, 65, 100, "A by name"},
      {"", false, 65, 100, "symbolic without names: the program's standard encoding"},
      {"", true, 0x61, 200, "symbolic without names: the program's own encoding"},
      {"/Encoding << /Differences [65 /nosuch] >>", true, 0x41, 100,
       "an unknown name: the encoding"},
      {"", false, 2, 200, "nothing finds code 2: glyph 2 itself"},
  };
  for (const Case& c : kCases) {
    CffBuilder cff;
    cff.glyph(cff_marker(0)).glyph(cff_marker(1, "A")).glyph(cff_marker(2, "foo"));
    if (c.custom_encoding) cff.encoding({0x41, 0x61});
    std::shared_ptr<const Font> font =
        simple_font("Type1", c.entries, "/Flags 4", "FontFile3", cff.build(), "/Subtype /Type1C");
    ASSERT_TRUE(font);
    give_substitute(*font, nullptr);
    EXPECT_EQ(first_x(font->outline(item(c.code))), c.want) << c.why;
  }
}

// A stand-in for a system font: "A" is glyph 1 and "B" glyph 2, on a 2048-unit em.
std::string substitute_font() {
  return TrueTypeBuilder()
      .units_per_em(2048)
      .glyph(tt_marker(0))
      .glyph(tt_marker(1))
      .glyph(tt_marker(2))
      .glyph({{}, 500, "space"})
      .cmap({3, 1, {{'A', 1}, {'B', 2}, {' ', 3}}})
      .build();
}

TEST(GlyphOutline, SubstitutesSupplyWhatProgramsCannot) {
  const float kGlyph1 = 100 * 1000.0f / 2048;
  // The substitute's own advance, so that no case below is stretched.
  const float kAdvance = 500 * 1000.0f / 2048;
  const std::string type1 = "%!PS-AdobeFont-1.0: Test\n/Encoding StandardEncoding def\neexec";
  struct Case {
    std::shared_ptr<const Font> font;
    CodeItem item;
    float want;
    const char* why;
  };
  CffBuilder cff;
  cff.glyph(cff_marker(0)).glyph(cff_marker(5, "A"));
  TrueTypeBuilder space_only;
  space_only.glyph(tt_marker(0)).glyph({{}, 500}).cmap({3, 1, {{' ', 1}}});
  const Case kCases[] = {
      {simple_font("Type1", "", "/Flags 32", "FontFile", type1), item('A', "A", kAdvance), kGlyph1,
       "a Type 1 program is never read: the substitute's A"},
      {simple_font("Type1", "", "/Flags 32", "FontFile", type1), item('A', "BA", kAdvance),
       200 * 1000.0f / 2048, "the first character of the text"},
      {simple_font("Type1", "", "/Flags 32", "FontFile", type1), item('A'), -1,
       "no text: nothing to look up"},
      {simple_font("Type1", "", "/Flags 32", "FontFile", type1), item('A', "", kAdvance), -1,
       "empty text"},
      {simple_font("Type1", "", "/Flags 32", "FontFile", type1), item('C', "C", kAdvance), -1,
       "a character the substitute lacks"},
      {simple_font("Type1", "", "/Flags 32", "FontFile", type1), item(' ', " ", kAdvance), -1,
       "the substitute's space has no outline"},
      {load_font("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"),
       item('A', "A", kAdvance), kGlyph1, "no program at all"},
      {simple_font("TrueType", "", "/Flags 32", "FontFile2", "not a font"),
       item('A', "A", kAdvance), kGlyph1, "a program that does not parse"},
      {simple_font("TrueType", "", "/Flags 32", "FontFile2", cff.build()), item('A', "A", kAdvance),
       kGlyph1, "a CFF program in a TrueType stream is not read as one"},
      {simple_font("TrueType", "", "/Flags 32", "FontFile2", space_only.build()),
       item(' ', "A", kAdvance), kGlyph1, "the program's glyph has no outline"},
  };
  for (const Case& c : kCases) {
    ASSERT_TRUE(c.font) << c.why;
    give_substitute(*c.font, shared(substitute_font()));
    EXPECT_FLOAT_EQ(first_x(c.font->outline(c.item)), c.want) << c.why;
  }
}

TEST(GlyphOutline, SubstitutesAreStretchedToTheFontsAdvance) {
  const std::string type1 = "%!PS-AdobeFont-1.0: Test\n/Encoding StandardEncoding def\neexec";
  const float kGlyph1 = 100 * 1000.0f / 2048;
  const float kAdvance = 500 * 1000.0f / 2048;
  struct Case {
    float width;
    float want;
    const char* why;
  };
  const Case kCases[] = {
      {kAdvance, kGlyph1, "as wide as the substitute: unchanged"},
      {1.5f * kAdvance, 1.5f * kGlyph1, "a wider glyph widens the outline"},
      {10 * kAdvance, 2 * kGlyph1, "stretched by at most 2"},
      {0.1f * kAdvance, 0.5f * kGlyph1, "squeezed by at most 2"},
      {0, kGlyph1, "no width: left alone"},
  };
  for (const Case& c : kCases) {
    auto font = simple_font("Type1", "", "/Flags 32", "FontFile", type1);
    ASSERT_TRUE(font);
    give_substitute(*font, shared(substitute_font()));
    auto outline = font->outline(item('A', "A", c.width));
    EXPECT_NEAR(first_x(outline), c.want, 1e-3) << c.why;
    ASSERT_TRUE(outline) << c.why;
    EXPECT_NEAR(outline->x0, c.want, 1e-3) << c.why << ": the bounds follow";
  }
}

TEST(GlyphOutline, Type3FontsHaveNoOutlines) {
  std::shared_ptr<const Font> font = load_font(
      "<< /Type /Font /Subtype /Type3 /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs << /A 5 0 R "
      ">> /Encoding << /Differences [65 /A] >> >>",
      PdfBuilder().stream(5, "", "0 0 m 1 1 l f"));
  ASSERT_TRUE(font);
  give_substitute(*font, shared(substitute_font()));
  EXPECT_EQ(font->outline(item('A', "A")), nullptr);
  EXPECT_EQ(substitute_outline(*font, item('A', "A")), nullptr);
}

TEST(GlyphOutline, AnswersComeFromTheCache) {
  std::shared_ptr<const Font> font =
      load_font("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  give_substitute(*font, shared(substitute_font()));
  std::shared_ptr<const Outline> first = font->outline(item('A', "A"));
  ASSERT_TRUE(first);
  EXPECT_EQ(font->outline(item('A', "A")), first) << "the same shared outline";
  EXPECT_EQ(font->outline(item('A', "B")), first) << "cached by cid, whatever the text";

  EXPECT_EQ(font->outline(item('B')), nullptr) << "no text: none";
  EXPECT_EQ(font->outline(item('B', "B")), nullptr) << "the none is cached: no second try";
  EXPECT_EQ(font->outline_cache.size(), 2u);
}

TEST(GlyphOutline, InstalledSubstitute) {
  // Whether the machine has a substitute is outside the test's control; with one, a Type 1
  // font's letters get outlines of a plausible size.
  std::shared_ptr<const Font> font =
      load_font("<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>");
  if (!substitute(true, false, false, false)) GTEST_SKIP() << "no serif substitute installed";
  std::shared_ptr<const Outline> outline = font->outline(item('H', "H", 722));
  ASSERT_TRUE(outline);
  float top = 0, right = 0;
  for (const PathCmd& cmd : outline->commands) {
    top = std::max(top, cmd.y);
    right = std::max(right, cmd.x);
  }
  EXPECT_GT(top, 500);
  EXPECT_LT(top, 900);
  EXPECT_GT(right, 500);
  EXPECT_LT(right, 1000);
}

TEST(GlyphOutline, DamagedProgramsGiveAnOutlineOrNone) {
  // Every truncation, and every single-byte change in the tables' heads, of a TrueType and of
  // a CFF program is read without harm (the sanitizers watch), as the first bytes may be.
  CffBuilder cff;
  cff.font_matrix({"0.001", "0", "0", "0.001", "0", "0"}).glyph(cff_marker(0));
  cff.glyph(cff_marker(1, "A"));
  TrueTypeBuilder ttf;
  ttf.glyph(tt_marker(0)).glyph(tt_marker(1, "A")).cmap({3, 1, {{'A', 1}}}).post_table();
  const std::pair<ProgramKind, std::string> kPrograms[] = {{ProgramKind::Cff, cff.build()},
                                                           {ProgramKind::Sfnt, ttf.build()}};
  size_t outlined = 0;
  for (const auto& [kind, program] : kPrograms) {
    std::vector<std::string> damaged;
    for (size_t n = 0; n < program.size(); ++n) damaged.push_back(program.substr(0, n));
    for (size_t at = 0; at < std::min<size_t>(program.size(), 200); ++at) {
      std::string changed = program;
      changed[at] = static_cast<char>(changed[at] ^ 0xA5);
      damaged.push_back(changed);
    }
    for (const std::string& bytes : damaged) {
      auto font = std::make_shared<Font>();
      font->program = {kind, shared(bytes)};
      font->glyph_names = GlyphNames(256);
      font->glyph_names['A'] = "A";
      give_substitute(*font, nullptr);
      std::shared_ptr<const Outline> outline = font->outline(item('A', "A"));
      outlined += outline != nullptr;
    }
  }
  EXPECT_GT(outlined, 0u) << "some changes leave the glyph readable";
}

// (font, item) for every string shown on the first page of a corpus file.
struct PageGlyphs {
  std::vector<std::pair<std::shared_ptr<const Font>, CodeItem>> items;
};

PageGlyphs page_one_glyphs(const Document& doc) {
  PageGlyphs out;
  const PageNode& page = doc.pages()[0];
  std::map<std::string, std::shared_ptr<const Font>> fonts;
  if (std::optional<Object> dict = doc.dict_get(*page.resources, "Font"); dict && dict->is_dict()) {
    for (const auto& [name, entry] : *dict->as_dict()) {
      Object font = doc.resolve(entry);
      if (font.is_dict()) fonts[name] = Font::load(doc.file(), *font.as_dict());
    }
  }
  SharedBytes content = doc.page_content(page);
  ContentParser parser(*content);
  Operation op;
  std::shared_ptr<const Font> font;
  auto show = [&](const Object& operand) {
    const Bytes* bytes = operand.as_string();
    if (!font || bytes == nullptr) return;
    for (CodeItem& code : font->decode(*bytes)) out.items.emplace_back(font, std::move(code));
  };
  while (parser.next(op)) {
    if (op.op == "Tf" && !op.operands.empty() && op.operands[0].is_name()) {
      auto it = fonts.find(*op.operands[0].as_name());
      font = it != fonts.end() ? it->second : nullptr;
    } else if ((op.op == "Tj" || op.op == "'" || op.op == "\"") && !op.operands.empty()) {
      show(op.operands.back());
    } else if (op.op == "TJ" && !op.operands.empty() && op.operands[0].is_array()) {
      for (const Object& element : *op.operands[0].as_array()) show(element);
    }
  }
  return out;
}

Result<Document> open_corpus(std::string_view name) {
  std::string bytes = testing_support::read_file(testing_support::corpus_file(name));
  return Document::from_bytes(Bytes(bytes.begin(), bytes.end()));
}

TEST(GlyphOutline, CorpusProgramsOutlineEveryLetter) {
  // xelatex and lualatex embed CID-keyed CFF, dvips Type 1C: every letter shown on page 1 has
  // an outline of the program, inside the em square's neighbourhood.
  for (std::string_view file : {"xelatex.pdf", "lualatex.pdf", "dvips.pdf"}) {
    SCOPED_TRACE(file);
    Result<Document> doc = open_corpus(file);
    ASSERT_TRUE(doc);
    PageGlyphs glyphs = page_one_glyphs(*doc);
    ASSERT_GT(glyphs.items.size(), 300u);
    size_t letters = 0;
    for (const auto& [font, code] : glyphs.items) {
      ASSERT_EQ(font->program.kind, ProgramKind::Cff);
      give_substitute(*font, nullptr);  // only the program's own outlines count here
      if (!code.text || code.text->size() != 1 ||
          !std::isalpha(static_cast<unsigned char>(code.text->front())))
        continue;
      ++letters;
      std::shared_ptr<const Outline> outline = font->outline(code);
      ASSERT_TRUE(outline) << font->base_name << " cid " << code.cid << " " << *code.text;
      for (const PathCmd& cmd : outline->commands) {
        ASSERT_TRUE(cmd.x > -300 && cmd.x < 1500 && cmd.y > -400 && cmd.y < 1200)
            << font->base_name << " " << *code.text << " at " << cmd.x << "," << cmd.y;
      }
    }
    EXPECT_GT(letters, 300u);
  }
}

TEST(GlyphOutline, ConcurrentLookupsAgree) {
  // Eight threads outline every glyph of page 1 through the same fonts at once; each must see
  // what one thread alone sees on separately loaded fonts.
  Result<Document> doc = open_corpus("xelatex.pdf");
  ASSERT_TRUE(doc);
  PageGlyphs shared_fonts = page_one_glyphs(*doc);
  PageGlyphs reference = page_one_glyphs(*doc);
  ASSERT_EQ(shared_fonts.items.size(), reference.items.size());
  std::vector<std::shared_ptr<const Outline>> want;
  for (const auto& [font, code] : reference.items) want.push_back(font->outline(code));

  constexpr int kThreads = 8;
  std::vector<std::vector<std::shared_ptr<const Outline>>> got(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each thread starts at a different place, so first computations overlap.
      size_t n = shared_fonts.items.size();
      got[t].resize(n);
      for (size_t k = 0; k < n; ++k) {
        size_t i = (k + n * t / kThreads) % n;
        got[t][i] = shared_fonts.items[i].first->outline(shared_fonts.items[i].second);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(got[t][i] == nullptr, want[i] == nullptr) << "thread " << t << " item " << i;
      if (want[i]) {
        ASSERT_EQ(got[t][i]->commands, want[i]->commands);
      }
      // Once stored, every thread gets the one cached outline.
      ASSERT_EQ(got[t][i], shared_fonts.items[i].first->outline(shared_fonts.items[i].second));
    }
  }
}

}  // namespace
}  // namespace kestrum
