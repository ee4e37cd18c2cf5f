// The conversion side's error type, and the chain of causes that callers report.
// Errors are values: every fallible operation returns std::expected<T, Error>.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <type_traits>
#include <variant>

namespace scrivane {

// One link of an error chain: its own text, the operating-system error it is (if any),
// and the cause it reports. Immutable once built, so chains are shared freely across threads.
struct Cause {
  std::string text;
  std::error_code os;
  std::shared_ptr<const Cause> source;
};

// An operating-system error as users read it: "No such file or directory (os error 2)".
std::string os_error_text(std::error_code code);

// A chain node for an operating-system error.
std::shared_ptr<const Cause> os_cause(std::error_code code);
// A chain node with its own text over an optional cause.
std::shared_ptr<const Cause> text_cause(std::string text,
                                        std::shared_ptr<const Cause> source = nullptr);

class Error {
 public:
  struct Io {
    std::filesystem::path path;
    std::error_code source;
  };
  struct PdfOpen {
    std::string reason;
  };
  struct PdfPage {
    size_t page;
    std::shared_ptr<const Cause> source;
  };
  struct Scanned {
    std::string path;
    size_t scanned;
    size_t total;
  };
  struct PageOutOfRange {
    size_t page;
  };
  using Variant = std::variant<Io, PdfOpen, PdfPage, Scanned, PageOutOfRange>;

  // Implicit from any variant alternative, so `return Parse{...};` works in Result functions.
  template <class T>
  requires std::is_constructible_v<Variant, T&&> Error(T&& v)
      : v_(std::forward<T>(v)) {}  // NOLINT(google-explicit-constructor)

  static Error io(std::filesystem::path path, std::error_code code) {
    return Io{std::move(path), code};
  }
  static Error pdf_open(std::string reason) { return PdfOpen{std::move(reason)}; }
  static Error pdf_page(size_t page, std::string cause) {
    return PdfPage{page, text_cause(std::move(cause))};
  }
  static Error scanned(std::string path, size_t scanned, size_t total) {
    return Scanned{std::move(path), scanned, total};
  }
  static Error page_out_of_range(size_t page) { return PageOutOfRange{page}; }

  const Variant& variant() const { return v_; }
  template <class T>
  const T* get() const {
    return std::get_if<T>(&v_);
  }

  // What users see after "Error: " or inside a Python exception.
  std::string text() const;
  // The cause this error reports, or null.
  std::shared_ptr<const Cause> source() const;
  // This error as the head of a cause chain (its text over its source).
  std::shared_ptr<const Cause> as_cause() const;

 private:
  Variant v_;
};

// The message chain of a failed command: `context` over `cause`.
std::shared_ptr<const Cause> with_context(std::string context, std::shared_ptr<const Cause> cause);

// The long form: the outermost text, then "\n\nCaused by:" and the causes, each on its own line
// indented by four spaces (numbered "0: ", "1: " ... when there are several).
std::string long_form(const Cause& chain);

// True when `chain` or any of its causes is the operating-system error "broken pipe".
bool is_broken_pipe(const Cause& chain);

}  // namespace scrivane
