// The page sinks: PDF through Cairo, PNG through the raster, and the text
// collector of PageTexts. The PDF sink plays each page's metafile onto a DC
// whose output paints with Cairo (dc.h invariant 10): the DC keeps mapping,
// objects and clip, the painter turns each call into Cairo paths in device
// pixels of the page, and text goes out as the font's own glyphs at the
// positions our metrics give (cairo_show_glyphs), so the PDF matches what was
// measured. Cairo subsets each font once per file.
//
// On PDF the raster operations of blits become blend operators (SRCAND
// multiply, SRCPAINT lighten, SRCINVERT and DSTINVERT difference), exact for
// black and white; ROP2 modes of lines are drawn as plain copies.
#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <map>

#include "platform/base/system.h"
#include "platform/gdi/dib.h"
#include "platform/gdi/png.h"
#include "platform/gdi/wmf/metafile.h"
#include "platform/gdi/wmf/records.h"
#include "platform/print/job.h"

namespace platform::print {

namespace {

using win::Dc;
using win::POINT;
using win::RECT;

void SetColour(cairo_t* cr, win::COLORREF c) {
  cairo_set_source_rgb(cr, win::GetRValue(c) / 255.0, win::GetGValue(c) / 255.0, win::GetBValue(c) / 255.0);
}

// Fonts whose FreeType faces Cairo has been given stay alive with the
// process: Cairo may keep its font faces beyond a file.
std::map<const fonts::Font*, std::pair<std::shared_ptr<const fonts::Font>, cairo_font_face_t*>>& CairoFaces() {
  static std::map<const fonts::Font*, std::pair<std::shared_ptr<const fonts::Font>, cairo_font_face_t*>> faces;
  return faces;
}

cairo_font_face_t* FaceOf(const std::shared_ptr<const fonts::Font>& font) {
  auto& faces = CairoFaces();
  auto it = faces.find(font.get());
  if (it == faces.end())
    it = faces.emplace(font.get(), std::pair{font, cairo_ft_font_face_create_for_ft_face(font->FreeTypeFace(), 0)}).first;
  return it->second.second;
}

class CairoPainter final : public win::DcOutput {
 public:
  explicit CairoPainter(cairo_t* cr) : cr_(cr) {}

