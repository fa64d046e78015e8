// Exports for database jobs, compiled programs and the output call-backs.
//
// What holds:
//   1. A cursor handle is resolved once where ZetExecuteJob enters; the
//      current table is the cursor's for the run and the one before it
//      afterwards, whatever the job did.
//   2. Loaded programs nest: each load opens a variable scope of its own and
//      keeps its compiled job on a stack; an unload closes the newest. A
//      refused load leaves no scope and no program behind.
//   3. A job compiled from text runs in a variable scope of its own, with
//      the standard fonts, and leaves neither behind.
//   4. A job starts on its cursor's record and order, and on those of the
//      cursors made from it (linked and relation-table cursors).
//   5. A job runs on its cursor's access marks, which are the table's marks
//      for the run and come back into the cursor afterwards. When the
//      cursor has no access marks but user marks, the user marks stand in
//      for the run and take the marks the job left; the access marks are
//      empty again afterwards.
//   6. Texts out follow the capacity rule of zetcore.h.
#include <string>
#include <vector>

#include "engine/base/common_errors.h"
#include "engine/base/dynstr.h"
#include "engine/base/ramfiles.h"
#include "engine/base/textfiles.h"
#include "engine/base/uppercas.h"
#include "engine/interface/zeteng.h"
#include "engine/language/extcalls.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobformat.h"
#include "engine/language/jobimage.h"
#include "engine/language/jobrun.h"
#include "engine/language/printcalls.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/selection.h"
#include "engine/language/programerror.h"
#include "engine/language/sysservices.h"
#include "engine/language/variables.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/marklist.h"
#include "engine/storage/zettable.h"
#include "zetcore.h"

namespace {

constexpr uint16_t kErrMissing = 2;
constexpr uint16_t kErrNotWritten = 3;
constexpr uint16_t kErrEmptyName = 37;
constexpr int32_t kBadNumber = -43;

struct TLoaded {
  JobCompile::TJob job;
  std::string name;
};
std::vector<TLoaded>& Loaded() {
  static std::vector<TLoaded> loaded;
  return loaded;
}

bool EndsWithNoCase(std::string_view name, std::string_view ext) {
  return name.size() >= ext.size() &&
         UPPERCAS::CollateCompare(name.substr(name.size() - ext.size()), ext) == 0;
}

using JobCompile::LoadLines;

// Loads a compiled image; 0 or the engine error.
uint16_t LoadProgram(std::string_view name) {
  if (name.empty()) return kErrMissing;
  RamFiles::TRamFile f;
  if (RamFiles::RamLoad(f, name) != 0) return kErrMissing;
  ZetVars::PushVarScope();
  TLoaded loaded;
  loaded.name = std::string(name);
  const int e = JobImage::ReadImage(f, loaded.job.image);
  if (e != 0) {
    ZetVars::PopVarScope();
    return uint16_t(e);
  }
  JobCompile::TakeImageSettings(loaded.job);
  Loaded().push_back(std::move(loaded));
  JobRun::SetLoadedProgram(&Loaded().back().job, Loaded().size());
  return 0;
}

void UnloadProgram() {
  if (Loaded().empty()) return;
  Loaded().pop_back();
  JobRun::SetLoadedProgram(Loaded().empty() ? nullptr : &Loaded().back().job, Loaded().size());
  ZetVars::PopVarScope();
  ExtCalls::OutsideFunctions().Clear();
}

// A program that a running program names (ExecMacro): a name without a
// directory is taken from the project directory, ".PRG" is put on, and the
// program is loaded for the time its caller needs it.
bool LoadModule(std::string_view name) {
  std::string file(name);
  if (file.find_first_of("\\/:") == std::string::npos) {
    std::string directory(SysServices::ServiceHooks().baseDir().view());
    if (!directory.empty() && directory.back() != '/' && directory.back() != '\\') directory += '/';
    file = directory + file;
  }
  const uint16_t e = LoadProgram(file + ".PRG");
  if (e != 0) Common::SetFileError(e, file + ".PRG");
  return e == 0;
}

void UnloadModule() { UnloadProgram(); }

// Compile of the text functions: the module file with the current table;
// the compiler's error number.
int CompileModule(std::string_view name) {
  const std::string file(name.substr(0, 127));
  return -ZetRltnCompileProgram(ZetTable::CurrentHandle(), file.c_str());
}

uint16_t RunJobText(std::string_view name, int32_t loadMode, std::string_view output) {
  (void)loadMode;
  std::vector<std::string> lines;
  if (const int e = LoadLines(name, lines); e != 0) {
    Common::SetFileError(uint16_t(e), name);
    return uint16_t(e);
  }
  ZetVars::PushVarScope();
  PrintCalls::ClearFonts();
  PrintCalls::DefineStandardFonts();
  ProgramError::Clear();
  ProgramError::SetSource(name);
  JobCompile::TJob job;
  uint16_t error = JobCompile::Compile(lines, false, name, job);
  PrintCalls::ClearFonts();
  if (error == 0) error = JobRun::RunJob(job, output);
  LINKFILE::CloseTemporaryTables(false);  // what a RELATION opened while compiling
  ZetVars::PopVarScope();
  return error;
}

}  // namespace

