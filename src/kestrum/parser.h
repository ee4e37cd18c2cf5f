// One PDF file: its bytes, its cross-reference and its lazily loaded objects. A PdfFile is built
// once by `load` and then shared read-only by every page interpreter; its three caches are the
// only mutable state, each behind its own lock held only for a lookup or an insert.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "kestrum/crypt.h"
#include "kestrum/error.h"
#include "kestrum/filters.h"
#include "kestrum/object.h"

namespace kestrum {

// Objects whose loading needs other objects first (stream lengths, object streams, filter
// parameters) nest at most this deep: bounds the recursion a chain of object streams drives.
inline constexpr size_t kMaxNestedLoads = 32;
// A reference chain longer than this resolves to Null.
inline constexpr int kMaxResolveFetches = 33;
// Objects a file may list per byte of its data. Even a packed object costs a few bytes of
// index, so a cross-reference or object stream that lists more objects than the file has bytes
// is inflated data, and its extra entries are dropped: bounds the memory of the tables a small
// file can claim.
inline constexpr size_t kMaxObjectsPerByte = 1;
// Decoded object streams are kept for the life of the file. Beyond this much in all, further
// object streams are not indexed and their objects load as Null: bounds the memory a file of
// many small streams, each inflating to the decode cap, can claim.
inline constexpr size_t kMaxObjStmBytes = size_t{1} << 30;

struct InFile {
  size_t offset = 0;  // from the %PDF- header
  uint16_t generation = 0;
  bool operator==(const InFile&) const = default;
};
struct InStream {
  uint32_t stream = 0;  // object number of the object stream
  uint32_t index = 0;   // position inside it
  bool operator==(const InStream&) const = default;
};
using XrefEntry = std::variant<InFile, InStream>;

// The (object number, offset in the decoded data) pairs of one object stream, in stream order.
struct ObjStmIndex {
  std::vector<std::pair<uint32_t, size_t>> entries;
  std::vector<uint32_t> by_number;  // positions into `entries`, sorted by number, then position
  // Every distinct offset with the first position that has it, sorted by offset.
  std::vector<std::pair<size_t, uint32_t>> starts;

  // The entry at `hint` when it holds `number`, else the first entry with `number`.
  std::optional<size_t> find(uint32_t number, uint32_t hint) const;
  // The bytes of the object at `position` in decoded data of `size` bytes, as [begin, end): up
  // to where the next object starts, so that an unterminated object does not run on through all
  // the others. Nothing when an earlier entry starts at the same offset: it holds the object.
  std::optional<std::pair<size_t, size_t>> extent(size_t position, size_t size) const;
};

// The objects being loaded on the current call chain, so that a cycle through stream lengths,
// object streams or filter parameters yields Null instead of recursing forever.
struct Visiting {
  std::vector<uint32_t> loading;   // object numbers in load_object
  std::vector<uint32_t> indexing;  // object streams in objstm_index
  size_t depth() const { return loading.size() + indexing.size(); }
};

using SharedObject = std::shared_ptr<const Object>;

class PdfFile {
 public:
  // Takes ownership of the bytes. Fails with Parse("no %PDF header"),
  // Parse("no objects found in scan"), Parse("trailer has no /Root"),
  // Parse("encrypt entry is not a dictionary") or the security handler's error; every other
  // damage in the cross-reference is repaired by scanning the file.
  static Result<std::shared_ptr<PdfFile>> load(Bytes bytes, std::span<const uint8_t> password = {});

  PdfFile(const PdfFile&) = delete;
  PdfFile& operator=(const PdfFile&) = delete;

  // The object with this number; never fails: a missing or unreadable object is Null.
  SharedObject get(uint32_t number) const;
  // A copy of `object`, or of what it refers to (references followed up to 33 fetches).
  Object resolve(const Object& object) const;
  // The uncached loader behind `get`.
  Object load_object(uint32_t number, Visiting& visiting) const;
  // The index of object stream `stream`; Parse("object stream {} missing") when it is not one.
  Result<std::shared_ptr<const ObjStmIndex>> objstm_index(uint32_t stream) const;
  // Applies the stream's filters, resolving their parameters through this file.
  Result<Decoded> decode(const Stream& stream) const;

  const Dict& trailer() const { return trailer_; }
  std::span<const uint8_t> data() const { return data_; }
  const std::unordered_map<uint32_t, XrefEntry>& xref() const { return xref_; }
  const Decryptor* decryptor() const { return decryptor_ ? &*decryptor_ : nullptr; }

 private:
  friend class ChainResolver;
  friend class XrefReader;

  explicit PdfFile(Bytes data) : data_(std::move(data)) {}

  SharedObject get_with(uint32_t number, Visiting& visiting) const;
  Object resolve_with(const Object& object, Visiting& visiting) const;
  Result<std::shared_ptr<const ObjStmIndex>> objstm_index_with(uint32_t stream,
                                                               Visiting& visiting) const;
  Object load_in_file(uint32_t number, const InFile& entry, Visiting& visiting) const;
  Object load_in_stream(uint32_t number, const InStream& entry, Visiting& visiting) const;
  void clear_caches();
  // Records where the objects of the cross-reference start, once it is complete.
  void find_object_starts();
  // The end of the bytes an object at `offset` may use: the start of the next object.
  size_t object_end(size_t offset) const;
  size_t max_objects() const { return data_.size() * kMaxObjectsPerByte; }

  Bytes data_;
  std::optional<Decryptor> decryptor_;
  std::unordered_map<uint32_t, XrefEntry> xref_;
  // Offsets of the in-file objects whose header is where the cross-reference says, sorted.
  std::vector<size_t> object_starts_;
  Dict trailer_;
  std::optional<uint32_t> encrypt_number_;

  mutable std::mutex object_mutex_;
  mutable std::unordered_map<uint32_t, SharedObject> objects_;
  mutable std::mutex index_mutex_;
  // Failures are kept too, so that the objects of a broken stream do not decode it again each.
  mutable std::unordered_map<uint32_t, Result<std::shared_ptr<const ObjStmIndex>>> indexes_;
  mutable std::mutex data_mutex_;
  mutable std::unordered_map<uint32_t, SharedBytes> objstm_data_;
  mutable size_t objstm_bytes_ = 0;  // in objstm_data_
};

// Resolves references through a file; what the filters get when decoding its streams.
class FileResolver final : public Resolver {
 public:
  explicit FileResolver(const PdfFile& file) : file_(file) {}
  Object resolve(const Object& object) const override { return file_.resolve(object); }

 private:
  const PdfFile& file_;
};

// Adds every key of `dict` that `accumulated` does not have yet (newer sections are read
// first, so their keys win).
void merge_trailer(Dict& accumulated, const Dict& dict);

}  // namespace kestrum
