#include "kestrum/document.h"

#include <algorithm>
#include <limits>
#include <unordered_set>
#include <utility>

#include "kestrum/page.h"

namespace kestrum {

namespace {

// Coordinates beyond the f32 range would become infinities that poison every later comparison.
float to_coordinate(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  return static_cast<float>(std::clamp(v, -kMax, kMax));
}

int32_t saturate_to_i32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

const std::shared_ptr<const Dict>& empty_resources() {
  static const std::shared_ptr<const Dict> kEmpty = std::make_shared<const Dict>();
  return kEmpty;
}

// What a node passes on to its kids; absent fields are taken from further up (or defaulted).
struct Inherited {
  std::shared_ptr<const Dict> resources;  // null: no ancestor has /Resources
  std::optional<Rect> media_box;
  std::optional<Rect> crop_box;
  std::optional<int64_t> rotate;
};

struct PendingNode {
  Object node;  // as written in the parent's /Kids: a Ref, or a direct dictionary
  std::shared_ptr<const Inherited> inherited;  // shared by the kids of one node; never null
  size_t depth;
};

class TreeWalk {
 public:
  explicit TreeWalk(const Document& document) : document_(document) {}

  // `root` is the resolved /Pages value, `root_ref` the reference it was reached through, so
  // that a kid pointing back at the root is recognised as a cycle.
  std::vector<PageNode> run(Object root, std::optional<Ref> root_ref) {
    std::vector<PageNode> pages;
    if (root_ref) visited_.insert(root_ref->num);
    stack_.push_back({std::move(root), std::make_shared<const Inherited>(), 0});
    while (!stack_.empty()) {
      PendingNode entry = std::move(stack_.back());
      stack_.pop_back();
      if (pages.size() >= kMaxPages || entry.depth > kMaxTreeDepth) break;
      if (std::optional<Ref> ref = entry.node.as_ref()) {
        // A node reached a second time is a cycle (or a node listed twice): it is walked once.
        if (!visited_.insert(ref->num).second) continue;
      }
      Object node = entry.node.is_ref() ? document_.resolve(entry.node) : std::move(entry.node);
      Dict* dict = node.is_dict()     ? node.as_dict()
                   : node.is_stream() ? &node.as_stream()->dict
                                      : nullptr;
      if (dict == nullptr) continue;
      Inherited inherited = inherit(*dict, *entry.inherited);

      Object kids;
      if (Object* written = dict->get_mut("Kids")) {
        if (written->is_array()) {
          kids = std::move(*written);  // the node is ours to take apart
        } else if (written->is_ref()) {
          kids = document_.resolve(*written);
        }
      }
      if (Array* list = kids.as_array()) {
        // Whatever its /Type says, a node with kids is inner. Reverse order puts the first kid
        // on top of the stack, so pages come out in document order.
        auto shared = std::make_shared<const Inherited>(std::move(inherited));
        for (auto it = list->rbegin(); it != list->rend(); ++it) {
          stack_.push_back({std::move(*it), shared, entry.depth + 1});
        }
        continue;
      }
      if (dict->has_name("Type", "Pages")) continue;  // an inner node that lost its kids
      pages.push_back(make_page(std::move(*dict), inherited));
    }
    return pages;
  }

 private:
  Inherited inherit(const Dict& dict, Inherited parent) const {
    // A null entry is the same as a missing one, so it does not hide the ancestors' resources.
    if (const Object* written = dict.get("Resources"); written != nullptr && !written->is_null()) {
      Object resolved = document_.resolve(*written);
      parent.resources = resolved.is_dict()
                             ? std::make_shared<const Dict>(std::move(*resolved.as_dict()))
                             : empty_resources();
    }
    // An unreadable box or rotation keeps what the ancestors said.
    if (std::optional<Object> box = document_.dict_get(dict, "MediaBox")) {
      if (std::optional<Rect> r = rect_from(*box)) parent.media_box = r;
    }
    if (std::optional<Object> box = document_.dict_get(dict, "CropBox")) {
      if (std::optional<Rect> r = rect_from(*box)) parent.crop_box = r;
    }
    if (std::optional<Object> rotate = document_.dict_get(dict, "Rotate")) {
      if (std::optional<int64_t> r = rotate->as_int()) parent.rotate = r;
    }
    return parent;
  }

  static PageNode make_page(Dict dict, const Inherited& inherited) {
    PageNode page;
    page.dict = std::move(dict);
    page.resources = inherited.resources ? inherited.resources : empty_resources();
    page.media_box = inherited.media_box.value_or(kDefaultMediaBox);
    page.crop_box = page.media_box;
    if (inherited.crop_box) {
      Rect clipped = intersect(*inherited.crop_box, page.media_box);
      if (has_area(clipped)) page.crop_box = clipped;
    }
    page.rotate = saturate_to_i32(inherited.rotate.value_or(0));
    return page;
  }

