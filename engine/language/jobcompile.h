// The job compiler: turns the lines of a job text (or a program text) into
// job code, the flat statement buffer that the job runner (jobrun.h) runs.
// Statement forms, the record-loop descriptor and the image are described
// in jobimage.h.
//
// What this compiler builds: text lines (literal runs and "$" expressions,
// "$$" for a dollar), "?" condition lines, dot-command lines, comments, the
// sections (PROLOG, HEADER, FOOTER, GROUP/GROUPHEADER with the group
// expression, GROUPFOOTER, DATA, EPILOG), LETTER, REPORT and MODULE on the
// first line, IF/ELSIF/ELSE/END, WHILE, REPEAT/UNTIL, LET/VAR/"!", SOLVE/DO,
// SELECTION, SORTBY (the records are sorted by the key, also when an index
// of the table would give the order), FONT, SETFONT, EXIT, SUB/ENDSUB loops
// over linked records (at most 16 deep, error 60 beyond; no sort key) and
// PROCEDURE/ENDPROC/RETURN (the body is jumped over where it stands; the
// runner enters it for the interpreter's calls). The other statements
// (libraries, DEF, CONST and the table statements other than SELECTION and
// SORTBY) are refused with 82.
//
// What holds:
//   1. Every write into the code checks the room first: the code never
//      grows beyond kCodeLimit bytes; reaching it is error 99.
//   2. Jumps are written as distances from their own operand, so moving a
//      block of code (the record loop put in front of a job without
//      sections) keeps them right.
//   3. The first error stops the compile and goes into the compiler error
//      record (programerror.h) unless that holds an error already: the
//      source name, the 1-based line, the column minus 1 and the character
//      offset. The code is then incomplete and must not run.
//   4. Constructs nest at most kMaxNesting deep (error 97 beyond).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/language/jobformat.h"
#include "engine/language/jobimage.h"

namespace JobCompile {

inline constexpr size_t kMaxNesting = 64;

// A compiled job: its image (program flag, settings, sections, code), the
// dot settings as the compile left them and the tables its record body
// reads.
struct TJob {
  JobImage::TImage image;
  JobFormat::TDotState dots;
  uint64_t tables = 0;
};

// The job settings and the layout values of the dot commands into the
// image's settings and layout block, and back after a load.
void PutImageSettings(TJob& job);
void TakeImageSettings(TJob& job);

// The lines of a job or program text file (at most kLineLimit characters
// each, longer ones split): 0 or the file layer's error.
inline constexpr size_t kLineLimit = 256;
int LoadLines(std::string_view name, std::vector<std::string>& lines);

// Compiles lines into job; 0 or the error (recorded, see invariant 3).
uint16_t Compile(const std::vector<std::string>& lines, bool program, std::string_view source, TJob& job);

}  // namespace JobCompile
