// The data fields: their records at every version that changes them, the
// value texts and their bounds, editability, and what the fields show of a
// small real table (ranges through the data source, passwords, related
// records, yes/no values, a memo running over pages).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/dataviews/zetstream.h"
#include "runtime/forms/maskprop.h"
#include "runtime/forms/tests/forms_table_util.h"
#include "runtime/forms/tests/forms_test_util.h"

namespace {

using namespace forms;
using kxobject::TMemStream;
using kxobject::TRect;

// --- records ---

// A data-field record of record code `code` as a file of version v holds
// it, every gated value set: static output 1, password 1, a kind-3 message,
// two stored choices, display flag 0, actions "A0".."A3" of kind 2 (or the
// older layouts).
void WriteFieldRecordAt(TMemStream& s, int v, int16_t code) {
  formstest::WriteBaseRecord(s, v, "F", nullptr, 0, 5, TRect{1, 2, 300, 40}, 1, 0xFF000000u, 0, 0);
  s.WriteString("NAME");
  const uint8_t one = 1, zero = 0;
  if (v >= 31) s.Write(&one, 1);
  s.WriteInt(1);
  s.WriteString("MENGE > 1");
  if (v >= 42) {
    for (const char* text : {"A0", "A1", "A2", "A3"}) {
      const uint32_t kind = 2;
      s.Write(&kind, 4);
      s.WriteString(text);
    }
  } else if (v >= 19) {
    for (const char* text : {"A0", "A1", "A2", "A3"}) s.WriteString(text);
  } else {
    s.WriteString("A3");
  }
  if (code == kCodeMemo || code == kCodePicture) {
    s.WriteString("Titel");
    if (code == kCodePicture) s.WriteInt(3);
    if (v >= 27) s.Write(&zero, 1);
    return;
  }
  s.WriteInt(dtText);
  s.WriteInt(0x0201);  // style 1, two lines
  s.WriteInt(0);
  s.WriteString("\"x\"");
  s.WriteInt(kValidCondition);
  s.WriteString("MENGE > 0");
  if (v >= 16) s.WriteString("Zu klein");
  s.WriteInt(2);
  s.WriteString("a\r\nb");
  if (v >= 37) s.Write(&one, 1);
  if (code == kCodeYesNo) s.WriteString("Ja?");
  if (code == kCodeLink || code == kCodeRelation) {
    s.WriteString("Adl");
    s.WriteInt(7);
  }
  if ((code == kCodeSelection || code == kCodeSelectionOld) && v >= 33) {
    const uint32_t count = 2;
    s.Write(&count, 4);
    s.WriteString("x");
    s.WriteString("y");
  }
}

std::unique_ptr<TMaskElement> ReadThroughFactory(TMemStream& s, int v) {
  s.Seek(0);
  return std::unique_ptr<TMaskElement>(MaskElementFactory().CreateElementFromStream(s, int16_t(v)));
}

TEST(FieldRecords, EveryCodeAtEveryGatedVersion) {
  const int16_t codes[] = {kCodeInput, kCodePicture, kCodeYesNo, kCodeSelection, kCodeSelectionOld,
                           kCodeLink,  kCodeAutoNo,  kCodeMemo,  kCodeRelation};
  for (int v : {15, 16, 18, 19, 26, 27, 30, 31, 32, 33, 36, 37, 41, 42, 43}) {
    for (int16_t code : codes) {
      SCOPED_TRACE(std::to_string(v) + " code " + std::to_string(code));
      TMemStream s(0, 256);
      s.WriteInt(code);
      WriteFieldRecordAt(s, v, code);
      const auto e = ReadThroughFactory(s, v);
      ASSERT_TRUE(e);
      EXPECT_EQ(0, s.Status);
      EXPECT_EQ(s.GetSize(), s.GetPos()) << "the whole record and nothing more";
      const auto& field = dynamic_cast<const TMaskField&>(*e);
      EXPECT_EQ(code == kCodeSelectionOld ? kCodeSelection : code, e->GetRecordCode());
      EXPECT_EQ(v >= 31 ? 1 : 0, field.GetStaticOutput());
      EXPECT_EQ(1, field.GetEditMode());
      for (int slot = 0; slot < TMaskField::kActions; ++slot) {
        const bool stored = v >= 19 || slot == TMaskField::kLeave;
        EXPECT_EQ(stored ? "A" + std::to_string(slot) : "", field.GetAction(slot).Text.CStr());
        EXPECT_EQ(v >= 42 ? 2 : 1, field.GetAction(slot).Kind);
      }
      if (const auto* input = dynamic_cast<const TInputField*>(e.get())) {
        EXPECT_EQ(v >= 37 ? 1 : 0, input->GetPassword());
        EXPECT_EQ(2, input->GetLineCount());
        EXPECT_EQ(v >= 16 ? "Zu klein" : "", input->OwnValidation().Message);
      }
      if (const auto* choice = dynamic_cast<const TSelectionField*>(e.get())) {
        EXPECT_EQ(v >= 33 ? 2 : 0, choice->GetSelectionCount());
      }
      if (const auto* memo = dynamic_cast<const TMemoField*>(e.get())) {
        EXPECT_EQ(v >= 27 ? 0 : 1, memo->GetDisplayFlag());
      }
      if (const auto* picture = dynamic_cast<const TPictureField*>(e.get())) {
        EXPECT_EQ(v >= 27 ? 0 : 1, picture->GetDisplayFlag());
        EXPECT_EQ(3, picture->GetPictureMode());
      }

      // Written again: the current layout, which reads back to the same
      // bytes (four kind-and-text actions, the static-output byte).
      TMemStream once(0, 256);
      PutMaskElement(*e, once);
      const auto back = ReadThroughFactory(once, 43);
      ASSERT_TRUE(back);
      EXPECT_EQ(once.GetSize(), once.GetPos());
      TMemStream twice(0, 256);
      PutMaskElement(*back, twice);
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(once.Block->Data), size_t(once.Size)),
                std::string(reinterpret_cast<const char*>(twice.Block->Data), size_t(twice.Size)));
      EXPECT_STREQ(field.GetActionText(2), dynamic_cast<const TMaskField&>(*back).GetActionText(2));
    }
  }
}

