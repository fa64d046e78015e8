// The memo-to-HTML writer that CGI pages are served from, over any memo text
// (pages are typed or pasted by users) and any image and background address.
//
// What must hold for every memo:
//   1. An empty memo gives an empty file; any other begins with the BASE
//      element of the base address.
//   2. After it, every "<" begins a tag that a ">" ends before the next "<"
//      (tags are written whole, a cut-off one not at all).
//   3. Each tag written is its own rewriting: rewriting it again changes
//      nothing (the addresses hold no quote, blank or bracket).
//
// Input: byte 0 % 16 and byte 1 % 16 are the lengths of the image and the
// background address that follow; the rest is the memo.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/base/bytes.h"
#include "engine/interface/memohtml.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/testsupport/fuzz_file.h"

namespace {

using zetfuzz::Require;

constexpr int kSlot = 1;
constexpr uint16_t kMemo = 2;
constexpr std::string_view kBase = "http://server/pfad/seite.html";

// SEITEN.DAT {NR, TEXT memo}, open in slot 1.
void OpenPages() {
  const std::string path = zetfuzz::TempDir::Path() + "/SEITEN.DAT";
  auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeInteger, 1, 6}, {"TEXT", Common::kTypeMemo, 3, 1}});
  Require(Zet06::CreateTable(*t, path, {}, false, 0, 0) == 0);
  Require(Zet01::OpenTable(kSlot, ZetTable::kRightsMask, path, 0, 0, "") == 0);
}

// An address without the characters that would end an attribute value.
std::string Address(const uint8_t* data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; ++i)
    if (std::string_view("\" <>\r\n").find(char(data[i])) == std::string_view::npos && data[i] != 0)
      text += char(data[i]);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  OpenPages();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t imageLength = data[0] % 16, backgroundLength = data[1] % 16;
  if (size < 2 + imageLength + backgroundLength) return 0;
  const std::string image = Address(data + 2, imageLength);
  const std::string background = Address(data + 2 + imageLength, backgroundLength);
  const size_t from = 2 + imageLength + backgroundLength;
  const std::string_view memo(reinterpret_cast<const char*>(data + from), size - from);

  ZetTable::TZetTable& t = *ZetTable::Table(kSlot);
  Require(WINMEMOS::InitPutMemo(t.memoFile) == 0);
  WINMEMOS::PutMemoBlock(int32_t(memo.size()), memo.data());
  const uint32_t first = WINMEMOS::DonePutMemo(t.memoFile, 0);
  t.recordBuffer.assign(t.recordLength, 0);
  bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(kMemo), first);
  const std::string page = zetfuzz::TempDir::Path() + "/SEITE.HTM";
  Require(Html::WriteMemoPage(kSlot, kMemo, page, kBase, image, background) == 0);
  WINMEMOS::DeleteMemo(t.memoFile, first);
  const std::string out = zetfuzz::ReadWholeFile(page);

  // Rule 1.
  if (first == 0) {
    Require(out.empty());
    return 0;
  }
  const std::string baseElement = "<BASE HREF=\"" + Html::BaseOf(kBase) + "\">";
  Require(out.starts_with(baseElement));
  // Rules 2 and 3.
  for (size_t p = out.find('<', baseElement.size()); p != std::string::npos; p = out.find('<', p + 1)) {
    const size_t end = out.find('>', p);
    Require(end != std::string::npos);
    const std::string_view tag = std::string_view(out).substr(p + 1, end - p - 1);
    Require(tag.find('<') == std::string_view::npos);
    Require(Html::RewriteTag(tag, image, background) == tag);
    p = end;
  }
  return 0;
}
