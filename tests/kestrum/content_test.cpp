#include "kestrum/content.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

// Operations as "operands op", separated by " | "; inline data follows as "data=" and the data
// as a debug string.
std::string tokenize(std::string_view content) {
  ContentParser parser(as_bytes(content));
  std::string out;
  Operation op;
  while (parser.next(op)) {
    if (!out.empty()) out += " | ";
    for (const Object& operand : op.operands) out += debug_string(operand) + " ";
    out += op.op;
    if (op.inline_data) out += " data=" + debug_string(Object::string(*op.inline_data));
  }
  return out;
}

struct Case {
  std::string_view content;
  std::string_view want;
  const char* why;
};

TEST(ContentParser, SplitsOperatorsAndOperands) {
  const Case kCases[] = {
      {"q 1 0 0 1 0 0 cm Q", "q | 1 0 0 1 0 0 cm | Q", "operators with and without operands"},
      {"BT /F1 9.5 Tf ET", "BT | /F1 9.5 Tf | ET", "a name and a real"},
      {"[(A) -120 (B)] TJ (x) ' 1 2 (y) \" T*", "[(A) -120 (B)] TJ | (x) ' | 1 2 (y) \" | T*",
       "arrays, strings and the quote operators"},
      {"/Span << /MCID 3 >> BDC EMC", "/Span << /MCID 3 >> BDC | EMC", "a dictionary operand"},
      {"<48 69> Tj true false null op", "(Hi) Tj | true false null op", "hex strings, keywords"},
      {"q %1 2 cm\r\nQ", "q | Q", "comments are skipped"},
      {"1 2 m", "1 2 m", "content ending right after an operator"},
      {"q 1 2", "q", "operands followed by the end produce no operation"},
      {"1 2", "", "operands alone produce nothing"},
      {"", "", "empty content"},
      {"q ] Q", "q | Q", "a stray ] between operators"},
      {"10 ] 20 ) 30 > 40 } l", "10 20 30 40 l", "stray closers between operands are skipped"},
      {"q >> { Q", "q | Q", "stray >> and an opening brace"},
      {"1 0 R Do", "1 0 R Do", "an integer pair and R read as a reference"},
      {"q\xff\xfe Q", "q\xEF\xBF\xBD\xEF\xBF\xBD | Q", "invalid UTF-8 in an operator"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(tokenize(c.content), c.want) << c.why;
  }
}

TEST(ContentParser, OperandsKeepTheirKinds) {
  ContentParser parser(as_bytes("1 0 0 1 0 0 cm 0.5 g"));
  std::optional<Operation> cm = parser.next();
  ASSERT_TRUE(cm);
  EXPECT_EQ(cm->op, "cm");
  ASSERT_EQ(cm->operands.size(), 6u);
  for (const Object& o : cm->operands) EXPECT_TRUE(o.is_integer());
  EXPECT_FALSE(cm->inline_data);
  std::optional<Operation> g = parser.next();
  ASSERT_TRUE(g);
  ASSERT_EQ(g->operands.size(), 1u);
  EXPECT_TRUE(g->operands[0].is_real());
  EXPECT_FALSE(parser.next());
  EXPECT_FALSE(parser.next());  // stays at the end
}

TEST(ContentParser, ReusedOperationStartsEmpty) {
  ContentParser parser(as_bytes("1 2 3 4 re BI /W 1 ID x EI Q"));
  Operation op;
  ASSERT_TRUE(parser.next(op));
  EXPECT_EQ(op.operands.size(), 4u);
  ASSERT_TRUE(parser.next(op));
  EXPECT_EQ(op.op, "BI");
  ASSERT_TRUE(parser.next(op));
  EXPECT_EQ(op.op, "Q");
  EXPECT_TRUE(op.operands.empty());
  EXPECT_FALSE(op.inline_data);
}

TEST(ContentParser, OperandListIsBounded) {
  std::string content = "7 ";
  for (size_t i = 0; i < kMaxOperands + 10; ++i) content += "1 ";
  content += "op 2 Q";
  ContentParser parser(as_bytes(content));
  Operation op;
  ASSERT_TRUE(parser.next(op));
  EXPECT_EQ(op.op, "op");
  ASSERT_EQ(op.operands.size(), kMaxOperands);
  EXPECT_EQ(op.operands.front(), Object::integer(7));  // the first ones are kept
  ASSERT_TRUE(parser.next(op));
  EXPECT_EQ(op.op, "Q");
  EXPECT_EQ(op.operands.size(), 1u);
}

TEST(ContentParser, InlineImages) {
  using namespace std::string_view_literals;
  const Case kCases[] = {
      {"BI /W 2 /H 1 /BPC 8 /CS /G /F /AHx /IM false /DP << /K 0 >> /D [0 1] /I true ID 0a0b> EI",
       "<< /BitsPerComponent 8 /ColorSpace /G /Decode [0 1] /DecodeParms << /K 0 >> /Filter /AHx "
       "/Height 1 /ImageMask false /Interpolate true /Width 2 >> BI data=(0a0b>)",
       "abbreviated keys are expanded, values are not"},
      {"1 2 BI /Width 1 /X 7 ID x EI Q", "<< /Width 1 /X 7 >> BI data=(x) | Q",
       "operands before BI are dropped; full and unknown keys stay"},
      {"BI ID a\x01"
       "EI\x02 EI Q"sv,
       "<< >> BI data=<6101454902> | Q", "EI between binary bytes is data"},
      {"BI ID abEI cd EI Q", "<< >> BI data=(abEI cd) | Q",
       "EI after a non-whitespace byte is data, even when a space follows"},
      {"BI ID a EIb EI Q", "<< >> BI data=(a EIb) | Q", "EI followed by a regular byte is data"},
      {"BI ID ab\nEI/Im1 Do", "<< >> BI data=(ab) | /Im1 Do", "EI followed by a delimiter ends it"},
      {"BI ID EI Q", "<< >> BI data=() | Q", "EI right at the data start"},
      {"BI ID  EI Q", "<< >> BI data=() | Q", "the data never ends before its start"},
      {"BI /L 4 ID \x01 EI EI Q"sv, "<< /L 4 >> BI data=<01204549> | Q",
       "/L takes exactly its bytes although they contain \" EI\""},
      {"BI /Length 4 ID \x01 EI %c\n EI Q"sv, "<< /Length 4 >> BI data=<01204549> | Q",
       "/Length as well, with a comment before EI"},
      {"BI /L 2.9 ID ab EI Q", "<< /L 2.9 >> BI data=(ab) | Q", "a real length is truncated"},
      {"BI /L 3 ID a EI bEI Q", "<< /L 3 >> BI data=(a) | bEI | Q",
       "a length not followed by EI falls back to the search"},
      {"BI /L -5 ID EI Q", "<< /L -5 >> BI data=() | Q", "a negative length counts as zero"},
      {"BI /L 99 ID ab EI Q", "<< /L 99 >> BI data=(ab) | Q",
       "a length past the end falls back to the search"},
      {"BI /W 1 ID abc EIx", "<< /Width 1 >> BI data=(abc EIx)",
       "no end marker: the data takes the rest"},
      {"BI /W 1 /H", "<< /Height null /Width 1 >> BI data=()",
       "the content ends before ID: no data"},
      {"BI /W ] /H 2 ID\rz EI", "<< /Height 2 /Width null >> BI data=(z)",
       "an unreadable value is Null, CR is the one whitespace after ID"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(tokenize(c.content), c.want) << c.why;
  }
}

}  // namespace
}  // namespace kestrum
