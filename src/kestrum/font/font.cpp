#include "kestrum/font/font.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "kestrum/font/metrics.h"
#include "kestrum/parser.h"

namespace kestrum {

namespace {

// A /W range "c last width" sets at most this many CIDs past c: a range such as
// [0 4294967295 500] must not make the loader walk four billion CIDs. (The widths are stored
// as runs, so the bound is about what the entry means, not about memory.)
constexpr uint64_t kMaxWidthRun = 65536;

constexpr float kDefaultSimpleWidth = 500;
constexpr float kDefaultCompositeWidth = 1000;

// `value` itself, or what it refers to; nullptr for an absent or Null value.
const Object* follow(const Object* value, const Resolver& resolver, Object& holder) {
  if (value != nullptr && value->is_ref()) {
    holder = resolver.resolve(*value);
    value = &holder;
  }
  return value == nullptr || value->is_null() ? nullptr : value;
}

const Object* lookup(const Dict& dict, std::string_view key, const Resolver& resolver,
                     Object& holder) {
  return follow(dict.get(key), resolver, holder);
}

const Dict* lookup_dict(const Dict& dict, std::string_view key, const Resolver& resolver,
                        Object& holder) {
  const Object* value = lookup(dict, key, resolver, holder);
  return value != nullptr ? value->dict_or_stream_dict() : nullptr;
}

std::optional<double> lookup_number(const Dict* dict, std::string_view key,
                                    const Resolver& resolver) {
  if (dict == nullptr) return std::nullopt;
  Object holder;
  const Object* value = lookup(*dict, key, resolver, holder);
  return value != nullptr ? value->as_number() : std::nullopt;
}

uint32_t clamp_u32(const Object& number) {
  int64_t value = number.as_int().value_or(0);
  return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, std::numeric_limits<uint32_t>::max()));
}

// The decoded bytes of a stream; null when `value` is not a stream, its filters fail, or it
// stops at an image filter (whose output is not the data itself).
SharedBytes decoded_stream(const Object* value, const Resolver& resolver) {
  const Stream* stream = value != nullptr ? value->as_stream() : nullptr;
  if (stream == nullptr) return nullptr;
  Result<Decoded> decoded = decode(*stream, resolver);
  if (!decoded || decoded->image_filter) return nullptr;
  return decoded->bytes;
}

bool name_has_any(std::string_view base_name, std::initializer_list<std::string_view> hints) {
  return std::ranges::any_of(hints,
                             [&](std::string_view h) { return base_name_has(base_name, h); });
}

bool contains_symbol_pua(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    if (is_symbol_pua(next_utf8(text, pos))) return true;
  }
  return false;
}

void load_type0(Font& font, const Dict& dict, const Resolver& resolver) {
  Object holder;
  font.composite.emplace();
  const Object* encoding = lookup(dict, "Encoding", resolver, holder);
  SharedBytes cmap_bytes = decoded_stream(encoding, resolver);
  // Predefined CMaps are never loaded, so every named encoding reads as Identity-H.
  font.composite->encoding = cmap_bytes ? CMap::parse(*cmap_bytes) : CMap::identity();

  Object descendants_holder, descendant_holder;
  const Object* descendant = lookup(dict, "DescendantFonts", resolver, descendants_holder);
  if (descendant != nullptr && descendant->is_array()) {
    const Array& array = *descendant->as_array();
    descendant = array.empty() ? nullptr : follow(&array[0], resolver, descendant_holder);
  }
  static const Dict kEmpty;
  const Dict* cid_font = descendant != nullptr ? descendant->dict_or_stream_dict() : nullptr;
  if (cid_font == nullptr) cid_font = &kEmpty;

  Object descriptor_holder, map_holder;
  const Dict* descriptor = lookup_dict(*cid_font, "FontDescriptor", resolver, descriptor_holder);
  font.composite->cid_to_gid =
      decoded_stream(lookup(*cid_font, "CIDToGIDMap", resolver, map_holder), resolver);
  font.widths = composite_widths(*cid_font, resolver);
  font.flags = derive_flags(descriptor, font.base_name, resolver);
  font.program = load_program(descriptor, resolver);
  font.symbolic = true;
}

