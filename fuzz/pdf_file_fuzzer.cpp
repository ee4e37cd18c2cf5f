// A whole file through the file layer: PdfFile::load (cross-reference chain or rebuild,
// decryption with the empty password), then every object of the cross-reference in number
// order, every stream decoded, and the trailer's references resolved.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "kestrum/object.h"
#include "kestrum/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrum::Result<std::shared_ptr<kestrum::PdfFile>> loaded =
      kestrum::PdfFile::load(kestrum::Bytes(data, data + size));
  if (!loaded) {
    (void)loaded.error().message();
    return 0;
  }
  const kestrum::PdfFile& file = **loaded;

  std::vector<uint32_t> numbers;
  numbers.reserve(file.xref().size());
  for (const auto& [number, entry] : file.xref()) numbers.push_back(number);
  std::sort(numbers.begin(), numbers.end());
  for (uint32_t number : numbers) {
    kestrum::SharedObject object = file.get(number);
    if (object == nullptr) __builtin_trap();
    if (const kestrum::Stream* stream = object->as_stream()) {
      kestrum::Result<kestrum::Decoded> decoded = file.decode(*stream);
      if (!decoded) (void)decoded.error().message();
    }
  }
  for (const auto& [key, value] : file.trailer()) (void)file.resolve(value);
  return 0;
}
