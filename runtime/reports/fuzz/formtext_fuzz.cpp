// Fuzzes the stored form of formatted text: the input is a flag byte and a
// length-prefixed text as Write stores it. What is read must write back to
// bytes that read as the same text; laying the text out for the textual
// context at a width taken from the flag byte, and printing it there, must
// keep every character, keep the bottoms rising and stop inside the text.
// Seeds come from Write itself (formtext_test.cpp writes them with
// REPORTS_WRITE_FUZZ_SEEDS=<folder>).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/reports/formtext.h"
#include "runtime/reports/textctx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  kxobject::TMemStream in(0, 256);
  in.WriteHuge(data + 1, uint32_t(size - 1));
  in.Seek(0);
  reports::TFormattedText text;
  if (flags & 0x80) {
    text.LoadFromStream(in, flags & 0x40);
  } else {
    text.Read(in);
  }
  const std::string read = text.GetText();
  if (read.size() > size) std::abort();

  kxobject::TMemStream stored(0, 256);
  text.Write(stored);
  stored.Seek(0);
  reports::TFormattedText back;
  back.Read(stored);
  if (back.GetText() != read) std::abort();

  kxobject::TMemStream sink(0, 256);
  reports::TTextualContext context("fuzz", &sink, flags & 0x40);
  text.WordWrap = flags & 1;
  text.Format(context, (flags & 0x3E) * 8, -1, true);
  if (text.GetText() != read) std::abort();
  for (int i = 1; i < text.GetLineCount(); ++i)
    if (text.GetLine(i).Bottom < text.GetLine(i - 1).Bottom) std::abort();
  const int next = text.Print(context, {0, 0, 200, 400}, flags % 7, flags % 3);
  if (next != -1 && (next < 1 || next >= text.GetLineCount())) std::abort();
  return 0;
}
