#include "kestrum/crypt.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "kestrum/lexer.h"
#include "kestrum/parser.h"
#include "support/paths.h"
#include "support/pdf_builder.h"

namespace kestrum {
namespace {

using testing_support::corpus_file;
using testing_support::PdfBuilder;
using testing_support::read_file;
using testing_support::to_bytes;

using Span = std::span<const uint8_t>;

constexpr std::array<uint8_t, 32> kPadding = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};

std::string hex(Span bytes) {
  std::string out;
  for (uint8_t b : bytes) out += fmt::format("{:02x}", b);
  return out;
}

Bytes bytes_of(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

std::string text(Span bytes) {
  return std::string(bytes.begin(), bytes.end());
}

Result<std::shared_ptr<PdfFile>> open_corpus(std::string_view name, std::string_view password) {
  return PdfFile::load(to_bytes(read_file(corpus_file(name))), as_bytes(password));
}

std::string open_error(const std::string& pdf, std::string_view password = "") {
  auto file = PdfFile::load(to_bytes(pdf), as_bytes(password));
  return file ? "opened" : file.error().message();
}

// --- What an encrypted copy must share with its source once decrypted -----------------------

Object lookup(const PdfFile& file, const Object& dict, std::string_view key) {
  const Dict* d = dict.dict_or_stream_dict();
  const Object* v = d ? d->get(key) : nullptr;
  return v ? file.resolve(*v) : Object();
}

// The first leaf of the page tree, walked by hand.
Object first_page(const PdfFile& file) {
  Object node = lookup(file, file.resolve(*file.trailer().get("Root")), "Pages");
  for (int depth = 0; depth < 16 && !lookup(file, node, "Type").is_name("Page"); ++depth) {
    Object kids = lookup(file, node, "Kids");
    if (!kids.is_array() || kids.as_array()->empty()) return Object();
    node = file.resolve(kids.as_array()->front());
  }
  return node;
}

std::string decoded(const PdfFile& file, const Object& stream) {
  const Stream* s = stream.as_stream();
  if (s == nullptr) return "<not a stream: " + debug_string(stream) + ">";
  Result<Decoded> d = file.decode(*s);
  return d ? text(d->view()) : "<" + d.error().message() + ">";
}

struct Extract {
  std::string title;
  std::string author;
  std::string contents;                      // the first page's content streams, decoded
  std::map<std::string, std::string> fonts;  // base font name -> decoded embedded font program
};

Extract extract(const PdfFile& file) {
  Extract out;
  Object info = file.resolve(*file.trailer().get("Info"));
  auto text_entry = [&](std::string_view key) {
    Object value = lookup(file, info, key);
    const Bytes* s = value.as_string();
    return s ? text(*s) : "<" + debug_string(value) + ">";
  };
  out.title = text_entry("Title");
  out.author = text_entry("Author");
  Object page = first_page(file);
  Object contents = lookup(file, page, "Contents");
  if (const Array* parts = contents.as_array()) {
    for (const Object& part : *parts) out.contents += decoded(file, file.resolve(part));
  } else {
    out.contents = decoded(file, contents);
  }
  Object fonts = lookup(file, lookup(file, page, "Resources"), "Font");
  if (const Dict* d = fonts.as_dict()) {
    for (const auto& [key, ref] : *d) {
      Object font = file.resolve(ref);
      Object name = lookup(file, font, "BaseFont");
      Object descriptor = lookup(file, font, "FontDescriptor");
      for (const char* entry : {"FontFile", "FontFile2", "FontFile3"}) {
        Object program = lookup(file, descriptor, entry);
        if (name.is_name() && program.is_stream())
          out.fonts[*name.as_name()] = decoded(file, program);
      }
    }
  }
  return out;
}

// --- The corpus ------------------------------------------------------------------------------

// File keys of the corpus copies, as an independent implementation derives them.
struct CorpusCase {
  const char* file;
  const char* user;  // the user password
  const char* key;   // the file key in hex
  size_t key_length;
  CryptMethod method;
};
const CorpusCase kCorpus[] = {
    {"short-r2-rc4-40.pdf", "", "8f9b3d2193", 5, CryptMethod::Rc4},
    {"short-r2-rc4-40-secret.pdf", "secret", "c30e5fc024", 5, CryptMethod::Rc4},
    {"short-r3-rc4-128.pdf", "", "6c13f8f31b42ab45f9924acadb42cc08", 16, CryptMethod::Rc4},
    {"short-r3-rc4-128-secret.pdf", "secret", "6d38e5ed256e6cbd816e0a0dd7d017da", 16,
     CryptMethod::Rc4},
    {"short-r4-aes-128.pdf", "", "6c13f8f31b42ab45f9924acadb42cc08", 16, CryptMethod::Aes},
    {"short-r4-aes-128-secret.pdf", "secret", "6d38e5ed256e6cbd816e0a0dd7d017da", 16,
     CryptMethod::Aes},
    {"short-r6-aes-256.pdf", "", "d50cb69a88ad75d580e8a4d0bb89d36a575f697d5f43cc088ce60651d8663e3a",
     32, CryptMethod::Aes},
    {"short-r6-aes-256-secret.pdf", "secret",
     "39ee8e6e5ff2781441610cb466e8d4935a81a7e1ff80006c9ba2ea530661aaa7", 32, CryptMethod::Aes},
};

TEST(Decryptor, CorpusOpensAsUserAndOwnerAndMatchesTheSource) {
  auto source = open_corpus("short.pdf", "");
  ASSERT_TRUE(source) << source.error().message();
  ASSERT_EQ((*source)->decryptor(), nullptr);
  const Extract want = extract(**source);
  ASSERT_EQ(want.title, "Leaf Litter Decomposition in Riparian Woodland");
  ASSERT_NE(want.contents.find("Tf"), std::string::npos);
  ASSERT_FALSE(want.fonts.empty());

  for (const CorpusCase& c : kCorpus) {
    for (const char* password : {c.user, "owner"}) {
      SCOPED_TRACE(fmt::format("{} with password \"{}\"", c.file, password));
      auto file = open_corpus(c.file, password);
      ASSERT_TRUE(file) << file.error().message();
      const Decryptor* d = (*file)->decryptor();
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(hex(d->key), c.key);
      EXPECT_EQ(d->key.size(), c.key_length);
      EXPECT_EQ(d->string_method, c.method);
      EXPECT_EQ(d->stream_method, c.method);
      EXPECT_EQ(d->per_object_keys, c.key_length != 32);

      Extract got = extract(**file);
      EXPECT_EQ(got.title, want.title);
      EXPECT_EQ(got.author, "Maren Holt");
      EXPECT_EQ(got.contents, want.contents);
      EXPECT_EQ(got.fonts, want.fonts);
    }
  }
}

TEST(Decryptor, VersionFourWithoutLengthUses128BitKeys) {
  // The entry renamed in place, so that every offset stays right.
  std::string pdf = read_file(corpus_file("short-r4-aes-128.pdf"));
  size_t at = pdf.find("/Filter /Standard /Length 128");
  ASSERT_NE(at, std::string::npos);
  pdf.replace(at + 18, 7, "/Lxxxxx");
  auto file = PdfFile::load(to_bytes(pdf), {});
  ASSERT_TRUE(file) << file.error().message();
  EXPECT_EQ(hex((*file)->decryptor()->key), "6c13f8f31b42ab45f9924acadb42cc08");
}

TEST(Decryptor, RebuiltStreamOnlyFileStillDecrypts) {
  // The AES copies have only cross-reference streams, so the rebuild finds no "trailer" keyword;
  // /Encrypt and /ID must come from the cross-reference stream's dictionary.
  auto source = open_corpus("short.pdf", "");
  ASSERT_TRUE(source);
  for (const char* name : {"short-r4-aes-128.pdf", "short-r6-aes-256.pdf"}) {
    std::string pdf = read_file(corpus_file(name));
    size_t at = pdf.rfind("startxref");
    ASSERT_NE(at, std::string::npos);
    pdf.replace(at, 9, "startxrex");
    auto file = PdfFile::load(to_bytes(pdf), {});
    ASSERT_TRUE(file) << name << ": " << file.error().message();
    ASSERT_NE((*file)->decryptor(), nullptr) << name;
    EXPECT_EQ(extract(**file).contents, extract(**source).contents) << name;
  }
}

TEST(Decryptor, CorpusRefusesWrongPasswords) {
  for (const CorpusCase& c : kCorpus) {
    // The plain copies open with the empty password, so "secret" is wrong for them.
    const char* wrong = *c.user == '\0' ? "secret" : "";
    for (const char* password : {wrong, "Owner", "secret!"}) {
      auto file = open_corpus(c.file, password);
      ASSERT_FALSE(file) << c.file << " opened with \"" << password << "\"";
      EXPECT_EQ(file.error().message(), "invalid password") << c.file;
      EXPECT_NE(file.error().get<Error::Password>(), nullptr);
    }
  }
}

// --- Building blocks -------------------------------------------------------------------------

TEST(Rc4, KnownAnswers) {
  struct Case {
    std::string_view key, plain, cipher;
  };
  const Case kCases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(hex(rc4(as_bytes(c.key), as_bytes(c.plain))), c.cipher) << c.key;
    // The cipher is its own inverse.
    EXPECT_EQ(text(rc4(as_bytes(c.key), rc4(as_bytes(c.key), as_bytes(c.plain)))), c.plain);
  }
  EXPECT_EQ(text(rc4({}, as_bytes("unchanged"))), "unchanged");
}

TEST(Decryptor, PerObjectKeys) {
  Decryptor d;
  d.key = Bytes(5, 0x11);
  // n + 5 bytes of the digest, at most 16; AES salts the digest, so its key differs.
  ObjectKey rc4_key = d.object_key(7, 0, false);
  ObjectKey aes_key = d.object_key(7, 0, true);
  EXPECT_EQ(rc4_key.size, 10u);
  EXPECT_EQ(aes_key.size, 10u);
  EXPECT_NE(hex(rc4_key.view()), hex(aes_key.view()));
  EXPECT_NE(hex(rc4_key.view()), hex(d.object_key(8, 0, false).view()));
  EXPECT_NE(hex(rc4_key.view()), hex(d.object_key(7, 1, false).view()));
  // Only the low three bytes of the number count.
  EXPECT_EQ(hex(rc4_key.view()), hex(d.object_key(7 + (1u << 24), 0, false).view()));
  d.key = Bytes(16, 0x11);
  EXPECT_EQ(d.object_key(7, 0, false).size, 16u);
  d.key = Bytes(32, 0x22);
  d.per_object_keys = false;
  EXPECT_EQ(hex(d.object_key(7, 0, true).view()), hex(d.key));
}

// --- Fixtures encrypted in the test ----------------------------------------------------------

// AES-CBC encryption of whole blocks, no padding, straight from the cipher library.
Bytes aes_encrypt(Span key, Span iv, Span data) {
  const EVP_CIPHER* cipher = key.size() == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc();
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(data.size() + 16);
  int len = 0;
  int tail = 0;
  EVP_EncryptInit_ex(ctx, cipher, nullptr, key.data(), iv.data());
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  EVP_EncryptUpdate(ctx, out.data(), &len, data.data(), static_cast<int>(data.size()));
  EVP_EncryptFinal_ex(ctx, out.data() + len, &tail);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<size_t>(len + tail));
  return out;
}

