// Test support of the forms: a form class with nothing of its own beyond the
// document (the program's form adds its module, filters and texts), a
// context that records what elements draw, a writer of a form file of any
// size made of the passive elements, a form holding every data-field kind
// (tests, the fuzz seeds and the benchmark share them), and a writer of the
// base element record as a file of any version holds it.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "runtime/forms/mask.h"
#include "runtime/forms/maskconn.h"
#include "runtime/forms/maskelems.h"
#include "runtime/forms/masklink.h"
#include "runtime/forms/maskmemo.h"
#include "runtime/forms/maskexpr.h"
#include "runtime/forms/maskspecial.h"
#include "runtime/forms/zetmask.h"
#include "runtime/reports/formtext.h"
#include "runtime/reports/sgmlctx.h"

namespace formstest {

class TTestMask : public forms::TMask {
 public:
  using forms::TMask::TMask;
  forms::TZetModule* GetModule() const override { return nullptr; }
  void SetModule(forms::TZetModule*) override {}
  void GetFormSize(kxobject::TSize& size) const override { GetPageSize(0, size); }
  forms::TMaskElement* CreateFieldElement(const ZetFieldSpec&, bool) override { return nullptr; }
  kxobject::TKxStringList* GetFieldNames() const override { return new kxobject::TKxStringList(10, 10); }
};

// Every call an element makes that leaves a mark, one line each.
class TRecordingContext : public reports::TSgmlContext {
 public:
  TRecordingContext() : reports::TSgmlContext("test") {}
  void DrawFormattedText(const kxobject::TRect& r, int, int format, int align, reports::TColor,
                         std::unique_ptr<reports::TFormattedText> text, int*) override {
    Log("formatted " + Rect(r) + " " + std::to_string(format) + " " + std::to_string(align) + " " +
        std::to_string(text->GetLineCount()));
  }
  void DrawText(const kxobject::TRect& r, int format, int align, reports::TColor, const char* text) override {
    Log("text " + Rect(r) + " " + std::to_string(format) + " " + std::to_string(align) + " " + text);
  }
  kxobject::TSize GetTextExtent(const char*, int length) override { return {length * 10, 40}; }
  kxobject::TSize GetTabbedTextExtent(const char* text, int length, int, const int*) override {
    return GetTextExtent(text, length);
  }
  bool GetTextMetrics(win::TEXTMETRIC& tm) override {
    tm = win::TEXTMETRIC{};
    tm.tmHeight = 40;
    tm.tmMaxCharWidth = tm.tmAveCharWidth = 10;
    return true;
  }
  kxobject::TKxDC* GetDC() override { return &dc_; }
  bool MoveTo(int x, int y) override {
    reports::TSgmlContext::MoveTo(x, y);
    return true;
  }
  bool LineTo(int x, int y) override {
    Log("line " + std::to_string(CurrentX) + "," + std::to_string(CurrentY) + "-" + std::to_string(x) + "," +
        std::to_string(y));
    CurrentX = x;
    CurrentY = y;
    return true;
  }
  bool Rectangle(int l, int t, int r, int b) override {
    Log("rect " + Rect({l, t, r, b}));
    return true;
  }
  void BeginRow() override { Log("row"); }
  void EndRow() override { Log("endrow"); }
  void BeginCell(int percent) override { Log("cell " + std::to_string(percent)); }

  std::vector<std::string> Calls;

 private:
  static std::string Rect(const kxobject::TRect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "(%d,%d,%d,%d)", int(r.left), int(r.top), int(r.right), int(r.bottom));
    return text;
  }
  void Log(const std::string& line) { Calls.push_back(line); }
  kxobject::TKxDC dc_;
};

// A form of one page holding count elements: labels, frames, lines and page
// breaks in turn, each with a name, on the eight default formats.
inline std::unique_ptr<TTestMask> MakeForm(int count) {
  auto mask = std::make_unique<TTestMask>(1, nullptr);
  mask->RemoveAllFonts();
  mask->SetDefaultFonts();
  forms::TMaskPage* page = mask->PageAt(0);
  for (int i = 0; i < count; ++i) {
    const kxobject::TRect r{10 + i % 50 * 20, 10 + i / 50 * 30, 200 + i % 50 * 20, 40 + i / 50 * 30};
    forms::TMaskElement* element;
    switch (i % 4) {
      case 0: element = new forms::TLabelElement(page, 0, r, "Kunde"); break;
      case 1: element = new forms::TFrameElement(page, 0, r, "Gr\xF6\xDF" "e"); break;
      case 2: element = new forms::TLineElement(page, 0, r); break;
      default: element = new forms::TFormatElement(page, 0, r); break;
    }
    element->SetName(("E" + std::to_string(i)).c_str());
    element->SetFormatIndex(int16_t(i % 8));
    page->InsertElement(-1, element);
  }
  return mask;
}

