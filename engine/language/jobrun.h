// The job runner: runs compiled job code (jobcompile.h, jobimage.h) over the
// records of the current table, with page headers and footers, group
// headers and footers, output through the host's call-backs (printcalls.h)
// or into a text file, and stops at the end, at an error, at EXIT or ST, or
// at a break by the user or the host.
//
// What holds:
//   1. Every code read is checked against the code's length: a statement
//      whose operand runs past the end, a jump that leaves the code, or an
//      opcode that names no statement ends the run with 82.
//   2. The job body runs exactly once; the record body runs once per
//      selected record, and again while a field is carried over a page end.
//   3. Runs nest only kMaxRunDepth deep (error 60 beyond); a run leaves the
//      pending statistics update and the formatter as it found them.
//   4. The write-enable switch of the interpreter is on while a job runs and
//      put back afterwards, so assignments and procedures take effect.
//   5. After the run the page formatter is back in printing-off state, the
//      text file (if any) is closed, and every column state is released.
//   6. With EC on, a failed statement followed by an assignment does not
//      stop the job: the assignment receives the error ("Fehler").
//   7. A nested record loop (SUB) keeps the record of the loop around it
//      and the current table; its body runs for every accepted combination
//      of its own tables' linked records.
//   8. Halt ends the whole run quietly: the stop it sets outlasts the
//      return from every procedure, and the run answers no error.
//   9. While a job runs, the interpreter's procedure calls run the body of
//      the job's procedure; the result is the value the body evaluated
//      last, and an error goes back to the calling statement. A procedure
//      of a program loaded since the running code began (ExecMacro), or of
//      the loaded program while no job runs, runs in that program's code.
//   9. The tables a record loop steps through are its own, its selection's
//      and, for a loop over the current table, those the last RELATION
//      named. The temporary tables and link definitions that RELATION
//      added are gone when the job ends.
//  10. A program text (ExecProg) runs in a variable scope of its own with
//      its own fonts; the running job's context, fonts and host font come
//      back afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/language/jobcompile.h"

namespace JobRun {

inline constexpr int kMaxRunDepth = 32;
inline constexpr uint16_t kErrBreak = 300;

// Runs job with output to outputFile (empty: the print call-backs); answers
// the job error (0 for success).
uint16_t RunJob(const JobCompile::TJob& job, std::string_view outputFile);
// Stops the running job before its next statement (error 300).
void RequestBreak();
// Halt: the running job or program ends before its next statement, from
// any procedure depth, without an error; no job running, nothing happens.
void Halt();

// The program that ZetLoadProgram made current (null: none) and the number
// of loaded programs: the interpreter's procedure calls run its procedures
// while no job runs, or when it was loaded after the running code began.
void SetLoadedProgram(const JobCompile::TJob* program, size_t loads);

// Runs a program text (ExecProg): compiled in program mode in a variable
// scope of its own with the standard fonts, run from its start; the context
// of a running job and its fonts come back afterwards. The job error.
uint16_t RunProgramText(const std::vector<std::string>& lines);

// The text functions' reach into the running job: a dot line applied as the
// job runs (0 or its error 56 or 82), the value a dot command answers (-1 for
// no dot command), and a font defined from a description and selected (0,
// or 1 table full, 2 no "=").
int SetJobParameter(std::string_view line);
double GetJobParameter(std::string_view command);
int InitJobFont(std::string_view description);

}  // namespace JobRun