void load_type3(Font& font, const Dict& dict, const Resolver& resolver) {
  Object holder;
  if (const Object* matrix = lookup(dict, "FontMatrix", resolver, holder);
      matrix != nullptr && matrix->is_array()) {
    std::vector<float> numbers;
    for (const Object& raw : *matrix->as_array()) {
      Object element_holder;
      const Object* element = follow(&raw, resolver, element_holder);
      if (auto number = element != nullptr ? element->as_number() : std::nullopt) {
        numbers.push_back(static_cast<float>(*number));
      }
      if (numbers.size() == 6) break;
    }
    if (numbers.size() == 6) std::ranges::copy(numbers, font.font_matrix.begin());
  }
  font.glyph_names = build_encoding(dict, "", true, {}, resolver);
  font.widths = simple_widths(dict, nullptr, resolver);
  Object procs_holder, resources_holder;
  if (const Dict* procs = lookup_dict(dict, "CharProcs", resolver, procs_holder)) {
    font.char_procs = *procs;
  }
  if (const Dict* resources = lookup_dict(dict, "Resources", resolver, resources_holder)) {
    font.resources = *resources;
  }
  font.flags = kFontSymbolic;
  font.symbolic = true;
}

void load_simple(Font& font, const Dict& dict, const Resolver& resolver) {
  Object descriptor_holder;
  const Dict* descriptor = lookup_dict(dict, "FontDescriptor", resolver, descriptor_holder);
  font.flags = derive_flags(descriptor, font.base_name, resolver);
  font.symbolic = (font.flags & kFontSymbolic) != 0;
  font.program = load_program(descriptor, resolver);
  std::span<const uint8_t> type1;
  if (font.program.kind == ProgramKind::Type1) type1 = *font.program.bytes;
  font.glyph_names = build_encoding(dict, font.base_name, font.symbolic, type1, resolver);
  font.widths = simple_widths(dict, descriptor, resolver);
}

}  // namespace

std::shared_ptr<const Font> Font::load(const Resolver& resolver, const Dict& dict) {
  auto font = std::make_shared<Font>();
  Object holder;
  const Object* subtype = lookup(dict, "Subtype", resolver, holder);
  Object base_holder;
  if (const Object* base = lookup(dict, "BaseFont", resolver, base_holder);
      base && base->is_name()) {
    font->base_name = *base->as_name();
  }
  if (subtype != nullptr && subtype->is_name("Type0")) {
    font->kind = FontKind::Type0;
    load_type0(*font, dict, resolver);
  } else if (subtype != nullptr && subtype->is_name("Type3")) {
    font->kind = FontKind::Type3;
    load_type3(*font, dict, resolver);
  } else {
    load_simple(*font, dict, resolver);
  }
  font->to_unicode = load_to_unicode(dict.get("ToUnicode"), resolver);
  return font;
}

std::shared_ptr<const Font> Font::load(const PdfFile& file, const Dict& dict) {
  return load(FileResolver(file), dict);
}

uint16_t derive_flags(const Dict* descriptor, std::string_view base_name,
                      const Resolver& resolver) {
  int64_t f = 0;
  if (descriptor != nullptr) {
    Object holder;
    const Object* value = lookup(*descriptor, "Flags", resolver, holder);
    f = value != nullptr ? value->as_int().value_or(0) : 0;
  }
  auto has = [&](std::initializer_list<std::string_view> hints) {
    return name_has_any(base_name, hints);
  };
  bool symbolic = (f & 4) != 0 && (f & 32) == 0;
  bool serif =
      (f & 2) != 0 || has({"times", "roman", "georgia", "garamond", "minion", "cambria", "book"});
  uint16_t flags = serif ? (symbolic ? kFontSerif | kFontSymbolic : kFontSerif)
                         : (symbolic ? kFontSymbolic : kFontSansSerif);
  if ((f & 1) != 0 || has({"courier", "mono"})) flags |= kFontFixedPitch;

  std::optional<double> angle = lookup_number(descriptor, "ItalicAngle", resolver);
  if ((f & 64) != 0 || (angle && std::fabs(*angle) > 0.5) || has({"italic", "oblique"})) {
    flags |= kFontItalic;
  }
  std::optional<double> weight = lookup_number(descriptor, "FontWeight", resolver);
  std::optional<double> stem = lookup_number(descriptor, "StemV", resolver);
  if ((f & 262144) != 0 || (weight && *weight >= 600) || (stem && *stem >= 120) ||
      has({"bold", "black", "heavy"})) {
    flags |= kFontBold;
  }
  if ((f & 8) != 0 || has({"script"})) flags |= kFontScript;
  if ((f & 65536) != 0) flags |= kFontAllCaps;
  if ((f & 131072) != 0) flags |= kFontSmallCaps;
  return flags;
}