const Bytes kFileKey = bytes_of("0123456789abcdefghijklmnopqrstuv");
const Bytes kIv = bytes_of("initialisationIV");

// IV and ciphertext of `plain` under the AES-256 file key; `pad` adds the usual padding.
Bytes aes_data(std::string_view plain, bool pad = true) {
  Bytes data = bytes_of(plain);
  if (pad)
    data.insert(data.end(), 16 - data.size() % 16, static_cast<uint8_t>(16 - data.size() % 16));
  Bytes out = kIv;
  Bytes cipher = aes_encrypt(kFileKey, kIv, data);
  out.insert(out.end(), cipher.begin(), cipher.end());
  return out;
}

std::string hex_string(Span bytes) {
  return "<" + hex(bytes) + ">";
}

struct V6Entries {
  std::string u;   // /U, as a hex string
  std::string ue;  // /UE, wrapping kFileKey
};

V6Entries v6_entries(std::string_view password) {
  const Bytes validation = bytes_of("uvsaltuv");
  const Bytes key_salt = bytes_of("uksaltuk");
  Bytes u = derive_key_v5(6, as_bytes(password), validation, {});
  u.insert(u.end(), validation.begin(), validation.end());
  u.insert(u.end(), key_salt.begin(), key_salt.end());
  const std::array<uint8_t, 16> zero_iv{};
  Bytes ue = aes_encrypt(derive_key_v5(6, as_bytes(password), key_salt, {}), zero_iv, kFileKey);
  return {hex_string(u), hex_string(ue)};
}

