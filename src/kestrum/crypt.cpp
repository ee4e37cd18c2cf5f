#include "kestrum/crypt.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <numeric>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <openssl/evp.h>

#include "kestrum/parser.h"

namespace kestrum {

namespace {

// Passwords of revisions 2 to 4 are padded or cut to 32 bytes with these.
constexpr std::array<uint8_t, 32> kPadding = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

constexpr size_t kAesBlock = 16;
// Revisions 5 and 6 use at most this much of the password.
constexpr size_t kMaxPasswordV5 = 127;
// The cipher library counts lengths in int: a stream of gigabytes is fed to it in steps of
// this size (a whole number of blocks, so CBC chaining carries across steps).
constexpr size_t kCipherStep = size_t{1} << 30;

using Span = std::span<const uint8_t>;

struct Digest {
  std::array<uint8_t, EVP_MAX_MD_SIZE> bytes{};
  unsigned size = 0;  // 0 when the library failed
  Span view() const { return Span(bytes).first(size); }
  Span first(size_t n) const { return Span(bytes).first(std::min<size_t>(n, size)); }
};

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

Digest digest(const EVP_MD* md, std::initializer_list<Span> parts) {
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) return {};
  for (Span part : parts) {
    if (!part.empty() && EVP_DigestUpdate(ctx.get(), part.data(), part.size()) != 1) return {};
  }
  Digest out;
  if (EVP_DigestFinal_ex(ctx.get(), out.bytes.data(), &out.size) != 1) return {};
  return out;
}

Digest md5(std::initializer_list<Span> parts) {
  return digest(EVP_md5(), parts);
}

// AES-CBC over whole blocks without padding, `in` to `out` (of the same size); the key's
// length chooses AES-128 or AES-256. False when the key has another length or the library
// fails.
bool aes_cbc(bool encrypt, Span key, Span iv, Span in, uint8_t* out) {
  const EVP_CIPHER* cipher = key.size() == 32   ? EVP_aes_256_cbc()
                             : key.size() == 16 ? EVP_aes_128_cbc()
                                                : nullptr;
  if (cipher == nullptr || iv.size() != kAesBlock || in.size() % kAesBlock != 0) return false;
  std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx || EVP_CipherInit_ex(ctx.get(), cipher, nullptr, key.data(), iv.data(), encrypt) != 1) {
    return false;
  }
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  size_t written = 0;
  for (size_t done = 0; done < in.size();) {
    const size_t step = std::min(kCipherStep, in.size() - done);
    int len = 0;
    if (EVP_CipherUpdate(ctx.get(), out + written, &len, in.data() + done,
                         static_cast<int>(step)) != 1) {
      return false;
    }
    done += step;
    written += static_cast<size_t>(len);
  }
  int len = 0;
  if (EVP_CipherFinal_ex(ctx.get(), out + written, &len) != 1) return false;
  return written + static_cast<size_t>(len) == in.size();
}

void rc4_in_place(Span key, std::span<uint8_t> data) {
  if (key.empty()) return;
  std::array<uint8_t, 256> s;
  std::iota(s.begin(), s.end(), uint8_t{0});
  uint8_t j = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    j = static_cast<uint8_t>(j + s[i] + key[i % key.size()]);
    std::swap(s[i], s[j]);
  }
  uint8_t i = 0;
  j = 0;
  for (uint8_t& byte : data) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + s[i]);
    std::swap(s[i], s[j]);
    byte ^= s[static_cast<uint8_t>(s[i] + s[j])];
  }
}

// RC4 under `key` with every key byte XORed with i, for each i in turn: the 20 passes of
// revisions 3 and 4.
void rc4_passes(Span key, std::span<uint8_t> data, int from, int to) {
  std::array<uint8_t, 16> xored{};
  const size_t n = std::min(key.size(), xored.size());
  const int step = from <= to ? 1 : -1;
  for (int i = from;; i += step) {
    for (size_t k = 0; k < n; ++k) xored[k] = static_cast<uint8_t>(key[k] ^ i);
    rc4_in_place(Span(xored).first(n), data);
    if (i == to) break;
  }
}

