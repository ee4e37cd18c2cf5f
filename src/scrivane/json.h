// A streaming JSON writer with the compact and the two-space pretty layouts.
// It writes values in call order; the caller keeps keys and values paired.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace scrivane {

enum class JsonLayout : uint8_t { Compact, Pretty };

class JsonWriter {
 public:
  explicit JsonWriter(JsonLayout layout = JsonLayout::Compact) : layout_(layout) {}

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  // The key of the next member of the innermost object.
  void key(std::string_view name);

  void string(std::string_view text);
  void number(float value);
  void integer(int64_t value);
  void unsigned_integer(uint64_t value);
  void boolean(bool value);
  void null();

  // Shorthands for one member.
  void member(std::string_view name, std::string_view text) { key(name), string(text); }
  void member(std::string_view name, const char* text) { key(name), string(text); }
  void member(std::string_view name, float value) { key(name), number(value); }
  void member(std::string_view name, bool value) { key(name), boolean(value); }
  void member_unsigned(std::string_view name, uint64_t value) {
    key(name), unsigned_integer(value);
  }
  void member_integer(std::string_view name, int64_t value) { key(name), integer(value); }

  const std::string& text() const { return out_; }
  std::string take() { return std::move(out_); }

 private:
  struct Level {
    bool empty = true;
  };
  void open(char bracket);
  void close(char bracket);
  void before_value();
  void newline_indent(size_t depth);

  JsonLayout layout_;
  std::string out_;
  std::vector<Level> levels_;
  bool after_key_ = false;
};

// Appends `value` in the JSON number form: the shortest digits that read back as the same
// float, plain notation for decimal exponents -6..12 (whole values with ".0"), exponent form
// otherwise, and null for NaN and infinities.
void append_f32(std::string& out, float value);

// Appends `text` as a quoted JSON string with the standard escapes.
void append_json_string(std::string& out, std::string_view text);

}  // namespace scrivane