TEST(FieldRecords, FormOfEveryKindRoundTripsByteExact) {
  formstest::TTestMask form(1, nullptr);
  formstest::AddEveryField(form);
  const std::string bytes = formstest::Bytes(form);
  formstest::TTestMask back(nullptr);
  ASSERT_EQ(0, formstest::ReadForm(bytes, back));
  EXPECT_EQ(bytes, formstest::Bytes(back));
  ASSERT_EQ(form.PageAt(0)->Count, back.PageAt(0)->Count);
  for (int32_t i = 0; i < back.PageAt(0)->Count; ++i) {
    const TMaskElement& a = *form.PageAt(0)->ElementAt(i);
    const std::unique_ptr<TMaskElement> copy(back.PageAt(0)->ElementAt(i)->Clone());
    char x[64], y[64];
    EXPECT_STREQ(a.GetTypeName(x, 63), copy->GetTypeName(y, 63)) << i;
    TMemStream original(0, 256), copied(0, 256);
    PutMaskElement(a, original);
    PutMaskElement(*copy, copied);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(original.Block->Data), size_t(original.Size)),
              std::string(reinterpret_cast<const char*>(copied.Block->Data), size_t(copied.Size)))
        << "a copy keeps every stored setting: " << i;
  }
  // The events of a field: double click, enter and leave, named after the
  // element.
  const std::unique_ptr<TPropertySet> events(back.PageAt(0)->ElementAt(0)->CreateEventSet());
  ASSERT_EQ(3, events->GetCount());
  const char* const names[] = {"F0DblClick", "F0Enter", "F0Leave"};
  const char* const texts[] = {"", "", "Beep()"};
  for (int32_t i = 0; i < 3; ++i) {
    const auto* action = static_cast<const TActionProperty*>(events->At(i));
    EXPECT_STREQ(names[i], action->GetProcedureName());
    char text[32];
    action->GetText(text, 31);
    EXPECT_STREQ(texts[i], text);
  }
}

TEST(FieldValues, FieldsFromTheEngineDescription) {
  struct Case {
    uint16_t type;
    uint8_t flags;
    const char* text;
    uint16_t dataType;
    uint16_t formulaMode, editMode, validation;
  } const cases[] = {
      {kEngineInteger, 0, "", dtInteger, 0, 0, kValidNone},
      {kEngineReal, 1, "MENGE * 2", dtFloat, 1, 0, kValidNone},
      {kEngineInteger, 2, "1\r\n5", dtInteger, 0, 0, kValidLongRange},
      {kEngineReal, 2, "1.5\r\n5", dtFloat, 0, 0, kValidRealRange},
      {kEngineDate, 4, "", dtDate, 0, 1, kValidNone},
      {kEngineTime, 0, "", dtTime, 0, 0, kValidNone},
      {kEngineByte, 0, "", dtByte, 0, 0, kValidNone},
      {kEngineString, 0, "", dtText, 0, 0, kValidNone},
  };
  for (const Case& c : cases) {
    ZetFieldSpec spec{};
    std::strcpy(spec.name, "F");
    std::strcpy(spec.formula, c.text);
    spec.flags = c.flags;
    spec.type = c.type;
    spec.size = 3;
    const TInputField field(nullptr, 0, TRect{}, spec);
    EXPECT_EQ(c.dataType, field.GetDataType()) << c.type;
    EXPECT_EQ(c.formulaMode, field.GetFormulaMode()) << c.type;
    EXPECT_EQ(c.editMode, field.GetEditMode()) << c.type;
    EXPECT_EQ(c.validation, field.OwnValidation().Kind) << c.type;
    EXPECT_EQ(c.dataType == dtFloat ? 3 : 1, c.dataType == dtFloat ? field.GetDecimals() : field.GetLineCount());
    EXPECT_EQ(0, field.CheckFieldSpec(spec)) << c.type;
  }
}

