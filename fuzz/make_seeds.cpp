// Writes small seed inputs for the fuzz targets: `fuzz_seeds DIR` fills DIR/<target>/ with
// the lexer's edge cases, one input per filter with typical parameters, small files of every
// cross-reference form made with the test PDF builder, content and CMap text, and a document
// with a page tree and fonts. Real files come from tests/corpus.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "filter_input.h"
#include "support/encoders.h"
#include "support/pdf_builder.h"

namespace {

using namespace fuzz_input;
using testing_support::lzw_encode;
using testing_support::PdfBuilder;
using Xref = PdfBuilder::Xref;

std::filesystem::path g_root;

void write(std::string_view target, std::string_view name, std::string_view bytes) {
  std::filesystem::path dir = g_root / target;
  std::filesystem::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void object_seeds() {
  const std::pair<std::string_view, std::string_view> kSeeds[] = {
      {"refs", "12 0 R 12 0 obj -1 0 R 1 70000 R 4294967296 0 R"},
      {"array-stray", "[1 2 ) 3] [/A (b) <43> [ ] << >>]"},
      {"dict-missing-value", "<< /A 1 /B >> << /Nested << /Deeper [1 2 3] >> /K true >>"},
      {"literal-strings", "(a(b)c) (\\101\\7\\q) (line\\\r\ncont) (\\nnot closed"},
      {"hex-strings", "<4E6F7> <4e 6f 70> <zz>"},
      {"names", "/A#20B /A#2 /#E2#82#AC /\xff\xfe /"},
      {"numbers", "1e400 -.5 --5 +. - 5- 1.2.3 123456789012345678901 0.000001 +17 -0"},
      {"keywords", "null true false obj endobj stream R { 1 2 } % comment\n3"},
      {"stream", "<< /Length 5 >> stream\r\nhello\r\nendstream 4 stream\nabc endstream"},
      {"stream-no-end", "100 stream\nthe data runs to the end"},
  };
  for (const auto& [name, text] : kSeeds) write("object", name, text);
  write("object", "nesting",
        std::string(200, '[') + std::string(10, ']') + "<<" + std::string(160, '[') + "/K <<");
}

uint8_t name_index(std::string_view name) {
  for (size_t i = 0; i < std::size(kFilterNames); ++i) {
    if (kFilterNames[i] == name) return static_cast<uint8_t>(i);
  }
  return 0;
}

// The byte that selects `v` (see value_of in the fuzzer).
uint8_t value_byte(int64_t v) {
  for (size_t i = 0; i < std::size(kExtremes); ++i) {
    if (kExtremes[i] == v) return static_cast<uint8_t>(i);
  }
  return static_cast<uint8_t>(v + static_cast<int64_t>(std::size(kExtremes)));
}

struct Filter {
  std::string_view name;
  int predictor = 0;  // 0: no parameters
  int colors = 1;
  int columns = 1;
};

std::string filter_input(uint8_t layout, const std::vector<Filter>& filters,
                         std::string_view data) {
  std::string out(1, static_cast<char>(layout | (filters.size() - 1)));
  for (const Filter& f : filters) {
    out += static_cast<char>(name_index(f.name));
    if (f.predictor == 0) {
      out += '\0';
      continue;
    }
    out += static_cast<char>(kHasPredictor | kHasColors | kHasColumns);
    out += static_cast<char>(value_byte(f.predictor));
    out += static_cast<char>(value_byte(f.colors));
    out += static_cast<char>(f.columns >> 8);
    out += static_cast<char>(f.columns & 0xFF);
  }
  out += data;
  return out;
}

// Rows of `columns` bytes, each with a PNG filter type cycling through 0 to 4.
std::string png_rows(size_t rows, size_t columns) {
  std::string out;
  for (size_t r = 0; r < rows; ++r) {
    out += static_cast<char>(r % 5);
    for (size_t c = 0; c < columns; ++c) out += static_cast<char>((r * 31 + c * 7) & 0xFF);
  }
  return out;
}

void filter_seeds() {
  const std::string text = "BT /F1 12 Tf 72 712 Td (Hello, filters) Tj ET\n";
  std::string long_text;
  for (int i = 0; i < 40; ++i) long_text += text;
  write("filters", "flate",
        filter_input(0, {{"FlateDecode"}}, testing_support::deflate(long_text)));
  write("filters", "flate-raw", filter_input(0, {{"Fl"}}, testing_support::raw_deflate(text)));
  write("filters", "flate-png",
        filter_input(0, {{"FlateDecode", 12, 1, 6}}, testing_support::deflate(png_rows(12, 6))));
  write("filters", "flate-tiff",
        filter_input(0, {{"FlateDecode", 2, 3, 4}}, testing_support::deflate(long_text)));
  write("filters", "lzw", filter_input(0, {{"LZWDecode"}}, lzw_encode(long_text, true)));
  write("filters", "ahx", filter_input(0, {{"ASCIIHexDecode"}}, "41 42 4>"));
  write("filters", "a85", filter_input(0, {{"A85"}}, "<~87cURD]i,\"Ebo80~>"));
  write("filters", "a85-z", filter_input(kUseArray, {{"ASCII85Decode"}}, "<~z!!~>"));
  write("filters", "rl",
        filter_input(0, {{"RunLengthDecode"}},
                     "\x02"
                     "abc\xfd"
                     "x\x80"));
  write("filters", "chain-ahx-flate",
        filter_input(kUseParamArray, {{"AHx"}, {"FlateDecode", 10, 1, 3}}, [] {
          std::string hex;
          for (unsigned char c : testing_support::deflate(png_rows(4, 3))) {
            hex += fmt::format("{:02x}", c);
          }
          return hex + ">";
        }()));
  write("filters", "chain-flate-dct",
        filter_input(kUseShortKeys, {{"Fl"}, {"DCTDecode"}}, testing_support::deflate(text)));
  write("filters", "crypt-unknown", filter_input(0, {{"Crypt"}, {"NoSuchDecode"}}, text));
  write("filters", "direct",
        filter_input(kUseDirectCalls, {{"RL"}},
                     "\x05"
                     "abcdef\xf0z"));
}

PdfBuilder basic(Xref form) {
  PdfBuilder b;
  b.xref(form)
      .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
      .object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>")
      .flate_stream(4, "", "BT /F1 12 Tf 72 712 Td (Hello) Tj ET")
      .trailer("/Root 1 0 R");
  return b;
}

void pdf_file_seeds() {
  const std::pair<std::string_view, Xref> kForms[] = {
      {"table", Xref::Table}, {"stream", Xref::Stream}, {"hybrid", Xref::Hybrid}};
  for (const auto& [name, form] : kForms) {
    PdfBuilder b = basic(form);
    b.packed(5, "<< /Packed true /Kids [1 0 R 2 0 R] >>", 10).packed(6, "[1 2 (three)]", 10);
    b.stream(7, "/Length 8 0 R", "indirect length").object(8, "15");
    b.stream(9, "/Filter /AHx", "48656c6c6f>");
    write("pdf_file", name, b.build());
    PdfBuilder updated = basic(form);
    updated.update().object(3, "<< /Type /Page /Parent 2 0 R >>").trailer("/Root 1 0 R");
    write("pdf_file", fmt::format("{}-update", name), updated.build());
  }
  write("pdf_file", "junk-before-header", basic(Xref::Table).junk_before_header("junk\n").build());
  write("pdf_file", "bad-startxref", basic(Xref::Table).startxref(3).build());
  write("pdf_file", "no-startxref", basic(Xref::Stream).omit_startxref().build());
  write("pdf_file", "truncated", basic(Xref::Hybrid).truncate_tail(40).build());
  write("pdf_file", "xref-widths", basic(Xref::Stream).xref_widths(0, 3, 1).build());
}

constexpr std::string_view kPageContent =
    "q 1 0 0 1 72 720 cm BT /F1 12 Tf 14 TL (Hello) Tj T* [(W) 120 (orld)] TJ (next) ' "
    "1 2 (quote) \" ET Q\n0.5 g 10 10 100 50 re f 0 0 m 100 100 l S\n"
    "BI /W 2 /H 2 /BPC 8 /CS /G ID \x01\x02\x03\x04 EI\n"
    "BI /W 1 /H 1 /L 3 /F /AHx ID 7f> EI\n/Tag << /MCID 0 >> BDC EMC [1 2 ) 3] d0";

constexpr std::string_view kToUnicode =
    "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
    "/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
    "1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
    "3 beginbfchar <0003> <0020> <0011> <00660069> <0024> /A endbfchar\n"
    "2 beginbfrange <0030> <0039> <0030> <0040> <0042> [<0041> <D835DC00> /B] endbfrange\n"
    "endcmap CMapName currentdict /CMap defineresource pop end end";

constexpr std::string_view kCidCMap =
    "/CIDInit /ProcSet findresource begin begincmap /usecmap /Identity-H\n"
    "2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange\n"
    "1 begincidrange <8140> <817E> 633 endcidrange 1 begincidchar <20> 1 endcidchar\n"
    "endcmap end";

void content_seeds() {
  write("content", "page", kPageContent);
  write("content", "inline-image-no-end", "BI /W 4 /H 4 ID binary EIx data");
  write("content", "numbers-only", "1 2 3 4 5 6 7 8 9 10 -1 +2 .3 --4");
  write("cmap", "to-unicode", kToUnicode);
  write("cmap", "cid", kCidCMap);
}

void document_seeds() {
  PdfBuilder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .object(2,
              "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 612 792] "
              "/Resources << /Font << /F1 6 0 R /F2 7 0 R >> >> >>")
      .object(3, "<< /Type /Page /Parent 2 0 R /Contents [8 0 R 9 0 R] /Rotate 90 >>")
      .object(4, "<< /Type /Page /Parent 2 0 R /Contents 8 0 R /CropBox [10 10 300 300] >>")
      .object(5, "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R] /Count 1 >>")
      .object(6,
              "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /FirstChar 32 /LastChar 34 "
              "/Widths [278 278 355] /Encoding << /Differences [33 /exclam /quotedbl] >> >>")
      .object(7,
              "<< /Type /Font /Subtype /Type0 /BaseFont /Sub /Encoding /Identity-H "
              "/DescendantFonts [10 0 R] /ToUnicode 11 0 R >>")
      .flate_stream(8, "", kPageContent)
      .stream(9, "", "BT /F2 10 Tf <00030011> Tj [<0024> 50 <0031>] TJ ET")
      .object(10,
              "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Sub /DW 500 "
              "/W [3 [250 300] 10 20 400] /CIDToGIDMap /Identity >>")
      .flate_stream(11, "", kToUnicode)
      .trailer("/Root 1 0 R");
  for (std::string_view target : {"document", "backend"})
    write(target, "pages-and-fonts", b.build());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
    return 2;
  }
  g_root = argv[1];
  object_seeds();
  filter_seeds();
  pdf_file_seeds();
  content_seeds();
  document_seeds();
  return 0;
}
