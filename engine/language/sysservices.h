// Services of the system functions that reach outside the interpreter: the
// directory search behind FirstDir and NextDir, the sectioned key=value file
// lookup, the 0/1/2 answer of the directory functions, the access letters
// of a table's rights, and the hooks through which the environment, the CGI
// output and parameters and the database job's parameters are reached.
//
// What holds:
//   1. One directory search is active engine-wide; FirstDir replaces it, and
//      NextDir continues it (empty text when there is none or it is done).
//   2. A result line of the search is exactly 53 characters, then the
//      search's directory (cut at 255): name in columns 1-14, size right-
//      aligned in 15-24, "dd.mm.yyyy hh:mm:ss" from column 27, and in 46-51
//      the letters R H S V D A of the entry's attributes that the search
//      asked for, blanks for the others.
//   3. The key=value file is read once and kept with its name until another
//      name is asked; keys compare exactly (case matters) and are
//      "section.key" under a "[section]" line. A file that cannot be read
//      leaves an empty tree; nothing is read beyond 255 characters a line.
//   4. Every hook has a default that works without a host: the process
//      environment, standard output, the query string of the environment,
//      job parameters that answer 0, the current directory as project and
//      private directory. A null hook restores the default.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/dynstr.h"
#include "engine/base/shortstr.h"

namespace SysServices {

// Attribute mask of the letters: A 32, D 16, H 2, R 1, S 4, V 8; other
// characters are ignored.
uint32_t AttributeMask(std::string_view letters);

// The full path of mask; with letters "X" that is the result. Otherwise the
// first entry that matches, as a result line (empty when none matches).
ShortStr FirstDir(std::string_view mask, std::string_view letters);
ShortStr NextDir();
// Ends the search (engine stop).
void CloseDirSearch();

// The value of key in the sectioned key=value file ("RAMTEXT": the text
// buffer); empty when the key or the file is missing.
ShortStr LookupKeyValue(std::string_view file, std::string_view key);
// Forgets the cached file, so the next lookup reads it again.
void ForgetKeyValueFile();

// Every character of the text in its HTML form, without a length limit.
std::string HtmlForm(std::string_view text);
// The pieces of a text chain as one text: each piece (in its HTML form when
// html is set), CR LF behind a piece that ends its line and one blank
// behind a piece that continues. Answers the length counting a closing
// zero byte, or -1 (and an empty text) when that would reach 65535 bytes.
int32_t FlattenPieces(const dynstr::LineNode* chain, bool html, std::string& text);
// Subst: the first occurrence of search in the text buffer replaced by the
// flattened chain; 1 when it was replaced, 0 when nothing could be built or
// the buffer would pass 65535 bytes.
int SubstInTextBuffer(std::string_view search, const dynstr::LineNode* replacement, bool html);

// 0 for success, 1 for access denied (DOS error 5), 2 for any other error.
int DirectoryAnswer(int dosError);

// The letters N, E, L, I of the four low bits of rights that are clear.
ShortStr AccessLetters(uint8_t rights);

// Engine switches that system functions set: the check for tables changed
// by others (DirtyChk), the release of memo blocks when a memo is deleted
// (DelMemo) and the continuous-read cache (202/26). All start on.
struct TEngineSwitches {
  bool dirtyCheck = true;
  bool memoRelease = true;
  bool continuousRead = true;
};
TEngineSwitches& EngineSwitches();
// Back to the start state: switches on, no search, no cached file (engine
// start).
void ResetServices();

// Hooks of the environment, CGI and database jobs.
struct TServiceHooks {
  // The value of an environment variable; false when it is not set.
  bool (*getEnv)(std::string_view name, ShortStr& value);
  // Writes text to the CGI output; answers 0 or a DOS error.
  int (*cgiWrite)(std::string_view text);
  // The value of a CGI parameter; empty when it is not there.
  ShortStr (*cgiParam)(std::string_view name);
  // A dot line for the running job; its setting of a dot command; the job's
  // print font from a description; the compile of a module file. Each
  // answers as the function delivers it.
  int (*setJobParameter)(std::string_view line);
  double (*getJobParameter)(std::string_view command);
  int (*initJobFont)(std::string_view description);
  int (*compileModule)(std::string_view name);
  // Start parameter n of the host program.
  ShortStr (*paramStr)(int32_t n);
  // The project directory and the private directory (default: the current
  // directory for both; the engine interface installs the host's).
  ShortStr (*baseDir)();
  ShortStr (*privDir)();
};
void SetServiceHooks(const TServiceHooks& hooks);
const TServiceHooks& ServiceHooks();

}  // namespace SysServices
