// A whole file through the document layer: Document::from_bytes (file, catalog, page tree),
// then every page's joined content through the tokenizer, with the fonts its resources name
// loaded and every shown string decoded by the font selected at that point.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kestrum/content.h"
#include "kestrum/document.h"
#include "kestrum/font/font.h"
#include "kestrum/object.h"

namespace {

using kestrum::Object;

// Fonts of one page by resource name, loaded on first use.
class PageFonts {
 public:
  PageFonts(const kestrum::Document& doc, const kestrum::Dict& resources) : doc_(doc) {
    if (std::optional<Object> fonts = doc.dict_get(resources, "Font")) {
      if (const kestrum::Dict* d = fonts->as_dict()) fonts_ = *d;
    }
  }

  const kestrum::Font* get(const std::string& name) {
    auto [it, fresh] = loaded_.try_emplace(name);
    if (fresh) {
      if (const Object* entry = fonts_.get(name)) {
        Object font = doc_.resolve(*entry);
        if (const kestrum::Dict* d = font.as_dict())
          it->second = kestrum::Font::load(doc_.file(), *d);
      }
    }
    return it->second.get();
  }

 private:
  const kestrum::Document& doc_;
  kestrum::Dict fonts_;
  std::map<std::string, std::shared_ptr<const kestrum::Font>> loaded_;
};

void show(const kestrum::Font* font, const Object& operand, std::vector<kestrum::CodeItem>& items) {
  if (font == nullptr) return;
  if (const kestrum::Bytes* s = operand.as_string()) {
    font->decode(*s, items);
    for (const kestrum::CodeItem& item : items) (void)font->glyph_name(item.code);
  } else if (const kestrum::Array* a = operand.as_array()) {
    for (const Object& element : *a) show(font, element, items);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kestrum::Result<kestrum::Document> doc =
      kestrum::Document::from_bytes(kestrum::Bytes(data, data + size));
  if (!doc) {
    (void)doc.error().message();
    return 0;
  }
  std::vector<kestrum::CodeItem> items;
  for (size_t i = 0; i < doc->page_count(); ++i) {
    kestrum::Result<const kestrum::PageNode*> page = doc->page_node(i);
    if (!page) __builtin_trap();
    (void)kestrum::page_matrix((*page)->crop_box, (*page)->rotate, 1.0f);
    kestrum::SharedBytes content = doc->page_content(**page);
    if (content == nullptr) __builtin_trap();
    PageFonts fonts(*doc, *(*page)->resources);
    const kestrum::Font* font = nullptr;
    kestrum::ContentParser parser(*content);
    kestrum::Operation op;
    while (parser.next(op)) {
      if (op.op == "Tf" && !op.operands.empty()) {
        if (const std::string* name = op.operands[0].as_name()) font = fonts.get(*name);
      } else if (op.op == "Tj" || op.op == "TJ" || op.op == "'" || op.op == "\"") {
        if (!op.operands.empty()) show(font, op.operands.back(), items);
      }
    }
  }
  if (doc->page_node(doc->page_count())) __builtin_trap();
  return 0;
}
