#include "support/font_builder.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>
#include <string_view>

namespace testing_support {

namespace {

void put16(std::string& out, uint32_t v) {
  out += static_cast<char>((v >> 8) & 0xFF);
  out += static_cast<char>(v & 0xFF);
}
void put32(std::string& out, uint32_t v) {
  put16(out, v >> 16);
  put16(out, v & 0xFFFF);
}
void pad4(std::string& out) {
  while (out.size() % 4 != 0) out += '\0';
}

uint32_t checksum(const std::string& table) {
  std::string padded = table;
  pad4(padded);
  uint32_t sum = 0;
  for (size_t i = 0; i < padded.size(); i += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) word = (word << 8) | static_cast<uint8_t>(padded[i + k]);
    sum += word;
  }
  return sum;
}

// (largest power of two <= n, its exponent), as the binary-search fields want them.
std::pair<uint16_t, uint16_t> power_below(size_t n) {
  uint16_t power = 1, exponent = 0;
  while (power * 2u <= n) {
    power *= 2;
    ++exponent;
  }
  return {power, exponent};
}

std::string sfnt(const std::map<std::string, std::string>& tables) {
  std::string out;
  put32(out, 0x00010000);
  auto [power, exponent] = power_below(tables.size());
  put16(out, static_cast<uint16_t>(tables.size()));
  put16(out, power * 16u);
  put16(out, exponent);
  put16(out, static_cast<uint16_t>(tables.size() * 16 - power * 16u));
  size_t offset = 12 + 16 * tables.size();
  std::string body;
  for (const auto& [tag, data] : tables) {  // std::map keeps the tags sorted, as required
    out += tag;
    put32(out, checksum(data));
    put32(out, static_cast<uint32_t>(offset + body.size()));
    put32(out, static_cast<uint32_t>(data.size()));
    body += data;
    pad4(body);
  }
  return out + body;
}

std::string glyf_entry(const TtGlyph& glyph) {
  std::string out;
  if (glyph.contours.empty()) return out;
  int16_t x_min = INT16_MAX, y_min = INT16_MAX, x_max = INT16_MIN, y_max = INT16_MIN;
  for (const auto& contour : glyph.contours) {
    for (const TtPoint& p : contour) {
      x_min = std::min(x_min, p.x);
      y_min = std::min(y_min, p.y);
      x_max = std::max(x_max, p.x);
      y_max = std::max(y_max, p.y);
    }
  }
  put16(out, static_cast<uint16_t>(glyph.contours.size()));
  for (int16_t v : {x_min, y_min, x_max, y_max}) put16(out, static_cast<uint16_t>(v));
  uint32_t end = 0;
  for (const auto& contour : glyph.contours) {
    end += static_cast<uint32_t>(contour.size());
    put16(out, end - 1);
  }
  put16(out, 0);  // no instructions
  std::string flags, xs, ys;
  int16_t last_x = 0, last_y = 0;
  for (const auto& contour : glyph.contours) {
    for (const TtPoint& p : contour) {
      flags += static_cast<char>(p.on ? 1 : 0);  // long deltas for both coordinates
      put16(xs, static_cast<uint16_t>(static_cast<int16_t>(p.x - last_x)));
      put16(ys, static_cast<uint16_t>(static_cast<int16_t>(p.y - last_y)));
      last_x = p.x;
      last_y = p.y;
    }
  }
  out += flags + xs + ys;
  pad4(out);
  return out;
}

std::string cmap_subtable(const CmapSubtable& subtable) {
  std::string out;
  std::vector<std::pair<uint32_t, uint16_t>> map = subtable.map;
  std::ranges::sort(map);
  if (subtable.platform == 1) {
    put16(out, 0);
    put16(out, 262);
    put16(out, 0);
    std::array<uint8_t, 256> ids{};
    for (auto [code, gid] : map) {
      if (code < 256) ids[code] = static_cast<uint8_t>(gid);
    }
    for (uint8_t id : ids) out += static_cast<char>(id);
    return out;
  }
  // Format 4 with one segment per code and the closing 0xFFFF segment.
  size_t segments = map.size() + 1;
  auto [power, exponent] = power_below(segments);
  put16(out, 4);
  put16(out, static_cast<uint16_t>(16 + 8 * segments));
  put16(out, 0);
  put16(out, static_cast<uint16_t>(segments * 2));
  put16(out, power * 2u);
  put16(out, exponent);
  put16(out, static_cast<uint16_t>(segments * 2 - power * 2u));
  for (auto [code, gid] : map) put16(out, code);
  put16(out, 0xFFFF);
  put16(out, 0);
  for (auto [code, gid] : map) put16(out, code);
  put16(out, 0xFFFF);
  for (auto [code, gid] : map) put16(out, (gid - code) & 0xFFFF);
  put16(out, 1);
  for (size_t i = 0; i < segments; ++i) put16(out, 0);
  return out;
}

}  // namespace

