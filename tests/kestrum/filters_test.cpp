#include "kestrum/filters.h"

#include <random>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "kestrum/lexer.h"
#include "support/encoders.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::deflate;
using testing_support::lzw_encode;
using testing_support::raw_deflate;
using namespace std::literals;

std::string text(std::span<const uint8_t> b) {
  return {b.begin(), b.end()};
}
std::string text(const Bytes& b) {
  return {b.begin(), b.end()};
}

// Text that compresses, but not to nearly nothing.
std::string sample_text(size_t size, unsigned seed = 7) {
  static constexpr std::string_view kWords[] = {"BT ",     "/F1 ", "12 ",  "Tf ", "0.5 ", "Td ",
                                                "(word) ", "Tj ",  "ET\n", "q ",  "Q "};
  std::mt19937 rng(seed);
  std::string out;
  while (out.size() < size) out += kWords[rng() % std::size(kWords)];
  out.resize(size);
  return out;
}

Dict parse_dict(std::string_view pdf_text) {
  Cursor c(as_bytes(pdf_text));
  std::optional<Object> o = c.read_object_at(0);
  return o && o->is_dict() ? *o->as_dict() : Dict();
}

SharedBytes shared(std::string_view s) {
  return std::make_shared<const Bytes>(s.begin(), s.end());
}

Result<Decoded> run(std::string_view dict, std::string_view data) {
  return decode(parse_dict(dict), shared(data), DirectResolver());
}

// Rows of raw bytes encoded with one PNG filter type each.
std::string png_encode(const std::vector<std::string>& rows, const std::vector<int>& types,
                       size_t bpp) {
  std::string out, prev(rows[0].size(), '\0');
  for (size_t r = 0; r < rows.size(); ++r) {
    const std::string& row = rows[r];
    out += static_cast<char>(types[r]);
    for (size_t i = 0; i < row.size(); ++i) {
      int a = i >= bpp ? static_cast<uint8_t>(row[i - bpp]) : 0;
      int b = static_cast<uint8_t>(prev[i]);
      int c = i >= bpp ? static_cast<uint8_t>(prev[i - bpp]) : 0;
      int predicted = 0;
      switch (types[r]) {
        case 1:
          predicted = a;
          break;
        case 2:
          predicted = b;
          break;
        case 3:
          predicted = (a + b) / 2;
          break;
        case 4: {
          int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
          break;
        }
      }
      out += static_cast<char>(static_cast<uint8_t>(row[i]) - predicted);
    }
    prev = row;
  }
  return out;
}