  void LineTo(const Dc& dc, POINT from, POINT to) override {
    Scope scope(*this, dc);
    if (!Pen(dc)) return;
    const POINT a = dc.ToDevice(from), b = dc.ToDevice(to);
    cairo_move_to(cr_, a.x + 0.5, a.y + 0.5);
    cairo_line_to(cr_, b.x + 0.5, b.y + 0.5);
    cairo_stroke(cr_);
  }
  void Poly(const Dc& dc, bool closed, std::span<const POINT> points) override {
    Scope scope(*this, dc);
    const auto path = [&](double shift) {
      cairo_new_path(cr_);
      for (const POINT& p : points) {
        const POINT d = dc.ToDevice(p);
        cairo_line_to(cr_, d.x + shift, d.y + shift);
      }
      if (closed) cairo_close_path(cr_);
    };
    if (closed && Brush(dc, dc.Current().brush)) {
      path(0);
      cairo_set_fill_rule(cr_, dc.Current().polyFillMode == win::WINDING ? CAIRO_FILL_RULE_WINDING
                                                                         : CAIRO_FILL_RULE_EVEN_ODD);
      cairo_fill(cr_);
    }
    if (Pen(dc)) {
      path(0.5);
      cairo_stroke(cr_);
    }
  }
  void Box(const Dc& dc, uint16_t kind, const RECT& r, int w, int h) override {
    Scope scope(*this, dc);
    const RECT d = dc.ToDevice(r);
    const POINT o = dc.ToDevice(POINT{0, 0}), c = dc.ToDevice(POINT{w, h});
    const double rx = kind == win::wmf::kEllipse ? (d.right - d.left) / 2.0 : std::abs(c.x - o.x) / 2.0;
    const double ry = kind == win::wmf::kEllipse ? (d.bottom - d.top) / 2.0 : std::abs(c.y - o.y) / 2.0;
    const auto path = [&](double inset) {
      cairo_new_path(cr_);
      const double l = d.left + inset, t = d.top + inset, rr = d.right - inset, b = d.bottom - inset;
      if (kind == win::wmf::kRectangle || rx <= 0 || ry <= 0) {
        cairo_rectangle(cr_, l, t, rr - l, b - t);
        return;
      }
      // Rounded corners (an ellipse is all corner): quarter arcs of radii rx, ry.
      const double x0 = l + rx, x1 = std::max(x0, rr - rx), y0 = t + ry, y1 = std::max(y0, b - ry);
      const auto arc = [&](double cx, double cy, double a0) {
        cairo_save(cr_);
        cairo_translate(cr_, cx, cy);
        cairo_scale(cr_, std::max(rx - inset, 0.01), std::max(ry - inset, 0.01));
        cairo_arc(cr_, 0, 0, 1, a0, a0 + M_PI / 2);
        cairo_restore(cr_);
      };
      arc(x1, y1, 0);
      arc(x0, y1, M_PI / 2);
      arc(x0, y0, M_PI);
      arc(x1, y0, 3 * M_PI / 2);
      cairo_close_path(cr_);
    };
    if (Brush(dc, dc.Current().brush)) {
      path(0);
      cairo_fill(cr_);
    }
    if (Pen(dc)) {
      path(0.5);
      cairo_stroke(cr_);
    }
  }
  void SetPixel(const Dc& dc, int x, int y, win::COLORREF c) override {
    Scope scope(*this, dc);
    const POINT d = dc.ToDevice(POINT{x, y});
    SetColour(cr_, c);
    cairo_rectangle(cr_, d.x, d.y, 1, 1);
    cairo_fill(cr_);
  }
  void FillRegion(const Dc& dc, uint16_t kind, const win::Region& region, const win::Brush* brush, int w,
                  int h) override {
    Scope scope(*this, dc);
    if (kind == win::wmf::kInvertRegion) {
      cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
      SetColour(cr_, win::RGB(255, 255, 255));
    } else if (!Brush(dc, brush ? *brush : dc.Current().brush)) {
      return;
    }
    const POINT o = dc.ToDevice(POINT{0, 0}), c = dc.ToDevice(POINT{w, h});
    const double fw = std::max(1, std::abs(c.x - o.x)), fh = std::max(1, std::abs(c.y - o.y));
    for (const win::Region::Band& band : region.Bands()) {
      for (const win::Region::Span& s : band.spans) {
        const RECT d = dc.ToDevice(RECT{s.left, band.top, s.right, band.bottom});
        if (kind == win::wmf::kFrameRegion) {
          // Each rectangle framed w x h wide inside its edge.
          cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
          cairo_rectangle(cr_, d.left, d.top, d.right - d.left, d.bottom - d.top);
          if (d.right - d.left > 2 * fw && d.bottom - d.top > 2 * fh)
            cairo_rectangle(cr_, d.left + fw, d.top + fh, d.right - d.left - 2 * fw, d.bottom - d.top - 2 * fh);
          cairo_fill(cr_);
        } else {
          cairo_rectangle(cr_, d.left, d.top, d.right - d.left, d.bottom - d.top);
        }
      }
    }
    if (kind != win::wmf::kFrameRegion) cairo_fill(cr_);
  }
  void PatBlt(const Dc& dc, int x, int y, int width, int height, win::DWORD rop) override {
    Scope scope(*this, dc);
    const RECT d = dc.ToDevice(RECT{x, y, win::Clamp32(int64_t(x) + width), win::Clamp32(int64_t(y) + height)});
    switch (rop) {
      case win::BLACKNESS: SetColour(cr_, 0); break;
      case win::WHITENESS: SetColour(cr_, win::RGB(255, 255, 255)); break;
      case win::DSTINVERT:
        cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
        SetColour(cr_, win::RGB(255, 255, 255));
        break;
      default:
        if (rop == win::PATINVERT) cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
        if (!Brush(dc, dc.Current().brush)) return;
        break;
    }
    cairo_rectangle(cr_, d.left, d.top, d.right - d.left, d.bottom - d.top);
    cairo_fill(cr_);
  }
  void Text(const Dc& dc, int x, int y, win::UINT options, const RECT* rect, std::string_view text,
            const int* dx) override {
    Scope scope(*this, dc);
    const Dc::TextPlacement t = dc.PlaceText(x, y, text, dx);
    if (rect) {
      const RECT r = dc.ToDevice(*rect);
      if (options & win::ETO_OPAQUE) {
        SetColour(cr_, dc.Current().bkColor);
        cairo_rectangle(cr_, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_fill(cr_);
      }
      if (options & win::ETO_CLIPPED) {
        cairo_rectangle(cr_, r.left, r.top, r.right - r.left, r.bottom - r.top);
        cairo_clip(cr_);
      }
    }
    const fonts::Font& font = *t.font;
    const win::TEXTMETRIC& tm = font.Metrics();
    const auto at = [&](int64_t along, int64_t down) {
      const fonts::Point p = font.Offset(along, down);
      return std::pair{double(t.ref.x) + p.x, double(t.ref.y) + p.y};
    };
    const auto quad = [&](int64_t a0, int64_t d0, int64_t a1, int64_t d1) {
      cairo_new_path(cr_);
      for (const auto& [a, d] : {std::pair{a0, d0}, {a1, d0}, {a1, d1}, {a0, d1}}) {
        const auto [px, py] = at(a, d);
        cairo_line_to(cr_, px, py);
      }
      cairo_close_path(cr_);
      cairo_fill(cr_);
    };
    if (dc.Current().bkMode == win::OPAQUE && t.width > 0) {
      SetColour(cr_, dc.Current().bkColor);
      quad(0, -tm.tmAscent, t.width, tm.tmDescent);
    }
    SetColour(cr_, dc.Current().textColor);
    std::vector<cairo_glyph_t> glyphs;
    int64_t along = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const uint8_t c = uint8_t(text[i]);
      const int advance = dx ? t.advances[i] : font.CharWidth(c);
      if (font.IsTestFont()) {
        if (c != ' ') quad(along, -tm.tmAscent, along + advance, 0);  // the test font's box
      } else {
        const auto [gx, gy] = at(along, 0);
        glyphs.push_back({font.GlyphIndex(c), gx, gy});
      }
      along += advance;
    }
    if (!glyphs.empty()) {
      cairo_set_font_face(cr_, FaceOf(t.font));
      cairo_matrix_t m;
      cairo_matrix_init_scale(&m, font.Em(), font.Em());
      cairo_matrix_rotate(&m, -font.LogFont().lfEscapement * M_PI / 1800.0);
      cairo_set_font_matrix(cr_, &m);
      cairo_show_glyphs(cr_, glyphs.data(), int(glyphs.size()));
    }
    if (font.LogFont().lfUnderline) quad(0, font.UnderlineTop(), t.width, font.UnderlineTop() + font.UnderlineSize());
    if (font.LogFont().lfStrikeOut) quad(0, font.StrikeOutTop(), t.width, font.StrikeOutTop() + font.StrikeOutSize());
  }
  void Dib(const Dc& dc, const RECT& dst, const RECT& src, std::span<const uint8_t> info,
           std::span<const uint8_t> bits, win::UINT usage, win::DWORD rop) override {
    const auto format = win::ParseDibInfo(info, usage, dc.Current().palette.get());
    if (!format) return;
    const auto picture = win::DecodeDibRows(*format, bits, format->height);
    if (!picture || src.right == src.left || src.bottom == src.top) return;
    Scope scope(*this, dc);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture->Width(), picture->Height());
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int32_t row = 0; row < picture->Height(); ++row)
      std::memcpy(data + size_t(row) * size_t(stride), picture->Row(row), size_t(picture->Width()) * 4);
    cairo_surface_mark_dirty(image);
    const int srcTop = format->topDown ? src.top : format->height - src.bottom;
    const POINT a = dc.ToDevice(POINT{dst.left, dst.top}), b = dc.ToDevice(POINT{dst.right, dst.bottom});
    cairo_rectangle(cr_, std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y));
    cairo_clip(cr_);
    cairo_translate(cr_, a.x, a.y);
    cairo_scale(cr_, double(b.x - a.x) / (src.right - src.left), double(b.y - a.y) / (src.bottom - src.top));
    cairo_set_source_surface(cr_, image, -src.left, -srcTop);
    cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
    switch (rop) {
      case win::SRCAND: cairo_set_operator(cr_, CAIRO_OPERATOR_MULTIPLY); break;
      case win::SRCPAINT: cairo_set_operator(cr_, CAIRO_OPERATOR_LIGHTEN); break;
      case win::SRCINVERT: cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE); break;
      default: break;
    }
    cairo_paint(cr_);
    cairo_surface_destroy(image);
  }

 private:
  // Each call draws inside the DC's clip region, and leaves Cairo's state.
  class Scope {
   public:
    Scope(CairoPainter& p, const Dc& dc) : cr_(p.cr_) {
      cairo_save(cr_);
      if (const auto& clip = dc.Current().clip) {
        for (const win::Region::Band& band : clip->Bands())
          for (const win::Region::Span& s : band.spans)
            cairo_rectangle(cr_, s.left, band.top, double(s.right) - s.left, double(band.bottom) - band.top);
        cairo_clip(cr_);
      }
    }
    ~Scope() { cairo_restore(cr_); }

   private:
    cairo_t* cr_;
  };

  bool Pen(const Dc& dc) {
    const win::Pen& pen = dc.Current().pen;
    if (pen.style == win::PS_NULL) return false;
    const POINT o = dc.ToDevice(POINT{0, 0}), w = dc.ToDevice(POINT{pen.width, 0});
    const int width = std::max(1, std::abs(w.x - o.x));
    cairo_set_line_width(cr_, width);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    static const double dash[] = {18, 6}, dot[] = {3, 3}, dashDot[] = {9, 6, 3, 6}, dashDotDot[] = {9, 3, 3, 3, 3, 3};
    if (width == 1) {
      switch (pen.style) {
        case win::PS_DASH: cairo_set_dash(cr_, dash, 2, 0); break;
        case win::PS_DOT: cairo_set_dash(cr_, dot, 2, 0); break;
        case win::PS_DASHDOT: cairo_set_dash(cr_, dashDot, 4, 0); break;
        case win::PS_DASHDOTDOT: cairo_set_dash(cr_, dashDotDot, 6, 0); break;
        default: break;
      }
    }
    SetColour(cr_, pen.color);
    return true;
  }
  // A hatched brush becomes an 8-pixel repeating pattern of its lines.
  bool Brush(const Dc& dc, const win::Brush& brush) {
    if (brush.style == win::BS_NULL) return false;
    if (brush.style != win::BS_HATCHED) {
      SetColour(cr_, brush.color);
      return true;
    }
    cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
    cairo_t* t = cairo_create(tile);
    if (dc.Current().bkMode == win::OPAQUE) {
      SetColour(t, dc.Current().bkColor);
      cairo_paint(t);
    }
    SetColour(t, brush.color);
    const int h = brush.hatch;
    for (int i = 0; i < 8; ++i) {
      if (h == win::HS_HORIZONTAL || h == win::HS_CROSS) cairo_rectangle(t, i, 4, 1, 1);
      if (h == win::HS_VERTICAL || h == win::HS_CROSS) cairo_rectangle(t, 4, i, 1, 1);
      if (h == win::HS_FDIAGONAL || h == win::HS_DIAGCROSS) cairo_rectangle(t, i, i, 1, 1);
      if (h == win::HS_BDIAGONAL || h == win::HS_DIAGCROSS) cairo_rectangle(t, 7 - i, i, 1, 1);
    }
    cairo_fill(t);
    cairo_destroy(t);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_set_source(cr_, pattern);
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(tile);
    return true;
  }

  cairo_t* cr_;
};