TrueTypeBuilder& TrueTypeBuilder::units_per_em(uint16_t units) {
  units_per_em_ = units;
  return *this;
}
TrueTypeBuilder& TrueTypeBuilder::glyph(TtGlyph glyph) {
  glyphs_.push_back(std::move(glyph));
  return *this;
}
TrueTypeBuilder& TrueTypeBuilder::cmap(CmapSubtable subtable) {
  cmaps_.push_back(std::move(subtable));
  return *this;
}
TrueTypeBuilder& TrueTypeBuilder::post_table() {
  post_ = true;
  return *this;
}

std::string TrueTypeBuilder::build() const {
  if (glyphs_.empty()) throw std::logic_error("a TrueType font needs glyph 0");
  const auto count = static_cast<uint16_t>(glyphs_.size());
  std::map<std::string, std::string> tables;

  std::string glyf, loca, hmtx;
  uint16_t max_points = 0, max_contours = 0, max_advance = 0;
  for (const TtGlyph& glyph : glyphs_) {
    put32(loca, static_cast<uint32_t>(glyf.size()));
    glyf += glyf_entry(glyph);
    size_t points = 0;
    for (const auto& contour : glyph.contours) points += contour.size();
    max_points = std::max(max_points, static_cast<uint16_t>(points));
    max_contours = std::max(max_contours, static_cast<uint16_t>(glyph.contours.size()));
    max_advance = std::max(max_advance, glyph.advance);
    // The left side bearing must be the glyph's xMin: parsers place the outline by it.
    int16_t x_min = glyph.contours.empty() ? 0 : INT16_MAX;
    for (const auto& contour : glyph.contours) {
      for (const TtPoint& p : contour) x_min = std::min(x_min, p.x);
    }
    put16(hmtx, glyph.advance);
    put16(hmtx, static_cast<uint16_t>(x_min));
  }
  put32(loca, static_cast<uint32_t>(glyf.size()));
  tables["glyf"] = glyf;
  tables["loca"] = loca;
  tables["hmtx"] = hmtx;

  std::string& head = tables["head"];
  put32(head, 0x00010000);
  put32(head, 0x00010000);
  put32(head, 0);
  put32(head, 0x5F0F3CF5);
  put16(head, 3);
  put16(head, units_per_em_);
  head += std::string(16, '\0');  // created, modified
  put16(head, 0);
  put16(head, 0);
  put16(head, units_per_em_);
  put16(head, units_per_em_);
  put16(head, 0);  // macStyle
  put16(head, 8);  // lowestRecPPEM
  put16(head, 2);  // fontDirectionHint
  put16(head, 1);  // long loca offsets
  put16(head, 0);

  std::string& hhea = tables["hhea"];
  put32(hhea, 0x00010000);
  put16(hhea, units_per_em_ * 4u / 5u);                                      // ascender
  put16(hhea, static_cast<uint16_t>(-static_cast<int>(units_per_em_) / 5));  // descender
  put16(hhea, 0);
  put16(hhea, max_advance);
  for (int i = 0; i < 3; ++i) put16(hhea, 0);
  put16(hhea, 1);  // caret slope rise
  for (int i = 0; i < 6; ++i) put16(hhea, 0);
  put16(hhea, 0);  // metric data format
  put16(hhea, count);

  std::string& maxp = tables["maxp"];
  put32(maxp, 0x00010000);
  put16(maxp, count);
  put16(maxp, max_points);
  put16(maxp, max_contours);
  put16(maxp, 0);
  put16(maxp, 0);
  put16(maxp, 2);  // zones
  for (int i = 0; i < 8; ++i) put16(maxp, 0);

  std::string& name = tables["name"];
  put16(name, 0);
  put16(name, 0);
  put16(name, 6);

  if (!cmaps_.empty()) {
    std::string& cmap = tables["cmap"];
    put16(cmap, 0);
    put16(cmap, static_cast<uint16_t>(cmaps_.size()));
    std::string subtables;
    size_t base = 4 + 8 * cmaps_.size();
    for (const CmapSubtable& subtable : cmaps_) {
      put16(cmap, subtable.platform);
      put16(cmap, subtable.encoding);
      put32(cmap, static_cast<uint32_t>(base + subtables.size()));
      subtables += cmap_subtable(subtable);
    }
    cmap += subtables;
  }

  if (post_) {
    std::string& post = tables["post"];
    put32(post, 0x00020000);
    post += std::string(28, '\0');
    put16(post, count);
    std::string names;
    uint16_t next = 258;  // the first index past the standard Macintosh names
    for (const TtGlyph& glyph : glyphs_) {
      if (glyph.name.empty()) {
        put16(post, 0);
        continue;
      }
      put16(post, next++);
      names += static_cast<char>(glyph.name.size());
      names += glyph.name;
    }
    post += names;
  }
  return sfnt(tables);
}

