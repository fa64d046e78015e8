// The program's form and the multi-record form (see zetmask.h).
#include "runtime/forms/zetmask.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/resources/resources.h"
#include "runtime/dataviews/browfmt.h"
#include "runtime/dataviews/datasrc.h"
#include "runtime/forms/maskelems.h"
#include "runtime/forms/maskexpr.h"
#include "runtime/forms/maskfield.h"
#include "runtime/forms/maskinput.h"
#include "runtime/forms/masklink.h"
#include "runtime/forms/maskmemo.h"
#include "runtime/toolkit/kxstring.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrLCopyOrEmpty;

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr int32_t kMaxText = 255;
constexpr int32_t kMaxFieldNameArg = 40;  // of a field name in a message or header label
constexpr int32_t kMaxRelations = 256;
constexpr int32_t kCheckMessages = 53400;  // -1 .. -6, then "Feld %s"
constexpr int16_t kLabelKind = -1;
constexpr int32_t kRowWidth = 1900, kColumnsWidth = 10000;
constexpr uint8_t kAlignRight = 2;

// The version after which (or from which, for the tab format) each field of
// the extension is stored.
constexpr int16_t kTabsAfter = 20, kTabFormatFrom = 43, kPageIndexAfter = 19;
constexpr int16_t kTextAfter[TZetMask::kTextCount] = {15, 15, 23, 23, 19, 15, 25};
constexpr int16_t kMenuFilterAfter = 12, kToolbarFilterAfter = 13, kAccelFilterAfter = 14;

}  // namespace

TZetMask::TZetMask(int32_t pageCount, dataviews::TDataSource* source) : TMask(pageCount, source) { InitDefaults(); }

TZetMask::TZetMask(dataviews::TDataSource* source) : TMask(source) { InitDefaults(); }

TZetMask::TZetMask(dataviews::TDataSource* source, bool noLabels) : TMask(source) {
  InitDefaults();
  BuildFromTable(source, noLabels);
}

TZetMask::~TZetMask() {
  FreeTexts();
  delete Module;
}

void TZetMask::InitDefaults() {
  PageTabs = false;
  TabFormat = 0;
  PageIndex = -1;
  for (char*& text : Texts) text = nullptr;
  Module = nullptr;
}

void TZetMask::FreeTexts() {
  for (char*& text : Texts) {
    delete[] text;
    text = nullptr;
  }
}

void TZetMask::SetModule(TZetModule* module) {
  if (module == Module) return;
  delete Module;
  Module = module;
}

void TZetMask::SetFormText(int32_t n, const char* text) {
  if (n < 1 || n > kTextCount) return;
  delete[] Texts[n - 1];
  Texts[n - 1] = text && *text ? StrDup(text) : nullptr;
}

void TZetMask::GetConditionTexts(char* text1, int32_t size1, char* text2, int32_t size2) const {
  StrLCopyOrEmpty(text1, Texts[0], size1 - 1);
  StrLCopyOrEmpty(text2, Texts[1], size2 - 1);
}

void TZetMask::SetConditionTexts(const char* text1, const char* text2) {
  SetFormText(1, text1);
  SetFormText(2, text2);
}

int32_t TZetMask::ReadBody(TKxStream& stream, int16_t version) {
  const int32_t result = TMask::ReadBody(stream, version);
  if (result != 0) return result;
  FreeTexts();
  PageTabs = version > kTabsAfter ? stream.ReadBool() : false;
  TabFormat = version >= kTabFormatFrom ? int32_t(ReadLong(stream)) : -1;
  PageIndex = version > kPageIndexAfter ? int16_t(ReadWord(stream)) : int16_t(-1);
  for (int32_t i = 0; i < kTextCount; ++i)
    if (version > kTextAfter[i]) Texts[i] = stream.ReadString();
  for (TFilterCollection* filter : {static_cast<TFilterCollection*>(&MenuFilter),
                                    static_cast<TFilterCollection*>(&ToolbarFilter),
                                    static_cast<TFilterCollection*>(&AccelFilter)}) {
    filter->FreeAll();
    filter->SetUnfiltered(true);
  }
  if (version > kMenuFilterAfter) MenuFilter.Read(stream, version);
  if (version > kToolbarFilterAfter) ToolbarFilter.Read(stream, version);
  if (version > kAccelFilterAfter) AccelFilter.Read(stream, version);
  return 0;
}

