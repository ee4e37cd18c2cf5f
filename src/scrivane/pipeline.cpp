#include "scrivane/pipeline.h"

#include <vector>

#include "scrivane/backend/kestrum_backend.h"
#include "scrivane/figure.h"
#include "scrivane/layout/furniture.h"
#include "scrivane/layout/order.h"
#include "scrivane/layout/stats.h"
#include "scrivane/parallel.h"
#include "scrivane/refs.h"
#include "scrivane/text/vocab.h"

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

BuiltPages build_pages(const DocRaw& doc) {
  BuiltPages built;
  built.lines = parallel_map(doc.pages, [](const PageRaw& page) { return build_lines(page); });
  built.bands = document_bands(doc.pages, built.lines);
  parallel_for_index(doc.pages.size(), [&](size_t i) {
    const PageRaw& page = doc.pages[i];
    std::vector<Line>& lines = built.lines[i];
    const std::vector<Band>& bands = i < built.bands.size() ? built.bands[i] : std::vector<Band>{};
    if (bands.empty()) return;
    if (bands.size() == 1) {
      lines = split_at_gutters(page, std::move(lines), bands.front().gutters);
      return;
    }
    // Band by band, top to bottom: a band takes the lines whose vertical centre lies in it.
    std::vector<bool> taken(lines.size(), false);
    std::vector<Line> result;
    for (const Band& band : bands) {
      std::vector<Line> in_band;
      for (size_t k = 0; k < lines.size(); ++k) {
        float centre = (lines[k].bbox.y0 + lines[k].bbox.y1) / 2;
        if (taken[k] || !(centre >= band.top && centre < band.bottom)) continue;
        taken[k] = true;
        in_band.push_back(std::move(lines[k]));
      }
      for (Line& line : split_at_gutters(page, std::move(in_band), band.gutters))
        result.push_back(std::move(line));
    }
    lines = std::move(result);
  });
  return built;
}

std::expected<Document, Error> convert_with(const std::filesystem::path& path,
                                            const Options& options) {
  auto backend = KestrumBackend::open_with_password(path);
  if (!backend) return std::unexpected(std::move(backend.error()));
  return convert_from(**backend, path.string(), options);
}

std::expected<Document, Error> convert_from(PageSource& backend, std::string_view path,
                                            const Options& options) {
  auto raw = extract_from(backend, path);
  if (!raw) return std::unexpected(std::move(raw.error()));

  const DocRaw& pages = *raw;

  std::vector<float> heights;
  heights.reserve(pages.pages.size());
  for (const PageRaw& page : pages.pages) heights.push_back(page.height);

  BuiltPages built = build_pages(pages);
  std::vector<std::vector<Line>> lines = std::move(built.lines);
  layout::strip(lines, heights);
  std::vector<std::vector<Region>> figures =
      parallel_map(pages.pages, [](const PageRaw& page) { return regions(page); });
  Stats stats = Stats::measure(lines);
  lines = parallel_map(lines, [](std::vector<Line>& page_lines) {
    return layout::reading_order(std::move(page_lines));
  });
  (void)figures;

  Vocabulary vocabulary = Vocabulary::build(lines);
  Assembled assembled = assemble_placed(lines, heights, vocabulary, stats.body_size, stats.leading);
  Document doc = std::move(assembled.document);

  if (options.assets) {
    std::error_code code;
    std::filesystem::create_directories(*options.assets, code);
    if (code) return std::unexpected(Error::io(*options.assets, code));
  }

  extract_bibliography(doc);
  return doc;
}

}  // namespace scrivane