// ---- CFF ----

namespace {

// A DICT integer in its five-byte form, so that offsets can be filled in without moving
// anything.
void dict_int(std::string& out, int32_t v) {
  out += static_cast<char>(29);
  put32(out, static_cast<uint32_t>(v));
}

void dict_real(std::string& out, std::string_view text) {
  std::vector<uint8_t> nibbles;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      nibbles.push_back(static_cast<uint8_t>(c - '0'));
    } else if (c == '.') {
      nibbles.push_back(0xA);
    } else if (c == '-') {
      nibbles.push_back(0xE);
    } else if (c == 'E' || c == 'e') {
      if (i + 1 < text.size() && text[i + 1] == '-') {
        nibbles.push_back(0xC);
        ++i;
      } else {
        nibbles.push_back(0xB);
      }
    }
  }
  nibbles.push_back(0xF);
  if (nibbles.size() % 2 != 0) nibbles.push_back(0xF);
  out += static_cast<char>(30);
  for (size_t i = 0; i < nibbles.size(); i += 2) {
    out += static_cast<char>((nibbles[i] << 4) | nibbles[i + 1]);
  }
}

void dict_op(std::string& out, int op) {
  if (op >= 1200) {
    out += static_cast<char>(12);
    out += static_cast<char>(op - 1200);
  } else {
    out += static_cast<char>(op);
  }
}

std::string cff_index(const std::vector<std::string>& items) {
  std::string out;
  put16(out, static_cast<uint16_t>(items.size()));
  if (items.empty()) return out;
  out += static_cast<char>(4);
  uint32_t offset = 1;
  put32(out, offset);
  for (const std::string& item : items) {
    offset += static_cast<uint32_t>(item.size());
    put32(out, offset);
  }
  for (const std::string& item : items) out += item;
  return out;
}

void charstring_number(std::string& out, int v) {
  if (v >= -107 && v <= 107) {
    out += static_cast<char>(v + 139);
  } else {
    out += static_cast<char>(28);
    put16(out, static_cast<uint16_t>(static_cast<int16_t>(v)));
  }
}

std::string charstring(const CffGlyph& glyph) {
  std::string out;
  int x = 0, y = 0;
  for (size_t i = 0; i < glyph.points.size(); ++i) {
    auto [px, py] = glyph.points[i];
    charstring_number(out, px - x);
    charstring_number(out, py - y);
    out += static_cast<char>(i == 0 ? 21 : 5);  // rmoveto, then rlineto
    x = px;
    y = py;
  }
  out += static_cast<char>(14);  // endchar
  return out;
}

// The standard strings a test names: space, A..Z and a..z.
std::optional<uint16_t> standard_sid(std::string_view name) {
  if (name == "space") return 1;
  if (name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z') return 34 + (name[0] - 'A');
  if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') return 66 + (name[0] - 'a');
  return std::nullopt;
}

constexpr uint16_t kFirstCustomSid = 391;

}  // namespace

CffBuilder& CffBuilder::font_matrix(std::vector<std::string> values) {
  matrix_ = std::move(values);
  return *this;
}
CffBuilder& CffBuilder::cid_keyed(std::optional<std::vector<std::string>> fd_matrix) {
  cid_ = true;
  fd_matrix_ = std::move(fd_matrix);
  return *this;
}
CffBuilder& CffBuilder::glyph(CffGlyph glyph) {
  glyphs_.push_back(std::move(glyph));
  return *this;
}
CffBuilder& CffBuilder::encoding(std::vector<uint8_t> codes) {
  encoding_ = std::move(codes);
  return *this;
}

