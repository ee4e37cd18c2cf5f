#include "scrivane/backend/kestrum_backend.h"

#include <fmt/format.h>

#include <fstream>

namespace scrivane {

// The reader's document; filled in once the reader can open files.
struct KestrumBackend::Reader {
  std::string bytes;
};

KestrumBackend::KestrumBackend(std::filesystem::path path, std::unique_ptr<Reader> reader)
    : path_(std::move(path)), reader_(std::move(reader)) {}

KestrumBackend::~KestrumBackend() = default;

std::expected<std::unique_ptr<KestrumBackend>, Error> KestrumBackend::open_with_password(
    const std::filesystem::path& path, std::optional<std::string> /*password*/) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code code(errno, std::system_category());
    return std::unexpected(Error::pdf_open(fmt::format("{}: {}", path.string(), code.message())));
  }
  return std::unexpected(
      Error::pdf_open(fmt::format("{}: the PDF reader is not available yet", path.string())));
}

size_t KestrumBackend::page_count() const {
  return 0;
}

std::expected<PageRaw, Error> KestrumBackend::page(size_t index, FontTable&) {
  return std::unexpected(Error::page_out_of_range(index));
}

std::expected<std::vector<uint8_t>, Error> KestrumBackend::render_region(size_t index, const Rect&,
                                                                         float) {
  return std::unexpected(Error::page_out_of_range(index));
}

}  // namespace scrivane