// A revision 6 encryption dictionary whose user password is `password` and whose /UE wraps
// kFileKey. Entries in `more` come last and so replace the defaults.
std::string v6_dictionary(std::string_view password, std::string_view more = "") {
  V6Entries e = v6_entries(password);
  return fmt::format(
      "<< /Filter /Standard /V 5 /R 6 /Length 256 /P -4 /O <{}> /U {} /UE {} /OE <{}> "
      "/CF << /StdCF << /CFM /AESV3 /Length 32 >> >> /StrF /StdCF /StmF /StdCF {} >>",
      std::string(96, 'e'), e.u, e.ue, std::string(64, 'e'), more);
}

PdfBuilder encrypted(std::string_view encrypt_dictionary) {
  PdfBuilder b;
  b.object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .object(2, "<< /Type /Pages /Kids [] /Count 0 >>")
      .object(9, encrypt_dictionary)
      .trailer("/Root 1 0 R /Encrypt 9 0 R /ID [<00112233445566778899aabbccddeeff> <00>]");
  return b;
}

std::string string_at(const PdfFile& file, uint32_t number) {
  SharedObject o = file.get(number);
  const Bytes* s = o->as_string();
  return s ? text(*s) : "<" + debug_string(*o) + ">";
}

std::string stream_at(const PdfFile& file, uint32_t number) {
  SharedObject o = file.get(number);
  const Stream* s = o->as_stream();
  return s ? text(s->bytes()) : "<" + debug_string(*o) + ">";
}

