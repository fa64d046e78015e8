// Element property sets and event properties (see maskprop.h).
#include "runtime/forms/maskprop.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/interface/include/zetcore.h"
#include "runtime/forms/mask.h"

namespace forms {

using kxstring::StrLCat;
using kxstring::StrLCopy;
using kxstring::StrLCopyOrEmpty;

bool TStringProperty::Validate(const char* text, char* message, int32_t size) {
  return !Check || Check(text, message, size);
}

void TStringProperty::GetText(char* buffer, int32_t max) const {
  StrLCopyOrEmpty(buffer, *Value, MaxLength > 0 ? std::min(max, MaxLength) : max);
}

void TStringProperty::SetText(const char* text) { kxstring::StrReplaceDup(*Value, text); }

void TIntProperty::GetText(char* buffer, int32_t max) const {
  char text[16];
  std::snprintf(text, sizeof text, "%d", Value ? int(*Value) : 0);
  StrLCopy(buffer, text, max);
}

void TIntProperty::SetText(const char* text) {
  int64_t value = 0;
  for (const char* p = text; p && std::isdigit(static_cast<unsigned char>(*p)); ++p)
    value = std::min<int64_t>(value * 10 + (*p - '0'), INT32_MAX);
  if (Value) *Value = int32_t(value);
}

void TActionProperty::GetText(char* buffer, int32_t max) const {
  StrLCopy(buffer, *Action ? (*Action)->Text.CStr() : "", max);
}

void MakeProcedureName(const TMaskElement& element, const char* event, char* buffer) {
  const int32_t room = kMaxProcedureName - int32_t(std::strlen(event));
  StrLCopyOrEmpty(buffer, element.GetName(), room < 0 ? 0 : room);
  StrLCat(buffer, event, kMaxProcedureName);
}

TPropertySet* CreateEventPropertySet(TMaskElement& element, TKxAction** action, const char* event) {
  auto* set = new TPropertySet();
  char name[kMaxProcedureName + 1];
  MakeProcedureName(element, event, name);
  const TMask* mask = element.GetMask();
  set->Add(new TActionProperty(action, mask ? mask->GetModule() : nullptr, name, &element));
  return set;
}

bool CheckExpressionText(const char* text, char* message, int32_t size) {
  if (ZetCheckExpression(0, text) == 0) return true;
  ZetGetLastError(message, size);
  StrLCat(message, ": \r\n", size);
  const int32_t used = int32_t(std::strlen(message));
  if (used < size) ZetGetLastErrorPos(message + used, size - used);
  return false;
}

}  // namespace forms