// A Type 1 program is read only for the encoding in its clear-text part (the glyphs after eexec
// are never interpreted), so a compressed one is inflated no further than that part: /Length1,
// or this much when the length is missing or implausible.
constexpr size_t kType1ClearTextGuess = size_t{256} << 10;

SharedBytes type1_clear_text(const Object* file, const Resolver& resolver) {
  const Stream* stream = file != nullptr ? file->as_stream() : nullptr;
  if (stream == nullptr) return nullptr;
  Object filter_holder, params_holder;
  const Object* filter = lookup(stream->dict, "Filter", resolver, filter_holder);
  const Object* params = lookup(stream->dict, "DecodeParms", resolver, params_holder);
  bool flate_only =
      filter != nullptr && params == nullptr &&
      (filter->is_name("FlateDecode") || (filter->is_array() && filter->as_array()->size() == 1 &&
                                          (*filter->as_array())[0].is_name("FlateDecode")));
  if (!flate_only) return decoded_stream(file, resolver);
  size_t limit = kType1ClearTextGuess;
  if (auto length = lookup_number(&stream->dict, "Length1", resolver);
      length && *length >= 1 && *length < static_cast<double>(kMaxDecodedSize)) {
    limit = static_cast<size_t>(*length);
  }
  Result<Bytes> clear = flate_decode(stream->bytes(), limit);
  if (!clear) return nullptr;
  return std::make_shared<const Bytes>(std::move(*clear));
}

Program load_program(const Dict* descriptor, const Resolver& resolver) {
  if (descriptor == nullptr) return {};
  constexpr std::pair<std::string_view, ProgramKind> kFiles[] = {{"FontFile2", ProgramKind::Sfnt},
                                                                 {"FontFile3", ProgramKind::Cff},
                                                                 {"FontFile", ProgramKind::Type1}};
  for (auto [key, kind] : kFiles) {
    Object holder;
    const Object* file = lookup(*descriptor, key, resolver, holder);
    SharedBytes bytes = kind == ProgramKind::Type1 ? type1_clear_text(file, resolver)
                                                   : decoded_stream(file, resolver);
    if (!bytes) continue;
    if (kind == ProgramKind::Cff) {
      Object subtype_holder;
      const Object* subtype = lookup(file->as_stream()->dict, "Subtype", resolver, subtype_holder);
      if (subtype != nullptr && subtype->is_name("OpenType")) kind = ProgramKind::Sfnt;
    }
    return Program{kind, std::move(bytes)};
  }
  return {};
}

SimpleWidths simple_widths(const Dict& font, const Dict* descriptor, const Resolver& resolver) {
  SimpleWidths result;
  Object holder;
  if (const Object* first = lookup(font, "FirstChar", resolver, holder);
      first && first->is_number()) {
    result.first_code = clamp_u32(*first);
  }
  Object widths_holder;
  if (const Object* widths = lookup(font, "Widths", resolver, widths_holder);
      widths != nullptr && widths->is_array()) {
    result.widths.reserve(widths->as_array()->size());
    for (const Object& raw : *widths->as_array()) {
      Object element_holder;
      const Object* element = follow(&raw, resolver, element_holder);
      std::optional<double> width = element != nullptr ? element->as_number() : std::nullopt;
      result.widths.push_back(static_cast<float>(width.value_or(0)));
    }
  }
  if (auto missing = lookup_number(descriptor, "MissingWidth", resolver)) {
    result.missing_width = static_cast<float>(*missing);
  }
  return result;
}

