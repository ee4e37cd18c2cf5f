// Encoders for building filter test data: the inverses of the reader's decoders.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

// PDF LZW: a clear code first, no further clears, the decoder's code-width rule (one code
// earlier with `early_change`), the table frozen once full, then the end-of-data code.
std::string lzw_encode(std::string_view data, bool early_change);

}  // namespace testing_support
