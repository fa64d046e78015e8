// The output context: the one interface through which form pages, report
// sections and the engine's print calls are rendered, whatever the document
// (plain text, HTML, WML, a drawing on a device context). A caller never
// knows which document it writes; it selects formats, places texts,
// pictures and form controls, opens tables and lists, moves and draws lines.
//
// TSgmlContext keeps what every context shares: the format table, the text
// and selected format, the heading level and list depth, the current
// position, and a pending link and anchor. Every drawing and mark-up
// operation of the base does nothing (or answers 0); the contexts override
// what their document knows.
//
// What always holds:
//   1. Units are page units of 0.1 mm from the page's top-left corner.
//   2. A format is addressed by its 0-based place in the order of AddFormat;
//      the table owns its formats for the context's life. GetFormat answers
//      null for an index outside the table, so no context indexes the table
//      with an unchecked number read from a file.
//   3. The text format index and the selected format index are -1 (none) or
//      an index the caller gave; TextOut selects the text format before it
//      writes.
//   4. Operations that take a TFormattedText take it over and delete it
//      before they return.
//   5. DrawFormattedText's nextLine is in and out: it holds the first line to
//      draw on entry (null: line 0) and the first line that did not fit on
//      return, or -1 when the text is complete.
//
// DrawFrame3D draws a frame through any context's pen and line operations;
// the frame elements of forms use it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/fonts/logfont.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/region.h"
#include "platform/gdi/wingdi.h"
#include "runtime/toolkit/kxdc.h"
#include "runtime/toolkit/kxfont.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"
#include "runtime/toolkit/kxstring.h"

namespace kxobject {
class TKxGraphic;
}

namespace reports {

class TFormattedText;

using TColor = win::COLORREF;
using kxobject::TPoint;
using kxobject::TRect;
using kxobject::TSize;

// Kinds of a text format (TKxFormat::Kind).
inline constexpr int16_t kFormatStandard = 0;
inline constexpr int16_t kFormatHeading1 = 1;  // 1 .. 6: heading levels
inline constexpr int16_t kFormatHeading6 = 6;
inline constexpr int16_t kFormatBodyText = 7;
inline constexpr int16_t kFormatList1 = 8;  // 8 .. 11: list levels 1 .. 4
inline constexpr int16_t kFormatList4 = 11;

// Alignments of DrawFormattedText and DrawText.
inline constexpr int kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2;

// The colour SetBkColor of a context without a device answers.
inline constexpr TColor kNoBkColor = 0x01000000;

class TSgmlContext : public kxobject::TKxObject {
 public:
  explicit TSgmlContext(const char* name);
  ~TSgmlContext() override;
  TSgmlContext(const TSgmlContext&) = delete;
  TSgmlContext& operator=(const TSgmlContext&) = delete;

  // The format at index, null outside the table.
  kxfont::TKxFormat* GetFormat(int index) const;
  int GetFormatCount() const { return Formats.Count(); }

