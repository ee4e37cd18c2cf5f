// The CMap parser on arbitrary bytes, then lookups: the input split into codes by the parsed
// codespace, and every code's CID and text, plus the first and last codes of every range. Also
// reads the bytes as a /ToUnicode stream.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "kestrum/filters.h"
#include "kestrum/font/cmap.h"
#include "kestrum/lexer.h"
#include "kestrum/object.h"

namespace {

// Looked up codes per input: enough to reach every range, few enough to stay fast.
constexpr size_t kMaxLookups = 4096;

void look_up(const kestrum::CMap& cmap, uint32_t code) {
  (void)cmap.cid(code);
  if (std::optional<std::string> text = cmap.unicode(code)) {
    if (text->empty() || !kestrum::is_valid_utf8(kestrum::as_bytes(*text))) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const kestrum::CMap cmap = kestrum::CMap::parse(bytes);

  size_t lookups = 0;
  for (size_t pos = 0; pos < bytes.size() && lookups < kMaxLookups; ++lookups) {
    const size_t before = pos;
    look_up(cmap, cmap.codespace().next(bytes, pos));
    if (pos <= before || pos > bytes.size()) __builtin_trap();
  }
  for (const auto& range : cmap.cid_ranges()) {
    if (++lookups > kMaxLookups) break;
    look_up(cmap, range.low);
    look_up(cmap, range.high);
  }
  for (const auto& range : cmap.list_ranges()) {
    if (++lookups > kMaxLookups) break;
    look_up(cmap, range.low);
    look_up(cmap, range.high);
  }
  for (const auto& range : cmap.step_ranges()) {
    if (++lookups > kMaxLookups) break;
    look_up(cmap, range.low);
    look_up(cmap, range.high);
  }

  kestrum::Stream stream;
  stream.data = std::make_shared<const kestrum::Bytes>(bytes.begin(), bytes.end());
  const kestrum::Object object(std::move(stream));
  (void)kestrum::load_to_unicode(&object, kestrum::DirectResolver());
  return 0;
}