class PdfSink final : public PageSink {
 public:
  PdfSink(std::string path, std::string queue, int copies, std::string media)
      : path_(std::move(path)), temp_(path_ + ".part"), queue_(std::move(queue)), copies_(copies),
        media_(std::move(media)) {}
  ~PdfSink() override { Abort(); }

  bool Page(const std::vector<uint8_t>& metafile, const win::DeviceCaps& caps) override {
    const double scale = 72.0 / caps.dpiX;
    const int width = caps.physicalWidth ? caps.physicalWidth : caps.width;
    const int height = caps.physicalHeight ? caps.physicalHeight : caps.height;
    if (!surface_)
      surface_ = cairo_pdf_surface_create(temp_.c_str(), width * scale, height * scale);
    else
      cairo_pdf_surface_set_size(surface_, width * scale, height * scale);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return false;
    cairo_t* cr = cairo_create(surface_);
    cairo_scale(cr, scale, 72.0 / caps.dpiY);
    cairo_translate(cr, caps.offsetX, caps.offsetY);
    Dc dc(win::Bitmap::Create(1, 1, 32), caps);
    dc.SetOutput(std::make_unique<CairoPainter>(cr));
    win::wmf::PlayMetaFile(dc, metafile);
    cairo_show_page(cr);
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    return ok;
  }
  bool Finish() override {
    if (!surface_) surface_ = cairo_pdf_surface_create(temp_.c_str(), 595, 842);
    cairo_surface_finish(surface_);
    const bool ok = cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface_);
    surface_ = nullptr;
    std::error_code error;
    if (!ok) {
      std::filesystem::remove(temp_, error);
      return false;
    }
    std::filesystem::rename(temp_, path_, error);
    if (error) return false;
    if (queue_.empty()) return true;
    std::string command = "lp -d " + queue_ + " -n " + std::to_string(copies_);
    if (!media_.empty()) command += " -o media=" + media_;
    const int pid = platform::SpawnProgram(command + " \"" + path_ + "\"");
    const bool sent = pid > 0 && platform::WaitForProcess(pid) == 0;
    std::filesystem::remove(path_, error);
    return sent;
  }
  void Abort() override {
    if (!surface_) return;
    cairo_surface_finish(surface_);
    cairo_surface_destroy(surface_);
    surface_ = nullptr;
    std::error_code ignored;
    std::filesystem::remove(temp_, ignored);
  }

 private:
  std::string path_, temp_, queue_;
  int copies_;
  std::string media_;
  cairo_surface_t* surface_ = nullptr;
};