std::array<uint8_t, 32> padded_password(Span password) {
  std::array<uint8_t, 32> out;
  const size_t n = std::min(password.size(), out.size());
  std::copy_n(password.begin(), n, out.begin());
  std::copy_n(kPadding.begin(), out.size() - n, out.begin() + static_cast<ptrdiff_t>(n));
  return out;
}

Span first_bytes(Span s, size_t n) {
  return s.first(std::min(n, s.size()));
}

bool starts_equal(Span a, Span b, size_t n) {
  return a.size() >= n && b.size() >= n && std::equal(a.begin(), a.begin() + n, b.begin());
}

// A name as the error text shows it: in double quotes, with quotes, backslashes and control
// characters escaped.
std::string quoted(std::string_view name) {
  std::string out = "\"";
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += fmt::format("\\u{{{:x}}}", c);
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

// /StrF or /StmF through /CF. Anything unknown or malformed means the data is stored as is.
CryptMethod crypt_filter_method(const Object& name, const Object& filters, const PdfFile& file) {
  const std::string* n = name.as_name();
  if (n == nullptr || *n == "Identity") return CryptMethod::Identity;
  const Dict* cf = filters.as_dict();
  const Object* entry = cf ? cf->get(*n) : nullptr;
  if (entry == nullptr) return CryptMethod::Identity;
  Object filter = file.resolve(*entry);
  const Dict* fd = filter.as_dict();
  const Object* cfm = fd ? fd->get("CFM") : nullptr;
  if (cfm == nullptr) return CryptMethod::Identity;
  Object method = file.resolve(*cfm);
  if (method.is_name("V2")) return CryptMethod::Rc4;
  if (method.is_name("AESV2") || method.is_name("AESV3")) return CryptMethod::Aes;
  return CryptMethod::Identity;
}

}  // namespace

Bytes rc4(std::span<const uint8_t> key, std::span<const uint8_t> data) {
  Bytes out(data.begin(), data.end());
  rc4_in_place(key, out);
  return out;
}

Bytes legacy_file_key(const LegacyEntries& e, std::span<const uint8_t> password) {
  const std::array<uint8_t, 32> pw = padded_password(password);
  const auto p = static_cast<uint32_t>(e.permissions);
  const uint8_t p_bytes[4] = {static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 8),
                              static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 24)};
  static constexpr uint8_t kMetadataInClear[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  const Span metadata = e.revision >= 4 && !e.encrypt_metadata ? Span(kMetadataInClear) : Span();
  Digest d = md5({pw, first_bytes(e.owner, 32), p_bytes, e.id, metadata});
  const size_t n = std::min<size_t>(e.key_length, 16);
  if (e.revision >= 3) {
    for (int k = 0; k < 50; ++k) d = md5({d.first(n)});
  }
  Span key = d.first(n);
  return Bytes(key.begin(), key.end());
}

bool legacy_check_user(const LegacyEntries& e, std::span<const uint8_t> key) {
  if (e.user.size() < 16) return false;
  if (e.revision == 2) {
    std::array<uint8_t, 32> block = kPadding;
    rc4_in_place(key, block);
    return starts_equal(block, e.user, 32);
  }
  Digest d = md5({kPadding, e.id});
  std::array<uint8_t, 16> block;
  std::copy_n(d.bytes.begin(), block.size(), block.begin());
  rc4_passes(key, block, 0, 19);
  return starts_equal(block, e.user, 16);
}

Bytes legacy_owner_to_user(const LegacyEntries& e, std::span<const uint8_t> password) {
  Digest d = md5({padded_password(password)});
  if (e.revision >= 3) {
    for (int k = 0; k < 50; ++k) d = md5({d.view()});
  }
  Span key = d.first(std::min<size_t>(e.key_length, 16));
  Span owner = first_bytes(e.owner, 32);
  Bytes data(owner.begin(), owner.end());
  if (e.revision == 2) {
    rc4_in_place(key, data);
  } else {
    rc4_passes(key, data, 19, 0);
  }
  return data;
}

