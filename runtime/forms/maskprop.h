// Property sets: the values a user sets on an element, and the events a macro
// can be bound to, as short lists of typed properties that read and write one
// field of the element through text.
//
// What always holds:
//   1. A property points into the element that owns the value and never owns
//      the value; a set must not outlive its element. The caller owns a set
//      and the set owns its properties.
//   2. A property is addressed by its 0-based place in its set; an index
//      outside the set raises the collection's range error.
//   3. Texts are bounded: GetText writes at most the given number of
//      characters and a terminator.
//   4. The procedure name of an event property is the element's name followed
//      by the event word, and always holds the whole event word within 99
//      characters: the element's name is cut to make room for it.
#pragma once

#include <cstdint>

#include "runtime/forms/maskelem.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstring.h"

namespace forms {

class TZetModule;

// Type codes (GetType; the editor code is the same).
constexpr int32_t kPropString = 0, kPropPicture = 1, kPropAction = 2, kPropBool = 3, kPropInt = 4, kPropColor = 5;
constexpr int32_t kMaxProcedureName = 99;

class TProperty {
 public:
  virtual ~TProperty() = default;
  virtual int32_t GetType() const = 0;
  virtual int32_t GetEditorType() const { return GetType(); }
  virtual bool Validate(const char*, char*, int32_t) { return true; }
  virtual void GetText(char* buffer, int32_t max) const = 0;
  virtual void SetText(const char*) {}
  virtual int32_t GetMaxLength() const { return 0; }
  virtual bool IsEmpty() const = 0;
};

class TStringProperty : public TProperty {
 public:
  using Checker = bool (*)(const char* text, char* message, int32_t size);
  TStringProperty(int32_t maxLength, char** value, Checker checker)
      : MaxLength(maxLength), Value(value), Check(checker) {}

  int32_t GetType() const override { return kPropString; }
  bool Validate(const char* text, char* message, int32_t size) override;
  void GetText(char* buffer, int32_t max) const override;
  void SetText(const char* text) override;
  int32_t GetMaxLength() const override { return MaxLength; }
  bool IsEmpty() const override { return !*Value; }

 private:
  int32_t MaxLength;
  char** Value;
  Checker Check;
};

class TIntProperty : public TProperty {
 public:
  TIntProperty(int32_t* value, int32_t minimum, int32_t maximum) : Value(value), Minimum(minimum), Maximum(maximum) {}

  int32_t GetType() const override { return kPropInt; }
  void GetText(char* buffer, int32_t max) const override;
  // The leading digits of the text; a text without digits stores 0.
  void SetText(const char* text) override;
  bool IsEmpty() const override { return !Value; }
  int32_t GetMinimum() const { return Minimum; }
  int32_t GetMaximum() const { return Maximum; }

 private:
  int32_t* Value;
  int32_t Minimum, Maximum;
  uint8_t Flag = 0;
};

class TActionProperty : public TProperty {
 public:
  TActionProperty(TKxAction** action, TZetModule* module, const char* procedureName, TMaskElement* element)
      : Action(action), Module(module), ProcedureName(procedureName), Element(element) {}

  int32_t GetType() const override { return kPropAction; }
  void GetText(char* buffer, int32_t max) const override;
  bool IsEmpty() const override { return !*Action; }
  const char* GetProcedureName() const { return ProcedureName.CStr(); }
  TZetModule* GetModule() const { return Module; }
  // The element's check of an action (TMaskElement::CheckAction).
  bool CheckAction(char* message, int32_t size) const { return Element->CheckAction(**Action, message, size); }

 private:
  TKxAction** Action;
  TZetModule* Module;
  kxstring::TKxString ProcedureName;
  TMaskElement* Element;
};

class TPropertySet {
 public:
  TPropertySet() = default;
  TPropertySet(const TPropertySet&) = delete;
  TPropertySet& operator=(const TPropertySet&) = delete;
  virtual ~TPropertySet() = default;

  void Add(TProperty* property) { Properties.Insert(property); }
  virtual int32_t GetCount() const { return Properties.Count(); }
  virtual int32_t GetType(int32_t i) const { return Properties.At(i)->GetType(); }
  virtual int32_t GetEditorType(int32_t i) const { return Properties.At(i)->GetEditorType(); }
  virtual bool Validate(int32_t i, const char* text, char* message, int32_t size) {
    return Properties.At(i)->Validate(text, message, size);
  }
  virtual void GetText(int32_t i, char* buffer, int32_t max) const { Properties.At(i)->GetText(buffer, max); }
  virtual void SetText(int32_t i, const char* text) { Properties.At(i)->SetText(text); }
  virtual int32_t GetMaxLength(int32_t i) const { return Properties.At(i)->GetMaxLength(); }
  TProperty* At(int32_t i) const { return Properties.At(i); }

 private:
  kxobject::TKxPtrArray<TProperty> Properties{10, 10};
};

// The element's name cut so that the event word fits, then the event word.
void MakeProcedureName(const TMaskElement& element, const char* event, char* buffer);
// A new set with one event property over the element's action ("Timer",
// "Click", ...), bound to the module of the element's form.
TPropertySet* CreateEventPropertySet(TMaskElement& element, TKxAction** action, const char* event);
// The checker of an HTML command: the engine's check of the text on no table.
bool CheckExpressionText(const char* text, char* message, int32_t size);

}  // namespace forms
