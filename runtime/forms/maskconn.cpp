// The connection element (see maskconn.h).
#include "runtime/forms/maskconn.h"

#include "runtime/dataviews/browfmt.h"
#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/toolkit/kxfont.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrFree;

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr int16_t kConditionVersion = 16, kSubFormVersion = 18;

int32_t g_readDepth = 0;

// Counts the sub-forms being read inside each other.
class TDepthGuard {
 public:
  TDepthGuard() { ++g_readDepth; }
  ~TDepthGuard() { --g_readDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;
  bool TooDeep() const { return g_readDepth > kMaxSubFormDepth; }
};

}  // namespace

TConnectionField::TConnectionField(TMaskPage* owner, const TRect& bounds, const char* linkName, uint16_t flags)
    : TMaskElement(owner, -2, bounds), LinkName(StrDup(linkName)), Flags(flags), SubForm(std::make_unique<TMultiMask>()) {
  Color = kWhite;
  RecordCode = kCodeConnection;
}

TConnectionField::TConnectionField(const TConnectionField& other)
    : TMaskElement(other),
      LinkName(StrDup(other.LinkName)),
      Flags(other.Flags),
      SubForm(std::make_unique<TMultiMask>()),
      Condition(StrDup(other.Condition)) {
  kxobject::TMemStream body(0, 1024);
  other.SubForm->WriteBody(body);
  body.Seek(0);
  SubForm->ReadBody(body, kMaskFileVersion);
}

TConnectionField::TConnectionField(TKxStream& stream, int16_t version) : TMaskElement(stream, version) {
  RecordCode = kCodeConnection;
  LinkName = stream.ReadString();
  Flags = ReadWord(stream);
  if (version >= kConditionVersion) Condition = stream.ReadString();
  const TDepthGuard depth;
  if (depth.TooDeep() && stream.Status == 0) stream.Error(kxobject::kStreamReadError, 0);
  if (stream.Status != 0) {
    SubForm = std::make_unique<TMultiMask>();
    return;
  }
  if (version >= kSubFormVersion) {
    SubForm = std::make_unique<TMultiMask>();
    if (SubForm->ReadBody(stream, version) != 0 && stream.Status == 0) stream.Error(kxobject::kStreamReadError, 0);
    return;
  }
  const dataviews::TBrowserFormat columns(stream, false);
  dataviews::TZetDataSource cursor(LinkName ? LinkName : "", nullptr, Condition);
  SubForm = std::make_unique<TMultiMask>(columns, &cursor);
  SubForm->SetDataSource(nullptr);
}

TConnectionField::~TConnectionField() {
  Release();
  StrFree(LinkName);
  StrFree(Condition);
}

char* TConnectionField::GetTypeName(char* buffer, int32_t size) const {
  return kxstring::StrLCopy(buffer, "Tabelle", size);
}

void TConnectionField::Write(TKxStream& stream) const {
  TMaskElement::Write(stream);
  stream.WriteString(LinkName);
  WriteWord(stream, Flags);
  stream.WriteString(Condition);
  SubForm->WriteBody(stream);
}

void TConnectionField::SetColor(COLORREF color) {
  Color = color;
  SubForm->ForEachPage([](TMaskPage* page, void* arg) { page->SetColor(*static_cast<COLORREF*>(arg)); }, &color);
}

int32_t TConnectionField::GetText(char* buffer, int32_t size) const {
  kxstring::StrLCopyOrEmpty(buffer, Condition, size);
  return 0;
}

void TConnectionField::SetFormatIndex(int16_t index) {
  FormatIndex = index;
  const TMask* outer = GetMask();
  if (!outer || index < 0 || index >= outer->GetFormatCount()) return;
  SubForm->ForEachElement([](TMaskElement* element, void*) { element->SetFormatIndex(0); }, nullptr);
  while (SubForm->GetFormatCount() > 1) SubForm->RemoveFont(SubForm->GetFormatCount() - 1);
  const bool hadOne = SubForm->GetFormatCount() == 1;
  const int32_t at = SubForm->InsertFont(new kxfont::TKxFormat(*outer->GetFormat(index)));
  if (hadOne) SubForm->RemoveFont(at == 0 ? 1 : 0);
}

int32_t TConnectionField::GetTableHandle() const { return Source ? Source->GetTableHandle() : 0; }

void TConnectionField::Release() {
  if (!Source) return;
  SubForm->SetDataSource(nullptr);
  if (OwnsSource()) delete Source;
  Source = nullptr;
}

void TConnectionField::AttachDataSource() {
  Release();
  if (!LinkName) return;
  if (LinkName[0] == '#')
    Source = TMaskElement::GetDataSource();
  else
    Source = new dataviews::TZetDataSource(LinkName, TMaskElement::GetDataSource(), Condition);
  SubForm->SetDataSource(Source);
}

void TConnectionField::DataSourceChanged() {
  if (OwnsSource()) Source->Relink();
}

void TConnectionField::SetLinkName(const char* name) {
  const bool bound = Source != nullptr;
  Release();
  kxstring::StrReplaceDup(LinkName, name);
  if (bound) AttachDataSource();
}

void TConnectionField::SetSubForm(std::unique_ptr<TMultiMask> form) {
  if (!form) return;
  if (Source) SubForm->SetDataSource(nullptr);
  SubForm = std::move(form);
  if (Source) SubForm->SetDataSource(Source);
}

}  // namespace forms
