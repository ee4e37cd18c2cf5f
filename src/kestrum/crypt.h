// The standard security handler: authenticates the password against a file's encryption
// dictionary and decrypts strings and stream data object by object. PdfFile::load builds the
// Decryptor once; it is immutable afterwards and may be used from any number of threads.
//
// Revisions 2 to 4 (RC4 and AES-128 with MD5-based keys, ISO 32000-1 section 7.6.3) and 5 and 6
// (AES-256 with SHA-2-based keys, ISO 32000-2 section 7.6.4) are supported; the algorithm numbers
// below are those of the standard.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "kestrum/error.h"
#include "kestrum/object.h"

namespace kestrum {

class PdfFile;

// The cipher applied to one class of data.
enum class CryptMethod : uint8_t {
  Rc4,
  Aes,  // CBC with the IV in front; AES-128 or AES-256 by the key length
  Identity,
};

// The key of one object: at most 32 bytes, kept inline so that decrypting a string allocates
// nothing but its result.
struct ObjectKey {
  std::array<uint8_t, 32> bytes{};
  size_t size = 0;
  std::span<const uint8_t> view() const { return std::span(bytes).first(size); }
};

struct Decryptor {
  Bytes key;  // the file key: 5 to 16 bytes for revisions 2 to 4, 32 for 5 and 6
  CryptMethod string_method = CryptMethod::Identity;
  CryptMethod stream_method = CryptMethod::Identity;
  bool encrypt_metadata = true;  // false: /Type /Metadata streams are stored in the clear
  bool per_object_keys = true;   // revisions 2 to 4 derive a key for every object

  // Reads the encryption dictionary (references resolved through `file`), checks the password
  // as owner, then as user (revisions 5 and 6) or as user, then as owner (2 to 4), and derives
  // the file key. `id` is the first element of the trailer's /ID, empty when there is none.
  // Fails with Password when the password fits neither, or UnsupportedEncryption("security
  // handler \"...\""), ("V {}"), ("short O/U entries") or ("bad OE/UE length").
  static Result<Decryptor> create(const Dict& encrypt, std::span<const uint8_t> id,
                                  std::span<const uint8_t> password, const PdfFile& file);

  // The key for the strings and streams of one object (algorithm 1; "sAlT" is added for AES).
  // Without per-object keys it is the file key.
  ObjectKey object_key(uint32_t number, uint16_t generation, bool aes) const;

  // The decrypted bytes of one string or stream of object `number`; never fails. Malformed AES
  // data (shorter than IV and one block, not whole blocks, or a key of neither 16 nor 32
  // bytes) decrypts to nothing.
  Bytes decrypt(CryptMethod method, uint32_t number, uint16_t generation,
                std::span<const uint8_t> data) const;
};

// What revisions 2 to 4 derive and check the file key from: the encryption dictionary's
// entries and the document identifier.
struct LegacyEntries {
  int64_t revision = 0;      // /R
  size_t key_length = 5;     // n, in bytes (5 to 16)
  Bytes owner;               // /O
  Bytes user;                // /U
  int32_t permissions = -1;  // /P
  Bytes id;                  // first element of the trailer's /ID
  bool encrypt_metadata = true;
};

// Algorithm 2: the file key that `password`, taken as the user password, gives.
Bytes legacy_file_key(const LegacyEntries& entries, std::span<const uint8_t> password);
// Algorithms 4 and 5: whether `key` reproduces /U.
bool legacy_check_user(const LegacyEntries& entries, std::span<const uint8_t> key);
// Algorithms 3 and 7: the user password /O holds when `password` is the owner password (for
// a wrong owner password, bytes that fail the user check).
Bytes legacy_owner_to_user(const LegacyEntries& entries, std::span<const uint8_t> password);

// Algorithm 2.B: the 32-byte hash of `password` (at most 127 bytes) with an 8-byte salt and,
// for the owner, the first 48 bytes of /U as `extra`. Revision 5 is one SHA-256; later
// revisions add the AES and SHA-256/384/512 rounds.
Bytes derive_key_v5(int64_t revision, std::span<const uint8_t> password,
                    std::span<const uint8_t> salt, std::span<const uint8_t> extra);
// AES-256-CBC with a zero IV and no padding, for unwrapping /OE and /UE; fails with
// UnsupportedEncryption("bad OE/UE length") unless the data is whole blocks and not empty.
Result<Bytes> aes256_cbc_no_pad_decrypt(std::span<const uint8_t> key,
                                        std::span<const uint8_t> data);
// The RC4 stream cipher; an empty key leaves the data unchanged.
Bytes rc4(std::span<const uint8_t> key, std::span<const uint8_t> data);

}  // namespace kestrum