TEST(Flate, DecodesZlibAndRawDeflate) {
  const std::string original = sample_text(300'000);  // several 64 KiB steps
  struct Case {
    std::string input;
    const char* why;
  };
  const Case kCases[] = {
      {deflate(original), "zlib header"},
      {raw_deflate(original), "raw deflate without header"},
      {" \r\n\t" + deflate(original), "whitespace before the zlib header"},
  };
  for (const Case& c : kCases) {
    Result<Bytes> out = flate_decode(as_bytes(c.input));
    ASSERT_TRUE(out.has_value()) << c.why;
    EXPECT_EQ(text(*out), original) << c.why;
  }
}

TEST(Flate, DamagedTailKeepsTheIntactPrefix) {
  const std::string original = sample_text(200'000);
  const std::string packed = deflate(original);
  for (size_t keep : {packed.size() - 10, packed.size() / 2, packed.size() / 10}) {
    Result<Bytes> out = flate_decode(as_bytes(std::string_view(packed).substr(0, keep)));
    ASSERT_TRUE(out.has_value()) << keep;
    EXPECT_GT(out->size(), 0u) << keep;
    EXPECT_LT(out->size(), original.size()) << keep;
    EXPECT_EQ(text(*out), original.substr(0, out->size())) << keep;
  }
  // Garbage after a complete stream is ignored.
  Result<Bytes> trailing = flate_decode(as_bytes(packed + "garbage"));
  ASSERT_TRUE(trailing.has_value());
  EXPECT_EQ(text(*trailing), original);
}

TEST(Flate, NothingDecodedIsAnError) {
  for (std::string_view input : {"this is not deflate data"sv, "\x78\x9c"sv, "\x78\x00\xff"sv}) {
    Result<Bytes> out = flate_decode(as_bytes(input));
    ASSERT_FALSE(out.has_value()) << input;
    EXPECT_EQ(out.error().message(), "malformed pdf: flate stream decoded to nothing");
  }
  Result<Bytes> empty = flate_decode({});
  ASSERT_TRUE(empty.has_value());
  EXPECT_TRUE(empty->empty());
}

TEST(Flate, OutputIsCapped) {
  const std::string packed = deflate(std::string(1'000'000, 'a'));
  Result<Bytes> out = flate_decode(as_bytes(packed), 100'000);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->size(), 100'000u);
}

TEST(Lzw, DecodesTheReferenceExample) {
  const std::string_view encoded = "\x80\x0B\x60\x50\x22\x0C\x0C\x85\x01"sv;
  EXPECT_EQ(text(lzw_decode(as_bytes(encoded))), "-----A---B");
}

TEST(Lzw, EarlyChangeDecidesWhenCodesWiden) {
  const std::string original = sample_text(6'000, 3);  // grows the table past 511 and 1023
  const std::string late = lzw_encode(original, false);
  const std::string early = lzw_encode(original, true);
  EXPECT_EQ(text(lzw_decode(as_bytes(late), false)), original);
  EXPECT_EQ(text(lzw_decode(as_bytes(early), true)), original);
  // Read with the other setting, the streams go wrong once the first wider code arrives.
  Bytes mixed = lzw_decode(as_bytes(late), true);
  EXPECT_NE(text(mixed), original);
  EXPECT_EQ(text(mixed).substr(0, 200), original.substr(0, 200));

  // Through the pipeline, /EarlyChange 0 in the parameters selects the late switch.
  Result<Decoded> piped = run("<< /Filter /LZW /DecodeParms << /EarlyChange 0 >> >>", late);
  ASSERT_TRUE(piped.has_value());
  EXPECT_EQ(text(piped->view()), original);
}

TEST(Lzw, DamagedInputKeepsWhatDecoded) {
  const std::string original = sample_text(3'000, 5);
  const std::string encoded = lzw_encode(original, true);
  Bytes truncated = lzw_decode(as_bytes(std::string_view(encoded).substr(0, encoded.size() / 2)));
  EXPECT_GT(truncated.size(), 0u);
  EXPECT_EQ(text(truncated), original.substr(0, truncated.size()));

  // 9-bit codes: clear, 'A', then 511 which is far beyond the table: decoding stops after 'A'.
  EXPECT_EQ(text(lzw_decode(as_bytes("\x80\x10\x7F\xE0"sv))), "A");
  EXPECT_EQ(lzw_decode(as_bytes(encoded), true, 100).size(), 100u);
}

TEST(SimpleFilters, Decode) {
  struct Case {
    std::string_view dict;
    std::string_view input;
    std::string_view want;
    const char* why;
  };
  const Case kCases[] = {
      {"<< /Filter /AHx >>", "41 42 4>", "AB@", "odd final digit padded with 0"},
      {"<< /Filter /ASCIIHexDecode >>", "6a6B>ff", "jk", "either case; > ends"},
      {"<< /Filter /AHx >>", "zz4\n1", "A", "other bytes ignored"},
      {"<< /Filter /A85 >>", "<~z~>", "\0\0\0\0"sv, "z is four zero bytes"},
      {"<< /Filter /A85 >>", "<~!~>", "", "a lone final digit yields nothing"},
      {"<< /Filter /ASCII85Decode >>", "9jqo^BlbD-BleB1DJ+*+F(f,q~>", "Man is distinguished",
       "full groups"},
      {"<< /Filter /A85 >>", "87cUR D]i,\"E\nbo7~>", "Hello World", "partial group, whitespace"},
      {"<< /Filter /A85 >>", "9jqzo^~>", "Man ", "z inside a group is ignored"},
      {"<< /Filter /A85 >>", "uuuuu~>", "\x08\x78\x0E\xC4", "32-bit wrap-around"},
      {"<< /Filter /A85 >>", "  <~9jqo^~>", "Man ", "start marker after whitespace"},
      {"<< /Filter /RL >>",
       "\x02"
       "abc\xFDz\x80junk",
       "abczzzz", "copy, repeat, end"},
      {"<< /Filter /RunLengthDecode >>",
       "\x05"
       "ab",
       "ab", "copy cut short by the data"},
      {"<< /Filter /RL >>",
       "\x00"
       "a\xFE"sv,
       "a", "repeat without its byte"},
      {"<< /Filter /Crypt >>", "as is", "as is", "Crypt passes the bytes through"},
      {"<< /F /AHx >>", "41>", "A", "/F names the filter when /Filter is absent"},
      {"<< /F (file.dat) >>", "41>", "41>", "an external file named by /F is not a filter"},
      {"<< /Filter [/AHx 5 /AHx] >>", "3431>", "A", "non-names in the array are skipped"},
      {"<< >>", "raw", "raw", "no filter"},
  };
  for (const Case& c : kCases) {
    Result<Decoded> out = run(c.dict, c.input);
    ASSERT_TRUE(out.has_value()) << c.why << ": " << out.error().message();
    EXPECT_EQ(text(out->view()), c.want) << c.why;
    EXPECT_FALSE(out->image_filter.has_value()) << c.why;
  }
}

TEST(SimpleFilters, OutputIsCapped) {
  struct Case {
    Bytes (*decoder)(std::span<const uint8_t>, size_t);
    std::string_view input;
    size_t limit;
    std::string want;
    const char* why;
  };
  const Case kCases[] = {
      {ascii85_decode, "<~zzz~>", 6, std::string(6, '\0'), "z expands four times"},
      {ascii85_decode, "<~9jqo^BlbD-BleB1DJ+*+F(f,q~>", 5, "Man i", "inside a group"},
      {ascii85_decode, "<~9jqo^Bl~>", 5, "Man i", "inside the final partial group"},
      {ascii_hex_decode, "414243>", 2, "AB", "full pairs"},
      {ascii_hex_decode, "41424>", 2, "AB", "no room for the odd final digit"},
      {run_length_decode, "\x81x", 100, std::string(100, 'x'), "repeat"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(text(c.decoder(as_bytes(c.input), c.limit)), c.want) << c.why;
  }
}

TEST(Pipeline, FiltersShareOneOutputCap) {
  // The hex stage yields 81 78 81 78, which run-length decodes to 256 x's; the four bytes the
  // first filter produced count against the cap too.
  Result<Decoded> out =
      decode(parse_dict("<< /Filter [/AHx /RL] >>"), shared("81788178>"), DirectResolver(), 100);
  ASSERT_TRUE(out.has_value()) << out.error().message();
  EXPECT_EQ(text(out->view()), std::string(96, 'x'));

  // A chain that inflates at every step: the second stage gets what the first one left.
  const std::string twice = deflate(deflate(std::string(5'000, 'y')));
  out = decode(parse_dict("<< /Filter [/Fl /Fl] >>"), shared(twice), DirectResolver(), 1'000);
  ASSERT_TRUE(out.has_value()) << out.error().message();
  EXPECT_EQ(out->view().size(), 1'000u - deflate(std::string(5'000, 'y')).size());
}

TEST(Pipeline, StopsAtTheFirstImageFilter) {
  const std::string jpeg = "\xFF\xD8 pretend jpeg";
  Result<Decoded> out = run("<< /Filter [/FlateDecode /DCTDecode /Bogus] >>", deflate(jpeg));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(text(out->view()), jpeg);
  EXPECT_EQ(out->image_filter, "DCTDecode");

  // An image filter first hands on the raw buffer itself, abbreviated name and all.
  SharedBytes raw = shared("ccitt bits");
  Result<Decoded> first = decode(parse_dict("<< /Filter /CCF >>"), raw, DirectResolver());
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->bytes, raw);
  EXPECT_EQ(first->image_filter, "CCF");
}

TEST(Pipeline, UnknownFilterFails) {
  Result<Decoded> out = run("<< /Filter [/AHx /Foo] >>", "41>");
  ASSERT_FALSE(out.has_value());
  EXPECT_EQ(out.error().message(), "malformed pdf: unknown filter Foo");
}

TEST(Pipeline, ParametersPairWithFiltersByPosition) {
  // Columns 2 of 8-bit gray: rows of 1 + 2 bytes, type 1 (Sub).
  const std::string rows = "\x01\x05\x01\x01\x07\x02"s;
  Result<Decoded> out = run(
      "<< /Filter [/AHx /FlateDecode] /DecodeParms [null << /Predictor 12 /Columns 2 >>] >>", [&] {
        std::string hex;
        for (char ch : deflate(rows)) hex += fmt::format("{:02x}", static_cast<uint8_t>(ch));
        return hex;
      }());
  ASSERT_TRUE(out.has_value()) << out.error().message();
  EXPECT_EQ(text(out->view()), "\x05\x06\x07\x09"s);
}

TEST(Predictor, PngRowTypes) {
  const std::vector<std::string> rows = {"\x10\x20\x30\x11\x22\x33"s, "\x90\x80\x70\x01\x02\x03"s,
                                         "\xFF\x00\x7F\x80\x81\x82"s};
  const std::string want = rows[0] + rows[1] + rows[2];
  Dict params = parse_dict("<< /Predictor 15 /Colors 3 /BitsPerComponent 8 /Columns 2 >>");
  for (int type = 0; type <= 4; ++type) {
    std::string encoded = png_encode(rows, {type, type, type}, 3);
    Result<Bytes> out =
        apply_predictor(params, DirectResolver(), Bytes(encoded.begin(), encoded.end()));
    ASSERT_TRUE(out.has_value()) << type;
    EXPECT_EQ(text(*out), want) << "row type " << type;
  }
  std::string mixed = png_encode(rows, {4, 2, 3}, 3) + "\x01\x02";  // plus a partial row
  Result<Bytes> out = apply_predictor(params, DirectResolver(), Bytes(mixed.begin(), mixed.end()));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(text(*out), want) << "mixed types, partial row dropped";
}

TEST(Predictor, PngSubBytePixels) {
  // 1 bit per pixel, 10 columns: rows of 2 bytes, one byte per pixel for the neighbours.
  Dict params = parse_dict("<< /Predictor 10 /BitsPerComponent 1 /Columns 10 >>");
  std::string encoded = png_encode({"\xF0\x40"s, "\x0F\xC0"s}, {1, 2}, 1);
  Result<Bytes> out =
      apply_predictor(params, DirectResolver(), Bytes(encoded.begin(), encoded.end()));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(text(*out), "\xF0\x40\x0F\xC0"s);
}

TEST(Predictor, PngBadRowTypeFails) {
  Dict params = parse_dict("<< /Predictor 10 /Columns 2 >>");
  std::string data = "\x00\x01\x02\x05\x01\x02"s;
  Result<Bytes> out = apply_predictor(params, DirectResolver(), Bytes(data.begin(), data.end()));
  ASSERT_FALSE(out.has_value());
  EXPECT_EQ(out.error().message(), "malformed pdf: png predictor row type 5");
}

TEST(Predictor, HostileGeometryYieldsNothing) {
  // Sizes whose products overflow must neither crash nor allocate.
  for (std::string_view p : {"<< /Predictor 12 /Columns 9223372036854775807 /Colors 4 >>"sv,
                             "<< /Predictor 12 /BitsPerComponent 4611686018427387904 >>"sv,
                             "<< /Predictor 12 /Columns 1000 >>"sv}) {
    Result<Bytes> out = apply_predictor(parse_dict(p), DirectResolver(), Bytes(64, 0));
    ASSERT_TRUE(out.has_value()) << p;
    EXPECT_TRUE(out->empty()) << p;
  }
  Result<Bytes> tiff =
      apply_predictor(parse_dict("<< /Predictor 2 /Colors 9223372036854775807 /Columns 3 >>"),
                      DirectResolver(), Bytes{1, 2, 3});
  ASSERT_TRUE(tiff.has_value());
  EXPECT_EQ(*tiff, (Bytes{1, 2, 3}));
}

TEST(Predictor, Tiff) {
  struct Case {
    std::string_view params;
    Bytes input;
    Bytes want;
    const char* why;
  };
  const Case kCases[] = {
      {"<< /Predictor 2 /Colors 2 /Columns 3 >>",
       {1, 2, 1, 1, 1, 1, 5, 5, 0, 0},
       {1, 2, 2, 3, 3, 4, 5, 5, 5, 5},
       "two colours, short last row"},
      {"<< /Predictor 2 /Columns 2 >>", {200, 100, 7, 8}, {200, 44, 7, 15}, "wraps modulo 256"},
      {"<< /Predictor 2 /BitsPerComponent 4 /Columns 2 >>", {1, 2}, {1, 2}, "only 8 bits"},
      {"<< /Predictor 1 /Columns 2 >>", {1, 2}, {1, 2}, "predictor 1"},
  };
  for (const Case& c : kCases) {
    Result<Bytes> out = apply_predictor(parse_dict(c.params), DirectResolver(), c.input);
    ASSERT_TRUE(out.has_value()) << c.why;
    EXPECT_EQ(*out, c.want) << c.why;
  }
}

}  // namespace
}  // namespace kestrum
