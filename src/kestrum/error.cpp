#include "kestrum/error.h"

#include <fmt/format.h>

namespace kestrum {

std::string Error::message() const {
  struct Visitor {
    std::string operator()(const Io& e) const {
      return fmt::format("io error: {}", e.code.message());
    }
    std::string operator()(const Parse& e) const {
      return fmt::format("malformed pdf: {}", e.message);
    }
    std::string operator()(const Password&) const { return "invalid password"; }
    std::string operator()(const UnsupportedEncryption& e) const {
      return fmt::format("unsupported encryption: {}", e.message);
    }
    std::string operator()(const PageOutOfRange& e) const {
      return fmt::format("page index {} out of range", e.index);
    }
    std::string operator()(const Page& e) const {
      return fmt::format("page {}: {}", e.index, e.message);
    }
    std::string operator()(const Render& e) const {
      return fmt::format("render error: {}", e.message);
    }
  };
  return std::visit(Visitor{}, v_);
}

std::error_code Error::io_code() const {
  if (auto* io = get<Io>()) return io->code;
  return {};
}

}  // namespace kestrum
