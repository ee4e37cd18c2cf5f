#include "scrivane/cli.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <iostream>
#include <limits>
#include <mutex>
#include <optional>

#include "scrivane/backend/kestrum_backend.h"
#include "scrivane/emit/markdown.h"
#include "scrivane/emit/text.h"
#include "scrivane/emit/typst.h"
#include "scrivane/error.h"
#include "scrivane/figure.h"
#include "scrivane/layout/columns.h"
#include "scrivane/pipeline.h"
#include "scrivane/text/lines.h"

namespace scrivane {

namespace {

using CausePtr = std::shared_ptr<const Cause>;
using Status = std::expected<void, CausePtr>;

// Several threads may run the command line at once (from Python); each holds standard output
// for its whole run and standard error while it writes one report.
std::mutex& stdout_mutex() {
  static std::mutex m;
  return m;
}
std::mutex& stderr_mutex() {
  static std::mutex m;
  return m;
}

// Writes all of `data` to file descriptor `fd`, retrying short writes.
std::error_code write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return {errno, std::system_category()};
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

void write_stderr(std::string_view text) {
  std::lock_guard lock(stderr_mutex());
  std::cerr.flush();
  (void)write_all(STDERR_FILENO, text);
}

// Standard output behind one 8192-byte buffer.
class Output {
 public:
  static constexpr size_t kCapacity = 8192;

  Output() { buffer_.reserve(kCapacity); }

  Status write(std::string_view data) {
    if (buffer_.size() + data.size() > kCapacity) {
      if (auto s = flush_buffer(); !s) return s;
    }
    if (data.size() >= kCapacity) return check(write_all(STDOUT_FILENO, data));
    buffer_.append(data);
    return {};
  }

  // The buffer, then standard output itself.
  Status flush() {
    if (auto s = flush_buffer(); !s) return s;
    std::cout.flush();
    return {};
  }

 private:
  Status flush_buffer() {
    std::string_view pending = buffer_;
    auto code = write_all(STDOUT_FILENO, pending);
    buffer_.clear();
    return check(code);
  }
  static Status check(std::error_code code) {
    if (code) return std::unexpected(os_cause(code));
    return {};
  }