  const Document& document_;
  std::vector<PendingNode> stack_;
  std::unordered_set<uint32_t> visited_;
};

}  // namespace

std::optional<Rect> rect_from(const Object& object) {
  const Array* items = object.as_array();
  if (items == nullptr) return std::nullopt;
  float v[4];
  size_t n = 0;
  for (const Object& item : *items) {
    if (std::optional<double> number = item.as_number()) v[n++] = to_coordinate(*number);
    if (n == 4) break;
  }
  if (n < 4) return std::nullopt;
  return Rect{std::min(v[0], v[2]), std::min(v[1], v[3]), std::max(v[0], v[2]),
              std::max(v[1], v[3])};
}

Matrix page_matrix(const Rect& crop_box, int32_t rotate, float scale) {
  const auto [x0, y0, x1, y1] = crop_box;
  int32_t r = rotate % 360;
  if (r < 0) r += 360;
  Matrix m;
  switch (r) {
    case 90:  // (y - y0, x - x0)
      m = {0, 1, 1, 0, -y0, -x0};
      break;
    case 180:  // (x1 - x, y - y0)
      m = {-1, 0, 0, 1, x1, -y0};
      break;
    case 270:  // (y1 - y, x1 - x)
      m = {0, -1, -1, 0, y1, x1};
      break;
    default:  // (x - x0, y1 - y)
      m = {1, 0, 0, -1, -x0, y1};
      break;
  }
  return {m.a * scale, m.b * scale, m.c * scale, m.d * scale, m.e * scale, m.f * scale};
}

Result<Document> Document::from_bytes(Bytes bytes, std::span<const uint8_t> password) {
  Result<std::shared_ptr<PdfFile>> loaded = PdfFile::load(std::move(bytes), password);
  if (!loaded) return std::unexpected(loaded.error());
  std::shared_ptr<const PdfFile> file = std::move(*loaded);

  const Object* catalog_entry = file->trailer().get("Root");
  Object catalog = catalog_entry != nullptr ? file->resolve(*catalog_entry) : Object();
  Dict* catalog_dict = catalog.is_dict()     ? catalog.as_dict()
                       : catalog.is_stream() ? &catalog.as_stream()->dict
                                             : nullptr;
  if (catalog_dict == nullptr) return std::unexpected(Error::parse("catalog missing"));
  Document document(std::move(file), std::move(*catalog_dict), {});

  const Object* pages = document.catalog_.get("Pages");
  Object root = pages != nullptr ? document.resolve(*pages) : Object();
  if (root.is_null()) return std::unexpected(Error::parse("catalog has no /Pages"));
  document.pages_ = TreeWalk(document).run(std::move(root), pages->as_ref());
  return document;
}

Result<const PageNode*> Document::page_node(size_t index) const {
  if (index >= pages_.size()) return std::unexpected(Error::page_out_of_range(index));
  return &pages_[index];
}

Result<Page> Document::page(size_t index) const {
  Result<const PageNode*> node = page_node(index);
  if (!node) return std::unexpected(node.error());
  const PageNode& page_node = **node;
  SharedBytes content = page_content(page_node);
  Interpreter interpreter(*this);
  interpreter.run(*content, *page_node.resources, initial_state(page_node.crop_box), 0);
  Page page;
  page.index = index;
  page.media_box = page_node.media_box;
  page.crop_box = page_node.crop_box;
  page.rotate = page_node.rotate;
  interpreter.take_records(page);
  return page;
}

SharedBytes Document::page_content(const PageNode& page) const {
  std::optional<Object> contents = dict_get(page.dict, "Contents");
  if (!contents) return empty_bytes();
  std::span<const Object> parts = contents->is_array()
                                      ? std::span<const Object>(*contents->as_array())
                                      : std::span<const Object>(&*contents, 1);

  // While the page has one stream its decoded buffer is shared as it is; a second one starts a
  // joined copy.
  SharedBytes single;
  Bytes joined;
  bool is_joined = false;
  for (const Object& part : parts) {
    Object resolved = resolve(part);
    const Stream* stream = resolved.as_stream();
    if (stream == nullptr) continue;
    // An unknown filter or corrupt data loses this stream only; the others are still read.
    Result<Decoded> decoded = file_->decode(*stream);
    if (!decoded) continue;
    const Bytes& bytes = *decoded->bytes;
    if (!is_joined && (single == nullptr || single->empty())) {
      single = decoded->bytes;
      continue;
    }
    if (!is_joined) {
      joined.assign(single->begin(), single->end());
      single.reset();
      is_joined = true;
    }
    if (bytes.size() >= kMaxPageContentSize - joined.size()) break;
    joined.push_back('\n');
    joined.insert(joined.end(), bytes.begin(), bytes.end());
  }
  if (is_joined) return std::make_shared<const Bytes>(std::move(joined));
  return single != nullptr ? single : empty_bytes();
}

std::optional<Object> Document::dict_get(const Dict& dict, std::string_view key) const {
  const Object* value = dict.get(key);
  if (value == nullptr) return std::nullopt;
  Object resolved = file_->resolve(*value);
  if (resolved.is_null()) return std::nullopt;
  return resolved;
}

std::shared_ptr<const Font> Document::font(
    uint32_t number, const std::function<std::shared_ptr<const Font>()>& load) const {
  {
    std::lock_guard lock(font_cache_->mutex);
    if (auto it = font_cache_->fonts.find(number); it != font_cache_->fonts.end())
      return it->second;
  }
  std::shared_ptr<const Font> font = load();
  std::lock_guard lock(font_cache_->mutex);
  // Another page may have loaded it meanwhile; the first one stored is the one shared.
  return font_cache_->fonts.emplace(number, std::move(font)).first->second;
}

}  // namespace kestrum
