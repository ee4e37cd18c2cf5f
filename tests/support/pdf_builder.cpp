#include "support/pdf_builder.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include <fmt/format.h>
#include <zlib.h>

namespace testing_support {

namespace {

std::string zlib_compress(std::string_view data, int window_bits) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out(deflateBound(&zs, data.size()), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  int ret = ::deflate(&zs, Z_FINISH);
  deflateEnd(&zs);
  if (ret != Z_STREAM_END) throw std::runtime_error("deflate failed");
  out.resize(zs.total_out);
  return out;
}

// One cross-reference entry: type 0 free, 1 in file (offset, generation), 2 packed
// (container, index).
struct Entry {
  int type;
  uint64_t field2;
  uint64_t field3;
};

std::string big_endian(uint64_t v, int width) {
  std::string out(static_cast<size_t>(width), '\0');
  for (int k = width - 1; k >= 0; --k) {
    out[static_cast<size_t>(k)] = static_cast<char>(v & 0xFF);
    v >>= 8;
  }
  return out;
}

// Runs of consecutive numbers as (first, count).
std::vector<std::pair<uint32_t, uint32_t>> runs(const std::map<uint32_t, Entry>& entries) {
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (const auto& [number, entry] : entries) {
    if (!out.empty() && out.back().first + out.back().second == number) {
      ++out.back().second;
    } else {
      out.emplace_back(number, 1);
    }
  }
  return out;
}

std::string table_section(const std::map<uint32_t, Entry>& entries) {
  std::string out = "xref\n";
  for (auto [first, count] : runs(entries)) {
    out += fmt::format("{} {}\n", first, count);
    for (uint32_t n = first; n < first + count; ++n) {
      const Entry& e = entries.at(n);
      out += e.type == 0 ? fmt::format("{:010} {:05} f \n", 0, 65535)
                         : fmt::format("{:010} {:05} n \n", e.field2, e.field3);
    }
  }
  return out;
}

}  // namespace

std::vector<uint8_t> to_bytes(std::string_view s) {
  return {s.begin(), s.end()};
}
std::string deflate(std::string_view data) {
  return zlib_compress(data, MAX_WBITS);
}
std::string raw_deflate(std::string_view data) {
  return zlib_compress(data, -MAX_WBITS);
}

PdfBuilder::PdfBuilder() : revisions_(1) {}

PdfBuilder& PdfBuilder::object(uint32_t number, std::string_view body) {
  revisions_.back().objects.push_back(
      {number, fmt::format("{} 0 obj\n{}\nendobj\n", number, body)});
  return *this;
}

PdfBuilder& PdfBuilder::stream(uint32_t number, std::string_view dict_entries,
                               std::string_view data) {
  revisions_.back().objects.push_back(
      {number, fmt::format("{} 0 obj\n<< {} /Length {} >>\nstream\n{}\nendstream\nendobj\n", number,
                           dict_entries, data.size(), data)});
  return *this;
}

PdfBuilder& PdfBuilder::flate_stream(uint32_t number, std::string_view dict_entries,
                                     std::string_view data) {
  return stream(number, fmt::format("{} /Filter /FlateDecode", dict_entries), deflate(data));
}

PdfBuilder& PdfBuilder::packed(uint32_t number, std::string_view body, uint32_t container) {
  revisions_.back().packed.push_back({number, std::string(body), container});
  return *this;
}

PdfBuilder& PdfBuilder::trailer(std::string_view entries) {
  revisions_.back().trailer = entries;
  return *this;
}

PdfBuilder& PdfBuilder::xref(Xref form) {
  revisions_.back().form = form;
  return *this;
}

PdfBuilder& PdfBuilder::xref_widths(int type, int field2, int field3) {
  widths_[0] = type;
  widths_[1] = field2;
  widths_[2] = field3;
  return *this;
}

PdfBuilder& PdfBuilder::update() {
  Xref form = revisions_.back().form;
  revisions_.emplace_back();
  revisions_.back().form = form;
  return *this;
}

PdfBuilder& PdfBuilder::junk_before_header(std::string junk) {
  junk_ = std::move(junk);
  return *this;
}

PdfBuilder& PdfBuilder::startxref(size_t offset) {
  startxref_ = offset;
  return *this;
}

PdfBuilder& PdfBuilder::omit_startxref() {
  omit_startxref_ = true;
  return *this;
}

PdfBuilder& PdfBuilder::truncate_tail(size_t bytes) {
  truncate_ = bytes;
  return *this;
}

std::string PdfBuilder::build() const {
  std::string out = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";
  // Cross-reference streams are numbered after every object of the file, so that they never
  // collide with a number a test chose.
  uint32_t max_number = 0;
  for (const Revision& rev : revisions_) {
    for (const Plain& p : rev.objects) max_number = std::max(max_number, p.number);
    for (const Packed& p : rev.packed) max_number = std::max({max_number, p.number, p.container});
  }
  std::optional<size_t> prev;
  for (size_t r = 0; r < revisions_.size(); ++r) {
    const Revision& rev = revisions_[r];
    const bool first = r == 0;
    const bool last = r + 1 == revisions_.size();
    std::map<uint32_t, Entry> plain_entries, packed_entries;
    if (first) plain_entries[0] = {0, 0, 65535};

    for (const Plain& p : rev.objects) {
      plain_entries[p.number] = {1, out.size(), 0};
      out += p.text;
    }
    std::map<uint32_t, std::vector<const Packed*>> containers;
    for (const Packed& p : rev.packed) containers[p.container].push_back(&p);
    for (const auto& [container, members] : containers) {
      std::string header, bodies;
      for (size_t i = 0; i < members.size(); ++i) {
        header += fmt::format("{} {} ", members[i]->number, bodies.size());
        bodies += members[i]->body + "\n";
        packed_entries[members[i]->number] = {2, container, i};
      }
      std::string data = deflate(header + bodies);
      plain_entries[container] = {1, out.size(), 0};
      out += fmt::format(
          "{} 0 obj\n<< /Type /ObjStm /N {} /First {} /Filter /FlateDecode /Length {} >>\nstream\n",
          container, members.size(), header.size(), data.size());
      out += data + "\nendstream\nendobj\n";
    }

    std::string prev_entry = prev ? fmt::format(" /Prev {}", *prev) : "";
    auto write_stream = [&](std::map<uint32_t, Entry> entries, const std::string& extra) {
      uint32_t self = ++max_number;
      size_t offset = out.size();
      entries[self] = {1, offset, 0};
      if (widths_[0] == 0) {  // type 1 is implied, so only in-file objects can be listed
        std::erase_if(entries, [](const auto& e) { return e.second.type != 1; });
      }
      std::string data, index;
      for (auto [first_number, count] : runs(entries)) {
        index += fmt::format("{} {} ", first_number, count);
        for (uint32_t n = first_number; n < first_number + count; ++n) {
          const Entry& e = entries.at(n);
          data += big_endian(static_cast<uint64_t>(e.type), widths_[0]);
          data += big_endian(e.field2, widths_[1]) + big_endian(e.field3, widths_[2]);
        }
      }
      std::string compressed = deflate(data);
      out += fmt::format(
          "{} 0 obj\n<< /Type /XRef /Size {} /W [{} {} {}] /Index [{}] {} /Filter /FlateDecode "
          "/Length {} >>\nstream\n",
          self, max_number + 1, widths_[0], widths_[1], widths_[2], index, extra,
          compressed.size());
      out += compressed + "\nendstream\nendobj\n";
      return offset;
    };

    size_t section = 0;
    switch (rev.form) {
      case Xref::Table: {
        section = out.size();
        out += table_section(plain_entries);
        out +=
            fmt::format("trailer\n<< /Size {} {}{} >>\n", max_number + 1, rev.trailer, prev_entry);
        break;
      }
      case Xref::Stream: {
        std::map<uint32_t, Entry> all = plain_entries;
        all.insert(packed_entries.begin(), packed_entries.end());
        section = write_stream(all, rev.trailer + prev_entry);
        break;
      }
      case Xref::Hybrid: {
        size_t stream_offset = write_stream(packed_entries, "");
        section = out.size();
        out += table_section(plain_entries);
        out += fmt::format("trailer\n<< /Size {} {} /XRefStm {}{} >>\n", max_number + 1,
                           rev.trailer, stream_offset, prev_entry);
        break;
      }
    }
    if (!(last && omit_startxref_)) {
      out += fmt::format("startxref\n{}\n%%EOF\n", last && startxref_ ? *startxref_ : section);
    }
    prev = section;
  }
  out.resize(out.size() - std::min(truncate_, out.size()));
  return junk_ + out;
}

}  // namespace testing_support