Bytes derive_key_v5(int64_t revision, std::span<const uint8_t> password,
                    std::span<const uint8_t> salt, std::span<const uint8_t> extra) {
  password = first_bytes(password, kMaxPasswordV5);
  Digest k = digest(EVP_sha256(), {password, salt, extra});
  if (revision != 5) {
    Bytes k1;
    Bytes e;
    // The last byte of E is at most 255, so the loop ends by round 287 whatever the data.
    for (int round = 1; k.size >= 32; ++round) {
      const size_t unit = password.size() + k.size + extra.size();
      k1.resize(unit * 64);
      for (size_t at = 0; at < k1.size(); at += unit) {
        auto out = k1.begin() + static_cast<ptrdiff_t>(at);
        out = std::copy(password.begin(), password.end(), out);
        out = std::copy_n(k.bytes.begin(), k.size, out);
        std::copy(extra.begin(), extra.end(), out);
      }
      e.assign(k1.size(), 0);
      if (!aes_cbc(true, k.first(16), k.view().subspan(16, 16), k1, e.data())) return {};
      unsigned sum = 0;
      for (size_t i = 0; i < 16; ++i) sum += e[i];
      const EVP_MD* md = sum % 3 == 0 ? EVP_sha256() : sum % 3 == 1 ? EVP_sha384() : EVP_sha512();
      k = digest(md, {e});
      if (round >= 64 && e.back() <= round - 32) break;
    }
  }
  if (k.size < 32) return {};
  Span key = k.first(32);
  return Bytes(key.begin(), key.end());
}

Result<Bytes> aes256_cbc_no_pad_decrypt(std::span<const uint8_t> key,
                                        std::span<const uint8_t> data) {
  if (data.empty() || data.size() % kAesBlock != 0 || key.size() != 32) {
    return std::unexpected(Error::unsupported_encryption("bad OE/UE length"));
  }
  static constexpr std::array<uint8_t, kAesBlock> kZeroIv{};
  Bytes out(data.size());
  if (!aes_cbc(false, key, kZeroIv, data, out.data())) {
    return std::unexpected(Error::unsupported_encryption("bad OE/UE length"));
  }
  return out;
}