void TZetMask::WriteBody(TKxStream& stream) const {
  TMask::WriteBody(stream);
  stream.WriteBool(PageTabs);
  WriteLong(stream, uint32_t(TabFormat));
  WriteWord(stream, uint16_t(PageIndex));
  for (const char* text : Texts) stream.WriteString(text);
  MenuFilter.Write(stream);
  ToolbarFilter.Write(stream);
  AccelFilter.Write(stream);
}

dataviews::TDataSource* TZetMask::PrepareSelections() {
  TMask::PrepareSelections();
  ForEachElement([](TMaskElement* element, void*) { element->AttachDataSource(); }, nullptr);
  return DataSource;
}

TMaskElement* TZetMask::CreateFieldElement(const ZetFieldSpec& field, bool) {
  const auto sized = [](int32_t width, int32_t height = 0) { return TRect{0, 0, width, height}; };
  const auto rightAligned = [](TInputField* input) {
    input->SetInputStyle(kAlignRight);
    return input;
  };
  TMaskElement* element = nullptr;
  switch (field.type) {
    case 0:
    case kEngineInteger:
    case kEngineByte:
    case kEngineTime: element = rightAligned(new TInputField(nullptr, 0, sized(100), field)); break;
    case kEngineString: element = new TInputField(nullptr, 0, sized(std::min(field.size * 20, 500)), field); break;
    case kEngineReal:
    case kEngineDate: element = rightAligned(new TInputField(nullptr, 0, sized(200), field)); break;
    case kEngineYesNo: element = new TYesNoField(nullptr, 0, sized(100), field); break;
    case kEngineMemo: element = new TMemoField(nullptr, 0, sized(200, 200), field); break;
    case kEngineChoice: element = new TSelectionField(nullptr, 0, sized(200), field); break;
    case kEngineAutoNo: element = rightAligned(new TAutoNoField(nullptr, 0, sized(100), field)); break;
    case kEngineLink: element = new TLinkField(nullptr, 0, sized(300), field); break;
    case kEnginePicture: element = new TPictureField(nullptr, 0, sized(200, 200), field); break;
    case kEngineRelation: element = new TRelationField(nullptr, 0, sized(400), field); break;
    default: return nullptr;  // no element shows this type
  }
  if (field.type == kEngineMemo || field.type == kEnginePicture) element->SetFrameStyle(0);
  TRect bounds;
  element->GetBounds(bounds);
  element->AdjustBounds(bounds);
  element->SetBounds(bounds.left, bounds.top, bounds.right, bounds.bottom);
  return element;
}

kxobject::TKxStringList* TZetMask::GetFieldNames() const {
  auto* names = new kxobject::TKxStringList(10, 10);
  for (int32_t p = 0; p < Count; ++p)
    for (int32_t e = 0; e < PageAt(p)->Count; ++e)
      if (const auto* field = dynamic_cast<const TMaskField*>(PageAt(p)->ElementAt(e))) {
        char name[kMaxText + 1];
        field->GetFieldName(name, kMaxText);
        names->Insert(StrDup(name));
      }
  return names;
}

namespace {

// Hands the source's validation of the field to an input element.
void TakeValidation(dataviews::TDataSource& source, const char* name, TMaskElement* element) {
  auto* input = dynamic_cast<TInputField*>(element);
  if (!input) return;
  char text[kMaxText + 1] = {}, message[kMaxText + 1] = {};
  const int32_t kind = source.GetFieldValidation(name, text, kMaxText, message, kMaxText);
  if (kind > 0) input->SetValidation(uint16_t(kind), text, message);
}

// Fits the element's height on page for bounds (as AdjustBounds does) and
// places it there.
void Place(TMaskPage* page, TMaskElement* element, TRect bounds) {
  element->SetOwner(page);
  element->AdjustBounds(bounds);
  element->SetBounds(bounds.left, bounds.top, bounds.right, bounds.bottom);
}

}  // namespace

