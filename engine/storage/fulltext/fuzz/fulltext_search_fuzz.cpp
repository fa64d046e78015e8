// Full-text queries from arbitrary text evaluated against a built index (the
// query comes from users and the web; the index from our own build over a
// fixed set of records with titles, memos with HTML and weights).
//
// What must hold for every query:
//   1. Counting into a bit array and marking answer alike: the same records,
//      and the count is the number of bits set; no bit beyond the records.
//   2. With the usual operators, a query that evaluates whole gives the same
//      records in parentheses, and or-ed or and-ed with itself (where those
//      still evaluate whole: the parentheses may reach the depth limit).
//
// Input: byte 0 picks the operator characters (even: ",+-"; odd: the next
// three bytes) and the weight filter (byte 0 / 2 % 4), then the query.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/bitarray.h"
#include "engine/base/bytes.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_fields.h"
#include "engine/storage/fulltext/fulltext_tables.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/fuzz_file.h"

namespace {

using zetfuzz::Require;

constexpr int kSource = 1, kWords = 2, kRel = 3;
constexpr uint16_t kNr = 1, kTitle = 2, kText = 3, kWeight = 4;
constexpr uint16_t kTitleSize = 60, kWordSize = 30;
constexpr int32_t kRecords = 40;

std::string At(const std::string& dir, const char* name) { return dir + "/" + name; }

// QUELLE.DAT {NR, TITEL, TEXT memo, GEWICHT, VOLLTEXT R} with VOLLTEXT.REL,
// WORTE.DAT {WORT, ANZAHL, NR}; records from a small vocabulary, then the
// index built.
void BuildIndex() {
  const std::string& dir = zetfuzz::TempDir::Path();
  auto source = zettable_test::MakeTable(
      2, {{"NR", Common::kTypeAutoNumber, 3, 10}, {"TITEL", Common::kTypeString, kTitleSize, kTitleSize},
          {"TEXT", Common::kTypeMemo, 3, 1}, {"GEWICHT", Common::kTypeInteger, 1, 6},
          {"VOLLTEXT", Common::kTypeRelation, 0, 0}});
  Zet00::SetKeyPart(source->idKeyDescription.data(), 0, {kNr, 4, Common::kTypeAutoNumber});
  source->nextAutoNumber = 1;
  Require(Zet06::CreateTable(*source, At(dir, "QUELLE.DAT"), {}, true, 0, 0) == 0);
  auto words = zettable_test::MakeTable(2, {{"WORT", Common::kTypeString, kWordSize, kWordSize},
                                            {"ANZAHL", Common::kTypeInteger, 1, 6},
                                            {"NR", Common::kTypeAutoNumber, 3, 10}});
  Zet00::SetKeyPart(words->idKeyDescription.data(), 0, {1, kWordSize + 1, Common::kTypeString});
  Zet00::SetKeyPart(words->idKeyDescription.data(), 1, {3, 4, Common::kTypeAutoNumber});
  words->nextAutoNumber = 1;
  Require(Zet06::CreateTable(*words, At(dir, "WORTE.DAT"), {}, false, 0, 0) == 0);
  Require(Zet01::OpenTable(kSource, ZetTable::kRightsMask, At(dir, "QUELLE.DAT"), 0, 0, "") == 0);
  Require(Zet01::OpenTable(kWords, ZetTable::kRightsMask, At(dir, "WORTE.DAT"), 0, 0, "") == 0);
  Require(Zet01::OpenTable(kRel, ZetTable::kRightsMask, At(dir, "VOLLTEXT.REL"), 0, 0, "") == 0);

  static const char* const kVocabulary[] = {"Haus", "Garten", "Baum", "M\xFCller", "Gr\xF6\xDF" "e", "E-Mail",
                                            "100", "Behinderung", "haus", "Stra\xDF" "e", "x", "Zaun"};
  constexpr size_t kWordCount = sizeof kVocabulary / sizeof kVocabulary[0];
  ZetTable::TZetTable& t = *ZetTable::Table(kSource);
  for (int32_t r = 1; r <= kRecords; ++r) {
    std::string title, memo = "<p>";
    for (size_t w = 0; w < 3; ++w) title += std::string(kVocabulary[(size_t(r) * (w + 3) + w) % kWordCount]) + " ";
    for (size_t w = 0; w < size_t(r % 7); ++w)
      memo += std::string(kVocabulary[(size_t(r) * 5 + w * 7) % kWordCount]) + (w % 2 ? " &amp; " : "<br>\r\n");
    ZetTable::ClearRecordBuffer(kSource);
    ZetTable::SetFieldText(kSource, kTitle, t.recordBuffer.data(), title);
    bytes::PutI16(t.recordBuffer.data() + t.FieldOffset(kWeight), int16_t(r % 4));
    Require(WINMEMOS::InitPutMemo(t.memoFile) == 0);
    WINMEMOS::PutMemoBlock(int32_t(memo.size()), memo.data());
    const uint32_t first = WINMEMOS::DonePutMemo(t.memoFile, 0);
    Require(first != 0);
    bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(kText), first);
    bytes::PutI32(t.recordBuffer.data() + t.FieldOffset(kNr), r);
    Require(Zet01::AppendRecord(kSource, true, 0) == 0);
  }
  Require(FullText::WriteNextAutoNumber(kSource, uint32_t(kRecords) + 1) == 0);
  FullText::TIndexRequest request;
  request.source = kSource;
  for (uint16_t f : {kTitle, kText}) {
    if (!request.fieldList.empty()) request.fieldList += char(FullText::kCodeSeparator);
    request.fieldList += char(FullText::kCodeField);
    request.fieldList += char(kSource);
    request.fieldList += char(f);
    request.fieldList += char(0);
  }
  request.relationTable = kRel;
  request.wordTable = kWords;
  request.weightField = kWeight;
  request.options = FullText::kOptHtml;
  Require(FullText::BuildIndex(request, nullptr) > 0);
}

