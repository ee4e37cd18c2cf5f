// The PDF object model. Objects are plain values with deep copy, except that stream bytes live
// in one shared immutable buffer: copying a Stream copies its dictionary and shares the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace kestrum {

using Bytes = std::vector<uint8_t>;
// Decoded or raw stream bytes shared between the object cache, decoders and image records.
using SharedBytes = std::shared_ptr<const Bytes>;

// A shared empty buffer, so that a default Stream never holds a null pointer.
const SharedBytes& empty_bytes();

class Object;

// An indirect reference. Generations are read and kept but never used to look objects up.
struct Ref {
  uint32_t num = 0;
  uint16_t gen = 0;
  bool operator==(const Ref&) const = default;
};

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Name text (without the slash) to object. No key order; each key at most once. `get` never
// follows references: resolving them is the file's job.
class Dict {
 public:
  using Map = std::unordered_map<std::string, Object, NameHash, std::equal_to<>>;

  // The stored value, or nullptr when the key is absent.
  const Object* get(std::string_view key) const;
  Object* get_mut(std::string_view key);
  bool contains(std::string_view key) const;
  // Inserting an existing key replaces its value.
  void insert(std::string key, Object value);
  bool erase(std::string_view key);

  // The value when it is a Name, else nullopt (`/Type /Page` gives "Page").
  std::optional<std::string_view> get_name(std::string_view key) const;
  // True when the value is the Name `name`.
  bool has_name(std::string_view key, std::string_view name) const;

  size_t size() const { return map_.size(); }
  bool empty() const { return map_.empty(); }
  Map::const_iterator begin() const { return map_.begin(); }
  Map::const_iterator end() const { return map_.end(); }
  Map::iterator begin() { return map_.begin(); }
  Map::iterator end() { return map_.end(); }

  bool operator==(const Dict& other) const;

 private:
  Map map_;
};

struct Stream {
  Dict dict;
  SharedBytes data = empty_bytes();  // the raw bytes as stored in the file; never null

  std::span<const uint8_t> bytes() const { return *data; }
  // Equal dictionaries and equal bytes (not necessarily the same buffer).
  bool operator==(const Stream& other) const;
};

using Array = std::vector<Object>;

class Object {
 public:
  enum class Kind : uint8_t { Null, Bool, Integer, Real, String, Name, Array, Dict, Stream, Ref };
  // Alternatives in Kind order; String holds bytes, Name holds text.
  using Variant = std::variant<std::monostate, bool, int64_t, double, Bytes, std::string,
                               kestrum::Array, kestrum::Dict, kestrum::Stream, kestrum::Ref>;

  Object() = default;  // Null
  Object(kestrum::Dict d) : v_(std::move(d)) {}
  Object(kestrum::Stream s) : v_(std::move(s)) {}
  Object(kestrum::Array a) : v_(std::move(a)) {}
  Object(kestrum::Ref r) : v_(r) {}

  static Object boolean(bool b) { return Object(Variant(std::in_place_index<1>, b)); }
  static Object integer(int64_t i) { return Object(Variant(std::in_place_index<2>, i)); }
  // `r` must be finite; the lexer never produces anything else.
  static Object real(double r) { return Object(Variant(std::in_place_index<3>, r)); }
  static Object string(Bytes b) { return Object(Variant(std::in_place_index<4>, std::move(b))); }
  static Object string(std::string_view s) { return string(Bytes(s.begin(), s.end())); }
  static Object name(std::string n) {
    return Object(Variant(std::in_place_index<5>, std::move(n)));
  }
  static Object ref(uint32_t num, uint16_t gen = 0) { return Object(kestrum::Ref{num, gen}); }

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool is_null() const { return kind() == Kind::Null; }
  bool is_bool() const { return kind() == Kind::Bool; }
  bool is_integer() const { return kind() == Kind::Integer; }
  bool is_real() const { return kind() == Kind::Real; }
  bool is_number() const { return is_integer() || is_real(); }
  bool is_string() const { return kind() == Kind::String; }
  bool is_name() const { return kind() == Kind::Name; }
  bool is_name(std::string_view n) const { return is_name() && std::get<5>(v_) == n; }
  bool is_array() const { return kind() == Kind::Array; }
  bool is_dict() const { return kind() == Kind::Dict; }
  bool is_stream() const { return kind() == Kind::Stream; }
  bool is_ref() const { return kind() == Kind::Ref; }

