#include "engine/interface/memohtml.h"

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/dynstr.h"
#include "engine/base/ramfiles.h"
#include "engine/base/uppercas.h"
#include "engine/interface/textparser.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zettable.h"

namespace Html {

namespace {

constexpr int kCannotCreate = 1;
constexpr uint16_t kErrIllegalOp = 34;
constexpr std::string_view kBlack = "#000000";

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = UPPERCAS::UpCaseChar(c);
  return out;
}

// Replaces the value of the attribute found at position at of the tag:
// from its "=", blanks and an opening quote are skipped, and everything up to
// and including the closing quote (or, unquoted, up to the next blank or the
// end of the tag) gives way to ="value".
void ReplaceValue(std::string& tag, size_t at, std::string_view value) {
  const size_t equals = tag.find('=', at);
  if (equals == std::string::npos) return;
  size_t p = equals + 1;
  while (p < tag.size() && tag[p] == ' ') ++p;
  size_t end;
  if (p < tag.size() && tag[p] == '"') {
    end = tag.find('"', p + 1);
    end = end == std::string::npos ? tag.size() : end + 1;
  } else {
    end = tag.find(' ', p);
    if (end == std::string::npos) end = tag.size();
  }
  tag.replace(equals, end - equals, "=\"" + std::string(value) + "\"");
}

// The memo's text as the reader hands it out.
std::string FlattenMemo(const dynstr::LineNode* chain) {
  std::string text;
  for (const dynstr::LineNode* node = chain; node; node = node->next.get()) {
    text += node->text.view();
    if (node->continued == RamFiles::kLineEnded)
      text += "\r\n";
    else if (node->continued == RamFiles::kLineCutAtBlank)
      text += ' ';
  }
  return text;
}

int WriteFromHook(int slot, uint16_t field, const ShortStr* texts) {
  return WriteMemoPage(slot, field, texts[0].view(), texts[1].view(), texts[3].view(), texts[4].view());
}

}  // namespace

std::string BaseOf(std::string_view address) {
  size_t slashes = 0;
  for (size_t p = 0; p < address.size(); ++p)
    if (address[p] == '/' && ++slashes == 3) return std::string(address.substr(0, p + 1));
  return std::string(address) + "/";
}

std::string RewriteTag(std::string_view text, std::string_view image, std::string_view background) {
  std::string tag(text);
  std::string upper = Upper(tag);
  if (upper.starts_with("BODY")) {
    const size_t textAt = upper.find("TEXT=");
    if (textAt != std::string::npos && upper.find("BGCOLOR=\"" + std::string(kBlack) + "\"") == std::string::npos) {
      ReplaceValue(tag, textAt, kBlack);
      upper = Upper(tag);
    }
    if (const size_t at = upper.find("BACKGROUND"); at != std::string::npos) ReplaceValue(tag, at, background);
  } else if (upper.starts_with("IMG")) {
    if (const size_t at = upper.find("SRC"); at != std::string::npos) ReplaceValue(tag, at, image);
  }
  return tag;
}

int WriteMemoPage(int slot, uint16_t field, std::string_view fileName, std::string_view base,
                  std::string_view image, std::string_view background) {
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  ZetTable::TZetTable* files = ZetTable::FileOwner(slot);
  if (!t || !files || !t->ValidField(field) || t->FieldType(field) != Common::kTypeMemo || !t->IsStored(field) ||
      t->recordBuffer.size() < t->recordLength) {
    Common::SetError(kErrIllegalOp, "");
    return kErrIllegalOp;
  }
  Common::FieldValue value;
  Common::GetFieldAsNumber(t->recordBuffer.data(), t->Place(field), t->version, value);
  TextTransfer::TTextFileWriter out;
  if (out.Create(fileName) != 0) return kCannotCreate;
  if (value.block == 0) return out.Close() == 0 ? 0 : kCannotCreate;
  out.Write("<BASE HREF=\"" + BaseOf(base) + "\">");
  dynstr::LineChain chain;
  WINMEMOS::ReadMemoLines(files->memoFile, value.block, chain);
  const std::string text = FlattenMemo(chain.get());
  WINMEMOS::FreeMemoLines(chain);
  size_t p = 0;
  std::string run;
  while (p < text.size()) {
    const char c = text[p++];
    if (c == 0) continue;
    if (c != '<') {
      run += c;
      continue;
    }
    out.Write(run);
    run.clear();
    while (p < text.size() && text[p] == ' ') ++p;
    std::string tag;
    while (p < text.size() && text[p] != '>') {
      if (text[p] != '<') tag += text[p];
      ++p;
    }
    if (p >= text.size()) break;  // the memo ended inside the tag
    ++p;
    if (!tag.empty()) out.Write("<" + RewriteTag(tag, image, background) + ">");
  }
  out.Write(run);
  return out.Close() == 0 ? 0 : kCannotCreate;
}

void InstallWriter() { EngineHooks::MemoToHtml = WriteFromHook; }

}  // namespace Html
