// Text measuring and drawing against Cairo on the same FreeType face, in one
// run.
//
// 100,000 short Windows-1252 strings (German words and numbers, 3 to 40
// characters, umlauts and ß among them) are measured and drawn by both sides:
//
//   | phase   | ours                                  | Cairo                                   |
//   |---------|---------------------------------------|-----------------------------------------|
//   | measure | Font::TextExtent (cp1252 bytes)       | cairo_scaled_font_text_extents (UTF-8)  |
//   | draw    | Font::Layout, then each glyph's mask  | cairo_move_to + cairo_show_text on an   |
//   |         | blended black over an ARGB32 buffer   | ARGB32 image surface, black source      |
//   | dc ...  | the same through a device context:    | as above                                |
//   |         | GetTextExtentPoint32 and TextOut      |                                         |
//   |         | (TA_BASELINE, TRANSPARENT) onto a     |                                         |
//   |         | raster bitmap                         |                                         |
//
// Both sides use the one FT_Face of our font (Liberation Sans for "Arial" at
// em 13 unless --em says otherwise): unhinted outlines (FT_LOAD_NO_HINTING /
// CAIRO_HINT_STYLE_NONE), grey anti-aliasing, unhinted metrics
// (CAIRO_HINT_METRICS_OFF). Cairo gets the strings already in UTF-8 (the
// conversion is not timed). Each phase runs once to warm the glyph caches,
// then --rounds times; the best round counts. The program prints the
// settings, the times, the ratio ours / Cairo and how far the widths agree
// (ours rounds each character's advance, Cairo sums exact advances).
//
//   text_bench [--strings=N] [--rounds=N] [--em=N]
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/common/bench_support.h"
#include "platform/codepage.h"
#include "platform/fonts/font.h"
#include "platform/gdi/dc.h"

