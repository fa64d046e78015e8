// The job compiler: turns the lines of a job text (or a program text) into
// job code, the flat statement buffer that the job runner (jobrun.h) runs.
// Statement forms, the record-loop descriptor and the image are described
// in jobimage.h.
//
// What this compiler builds: text lines (literal runs and "$" expressions,
// "$$" for a dollar), "?" condition lines, dot-command lines, comments, the
// sections (PROLOG, HEADER, FOOTER, GROUP/GROUPHEADER with the group
// expression, GROUPFOOTER, DATA, EPILOG), LETTER, REPORT and MODULE on the
// first line, IF/ELSIF/ELSE/END, WHILE, REPEAT/UNTIL, LET/VAR/"!", DEF,
// CONST, VARDEF, SOLVE/DO, the table statements (SELECTION, SORTBY,
// SETACCESS, FILTER, RELATION, PRIMÄRDATEI, USES; in a job only in PROLOG
// and EPILOG), APPEND and REPLACE, FONT, SETFONT, EXIT, SUB/ENDSUB loops
// over linked records (at most 16 deep, error 60 beyond; ENDSUB may name a
// sort key), PROCEDURE/ENDPROC/RETURN (the body is jumped over where it
// stands; the runner enters it for the interpreter's calls; RETURN's value
// has the procedure's result type), DLLPROC declarations, and the texts of
// INCLUDE and USES, compiled into the same code. A statement argument that
// begins with "_" is computed: DEF, SOLVE, SELECTION, SETACCESS, FILTER,
// RELATION and SUB take one, every other statement refuses it with 82.
// SORTBY reads the records in the order of an index whose key is the sort
// key (unless SETACCESS chose the marked records or the key begins with
// "!"); otherwise the record loop sorts them.
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
//   5. An included text or used module opens no section and closes every
//      construct and procedure it opens; its errors name its own file and
//      line. INCLUDE and USES nest at most 8 deep (error 60 beyond), so a
//      file that includes itself ends.
//   6. The checks a statement makes while it compiles (APPEND and REPLACE
//      check their assignments) leave the tables' current records and the
//      current table as they were.
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
