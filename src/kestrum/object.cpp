#include "kestrum/object.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>

#include <fmt/format.h>

namespace kestrum {

const SharedBytes& empty_bytes() {
  static const SharedBytes empty = std::make_shared<const Bytes>();
  return empty;
}

bool Dict::erase(std::string_view key) {
  auto it = map_.find(key);
  if (it == map_.end()) return false;
  map_.erase(it);
  return true;
}

bool Dict::operator==(const Dict& other) const {
  if (map_.size() != other.map_.size()) return false;
  for (const auto& [key, value] : map_) {
    const Object* theirs = other.get(key);
    if (theirs == nullptr || !(*theirs == value)) return false;
  }
  return true;
}

bool Stream::operator==(const Stream& other) const {
  if (!(dict == other.dict)) return false;
  return data == other.data || *data == *other.data;
}

int64_t saturating_trunc(double v) {
  if (std::isnan(v)) return 0;
  // 2^63 is exactly representable; everything at or above it saturates.
  constexpr double kTwo63 = 9223372036854775808.0;
  if (v >= kTwo63) return std::numeric_limits<int64_t>::max();
  if (v <= -kTwo63) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

std::optional<int64_t> Object::as_int() const {
  if (auto* i = std::get_if<2>(&v_)) return *i;
  if (auto* r = std::get_if<3>(&v_)) return saturating_trunc(*r);
  return std::nullopt;
}

std::string_view kind_name(Object::Kind kind) {
  static constexpr std::string_view kNames[] = {"Null", "Bool",  "Integer", "Real",   "String",
                                                "Name", "Array", "Dict",    "Stream", "Ref"};
  return kNames[static_cast<size_t>(kind)];
}

namespace {

void append_string(std::string& out, const Bytes& b) {
  bool printable = std::all_of(b.begin(), b.end(), [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
  if (!printable) {
    out += '<';
    for (uint8_t c : b) out += fmt::format("{:02X}", c);
    out += '>';
    return;
  }
  out += '(';
  for (uint8_t c : b) {
    if (c == '(' || c == ')' || c == '\\') out += '\\';
    out += static_cast<char>(c);
  }
  out += ')';
}

void append_dict(std::string& out, const Dict& d);

void append(std::string& out, const Object& o) {
  switch (o.kind()) {
    case Object::Kind::Null:
      out += "null";
      break;
    case Object::Kind::Bool:
      out += *o.as_bool() ? "true" : "false";
      break;
    case Object::Kind::Integer:
      out += fmt::format("{}", *o.as_integer());
      break;
    case Object::Kind::Real:
      out += fmt::format("{}", std::get<3>(o.variant()));
      break;
    case Object::Kind::String:
      append_string(out, *o.as_string());
      break;
    case Object::Kind::Name:
      out += '/';
      out += *o.as_name();
      break;
    case Object::Kind::Array: {
      out += '[';
      bool first = true;
      for (const Object& e : *o.as_array()) {
        if (!first) out += ' ';
        first = false;
        append(out, e);
      }
      out += ']';
      break;
    }
    case Object::Kind::Dict:
      append_dict(out, *o.as_dict());
      break;
    case Object::Kind::Stream:
      append_dict(out, o.as_stream()->dict);
      out += fmt::format(" stream[{} bytes]", o.as_stream()->data->size());
      break;
    case Object::Kind::Ref:
      out += fmt::format("{} {} R", o.as_ref()->num, o.as_ref()->gen);
      break;
  }
}

void append_dict(std::string& out, const Dict& d) {
  std::vector<const std::pair<const std::string, Object>*> entries;
  entries.reserve(d.size());
  for (const auto& entry : d) entries.push_back(&entry);
  std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) { return a->first < b->first; });
  out += "<<";
  for (auto* entry : entries) {
    out += " /";
    out += entry->first;
    out += ' ';
    append(out, entry->second);
  }
  out += " >>";
}

}  // namespace

std::string debug_string(const Object& object) {
  std::string out;
  append(out, object);
  return out;
}

std::ostream& operator<<(std::ostream& os, const Object& object) {
  return os << debug_string(object);
}

}  // namespace kestrum