// Values no writer makes fail the record; the form reader then answers -2.
TEST(FieldRecords, ImpossibleValuesFailTheRead) {
  struct Case {
    const char* what;
    size_t offset;  // from the end of a v43 input record of MakeHostile's form
    std::vector<uint8_t> bytes;
  };
  // Offsets from the end of the input record written below: password (1),
  // list text "a" (3), list kind (2), rule/message "" "" (4), kind (2).
  const Case cases[] = {
      {"validation kind 5", 1 + 3 + 2 + 4 + 2, {5, 0}},
      {"list kind 9", 1 + 3 + 2, {9, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    formstest::TTestMask form(1, nullptr);
    auto* field = new TInputField(nullptr, 0, dtText, TRect{0, 0, 10, 10}, "X");
    field->SetValidation(kValidCondition, "", "");
    field->SetList("a", 'A', false);
    form.PageAt(0)->InsertElement(-1, field);
    std::string bytes = formstest::Bytes(form);
    const size_t end = bytes.size();  // the input record ends the file
    std::memcpy(&bytes[end - c.offset], c.bytes.data(), c.bytes.size());
    formstest::TTestMask back(nullptr);
    EXPECT_EQ(-2, formstest::ReadForm(bytes, back));
  }
  // A choice field that claims more stored values than bytes follow.
  TMemStream s(0, 256);
  s.WriteInt(kCodeSelection);
  WriteFieldRecordAt(s, 32, kCodeSelection);
  const uint32_t count = 0xFFFFFFF0u;
  s.Write(&count, 4);
  const auto e = ReadThroughFactory(s, 33);
  EXPECT_NE(0, s.Status);
  TMemStream formula(0, 256);
  formula.WriteInt(kCodeInput);
  WriteFieldRecordAt(formula, 43, kCodeInput);
  std::string raw(reinterpret_cast<const char*>(formula.Block->Data), size_t(formula.Size));
  // The formula mode follows data type and style word.
  const size_t mode = raw.find(std::string("\x01\x00\x01\x02", 4)) + 4;
  raw[mode] = 2;
  TMemStream hostile(0, 256);
  hostile.WriteHuge(raw.data(), uint32_t(raw.size()));
  ReadThroughFactory(hostile, 43);
  EXPECT_NE(0, hostile.Status) << "formula mode 2";
}

// --- value texts ---

TEST(FieldValues, ParseBoundsAndTypedText) {
  struct Case {
    uint16_t type;
    const char* text;
    int32_t answer;
  } const cases[] = {
      {dtInteger, "-32768", -2}, {dtInteger, "-32767", 0}, {dtInteger, "32767", 0}, {dtInteger, "32768", -2},
      {dtByte, "255", 0},        {dtByte, "256", -2},      {dtByte, "zwei", -1},    {dtTime, "24:00", 0},
      {dtTime, "25:00", -1},     {dtDate, "11.12.2026", 0},
  };
  for (const Case& c : cases) {
    const TLongBounds b = GetLongBounds(c.type);
    int32_t value = 0;
    EXPECT_EQ(c.answer, ParseLongValue(c.type, c.text, b.lowest, b.highest, value)) << c.type << " " << c.text;
  }
  // The time bounds reach 86400, one past is out of range.
  const TLongBounds time = GetLongBounds(dtTime);
  int32_t value = 0;
  EXPECT_EQ(0, ParseLongValue(dtText, "86400", time.lowest, time.highest, value));
  EXPECT_EQ(-2, ParseLongValue(dtText, "86401", time.lowest, time.highest, value));
  EXPECT_EQ(86401, value) << "the value is kept when out of bounds";

  struct Typed {
    uint16_t type;
    const char* text;
    int32_t answer;
  } const typed[] = {
      {dtFloat, "3,5", 0},  {dtFloat, "drei", -1}, {dtInteger, "32768", -2}, {dtInteger, "", 0},
      {dtFloat, "", 0},     {dtText, "123", 0},    {dtText, "12a", -5},      {dtDate, "11,12,2026", 0},
  };
  for (const Typed& t : typed) {
    TInputField field(nullptr, 0, t.type, TRect{}, "X");
    if (t.type == dtText) field.SetValidation(kValidPicture, "###", "");
    EXPECT_EQ(t.answer, field.CheckInput(t.text)) << t.type << " " << t.text;
  }
  std::string typedReal = "3,5";
  ReplaceDecimalComma(typedReal);
  double real = 0;
  EXPECT_EQ(0, ParseRealValue(typedReal.c_str(), kRealLowest, kRealHighest, real));
  EXPECT_DOUBLE_EQ(3.5, real);
}

TEST(FieldValues, RangesFollowTheDataType) {
  TInputField price(nullptr, 0, dtFloat, TRect{}, "PREIS");
  price.SetValidation(kValidLongRange, "1,5\r\n9,5", "");
  EXPECT_EQ(kValidRealRange, price.OwnValidation().Kind);
  EXPECT_DOUBLE_EQ(1.5, price.OwnValidation().RealLowest);
  EXPECT_DOUBLE_EQ(9.5, price.OwnValidation().RealHighest);
  EXPECT_EQ(-2, price.CheckInput("9,6"));
  EXPECT_EQ(0, price.CheckInput("9,5"));
  TInputField amount(nullptr, 0, dtInteger, TRect{}, "MENGE");
  amount.SetValidation(kValidRealRange, "-5\r\n5", "");
  EXPECT_EQ(kValidLongRange, amount.OwnValidation().Kind);
  EXPECT_EQ(-2, amount.CheckInput("6"));
  amount.SetValidation(kValidLongRange, "10", "");
  EXPECT_EQ(10, amount.OwnValidation().LongLowest);
  EXPECT_EQ(32767, amount.OwnValidation().LongHighest) << "no line break: the lowest alone";
}

TEST(FieldValues, EditabilityWithoutATable) {
  struct Case {
    int32_t recordMode;
    uint16_t editMode;
    bool editable;
  } const cases[] = {{0, 0, false}, {1, 0, true},  {2, 0, true},  {0, 1, false}, {1, 1, false},
                     {2, 1, true},  {1, 2, false}, {2, 2, false}, {2, 3, false}};
  for (const Case& c : cases) {
    TInputField field(nullptr, 0, dtText, TRect{}, "X");
    field.SetCondition(c.editMode, "");
    EXPECT_EQ(c.editable, field.IsEditable(c.recordMode)) << c.recordMode << " " << c.editMode;
    field.SetFormula(1, "1");
    EXPECT_FALSE(field.IsEditable(c.recordMode)) << "a formula field is never editable";
  }
  TAutoNoField number(nullptr, TRect{}, "NR");
  for (int32_t mode : {0, 1, 2}) EXPECT_FALSE(number.IsEditable(mode));
  TRelationField relation(nullptr, 0, TRect{}, "FREUNDE");
  for (int32_t n : {0, 1, 2, 5}) {
    relation.SetLineCount(n);
    EXPECT_EQ(std::max(n, 2), relation.GetLineCount());
  }
}

// --- bound to a table ---

class FieldTable : public formstest::CustomerTable {
 protected:
  FieldTable() : CustomerTable(8) {}
  void TearDown() override {
    form_.reset();
    source_.reset();
    CustomerTable::TearDown();
  }
  // Customers named "K1".. with their amounts, then a form over them on
  // the first record.
  void Open(const std::vector<std::pair<std::string, int>>& rows) {
    const int32_t c = ZetTableCreate(relation_);
    for (const auto& [name, amount] : rows) {
      ASSERT_EQ(ZetTableAppend(c), 0);
      ASSERT_EQ(ZetTableSetStr(c, "NAME", name.c_str()), 0);
      ASSERT_EQ(ZetTableSetStr(c, "MENGE", std::to_string(amount).c_str()), 0);
      ASSERT_EQ(ZetTableAppendConfirm(c), 0);
    }
    ZetTableDelete(c);
    source_ = std::make_unique<dataviews::TZetDataSource>(relation_);
    form_ = std::make_unique<formstest::TTestMask>(1, nullptr);
    form_->SetDataSource(source_.get());
  }
  template <class F>
  F* Add(F* field) {
    form_->AddElement(0, -1, field);
    return field;
  }
  // The entries id > target of the relation table of FREUNDE.
  void Relate(int32_t id, std::vector<int32_t> targets) {
    const int32_t entries = ZetTableCreate(2);
    for (int32_t t : targets) ASSERT_EQ(ZetTableChangeRelEntry(entries, id, 0, t), 0);
    ZetTableDelete(entries);
  }

  std::unique_ptr<dataviews::TZetDataSource> source_;
  std::unique_ptr<formstest::TTestMask> form_;
};

TEST_F(FieldTable, BindingAndEditabilityUnderACondition) {
  Open({{"Anna", 7}});
  struct Bind {
    TMaskField* field;
    int32_t answer;
  } const binds[] = {
      {Add(new TInputField(nullptr, 0, dtInteger, TRect{}, "MENGE")), 0},
      {Add(new TInputField(nullptr, 0, dtText, TRect{}, "MENGE")), kFieldWrongType},
      {Add(new TInputField(nullptr, 0, dtOldReal1, TRect{}, "PREIS")), kFieldWrongType},
      {Add(new TInputField(nullptr, 0, dtText, TRect{}, "FEHLT")), kFieldMissing},
      {Add(new TInputField(nullptr, 0, dtText, TRect{}, "")), kFieldMissing},
      {Add(new TMemoField(nullptr, TRect{}, "NOTIZ")), 0},
      {Add(new TAutoNoField(nullptr, TRect{}, "NR")), 0},
      {Add(new TRelationField(nullptr, 0, TRect{}, "FREUNDE")), 0},
      {Add(new TLinkField(nullptr, 0, TRect{}, "NAME")), kFieldWrongType},
  };
  for (const Bind& b : binds) EXPECT_EQ(b.answer, b.field->Bind(source_.get())) << b.field->FieldNameText();

  struct Case {
    const char* condition;
    int32_t recordMode;
    uint16_t editMode;
    bool editable;
  } const cases[] = {
      {"MENGE > 5", 1, 0, true},  {"MENGE > 9", 1, 0, false}, {"MENGE > 9", 2, 1, false},
      {"MENGE >", 1, 0, true},    {"MENGE > 9", 1, 1, false}, {"MENGE > 5", 0, 0, false},
  };
  auto* field = Add(new TInputField(nullptr, 0, dtInteger, TRect{}, "MENGE"));
  for (const Case& c : cases) {
    field->SetCondition(c.editMode, c.condition);
    EXPECT_EQ(c.editable, field->IsEditable(c.recordMode)) << c.condition << " " << c.recordMode;
  }
}

TEST_F(FieldTable, FloatRangeThroughTheDataSource) {
  Open({{"Anna", 1}});
  auto* price = Add(new TInputField(nullptr, 0, dtFloat, TRect{}, "PREIS"));
  EXPECT_EQ(0, price->SetValidation(kValidRealRange, "1,5\r\n9,5", ""));
  EXPECT_DOUBLE_EQ(1.5, price->OwnValidation().RealLowest);
  EXPECT_DOUBLE_EQ(9.5, price->OwnValidation().RealHighest);
  std::string text1, text2;
  EXPECT_EQ(kValidRealRange, price->GetValidation(text1, text2));
  EXPECT_EQ("1,5\r\n9,5", text1);
  ASSERT_EQ(0, source_->Edit());
  EXPECT_EQ(0, price->SetValueText("2,25"));
  EXPECT_EQ(-2, price->SetValueText("10"));
  char shown[32];
  price->GetValueText(shown, 31);
  EXPECT_STREQ("2,25", shown) << "two decimals, shown with the engine's decimal comma";
  source_->Cancel();

  // A form written after the data source changed the range stores the
  // data source's range.
  Add(new TInputField(nullptr, 0, dtText, TRect{}, "FEHLT"))->SetValidation(kValidCondition, "MENGE > 1", "");
  source_->SetFieldValidation("PREIS", kValidRealRange, "2\r\n3", "");
  const std::string bytes = formstest::Bytes(*form_);
  formstest::TTestMask back(nullptr);
  ASSERT_EQ(0, formstest::ReadForm(bytes, back));
  const auto& read = static_cast<const TInputField&>(*back.PageAt(0)->ElementAt(0));
  EXPECT_DOUBLE_EQ(2, read.OwnValidation().RealLowest);
  EXPECT_DOUBLE_EQ(3, read.OwnValidation().RealHighest);
  const auto& lacking = static_cast<const TInputField&>(*back.PageAt(0)->ElementAt(1));
  EXPECT_EQ(kValidCondition, lacking.OwnValidation().Kind) << "a field the table lacks keeps its own rule";
  EXPECT_EQ("MENGE > 1", lacking.OwnValidation().Rule);
}

TEST_F(FieldTable, PasswordsAndPlaceholdersAsDrawn) {
  Open({{"Abcd", 1}});
  auto* name = Add(new TInputField(nullptr, 0, dtText, TRect{0, 0, 400, 50}, "NAME"));
  auto* empty = Add(new TInputField(nullptr, 0, dtText, TRect{0, 100, 400, 150}, "NOTIZ"));
  name->SetFrameStyle(0);
  empty->SetFrameStyle(0);
  struct Case {
    TInputField* field;
    uint8_t password;
    bool design;
    const char* drawn;
  } const cases[] = {
      {name, 1, false, "****"}, {name, 0, false, "Abcd"}, {empty, 0, true, "<NOTIZ>"}, {empty, 0, false, ""}};
  for (const Case& c : cases) {
    c.field->SetPassword(c.password);
    TRect r;
    c.field->GetBounds(r);
    EXPECT_EQ(form_->GetFontHeight(0, true), r.bottom - r.top) << "one line high";
    formstest::TRecordingContext context;
    kxobject::TPoint extent;
    c.field->Draw(context, 0, 0, extent, true, 0, c.design);
    ASSERT_FALSE(context.Calls.empty());
    EXPECT_EQ("text (0," + std::to_string(r.top) + ",400," + std::to_string(r.bottom) + ") 0 0 " + c.drawn,
              context.Calls.back());
  }
}

TEST_F(FieldTable, RelationFieldShowsItsRelatedRecords) {
  Open({{"K1", 1}, {"K2", 2}, {"K3", 3}, {"K4", 4}, {"K5", 5}, {"K6", 6}, {"K7", 7}});
  Relate(1, {2, 3, 4, 5, 6});
  Relate(2, {7});
  auto* field = Add(new TRelationField(nullptr, 0, TRect{0, 0, 400, 300}, "FREUNDE"));
  field->SetFrameStyle(0);
  EXPECT_EQ("2", field->GetRelationKeyField());
  const int32_t lineHeight = form_->GetFontHeight(0, true);
  TRect bounds;
  field->GetBounds(bounds);
  EXPECT_EQ(3 * lineHeight, bounds.bottom) << "three lines high";
  formstest::TRecordingContext context;
  kxobject::TPoint extent;
  field->Draw(context, 0, 0, extent, true, 0, false);
  std::vector<std::string> expected;
  for (int i = 0; i < 3; ++i)
    expected.push_back("text (0," + std::to_string(i * lineHeight) + ",400," + std::to_string((3 + i) * lineHeight) +
                       ") 0 0 K" + std::to_string(i + 2));
  EXPECT_EQ(expected, context.Calls);

  struct Case {
    int32_t record;
    const char* value;
  } const cases[] = {{1, "RELATION"}, {2, "RELATION"}, {3, ""}};
  for (const Case& c : cases) {
    ASSERT_GE(source_->MoveTo(c.record), 0);
    form_->NotifyElements();
    char value[32];
    field->GetValueText(value, 31);
    EXPECT_STREQ(c.value, value) << c.record;
  }
  auto* missing = Add(new TRelationField(nullptr, 0, TRect{}, "FEHLT"));
  EXPECT_EQ("", missing->GetRelationKeyField());
  char value[32];
  missing->GetValueText(value, 31);
  EXPECT_STREQ("FEHLT", value) << "no relation table: the field name";
}

TEST_F(FieldTable, YesNoChoiceShowsAndStores) {
  Open({{"J", 1}, {"N", 2}, {"", 3}});
  auto* choice = Add(new TYesNoField(nullptr, kStyleChoice, TRect{}, "NAME"));
  auto* box = Add(new TYesNoField(nullptr, 0, TRect{}, "NAME"));
  char list[16];
  bool flag = true;
  EXPECT_TRUE(box->GetList(list, ';', 15, flag));
  EXPECT_STREQ("Nein;Ja", list);
  EXPECT_FALSE(flag);
  EXPECT_STREQ("NAME", (box->GetText(list, 15), list));
  const char* const shown[] = {"Ja", "Nein", ""};
  for (int32_t record = 1; record <= 3; ++record) {
    ASSERT_GE(source_->MoveTo(record), 0);
    char value[16];
    choice->GetValueText(value, 15);
    EXPECT_STREQ(shown[record - 1], value) << record;
  }
  ASSERT_GE(source_->MoveTo(3), 0);
  ASSERT_EQ(0, source_->Edit());
  struct Store {
    const char* chosen;
    const char* stored;
  } const stores[] = {{"Ja", "Ja"}, {"Nein", "Nein"}, {"vielleicht", "Nein"}};
  for (const Store& s : stores) {
    EXPECT_EQ(0, choice->SetValueText(s.chosen));
    char stored[16];
    source_->GetFieldText("NAME", stored, 15);
    EXPECT_STREQ(s.stored, stored) << s.chosen;
  }
  source_->Cancel();
}

// Prints formatted text as a page would: lines from the first asked for,
// as long as they end above the limit.
class TPageContext : public formstest::TRecordingContext {
 public:
  void DrawFormattedText(const TRect& r, int bottom, int, int align, reports::TColor,
                         std::unique_ptr<reports::TFormattedText> text, int* next) override {
    *next = text->Print(*this, TRect{r.left, r.top, r.right, bottom}, *next, align);
  }
  int TextOut(const char* text, int length) override {
    Lines.emplace_back(text, length < 0 ? std::strlen(text) : size_t(length));
    return 1;
  }
  std::vector<std::string> Lines;
};

TEST_F(FieldTable, MemoRunsOverPagesAndEnds) {
  Open({{"Anna", 1}});
  auto* memo = Add(new TMemoField(nullptr, TRect{0, 0, 400, 100}, "NOTIZ"));
  memo->SetFrameStyle(0);
  memo->SetStaticOutput(1);
  std::string text;
  for (int i = 1; i <= 12; ++i) text += (i > 1 ? "\r\nZeile " : "Zeile ") + std::to_string(i);
  ASSERT_EQ(0, source_->Edit());
  memo->SetFormattedMemo(std::make_unique<reports::TFormattedText>(text.c_str(), 80));
  source_->SetMemoView("NOTIZ", memo);
  ASSERT_EQ(0, source_->Post());

  TPageContext context;
  TPrintParams params(0, 0, 1000, 200, 0);
  std::vector<std::vector<std::string>> pages;
  for (int page = 0; page < 5; ++page) {
    context.Lines.clear();
    params.Top = 0;
    params.Bottom = 200;
    memo->Print(context, params);
    pages.push_back(context.Lines);
    if (!params.Continuation) break;
  }
  ASSERT_EQ(3u, pages.size()) << "three pages, then no continuation";
  EXPECT_EQ("Zeile 1", pages[0].front());
  EXPECT_EQ(pages[0].size(), pages[1].size());
  EXPECT_EQ("Zeile " + std::to_string(pages[0].size() + 1), pages[1].front())
      << "the second page goes on at the first line that did not fit";
  EXPECT_EQ("Zeile 12", pages[2].back());
  EXPECT_EQ(100, params.Bottom);

  // A memo line taller than the area is printed all the same, so the memo
  // ends.
  params.ClearContinuation();
  params.Bottom = 10;
  memo->Print(context, params);
  ASSERT_TRUE(params.Continuation);
  EXPECT_EQ(1, params.Continuation->Position);
}

TEST_F(FieldTable, LinkFieldWithoutTableShowsItsName) {
  TLinkField alone(nullptr, 0, TRect{}, "KUNDE");
  char value[32];
  alone.GetValueText(value, 31);
  EXPECT_STREQ("KUNDE", value);
  Open({{"Anna", 1}});
  auto* input = Add(new TInputField(nullptr, 0, dtText, TRect{}, "NAME"));
  input->GetValueText(value, 31);
  EXPECT_STREQ("Anna", value);
  EXPECT_EQ(20, input->GetMaxInputLength());
}

// What a field puts into a document, one line a control.
class TDocumentContext : public formstest::TRecordingContext {
 public:
  void AddEdit(const TRect&, const char* name, int, const char* value, int maxLength, bool border,
               bool password) override {
    Calls.push_back(std::string("edit ") + name + " " + value + " " + std::to_string(maxLength) +
                    (border ? " border" : "") + (password ? " password" : ""));
  }
  void AddListBox(const TRect&, const char* name, int, const char* items, bool, int selected, bool, bool) override {
    Calls.push_back(std::string("list ") + name + " " + items + " " + std::to_string(selected));
  }
  void AddRadioGroup(const TRect&, const char* name, int, const char* items, int selected) override {
    Calls.push_back(std::string("radio ") + name + " " + items + " " + std::to_string(selected));
  }
  void AddCheckBox(const TRect&, const char* name, int, const char* label, int, bool checked) override {
    Calls.push_back(std::string("check ") + name + " " + label + (checked ? " checked" : ""));
  }
  void AddTextArea(const TRect&, const char* name, int, std::unique_ptr<reports::TFormattedText> text) override {
    Calls.push_back(std::string("area ") + name + " " + text->GetText());
  }
  void DrawPictureData(const TRect&, bool, int type, kxobject::TKxStream& stream, const char*) override {
    uint8_t b[2] = {};
    stream.Read(b, 2);
    Calls.push_back("picture " + std::to_string(type) + " " + std::string(reinterpret_cast<char*>(b), 2));
  }
  void DrawPictureFile(const TRect&, bool, const char* fileName, const char*) override {
    const std::string path = fileName;
    Calls.push_back("file " + path.substr(path.find_last_of("/\\") + 1));
  }
};

TEST_F(FieldTable, DocumentControlsByKind) {
  Open({{"Anna", 1}, {"Bert", 2}});
  ASSERT_GE(source_->MoveTo(2), 0);
  auto* name = Add(new TInputField(nullptr, 0, dtText, TRect{}, "NAME"));
  name->SetPassword(1);
  auto* listed = Add(new TInputField(nullptr, 0, dtText, TRect{}, "NAME"));
  listed->SetList("a;b", ';', false);
  ZetFieldSpec colour{};
  ASSERT_EQ(0, source_->GetFieldSpec(source_->GetFieldNo("FARBE"), &colour));
  auto* drop = Add(new TSelectionField(nullptr, 0, TRect{}, colour));
  auto* radio = Add(new TSelectionField(nullptr, 4, TRect{}, colour));
  auto* box = Add(new TYesNoField(nullptr, 0, TRect{}, "NAME"));
  auto* memo = Add(new TMemoField(nullptr, TRect{}, "NOTIZ"));
  auto* plain = Add(new TInputField(nullptr, 0, dtText, TRect{0, 0, 400, 40}, "NAME"));
  plain->SetStaticOutput(1);
  plain->SetFrameStyle(0);
  TMaskElement* const fields[] = {name, listed, drop, radio, box, memo, plain};
  const char* const expected[] = {"edit NAME:2 Bert 20 border password", "list NAME:2 a,b -1",
                                  "list FARBE:2 rot,gruen,blau -1",       "radio FARBE:2 rot,gruen,blau -1",
                                  "check NAME:2 NAME checked",            "area NOTIZ:2 ",
                                  "text (100,200,500,240) 0 0 Bert"};
  for (size_t i = 0; i < std::size(fields); ++i) {
    TDocumentContext context;
    TPrintParams params(100, 200, 0, 0, 0);
    fields[i]->Print(context, params);
    ASSERT_FALSE(context.Calls.empty()) << i;
    EXPECT_EQ(expected[i], context.Calls.back()) << i;
    TRect r;
    fields[i]->GetBounds(r);
    EXPECT_EQ(r.bottom + 200, params.Bottom) << i;
  }
}

TEST_F(FieldTable, ChoiceListsFollowTheEngine) {
  Open({{"Anna", 1}});
  ASSERT_EQ(0, source_->Edit());
  ASSERT_EQ(0, ZetTableSetStr(source_->GetTableHandle(), "FARBE", "gruen"));
  ASSERT_EQ(0, source_->Post());
  ZetFieldSpec stale{};
  std::strcpy(stale.name, "FARBE");
  std::strcpy(stale.extra, "gelb,rot");
  stale.type = kEngineChoice;
  auto* choice = new TSelectionField(nullptr, 0, TRect{}, stale);
  choice->SetList("Zu viel\r\nGelb\r\nRot", 'A', false);  // one display line too many
  Add(choice);
  EXPECT_EQ(3, choice->GetSelectionCount());
  const char* const values[] = {"rot", "gruen", "blau"};
  const char* const shown[] = {"Rot", "gruen", "blau"};
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(values[i], choice->GetSelection(i));
    char line[16];
    EXPECT_TRUE(choice->GetListEntry(i, line, 15));
    EXPECT_STREQ(shown[i], line);
  }
  char value[16];
  choice->GetValueText(value, 15);
  EXPECT_STREQ("gruen", value);
  ASSERT_EQ(0, source_->Edit());
  EXPECT_EQ(0, choice->SetValueText("Rot"));
  source_->GetFieldText("FARBE", value, 15);
  EXPECT_STREQ("rot", value) << "the stored value of the display line";
  source_->Cancel();
}

TEST_F(FieldTable, PicturesByKindWordAndStyle) {
  Open({{"Anna", 1}, {"Bert", 2}, {"Carl", 3}});
  const auto store = [&](int32_t record, uint16_t word, const std::string& rest) {
    const int32_t c = source_->GetTableHandle();
    ASSERT_GE(source_->MoveTo(record), 0);
    ASSERT_EQ(0, source_->Edit());
    {
      dataviews::TZetBlobStream blob(c, "BILD", dataviews::kZetWrite, int32_t(2 + rest.size()));
      blob.WriteInt(word);
      blob.WriteHuge(rest.data(), uint32_t(rest.size()));
    }
    ASSERT_EQ(0, source_->Post());
  };
  store(1, 2, "BM");
  std::string linked;
  {
    TMemStream name(0, 64);
    name.WriteString("BILD.GIF");
    linked.assign(reinterpret_cast<const char*>(name.Block->Data), size_t(name.Size));
  }
  store(2, 9, linked);
  auto* picture = Add(new TPictureField(nullptr, kStylePicture, TRect{0, 0, 400, 400}, "BILD"));
  auto* button = Add(new TPictureField(nullptr, kStyleButton, TRect{0, 0, 400, 400}, "BILD"));
  picture->SetFrameStyle(0);
  struct Case {
    TPictureField* field;
    int32_t record;
    bool design;
    const char* last;
  } const cases[] = {
      {picture, 1, false, "picture 1 BM"},
      {picture, 2, false, "file BILD.GIF"},
      {picture, 3, true, "text (10,10,390,390) 0 0 <BILD>"},
      {button, 1, false, nullptr},  // a button shows no picture
  };
  for (const Case& c : cases) {
    ASSERT_GE(source_->MoveTo(c.record), 0);
    TDocumentContext context;
    kxobject::TPoint extent;
    c.field->Draw(context, 0, 0, extent, true, 0, c.design);
    ASSERT_FALSE(context.Calls.empty()) << c.record;
    if (c.last) {
      EXPECT_EQ(c.last, context.Calls.back()) << c.record;
      continue;
    }
    for (const std::string& call : context.Calls) EXPECT_EQ(std::string::npos, call.find("picture")) << call;
  }
  TDocumentContext context;
  kxobject::TPoint extent;
  ASSERT_GE(source_->MoveTo(3), 0);
  picture->Draw(context, 0, 0, extent, true, 0, false);
  EXPECT_TRUE(context.Calls.empty()) << "an empty blob outside the design draws nothing";
}

// Writes the form of every field kind as a fuzz seed of the form reader
// (FORMS_WRITE_FUZZ_SEEDS=<folder>).
TEST(FieldRecords, WriteFuzzSeeds) {
  const char* folder = std::getenv("FORMS_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  forms::TZetMask form(1, nullptr);
  formstest::AddEveryField(form);
  std::ofstream(std::string(folder) + "/fields", std::ios::binary) << formstest::Bytes(form);
  // Older files: no formats, one page of every field kind as that version
  // holds them, so the fuzzer starts on each layout of the records.
  for (int v : {18, 30, 36, 41}) {
    TMemStream s(0, 4096);
    s.Write("WZETMS", 6);
    s.WriteInt(v);
    s.WriteInt(0);  // formats
    const uint32_t white = 0xFFFFFF;
    if (v > 35)
      for (int i = 0; i < 16; ++i) s.Write(&white, 4);
    if (v > 21)
      for (int i = 0; i < 6; ++i) s.WriteInt(i);
    s.WriteInt(1);  // pages
    if (v >= 10) s.WriteInt(0);
    if (v >= 20) s.WriteString("Seite");
    s.WriteSize({1000, 700});
    s.Write(&white, 4);
    if (v >= 21) {
      s.WriteInt(0);
      s.WriteInt(40);
    }
    if (v >= 25) s.WriteString(nullptr);
    const uint8_t pageFlag = 0;
    if (v > 34) s.Write(&pageFlag, 1);
    const int16_t codes[] = {1, 2, 3, 4, 5, 6, 8, 9, 10};
    s.WriteInt(int32_t(std::size(codes)));
    for (int16_t code : codes) {
      s.WriteInt(code);
      WriteFieldRecordAt(s, v, code);
    }
    std::ofstream(std::string(folder) + "/fields" + std::to_string(v), std::ios::binary)
        .write(reinterpret_cast<const char*>(s.Block->Data), s.Size);
    s.Seek(0);
    formstest::TTestMask back(nullptr);
    EXPECT_EQ(0, back.Read(s)) << v;
  }
}

}  // namespace
