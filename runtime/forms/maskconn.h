// The connection element: a sub-form embedded in a form page that shows the
// records of a table linked to the outer form's current record, fed by a
// data source the element makes from a link name and a condition.
//
// What always holds for a TConnectionField:
//   1. The element always owns its sub-form, the program's multi-record form
//      (TMultiMask), never null, and deletes it.
//   2. Source is null while unbound. A link name beginning with "#" binds
//      the outer form's own data source, which the element never deletes;
//      any other name binds a linked cursor the element made, owned and
//      deleted when the element is released, renamed or destroyed. The
//      sub-form never keeps a source the element has released.
//   3. Only AttachDataSource binds; reading, copying and renaming an
//      unbound element leave it unbound.
//   4. Sub-forms nest (a sub-form may hold connection elements), but a file
//      can nest them at most kMaxSubFormDepth deep: a deeper record marks
//      the stream as failed, so a hostile file cannot exhaust the stack.
//
// Record after the base element record (little-endian):
//   link name        string (u16 length, bytes)
//   flags            u16 (0x10 and 0x20 make the element editable)
//   condition        string; version 16 and above (older: none)
//   column set       the font-less browser column set; version 17 and below
//   sub-form body    the form body of the sub-form; version 18 and above
// The writer writes the newest layout: name, flags, condition, body.
#pragma once

#include <cstdint>
#include <memory>

#include "runtime/forms/zetmask.h"

namespace forms {

constexpr int16_t kCodeConnection = -1;
constexpr int32_t kMaxSubFormDepth = 16;

class TConnectionField : public TMaskElement {
 public:
  static constexpr uint16_t kEditableFlags = 0x10 | 0x20;

  // A new element: white, an empty sub-form, no condition.
  TConnectionField(TMaskPage* owner, const TRect& bounds, const char* linkName, uint16_t flags);
  TConnectionField(const TConnectionField& other);
  TConnectionField(TKxStream& stream, int16_t version);
  ~TConnectionField() override;

  TMaskElement* Clone() const override { return new TConnectionField(*this); }
  char* GetTypeName(char* buffer, int32_t size) const override;
  void Write(TKxStream& stream) const override;
  // Every page of the sub-form takes the colour too.
  void SetColor(COLORREF color) override;
  // The condition.
  int32_t GetText(char* buffer, int32_t size) const override;
  // The sub-form then uses exactly the outer form's format of that index.
  void SetFormatIndex(int16_t index) override;
  int32_t GetTableHandle() const override;
  bool IsEditable(int32_t editing) const override { return editing && (Flags & kEditableFlags) != 0; }
  void AttachDataSource() override;
  void DataSourceChanged() override;

  void SetLinkName(const char* name);
  void SetCondition(const char* condition) { kxstring::StrReplaceDup(Condition, condition); }
  // Takes the sub-form (ownership passes; null is ignored); a bound source
  // moves over to it.
  void SetSubForm(std::unique_ptr<TMultiMask> form);
  TMultiMask& GetSubForm() const { return *SubForm; }
  const char* GetLinkName() const { return LinkName; }
  const char* GetCondition() const { return Condition; }
  uint16_t GetFlags() const { return Flags; }
  dataviews::TDataSource* GetBoundSource() const { return Source; }

 private:
  bool OwnsSource() const { return Source && !(LinkName && LinkName[0] == '#'); }
  void Release();

  char* LinkName = nullptr;
  dataviews::TDataSource* Source = nullptr;
  uint16_t Flags = 0;
  std::unique_ptr<TMultiMask> SubForm;
  char* Condition = nullptr;
};

}  // namespace forms