TEST(Decryptor, AesStringsAndTheirDamage) {
  struct Case {
    Bytes data;
    std::string want;
    const char* why;
  };
  Bytes iv_only = kIv;
  Bytes ragged = aes_data("twenty bytes");
  ragged.resize(ragged.size() + 4, 0);
  const Case kCases[] = {
      {aes_data("Hello"), "Hello", "five bytes and eleven of padding"},
      {aes_data("exactly sixteen!"), "exactly sixteen!", "a whole block of padding follows"},
      {aes_data(""), "", "the empty string is one block of padding"},
      {iv_only, "", "an initialisation vector alone holds nothing"},
      {ragged, "", "not whole blocks"},
      {aes_data(std::string(15, 'x') + '\0', false), std::string(15, 'x') + '\0',
       "a final byte of 0 is no padding"},
      {aes_data(std::string(15, 'x') + '\x11', false), std::string(15, 'x') + '\x11',
       "a final byte above 16 is no padding"},
      {aes_data(std::string(14, 'x') + "\x05\x02", false), std::string(14, 'x'),
       "padding bytes are not checked"},
  };
  PdfBuilder b = encrypted(v6_dictionary(""));
  for (size_t k = 0; k < std::size(kCases); ++k) {
    b.object(static_cast<uint32_t>(10 + k), hex_string(kCases[k].data));
  }
  auto file = PdfFile::load(to_bytes(b.build()), {});
  ASSERT_TRUE(file) << file.error().message();
  EXPECT_EQ((*file)->decryptor()->key, kFileKey);
  for (size_t k = 0; k < std::size(kCases); ++k) {
    EXPECT_EQ(string_at(**file, static_cast<uint32_t>(10 + k)), kCases[k].want) << kCases[k].why;
  }
}