void TZetMask::BuildFromTable(dataviews::TDataSource* source, bool noLabels) {
  DataSource = source;
  AddPage();
  if (Formats.Count() == 0) Formats.Insert(new kxfont::TKxFormat());
  TMaskPage* page = PageAt(0);
  page->SetSize(1100, 0);
  if (!source) return;
  TPoint label{20, 20}, field{240, 20};
  int32_t bottom = 0, placed = 0;
  const int32_t count = source->GetNumFields();
  for (int32_t no = 1; no <= count; ++no) {
    ZetFieldSpec spec{};
    if (source->GetFieldSpec(no, &spec) < 0) continue;
    TMaskElement* element = CreateFieldElement(spec, false);
    if (!element) continue;
    TRect own;
    element->GetBounds(own);
    Place(page, element, TRect{field.x, field.y, field.x + std::min(own.right - own.left, 300), field.y + 50});
    TakeValidation(*source, spec.name, element);
    page->InsertElement(-1, element);
    TRect fieldBounds, labelBounds{label.x, label.y, label.x + 200, label.y + 50};
    element->GetBounds(fieldBounds);
    if (!noLabels) {
      auto* text = new TLabelElement(page, kLabelKind, labelBounds, spec.name);
      Place(page, text, labelBounds);
      page->InsertElement(-1, text);
      text->GetBounds(labelBounds);
    }
    // The page reaches below the lowest of the row's label and field.
    bottom = std::max({bottom, labelBounds.bottom, fieldBounds.bottom});
    if (++placed % 2 == 1) {
      label.x += 540;
      field.x += 540;
    } else {
      label = {20, label.y + (fieldBounds.bottom - fieldBounds.top) + 20};
      field = {240, label.y};
    }
  }
  page->SetSize(page->GetWidth(), bottom + 20);
}

namespace {

// The table field a (possibly dotted: relation "." field) name names, read
// through a cursor linked to that relation; false when there is none.
bool FindFieldSpec(int32_t table, const char* name, ZetFieldSpec& spec) {
  const char* dot = std::strchr(name, '.');
  if (!dot) {
    const int32_t no = ZetTableGetFieldNo(table, name);
    return no > 0 && ZetTableGetFieldSpec(table, no, &spec) == 0;
  }
  const std::string relationName(name, size_t(dot - name));
  for (int32_t relation = 1; relation <= kMaxRelations; ++relation) {
    char text[kMaxText + 1] = {};
    if (ZetRltnGetName(relation, text, kMaxText, 0) < 0) break;
    if (!kxstring::StrEqualNoCase(text, relationName.c_str())) continue;
    const int32_t cursor = ZetTableCreateLinkedTable(table, relation, nullptr);
    if (cursor <= 0) return false;
    const int32_t no = ZetTableGetFieldNo(cursor, dot + 1);
    const bool found = no > 0 && ZetTableGetFieldSpec(cursor, no, &spec) == 0;
    ZetTableDelete(cursor);
    return found;
  }
  return false;
}

}  // namespace

bool TZetMask::CheckElements(int32_t table, char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  for (int32_t p = 0; p < Count; ++p)
    for (int32_t e = 0; e < PageAt(p)->Count; ++e) {
      const auto* field = dynamic_cast<const TMaskField*>(PageAt(p)->ElementAt(e));
      if (!field) continue;
      char name[kMaxText + 1];
      field->GetFieldName(name, kMaxText);
      ZetFieldSpec spec{};
      const int32_t code = FindFieldSpec(table, name, spec) ? field->CheckFieldSpec(spec) : kFieldMissing;
      if (code == 0) continue;
      char format[kMaxText + 1] = {}, argument[kMaxFieldNameArg + 1], message[2 * kMaxText];
      const int32_t resource = code <= -1 && code >= -6 ? kCheckMessages - 1 - code : kCheckMessages + 6;
      platform::LoadStringResource(uint32_t(resource), format, sizeof format);
      kxstring::StrLCopy(argument, name, kMaxFieldNameArg);
      std::snprintf(message, sizeof message, format, argument);
      if (size > 0) kxstring::StrLCopy(buffer, message, size - 1);
      return false;
    }
  return true;
}

// ---- the multi-record form ----

