// The content-stream tokenizer: splits page, form, glyph-procedure or CMap content into
// operations, an operator with the operands written before it. Inline images (BI ... ID ... EI)
// are taken apart here, so their binary data never reaches the operand reader.
//
//   ContentParser parser(content);
//   Operation op;
//   while (parser.next(op)) {
//     if (op.op == "Tf") ...  // op.operands holds what preceded "Tf", in order
//   }
//
// The parser borrows the bytes, which must outlive it. It never fails: bytes that are neither an
// operand nor an operator are skipped one at a time, operands left at the end are dropped, and an
// inline image without its end marker takes the rest of the content.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kestrum/lexer.h"
#include "kestrum/object.h"

namespace kestrum {

// Operands beyond this many before one operator are read and dropped: bounds the memory that
// content made of numbers alone (a few kilobytes compressed) could claim. No operator takes more
// than a few dozen; CMap blocks, read through this tokenizer, take a few thousand.
inline constexpr size_t kMaxOperands = size_t{1} << 16;

struct Operation {
  std::string op;  // the keyword as written ("Tf", "TJ", "'", "BI"), UTF-8
  // In content order, at most kMaxOperands (the first ones); for BI the one image parameter Dict.
  std::vector<Object> operands;
  // The image bytes, exactly as stored, for BI only. The parameter keys are expanded (/W is
  // stored as Width, /BPC as BitsPerComponent, ...); values, such as /F /AHx, are left as written.
  std::optional<Bytes> inline_data;
};

class ContentParser {
 public:
  explicit ContentParser(std::span<const uint8_t> content) : cursor_(content) {}

  // Fills `out` with the next operation and returns true; false at the end of the content.
  // Reusing one Operation across calls reuses its buffers: operands are read straight into it.
  bool next(Operation& out);
  // The same as a value, for callers that keep the operations.
  std::optional<Operation> next();

 private:
  void read_inline_image(Operation& out);

  Cursor cursor_;
};

}  // namespace kestrum