std::string CffBuilder::build() const {
  if (glyphs_.empty()) throw std::logic_error("a CFF program needs glyph 0");
  std::vector<std::string> strings;
  auto sid = [&](const std::string& text) {
    if (auto standard = standard_sid(text)) return *standard;
    strings.push_back(text);
    return static_cast<uint16_t>(kFirstCustomSid + strings.size() - 1);
  };
  std::string charset;
  charset += '\0';  // format 0
  for (size_t g = 1; g < glyphs_.size(); ++g) {
    put16(charset, cid_ ? glyphs_[g].cid : sid(glyphs_[g].name));
  }
  uint16_t registry = 0, ordering = 0;
  if (cid_) {
    registry = sid("Adobe");
    ordering = sid("Identity");
  }
  std::string encoding;
  if (encoding_) {
    encoding += '\0';
    encoding += static_cast<char>(encoding_->size());
    for (uint8_t code : *encoding_) encoding += static_cast<char>(code);
  }
  std::string fd_select;
  if (cid_) {
    fd_select += '\0';
    fd_select += std::string(glyphs_.size(), '\0');
  }
  std::vector<std::string> charstrings;
  for (const CffGlyph& glyph : glyphs_) charstrings.push_back(charstring(glyph));
  const std::string private_dict = {static_cast<char>(139), 20, static_cast<char>(139), 21};

  // Every offset is a five-byte integer, so the Top DICT's size does not depend on the values
  // and one pass with zeros measures the layout.
  struct Offsets {
    int32_t charset = 0, encoding = 0, fd_select = 0, charstrings = 0, fd_array = 0, priv = 0;
  };
  auto top_dict = [&](const Offsets& at) {
    std::string dict;
    if (cid_) {
      dict_int(dict, registry);
      dict_int(dict, ordering);
      dict_int(dict, 0);
      dict_op(dict, 1230);  // ROS
    }
    if (matrix_) {
      for (const std::string& value : *matrix_) dict_real(dict, value);
      dict_op(dict, 1207);  // FontMatrix
    }
    dict_int(dict, at.charset);
    dict_op(dict, 15);
    if (!cid_ && encoding_) {
      dict_int(dict, at.encoding);
      dict_op(dict, 16);
    }
    dict_int(dict, at.charstrings);
    dict_op(dict, 17);
    if (cid_) {
      dict_int(dict, at.fd_array);
      dict_op(dict, 1236);
      dict_int(dict, at.fd_select);
      dict_op(dict, 1237);
    } else {
      dict_int(dict, static_cast<int32_t>(private_dict.size()));
      dict_int(dict, at.priv);
      dict_op(dict, 18);
    }
    return dict;
  };
  auto font_dict = [&](const Offsets& at) {
    std::string dict;
    if (fd_matrix_) {
      for (const std::string& value : *fd_matrix_) dict_real(dict, value);
      dict_op(dict, 1207);
    }
    dict_int(dict, static_cast<int32_t>(private_dict.size()));
    dict_int(dict, at.priv);
    dict_op(dict, 18);
    return dict;
  };
  const std::string header = {1, 0, 4, 4};
  const std::string names = cff_index({"TestFont"});
  const std::string string_index = cff_index(strings);
  const std::string global_subrs = cff_index({});
  const std::string charstrings_index = cff_index(charstrings);

  Offsets at;
  size_t pos = header.size() + names.size() + cff_index({top_dict(at)}).size() +
               string_index.size() + global_subrs.size();
  at.charset = static_cast<int32_t>(pos);
  pos += charset.size();
  at.encoding = static_cast<int32_t>(pos);
  pos += encoding.size();
  at.fd_select = static_cast<int32_t>(pos);
  pos += fd_select.size();
  at.charstrings = static_cast<int32_t>(pos);
  pos += charstrings_index.size();
  at.fd_array = static_cast<int32_t>(pos);
  std::string fd_array = cid_ ? cff_index({font_dict(at)}) : "";
  pos += fd_array.size();
  at.priv = static_cast<int32_t>(pos);
  if (cid_) fd_array = cff_index({font_dict(at)});

  return header + names + cff_index({top_dict(at)}) + string_index + global_subrs + charset +
         encoding + fd_select + charstrings_index + fd_array + private_dict;
}

}  // namespace testing_support
