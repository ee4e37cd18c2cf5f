// How the filters fuzzer reads its input, shared with the seed generator: a few leading bytes
// choose the filter names and their parameters, the rest is the stream data.
//
//   byte 0          layout flags (kUse*)
//   per filter      name byte (index into kFilterNames), parameter flags (kHas*), then one
//                   value byte per flag set among Predictor, Colors, BitsPerComponent,
//                   Columns (two bytes), EarlyChange
//   rest            the raw stream data
#pragma once

#include <cstdint>
#include <string_view>

namespace fuzz_input {

// Recognised names, their abbreviations, and one unknown name.
inline constexpr std::string_view kFilterNames[] = {
    "FlateDecode",   "Fl",        "LZWDecode",       "LZW", "ASCIIHexDecode", "AHx",
    "ASCII85Decode", "A85",       "RunLengthDecode", "RL",  "Crypt",          "DCTDecode",
    "DCT",           "JPXDecode", "CCITTFaxDecode",  "CCF", "JBIG2Decode",    "NoSuchDecode",
};

// Layout flags (byte 0). The low two bits are the filter count less one.
inline constexpr uint8_t kCountMask = 0x03;
inline constexpr uint8_t kUseArray = 0x04;        // /Filter as an array even for one filter
inline constexpr uint8_t kUseShortKeys = 0x08;    // /F and /DP instead of /Filter, /DecodeParms
inline constexpr uint8_t kUseParamArray = 0x10;   // /DecodeParms as an array even for one
inline constexpr uint8_t kUseDirectCalls = 0x20;  // also run the decoders with a small cap

// Parameter flags (one byte per filter).
inline constexpr uint8_t kHasPredictor = 0x01;
inline constexpr uint8_t kHasColors = 0x02;
inline constexpr uint8_t kHasBits = 0x04;
inline constexpr uint8_t kHasColumns = 0x08;
inline constexpr uint8_t kHasEarlyChange = 0x10;
inline constexpr uint8_t kAsReals = 0x20;   // numbers written as Reals
inline constexpr uint8_t kAsRef = 0x40;     // the parameter dictionary is a reference
inline constexpr uint8_t kNotADict = 0x80;  // the entry is not a dictionary at all

// Values a parameter byte selects: byte values below the table size pick an extreme, larger
// bytes stand for themselves less the table size.
inline constexpr int64_t kExtremes[] = {
    0,
    -1,
    1,
    2,
    8,
    10,
    15,
    16,
    32,
    64,
    int64_t{1} << 31,
    int64_t{1} << 32,
    int64_t{1} << 62,
    INT64_MAX,
    INT64_MIN,
};

}  // namespace fuzz_input
