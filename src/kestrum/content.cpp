#include "kestrum/content.h"

#include <string_view>
#include <utility>

#include "kestrum/checked.h"

namespace kestrum {

namespace {

// Inline-image keys may be abbreviated; they are stored under the names image XObjects use.
std::string expand_image_key(std::string key) {
  struct Abbreviation {
    std::string_view written, stored;
  };
  static constexpr Abbreviation kKeys[] = {
      {"W", "Width"},        {"H", "Height"},      {"D", "Decode"},
      {"F", "Filter"},       {"I", "Interpolate"}, {"CS", "ColorSpace"},
      {"DP", "DecodeParms"}, {"IM", "ImageMask"},  {"BPC", "BitsPerComponent"},
  };
  for (const Abbreviation& a : kKeys) {
    if (key == a.written) return std::string(a.stored);
  }
  return key;
}

void assign_operator(std::string& out, std::span<const uint8_t> token) {
  for (uint8_t c : token) {
    if (c >= 0x80) {
      out = utf8_lossy(token);
      return;
    }
  }
  out.assign(reinterpret_cast<const char*>(token.data()), token.size());
}

// A regular byte that cannot start a number: the token is a keyword (an operator, or true, false
// or null), which the lexer would read as no object after failing to parse it as a number.
bool starts_keyword(uint8_t c) {
  return is_regular(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.';
}

std::optional<Object> keyword_operand(std::span<const uint8_t> token) {
  std::string_view word(reinterpret_cast<const char*>(token.data()), token.size());
  if (word == "true") return Object::boolean(true);
  if (word == "false") return Object::boolean(false);
  if (word == "null") return Object();
  return std::nullopt;
}

// The end of inline-image data found by its EI marker: the first "EI" preceded by whitespace (or
// at the data start) and followed by whitespace, a delimiter or the end. Returns the end of the
// data and the position of the marker; both are the content size when there is none.
std::pair<size_t, size_t> find_end_marker(std::span<const uint8_t> data, size_t start) {
  for (size_t at = find_bytes(data, "EI", start); at != std::string_view::npos;
       at = find_bytes(data, "EI", at + 2)) {
    bool before = at == start || is_whitespace(data[at - 1]);
    bool after = at + 2 == data.size() || !is_regular(data[at + 2]);
    if (before && after) return {at == start ? at : at - 1, at};
  }
  return {data.size(), data.size()};
}

}  // namespace

std::optional<Operation> ContentParser::next() {
  Operation op;
  if (!next(op)) return std::nullopt;
  return op;
}

bool ContentParser::next(Operation& out) {
  out.operands.clear();
  out.inline_data.reset();
  while (true) {
    cursor_.skip_ws();
    if (cursor_.at_end()) {
      out.operands.clear();  // operands without an operator do nothing
      return false;
    }
    const size_t start = cursor_.pos();
    std::span<const uint8_t> token;
    if (starts_keyword(static_cast<uint8_t>(cursor_.peek()))) {
      // Most tokens here are operators: only true, false and null among them are operands, so
      // the number parser is not tried on them.
      token = cursor_.read_regular();
      if (std::optional<Object> keyword = keyword_operand(token)) {
        if (out.operands.size() < kMaxOperands) out.operands.push_back(std::move(*keyword));
        continue;
      }
    } else {
      if (std::optional<Object> operand = cursor_.read_object_at(0)) {
        if (out.operands.size() < kMaxOperands) out.operands.push_back(std::move(*operand));
        continue;
      }
      cursor_.set_pos(start);
      token = cursor_.read_regular();
      if (token.empty()) {
        cursor_.advance();  // a stray ) > ] } or a brace
        continue;
      }
    }
    assign_operator(out.op, token);
    if (out.op == "BI") read_inline_image(out);
    return true;
  }
}

void ContentParser::read_inline_image(Operation& out) {
  out.operands.clear();
  Dict params;
  bool has_data = false;
  while (true) {
    cursor_.skip_ws();
    if (cursor_.at_end()) break;
    if (cursor_.peek() == '/') {
      cursor_.advance();
      std::string key = expand_image_key(cursor_.read_name());
      std::optional<Object> value = cursor_.read_object_at(0);
      params.insert(std::move(key), value ? std::move(*value) : Object());
    } else if (cursor_.eat_keyword("ID")) {
      has_data = true;
      break;
    } else {
      cursor_.advance();
    }
  }

  Bytes data;
  if (has_data) {
    const std::span<const uint8_t> content = cursor_.data();
    if (!cursor_.at_end() && is_whitespace(static_cast<uint8_t>(cursor_.peek()))) {
      cursor_.advance();
    }
    const size_t start = cursor_.pos();
    std::optional<size_t> end;
    // A stated length is trusted when the end marker follows it; binary data may well contain
    // " EI " by chance.
    const Object* length = params.get("Length");
    if (length == nullptr) length = params.get("L");
    if (std::optional<int64_t> n = length ? length->as_int() : std::nullopt) {
      size_t count = *n < 1 ? 0 : static_cast<size_t>(*n);
      size_t stop = std::min(saturating_add(start, count), content.size());
      Cursor probe(content, stop);
      probe.skip_ws();
      if (probe.eat_keyword("EI")) {
        end = stop;
        cursor_.set_pos(stop);
      }
    }
    if (!end) {
      auto [data_end, marker] = find_end_marker(content, start);
      end = data_end;
      cursor_.set_pos(marker);
    }
    data.assign(content.begin() + start, content.begin() + *end);
    cursor_.skip_ws();
    cursor_.eat_keyword("EI");
  }
  out.operands.emplace_back(std::move(params));
  out.inline_data = std::move(data);
}

}  // namespace kestrum
