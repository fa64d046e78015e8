#include "engine/storage/fulltext/fulltext_fields.h"

#include <string>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/dynstr.h"
#include "engine/base/ramfiles.h"
#include "engine/base/textfiles.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"

namespace FullText {
namespace {

using ZetTable::TZetTable;

constexpr size_t kEntrySize = 3;  // u8 table, u16 field

// The lines of a chain as pieces: a line cut inside a word runs on.
void ExtractLines(const dynstr::LineNode* chain, TWordExtractor& extractor) {
  for (const dynstr::LineNode* node = chain; node; node = node->next.get())
    extractor.Extract(node->text.view(), node->continued != RamFiles::kLineCut || !node->next);
}

void ExtractTextFile(std::string_view text, TWordExtractor& extractor) {
  ShortStr name(text.substr(1));
  Common::TrimBlanks(name);
  dynstr::LineChain chain;
  if (TextFiles::LoadTextLines(name, chain, ShortStr::kMax) == 0) ExtractLines(chain.get(), extractor);
  TextFiles::FreeLineChain(chain);
}

// The lines of a memo: a hard or soft break ends the words of its line.
void ExtractMemo(int handle, TZetTable& t, uint16_t field, TWordExtractor& extractor,
                 WINMEMOS::TReadWindow* window) {
  Common::FieldValue value;
  Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(field), t.version, value);
  TZetTable* files = ZetTable::FileOwner(handle);
  if (value.block == 0 || !t.hasMemoFile || !files) return;
  static std::string text;  // kept for the next memo
  WINMEMOS::ReadMemoText(files->memoFile, value.block, text, window);
  const std::string_view all = text;
  for (size_t from = 0; from < all.size();) {
    size_t end = from;
    while (end < all.size() && all[end] != '\r' && all[end] != '\n') ++end;
    extractor.Extract(all.substr(from, end - from), true);
    from = end + 1;
  }
}

void ExtractField(int handle, uint16_t field, TWordExtractor& extractor, WINMEMOS::TReadWindow* window) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !t->ValidField(field)) return;
  t->recordBuffer.resize(t->recordLength);
  if (t->FieldType(field) == Common::kTypeMemo) {
    ExtractMemo(handle, *t, field, extractor, window);
    return;
  }
  const ShortStr text = ZetTable::FieldText(*t, field, t->recordBuffer.data());
  if (t->FieldType(field) == Common::kTypeString && !text.empty() && text[0] == kTextFileMark)
    ExtractTextFile(text, extractor);
  else
    extractor.Extract(text, true);
}

}  // namespace

bool ParseFieldList(std::string_view list, std::vector<TFieldItem>& items) {
  items.clear();
  const auto* p = reinterpret_cast<const uint8_t*>(list.data());
  const size_t size = list.size();
  size_t pos = 0;
  while (pos < size) {
    size_t entries = 1;
    if (p[pos] == kCodeFieldPath) {
      if (pos + 1 >= size) return false;
      entries = size_t(p[pos + 1]) + 1;
      pos += 2;
    } else if (p[pos] == kCodeField) {
      pos += 1;
    } else {
      return false;
    }
    if (pos + entries * kEntrySize > size) return false;
    TFieldItem item;
    for (size_t i = 0; i < entries; ++i, pos += kEntrySize) {
      const TPathEntry entry{p[pos], bytes::GetU16(p + pos + 1)};
      if (!Zet01::IsValidField(entry.table, entry.field)) return false;
      item.push_back(entry);
    }
    items.push_back(std::move(item));
    if (pos < size && p[pos++] != kCodeSeparator) return false;
  }
  return true;
}

void ExtractFieldWords(const std::vector<TFieldItem>& items, TWordExtractor& extractor,
                       WINMEMOS::TReadWindow* window) {
  for (const TFieldItem& item : items) {
    if (item.size() == 1) {
      ExtractField(item[0].table, item[0].field, extractor, window);
      continue;
    }
    for (size_t i = 0; i < item.size(); ++i) Zet01::SetFieldPathEntry(int(i), item[i].table, item[i].field);
    // The path leaves its last table on the linked record, its position
    // saved; a path that cannot be followed gives no words.
    int table = 0, error = 0;
    uint16_t field = 0;
    Zet01::FollowFieldPath(int(item.size()) - 1, table, field, error);
    if (table == 0) continue;
    ExtractField(table, field, extractor, window);
    Zet00::PopTablePosition(table);
  }
}

}  // namespace FullText