namespace {

constexpr int kSurfaceWidth = 1024, kSurfaceHeight = 768;

std::vector<std::string> MakeStrings(int count) {
  static const char* const kWords[] = {
      "Müller", "Straße", "Größe", "Übersicht", "Kunde", "Rechnung", "Datum", "Betrag", "Änderung", "Öffnen",
      "Schließen", "Drucken", "Vorschau", "Seite", "Zeile", "Spalte", "Summe", "Name", "Ort", "Telefon",
      "Bestellung", "Lieferant", "Artikel", "Menge", "Preis", "€", "Nr.", "und", "für", "über"};
  std::mt19937 random(1234);
  std::vector<std::string> strings;
  strings.reserve(count);
  for (int i = 0; i < count; ++i) {
    std::string text;
    const int words = 1 + static_cast<int>(random() % 4);
    for (int w = 0; w < words; ++w) {
      if (w) text += ' ';
      if (random() % 5 == 0) text += std::to_string(random() % 100000);
      else text += kWords[random() % (sizeof kWords / sizeof kWords[0])];
    }
    strings.push_back(platform::Utf8ToCp1252(text.substr(0, 40)));
  }
  return strings;
}

// Source-over of a black coverage mask onto ARGB32 pixels, clipped to the
// surface: what a device context does with a glyph.
void BlendMask(std::vector<uint32_t>& pixels, int x0, int y0, const platform::fonts::CoverageMask& mask) {
  const int left = std::max(0, x0 + mask.left), right = std::min(kSurfaceWidth, x0 + mask.left + mask.width);
  const int top = std::max(0, y0 + mask.top), bottom = std::min(kSurfaceHeight, y0 + mask.top + mask.height);
  for (int y = top; y < bottom; ++y) {
    const uint8_t* alpha = mask.alpha.data() + static_cast<size_t>(y - y0 - mask.top) * mask.width;
    uint32_t* row = &pixels[static_cast<size_t>(y) * kSurfaceWidth];
    for (int x = left; x < right; ++x) {
      const uint32_t a = alpha[x - x0 - mask.left];
      if (a == 0) continue;
      const uint32_t keep = 255 - a, p = row[x];
      const uint32_t rb = ((p & 0x00FF00FFu) * keep / 255) & 0x00FF00FFu;
      const uint32_t g = (((p >> 8) & 0xFFu) * keep / 255) << 8;
      row[x] = 0xFF000000u | rb | g;
    }
  }
}

platform::fonts::Point Origin(size_t i) {
  return {static_cast<int>((i * 37) % 800), static_cast<int>(16 + (i * 13) % 740)};
}

template <typename Body>
double BestOf(int rounds, Body body) {
  body();  // warm-up
  double best = 1e30;
  for (int r = 0; r < rounds; ++r) {
    const auto start = bench::Clock::now();
    body();
    best = std::min(best, bench::SecondsSince(start));
  }
  return best;
}

int IntOption(int argc, char** argv, const char* name, int fallback) {
  const size_t length = std::strlen(name);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], name, length) == 0) return std::atoi(argv[i] + length);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = IntOption(argc, argv, "--strings=", 100000);
  const int rounds = IntOption(argc, argv, "--rounds=", 5);
  const int em = IntOption(argc, argv, "--em=", 13);

  const std::vector<std::string> strings = MakeStrings(count);
  std::vector<std::string> utf8;
  utf8.reserve(strings.size());
  size_t characters = 0;
  for (const std::string& s : strings) {
    utf8.push_back(platform::Cp1252ToUtf8(s));
    characters += s.size();
  }

  platform::fonts::SetTestFont(false);
  win::LOGFONT lf;
  lf.lfHeight = -em;
  win::SetFaceName(lf, "Arial");
  const auto font = platform::fonts::Font::Create(lf);
  FT_Face face = font->FreeTypeFace();
  if (!face) bench::Fail("Font::Create (no FreeType face)", 0);

  cairo_font_face_t* cairoFace = cairo_ft_font_face_create_for_ft_face(face, FT_LOAD_NO_HINTING);
  cairo_matrix_t fontMatrix, identity;
  cairo_matrix_init_scale(&fontMatrix, font->Em(), font->Em());
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_scaled_font_t* scaled = cairo_scaled_font_create(cairoFace, &fontMatrix, &identity, options);
  if (cairo_scaled_font_status(scaled) != CAIRO_STATUS_SUCCESS) bench::Fail("cairo_scaled_font_create", 0);

  // Measuring.
  long long oursTotal = 0;
  double cairoTotal = 0;
  const double measureOurs = BestOf(rounds, [&] {
    oursTotal = 0;
    for (const std::string& s : strings) oursTotal += font->TextExtent(s).x;
  });
  const double measureCairo = BestOf(rounds, [&] {
    cairoTotal = 0;
    cairo_text_extents_t extents;
    for (const std::string& s : utf8) {
      cairo_scaled_font_text_extents(scaled, s.c_str(), &extents);
      cairoTotal += extents.x_advance;
    }
  });
  size_t widthsApart = 0;
  cairo_text_extents_t extents;
  for (size_t i = 0; i < strings.size(); ++i) {
    cairo_scaled_font_text_extents(scaled, utf8[i].c_str(), &extents);
    if (std::fabs(font->TextExtent(strings[i]).x - extents.x_advance) > 1.5) ++widthsApart;
  }

  // Drawing.
  std::vector<uint32_t> pixels(static_cast<size_t>(kSurfaceWidth) * kSurfaceHeight, 0xFFFFFFFFu);
  const double drawOurs = BestOf(rounds, [&] {
    for (size_t i = 0; i < strings.size(); ++i) {
      const platform::fonts::Point at = Origin(i);
      const platform::fonts::TextRun run = font->Layout(strings[i]);
      for (const platform::fonts::PlacedMask& glyph : run.glyphs)
        BlendMask(pixels, at.x + glyph.anchor.x, at.y + glyph.anchor.y, *glyph.mask);
    }
  });
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSurfaceWidth, kSurfaceHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_scaled_font(cr, scaled);
  const double drawCairo = BestOf(rounds, [&] {
    for (size_t i = 0; i < utf8.size(); ++i) {
      const platform::fonts::Point at = Origin(i);
      cairo_move_to(cr, at.x, at.y);
      cairo_show_text(cr, utf8[i].c_str());
    }
    cairo_surface_flush(surface);
  });
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) bench::Fail("cairo_show_text", cairo_status(cr));

  // The same through a device context: the font realised from the DC's
  // selection on every call, glyphs blended through the clip region.
  const auto bitmap = win::Bitmap::Create(kSurfaceWidth, kSurfaceHeight, 32);
  bitmap->Fill(win::kWhite);
  win::Dc dc(bitmap);
  dc.SelectFont(lf);
  dc.SetBkMode(win::TRANSPARENT);
  dc.SetTextAlign(win::TA_BASELINE);
  long long dcTotal = 0;
  const double measureDc = BestOf(rounds, [&] {
    dcTotal = 0;
    win::SIZE size;
    for (const std::string& s : strings) {
      dc.GetTextExtentPoint32(s, &size);
      dcTotal += size.cx;
    }
  });
  if (dcTotal != oursTotal) bench::Fail("GetTextExtentPoint32 (widths differ from the font's)", 0);
  const double drawDc = BestOf(rounds, [&] {
    for (size_t i = 0; i < strings.size(); ++i) {
      const platform::fonts::Point at = Origin(i);
      dc.TextOut(at.x, at.y, strings[i]);
    }
  });

  const int major = FREETYPE_MAJOR, minor = FREETYPE_MINOR, patch = FREETYPE_PATCH;
  std::printf("Text measuring and drawing vs Cairo %s, %d strings (%zu characters), best of %d rounds\n",
              cairo_version_string(), count, characters, rounds);
  std::printf("face: %s (%s), em %d px, FreeType %d.%d.%d, one FT_Face for both sides\n", font->FaceName().c_str(),
              font->FilePath().c_str(), font->Em(), major, minor, patch);
  std::printf("ours: cp1252 width table, advances unhinted and rounded per character; glyphs FT_LOAD_NO_HINTING, "
              "8-bit coverage cached per character, blended onto a %dx%d ARGB32 buffer\n",
              kSurfaceWidth, kSurfaceHeight);
  std::printf("cairo: UTF-8 text, CAIRO_HINT_STYLE_NONE, CAIRO_HINT_METRICS_OFF, CAIRO_ANTIALIAS_GRAY, "
              "load flags FT_LOAD_NO_HINTING, ARGB32 image surface %dx%d\n",
              kSurfaceWidth, kSurfaceHeight);
  std::printf("%-10s %12s %12s %10s\n", "phase", "ours ms", "cairo ms", "ratio");
  std::printf("%-10s %12.2f %12.2f %10.2f\n", "measure", measureOurs * 1e3, measureCairo * 1e3,
              measureOurs / measureCairo);
  std::printf("%-10s %12.2f %12.2f %10.2f\n", "draw", drawOurs * 1e3, drawCairo * 1e3, drawOurs / drawCairo);
  std::printf("%-10s %12.2f %12.2f %10.2f\n", "dc measure", measureDc * 1e3, measureCairo * 1e3,
              measureDc / measureCairo);
  std::printf("%-10s %12.2f %12.2f %10.2f\n", "dc draw", drawDc * 1e3, drawCairo * 1e3, drawDc / drawCairo);
  std::printf("widths: ours %lld px, cairo %.1f px in all; %zu of %d strings more than 1.5 px apart\n", oursTotal,
              cairoTotal, widthsApart, count);

  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  cairo_scaled_font_destroy(scaled);
  cairo_font_options_destroy(options);
  cairo_font_face_destroy(cairoFace);
  return 0;
}