TEST(Decryptor, WhatTheWalkLeavesInTheClear) {
  const std::string secret = hex_string(aes_data("a secret"));
  // Streams stored as written; strings still encrypted.
  {
    PdfBuilder b = encrypted(v6_dictionary("", "/StmF /Identity"));
    b.object(10, secret).stream(11, "/Note " + secret, "plain stream data");
    auto file = PdfFile::load(to_bytes(b.build()), {});
    ASSERT_TRUE(file) << file.error().message();
    EXPECT_EQ((*file)->decryptor()->stream_method, CryptMethod::Identity);
    EXPECT_EQ(string_at(**file, 10), "a secret");
    EXPECT_EQ(stream_at(**file, 11), "plain stream data");
    const Object* note = (*file)->get(11)->as_stream()->dict.get("Note");
    EXPECT_EQ(text(*note->as_string()), "a secret");
  }
  // Metadata in the clear when the file says so; the encryption dictionary and cross-reference
  // streams are never encrypted; other streams are.
  {
    PdfBuilder b = encrypted(v6_dictionary("", "/EncryptMetadata false"));
    Bytes stream_data = aes_data("encrypted stream");
    b.stream(10, "/Type /Metadata /Subtype /XML", "<x:xmpmeta/>")
        .stream(11, "/Type /XRef /ID [<0011>]", "raw xref rows")
        .stream(12, "", std::string(stream_data.begin(), stream_data.end()))
        .stream(13, "/Type /Metadata /Subtype /XML /Note " + secret, "<x:xmpmeta/>");
    auto file = PdfFile::load(to_bytes(b.build()), {});
    ASSERT_TRUE(file) << file.error().message();
    EXPECT_FALSE((*file)->decryptor()->encrypt_metadata);
    EXPECT_EQ(stream_at(**file, 10), "<x:xmpmeta/>");
    EXPECT_EQ(stream_at(**file, 11), "raw xref rows");
    EXPECT_EQ(hex(*(*file)->get(11)->as_stream()->dict.get("ID")->as_array()->at(0).as_string()),
              "0011");
    EXPECT_EQ(stream_at(**file, 12), "encrypted stream");
    // The metadata stream's dictionary is still an encrypted object's dictionary.
    EXPECT_EQ(text(*(*file)->get(13)->as_stream()->dict.get("Note")->as_string()), "a secret");
    EXPECT_EQ(stream_at(**file, 13), "<x:xmpmeta/>");
    // Read through the file before decrypting, the dictionary must stay as written.
    EXPECT_EQ((*file)->get(9)->as_dict()->get("U")->as_string()->size(), 48u);
  }
}

TEST(Decryptor, EntriesMayBeIndirect) {
  V6Entries e = v6_entries("");
  PdfBuilder b =
      encrypted(v6_dictionary("", "/U 23 0 R /UE 24 0 R /CF << /StdCF 20 0 R >> /V 21 0 R"));
  // Object 20 is read in the clear while the handler is set up; fetched later, it is decrypted.
  b.object(20, "<< /CFM 22 0 R /Note " + hex_string(aes_data("note")) + " >>");
  b.object(21, "5").object(22, "/AESV3");
  b.object(23, e.u).object(24, e.ue).object(10, hex_string(aes_data("indirect")));
  auto file = PdfFile::load(to_bytes(b.build()), {});
  ASSERT_TRUE(file) << file.error().message();
  EXPECT_EQ((*file)->decryptor()->key, kFileKey);
  EXPECT_EQ(string_at(**file, 10), "indirect");
  EXPECT_EQ(text(*(*file)->get(20)->as_dict()->get("Note")->as_string()), "note");
}

