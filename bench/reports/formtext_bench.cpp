// Lays out a memo of about N bytes (default 1 MB; paragraphs of words ending
// in an empty line) as formatted text at 80 columns of the textual context, and
// prints the time beside GNU fmt -w 80 on the same text (the greedy wrapping
// reference), the ratio, and the line counts of both.
//
// Usage: formtext_bench [bytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/reports/formtext.h"
#include "runtime/reports/textctx.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string MakeMemo(size_t bytes) {
  static const char* const words[] = {"Kunde", "Rechnung", "am", "Lieferung", "bitte", "des", "Auftrags", "zu",
                                      "und", "Betrag", "mit", "Zahlung"};
  std::string text;
  unsigned seed = 1;
  while (text.size() < bytes) {
    seed = seed * 1103515245 + 12345;
    text += words[(seed >> 16) % 12];
    text += (seed >> 8) % 40 == 0 ? "\r\n\r\n" : " ";  // fmt keeps paragraphs apart at empty lines
  }
  return text;
}

// Runs fmt over the text; answers its seconds and line count (-1 without fmt).
double RunFmt(const std::string& text, long& lines) {
  std::string unix = text;
  for (size_t at; (at = unix.find('\r')) != std::string::npos;) unix.erase(at, 1);
  const char* path = "/tmp/formtext_bench.txt";
  if (FILE* f = std::fopen(path, "wb")) {
    std::fwrite(unix.data(), 1, unix.size(), f);
    std::fclose(f);
  }
  const auto start = Clock::now();
  FILE* pipe = popen("fmt -w 80 /tmp/formtext_bench.txt", "r");
  lines = -1;
  if (!pipe) return -1;
  lines = 0;
  for (int c; (c = std::fgetc(pipe)) != EOF;) lines += c == '\n';
  const double seconds = SecondsSince(start);
  if (pclose(pipe) != 0) lines = -1;
  std::remove(path);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t bytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
  const std::string memo = MakeMemo(bytes);
  kxobject::TMemStream sink(0, 4096);
  reports::TTextualContext context("bench", &sink, false);
  reports::TFormattedText text(memo.c_str(), 80);
  text.WordWrap = 1;
  const auto start = Clock::now();
  text.Format(context, 80 * 16, -1, true);
  const double ours = SecondsSince(start);
  long fmtLines = 0;
  const double theirs = RunFmt(memo, fmtLines);
  std::printf("formatted text: %zu bytes in %.3f s (%d lines)\n", memo.size(), ours, text.GetLineCount());
  if (fmtLines >= 0) {
    std::printf("fmt -w 80:      %zu bytes in %.3f s (%ld lines); ratio %.2f\n", memo.size(), theirs, fmtLines,
                ours / theirs);
  } else {
    std::printf("fmt -w 80:      not available\n");
  }
  return 0;
}
