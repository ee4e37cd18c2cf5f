// Glyph outlines for every glyph shown on the first page of a corpus file, as the interpreter
// asks for them: once on freshly loaded fonts (each distinct glyph parsed and outlined once,
// repeats answered from the cache) and once on fonts whose caches are warm. xelatex.pdf embeds
// CID-keyed CFF, dvips.pdf Type 1C; article.pdf has Type 1 fonts, outlined from the machine's
// substitutes (none when no substitute font is installed).
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kestrum/content.h"
#include "kestrum/document.h"
#include "kestrum/font/font.h"
#include "kestrum/font/glyph.h"

namespace {

using kestrum::CodeItem;
using kestrum::Font;

// The fonts of page 1 and the strings shown in each, in content order.
struct PageText {
  std::optional<kestrum::Document> document;
  std::map<std::string, kestrum::Dict> font_dicts;
  std::vector<std::pair<std::string, kestrum::Bytes>> shows;  // (font resource name, string)
};

PageText page_text(const char* name) {
  PageText out;
  std::ifstream in(std::string(SCRIVANE_SOURCE_DIR) + "/tests/corpus/" + name, std::ios::binary);
  kestrum::Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  kestrum::Result<kestrum::Document> document = kestrum::Document::from_bytes(std::move(bytes));
  if (!document || document->page_count() == 0) return out;
  out.document.emplace(std::move(*document));
  const kestrum::Document& doc = *out.document;
  const kestrum::PageNode& page = doc.pages()[0];
  if (std::optional<kestrum::Object> fonts = doc.dict_get(*page.resources, "Font");
      fonts && fonts->is_dict()) {
    for (const auto& [resource, entry] : *fonts->as_dict()) {
      kestrum::Object font = doc.resolve(entry);
      if (font.is_dict()) out.font_dicts[resource] = *font.as_dict();
    }
  }
  kestrum::SharedBytes content = doc.page_content(page);
  kestrum::ContentParser parser(*content);
  kestrum::Operation op;
  std::string current;
  auto show = [&](const kestrum::Object& operand) {
    if (const kestrum::Bytes* string = operand.as_string())
      out.shows.emplace_back(current, *string);
  };
  while (parser.next(op)) {
    if (op.op == "Tf" && !op.operands.empty() && op.operands[0].is_name()) {
      current = *op.operands[0].as_name();
    } else if ((op.op == "Tj" || op.op == "'" || op.op == "\"") && !op.operands.empty()) {
      show(op.operands.back());
    } else if (op.op == "TJ" && !op.operands.empty() && op.operands[0].is_array()) {
      for (const kestrum::Object& element : *op.operands[0].as_array()) show(element);
    }
  }
  return out;
}

// Every shown glyph with its font, decoded from freshly loaded fonts.
std::vector<std::pair<std::shared_ptr<const Font>, CodeItem>> fresh_glyphs(const PageText& text) {
  std::map<std::string, std::shared_ptr<const Font>> fonts;
  for (const auto& [resource, dict] : text.font_dicts) {
    fonts[resource] = Font::load(text.document->file(), dict);
  }
  std::vector<std::pair<std::shared_ptr<const Font>, CodeItem>> glyphs;
  for (const auto& [resource, string] : text.shows) {
    auto it = fonts.find(resource);
    if (it == fonts.end()) continue;
    for (CodeItem& item : it->second->decode(string)) glyphs.emplace_back(it->second, item);
  }
  return glyphs;
}

void report(benchmark::State& state, size_t glyphs, size_t distinct, size_t outlined) {
  state.counters["glyphs"] =
      benchmark::Counter(static_cast<double>(glyphs) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  state.counters["per_page"] = static_cast<double>(glyphs);
  state.counters["distinct"] = static_cast<double>(distinct);
  state.counters["with_outline"] = static_cast<double>(outlined);
}

size_t distinct_glyphs(const std::vector<std::pair<std::shared_ptr<const Font>, CodeItem>>& all) {
  std::set<std::pair<const Font*, uint32_t>> seen;
  for (const auto& [font, item] : all) seen.emplace(font.get(), item.cid);
  return seen.size();
}

// Fresh fonts each pass: the first call for each distinct glyph parses and outlines it.
void BM_OutlinePageFirstCall(benchmark::State& state, const char* name) {
  const PageText text = page_text(name);
  if (!text.document) {
    state.SkipWithError("the corpus file did not open");
    return;
  }
  size_t glyphs = 0, distinct = 0, outlined = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto all = fresh_glyphs(text);
    state.ResumeTiming();
    outlined = 0;
    for (const auto& [font, item] : all) {
      std::shared_ptr<const kestrum::Outline> outline = font->outline(item);
      outlined += outline != nullptr;
      benchmark::DoNotOptimize(outline.get());
    }
    state.PauseTiming();
    glyphs = all.size();
    distinct = distinct_glyphs(all);
    all.clear();  // the fonts and their faces go here, outside the timing
    state.ResumeTiming();
  }
  report(state, glyphs, distinct, outlined);
}

// The same glyphs again on fonts whose caches hold them all.
void BM_OutlinePageCached(benchmark::State& state, const char* name) {
  const PageText text = page_text(name);
  if (!text.document) {
    state.SkipWithError("the corpus file did not open");
    return;
  }
  auto all = fresh_glyphs(text);
  size_t outlined = 0;
  for (const auto& [font, item] : all) outlined += font->outline(item) != nullptr;
  for (auto _ : state) {
    for (const auto& [font, item] : all) benchmark::DoNotOptimize(font->outline(item).get());
  }
  report(state, all.size(), distinct_glyphs(all), outlined);
}

BENCHMARK_CAPTURE(BM_OutlinePageFirstCall, xelatex, "xelatex.pdf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OutlinePageCached, xelatex, "xelatex.pdf")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OutlinePageFirstCall, dvips, "dvips.pdf")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OutlinePageCached, dvips, "dvips.pdf")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OutlinePageFirstCall, article_substitutes, "article.pdf")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OutlinePageCached, article_substitutes, "article.pdf")
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
