#include "scrivane/json.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace scrivane {

void JsonWriter::open(char bracket) {
  before_value();
  out_.push_back(bracket);
  levels_.push_back({});
}

void JsonWriter::close(char bracket) {
  bool empty = levels_.empty() || levels_.back().empty;
  if (!levels_.empty()) levels_.pop_back();
  if (layout_ == JsonLayout::Pretty && !empty) newline_indent(levels_.size());
  out_.push_back(bracket);
}

void JsonWriter::newline_indent(size_t depth) {
  out_.push_back('\n');
  out_.append(depth * 2, ' ');
}

void JsonWriter::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  Level& level = levels_.back();
  if (!level.empty) out_.push_back(',');
  level.empty = false;
  if (layout_ == JsonLayout::Pretty) newline_indent(levels_.size());
}

void JsonWriter::key(std::string_view name) {
  before_value();
  append_json_string(out_, name);
  out_.push_back(':');
  if (layout_ == JsonLayout::Pretty) out_.push_back(' ');
  after_key_ = true;
}

void JsonWriter::string(std::string_view text) {
  before_value();
  append_json_string(out_, text);
}

void JsonWriter::number(float value) {
  before_value();
  append_f32(out_, value);
}

void JsonWriter::integer(int64_t value) {
  before_value();
  char buf[24];
  auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
  out_.append(buf, end);
}

void JsonWriter::unsigned_integer(uint64_t value) {
  before_value();
  char buf[24];
  auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
  out_.append(buf, end);
}

void JsonWriter::boolean(bool value) {
  before_value();
  out_.append(value ? "true" : "false");
}

void JsonWriter::null() {
  before_value();
  out_.append("null");
}

void append_f32(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out.append("null");
    return;
  }
  if (value == 0.0f) {
    out.append(std::signbit(value) ? "-0.0" : "0.0");
    return;
  }
  // Shortest round-trip digits in scientific form, e.g. "1.5e-07" or "-3e+02".
  char sci[32];
  auto end = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific).ptr;
  std::string_view s(sci, end - sci);
  bool negative = s.front() == '-';
  if (negative) s.remove_prefix(1);
  size_t e_at = s.find('e');
  std::string digits;
  for (char c : s.substr(0, e_at))
    if (c != '.') digits.push_back(c);
  int exponent = std::atoi(std::string(s.substr(e_at + 1)).c_str());

  if (negative) out.push_back('-');
  if (exponent >= -6 && exponent <= 12) {
    int point = exponent + 1;  // digits before the decimal point
    if (point <= 0) {
      out.append("0.");
      out.append(static_cast<size_t>(-point), '0');
      out.append(digits);
    } else if (static_cast<size_t>(point) >= digits.size()) {
      out.append(digits);
      out.append(static_cast<size_t>(point) - digits.size(), '0');
      out.append(".0");
    } else {
      out.append(digits, 0, point);
      out.push_back('.');
      out.append(digits, point);
    }
    return;
  }
  out.push_back(digits[0]);
  if (digits.size() > 1) {
    out.push_back('.');
    out.append(digits, 1);
  }
  out.push_back('e');
  out.push_back(exponent < 0 ? '-' : '+');
  char buf[8];
  auto exp_end = std::to_chars(buf, buf + sizeof buf, std::abs(exponent)).ptr;
  out.append(buf, exp_end);
}

void append_json_string(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\t':
        out.append("\\t");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\r':
        out.append("\\r");
        break;
      default:
        if (c < 0x20) {
          out.append("\\u00");
          out.push_back(kHex[c >> 4]);
          out.push_back(kHex[c & 15]);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
}

}  // namespace scrivane
