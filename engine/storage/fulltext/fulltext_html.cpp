// The text services of the full-text unit: HTML to text and back.
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/dynstr.h"
#include "engine/base/ramfiles.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_words.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zettable.h"

namespace FullText {
namespace {

// Characters HTML names, with their names.
struct TCharName {
  uint8_t code;
  std::string_view name;
};
constexpr TCharName kCharNames[] = {
    {34, "quot"},    {38, "amp"},     {60, "lt"},      {62, "gt"},      {162, "cent"},   {169, "copy"},
    {192, "Agrave"}, {193, "Aacute"}, {194, "Acirc"},  {196, "Auml"},   {197, "Aring"},  {198, "AElig"},
    {200, "Egrave"}, {201, "Eacute"}, {202, "Ecirc"},  {204, "Igrave"}, {205, "Iacute"}, {206, "Icirc"},
    {209, "Ntilde"}, {210, "Ograve"}, {211, "Oacute"}, {212, "Ocirc"},  {214, "Ouml"},   {216, "Oslash"},
    {217, "Ugrave"}, {218, "Uacute"}, {219, "Ucirc"},  {220, "Uuml"},   {223, "szlig"},  {224, "agrave"},
    {225, "aacute"}, {226, "acirc"},  {228, "auml"},   {229, "aring"},  {230, "aelig"},  {232, "egrave"},
    {233, "eacute"}, {234, "ecirc"},  {236, "igrave"}, {237, "iacute"}, {238, "icirc"},  {241, "ntilde"},
    {242, "ograve"}, {243, "oacute"}, {244, "ocirc"},  {246, "ouml"},   {248, "oslash"}, {249, "ugrave"},
    {250, "uacute"}, {251, "ucirc"},  {252, "uuml"},
};
constexpr uint8_t kFirstHighCode = 128;
// The record operations tell the cursors of a change; none made this one.
constexpr int kNoCursor = 0;

// HtmlToText over a text of any length.
std::string CleanHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '<') {
      const size_t close = text.find('>', i + 1);
      if (close != std::string_view::npos) {
        i = close + 1;
        continue;
      }
    } else if (c == '&' && i + 1 < text.size() && text[i + 1] != ' ') {
      size_t end = i + 1;
      while (end < text.size() && IsEntityNameChar(text[end])) ++end;
      if (end < text.size() && text[end] == ';') {
        const char decoded = DecodeEntity(text.substr(i + 1, end - i - 1));
        if (decoded != kUnknownEntity) {
          out += decoded;
          i = end + 1;
          continue;
        }
      }
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace

ShortStr CharToHtmlEntity(char c) {
  const uint8_t code = uint8_t(c);
  for (const TCharName& n : kCharNames) {
    if (n.code == code) {
      ShortStr out("&");
      out += n.name;
      out += ';';
      return out;
    }
  }
  if (code < kFirstHighCode) return ShortStr(std::string_view(&c, 1));
  ShortStr out("&#");
  out += std::to_string(code);
  out += ';';
  return out;
}

void HtmlToText(ShortStr& text) { text = CleanHtml(text.view()); }

ShortStr TextToHtml(std::string_view text, std::string_view keep) {
  ShortStr out;
  for (char c : text) {
    if (keep.find(c) != std::string_view::npos)
      out += c;
    else
      out += CharToHtmlEntity(c).view();
  }
  return out;
}

int CleanMemoHtml(int slot, uint16_t field) {
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  ZetTable::TZetTable* files = ZetTable::FileOwner(slot);
  if (!t || !files || !t->ValidField(field) || t->FieldType(field) != Common::kTypeMemo || !t->hasMemoFile)
    return 0;
  t->recordBuffer.resize(t->recordLength);
  Common::FieldValue value;
  Common::GetFieldAsNumber(t->recordBuffer.data(), t->Place(field), t->version, value);
  if (value.block == 0) return 0;

  dynstr::LineChain chain;
  WINMEMOS::ReadMemoLines(files->memoFile, value.block, chain);
  if (const int32_t status = WINMEMOS::Status()) {
    WINMEMOS::FreeMemoLines(chain);
    return int(status);
  }
  // The memo's lines (up to each hard break), their pieces joined again, each
  // cleaned as a whole, so that a tag may run over a wrap; the text written
  // back keeps the hard breaks and is wrapped afresh.
  std::string cleaned, line;
  bool changed = false;
  for (const dynstr::LineNode* node = chain.get(); node; node = node->next.get()) {
    line += node->text.view();
    if (node->continued == RamFiles::kLineCutAtBlank) line += ' ';
    if (node->continued != RamFiles::kLineEnded && node->next) continue;
    const std::string clean = CleanHtml(line);
    changed = changed || clean != line;
    cleaned += clean;
    if (node->continued == RamFiles::kLineEnded) cleaned += '\r';
    line.clear();
  }
  WINMEMOS::FreeMemoLines(chain);
  if (!changed) return 0;

  const std::vector<uint8_t> old = t->recordBuffer;
  if (WINMEMOS::InitPutMemo(files->memoFile) < 0) return int(WINMEMOS::Status());
  WINMEMOS::PutMemoBlock(int32_t(cleaned.size()), cleaned.data());
  const uint32_t first = WINMEMOS::DonePutMemo(files->memoFile, value.block);
  if (const int32_t status = WINMEMOS::Status()) return int(status);
  value.block = first;
  Common::PutFieldFromValue(t->recordBuffer.data(), t->Place(field), t->version, value);
  bool keysChanged = false;
  return Zet01::UpdateRecord(slot, old.data(), keysChanged, kNoCursor, true, false);
}

}  // namespace FullText
