// Loads a font dictionary the way a page would, from a small file built around it, so that font
// tests state the dictionary next to the assertion that reads it. Header only: the test support
// library itself does not link the reader.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "kestrum/font/font.h"
#include "kestrum/parser.h"
#include "support/pdf_builder.h"

namespace testing_support {

// The object number the font dictionary gets.
inline constexpr uint32_t kFontObject = 90;

// Loads the font dictionary `font` (PDF text) from a file that also holds the objects of
// `builder`, so that references and streams in the font resolve.
inline std::shared_ptr<const kestrum::Font> load_font(std::string_view font,
                                                      PdfBuilder builder = PdfBuilder()) {
  std::string pdf = builder.object(1, "<< /Type /Catalog /Pages 2 0 R >>")
                        .object(2, "<< /Type /Pages /Kids [] /Count 0 >>")
                        .object(kFontObject, font)
                        .trailer("/Root 1 0 R")
                        .build();
  kestrum::Result<std::shared_ptr<kestrum::PdfFile>> file = kestrum::PdfFile::load(to_bytes(pdf));
  EXPECT_TRUE(file) << file.error().message();
  if (!file) return nullptr;
  kestrum::SharedObject object = (*file)->get(kFontObject);
  const kestrum::Dict* dict = object->as_dict();
  EXPECT_NE(dict, nullptr) << font;
  static const kestrum::Dict kEmpty;
  return kestrum::Font::load(**file, dict != nullptr ? *dict : kEmpty);
}

}  // namespace testing_support
