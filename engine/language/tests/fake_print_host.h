// A recording print host for the output tests: every call-back appends one
// line to a transcript, and text is measured with a fixed cell (kCellWidth
// per character of code 32 or more, kCellHeight high), so layouts are exact
// and comparable with golden transcripts.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/language/printcalls.h"

namespace fakehost {

inline constexpr uint16_t kCellWidth = 10;
inline constexpr uint16_t kCellHeight = 20;

inline std::string& Transcript() {
  static std::string t;
  return t;
}
inline int16_t& EndPageAnswer() {
  static int16_t a = 0;
  return a;
}
inline int16_t& BeginPrintingAnswer() {
  static int16_t a = 0;
  return a;
}
inline uint16_t& PageWidth() {
  static uint16_t w = 800;
  return w;
}
inline uint16_t& PageHeight() {
  static uint16_t h = 400;
  return h;
}

inline void Log(const std::string& line) { Transcript() += line + "\n"; }

// Control characters show as "<n>" so a transcript stays plain text.
inline std::string Visible(const char* text) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (uint8_t(*p) < 32) out += "<" + std::to_string(int(uint8_t(*p))) + ">";
    else out += *p;
  }
  return out;
}

extern "C" {
inline int16_t BeginPrinting() {
  Log("begin-printing");
  return BeginPrintingAnswer();
}
inline int16_t BeginPage() {
  Log("begin-page");
  return 0;
}
inline int16_t EndPage(int16_t code) {
  Log("end-page " + std::to_string(code));
  return EndPageAnswer();
}
inline void EndPrinting() { Log("end-printing"); }
inline void PageSize(uint16_t* w, uint16_t* h) {
  *w = PageWidth();
  *h = PageHeight();
}
inline void PrintText(int16_t x, int16_t y, const char* text) {
  Log("text " + std::to_string(x) + " " + std::to_string(y) + " '" + Visible(text) + "'");
}
inline void TextSize(const char* text, uint16_t* w, uint16_t* h) {
  uint16_t n = 0;
  for (const char* p = text; *p; ++p)
    if (uint8_t(*p) >= 32) ++n;
  *w = uint16_t(n * kCellWidth);
  *h = kCellHeight;
}
inline void MoveTo(int16_t x, int16_t y) { Log("move " + std::to_string(x) + " " + std::to_string(y)); }
inline void LineTo(int16_t x, int16_t y) { Log("line " + std::to_string(x) + " " + std::to_string(y)); }
inline void Bold(uint8_t on) { Log("bold " + std::to_string(on)); }
inline void Italic(uint8_t on) { Log("italic " + std::to_string(on)); }
inline int16_t SetFont(const char* face, int16_t size, uint8_t italic, uint8_t bold, uint8_t underline) {
  Log("font '" + std::string(face) + "' " + std::to_string(size) + " " + std::to_string(italic) +
      std::to_string(bold) + std::to_string(underline));
  return 0;
}
inline int16_t DrawBlob(int8_t kind, const char* name, int16_t x, int16_t y, int16_t w, int16_t h) {
  Log("blob " + std::to_string(kind) + " '" + name + "' " + std::to_string(x) + " " + std::to_string(y) +
      " " + std::to_string(w) + " " + std::to_string(h));
  return 0;
}
}

// Installs every call-back and empties the transcript.
inline void Install() {
  Transcript().clear();
  EndPageAnswer() = 0;
  BeginPrintingAnswer() = 0;
  PageWidth() = 800;
  PageHeight() = 400;
  PrintCalls::SetPrintCtlProcs(BeginPrinting, BeginPage, EndPage, EndPrinting);
  PrintCalls::SetPrintProcs(PageSize, PrintText, nullptr, TextSize, MoveTo, LineTo);
  PrintCalls::SetFontProcs(Bold, Italic, SetFont);
  PrintCalls::SetOutputProcs(DrawBlob, nullptr);
}

// Compares text with the golden file tests/golden/<name>.txt; with
// ZET_UPDATE_GOLDEN set, writes the file instead. The folder comes from the
// build, not from __FILE__, which a compiler cache may make relative.
inline void ExpectGolden(const std::string& name, const std::string& text) {
  const std::filesystem::path file =
      std::filesystem::path(ZET_LANGUAGE_GOLDEN_DIR) / (name + ".txt");
  if (std::getenv("ZET_UPDATE_GOLDEN")) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return;
  }
  std::ifstream in(file, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << file;
  std::stringstream expected;
  expected << in.rdbuf();
  EXPECT_EQ(text, expected.str()) << "golden " << name;
}

}  // namespace fakehost