Result<Decryptor> Decryptor::create(const Dict& encrypt, std::span<const uint8_t> id,
                                    std::span<const uint8_t> password, const PdfFile& file) {
  auto entry = [&](std::string_view key) {
    const Object* v = encrypt.get(key);
    return v ? file.resolve(*v) : Object();
  };
  auto string_entry = [&](std::string_view key) {
    Object v = entry(key);
    const Bytes* s = v.as_string();
    return s ? *s : Bytes();
  };

  Object filter = entry("Filter");
  if (!filter.is_name("Standard")) {
    const std::string* name = filter.as_name();
    return std::unexpected(Error::unsupported_encryption(
        fmt::format("security handler {}", quoted(name ? *name : std::string()))));
  }
  const int64_t v = entry("V").as_int().value_or(0);
  const int64_t r = entry("R").as_int().value_or(0);
  // /Length belongs to versions 2 and 3; a version 4 file may leave it out, and its crypt
  // filters then use 128-bit keys.
  const int64_t length_bits = entry("Length").as_int().value_or(v == 4 ? 128 : 40);
  // /P is a 32-bit field that some writers store as its unsigned value.
  const auto p = static_cast<int32_t>(static_cast<uint32_t>(entry("P").as_int().value_or(-1)));

  Decryptor d;
  d.encrypt_metadata = entry("EncryptMetadata").as_bool().value_or(true);
  if (v >= 4) {
    Object filters = entry("CF");
    d.string_method = crypt_filter_method(entry("StrF"), filters, file);
    d.stream_method = crypt_filter_method(entry("StmF"), filters, file);
  } else {
    d.string_method = CryptMethod::Rc4;
    d.stream_method = CryptMethod::Rc4;
  }

  Bytes owner = string_entry("O");
  Bytes user = string_entry("U");
  if (r > 4 || v == 5) {
    if (owner.size() < 48 || user.size() < 48) {
      return std::unexpected(Error::unsupported_encryption("short O/U entries"));
    }
    const Span o(owner);
    const Span u(user);
    Result<Bytes> key;
    if (starts_equal(derive_key_v5(r, password, o.subspan(32, 8), u.first(48)), o, 32)) {
      key = aes256_cbc_no_pad_decrypt(derive_key_v5(r, password, o.subspan(40, 8), u.first(48)),
                                      string_entry("OE"));
    } else if (starts_equal(derive_key_v5(r, password, u.subspan(32, 8), {}), u, 32)) {
      key = aes256_cbc_no_pad_decrypt(derive_key_v5(r, password, u.subspan(40, 8), {}),
                                      string_entry("UE"));
    } else {
      return std::unexpected(Error::password());
    }
    if (!key) return std::unexpected(std::move(key.error()));
    // The key is the first two blocks; a single block would be a wrong key that decrypts every
    // string and stream of the file to noise.
    if (key->size() < 32) {
      return std::unexpected(Error::unsupported_encryption("bad OE/UE length"));
    }
    key->resize(32);
    d.key = std::move(*key);
    d.per_object_keys = false;
    return d;
  }

  if (v < 1 || v > 4) {
    return std::unexpected(Error::unsupported_encryption(fmt::format("V {}", v)));
  }
  LegacyEntries legacy;
  legacy.revision = r;
  legacy.key_length = r == 2 ? 5 : static_cast<size_t>(std::clamp<int64_t>(length_bits / 8, 5, 16));
  legacy.owner = std::move(owner);
  legacy.user = std::move(user);
  legacy.permissions = p;
  legacy.id.assign(id.begin(), id.end());
  legacy.encrypt_metadata = d.encrypt_metadata;

  Bytes key = legacy_file_key(legacy, password);
  if (!legacy_check_user(legacy, key)) {
    key = legacy_file_key(legacy, legacy_owner_to_user(legacy, password));
    if (!legacy_check_user(legacy, key)) return std::unexpected(Error::password());
  }
  d.key = std::move(key);
  d.per_object_keys = true;
  return d;
}

ObjectKey Decryptor::object_key(uint32_t number, uint16_t generation, bool aes) const {
  ObjectKey out;
  if (!per_object_keys) {
    out.size = std::min(key.size(), out.bytes.size());
    std::copy_n(key.begin(), out.size, out.bytes.begin());
    return out;
  }
  const uint8_t suffix[9] = {static_cast<uint8_t>(number),
                             static_cast<uint8_t>(number >> 8),
                             static_cast<uint8_t>(number >> 16),
                             static_cast<uint8_t>(generation),
                             static_cast<uint8_t>(generation >> 8),
                             's',
                             'A',
                             'l',
                             'T'};
  Digest d = md5({key, Span(suffix).first(aes ? 9 : 5)});
  Span k = d.first(std::min<size_t>(key.size() + 5, 16));
  out.size = k.size();
  std::copy(k.begin(), k.end(), out.bytes.begin());
  return out;
}

Bytes Decryptor::decrypt(CryptMethod method, uint32_t number, uint16_t generation,
                         std::span<const uint8_t> data) const {
  switch (method) {
    case CryptMethod::Identity:
      break;
    case CryptMethod::Rc4: {
      Bytes out(data.begin(), data.end());
      rc4_in_place(object_key(number, generation, false).view(), out);
      return out;
    }
    case CryptMethod::Aes: {
      // The IV and at least one block: anything else is damage and decrypts to nothing.
      if (data.size() < 2 * kAesBlock || data.size() % kAesBlock != 0) return {};
      ObjectKey k = object_key(number, generation, true);
      Bytes out(data.size() - kAesBlock);
      if (!aes_cbc(false, k.view(), data.first(kAesBlock), data.subspan(kAesBlock), out.data())) {
        return {};
      }
      // The padding bytes themselves are not checked: a writer that got them wrong still
      // produced the right text before them.
      if (const uint8_t pad = out.back(); pad >= 1 && pad <= kAesBlock)
        out.resize(out.size() - pad);
      return out;
    }
  }
  return Bytes(data.begin(), data.end());
}

}  // namespace kestrum