  std::string buffer_;
};

Status fail(std::string message) {
  return std::unexpected(text_cause(std::move(message)));
}

Status fail_with(std::string context, CausePtr cause) {
  return std::unexpected(with_context(std::move(context), std::move(cause)));
}

enum class Format : uint8_t { Md, Json, Typst, Text };

struct FormatInfo {
  const char* value;
  const char* help;
  const char* extension;
};
constexpr FormatInfo kFormats[] = {
    {"md", "GitHub-flavoured Markdown", "md"},
    {"json", "The document model. Every other format renders this", "json"},
    {"typst", "Typst, which models figures, tables and references natively", "typ"},
    {"text", "Plain text, for indexing", "txt"},
};

struct CavemanInfo {
  const char* value;
  const char* help;
  Caveman level;
};
constexpr CavemanInfo kCavemanLevels[] = {
    {"light", "Articles, copulas and stock phrases. Reads as clipped English", Caveman::Light},
    {"hard", "Also prepositions, pronouns and filler. Reads as telegraphese", Caveman::Hard},
};

std::string render(const Document& doc, Format format) {
  switch (format) {
    case Format::Md:
      return emit::markdown::render(doc);
    case Format::Typst:
      return emit::typst::render(doc);
    case Format::Text:
      return emit::text::render(doc);
    case Format::Json:
      return to_json(doc, JsonLayout::Pretty) + "\n";
  }
  return {};
}

std::error_code write_file(const std::filesystem::path& path, std::string_view text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return {errno, std::system_category()};
  std::error_code code = write_all(fd, text);
  if (::close(fd) != 0 && !code) code = {errno, std::system_category()};
  return code;
}

struct ConvertArgs {
  std::vector<std::string> inputs;
  Format format = Format::Md;
  std::optional<std::string> out;
  std::optional<std::string> assets;
  float figure_dpi = 150;
  Caveman caveman = Caveman::Off;
};

Status convert(Output& out, const ConvertArgs& args) {
  const size_t n = args.inputs.size();
  namespace fs = std::filesystem;
  if (n >= 2) {
    if (!args.out) return fail("converting several files needs --out <directory>");
    std::error_code code;
    fs::create_directories(*args.out, code);
    if (code) return fail_with(fmt::format("creating {}", *args.out), os_cause(code));
  }
  size_t failures = 0;
  for (const std::string& input : args.inputs) {
    std::string stem = input_stem(input);
    Options options;
    options.figure_dpi = args.figure_dpi;
    options.caveman = args.caveman;
    options.assets = assets_dir_for(n, stem, args.assets, args.out);
    auto doc = convert_with(fs::path(input), options);
    if (!doc) {
      if (n == 1) return fail_with(fmt::format("converting {}", input), doc.error().as_cause());
      write_stderr(fmt::format("{}: {}\n", input, doc.error().text()));
      ++failures;
      continue;
    }
    std::string text = render(*doc, args.format);
    if (n == 1 && !args.out) {
      if (auto s = out.write(text); !s) return s;
      continue;
    }
    fs::path target =
        n == 1
            ? fs::path(*args.out)
            : fs::path(*args.out) /
                  fmt::format("{}.{}", stem, kFormats[static_cast<size_t>(args.format)].extension);
    if (auto code = write_file(target, text))
      return fail_with(fmt::format("writing {}", target.string()), os_cause(code));
  }
  if (failures > 0) return fail(fmt::format("{} of {} files failed", failures, n));
  return {};
}

Status write_json_line(Output& out, JsonWriter& json) {
  std::string text = json.take();
  text.push_back('\n');
  return out.write(text);
}

Status dump(Output& out, const std::string& pdf, std::optional<size_t> page, bool pretty) {
  JsonWriter json(pretty ? JsonLayout::Pretty : JsonLayout::Compact);
  if (page) {
    auto backend = KestrumBackend::open_with_password(std::filesystem::path(pdf));
    if (!backend) return std::unexpected(backend.error().as_cause());
    FontTable fonts;
    auto raw = (*backend)->page(*page, fonts);
    if (!raw) return std::unexpected(raw.error().as_cause());
    json.begin_array();
    write_json(json, fonts);
    write_json(json, *raw);
    json.end_array();
    return write_json_line(out, json);
  }
  auto backend = KestrumBackend::open_with_password(std::filesystem::path(pdf));
  if (!backend) return fail_with(fmt::format("extracting {}", pdf), backend.error().as_cause());
  auto doc = extract_from(**backend, pdf);
  if (!doc) return fail_with(fmt::format("extracting {}", pdf), doc.error().as_cause());
  write_json(json, *doc);
  return write_json_line(out, json);
}

// Opens `pdf` and extracts every page, with the diagnostics' "extracting {}" context.
std::expected<DocRaw, CausePtr> extract_for_diagnostics(const std::string& pdf) {
  auto backend = KestrumBackend::open_with_password(std::filesystem::path(pdf));
  if (!backend)
    return std::unexpected(
        with_context(fmt::format("extracting {}", pdf), backend.error().as_cause()));
  auto doc = extract_from(**backend, pdf);
  if (!doc)
    return std::unexpected(with_context(fmt::format("extracting {}", pdf), doc.error().as_cause()));
  return std::move(*doc);
}

// A gutter coordinate as a 32-bit integer: truncated toward zero, clamped, NaN as 0.
int32_t gutter_int(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0f) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

std::string gutter_list(const std::vector<Gutter>& gutters) {
  std::string out = "[";
  for (size_t i = 0; i < gutters.size(); ++i) {
    if (i > 0) out += ", ";
    out += fmt::format("({}, {})", gutter_int(gutters[i].first), gutter_int(gutters[i].second));
  }
  return out + "]";
}

std::string probe_page(const PageRaw& page) {
  std::vector<Line> lines = build_lines(page);
  std::vector<Gutter> gutters = page_gutters(page, lines);
  std::string text = fmt::format(
      "    {:>3}: {:>5} glyphs  {:>3} paths  {:>2} images  {:.0f}x{:.0f}pt rot={}  {} lines  "
      "gutters={}\n",
      page.index, page.glyphs.size(), page.paths.size(), page.images.size(), page.width,
      page.height, page.rotation, lines.size(), gutter_list(gutters));
  for (const Region& region : regions(page)) {
    const Rect& r = region.bbox;
    float share = (r.x1 - r.x0) * 100.0f * (r.y1 - r.y0) / (page.width * page.height);
    text += fmt::format(
        "         figure {:.0f},{:.0f}..{:.0f},{:.0f}  {:.0f}% of page  {} images {} paths\n", r.x0,
        r.y0, r.x1, r.y1, share, region.images, region.paths);
  }
  return text;
}

Status probe(Output& out, const std::string& pdf, bool per_page) {
  auto started = std::chrono::steady_clock::now();
  auto doc = extract_for_diagnostics(pdf);
  if (!doc) return std::unexpected(doc.error());
  auto elapsed = std::chrono::steady_clock::now() - started;
  double ms = std::chrono::duration<double>(elapsed).count() * 1000.0;

  size_t glyphs = 0, images = 0;
  size_t kinds[4] = {0, 0, 0, 0};
  for (const PageRaw& page : doc->pages) {
    glyphs += page.glyphs.size();
    images += page.images.size();
    for (const PathItem& path : page.paths) ++kinds[static_cast<size_t>(path.kind)];
  }
  size_t n = doc->pages.size();
  std::string text = fmt::format("{}\n", pdf);
  text += fmt::format("  {} pages, {} glyphs, {} images in {:.0f} ms ({:.1f} ms/page)\n", n, glyphs,
                      images, ms, ms / static_cast<double>(std::max<size_t>(n, 1)));
  text += fmt::format("  paths: {} h-rules, {} v-rules, {} boxes, {} other\n", kinds[0], kinds[1],
                      kinds[2], kinds[3]);
  text += fmt::format("  fonts ({} distinct):\n", doc->fonts.names.size());

  std::unordered_map<std::string_view, size_t> per_font;
  for (const PageRaw& page : doc->pages)
    for (const Glyph& glyph : page.glyphs) ++per_font[doc->fonts.name(glyph.font)];
  std::vector<std::pair<std::string_view, size_t>> ranked(per_font.begin(), per_font.end());
  std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  constexpr size_t kShownFonts = 12;
  for (size_t i = 0; i < ranked.size() && i < kShownFonts; ++i) {
    double share = static_cast<double>(ranked[i].second) * 100.0 /
                   static_cast<double>(std::max<size_t>(glyphs, 1));
    text += fmt::format("    {:>7}  {:>5.1f}%  {}\n", ranked[i].second, share, ranked[i].first);
  }
  if (ranked.size() > kShownFonts)
    text += fmt::format("    ... and {} more\n", ranked.size() - kShownFonts);
  if (per_page) {
    text += "  per page:\n";
    for (const PageRaw& page : doc->pages) text += probe_page(page);
  }
  return out.write(text);
}

Status text(Output& out, const std::string& pdf, std::optional<size_t> page, bool geometry) {
  auto doc = extract_for_diagnostics(pdf);
  if (!doc) return std::unexpected(doc.error());
  for (const PageRaw& raw : doc->pages) {
    if (page && raw.index != *page) continue;
    std::string text = fmt::format("--- page {} ---\n", raw.index);
    for (const Line& line : build_lines(raw)) {
      if (geometry)
        text += fmt::format("[y={:7.2f} x={:6.1f}..{:6.1f} size={:5.2f}] ", line.baseline,
                            line.bbox.x0, line.bbox.x1, line.size);
      text += line.text();
      text += '\n';
    }
    if (auto s = out.write(text); !s) return s;
  }
  return {};
}

// The parsed command line: one subcommand and its arguments.
struct Parsed {
  enum class Command : uint8_t { Dump, Probe, Convert, Text } command = Command::Dump;
  std::string pdf;
  std::optional<size_t> page;
  bool pretty = false;
  bool pages = false;
  bool geometry = false;
  ConvertArgs convert;
};

Status execute(const Parsed& parsed) {
  std::lock_guard lock(stdout_mutex());
  Output out;
  Status status;
  switch (parsed.command) {
    case Parsed::Command::Dump:
      status = dump(out, parsed.pdf, parsed.page, parsed.pretty);
      break;
    case Parsed::Command::Probe:
      status = probe(out, parsed.pdf, parsed.pages);
      break;
    case Parsed::Command::Convert:
      status = convert(out, parsed.convert);
      break;
    case Parsed::Command::Text:
      status = text(out, parsed.pdf, parsed.page, parsed.geometry);
      break;
  }
  if (status) status = out.flush();
  if (!status && is_broken_pipe(*status.error())) return {};
  return status;
}

std::string listed_values(const char* heading, auto const& values) {
  std::string out = heading;
  out += "\n\nPossible values:";
  for (const auto& v : values) out += fmt::format("\n  - {}: {}", v.value, v.help);
  return out;
}

}  // namespace

std::string input_stem(const std::string& input) {
  auto name = last_normal_component(std::filesystem::path(input));
  if (!name) return {};
  size_t dot = name->rfind('.');
  if (dot != std::string::npos && dot > 0) name->resize(dot);
  return utf8_lossy(*name);
}

std::optional<std::filesystem::path> assets_dir_for(size_t inputs, const std::string& stem,
                                                    const std::optional<std::string>& assets,
                                                    const std::optional<std::string>& out) {
  namespace fs = std::filesystem;
  if (assets) return inputs == 1 ? fs::path(*assets) : fs::path(*assets) / stem;
  if (inputs >= 2 && out) return fs::path(*out) / (stem + "_assets");
  return std::nullopt;
}

int run_cli(const std::vector<std::string>& args) {
  std::string program = args.empty() ? std::string("scrivane")
                                     : std::filesystem::path(args.front()).filename().string();
  if (program.empty()) program = "scrivane";

  CLI::App app("Convert scientific PDFs to structured text", program);
  app.set_version_flag("-V,--version", "scrivane " SCRIVANE_VERSION);
  app.set_help_flag("-h,--help", "Print help");

  Parsed parsed;
  size_t page = 0;
  auto add_pdf = [&](CLI::App* sub) {
    sub->add_option("PDF", parsed.pdf)->required()->type_name("");
  };
  auto add_page = [&](CLI::App* sub) {
    return sub->add_option("-p,--page", page, "Restrict output to a single zero-based page")
        ->type_name("<PAGE>")
        ->check(CLI::NonNegativeNumber);
  };

  CLI::App* dump = app.add_subcommand("dump", "Dump extracted page primitives as JSON");
  add_pdf(dump);
  CLI::Option* dump_page = add_page(dump);
  dump->add_flag("--pretty", parsed.pretty);

  CLI::App* probe = app.add_subcommand(
      "probe", "Summarise what the backend sees, for eyeballing extraction quality");
  add_pdf(probe);
  probe->add_flag("--pages", parsed.pages,
                  "Show a per-page breakdown rather than just document totals");

  CLI::App* convert = app.add_subcommand("convert", "Convert one or more PDFs to structured text");
  convert->add_option("PDF", parsed.convert.inputs)->required()->expected(1, -1)->type_name("");
  std::string format = "md";
  std::vector<std::string> format_values;
  for (const auto& f : kFormats) format_values.push_back(f.value);
  convert->add_option("-f,--format", format, listed_values("Output format", kFormats))
      ->type_name("<FORMAT>")
      ->default_str("md")
      ->check(CLI::IsMember(format_values));
  std::string out_path, assets;
  CLI::Option* out_opt =
      convert
          ->add_option("-o,--out", out_path,
                       "Write to a file instead of stdout. With several inputs, a directory")
          ->type_name("<OUT>");
  CLI::Option* assets_opt =
      convert
          ->add_option("--assets", assets,
                       "Extract figures into this directory and reference them from the output")
          ->type_name("<ASSETS>");
  convert
      ->add_option("--figure-dpi", parsed.convert.figure_dpi, "Resolution to rasterise figures at")
      ->type_name("<FIGURE_DPI>")
      ->default_str("150");
  std::vector<std::string> caveman;
  std::vector<std::string> caveman_values;
  for (const auto& c : kCavemanLevels) caveman_values.push_back(c.value);
  CLI::Option* caveman_opt =
      convert
          ->add_option(
              "--caveman", caveman,
              listed_values(
                  "Strip grammatical scaffolding from the prose, for feeding to a model that "
                  "charges by the token. `light` drops articles, copulas and stock phrases. `hard` "
                  "also drops prepositions, pronouns and filler. Maths, tables and citations are "
                  "left alone",
                  kCavemanLevels))
          ->type_name("[<CAVEMAN>]")
          ->expected(0, 1)
          ->check(CLI::IsMember(caveman_values));

  CLI::App* text = app.add_subcommand(
      "text", "Print reconstructed lines, one per output line. Reading order is not applied yet");
  add_pdf(text);
  CLI::Option* text_page = add_page(text);
  text->add_flag("--geometry", parsed.geometry,
                 "Prefix each line with its baseline, x-range and dominant font size");

  std::vector<const char*> argv;
  argv.push_back(program.c_str());
  for (size_t i = 1; i < args.size(); ++i) argv.push_back(args[i].c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& e) {
    std::lock_guard lock(stdout_mutex());
    int code = app.exit(e, std::cout, std::cerr);
    std::cout.flush();
    std::cerr.flush();
    return code == 0 ? 0 : 2;
  }

  if (dump->parsed()) {
    parsed.command = Parsed::Command::Dump;
    if (dump_page->count() > 0) parsed.page = page;
  } else if (probe->parsed()) {
    parsed.command = Parsed::Command::Probe;
  } else if (convert->parsed()) {
    parsed.command = Parsed::Command::Convert;
    parsed.convert.format = static_cast<Format>(
        std::find(format_values.begin(), format_values.end(), format) - format_values.begin());
    if (out_opt->count() > 0) parsed.convert.out = out_path;
    if (assets_opt->count() > 0) parsed.convert.assets = assets;
    if (caveman_opt->count() > 0)
      parsed.convert.caveman =
          caveman.empty() || caveman.front() == "light" ? Caveman::Light : Caveman::Hard;
  } else if (text->parsed()) {
    parsed.command = Parsed::Command::Text;
    if (text_page->count() > 0) parsed.page = page;
  } else {
    // No subcommand: the help goes to standard error as a usage error.
    std::string help = app.help();
    write_stderr(help);
    return 2;
  }

  Status status = execute(parsed);
  if (status) return 0;
  write_stderr(fmt::format("Error: {}\n", long_form(*status.error())));
  return 1;
}

}  // namespace scrivane