TEST(Decryptor, RevisionTwoAlwaysUsesFiveByteKeys) {
  LegacyEntries e;
  e.revision = 2;
  e.key_length = 5;
  e.owner = Bytes(32, 0x4F);
  e.permissions = -4;
  e.id = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  Bytes key = legacy_file_key(e, {});
  ASSERT_EQ(key.size(), 5u);
  Bytes u = rc4(key, kPadding);
  // A 128-bit /Length would give another key, and the user entry would not match it.
  const std::string dict =
      fmt::format("<< /Filter /Standard /V 2 /R 2 /Length 128 /P -4 /O {} /U {} >>",
                  hex_string(e.owner), hex_string(u));
  PdfBuilder b = encrypted(dict);
  ObjectKey object_key = Decryptor{key}.object_key(10, 0, false);
  b.object(10, hex_string(rc4(object_key.view(), as_bytes("forty-bit"))));
  auto file = PdfFile::load(to_bytes(b.build()), {});
  ASSERT_TRUE(file) << file.error().message();
  EXPECT_EQ((*file)->decryptor()->key, key);
  EXPECT_EQ(string_at(**file, 10), "forty-bit");
}

TEST(Decryptor, RefusedDictionaries) {
  struct Case {
    std::string dictionary;
    std::string password;
    std::string want;
  };
  const std::string r3 = "/Filter /Standard /R 3 /Length 128 /O <00> /U <00>";
  const Case kCases[] = {
      {"<< /Filter /FooSecurity /V 2 /R 3 >>", "",
       "unsupported encryption: security handler \"FooSecurity\""},
      {"<< /Filter /Odd#22Name /V 2 /R 3 >>", "",
       "unsupported encryption: security handler \"Odd\\\"Name\""},
      {"<< /V 2 /R 3 >>", "", "unsupported encryption: security handler \"\""},
      {"<< /Filter (Standard) /V 2 /R 3 >>", "", "unsupported encryption: security handler \"\""},
      {"<< " + r3 + " /V 0 /R 2 >>", "", "unsupported encryption: V 0"},
      {"<< " + r3 + " >>", "", "unsupported encryption: V 0"},  // /V missing
      {"<< " + r3 + " /V 7 >>", "", "unsupported encryption: V 7"},
      {"<< " + r3 + " /V 2 >>", "", "invalid password"},
      {"<< /Filter /Standard /V 5 /R 6 /O <" + std::string(96, '0') + "> /U <" +
           std::string(64, '0') + "> >>",
       "", "unsupported encryption: short O/U entries"},
      {"<< /Filter /Standard /V 5 /R 6 >>", "", "unsupported encryption: short O/U entries"},
      {v6_dictionary("secret"), "", "invalid password"},
      {v6_dictionary("secret"), "Secret", "invalid password"},
      {v6_dictionary("", "/UE null"), "", "unsupported encryption: bad OE/UE length"},
      {v6_dictionary("", "/UE <" + std::string(40, 'a') + ">"), "",
       "unsupported encryption: bad OE/UE length"},
      // One block passes the length rule but cannot be the key.
      {v6_dictionary("", "/UE <" + std::string(32, 'a') + ">"), "",
       "unsupported encryption: bad OE/UE length"},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(open_error(encrypted(c.dictionary).build(), c.password), c.want) << c.dictionary;
  }
  EXPECT_EQ(open_error(encrypted(v6_dictionary("secret")).build(), "secret"), "opened");
}

TEST(Decryptor, PasswordsOfRevisionSixAreCutAt127Bytes) {
  const std::string long_password(127, 'p');
  const std::string dict = v6_dictionary(long_password);
  EXPECT_EQ(open_error(encrypted(dict).build(), long_password + "ignored"), "opened");
  EXPECT_EQ(open_error(encrypted(dict).build(), long_password.substr(1)), "invalid password");
}

}  // namespace
}  // namespace kestrum
