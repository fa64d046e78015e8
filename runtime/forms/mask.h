// The form document: an ordered list of pages, each an ordered list of
// elements, with the form's text formats, sixteen custom colours, six layout
// words and the data source whose records it shows; and its file "WZETMS".
//
// What always holds for a TMask:
//   1. The form owns its pages and its formats; every page has the form as
//      its owner. The data source is not owned.
//   2. Every element's format index lies inside the format list, or is 0:
//      the reader repairs an index at or past the count to 0, AddElement
//      does the same, and InsertFont / RemoveFont move the indexes of the
//      elements on the formats they shift (an element on format 0 stays).
//   3. The format list is ordered by format kind; a new format goes after
//      the formats of its own kind.
//   4. Element names are unique in the form (case ignored) for every element
//      added through AddElement.
//   5. Reading never trusts the file: every count is checked against the
//      bytes left in the stream before anything is made, so a damaged or
//      hostile file ends with -2 and never allocates by its own word. A failed
//      read keeps the pages read so far and deletes the page it was reading.
//   6. Writing produces the current version (43) whatever version was read;
//      a file of version 43 read and written again gives the same bytes.
//
// The file:
//   "WZETMS" (6 bytes, no terminator), version u16, then the body:
//   format count u16; the formats (below 18: a font record, kind = position,
//   name = the text-style name of the position; from 18: a format record);
//   16 custom colours u32 (> 35, else white); 6 layout words u16 (> 21, else
//   the defaults); page count u16; per page: page kind u16 (>= 10, else 0),
//   the page record, element count u16, and per element its record code i16
//   and its record. A form class appends its own part after the body.
//
// Read answers 0, -1 (no file), -2 (read error or an element no class
// reads), -3 (signature), -4 (version above 43, before any of the body),
// -5 (a page kind other than 0 .. 7).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/interface/include/zetcore.h"
#include "runtime/forms/maskelem.h"
#include "runtime/forms/maskpage.h"
#include "runtime/toolkit/kxfont.h"
#include "runtime/toolkit/kxobject.h"

namespace win {
class Dc;
}

namespace forms {

class TZetModule;
class TMenuFilter;
class TToolbarFilter;
class TAccelFilter;

constexpr int16_t kMaskFileVersion = 43;
constexpr int16_t kMaskFileSubVersion = 10;
constexpr int32_t kCustomColors = 16;
constexpr int32_t kLayoutWords = 6;

int16_t GetMaskFileVersion();
int16_t GetMaskFileSubVersion();
// The clipboard format "kxMaskElement", registered at start-up.
uint32_t GetMaskElementClipboardFormat();

// Makes elements: the form reader reads every element through the factory.
class TKxMaskElementFactory {
 public:
  virtual ~TKxMaskElementFactory() = default;
  virtual TMaskElement* CreateElement(int16_t) { return nullptr; }
  // Reads a record code and the element's record; null for a code that no
  // class reads. A version of 0 is the current one.
  virtual TMaskElement* CreateElementFromStream(TKxStream& stream, int16_t version) = 0;
};

// The program's one factory.
TKxMaskElementFactory& MaskElementFactory();

class TMask : public kxobject::TKxCollection {
 public:
  using PageAction = void (*)(TMaskPage* page, void* arg);

  // pageCount new pages and one default format.
  TMask(int32_t pageCount, dataviews::TDataSource* source);
  // No pages, no formats.
  explicit TMask(dataviews::TDataSource* source);
  ~TMask() override;

  void Error(int code, int32_t info) override;
  void FreeItem(void* item) override;

  virtual TZetModule* GetModule() const = 0;
  virtual void SetModule(TZetModule* module) = 0;
  virtual void AddPage();
  virtual TMaskPage* CreatePage(uint16_t kind, bool forReading);
  virtual void GetPageSize(int32_t index, kxobject::TSize& size) const;
  virtual void SetPageSizeLinked(int32_t index, const kxobject::TSize& size);
  virtual void GetFormSize(kxobject::TSize& size) const = 0;
  virtual void SetPageSize(int32_t width, int32_t height, int32_t index);
  virtual TMaskElement* CreateFieldElement(const ZetFieldSpec& field, bool clear) = 0;
  virtual void MakeAbsolute(const char* base);
  virtual void MakeRelative(const char* base);
  virtual void Layout();
  virtual kxobject::TKxStringList* GetFieldNames() const = 0;
  virtual int32_t Read(const char* fileName);
  // The signature, the version and the body from stream.
  int32_t Read(TKxStream& stream);
  virtual int32_t ReadBody(TKxStream& stream, int16_t version);
  virtual int32_t Write(TKxStream& stream) const;
  virtual void WriteBody(TKxStream& stream) const;
  virtual int32_t Solve(const uint8_t* tokens, char* out, int32_t size, int32_t mode);
  virtual void NotifyElements();
  virtual dataviews::TDataSource* PrepareSelections();
  virtual void SetDataSource(dataviews::TDataSource* source);
  // The form's filters; none here (the program's form has all three).
  virtual TMenuFilter* GetMenuFilter() { return nullptr; }
  virtual TToolbarFilter* GetToolbarFilter() { return nullptr; }
  virtual TAccelFilter* GetAccelFilter() { return nullptr; }

