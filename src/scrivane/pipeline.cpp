#include "scrivane/pipeline.h"

#include <vector>

#include "scrivane/backend/kestrum_backend.h"

namespace scrivane {

namespace {

// A page is scanned when it has no glyph and one image covers more than half of it.
bool looks_scanned(const PageRaw& page) {
  if (!page.glyphs.empty()) return false;
  float area = page.width * page.height;
  if (!(area > 0)) return false;
  for (const ImageItem& image : page.images) {
    if (image.bbox.width() * image.bbox.height() / area > 0.5f) return true;
  }
  return false;
}

}  // namespace

std::optional<std::string> last_normal_component(const std::filesystem::path& path) {
  // Components as a path library sees them: "." entries are no components, ".." is not normal.
  std::string_view s = path.native();
  std::optional<std::string_view> last;
  while (!s.empty()) {
    size_t slash = s.find('/');
    std::string_view part = s.substr(0, slash);
    if (!part.empty() && part != ".") last = part;
    if (slash == std::string_view::npos) break;
    s.remove_prefix(slash + 1);
  }
  if (!last || *last == "..") return std::nullopt;
  return std::string(*last);
}

std::expected<DocRaw, Error> extract_from(PageSource& backend, std::string_view path) {
  DocRaw doc;
  size_t count = backend.page_count();
  doc.pages.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    auto page = backend.page(i, doc.fonts);
    if (!page) return std::unexpected(std::move(page.error()));
    doc.pages.push_back(std::move(*page));
  }
  size_t scanned = 0;
  for (const PageRaw& page : doc.pages) scanned += looks_scanned(page);
  if (2 * scanned > doc.pages.size())
    return std::unexpected(Error::scanned(std::string(path), scanned, doc.pages.size()));
  return doc;
}

std::expected<Document, Error> convert_with(const std::filesystem::path& path,
                                            const Options& options) {
  (void)options;
  auto backend = KestrumBackend::open_with_password(path);
  if (!backend) return std::unexpected(std::move(backend.error()));
  auto raw = extract_from(**backend, path.string());
  if (!raw) return std::unexpected(std::move(raw.error()));

  std::vector<float> heights;
  heights.reserve(raw->pages.size());
  for (const PageRaw& page : raw->pages) heights.push_back(page.height);

  Document doc;
  return doc;
}

}  // namespace scrivane