class PngSink final : public PageSink {
 public:
  explicit PngSink(std::string base) : base_(std::move(base)) {}
  ~PngSink() override { Abort(); }
  bool Page(const std::vector<uint8_t>& metafile, const win::DeviceCaps& caps) override {
    const int width = caps.physicalWidth ? caps.physicalWidth : caps.width;
    const int height = caps.physicalHeight ? caps.physicalHeight : caps.height;
    auto page = win::Bitmap::Create(width, height, 32);
    if (!page) return false;
    page->Fill(win::kWhite);
    Dc dc(page, caps);
    dc.SetViewportOrgEx(caps.offsetX, caps.offsetY);
    win::wmf::PlayMetaFile(dc, metafile);
    const std::string name = base_ + "-" + std::to_string(written_.size() + 1) + ".png";
    if (!win::WritePng(*page, name)) return false;
    written_.push_back(name);
    return true;
  }
  bool Finish() override {
    written_.clear();
    return true;
  }
  void Abort() override {
    std::error_code ignored;
    for (const std::string& name : written_) std::filesystem::remove(name, ignored);
    written_.clear();
  }

 private:
  std::string base_;
  std::vector<std::string> written_;
};

class TextCollector final : public win::DcOutput {
 public:
  explicit TextCollector(std::vector<PageText>& texts) : texts_(texts) {}
  void LineTo(const Dc&, POINT, POINT) override {}
  void Poly(const Dc&, bool, std::span<const POINT>) override {}
  void Box(const Dc&, uint16_t, const RECT&, int, int) override {}
  void SetPixel(const Dc&, int, int, win::COLORREF) override {}
  void FillRegion(const Dc&, uint16_t, const win::Region&, const win::Brush*, int, int) override {}
  void PatBlt(const Dc&, int, int, int, int, win::DWORD) override {}
  void Text(const Dc& dc, int x, int y, win::UINT, const RECT*, std::string_view text, const int* dx) override {
    const Dc::TextPlacement t = dc.PlaceText(x, y, text, dx);
    const fonts::Point top = t.font->Offset(0, -t.font->Metrics().tmAscent);
    texts_.push_back({POINT{t.ref.x + top.x, t.ref.y + top.y}, std::string(text)});
  }
  void Dib(const Dc&, const RECT&, const RECT&, std::span<const uint8_t>, std::span<const uint8_t>, win::UINT,
           win::DWORD) override {}

 private:
  std::vector<PageText>& texts_;
};

}  // namespace

std::unique_ptr<PageSink> CreatePdfSink(const std::string& path, std::string queue, int copies, std::string media) {
  return std::make_unique<PdfSink>(path, std::move(queue), copies, std::move(media));
}

std::unique_ptr<PageSink> CreatePngSink(const std::string& path) { return std::make_unique<PngSink>(path); }

std::vector<PageText> PageTexts(const std::vector<uint8_t>& metafile, const win::DeviceCaps& caps) {
  std::vector<PageText> texts;
  Dc dc(win::Bitmap::Create(1, 1, 32), caps);
  dc.SetOutput(std::make_unique<TextCollector>(texts));
  win::wmf::PlayMetaFile(dc, metafile);
  return texts;
}

}  // namespace platform::print
