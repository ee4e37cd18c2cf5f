#include "scrivane/error.h"

#include <fmt/format.h>

#include <vector>

namespace scrivane {

std::string os_error_text(std::error_code code) {
  std::string text = code.message();
  if (code.category() == std::system_category() || code.category() == std::generic_category())
    text += fmt::format(" (os error {})", code.value());
  return text;
}

std::shared_ptr<const Cause> os_cause(std::error_code code) {
  return std::make_shared<const Cause>(Cause{os_error_text(code), code, nullptr});
}

std::shared_ptr<const Cause> text_cause(std::string text, std::shared_ptr<const Cause> source) {
  return std::make_shared<const Cause>(Cause{std::move(text), {}, std::move(source)});
}

std::string Error::text() const {
  struct Visitor {
    std::string operator()(const Io& e) const {
      return fmt::format("failed to read {}: {}", e.path.string(), os_error_text(e.source));
    }
    std::string operator()(const PdfOpen& e) const {
      return fmt::format("could not open the document: {}", e.reason);
    }
    std::string operator()(const PdfPage& e) const {
      return fmt::format("failed while reading page {}: {}", e.page,
                         e.source ? e.source->text : std::string());
    }
    std::string operator()(const Scanned& e) const {
      return fmt::format(
          "{} looks like a scanned document ({}/{} pages have no extractable text); scrivane "
          "handles born-digital PDFs only",
          e.path, e.scanned, e.total);
    }
    std::string operator()(const PageOutOfRange& e) const {
      return fmt::format("page {} is out of range", e.page);
    }
  };
  return std::visit(Visitor{}, v_);
}

std::shared_ptr<const Cause> Error::source() const {
  if (auto* io = get<Io>()) return os_cause(io->source);
  if (auto* page = get<PdfPage>()) return page->source;
  return nullptr;
}

std::shared_ptr<const Cause> Error::as_cause() const {
  std::error_code code;
  return std::make_shared<const Cause>(Cause{text(), code, source()});
}

std::shared_ptr<const Cause> with_context(std::string context, std::shared_ptr<const Cause> cause) {
  return text_cause(std::move(context), std::move(cause));
}

std::string long_form(const Cause& chain) {
  std::string out = chain.text;
  std::vector<const Cause*> causes;
  for (const Cause* c = chain.source.get(); c; c = c->source.get()) causes.push_back(c);
  if (causes.empty()) return out;
  out += "\n\nCaused by:";
  for (size_t i = 0; i < causes.size(); ++i) {
    out += "\n    ";
    if (causes.size() > 1) out += fmt::format("{}: ", i);
    out += causes[i]->text;
  }
  return out;
}

bool is_broken_pipe(const Cause& chain) {
  for (const Cause* c = &chain; c; c = c->source.get())
    if (c->os == std::errc::broken_pipe) return true;
  return false;
}

}  // namespace scrivane
