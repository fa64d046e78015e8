// The program's form: the form document completed with what a running form
// has besides its layout (its menu, tool-bar and accelerator filters, its
// program module, its selection condition, its event texts and tab
// settings), the element factory's field elements, the layout of a whole
// form from a table, the check that a stored form still fits its table, and
// the multi-record form (a header page of labels over a row page of fields
// that flows once per record).
//
// What always holds for a TZetMask:
//   1. The form owns its module (null for none) and its three filters, which
//      are never null; the seven texts are new[] copies or null (an empty
//      text is kept as null).
//   2. The body extension is read after the document's body with the file's
//      version, field by field: what an older version lacks takes its
//      default (page tabs false, tab format -1 below 43, page index -1,
//      texts null, filters unfiltered). Writing always gives every field, so
//      a version-43 form reads back and writes the very same bytes.
//   3. CheckElements reports the first element that does not fit the table
//      and never writes more than its buffer holds.
//   4. BuildFromTable and the single-record multi-record form skip a table
//      field of a type no element shows, instead of stopping.
//
// The body extension (after the document body; a bool is a 16-bit word):
//   page tabs bool (> 20), tab format i32 (>= 43), page index i16 (> 19),
//   condition text 1 and 2 (> 15), text 3 and 4 (> 23), text 5 (> 19),
//   text 6 (> 15), text 7 (> 25), the menu filter (> 12), the tool-bar
//   filter (> 13), the accelerator filter (> 14).
#pragma once

#include <cstdint>

#include "runtime/forms/accfilt.h"
#include "runtime/forms/mask.h"
#include "runtime/forms/menufilt.h"
#include "runtime/forms/toolfilt.h"
#include "runtime/forms/zetmodule.h"

namespace dataviews {
class TBrowserFormat;
}

namespace forms {

class TZetMask : public TMask {
 public:
  static constexpr int32_t kTextCount = 7;

  // The document constructors, then the filters and the defaults.
  TZetMask(int32_t pageCount, dataviews::TDataSource* source);
  explicit TZetMask(dataviews::TDataSource* source);
  // A form laid out from the source's table (BuildFromTable).
  TZetMask(dataviews::TDataSource* source, bool noLabels);
  ~TZetMask() override;

  TZetModule* GetModule() const override { return Module; }
  // Deletes the old module and keeps the new one.
  void SetModule(TZetModule* module) override;
  void GetFormSize(kxobject::TSize& size) const override { GetPageSize(0, size); }
  // Null for an engine field type no element shows.
  TMaskElement* CreateFieldElement(const ZetFieldSpec& field, bool clear) override;
  kxobject::TKxStringList* GetFieldNames() const override;
  int32_t ReadBody(TKxStream& stream, int16_t version) override;
  void WriteBody(TKxStream& stream) const override;
  dataviews::TDataSource* PrepareSelections() override;
  TMenuFilter* GetMenuFilter() override { return &MenuFilter; }
  TToolbarFilter* GetToolbarFilter() override { return &ToolbarFilter; }
  TAccelFilter* GetAccelFilter() override { return &AccelFilter; }
  virtual void InitDefaults();

  void GetConditionTexts(char* text1, int32_t size1, char* text2, int32_t size2) const;
  void SetConditionTexts(const char* text1, const char* text2);
  // Texts 1 .. 7: the two condition texts, then the five event texts.
  const char* GetFormText(int32_t n) const { return n >= 1 && n <= kTextCount ? Texts[n - 1] : nullptr; }
  void SetFormText(int32_t n, const char* text);
  bool GetPageTabs() const { return PageTabs; }
  void SetPageTabs(bool tabs) { PageTabs = tabs; }
  int32_t GetTabFormat() const { return TabFormat; }
  void SetTabFormat(int32_t format) { TabFormat = format; }
  int16_t GetPageIndex() const { return PageIndex; }
  void SetPageIndex(int16_t index) { PageIndex = index; }

  // Lays the source's fields out on a new page in two columns, with labels
  // unless noLabels.
  void BuildFromTable(dataviews::TDataSource* source, bool noLabels);
  // True when every data field fits table; else the first misfit's message
  // in buffer (at most size - 1 characters).
  bool CheckElements(int32_t table, char* buffer, int32_t size) const;

 private:
  void FreeTexts();

  TZetModule* Module = nullptr;
  TMenuFilter MenuFilter{10, 10};
  TToolbarFilter ToolbarFilter{10, 10};
  TAccelFilter AccelFilter{10, 10};
  bool PageTabs = false;
  int32_t TabFormat = 0;
  int16_t PageIndex = -1;
  char* Texts[kTextCount] = {};
};

// The multi-record form: page 0 the header, page 1 (white) the row that
// repeats per record.
class TMultiMask : public TZetMask {
 public:
  // Two pages; page 1 white.
  TMultiMask();
  // Over source, with two pages appended; page 1 white.
  explicit TMultiMask(dataviews::TDataSource* source);
  // The single-record layout of the source's fields: a header page of
  // labels over a row page, both flowing.
  TMultiMask(dataviews::TDataSource* source, bool singleRecordLayout);
  // One label and one element per column of a browser's column set.
  TMultiMask(const dataviews::TBrowserFormat& columns, dataviews::TDataSource* source);

  TMaskElement* CreateFieldElement(const ZetFieldSpec& field, bool clear) override {
    return TZetMask::CreateFieldElement(field, clear);
  }
};

}  // namespace forms
