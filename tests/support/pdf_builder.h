// Assembles small PDF files for tests, with correct offsets, lengths and cross-references, so
// that a fixture is a few readable lines next to its assertion. Objects are given as PDF text;
// the builder writes the headers, the object streams, the cross-reference sections (classic
// table, stream or hybrid, one per revision) and the trailers. Damage is applied on request.
//
//   std::string pdf = PdfBuilder()
//                         .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
//                         .object(2, "<< /Type /Pages /Kids [] /Count 0 >>")
//                         .trailer("/Root 1 0 R")
//                         .build();
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

class PdfBuilder {
 public:
  enum class Xref {
    Table,   // classic "xref" table; objects in object streams are listed nowhere
    Stream,  // a cross-reference stream listing every object
    Hybrid,  // a table for the plain objects whose /XRefStm stream lists the packed ones
  };

  PdfBuilder();

  // Object `number` (generation 0) with `body` as its PDF text, e.g. "<< /Type /Page >>".
  PdfBuilder& object(uint32_t number, std::string_view body);
  // A stream object; `dict_entries` is the text inside << >>, /Length is added.
  PdfBuilder& stream(uint32_t number, std::string_view dict_entries, std::string_view data);
  // The same with the data Flate-compressed and /Filter /FlateDecode added.
  PdfBuilder& flate_stream(uint32_t number, std::string_view dict_entries, std::string_view data);
  // Object `number` stored in object stream `container`, which is written (Flate-compressed)
  // when the revision ends.
  PdfBuilder& packed(uint32_t number, std::string_view body, uint32_t container);
  // Trailer entries of the current revision, e.g. "/Root 1 0 R /Info 3 0 R"; /Size, /Prev and
  // /XRefStm are added.
  PdfBuilder& trailer(std::string_view entries);
  // Cross-reference form of the current revision (Table by default).
  PdfBuilder& xref(Xref form);
  // Field widths of cross-reference streams (1 4 2 by default). A type width of 0 writes only
  // in-file objects, as type 1 is then implied.
  PdfBuilder& xref_widths(int type, int field2, int field3);
  // Starts an incremental update: later objects go into a new body with its own section
  // whose /Prev points at the previous one. The new revision keeps the previous form.
  PdfBuilder& update();

  // Damage, applied to the final file.
  PdfBuilder& junk_before_header(std::string junk);  // offsets still count from %PDF-
  PdfBuilder& startxref(size_t offset);              // the last startxref says this instead
  PdfBuilder& omit_startxref();                      // no startxref after the last section
  PdfBuilder& truncate_tail(size_t bytes);           // cut this many bytes off the end

  std::string build() const;

 private:
  struct Plain {
    uint32_t number;
    std::string text;  // from "N 0 obj" to "endobj"
  };
  struct Packed {
    uint32_t number;
    std::string body;
    uint32_t container;
  };
  struct Revision {
    std::vector<Plain> objects;
    std::vector<Packed> packed;
    std::string trailer;
    Xref form = Xref::Table;
  };

  std::vector<Revision> revisions_;
  int widths_[3] = {1, 4, 2};
  std::string junk_;
  std::optional<size_t> startxref_;
  bool omit_startxref_ = false;
  size_t truncate_ = 0;
};

// The bytes of a string, for PdfFile::load.
std::vector<uint8_t> to_bytes(std::string_view s);
// zlib-wrapped and raw deflate compression.
std::string deflate(std::string_view data);
std::string raw_deflate(std::string_view data);

}  // namespace testing_support