// Writes a base element record the way a file of version v holds it.
inline void WriteBaseRecord(kxobject::TMemStream& s, int v, const char* name, const char* second, uint16_t flags,
                            int16_t kind, const kxobject::TRect& r, int16_t frame, uint32_t color, int16_t format,
                            uint8_t flag) {
  if (v > 19) s.WriteString(name);
  if (v > 22) s.WriteString(second);
  if (v > 19) s.Write(&flags, 2);
  s.WriteInt(kind);
  s.WriteRect(r);
  s.WriteInt(frame);
  s.Write(&color, 4);
  s.WriteInt(format);
  if (v > 34) s.Write(&flag, 1);
}

// One element of every data-field kind on page 0, each with settings other
// than the defaults (actions, conditions, validations, lists, captions).
inline void AddEveryField(forms::TMask& mask) {
  using namespace forms;
  forms::TMaskPage* page = mask.PageAt(0);
  ZetFieldSpec choice{};
  std::snprintf(choice.name, sizeof choice.name, "FARBE");
  std::snprintf(choice.extra, sizeof choice.extra, "r,g,b");
  choice.type = kEngineChoice;
  const auto at = [](int i) { return kxobject::TRect{20, 20 + 60 * i, 500, 70 + 60 * i}; };
  auto* input = new TInputField(page, 0, dtInteger, at(0), "MENGE");
  input->SetValidation(kValidLongRange, "1\r\n99", "");
  input->SetActionText(2, "Beep()");
  input->SetCondition(1, "MENGE > 3");
  auto* price = new TInputField(page, 0, dtFloat, at(1), "PREIS");
  price->SetValidation(kValidRealRange, "1,5\r\n9,5", "");
  price->SetFormula(1, "MENGE * 2");
  price->SetPresetExpression("7");
  auto* name = new TInputField(page, 0, dtText, at(2), "NAME");
  name->SetValidation(kValidPicture, "###", "Drei Ziffern");
  name->SetLookupList("KUNDEN", "NAME", "NAME + \"!\"", true);
  name->SetPassword(1);
  name->SetStaticOutput(1);
  auto* memo = new TMemoField(page, at(3), "NOTIZ");
  memo->SetActionText(0, "Doppel()");
  TMaskElement* const fields[] = {input, price, name, memo,
                                  new TPictureField(page, kStylePicture, at(4), "BILD"),
                                  new TYesNoField(page, kStyleChoice, at(5), "JANEIN"),
                                  new TYesNoField(page, 0, at(6), "JANEIN"),
                                  new TSelectionField(page, 4, at(7), choice),
                                  new TLinkField(page, 0, at(8), "KUNDE"),
                                  new TRelationField(page, 0, at(9), "FREUNDE"),
                                  new TAutoNoField(page, at(10), "NR")};
  for (TMaskElement* field : fields) {
    char name[32];
    std::snprintf(name, sizeof name, "F%d", page->Count);
    field->SetName(name);
    page->InsertElement(-1, field);
  }
  static_cast<TAdlField*>(fields[8])->SetAdlText("Adl");
}

// A form of one page holding one element of each computed and special kind
// with every field set, a connection element among them whose sub-form
// holds a label and, from depth 2 on, another connection element nested
// depth - 1 levels further.
inline std::unique_ptr<forms::TConnectionField> MakeConnection(int depth) {
  auto connection = std::make_unique<forms::TConnectionField>(nullptr, kxobject::TRect{30, 30, 900, 400}, "POSTEN", 0x20);
  connection->SetCondition("MENGE > 0");
  forms::TMaskPage* page = connection->GetSubForm().PageAt(1);
  page->InsertElement(-1, new forms::TLabelElement(page, 0, kxobject::TRect{0, 0, 300, 40}, "Menge"));
  if (depth > 1) page->InsertElement(-1, MakeConnection(depth - 1).release());
  return connection;
}