namespace ZETEng {

void InstallJobServices() {
  SysServices::TServiceHooks services = SysServices::ServiceHooks();
  services.setJobParameter = JobRun::SetJobParameter;
  services.getJobParameter = JobRun::GetJobParameter;
  services.initJobFont = JobRun::InitJobFont;
  services.compileModule = CompileModule;
  SysServices::SetServiceHooks(services);
  Zet02::TCompilerHooks compiler{};
  compiler.loadModule = LoadModule;
  compiler.unloadModule = UnloadModule;
  Zet02::SetCompilerHooks(compiler);
  Zet02::TRunHooks run = Zet02::RunHooks();
  run.beginMacro = LoadModule;
  run.endMacro = UnloadModule;
  Zet02::SetRunHooks(run);
}

}  // namespace ZETEng

int32_t ZetSetPrintCtlProcs(ZetBeginPrintingProc begin, ZetBeginPageProc beginPage, ZetEndPageProc endPage,
                            ZetEndPrintingProc end) try {
  PrintCalls::SetPrintCtlProcs(begin, beginPage, endPage, end);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetPrintProcs(ZetPageSizeProc pageSize, ZetPrintTextProc printText, ZetCharCellProc charCell,
                         ZetTextSizeProc textSize, ZetMoveToProc moveTo, ZetLineToProc lineTo) try {
  PrintCalls::SetPrintProcs(pageSize, printText, charCell, textSize, moveTo, lineTo);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetFontProcs(ZetBoldFaceProc bold, ZetItalicProc italic, ZetSetFontProc setFont) try {
  PrintCalls::SetFontProcs(bold, italic, setFont);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetOutputProcs(ZetDrawBlobProc drawBlob, ZetPlaySoundProc playSound) try {
  PrintCalls::SetOutputProcs(drawBlob, playSound);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetSetInfoProcs(ZetCursorQueryProc cursorQuery, ZetErrorTextProc errorText) try {
  ZETEng::SetCursorQuery(cursorQuery);
  Common::SetGetUserErrMsg(errorText);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

static int32_t ExecuteJobWork(int32_t cursor, const char* jobFile, int32_t loadMode, const char* outputFile,
                              int32_t) {
  ZETEng::TResolved r = ZETEng::Resolve(cursor);
  if (r.error) return r.error;
  ZETEng::TCursor& c = *r.cursor;
  // The user's marks are the job's access marks when it has none of its
  // own, and come back as the job left them.
  const bool marksMoved = c.accessMarks.Empty() && !c.userMarks.Empty();
  if (marksMoved) MarkLists::MarkListCopy(c.userMarks, c.accessMarks);
  const int remembered = ZetTable::CurrentHandle();
  LINKFILE::SelectPrimaryTable(c.relation);
  ZETEng::SetActiveCursor(cursor);
  // The job starts on the cursor's record and those of the cursors made
  // from it; the active cursor's marks are its table's marks while it runs.
  ZETEng::RestoreCursorWithLinked(c, *r.table);
  const std::string name(ZETEng::TextIn(jobFile));
  const std::string output(ZETEng::TextIn(outputFile));
  uint16_t error = 0;
  if (name.empty()) {
    error = kErrEmptyName;
  } else if (EndsWithNoCase(name, ".DBJ")) {
    error = LoadProgram(name);
    if (error == 0) {
      error = JobRun::RunJob(Loaded().back().job, output);
      UnloadProgram();
    } else {
      Common::SetFileError(error, name);
    }
  } else {
    error = RunJobText(name, loadMode, output);
  }
  if (ZetTable::TZetTable* t = ZetTable::Table(c.relation)) MarkLists::MarkListCopy(t->marks, c.accessMarks);
  if (marksMoved) {
    MarkLists::MarkListCopy(c.accessMarks, c.userMarks);
    MarkLists::MarkListClear(c.accessMarks);
  }
  if (remembered != 0) LINKFILE::SelectPrimaryTable(remembered);
  return error ? -int32_t(error) : 0;
}

int32_t ZetExecuteJob(int32_t cursor, const char* jobFile, int32_t loadMode, const char* outputFile, int32_t spare) {
  return ZETEng::Guarded([&] { return ExecuteJobWork(cursor, jobFile, loadMode, outputFile, spare); });
}

int32_t ZetBreakExecution(void) try {
  JobRun::RequestBreak();
  Common::SetFileError(JobRun::kErrBreak, "");
  ProgramError::Set(JobRun::kErrBreak, 0, 0, -1);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

static int32_t RltnCompileProgramWork(int32_t table, const char* sourceFile) {
  const std::string source(ZETEng::TextIn(sourceFile));
  ProgramError::Clear();
  ProgramError::SetSource(source);
  const size_t slash = source.find_last_of("\\/");
  const size_t dot = source.find_last_of('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string dir = slash == std::string::npos ? "" : source.substr(0, slash + 1);
  std::string base = source.substr(dir.size(), (hasExt ? dot : source.size()) - dir.size());
  for (char& c : base) c = UPPERCAS::UpCaseChar(c);
  const std::string ext = hasExt ? source.substr(dot) : "";
  const bool isJob = EndsWithNoCase(ext, ".JOB") || EndsWithNoCase(ext, ".TXT");
  std::vector<std::string> lines;
  if (LoadLines(source, lines) != 0) {
    ProgramError::Set(kErrMissing, 1, 0, -1);
    return -int32_t(kErrNotWritten);
  }
  const int remembered = ZetTable::CurrentHandle();
  if (table >= 1 && table <= ZetTable::OpenCount()) LINKFILE::SelectPrimaryTable(table);
  ZetVars::PushVarScope();
  PrintCalls::ClearFonts();
  PrintCalls::DefineStandardFonts();
  JobCompile::TJob job;
  uint16_t error = JobCompile::Compile(lines, !isJob, source, job);
  PrintCalls::ClearFonts();
  LINKFILE::CloseTemporaryTables(false);
  if (remembered != 0) LINKFILE::SelectPrimaryTable(remembered);
  int32_t result = error ? -int32_t(error) : 0;
  if (error == 0) {
    JobCompile::PutImageSettings(job);
    RamFiles::TRamFile f;
    const std::string target = dir + base + (isJob ? ".DBJ" : ".PRG");
    int e = RamFiles::RamRewrite(f, target);
    if (e == 0) e = JobImage::WriteImage(f, job.image);
    if (const int closed = RamFiles::RamClose(f); e == 0) e = closed;
    if (e != 0) {
      ProgramError::Set(kErrNotWritten, 1, 0, -1);
      result = -int32_t(kErrNotWritten);
    }
  }
  ZetVars::PopVarScope();
  return result;
}

int32_t ZetRltnCompileProgram(int32_t table, const char* sourceFile) {
  return ZETEng::Guarded([&] { return RltnCompileProgramWork(table, sourceFile); });
}

static int32_t LoadProgramWork(const char* fileName) {
  const std::string name(ZETEng::TextIn(fileName));
  const uint16_t e = LoadProgram(name);
  if (e != 0) Common::SetFileError(e, name);
  return e ? -int32_t(e) : 0;
}

int32_t ZetLoadProgram(const char* fileName) {
  return ZETEng::Guarded([&] { return LoadProgramWork(fileName); });
}

int32_t ZetUnloadProgram(void) try {
  UnloadProgram();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetCountCommands(void) { return int32_t(JobFormat::kKeywordCount); }

int32_t ZetGetCommand(int32_t number, char* text, int32_t capacity) try {
  const JobFormat::TKeyword* k = number >= 1 ? JobFormat::Keyword(size_t(number)) : nullptr;
  if (!k) return kBadNumber;
  ZETEng::TextOut(text, capacity, k->text);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetCountDotCmds(void) { return int32_t(JobFormat::kDotCommandCount); }

int32_t ZetGetDotCmd(int32_t number, char* text, int32_t capacity) try {
  if (number < 1 || number > int32_t(JobFormat::kDotCommandCount)) return kBadNumber;
  ZETEng::TextOut(text, capacity, JobFormat::kDotCommands.substr(size_t(number - 1) * 3, 2));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

static int32_t RltnCheckModuleWork(int32_t table, const char* text, const char* sourceName) {
  std::string source(ZETEng::TextIn(sourceName));
  source += "CurrentModule";
  ProgramError::Clear();
  ProgramError::SetSource(source);
  std::vector<std::string> lines;
  const std::string_view all = text ? std::string_view(text) : std::string_view();
  for (size_t start = 0; start < all.size();) {
    size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
  const int remembered = ZetTable::CurrentHandle();
  if (table >= 1 && table <= ZetTable::OpenCount()) LINKFILE::SelectPrimaryTable(table);
  ZetVars::PushVarScope();
  JobCompile::TJob job;
  const uint16_t error = JobCompile::Compile(lines, true, source, job);
  LINKFILE::CloseTemporaryTables(false);
  ZetVars::PopVarScope();
  if (remembered != 0) LINKFILE::SelectPrimaryTable(remembered);
  return error ? -int32_t(error) : 0;
}

int32_t ZetRltnCheckModule(int32_t table, const char* text, const char* sourceName) {
  return ZETEng::Guarded([&] { return RltnCheckModuleWork(table, text, sourceName); });
}

int32_t ZetGetNumProcs(void) { return int32_t(ZetVars::ProcedureCount()); }

int32_t ZetGetProcInfo(int32_t number, char* name, int32_t capacity) try {
  if (number < 1 || number > int32_t(ZetVars::ProcedureCount())) return kBadNumber;
  ZETEng::TextOut(name, capacity, ZetVars::GetProcedureName(uint16_t(number)).view());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetGetProcParams(int32_t number, char* params, int32_t capacity) try {
  if (number < 1 || number > int32_t(ZetVars::ProcedureCount())) return kBadNumber;
  ZETEng::TextOut(params, capacity, Zet02::ProcedureSignature(uint16_t(number)).view());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetExecProc(int32_t) { return 0; }

int32_t ZetIncrementModuleLevel(void) { return -1; }

int32_t ZetGetProgramPath(int32_t, int32_t) { return -1; }
