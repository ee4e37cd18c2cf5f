// The standard security handler: authenticates the password against a file's encryption
// dictionary and decrypts strings and stream data object by object. PdfFile::load builds the
// Decryptor once; it is immutable afterwards and may be used from any number of threads.
#pragma once

#include <cstdint>
#include <span>

#include "kestrum/error.h"
#include "kestrum/object.h"

namespace kestrum {

class PdfFile;

// The cipher applied to one class of data.
enum class CryptMethod : uint8_t { Rc4, Aes, Identity };

struct Decryptor {
  Bytes key;  // the file key
  CryptMethod string_method = CryptMethod::Identity;
  CryptMethod stream_method = CryptMethod::Identity;
  bool encrypt_metadata = true;  // false: /Type /Metadata streams are stored in the clear
  bool per_object_keys = true;   // revisions 2 to 4 derive a key for every object

  // Reads the encryption dictionary (references resolved through `file`), checks the password
  // as owner or user and derives the file key. Fails with Password, UnsupportedEncryption or
  // Parse.
  static Result<Decryptor> create(const Dict& encrypt, std::span<const uint8_t> id,
                                  std::span<const uint8_t> password, const PdfFile& file);

  // The decrypted bytes of one string or stream of object `number`; never fails.
  Bytes decrypt(CryptMethod method, uint32_t number, uint16_t generation,
                std::span<const uint8_t> data) const;
};

}  // namespace kestrum
