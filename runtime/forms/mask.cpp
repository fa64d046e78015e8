// The form document and its file (see mask.h).
#include "runtime/forms/mask.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gdi/dc.h"
#include "platform/clipboard.h"
#include "runtime/dataviews/datasrc.h"

namespace forms {

using kxfont::TKxFont;
using kxfont::TKxFormat;
using kxstring::StrLCat;
using kxstring::StrLCopy;

namespace {

constexpr char kSignature[6] = {'W', 'Z', 'E', 'T', 'M', 'S'};
constexpr COLORREF kWhite = 0xFFFFFF;
// The fewest bytes a record can take: a bound on how many can follow.
constexpr int32_t kMinPageBytes = 10;     // size, colour, element count
constexpr int32_t kMinElementBytes = 20;  // record code, kind, bounds, frame, colour, format
constexpr int32_t kFontRecordBytes = 54;
constexpr int32_t kFormatRecordBytes = 97;

const uint32_t g_clipboardFormat = win::RegisterClipboardFormatA("kxMaskElement");

// Reads a count and checks that count records of at least minBytes each fit
// in what is left; an impossible count marks the stream as failed.
int32_t ReadCount(TKxStream& stream, int32_t minBytes) {
  const uint16_t count = ReadWord(stream);
  return RecordsFit(stream, count, minBytes) ? count : 0;
}

// The display's information context with the form's mapping: 10 logical
// units are one millimetre.
std::unique_ptr<win::Dc> DisplayContext() {
  auto dc = win::Dc::CreateCompatible(nullptr);
  dc->SetMapMode(win::MM_ANISOTROPIC);
  dc->SetWindowExtEx(10, 10);
  dc->SetViewportExtEx(int(dc->GetDeviceCaps(win::LOGPIXELSX) / 25.4 + 0.5),
                       int(dc->GetDeviceCaps(win::LOGPIXELSY) / 25.4 + 0.5));
  return dc;
}

}  // namespace

int16_t GetMaskFileVersion() { return kMaskFileVersion; }
int16_t GetMaskFileSubVersion() { return kMaskFileSubVersion; }
uint32_t GetMaskElementClipboardFormat() { return g_clipboardFormat; }

TMask::TMask(dataviews::TDataSource* source) : kxobject::TKxCollection(10, 10), DataSource(source) {
  for (COLORREF& c : CustomColors) c = kWhite;
}

TMask::TMask(int32_t pageCount, dataviews::TDataSource* source) : TMask(source) {
  for (int32_t i = 0; i < pageCount; ++i) AtInsert(Count, new TMaskPage(this));
  Formats.Insert(new TKxFormat());
}

TMask::~TMask() { FreeAll(); }

void TMask::Error(int code, int32_t info) {
  char text[80];
  std::snprintf(text, sizeof text, "CollectionError TMask, Code=%d, Info=%d.", code, int(info));
  throw kxobject::xmsg(text);
}

void TMask::FreeItem(void* item) { delete static_cast<TMaskPage*>(item); }

void TMask::AddPage() {
  auto* page = new TMaskPage(this);
  if (Count > 0) page->SetSize(PageAt(0)->GetWidth(), PageAt(0)->GetHeight());
  AtInsert(Count, page);
}

TMaskPage* TMask::CreatePage(uint16_t kind, bool forReading) {
  if (kind > kPageRightBorder) return nullptr;
  TMaskPage* page = kind == kPageGroup ? new TGroupPage(this, forReading) : new TMaskPage(this, forReading);
  if (!forReading) page->SetSize(1000, 700);
  page->SetKind(kind);
  return page;
}

void TMask::GetPageSize(int32_t index, kxobject::TSize& size) const {
  size = kxobject::TSize{PageAt(index)->GetWidth(), PageAt(index)->GetHeight()};
}

void TMask::SetPageSizeLinked(int32_t index, const kxobject::TSize& size) {
  const uint16_t kind = PageAt(index)->GetKind();
  for (int32_t i = 0; i < Count; ++i) {
    TMaskPage* page = PageAt(i);
    const bool width = i == index || TMaskPage::SharesWidth(kind, page->GetKind(), PrintMode);
    const bool height = i == index || TMaskPage::SharesHeight(kind, page->GetKind(), PrintMode);
    page->SetSize(width ? size.cx : page->GetWidth(), height ? size.cy : page->GetHeight());
  }
}

void TMask::SetPageSize(int32_t width, int32_t height, int32_t index) { PageAt(index)->SetSize(width, height); }

void TMask::MakeAbsolute(const char* base) {
  for (int32_t i = 0; i < Count; ++i) PageAt(i)->MakeAbsolute(base);
}

void TMask::MakeRelative(const char* base) {
  for (int32_t i = 0; i < Count; ++i) PageAt(i)->MakeRelative(base);
}

void TMask::Layout() {
  for (int32_t i = 0; i < Count; ++i) PageAt(i)->Layout(nullptr);
}

int32_t TMask::Read(const char* fileName) {
  kxobject::TKxFileStream stream(fileName, kxobject::kFileRead);
  if (stream.Status != 0) return -1;
  return Read(stream);
}

int32_t TMask::Read(TKxStream& stream) {
  char signature[6] = {};
  stream.Read(signature, 6);
  if (stream.Status != 0) return -2;
  if (std::memcmp(signature, kSignature, 6) != 0) return -3;
  const uint16_t version = ReadWord(stream);
  if (stream.Status != 0) return -2;
  if (version > uint16_t(kMaskFileVersion)) return -4;
  const int32_t result = ReadBody(stream, int16_t(version));
  if (result != 0) return result;
  return stream.Status != 0 ? -2 : 0;
}

int32_t TMask::ReadBody(TKxStream& stream, int16_t version) {
  FreeAll();
  Formats.FreeAll();
  Generation = version < 19 ? 1 : 2;
  const int32_t formats = ReadCount(stream, version < 18 ? kFontRecordBytes : kFormatRecordBytes);
  for (int32_t i = 0; i < formats; ++i) {
    auto* format = new TKxFormat();
    if (version < 18) {
      format->Font.Read(stream);
      format->Kind = int16_t(i);
      char name[kxfont::kMaxFormatName + 1];
      format->SetName(kxfont::GetTextStyleName(i, name, kxfont::kMaxFormatName));
    } else {
      format->Read(stream);
    }
    Formats.Insert(format);
  }
  for (COLORREF& c : CustomColors) c = kWhite;
  if (version > 35)
    for (COLORREF& c : CustomColors) c = ReadLong(stream);
  if (version > 21)
    for (uint16_t& w : LayoutWords) w = ReadWord(stream);
  int32_t error = 0;
  const int32_t pages = ReadCount(stream, kMinPageBytes);
  for (int32_t p = 0; p < pages && error == 0; ++p) {
    const uint16_t kind = version >= 10 ? ReadWord(stream) : 0;
    TMaskPage* page = CreatePage(kind, true);
    if (!page) {
      error = -5;
      break;
    }
    page->Read(stream, version);
    const int32_t elements = ReadCount(stream, kMinElementBytes);
    for (int32_t e = 0; e < elements && stream.Status == 0 && error == 0; ++e) {
      TMaskElement* element = MaskElementFactory().CreateElementFromStream(stream, version);
      if (!element) {
        error = -2;
        break;
      }
      if (element->GetFormatIndex() >= Formats.Count()) element->SetFormatIndex(0);
      element->SetOwner(page);
      page->AtInsert(page->Count, element);
    }
    if (error == 0 && stream.Status != 0) error = -2;
    if (error == 0) {
      page->SetOwner(this);
      AtInsert(Count, page);
    } else {
      delete page;
    }
  }
  return error;
}

int32_t TMask::Write(TKxStream& stream) const {
  stream.Write(kSignature, 6);
  const uint16_t version = kMaskFileVersion;
  WriteWord(stream, version);
  if (stream.Status != 0) return -2;
  WriteBody(stream);
  return stream.Status != 0 ? -3 : 0;
}

void TMask::WriteBody(TKxStream& stream) const {
  const uint16_t formats = uint16_t(Formats.Count());
  WriteWord(stream, formats);
  for (int32_t i = 0; i < formats; ++i) Formats.At(i)->Write(stream);
  for (const COLORREF c : CustomColors) WriteLong(stream, c);
  for (const uint16_t w : LayoutWords) WriteWord(stream, w);
  const uint16_t pages = uint16_t(Count);
  WriteWord(stream, pages);
  for (int32_t p = 0; p < pages; ++p) {
    const TMaskPage* page = PageAt(p);
    page->Write(stream);
    const uint16_t elements = uint16_t(page->Count);
    WriteWord(stream, elements);
    for (int32_t e = 0; e < elements; ++e) PutMaskElement(*page->ElementAt(e), stream);
  }
}

int32_t TMask::WriteToFile(const char* fileName) const {
  kxobject::TKxFileStream stream(fileName, kxobject::kFileCreate);
  if (stream.Status != 0) return -1;
  return Write(stream);
}

int32_t TMask::Solve(const uint8_t* tokens, char* out, int32_t size, int32_t mode) {
  if (!DataSource) return -1;
  const int32_t result = ZetSolve(DataSource->GetTableHandle(), out, tokens, size - 1, mode);
  if (result != 0) {
    char error[256] = {};
    ZetGetLastError(error, sizeof error - 1);
    StrLCopy(out, "ERR: ", size - 1);
    StrLCat(out, error, size - 1);
  }
  return result;
}

void TMask::NotifyElements() {
  ForEachElement([](TMaskElement* element, void*) { element->DataSourceChanged(); }, nullptr);
}

dataviews::TDataSource* TMask::PrepareSelections() {
  for (int32_t i = 0; i < Count; ++i) PageAt(i)->PrepareSelection(DataSource);
  return DataSource;
}

void TMask::SetDataSource(dataviews::TDataSource* source) {
  DataSource = source;
  if (!source) return;
  PrepareSelections();
  NotifyElements();
}

int32_t TMask::GetAutoNo() const { return DataSource->GetAutoNo(); }

void TMask::ForEachPage(PageAction action, void* arg) {
  for (int32_t i = 0; i < Count; ++i) action(PageAt(i), arg);
}

void TMask::ForEachElement(TMaskPage::ElementAction action, void* arg) {
  for (int32_t i = 0; i < Count; ++i) PageAt(i)->ForEachElement(action, arg);
}

void TMask::AddElement(int32_t pageIndex, int32_t elementIndex, TMaskElement* element) {
  if (pageIndex < 0 || pageIndex >= Count) pageIndex = Count - 1;
  char name[256];
  StrLCopy(name, element->GetName() ? element->GetName() : "", 255);
  MakeUniqueElementName(*element, name, 255);
  element->SetName(name);
  PageAt(pageIndex)->InsertElement(elementIndex, element);
  if (element->GetFormatIndex() >= Formats.Count()) element->SetFormatIndex(0);
  if (DataSource) {
    element->AttachDataSource();
    element->DataSourceChanged();
  }
}

TMaskElement* TMask::RemoveElement(int32_t pageIndex, int32_t elementIndex) {
  if (pageIndex < 0 || pageIndex >= Count) return nullptr;
  return PageAt(pageIndex)->RemoveElement(elementIndex);
}

TMaskElement* TMask::FindElementByName(const char* name) const {
  for (int32_t i = 0; i < Count; ++i)
    if (TMaskElement* found = PageAt(i)->FindElementByName(name)) return found;
  return nullptr;
}

void TMask::MakeUniqueElementName(const TMaskElement& element, char* buffer, int32_t size) const {
  if (*buffer && !FindElementByName(buffer)) return;
  char type[256];
  element.GetTypeName(type, 255);
  std::string candidate;
  for (int32_t n = 1;; ++n) {
    candidate = std::string(type) + std::to_string(n);
    if (!FindElementByName(candidate.c_str())) break;
  }
  StrLCopy(buffer, candidate.c_str(), size);
}

void TMask::ShiftFormatIndexes(int32_t from, int32_t delta) {
  for (int32_t p = 0; p < Count; ++p)
    for (int32_t e = 0; e < PageAt(p)->Count; ++e) {
      TMaskElement* element = PageAt(p)->ElementAt(e);
      const int16_t index = element->GetFormatIndex();
      if (index >= from && index > 0) element->SetFormatIndex(int16_t(index + delta));
    }
}

int32_t TMask::InsertFont(TKxFormat* format) {
  int32_t position = 0;
  while (position < Formats.Count() && Formats.At(position)->Kind <= format->Kind) ++position;
  Formats.AtInsert(position, format);
  ShiftFormatIndexes(position, 1);
  return position;
}

void TMask::RemoveFont(int32_t index) {
  if (index < 0 || index >= Formats.Count()) return;
  Formats.AtFree(index);
  ShiftFormatIndexes(index, -1);
  Layout();
}

void TMask::RemoveAllFonts() {
  for (int32_t i = Formats.Count() - 1; i >= 0; --i) RemoveFont(i);
}

void TMask::ReplaceFont(int32_t index, TKxFormat* format) {
  if (index < 0 || index >= Formats.Count()) {
    delete format;
    return;
  }
  Formats.AtFree(index);
  Formats.AtInsert(index, format);
  Layout();
}

void TMask::SetDefaultFonts() {
  static const struct {
    int32_t height, weight;
  } defaults[8] = {{-35, 400}, {-84, 700}, {-63, 700}, {-49, 700}, {-42, 700}, {-35, 700}, {-28, 700}, {-28, 400}};
  for (int16_t kind = 0; kind < 8; ++kind) {
    TKxFont font("Arial", defaults[kind].height, 0);
    font.LogFont.lfWeight = defaults[kind].weight;
    char name[kxfont::kMaxFormatName + 1];
    InsertFont(new TKxFormat(kind, kxfont::GetTextStyleName(kind, name, kxfont::kMaxFormatName), font));
  }
}

kxobject::TKxStringList* TMask::GetFormatNames() const {
  auto* list = new kxobject::TKxStringList(10, 10);
  for (int32_t i = 0; i < Formats.Count(); ++i) {
    char text[81], part[81];
    kxfont::GetTextStyleName(Formats.At(i)->Kind, text, 80);
    StrLCat(text, "(", 80);
    StrLCat(text, Formats.At(i)->Font.GetDescription(part, 80), 80);
    StrLCat(text, ")", 80);
    list->Insert(kxstring::StrDup(text));
  }
  return list;
}

void TMask::RebuildFontVector(win::Dc& target, int32_t numerator, int32_t denominator) {
  FontVector.clear();
  for (int32_t i = 0; i < Formats.Count(); ++i) {
    TKxFont font = Formats.At(i)->Font;
    font.CreateFont(target, numerator, denominator);
    FontVector.push_back(font);
  }
}

const TKxFont* TMask::GetRealFont(int32_t index) const {
  return index >= 0 && index < int32_t(FontVector.size()) ? &FontVector[size_t(index)] : nullptr;
}

int32_t TMask::GetFontHeight(int32_t index, bool withLeading) const {
  if (index < 0 || index >= Formats.Count()) return 0;
  TKxFont font = Formats.At(index)->Font;
  font.CreateFont(*DisplayContext(), 1, 1);
  return font.Height + (withLeading ? font.ExternalLeading : 0);
}

int32_t TMask::GetFontAverageWidth(int32_t index) const {
  if (index < 0 || index >= Formats.Count()) return 0;
  auto dc = DisplayContext();
  const win::LOGFONT previous = dc->SelectFont(Formats.At(index)->Font.LogFont);
  win::TEXTMETRIC tm{};
  dc->GetTextMetrics(&tm);
  dc->SelectFont(previous);
  return tm.tmAveCharWidth;
}

int32_t TMask::FieldText(void (dataviews::TDataSource::*read)(const char*, char*, int32_t), const char* field,
                         char* out, int32_t size) const {
  if (!DataSource) {
    StrLCopy(out, field, size - 1);
    return -1;
  }
  (DataSource->*read)(field, out, size);
  return 0;
}

int32_t TMask::GetFieldText(const char* field, char* out, int32_t size) const {
  return FieldText(&dataviews::TDataSource::GetFieldText, field, out, size);
}

int32_t TMask::GetPrevFieldText(const char* field, char* out, int32_t size) const {
  return FieldText(&dataviews::TDataSource::GetPrevFieldText, field, out, size);
}

int32_t TMask::GetFieldNumberText(const char* field, char* out, int32_t size, int32_t precision) const {
  const int32_t table = DataSource ? DataSource->GetTableHandle() : 0;
  if (table <= 0) {
    StrLCopy(out, field, size - 1);
    return -1;
  }
  double value = 0;
  const int32_t result = ZetTableGetReal(table, field, &value);
  if (result == 1) {
    if (size > 0) out[0] = 0;
  } else {
    RealToStr(value, precision, out, size);
  }
  return result;
}

int32_t TMask::GetFieldDisplayLength(const char* field) const {
  const int32_t table = DataSource ? DataSource->GetTableHandle() : 0;
  const int32_t no = ZetTableGetFieldNo(table, field);
  ZetFieldSpec desc{};
  if (no <= 0 || ZetTableGetFieldSpec(table, no, &desc) < 0) return -1;
  switch (desc.type) {
    case 1: return desc.size;
    case 2: return 6;
    case 3: return 40;
    case 4: return 4;
    case 6: return 10;
    case 10:
    case 12: return 255;
    case 13: return 8;
    default: return -1;
  }
}

int32_t TMask::ValidateFieldValue(const char* field, const char* value) const {
  if (!DataSource) return -1;
  char message[256];
  return DataSource->SetFieldText(field, value, message, sizeof message - 1);
}

int32_t TMask::ColorFromName(const char* name) {
  for (int i = 0; i < kxfont::kColorCount; ++i)
    if (kxstring::StrEqualNoCase(kxfont::GetColorName(i), name)) return int32_t(kxfont::IndexToColor(i));
  return -1;
}

}  // namespace forms
