// The reader's error type. The lexer never fails; these values come only from operations that
// make a whole file, page or rendering unusable.
#pragma once

#include <cstddef>
#include <expected>
#include <string>
#include <system_error>
#include <type_traits>
#include <variant>

namespace kestrum {

class Error {
 public:
  struct Io {
    std::error_code code;
  };
  struct Parse {
    std::string message;
  };
  struct Password {};
  struct UnsupportedEncryption {
    std::string message;
  };
  struct PageOutOfRange {
    size_t index;
  };
  struct Page {
    size_t index;
    std::string message;
  };
  struct Render {
    std::string message;
  };
  using Variant =
      std::variant<Io, Parse, Password, UnsupportedEncryption, PageOutOfRange, Page, Render>;

  // Implicit from any variant alternative, so `return Parse{...};` works in Result functions.
  template <class T>
  requires std::is_constructible_v<Variant, T&&> Error(T&& v)
      : v_(std::forward<T>(v)) {}  // NOLINT(google-explicit-constructor)

  static Error io(std::error_code code) { return Io{code}; }
  static Error parse(std::string message) { return Parse{std::move(message)}; }
  static Error password() { return Password{}; }
  static Error unsupported_encryption(std::string message) {
    return UnsupportedEncryption{std::move(message)};
  }
  static Error page_out_of_range(size_t index) { return PageOutOfRange{index}; }
  static Error page(size_t index, std::string message) { return Page{index, std::move(message)}; }
  static Error render(std::string message) { return Render{std::move(message)}; }

  const Variant& variant() const { return v_; }
  template <class T>
  const T* get() const {
    return std::get_if<T>(&v_);
  }

  // The display text, e.g. "malformed pdf: no trailer".
  std::string message() const;
  // The underlying I/O error of Io, else an empty code.
  std::error_code io_code() const;

 private:
  Variant v_;
};

template <class T>
using Result = std::expected<T, Error>;

}  // namespace kestrum
