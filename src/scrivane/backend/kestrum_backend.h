// The backend over the kestrum reader: the only place where the converter touches the reader.
// It owns the opened reader document for the life of one conversion.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "scrivane/backend/page_source.h"

namespace scrivane {

class KestrumBackend : public PageSource {
 public:
  // Reads the whole file and opens it, decrypting with `password` when the file is encrypted.
  // Fails with PdfOpen "{path}: {reason}" when the file cannot be read or parsed.
  static std::expected<std::unique_ptr<KestrumBackend>, Error> open_with_password(
      const std::filesystem::path& path, std::optional<std::string> password = std::nullopt);

  ~KestrumBackend() override;

  size_t page_count() const override;
  std::expected<PageRaw, Error> page(size_t index, FontTable& fonts) override;
  std::expected<std::vector<uint8_t>, Error> render_region(size_t index, const Rect& region,
                                                           float dpi) override;

  const std::filesystem::path& path() const { return path_; }

 private:
  struct Reader;
  KestrumBackend(std::filesystem::path path, std::unique_ptr<Reader> reader);

  std::filesystem::path path_;
  std::unique_ptr<Reader> reader_;
};

}  // namespace scrivane
