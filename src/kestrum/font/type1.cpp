#include "kestrum/font/type1.h"

#include <string_view>

#include "kestrum/lexer.h"

namespace kestrum {

namespace {

// A binary (PFB) segment header: 0x80, the segment type and a four-byte length.
constexpr size_t kSegmentHeader = 6;
constexpr std::string_view kStandardEncoding = "StandardEncoding";

bool is_name_end(uint8_t c) {
  return is_whitespace(c) || c == '%' || c == '(' || c == ')' || c == '/' || c == '<' || c == '>' ||
         c == '[' || c == ']' || c == '{' || c == '}';
}

size_t skip_whitespace(std::span<const uint8_t> text, size_t pos) {
  while (pos < text.size() && is_whitespace(text[pos])) ++pos;
  return pos;
}

// One `dup <code> /<name> put` entry starting just after "dup"; false when the text there is
// anything else. The code saturates, so a long run of digits cannot wrap into 0..255.
bool read_entry(std::span<const uint8_t> text, size_t pos, int64_t& code, std::string_view& name) {
  size_t start = pos;
  pos = skip_whitespace(text, pos);
  if (pos == start || pos >= text.size()) return false;
  bool negative = false;
  if (text[pos] == '+' || text[pos] == '-') negative = text[pos++] == '-';
  size_t digits = pos;
  int64_t value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (value < 1000000) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == digits) return false;
  code = negative ? -value : value;
  start = pos;
  pos = skip_whitespace(text, pos);
  if (pos == start || pos >= text.size() || text[pos] != '/') return false;
  size_t name_start = ++pos;
  while (pos < text.size() && !is_name_end(text[pos])) ++pos;
  name =
      std::string_view(reinterpret_cast<const char*>(text.data()) + name_start, pos - name_start);
  pos = skip_whitespace(text, pos);
  if (text.size() - pos < 3 || text[pos] != 'p' || text[pos + 1] != 'u' || text[pos + 2] != 't') {
    return false;
  }
  return pos + 3 == text.size() || !is_regular(text[pos + 3]);
}

}  // namespace

Type1Encoding read_type1_encoding(std::span<const uint8_t> program) {
  Type1Encoding result;
  if (program.size() >= kSegmentHeader && program[0] >= 0x80)
    program = program.subspan(kSegmentHeader);
  size_t eexec = find_bytes(program, "eexec");
  std::span<const uint8_t> clear =
      program.first(eexec == std::string_view::npos ? program.size() : eexec);

  size_t at = find_bytes(clear, "/Encoding");
  if (at == std::string_view::npos) return result;
  size_t pos = skip_whitespace(clear, at + 9);
  if (clear.size() - pos >= kStandardEncoding.size() &&
      find_bytes(clear.subspan(pos, kStandardEncoding.size()), kStandardEncoding) == 0) {
    result.standard = true;
    return result;
  }

  size_t end = find_bytes(clear, "readonly def", pos);
  if (end == std::string_view::npos) end = find_bytes(clear, " def", pos);
  std::span<const uint8_t> entries =
      clear.subspan(pos, (end == std::string_view::npos ? clear.size() : end) - pos);

  for (size_t dup = find_bytes(entries, "dup"); dup != std::string_view::npos;
       dup = find_bytes(entries, "dup", dup + 3)) {
    int64_t code = 0;
    std::string_view name;
    if (!read_entry(entries, dup + 3, code, name)) continue;
    if (code < 0 || code > 255 || name.empty() || name == ".notdef") continue;
    if (result.names.empty()) result.names.resize(256);
    result.names[static_cast<size_t>(code)] = std::string(name);
  }
  return result;
}

}  // namespace kestrum
