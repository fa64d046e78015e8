// A page of a form (or a section of a report): an ordered list of elements
// with a size, a background colour, a selection condition and a page mode,
// and the group page that adds a group expression.
//
// What always holds for a TMaskPage:
//   1. The page owns its elements while they are on it: the destructor
//      deletes them; RemoveElement hands the element back to the caller.
//      Every element on the page has the page as its owner.
//   2. In flow mode (page mode 1) the elements stand side by side in list
//      order: the first starts at the margin, each next one at the margin
//      right of its predecessor's right edge, and all share one top edge.
//      InsertElement, RemoveElement and MoveElement restore this after every
//      change; free placement (mode 0) never moves an element by itself.
//   3. Caption and Selection are new[] texts, null for none (an empty text is
//      stored as null). The selection tokens are empty unless a data source
//      tokenized the selection (PrepareSelection).
//   4. Printing never runs an element twice on one call: an element that does
//      not fit stops the page at its index, and an element that leaves a
//      continuation stops the page at its own index, so the next call resumes
//      exactly there.
//
// The page record (little-endian; the form reads the kind and chooses the
// class with it):
//
//   field               present when version   when absent
//   page kind u16       >= 10                  0
//   caption             >= 20                  null
//   width, height i16   always
//   colour u32          always
//   page mode u16       >= 21                  0
//   margin u16          >= 21                  50
//   selection           >= 25                  null
//   flag u8             > 34                   0
//   group expression    always, group pages only
#pragma once

#include <cstdint>

#include "runtime/forms/maskelem.h"
#include "runtime/toolkit/kxobject.h"

namespace forms {

// Page kinds: the form's pages are standard; the others are report sections.
constexpr uint16_t kPageStandard = 0, kPageGroup = 1, kPageReportFooter = 2, kPageReportHeader = 3,
                   kPagePageHeader = 4, kPagePageFooter = 5, kPageLeftBorder = 6, kPageRightBorder = 7;
constexpr uint16_t kPageFree = 0, kPageFlow = 1;
constexpr int32_t kTokenBufferSize = 256;

class TMaskPage : public kxobject::TKxCollection {
 public:
  using ElementAction = void (*)(TMaskElement* element, void* arg);

  // A new page: 1000 x 700, light grey, margin 40.
  explicit TMaskPage(TMask* owner);
  // A page to be read: colour 0 and size 0 x 0 until Read.
  TMaskPage(TMask* owner, bool forReading);
  ~TMaskPage() override;

  void Error(int code, int32_t info) override;
  void FreeItem(void* item) override;

  virtual void ForEachElement(ElementAction action, void* arg);
  // Flow mode: lines the elements up; out (when given) is the page's
  // rectangle. Other modes clear out and move nothing.
  virtual void Layout(TRect* out);
  virtual void MakeAbsolute(const char* base);
  virtual void MakeRelative(const char* base);
  virtual void PrepareSelection(dataviews::TDataSource* source);
  // Reads the record after the page kind; answers the stream's status.
  virtual int32_t Read(TKxStream& stream, int16_t version);
  virtual void Paint(reports::TSgmlContext& context, int32_t x, int32_t y, TPoint& extent, const TRect& clip,
                     bool drawElements, uint8_t styleA, bool styleB);
  // Prints from element index on; index stays at the element that did not
  // fit or left a continuation, or becomes the count.
  virtual void Print(reports::TSgmlContext& context, int32_t& index, TPrintParams& params);
  virtual void Write(TKxStream& stream) const;

  TMaskElement* ElementAt(int32_t index) const { return static_cast<TMaskElement*>(At(index)); }
  uint16_t GetKind() const { return Kind; }
  void SetKind(uint16_t kind) { Kind = kind; }
  TMask* GetOwner() const { return Owner; }
  void SetOwner(TMask* owner) { Owner = owner; }
  COLORREF GetColor() const { return Color; }
  void SetColor(COLORREF color) { Color = color; }
  const char* GetCaption() const { return Caption; }
  void SetCaption(const char* caption);
  const char* GetSelection() const { return Selection; }
  void SetSelection(const char* text);
  const uint8_t* GetSelectionTokens() const { return SelectionTokens; }
  int32_t EvalSelection() const;
  uint16_t GetPageMode() const { return PageMode; }
  void SetPageMode(uint16_t mode);
  uint16_t GetMargin() const { return Margin; }
  void SetMargin(uint16_t margin) { Margin = margin; }
  uint8_t GetFlag() const { return Flag; }
  void SetFlag(uint8_t flag) { Flag = flag; }
  int32_t GetWidth() const { return Width; }
  int32_t GetHeight() const { return Height; }
  void SetSize(int32_t width, int32_t height) {
    Width = width;
    Height = height;
  }
  void FitWidthToElements();
  void InsertElement(int32_t index, TMaskElement* element);
  // Takes the element out (not deleted); null for an index outside the list.
  TMaskElement* RemoveElement(int32_t index);
  void MoveElement(TMaskElement* element, const TRect& bounds, TRect* repaint);
  TMaskElement* FindElementByName(const char* name) const;
  static uint16_t GetDefaultMargin() { return 50; }

  // True when a change of one page's width (height) reaches the other under
  // the form's print mode.
  static bool SharesWidth(uint16_t kindA, uint16_t kindB, uint16_t printMode);
  static bool SharesHeight(uint16_t kindA, uint16_t kindB, uint16_t printMode);

 protected:
  uint16_t Kind = kPageStandard;
  TMask* Owner = nullptr;
  COLORREF Color = kLightGrey;
  char* Caption = nullptr;
  uint16_t PageMode = kPageFree;
  uint16_t Margin = 40;
  char* Selection = nullptr;
  uint8_t SelectionTokens[kTokenBufferSize] = {};
  int32_t Width = 1000, Height = 700;
  uint8_t Flag = 0;

 private:
  // The x of the grid line between two neighbouring elements.
  static int32_t GridBetween(const TMaskElement& a, const TMaskElement& b);
};

class TGroupPage : public TMaskPage {
 public:
  explicit TGroupPage(TMask* owner);
  TGroupPage(TMask* owner, bool forReading);
  ~TGroupPage() override;

  void PrepareSelection(dataviews::TDataSource* source) override;
  int32_t Read(TKxStream& stream, int16_t version) override;
  void Write(TKxStream& stream) const override;

  char* GetGroupExpression(char* buffer, int32_t size) const;
  void SetGroupExpression(const char* text);
  // The group value through the form's Solve (mode 3); -1 without a form.
  int32_t SolveExpression(char* out, int32_t size);

 private:
  char* GroupExpression = nullptr;
  uint8_t GroupTokens[kTokenBufferSize] = {};
};

}  // namespace forms
