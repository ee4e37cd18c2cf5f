// Stream filters: the general-purpose decoders (Flate, LZW, ASCIIHex, ASCII85, RunLength with
// the TIFF and PNG predictors). Decoding stops at the first image filter and hands its still
// encoded bytes on with the filter's name. Truncated or corrupt data yields what decoded before
// the damage; only the failures listed on `decode` are errors.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kestrum/error.h"
#include "kestrum/object.h"

namespace kestrum {

// Output cap of one decode (256 MiB), shared by all the filters of the stream: bounds the memory
// and the time a small hostile stream can claim, also when it chains decompressors, each
// inflating the output of the one before.
inline constexpr size_t kMaxDecodedSize = size_t{256} << 20;

// Turns an object, possibly a Ref, into the object it denotes, so that filter names and
// parameters may be indirect. The file supplies one that resolves through its cross-reference.
class Resolver {
 public:
  virtual ~Resolver() = default;
  virtual Object resolve(const Object& object) const = 0;
};

// For data that cannot hold references (inline images, tests): copies, a Ref becomes Null.
class DirectResolver final : public Resolver {
 public:
  Object resolve(const Object& object) const override;
};

struct Decoded {
  SharedBytes bytes;  // after all general filters applied; never null
  // The image filter at which decoding stopped, as written ("DCT" stays "DCT"); the bytes are
  // then that filter's input.
  std::optional<std::string> image_filter;

  std::span<const uint8_t> view() const { return *bytes; }
};

// Applies the stream's /Filter (or /F) with its /DecodeParms (or /DP). With no general filter
// the raw buffer itself is returned, shared. The filters together produce at most `limit`
// bytes: each one is cut off at what the ones before it left. Fails with
// Parse("unknown filter {}"), Parse("flate stream decoded to nothing") or
// Parse("png predictor row type {}").
Result<Decoded> decode(const Dict& dict, const SharedBytes& raw, const Resolver& resolver,
                       size_t limit = kMaxDecodedSize);
inline Result<Decoded> decode(const Stream& stream, const Resolver& resolver) {
  return decode(stream.dict, stream.data, resolver);
}

// The filter names in order; non-Name elements of a filter array are skipped.
std::vector<std::string> filter_names(const Dict& dict, const Resolver& resolver);

// /Predictor with /Colors, /BitsPerComponent and /Columns, applied after Flate and LZW.
Result<Bytes> apply_predictor(const Dict& params, const Resolver& resolver, Bytes bytes);

// The decoders themselves, before any predictor. `limit` caps the output.
Result<Bytes> flate_decode(std::span<const uint8_t> input, size_t limit = kMaxDecodedSize);
Bytes lzw_decode(std::span<const uint8_t> input, bool early_change = true,
                 size_t limit = kMaxDecodedSize);
Bytes ascii_hex_decode(std::span<const uint8_t> input, size_t limit = kMaxDecodedSize);
// `z` makes four bytes of one, so this one inflates too.
Bytes ascii85_decode(std::span<const uint8_t> input, size_t limit = kMaxDecodedSize);
Bytes run_length_decode(std::span<const uint8_t> input, size_t limit = kMaxDecodedSize);

}  // namespace kestrum
