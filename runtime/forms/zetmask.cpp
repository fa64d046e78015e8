// The program's form and the multi-record form (see zetmask.h).
#include "runtime/forms/zetmask.h"

#include <memory>

#include "runtime/toolkit/kxstring.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrLCopyOrEmpty;

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

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
  MenuFilter.FreeAll();
  MenuFilter.SetUnfiltered(true);
  ToolbarFilter.FreeAll();
  ToolbarFilter.SetUnfiltered(true);
  AccelFilter.FreeAll();
  AccelFilter.SetUnfiltered(true);
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

TMaskElement* TZetMask::CreateFieldElement(const ZetFieldSpec&, bool) { return nullptr; }

kxobject::TKxStringList* TZetMask::GetFieldNames() const { return new kxobject::TKxStringList(10, 10); }

void TZetMask::BuildFromTable(dataviews::TDataSource* source, bool) { DataSource = source; }

bool TZetMask::CheckElements(int32_t, char* buffer, int32_t size) const {
  if (size > 0) buffer[0] = 0;
  return true;
}

// ---- the multi-record form ----

TMultiMask::TMultiMask() : TZetMask(2, nullptr) { PageAt(1)->SetColor(kWhite); }

TMultiMask::TMultiMask(dataviews::TDataSource* source) : TZetMask(source) {
  AddPage();
  AddPage();
  PageAt(1)->SetColor(kWhite);
}

TMultiMask::TMultiMask(dataviews::TDataSource* source, bool) : TMultiMask(source) {}

TMultiMask::TMultiMask(const dataviews::TBrowserFormat&, dataviews::TDataSource* source) : TMultiMask(source) {}

}  // namespace forms