TMultiMask::TMultiMask() : TZetMask(2, nullptr) { PageAt(1)->SetColor(kWhite); }

TMultiMask::TMultiMask(dataviews::TDataSource* source) : TZetMask(source) {
  AddPage();
  AddPage();
  PageAt(1)->SetColor(kWhite);
}

TMultiMask::TMultiMask(dataviews::TDataSource* source, bool) : TZetMask(source) {
  BuildFromTable(source, true);
  TMaskPage* row = PageAt(0);
  for (int32_t e = row->Count - 1; e >= 0; --e)
    if (row->ElementAt(e)->GetRecordCode() == kCodeRelation) delete row->RemoveElement(e);
  row->SetColor(kWhite);
  int32_t height = 0;
  for (int32_t e = 0; e < row->Count; ++e) {
    TMaskElement* element = row->ElementAt(e);
    element->SetFrameStyle(0);
    TRect bounds;
    element->GetBounds(bounds);
    Place(row, element, TRect{bounds.left, bounds.top, bounds.right, bounds.top});
    element->GetBounds(bounds);
    height = std::max(height, bounds.bottom - bounds.top);
  }
  row->SetSize(kRowWidth, height);
  row->SetPageMode(kPageFlow);
  for (int32_t e = 0; e < row->Count; ++e) {
    TRect bounds;
    row->ElementAt(e)->GetBounds(bounds);
    row->ElementAt(e)->SetBounds(bounds.left, bounds.top, bounds.right, bounds.top + height);
  }
  auto* header = new TMaskPage(this);
  header->SetSize(kRowWidth, height);
  AtInsert(0, header);
  for (int32_t e = 0; e < row->Count; ++e) {
    const TMaskElement* element = row->ElementAt(e);
    char name[kMaxFieldNameArg + 1] = "";
    if (const auto* field = dynamic_cast<const TMaskField*>(element)) field->GetFieldName(name, kMaxFieldNameArg);
    TRect bounds;
    element->GetBounds(bounds);
    header->InsertElement(-1, new TLabelElement(header, kLabelKind, bounds, name));
  }
  TRect first{};
  if (header->Count > 0) header->ElementAt(0)->GetBounds(first);
  header->SetSize(kRowWidth, first.bottom + 20);
  header->SetPageMode(kPageFlow);
}

TMultiMask::TMultiMask(const dataviews::TBrowserFormat& columns, dataviews::TDataSource* source)
    : TZetMask(2, source) {
  const int32_t average = GetFontAverageWidth(0);
  TMaskPage* titles = PageAt(0);
  TMaskPage* row = PageAt(1);
  int32_t x = 0, titleHeight = 0, rowHeight = 0;
  for (int32_t i = 0; i < columns.Count(); ++i) {
    const dataviews::TBrowserColumn* column = columns.At(i);
    const int32_t width = (column->Width + 1) * average;
    char title[kMaxText + 1], expression[kMaxText + 1];
    column->GetTitle(title, kMaxText);
    column->GetExpression(expression, kMaxText);
    auto* label = new TLabelElement(titles, kLabelKind, TRect{x, 0, x + width, 50}, title);
    Place(titles, label, TRect{x, 0, x + width, 50});
    titles->InsertElement(-1, label);
    TMaskElement* element = nullptr;
    const int32_t no = source ? source->GetFieldNo(expression) : 0;
    ZetFieldSpec spec{};
    if (no > 0 && source->GetFieldSpec(no, &spec) >= 0) element = CreateFieldElement(spec, false);
    if (element) {
      TakeValidation(*source, spec.name, element);
    } else {
      element = new TExpressionElement(row, 0, TRect{x, 0, x + width, 50}, expression);
    }
    Place(row, element, TRect{x, 0, x + width, 50});
    row->InsertElement(-1, element);
    TRect bounds;
    label->GetBounds(bounds);
    titleHeight = std::max(titleHeight, bounds.bottom);
    element->GetBounds(bounds);
    rowHeight = std::max(rowHeight, bounds.bottom);
    x += width;
  }
  titles->SetSize(kColumnsWidth, titleHeight);
  row->SetSize(kColumnsWidth, rowHeight);
  row->SetColor(kWhite);
}

}  // namespace forms
