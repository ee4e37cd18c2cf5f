// The reader's entry point: a PDF opened from bytes, with its page tree flattened into the pages
// in document order and the attributes each page inherits. A Document is immutable once built
// (only the object caches inside its file grow) and may serve several threads at once; it shares
// ownership of its PdfFile, so objects and streams read from it stay valid while it lives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kestrum/error.h"
#include "kestrum/geom.h"
#include "kestrum/object.h"
#include "kestrum/parser.h"

namespace kestrum {

struct Page;  // kestrum/page.h
struct Font;  // kestrum/font/font.h

// The page-tree walk stops once this many pages are collected: bounds the page list a small file
// of repeated references could claim.
inline constexpr size_t kMaxPages = 100'000;
// Nodes deeper than this stop the walk: bounds the stack a degenerate, chain-shaped tree builds.
inline constexpr size_t kMaxTreeDepth = 64;
// The joined content of one page stops growing at this size (each stream is capped on its own by
// kMaxDecodedSize, but a /Contents array may name the same compressed stream many times).
inline constexpr size_t kMaxPageContentSize = kMaxDecodedSize;

// The page size used when no node of the tree gives a media box: US Letter.
inline constexpr Rect kDefaultMediaBox{0, 0, 612, 792};

// One page with the attributes it inherits from its ancestors.
struct PageNode {
  Dict dict;  // the page dictionary itself
  // The inherited /Resources, resolved; an empty Dict when absent or not a dictionary. Never
  // null; pages that inherit one resources dictionary share it.
  std::shared_ptr<const Dict> resources;
  Rect media_box = kDefaultMediaBox;
  // The crop box clipped to the media box; the media box when absent or when they do not overlap.
  Rect crop_box = kDefaultMediaBox;
  int32_t rotate = 0;  // /Rotate as written, not reduced modulo 360
};

// The first four numbers of an Array, corners normalised so that x0 <= x1 and y0 <= y1;
// non-numeric elements are skipped. Nothing for anything else or fewer than four numbers.
std::optional<Rect> rect_from(const Object& object);

// From PDF user space to a top-down raster of the page as displayed: the crop box's top-left
// corner (after `rotate`, taken modulo 360; only 90, 180 and 270 turn the page) goes to the
// origin, y grows downward, and both axes are multiplied by `scale`.
Matrix page_matrix(const Rect& crop_box, int32_t rotate, float scale);

class Document {
 public:
  // Loads the file (decrypting with `password` when it is encrypted; empty for none), finds the
  // catalog and walks the page tree. Fails with the loading errors of PdfFile::load (Password and
  // UnsupportedEncryption among them), Parse("catalog missing") or
  // Parse("catalog has no /Pages"). A broken page tree is not an error: cycles, non-dictionary
  // nodes and over-deep branches lose pages, and a tree without pages gives zero pages.
  static Result<Document> from_bytes(Bytes bytes, std::span<const uint8_t> password = {});

  size_t page_count() const { return pages_.size(); }
  const std::vector<PageNode>& pages() const { return pages_; }
  // The page at `index`, or PageOutOfRange when index >= page_count().
  Result<const PageNode*> page_node(size_t index) const;
  // The page at `index` interpreted afresh (include kestrum/page.h to use it): its glyphs, paths
  // and images. Only PageOutOfRange fails; broken content gives fewer records.
  Result<Page> page(size_t index) const;

  // The page's content: its /Contents streams decoded and joined, a newline between two of them.
  // Contributions that are not streams or do not decode are skipped; never fails. A page with a
  // single stream shares that stream's decoded buffer. Never null.
  SharedBytes page_content(const PageNode& page) const;

  // `key` of `dict`, references followed; nothing when absent or when it resolves to Null.
  std::optional<Object> dict_get(const Dict& dict, std::string_view key) const;
  // A copy of `object`, or of what it refers to.
  Object resolve(const Object& object) const { return file_->resolve(object); }

  const PdfFile& file() const { return *file_; }
  const std::shared_ptr<const PdfFile>& shared_file() const { return file_; }
  const Dict& trailer() const { return file_->trailer(); }
  const Dict& catalog() const { return catalog_; }

  // The font of object `number`, made by `load` the first time any page asks. Fonts are
  // immutable but for their own locked outline caches, so the pages of a document share them:
  // programs, encodings and outlines are read once per document, not once per page. Safe from
  // several threads; the lock is held only for the lookup and the insert, never while loading.
  std::shared_ptr<const Font> font(uint32_t number,
                                   const std::function<std::shared_ptr<const Font>()>& load) const;

 private:
  Document(std::shared_ptr<const PdfFile> file, Dict catalog, std::vector<PageNode> pages)
      : file_(std::move(file)), catalog_(std::move(catalog)), pages_(std::move(pages)) {}

  struct FontCache {
    std::mutex mutex;
    std::unordered_map<uint32_t, std::shared_ptr<const Font>> fonts;
  };

  std::shared_ptr<const PdfFile> file_;  // never null
  Dict catalog_;
  std::vector<PageNode> pages_;
  std::shared_ptr<FontCache> font_cache_ = std::make_shared<FontCache>();
};

}  // namespace kestrum
