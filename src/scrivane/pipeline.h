// The conversion driver: one PDF file to one Document, stage by stage. The per-page stages run
// on the process-wide pool; everything else on the calling thread.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "scrivane/backend/page_source.h"
#include "scrivane/doc.h"
#include "scrivane/error.h"
#include "scrivane/ir.h"
#include "scrivane/layout/columns.h"
#include "scrivane/text/lines.h"

namespace scrivane {

enum class Caveman : uint8_t { Off, Light, Hard };

struct Options {
  // When set, figures and doubtful equations are rasterised into this directory.
  std::optional<std::filesystem::path> assets;
  float figure_dpi = 150;
  Caveman caveman = Caveman::Off;
};

std::expected<Document, Error> convert_with(const std::filesystem::path& path,
                                            const Options& options);
// The conversion of an opened source; `path` names it in messages.
std::expected<Document, Error> convert_from(PageSource& backend, std::string_view path,
                                            const Options& options);

// Every page of `backend` with one shared font table; refuses documents that look scanned.
std::expected<DocRaw, Error> extract_from(PageSource& backend, std::string_view path);

// Lines per page, split at the gutters of the bands they lie in, with the bands of every page.
struct BuiltPages {
  std::vector<std::vector<Line>> lines;
  std::vector<std::vector<Band>> bands;
};
BuiltPages build_pages(const DocRaw& doc);

// The last component of `path` when it is a normal one (not "..", not a root), as raw bytes.
std::optional<std::string> last_normal_component(const std::filesystem::path& path);

}  // namespace scrivane
