// A small set of open tables for the compiler's tests and fuzz target, built
// in memory (no files): every field type, a link field, a relation field with
// its relation table, and a table that links to itself for long paths.
//
//   slot 1 KUNDEN.DAT     NR N, NAME S, ORT S, ALTER I, FARBE A (Rot, Grün,
//                         Blau), BEMERKUNG M, BILD P, PREIS F, GEBURT D,
//                         AKTIV J, ZEIT Z, CODE C, KLEIN B, AUFTRAEGE R
//   slot 2 AUFTRAG.DAT    NR N, KUNDE(KUNDEN) L, BETRAG F
//   slot 3 AUFTRAEGE.REL  KUNDEN(KUNDEN) L, AUFTRAG(AUFTRAG) L
//   slot 4 KETTE.DAT      NR N, NEXT(KETTE) L, NAME S
// Table 1 is current; all four are open, all but the relation table visible.
#pragma once

#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zettable.h"

namespace lumo_test {

using zettable_test::FieldDef;

inline constexpr int kKunden = 1;
inline constexpr int kAuftrag = 2;
inline constexpr int kRelation = 3;
inline constexpr int kKette = 4;

// Field numbers of KUNDEN.
enum KundenField : uint16_t {
  kNr = 1, kName, kOrt, kAlter, kFarbe, kBemerkung, kBild, kPreis, kGeburt, kAktiv, kZeit, kCode,
  kKlein, kAuftraege
};

inline int InstallTable(const std::string& fileName, const std::vector<FieldDef>& fields) {
  auto t = zettable_test::MakeTable(2, fields);
  t->fileName = fileName;
  t->bindings.resize(size_t(t->fieldCount) + 1);
  t->recordBuffer.assign(t->recordLength, 0);
  return zettable_test::Install(std::move(t));
}

inline void InstallFixtureTables() {
  using namespace Common;
  InstallTable("KUNDEN.DAT", {{"NR", kTypeAutoNumber, 3, 10},
                              {"NAME", kTypeString, 20, 20},
                              {"ORT", kTypeString, 20, 20},
                              {"ALTER", kTypeInteger, 1, 5},
                              {"FARBE", kTypeChoice, 0, 3},
                              {"BEMERKUNG", kTypeMemo, 1, 10},
                              {"BILD", kTypeBlob, 3, 10},
                              {"PREIS", kTypeReal, 7, 2},
                              {"GEBURT", kTypeDate, 3, 10},
                              {"AKTIV", kTypeBool, 0, 1},
                              {"ZEIT", kTypeTime, 1, 5},
                              {"CODE", kTypeChar, 0, 1},
                              {"KLEIN", kTypeByte, 0, 3},
                              {"AUFTRAEGE", kTypeRelation, 0, 0}});
  InstallTable("AUFTRAG.DAT", {{"NR", kTypeAutoNumber, 3, 10},
                               {"KUNDE(KUNDEN)", kTypeLink, 3, 10},
                               {"BETRAG", kTypeReal, 7, 2}});
  InstallTable("AUFTRAEGE.REL", {{"KUNDEN(KUNDEN)", kTypeLink, 3, 10}, {"AUFTRAG(AUFTRAG)", kTypeLink, 3, 10}});
  InstallTable("KETTE.DAT", {{"NR", kTypeAutoNumber, 3, 10}, {"NEXT(KETTE)", kTypeLink, 3, 10}, {"NAME", kTypeString, 20, 20}});
  ZetTable::TZetTable& kunden = *ZetTable::Table(kKunden);
  ZetTable::TChoiceList choices;
  choices.field = kFarbe;
  choices.entries = {"Rot", "Gr\xFCn", "Blau"};
  kunden.choiceLists.push_back(choices);
  kunden.bindings[kAuftraege].linkedTable = kRelation;
  kunden.bindings[kAuftraege].relatedTable = kAuftrag;
  kunden.bindings[kAuftraege].relationBuilt = true;
  ZetTable::Table(kAuftrag)->bindings[2].linkedTable = kKunden;
  ZetTable::Table(kRelation)->bindings[1].linkedTable = kKunden;
  ZetTable::Table(kRelation)->bindings[2].linkedTable = kAuftrag;
  ZetTable::Table(kKette)->bindings[2].linkedTable = kKette;
  ZetTable::SetCurrentHandle(kKunden);
  ZetTable::SetVisibleTableSet(0xB);  // the relation table lies outside the link tree
  ZetTable::SetOpenTableSet(0xF);
}

}  // namespace lumo_test