  TMaskPage* PageAt(int32_t index) const { return static_cast<TMaskPage*>(At(index)); }
  dataviews::TDataSource* GetDataSource() const { return DataSource; }
  int32_t WriteToFile(const char* fileName) const;
  int32_t GetAutoNo() const;
  void ForEachPage(PageAction action, void* arg);
  void ForEachElement(TMaskPage::ElementAction action, void* arg);
  void AddElement(int32_t pageIndex, int32_t elementIndex, TMaskElement* element);
  // Takes the element out of its page (the caller owns it); null when either
  // index lies outside.
  TMaskElement* RemoveElement(int32_t pageIndex, int32_t elementIndex);
  TMaskElement* FindElementByName(const char* name) const;
  void MakeUniqueElementName(const TMaskElement& element, char* buffer, int32_t size) const;

  // Formats (the list owns them).
  int32_t GetFormatCount() const { return Formats.Count(); }
  const kxfont::TKxFormat* GetFormat(int32_t index) const { return Formats.At(index); }
  int32_t InsertFont(kxfont::TKxFormat* format);
  void RemoveFont(int32_t index);
  void RemoveAllFonts();
  void ReplaceFont(int32_t index, kxfont::TKxFormat* format);
  void SetDefaultFonts();
  kxobject::TKxStringList* GetFormatNames() const;
  // One realised font per format for target (scaled by numerator/denominator).
  void RebuildFontVector(win::Dc& target, int32_t numerator = 1, int32_t denominator = 1);
  const kxfont::TKxFont* GetRealFont(int32_t index) const;
  // The format's height on the display's 0.1 mm mapping, plus its external
  // leading when asked.
  int32_t GetFontHeight(int32_t index, bool withLeading) const;
  // The format's average character width on the display's 0.1 mm mapping.
  int32_t GetFontAverageWidth(int32_t index) const;

  int32_t GetFieldText(const char* field, char* out, int32_t size) const;
  int32_t GetPrevFieldText(const char* field, char* out, int32_t size) const;
  int32_t GetFieldNumberText(const char* field, char* out, int32_t size, int32_t precision) const;
  int32_t GetFieldDisplayLength(const char* field) const;
  // The data source's check of a value for a field (it stores the value
  // when it passes): 0 or the field's validation code; -1 without a source.
  int32_t ValidateFieldValue(const char* field, const char* value) const;
  static int32_t ColorFromName(const char* name);

  uint16_t GetLayoutWord(int32_t i) const { return LayoutWords[i]; }
  void SetLayoutWord(int32_t i, uint16_t value) { LayoutWords[i] = value; }
  COLORREF GetCustomColor(int32_t i) const { return CustomColors[i]; }
  void SetCustomColor(int32_t i, COLORREF color) { CustomColors[i] = color; }
  uint16_t GetGeneration() const { return Generation; }
  void SetGeneration(uint16_t generation) { Generation = generation; }
  uint16_t GetPrintMode() const { return PrintMode; }
  void SetPrintMode(uint16_t mode) { PrintMode = mode; }

 protected:
  std::vector<kxfont::TKxFont> FontVector;
  dataviews::TDataSource* DataSource = nullptr;
  uint16_t LayoutWords[kLayoutWords] = {0, 10, 0, 10, 0, 1};
  kxobject::TKxPtrArray<kxfont::TKxFormat> Formats{10, 10};
  uint16_t Generation = 2;
  COLORREF CustomColors[kCustomColors];
  uint16_t PrintMode = 0;

 private:
  // Shifts the format indexes of the elements at or after from (and above 0).
  void ShiftFormatIndexes(int32_t from, int32_t delta);
  // A field's text through read of the data source; without one the name
  // itself and -1.
  int32_t FieldText(void (dataviews::TDataSource::*read)(const char*, char*, int32_t), const char* field, char* out,
                    int32_t size) const;
};

}  // namespace forms
