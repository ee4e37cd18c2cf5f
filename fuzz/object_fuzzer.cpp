// The object reader on arbitrary bytes: objects are read one after another the way the file
// and content layers walk their data, skipping what is not an object and reading stream data
// after `stream`. Checks that the cursor always advances and that every Real is finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "kestrum/lexer.h"
#include "kestrum/object.h"

namespace {

using kestrum::Object;

// The object model promises finite Reals and the lexer's depth limit.
void check(const Object& object, int depth) {
  if (depth > kestrum::kMaxDepth) __builtin_trap();
  switch (object.kind()) {
    case Object::Kind::Real:
      if (!std::isfinite(*object.as_number())) __builtin_trap();
      break;
    case Object::Kind::Array:
      for (const Object& element : *object.as_array()) check(element, depth + 1);
      break;
    case Object::Kind::Dict:
      for (const auto& [key, value] : *object.as_dict()) check(value, depth + 1);
      break;
    default:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  kestrum::Cursor c(bytes);
  std::optional<int64_t> last_integer;  // the /Length a stream after it would be given
  while (true) {
    c.skip_ws();
    if (c.at_end()) break;
    const size_t before = c.pos();
    if (std::optional<Object> object = c.read_object_at(0)) {
      check(*object, 0);
      if (auto i = object->as_integer()) last_integer = *i;
      Object copy = *object;
      if (!(copy == *object)) __builtin_trap();
      (void)kestrum::debug_string(copy);
    } else if (c.eat_keyword("stream")) {
      std::optional<size_t> length;
      if (last_integer && *last_integer >= 0) length = static_cast<size_t>(*last_integer);
      kestrum::Stream stream = c.read_stream_data(kestrum::Dict(), length);
      if (stream.data->size() > size) __builtin_trap();
    } else if (c.read_regular().empty()) {
      c.advance();  // a stray closing delimiter
    }
    if (c.pos() <= before) __builtin_trap();
  }

  // The number and text helpers take any bytes, not only tokens.
  (void)kestrum::parse_number(bytes);
  std::string text = kestrum::utf8_lossy(bytes);
  if (!kestrum::is_valid_utf8(kestrum::as_bytes(text))) __builtin_trap();
  if (kestrum::is_valid_utf8(bytes) && text.size() != size) __builtin_trap();
  return 0;
}