  virtual void AddFormat(std::unique_ptr<kxfont::TKxFormat> format);
  virtual void BeginDocument() {}
  virtual void EndDocument();
  virtual void UseFormat(int index) { TextFormat = index; }
  virtual void ReleaseFormat() { TextFormat = -1; }
  virtual void SetBackgroundImage(const char* /*fileName*/) {}
  virtual void SetBackgroundColor(TColor /*color*/) {}
  virtual void DrawFormattedText(const TRect& rect, int bottom, int format, int align, TColor background,
                                 std::unique_ptr<TFormattedText> text, int* nextLine) = 0;
  virtual void DrawText(const TRect& rect, int format, int align, TColor background, const char* text) = 0;
  virtual void DrawPictureFile(const TRect& /*rect*/, bool /*stretch*/, const char* /*fileName*/,
                               const char* /*altText*/) {}
  virtual void DrawPictureData(const TRect& /*rect*/, bool /*stretch*/, int /*pictureType*/,
                               kxobject::TKxStream& /*stream*/, const char* /*altText*/) {}
  virtual void DrawGraphic(const TRect& /*rect*/, bool /*stretch*/, kxobject::TKxGraphic* /*graphic*/,
                           const char* /*altText*/) {}
  virtual void AddSubmitButton(const TRect& /*rect*/, int /*format*/, const char* /*captionOrImage*/,
                               bool /*image*/, const char* /*command*/) {}
  virtual void AddResetButton(const TRect& /*rect*/, int /*format*/, const char* /*caption*/) {}
  virtual void AddCheckBox(const TRect& /*rect*/, const char* /*name*/, int /*format*/, const char* /*label*/,
                           int /*labelPosition*/, bool /*checked*/) {}
  virtual void AddEdit(const TRect& /*rect*/, const char* /*name*/, int /*format*/, const char* /*value*/,
                       int /*maxLength*/, bool /*visible*/, bool /*password*/) {}
  virtual void AddListBox(const TRect& /*rect*/, const char* /*name*/, int /*format*/, const char* /*items*/,
                          bool /*numberedValues*/, int /*selected*/, bool /*multiple*/, bool /*dropDown*/) {}
  virtual void AddRadioGroup(const TRect& /*rect*/, const char* /*name*/, int /*format*/, const char* /*items*/,
                             int /*selected*/) {}
  virtual void AddTextArea(const TRect& /*rect*/, const char* /*name*/, int /*format*/,
                           std::unique_ptr<TFormattedText> /*text*/) {}
  virtual void AddCommand(const TRect& /*rect*/, const char* /*markup*/) {}
  virtual void BeginCard(const char* /*title*/, const char* /*id*/, int /*actionKind*/, const char* /*command*/) {}
  virtual void AddOptionsCommand(const char* /*label*/, int /*actionKind*/, const char* /*command*/) {}
  virtual void BeginBold() {}
  virtual void EndBold() {}
  virtual void BeginItalic() {}
  virtual void EndItalic() {}
  virtual void BeginBodyText() {}
  virtual void EndBodyText() { TextFormat = 0; }
  virtual void BeginListItem(int level);
  virtual void EndListItem() {}
  virtual void Paragraph() {}
  virtual void LineBreak() {}
  virtual void SetLink(const char* target, const char* fragment);
  virtual void SetCommandLink(const char* /*command*/, const char* /*parameters*/) {}
  virtual void EndLink();
  virtual void SetAnchor(const char* name);
  virtual void EndAnchor() { AnchorName.Clear(); }
  virtual void BeginLayout(const TPoint& /*origin*/) {}
  virtual void EndLayout() {}
  virtual void BeginColumns() {}
  virtual void EndColumns() {}
  virtual void NextColumn() {}
  virtual void BeginTable(TColor /*background*/, int /*border*/, int /*cellPadding*/) {}
  virtual void EndTable() {}
  virtual void BeginRow() {}
  virtual void EndRow() {}
  virtual void BeginCell(int /*widthPercent*/) {}
  virtual void EndCell() {}
  virtual int GetLineHeight() { return 20; }
  // length -1: up to the terminator.
  virtual TSize GetTextExtent(const char* text, int length) = 0;
  virtual TSize GetTabbedTextExtent(const char* text, int length, int tabCount, const int* tabStops) = 0;
  virtual void ResetClip() {}
  virtual int IntersectClip(int /*left*/, int /*top*/, int /*right*/, int /*bottom*/) { return 0; }
  // The context's device-context pair; the context owns it.
  virtual kxobject::TKxDC* GetDC() = 0;
  virtual win::Dc* GetAttributeDC() { return nullptr; }
  virtual win::Dc* GetOutputDC() { return nullptr; }
  virtual bool DPtoLP(win::POINT* /*points*/, int /*count*/) { return false; }
  virtual int DrawTextInRect(const char* /*text*/, int /*count*/, const TRect& /*rect*/, uint32_t /*flags*/) {
    return 0;
  }
  virtual int GetDeviceCaps(int /*index*/) { return 0; }
  virtual TColor GetTextColor() { return 0; }
  virtual bool LineTo(int /*x*/, int /*y*/) { return false; }
  virtual bool LPtoDP(win::POINT* /*points*/, int /*count*/) { return false; }
  // Stores the current position.
  virtual bool MoveTo(int x, int y);
  virtual bool Rectangle(int /*left*/, int /*top*/, int /*right*/, int /*bottom*/) { return false; }
  virtual bool RestoreDC(int /*level*/) { return false; }
  virtual int SaveDC() { return 0; }
  virtual int SelectClipRgn(const win::Region* /*region*/) { return 0; }
  virtual void SelectBrush(const win::Brush& /*brush*/) {}
  virtual void SelectPen(const win::Pen& /*pen*/) {}
  virtual void SelectFont(const win::LOGFONT& /*font*/) {}
  virtual void SelectPalette(std::shared_ptr<const win::Palette> /*palette*/, bool /*forceBackground*/) {}
  virtual void SelectStockObject(int /*index*/) {}
  virtual void RestoreBrush() {}
  virtual void RestoreFont() {}
  virtual void RestorePen() {}
  virtual TColor SetBkColor(TColor /*color*/) { return kNoBkColor; }
  virtual int SetBkMode(int /*mode*/) { return 0; }
  virtual uint32_t SetTextAlign(uint32_t /*flags*/) { return 0; }
  virtual TColor SetTextColor(TColor /*color*/) { return 0; }
  virtual bool GetTextMetrics(win::TEXTMETRIC& /*metrics*/) { return false; }
  virtual int SetMapMode(int /*mode*/) { return 0; }
  virtual bool SetWindowExt(int /*cx*/, int /*cy*/) { return false; }
  virtual bool SetWindowOrg(int /*x*/, int /*y*/) { return false; }
  virtual bool OffsetWindowOrg(int /*dx*/, int /*dy*/) { return false; }
  virtual bool SetViewportExt(int /*cx*/, int /*cy*/) { return false; }
  virtual bool SetViewportOrg(int /*x*/, int /*y*/) { return false; }
  // length -1: up to the terminator.
  virtual int TextOut(const char* /*text*/, int /*length*/) { return 0; }
  virtual void PrepareFonts(int16_t /*a*/, int16_t /*b*/, int16_t /*c*/, int16_t /*d*/) {}
  virtual void PositionTo(int /*x*/, int /*y*/) {}
  virtual void SelectFormat(int index) { SelectedFormat = index; }
  virtual void BeginHeading(int level) { HeadingLevel = level; }
  virtual void EndHeading() {}
  virtual void BeginList() { ++ListDepth; }
  virtual void EndList() { --ListDepth; }
  virtual void BeginStandardText() {}
  virtual void EndStandardText() {}
  virtual void BeginPreformatted() {}
  virtual void EndPreformatted() {}
  virtual void ConvertPoints(TPoint* /*points*/, int /*count*/) {}
  virtual void BeginFont(const char* /*faceName*/, int /*height*/, TColor /*color*/) {}
  virtual void EndFont() {}

  std::string Name;
  kxobject::TKxPtrArray<kxfont::TKxFormat> Formats{10, 5};
  int TextFormat = -1;
  int SelectedFormat = -1;
  int HeadingLevel = 0;
  int ListDepth = 0;
  int CurrentX = 0, CurrentY = 0;
  bool LinkPending = false, AnchorPending = false;
  kxstring::TKxString LinkTarget, LinkFragment, AnchorName;
};

// Draws a frame of style (0 or below: dotted in colour; 1 .. 11: bevels,
// single or double; 7 and 8 only the bottom edge) around rect through the
// context's pens and lines; flat draws every style in solid black.
void DrawFrame3D(TSgmlContext& context, const TRect& rect, int style, TColor color, bool flat);

}  // namespace reports
