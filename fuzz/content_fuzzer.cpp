// The content-stream tokenizer on arbitrary bytes: every operation, once with one Operation
// reused across calls and once with a new one each time; both ways must agree. Checks the
// operand bound and that only BI carries inline data.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "kestrum/content.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  kestrum::ContentParser reused(bytes);
  kestrum::ContentParser fresh(bytes);
  kestrum::Operation op;
  size_t inline_bytes = 0;
  while (reused.next(op)) {
    std::optional<kestrum::Operation> other = fresh.next();
    if (!other || other->op != op.op || !(other->operands == op.operands) ||
        other->inline_data != op.inline_data) {
      __builtin_trap();
    }
    if (op.op.empty() || op.operands.size() > kestrum::kMaxOperands) __builtin_trap();
    if (op.inline_data.has_value() != (op.op == "BI")) __builtin_trap();
    if (op.inline_data) {
      inline_bytes += op.inline_data->size();
      if (inline_bytes > size) __builtin_trap();  // image data is never read twice
    }
  }
  if (fresh.next()) __builtin_trap();
  return 0;
}