FullText::TRelationSlots Relations() {
  FullText::TRelationSlots slots{};
  slots[0] = kRel;
  return slots;
}

// The records a query counts (sorted), or none with the negative answer.
int32_t Count(std::string_view query, std::string_view ops, int32_t filter, std::vector<uint32_t>& records) {
  std::vector<uint8_t> buffer(kRecords / 8 + 2, 0xA5);
  Bitarray::TBitArray bits{int32_t(buffer.size()), buffer.data()};
  const int32_t answer = FullText::CountRecords(kSource, kWords, query, "-", ops, Relations(), filter, bits);
  records.clear();
  if (answer < 0) return answer;
  for (int32_t n = 0; n < int32_t(buffer.size()) * 8; ++n)
    if (Bitarray::TestBit(bits, n)) {
      Require(n >= 1 && n <= kRecords);  // rule 1: only records
      records.push_back(uint32_t(n));
    }
  Require(int32_t(records.size()) == answer);
  return answer;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  BuildIndex();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool custom = data[0] % 2 == 1;
  if (custom && size < 4) return 0;
  const std::string ops = custom ? std::string(reinterpret_cast<const char*>(data + 1), 3) : std::string(",+-");
  const int32_t filter = (data[0] / 2) % 4;
  const size_t from = custom ? 4 : 1;
  const std::string query(reinterpret_cast<const char*>(data + from), size - from);

  std::vector<uint32_t> counted;
  const int32_t answer = Count(query, ops, filter, counted);
  // Rule 1: marking takes the same records.
  const int16_t marked = FullText::MarkRecords(kSource, kWords, query, "-", ops, Relations(), filter);
  if (answer >= 0) {
    Require(marked == 0);
    std::vector<uint32_t> marks = ZetTable::MarkList(*ZetTable::Table(kSource)).Items();
    std::sort(marks.begin(), marks.end());
    Require(marks == counted);
  } else {
    Require(marked != 0);
  }
  if (answer < 0 || query.empty() || custom) return 0;
  // Rule 2.
  std::vector<uint32_t> again;
  for (const std::string& same : {"(" + query + ")", "(" + query + ")" + ops[1] + "(" + query + ")",
                                  "(" + query + ")" + ops[0] + "(" + query + ")"})
    if (Count(same, ops, filter, again) >= 0) Require(again == counted);
  return 0;
}