inline std::unique_ptr<TTestMask> MakeSpecialForm() {
  auto mask = std::make_unique<TTestMask>(1, nullptr);
  forms::TMaskPage* page = mask->PageAt(0);
  const kxobject::TRect r{20, 20, 400, 80};
  auto* expression = new forms::TExpressionElement(page, 0, r, "PREIS*MENGE");
  expression->SetLineCount(3);
  auto* reference = new forms::TReferenceElement(page, 0, r, "NAME");
  reference->GetAction().Text.Assign("\"http://\"+NAME", -1);
  auto* text = new forms::TFormattedTextElement(page, 0, r, "Summe: $(PREIS*MENGE) $$\r\nEnde");
  auto* timer = new forms::TTimerElement(page, 0, r);
  timer->SetInterval(25);
  timer->GetAction().Text.Assign("Tick()", -1);
  auto* card = new forms::TCardElement(page, 0, r);
  card->SetTitle("NAME");
  card->SetIdentifier("\"k\"");
  card->AddLine("Weiter", new forms::TKxAction(forms::TKxAction::kLink, "\"#k2\""));
  card->AddLine("", new forms::TKxAction(forms::TKxAction::kMacro, ""));
  auto* logo = new forms::TLogoField(page, 0, r, forms::TKxAction::kLink);
  logo->SetPictureFile("LOGO.BMP");
  logo->SetPictureMode(2);
  auto* macro = new forms::TMacroField(page, 2, r, forms::TMacroField::kSubmit, "Senden");
  macro->SetThirdText("drei");
  macro->SetButtonType(forms::TMacroField::kMacroButton, "Speichern()");
  forms::TMaskElement* const elements[] = {expression, reference, text, timer,
                                           new forms::THTMLCommand(page, 0, r, "\"<hr>\""), card, logo, macro,
                                           MakeConnection(2).release()};
  for (forms::TMaskElement* element : elements) {
    element->SetName(("S" + std::to_string(page->Count)).c_str());
    page->InsertElement(-1, element);
  }
  return mask;
}

// The bytes a form writes.
inline std::string Bytes(const forms::TMask& mask) {
  kxobject::TMemStream out(0, 4096);
  mask.Write(out);
  return std::string(reinterpret_cast<const char*>(out.Block->Data), size_t(out.Size));
}

// A program form of count elements of every kind in turn (the passive
// elements, every data field, every computed and special element), each
// named, laid out in rows, with its texts, a module-less extension and all
// three filters filtered (a sub-menu with an additional command, an
// accelerator, a tool button with a glyph of its own).
inline std::unique_ptr<forms::TZetMask> MakeProgramForm(int count) {
  auto kinds = MakeForm(4);
  AddEveryField(*kinds);
  const auto special = MakeSpecialForm();
  std::vector<const forms::TMaskElement*> templates;
  for (const forms::TMask* source : {static_cast<const forms::TMask*>(kinds.get()), static_cast<const forms::TMask*>(special.get())})
    for (int i = 0; i < source->PageAt(0)->Count; ++i) templates.push_back(source->PageAt(0)->ElementAt(i));
  auto form = std::make_unique<forms::TZetMask>(1, nullptr);
  form->RemoveAllFonts();
  form->SetDefaultFonts();
  forms::TMaskPage* page = form->PageAt(0);
  for (int i = 0; i < count; ++i) {
    forms::TMaskElement* element = templates[size_t(i) % templates.size()]->Clone();
    const kxobject::TRect r{20 + i % 10 * 100, 20 + i / 10 * 60, 110 + i % 10 * 100, 70 + i / 10 * 60};
    element->SetBounds(r.left, r.top, r.right, r.bottom);
    element->SetName(("P" + std::to_string(i)).c_str());
    page->InsertElement(-1, element);
  }
  form->SetPageTabs(true);
  form->SetConditionTexts("MENGE > 0", "Keine Menge");
  for (int n = 3; n <= 7; ++n) form->SetFormText(n, ("Ereignis" + std::to_string(n) + "()").c_str());
  forms::TMenuFilter* menu = form->GetMenuFilter();
  menu->SetUnfiltered(false);
  menu->InsertCommand(-1, 24323, nullptr);
  menu->InsertSubMenu(-1, "&Formular")->Filter->InsertAdditional(-1, "&Rechnung", "Rechnung");
  form->GetAccelFilter()->SetUnfiltered(false);
  form->GetAccelFilter()->Insert(new forms::TAccelDef(24323, 'C', 9, nullptr));
  forms::TDeviceBitmapHeader glyph;
  glyph.width = 8;
  glyph.height = 2;
  glyph.bytesPerRow = 2;
  const uint8_t rows[4] = {0xF0, 0, 0x0F, 0};
  form->GetToolbarFilter()->SetUnfiltered(false);
  form->GetToolbarFilter()->Insert(new forms::TToolDef(0, nullptr, nullptr));
  form->GetToolbarFilter()->Insert(new forms::TToolDef(-2, forms::DibFromDeviceRows(glyph, rows), "Rechnung"));
  return form;
}

// Reads a form from bytes into form; the reader's answer.
inline int32_t ReadForm(const std::string& bytes, forms::TMask& form) {
  kxobject::TMemStream in(0, 4096);
  in.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  in.Seek(0);
  return form.Read(in);
}

}  // namespace formstest
