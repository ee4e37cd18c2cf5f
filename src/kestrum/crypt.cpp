#include "kestrum/crypt.h"

namespace kestrum {

// No cipher is implemented yet, so no file gets a Decryptor and `decrypt` is never reached
// with a real method.
Result<Decryptor> Decryptor::create(const Dict&, std::span<const uint8_t>, std::span<const uint8_t>,
                                    const PdfFile&) {
  return std::unexpected(
      Error::unsupported_encryption("encrypted documents are not supported yet"));
}

Bytes Decryptor::decrypt(CryptMethod, uint32_t, uint16_t, std::span<const uint8_t> data) const {
  return Bytes(data.begin(), data.end());
}

}  // namespace kestrum