CompositeWidths composite_widths(const Dict& cid_font, const Resolver& resolver) {
  CompositeWidths result;
  result.default_width =
      static_cast<float>(lookup_number(&cid_font, "DW", resolver).value_or(kDefaultCompositeWidth));
  Object holder;
  const Object* w = lookup(cid_font, "W", resolver, holder);
  if (w == nullptr || !w->is_array()) return result;
  const Array& entries = *w->as_array();
  // Each element resolved at most once; holders only fill for references.
  std::vector<Object> holders(entries.size());
  auto element = [&](size_t i) -> const Object* {
    if (i >= entries.size()) return nullptr;
    return follow(&entries[i], resolver, holders[i]);
  };
  for (size_t i = 0; i < entries.size();) {
    const Object* start = element(i);
    if (start == nullptr || !start->is_number()) {
      ++i;
      continue;
    }
    uint32_t first = clamp_u32(*start);
    if (i + 1 >= entries.size()) break;
    const Object* second = element(i + 1);
    if (second != nullptr && second->is_array()) {
      const Array& list = *second->as_array();
      for (size_t k = 0; k < list.size() && uint64_t{first} + k <= UINT32_MAX; ++k) {
        Object width_holder;
        const Object* width = follow(&list[k], resolver, width_holder);
        if (auto value = width != nullptr ? width->as_number() : std::nullopt) {
          uint32_t cid = first + static_cast<uint32_t>(k);
          result.widths.assign(cid, cid, static_cast<float>(*value));
        }
      }
      i += 2;
      continue;
    }
    uint32_t last = second != nullptr && second->is_number() ? clamp_u32(*second) : first;
    const Object* width = element(i + 2);
    float value = width != nullptr && width->is_number() ? static_cast<float>(*width->as_number())
                                                         : result.default_width;
    if (last >= first) {
      uint64_t end = std::min<uint64_t>(last, uint64_t{first} + kMaxWidthRun);
      result.widths.assign(first, static_cast<uint32_t>(end), value);
    }
    i += 3;
  }
  return result;
}

std::string_view Font::glyph_name(uint32_t code) const {
  return code < glyph_names.size() ? std::string_view(glyph_names[code]) : std::string_view();
}

std::vector<CodeItem> Font::decode(std::span<const uint8_t> bytes) const {
  std::vector<CodeItem> items;
  decode(bytes, items);
  return items;
}

void Font::decode(std::span<const uint8_t> bytes, std::vector<CodeItem>& out) const {
  out.clear();
  out.reserve(bytes.size());
  auto add = [&](uint32_t code, uint32_t cid, bool space) {
    CodeItem& item = out.emplace_back();
    item.text = unicode_for(code);
    item.code = code;
    item.cid = cid;
    item.width = width_for(code, cid);
    item.space = space;
  };
  if (composite) {
    const CMap& cmap = composite->encoding;
    for (size_t pos = 0; pos < bytes.size();) {
      uint32_t code = cmap.codespace().next(bytes, pos);
      add(code, cmap.cid(code), false);
    }
    return;
  }
  for (uint8_t byte : bytes) add(byte, byte, byte == 32);
}

std::optional<std::string> Font::unicode_for(uint32_t code) const {
  if (to_unicode) {
    if (std::optional<std::string> text = to_unicode->unicode(code)) {
      if (!contains_symbol_pua(*text)) return text;
      std::string undone;
      for (size_t pos = 0; pos < text->size();) undone += undo_symbol_pua(next_utf8(*text, pos));
      return undone;
    }
  }
  std::string_view name = glyph_name(code);
  if (name.empty()) return std::nullopt;
  return glyph_name_to_unicode(name);
}

float Font::width_for(uint32_t code, uint32_t cid) const {
  if (const auto* composite_widths = std::get_if<CompositeWidths>(&widths)) {
    const float* width = composite_widths->widths.find(cid);
    return width != nullptr ? *width : composite_widths->default_width;
  }
  const SimpleWidths& simple = std::get<SimpleWidths>(widths);
  if (code >= simple.first_code && code - simple.first_code < simple.widths.size()) {
    return simple.widths[code - simple.first_code];
  }
  std::string_view name = glyph_name(code);
  // Base-14 names promise the standard metrics, which beat a producer's /MissingWidth.
  if (name_has_any(base_name,
                   {"helvetica", "courier", "times", "symbol", "zapfdingbats", "arial"})) {
    if (auto width = builtin_width(base_name, name)) return *width;
  }
  if (simple.missing_width) return *simple.missing_width;
  if (auto width = builtin_width(base_name, name)) return *width;
  return kDefaultSimpleWidth;
}

}  // namespace kestrum
