// Every stream filter with arbitrary parameters: the leading bytes choose up to four filter
// names and a parameter dictionary for each (see filter_input.h), the rest is the data.
// Checks the output cap of the pipeline and of every decoder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "filter_input.h"
#include "kestrum/filters.h"
#include "kestrum/object.h"

namespace {

using namespace fuzz_input;

// The cap the decodes run under. The reader's own cap takes seconds to reach, spent filling
// memory; the rules that enforce it are the same for any cap, and a small one keeps every
// input fast enough for the fuzzer to explore.
constexpr size_t kLimit = size_t{1} << 20;
using kestrum::Array;
using kestrum::Dict;
using kestrum::Object;

// References resolve to their object number as an Integer, so that indirect parameters carry
// values of their own.
class NumberResolver final : public kestrum::Resolver {
 public:
  Object resolve(const Object& object) const override {
    if (auto ref = object.as_ref()) return Object::integer(ref->num);
    return object;
  }
};

struct Reader {
  std::span<const uint8_t> in;
  size_t at = 0;
  uint8_t byte() { return at < in.size() ? in[at++] : 0; }
  std::span<const uint8_t> rest() const { return in.subspan(std::min(at, in.size())); }
};

int64_t value_of(uint8_t b) {
  constexpr size_t n = std::size(kExtremes);
  return b < n ? kExtremes[b] : int64_t{b} - static_cast<int64_t>(n);
}

Object number(int64_t v, bool as_real) {
  return as_real ? Object::real(static_cast<double>(v) + 0.5) : Object::integer(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader r{std::span<const uint8_t>(data, size)};
  const uint8_t layout = r.byte();
  const size_t count = (layout & kCountMask) + 1u;

  Array names;
  Array params;
  for (size_t i = 0; i < count; ++i) {
    names.push_back(Object::name(std::string(kFilterNames[r.byte() % std::size(kFilterNames)])));
    const uint8_t flags = r.byte();
    const bool reals = flags & kAsReals;
    Dict p;
    if (flags & kHasPredictor) p.insert("Predictor", number(value_of(r.byte()), reals));
    if (flags & kHasColors) p.insert("Colors", number(value_of(r.byte()), reals));
    if (flags & kHasBits) p.insert("BitsPerComponent", number(value_of(r.byte()), reals));
    if (flags & kHasColumns) {
      const uint8_t high = r.byte();
      const uint8_t low = r.byte();
      // A high byte with its top bit set picks an extreme, otherwise the two bytes are a count.
      const int64_t columns = high & 0x80 ? value_of(low) : int64_t{high} << 8 | low;
      p.insert("Columns", number(columns, reals));
    }
    if (flags & kHasEarlyChange) p.insert("EarlyChange", number(value_of(r.byte()), reals));
    if (flags & kNotADict) {
      params.push_back(Object::integer(7));
    } else if (flags & kAsRef) {
      // A reference that resolves to an Integer: the parameters are then all defaults.
      params.push_back(Object::ref(static_cast<uint32_t>(i)));
    } else {
      params.push_back(Object(std::move(p)));
    }
  }

  Dict dict;
  const bool short_keys = layout & kUseShortKeys;
  if (count == 1 && !(layout & kUseArray)) {
    dict.insert(short_keys ? "F" : "Filter", std::move(names[0]));
  } else {
    dict.insert(short_keys ? "F" : "Filter", Object(std::move(names)));
  }
  if (count == 1 && !(layout & kUseParamArray)) {
    dict.insert(short_keys ? "DP" : "DecodeParms", std::move(params[0]));
  } else {
    dict.insert(short_keys ? "DP" : "DecodeParms", Object(std::move(params)));
  }

  const std::span<const uint8_t> body = r.rest();
  auto raw = std::make_shared<const kestrum::Bytes>(body.begin(), body.end());
  kestrum::Result<kestrum::Decoded> decoded = kestrum::decode(dict, raw, NumberResolver(), kLimit);
  if (decoded) {
    if (decoded->bytes == nullptr || decoded->bytes->size() > kLimit) {
      __builtin_trap();
    }
  } else {
    (void)decoded.error().message();
  }

  if (layout & kUseDirectCalls) {
    // The caps themselves, at a size the data can reach.
    const size_t limit = body.empty() ? 1 : body[0] * size_t{37} + 1;
    if (auto out = kestrum::flate_decode(body, limit); out && out->size() > limit) __builtin_trap();
    if (kestrum::lzw_decode(body, layout & 0x40, limit).size() > limit) __builtin_trap();
    if (kestrum::run_length_decode(body, limit).size() > limit) __builtin_trap();
  }
  return 0;
}
