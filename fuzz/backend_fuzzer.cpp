// The whole road from bytes to page primitives: the file opened through scrivane::KestrumBackend,
// every page extracted into one DocRaw with a shared font table, and the DocRaw written as the
// JSON of `dump`, which must be valid UTF-8. The backend opens paths, so the bytes are put in a
// memory file once per input and opened through /proc.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "kestrum/lexer.h"
#include "scrivane/backend/kestrum_backend.h"
#include "scrivane/error.h"
#include "scrivane/ir.h"
#include "scrivane/json.h"

namespace {

// The memory file that holds the current input, created on first use.
const std::filesystem::path& input_file(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("fuzz-input", 0);
  static const std::filesystem::path path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0) __builtin_trap();
  for (size_t done = 0; done < size;) {
    ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) __builtin_trap();
    done += static_cast<size_t>(n);
  }
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto backend = scrivane::KestrumBackend::open_with_password(input_file(data, size));
  if (!backend) {
    (void)scrivane::long_form(*backend.error().as_cause());
    return 0;
  }
  scrivane::DocRaw doc;
  for (size_t i = 0; i < (*backend)->page_count(); ++i) {
    auto page = (*backend)->page(i, doc.fonts);
    if (page) {
      doc.pages.push_back(std::move(*page));
    } else {
      (void)scrivane::long_form(*page.error().as_cause());
    }
  }
  if ((*backend)->page((*backend)->page_count(), doc.fonts)) __builtin_trap();
  scrivane::JsonWriter json;
  scrivane::write_json(json, doc);
  if (!kestrum::is_valid_utf8(kestrum::as_bytes(json.text()))) __builtin_trap();
  return 0;
}