  std::optional<bool> as_bool() const {
    if (auto* b = std::get_if<1>(&v_)) return *b;
    return std::nullopt;
  }
  // Integer only.
  std::optional<int64_t> as_integer() const {
    if (auto* i = std::get_if<2>(&v_)) return *i;
    return std::nullopt;
  }
  // Integer, or Real truncated toward zero with saturation: how PDF reads most counts and offsets.
  std::optional<int64_t> as_int() const;
  // Integer or Real as a double.
  std::optional<double> as_number() const {
    if (auto* i = std::get_if<2>(&v_)) return static_cast<double>(*i);
    if (auto* r = std::get_if<3>(&v_)) return *r;
    return std::nullopt;
  }
  std::optional<kestrum::Ref> as_ref() const {
    if (auto* r = std::get_if<9>(&v_)) return *r;
    return std::nullopt;
  }

  const Bytes* as_string() const { return std::get_if<4>(&v_); }
  const std::string* as_name() const { return std::get_if<5>(&v_); }
  const kestrum::Array* as_array() const { return std::get_if<6>(&v_); }
  kestrum::Array* as_array() { return std::get_if<6>(&v_); }
  const kestrum::Dict* as_dict() const { return std::get_if<7>(&v_); }
  kestrum::Dict* as_dict() { return std::get_if<7>(&v_); }
  const kestrum::Stream* as_stream() const { return std::get_if<8>(&v_); }
  kestrum::Stream* as_stream() { return std::get_if<8>(&v_); }
  Bytes* as_string() { return std::get_if<4>(&v_); }
  // The dictionary of a Dict or of a Stream, else nullptr.
  const kestrum::Dict* dict_or_stream_dict() const {
    if (auto* d = std::get_if<7>(&v_)) return d;
    if (auto* s = std::get_if<8>(&v_)) return &s->dict;
    return nullptr;
  }

  const Variant& variant() const { return v_; }
  Variant& variant() { return v_; }

  // Deep equality; Reals compare exactly.
  bool operator==(const Object& other) const { return v_ == other.v_; }

 private:
  explicit Object(Variant v) : v_(std::move(v)) {}
  Variant v_;
};

inline const Object* Dict::get(std::string_view key) const {
  auto it = map_.find(key);
  return it == map_.end() ? nullptr : &it->second;
}
inline Object* Dict::get_mut(std::string_view key) {
  auto it = map_.find(key);
  return it == map_.end() ? nullptr : &it->second;
}
inline bool Dict::contains(std::string_view key) const {
  return map_.find(key) != map_.end();
}
inline void Dict::insert(std::string key, Object value) {
  map_.insert_or_assign(std::move(key), std::move(value));
}
inline std::optional<std::string_view> Dict::get_name(std::string_view key) const {
  const Object* v = get(key);
  if (v == nullptr || !v->is_name()) return std::nullopt;
  return *v->as_name();
}
inline bool Dict::has_name(std::string_view key, std::string_view name) const {
  const Object* v = get(key);
  return v != nullptr && v->is_name(name);
}

// Truncation toward zero with saturation at the int64 range (NaN gives 0).
int64_t saturating_trunc(double v);

// PDF-like text for diagnostics and test failures; dictionary keys are sorted.
std::string debug_string(const Object& object);
std::ostream& operator<<(std::ostream& os, const Object& object);

// The variants' display names ("Integer", "Dict", ...).
std::string_view kind_name(Object::Kind kind);

}  // namespace kestrum
