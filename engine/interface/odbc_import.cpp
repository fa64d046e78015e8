// The ODBC import (odbc_import.h) and its export.
#include "engine/interface/odbc_import.h"

#include <dlfcn.h>

#include <cstdio>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/datum.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/language/formulas.h"
#include "engine/language/selection.h"
#include "engine/storage/btrees.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable_fields.h"

namespace OdbcImport {

namespace {

constexpr uint16_t kErrCannotStart = 120;
constexpr uint16_t kErrCannotOpen = 121;
constexpr uint16_t kErrBreak = 114;
constexpr uint16_t kErrBadValue = 8;  // "Import-Fehler"
constexpr int32_t kNotStarted = -39;
constexpr int32_t kNotRun = -100;
constexpr int32_t kStopped = -203;
constexpr int32_t kBlockRows = 10;
constexpr int kMapEntries = 1000;

const TBridge* g_bridge = nullptr;
TBridge g_loaded{};
bool g_loadTried = false;

template <typename F>
bool Symbol(void* library, const char* name, F& slot) {
  slot = reinterpret_cast<F>(dlsym(library, name));
  return slot != nullptr;
}

// The directory of the library (or program) that holds the engine.
std::string EngineDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&EngineDirectory), &info) == 0 || !info.dli_fname) return {};
  std::string path(info.dli_fname);
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

const TBridge* Bridge() {
  if (g_bridge) return g_bridge;
  if (!g_loadTried) {
    g_loadTried = true;
    if (LoadBridge(EngineDirectory() + "libzetodbc.so", g_loaded) || LoadBridge("libzetodbc.so", g_loaded))
      g_bridge = &g_loaded;
  }
  return g_bridge;
}

// A date as a date field takes it whatever the date format: "dd.mm.yyyy",
// four digits of year (a two-digit year would be read back into another
// century); empty when it is no calendar date.
std::string FieldDate(uint16_t year, uint16_t month, uint16_t day) {
  static constexpr uint8_t kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return {};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && day == 29 && !leap) return {};
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02u.%02u.%04u", unsigned(day), unsigned(month), unsigned(year));
  return buffer;
}

// One result value as text for field parsing, with what the run needs to
// know of it.
struct TValue {
  std::string text;
  bool empty = false;      // NULL, invalid or not there: the field stays empty
  bool failed = false;     // the bridge could not deliver it
  bool stamp = false;      // a timestamp: text holds the date, time the time
  std::string time;
  std::string date;        // a date or timestamp's date for a date field
};

std::string RealText(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%10.3f", v);
  std::string text(buffer);
  const char decimal = Common::GetDecimalChar();
  for (char& c : text)
    if (c == '.') c = decimal;
  return text;
}

TValue ReadValue(const TBridge& b, ZetOdbcCursor& cursor, int32_t row, int32_t column) {
  TValue v;
  if (column < 0 || column >= cursor.columnCount || !cursor.columns) {
    v.empty = true;
    return v;
  }
  int32_t rc = 0;
  switch (cursor.columns[column].type) {
    case 1:
    case 1000: {
      char buffer[256] = {};
      rc = b.getString(&cursor, row, column, buffer, sizeof buffer);
      buffer[255] = 0;
      v.text = buffer;
      break;
    }
    case 2: {
      int16_t n = 0;
      rc = b.getInt16(&cursor, row, column, &n);
      v.text = std::to_string(n);
      break;
    }
    case 1004: {
      int32_t n = 0;
      rc = b.getInt32(&cursor, row, column, &n);
      v.text = std::to_string(n);
      break;
    }
    case 3:
    case 1002:
    case 1003:
    case 1005:
    case 1007: {
      double d = 0;
      rc = b.getDouble(&cursor, row, column, &d);
      v.text = RealText(d);
      break;
    }
    case 5: {
      int16_t n = 0;
      rc = b.getInt16(&cursor, row, column, &n);
      v.text = n == 1 ? "JA" : "NEIN";
      break;
    }
    case 6: {
      ZetOdbcDate d{};
      rc = b.getDate(&cursor, row, column, &d);
      v.date = FieldDate(d.year, d.month, d.day);
      v.text = DateText(d.year, d.month, d.day);
      v.empty = v.text.empty();
      break;
    }
    case 13: {
      ZetOdbcTime t{};
      rc = b.getTime(&cursor, row, column, &t);
      v.text = TimeText(t.hour, t.minute, t.second);
      v.empty = v.text.empty();
      break;
    }
    case 1012: {
      ZetOdbcTimeStamp s{};
      rc = b.getTimeStamp(&cursor, row, column, &s);
      v.stamp = true;
      v.date = FieldDate(s.year, s.month, s.day);
      v.text = DateText(s.year, s.month, s.day);
      v.time = TimeText(s.hour, s.minute, s.second);
      break;
    }
    case 7:
    case 1001: {
      const int32_t length = b.getMemoLen(&cursor, row, column);
      if (length < 0) {
        rc = length;
        break;
      }
      std::vector<char> buffer(size_t(length) + 1, '\0');
      rc = b.getMemo(&cursor, row, column, buffer.data(), length + 1);
      buffer[size_t(length)] = 0;
      v.text = buffer.data();
      break;
    }
    default:
      v.empty = true;
      return v;
  }
  if (rc < 0) v.failed = true;
  if (rc == 1) {
    v.empty = true;
    v.text.clear();
    v.time.clear();
    v.date.clear();
  }
  return v;
}

// Writes text as the memo of field n of the table's record buffer.
bool StoreMemo(ZetTable::TZetTable& t, uint16_t n, std::string_view text) {
  if (text.empty()) return true;
  if (WINMEMOS::InitPutMemo(t.memoFile) != 0) return false;
  WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data());
  const uint32_t first = WINMEMOS::DonePutMemo(t.memoFile, 0);
  if (WINMEMOS::Status() != 0) return false;
  bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(n), first);
  return true;
}

// A time field holds minutes: it takes the hours and minutes of a time text.
std::string_view ForField(uint8_t type, std::string_view text) {
  return type == Common::kTypeTime ? text.substr(0, 5) : text;
}

// Stores the value of a column into user field k (1-based) of the record
// buffer; false with failing set to the text when the field refuses it.
bool StoreValue(int slot, ZetTable::TZetTable& t, int32_t k, const TValue& v, std::string& failing) {
  const uint16_t n = ZetTable::NthUserField(slot, k);
  if (n == 0) return true;
  const uint8_t type = t.FieldType(n);
  if (type == Common::kTypeAutoNumber) return true;
  if (type == Common::kTypeMemo) {
    failing = v.stamp ? v.text + " " + v.time : v.text;
    return v.empty || StoreMemo(t, n, failing);
  }
  if (v.stamp) {
    if (type == Common::kTypeDate) {
      if (!v.date.empty() && ZetTable::SetFieldText(t, n, t.recordBuffer.data(), v.date) != 0) {
        failing = v.text;
        return false;
      }
      const uint16_t next = ZetTable::NthUserField(slot, k + 1);
      if (next != 0 && t.FieldType(next) == Common::kTypeTime && !v.time.empty() &&
          ZetTable::SetFieldText(t, next, t.recordBuffer.data(), ForField(Common::kTypeTime, v.time)) != 0) {
        failing = v.time;
        return false;
      }
    } else if (type == Common::kTypeTime && !v.time.empty()) {
      if (ZetTable::SetFieldText(t, n, t.recordBuffer.data(), ForField(type, v.time)) != 0) {
        failing = v.time;
        return false;
      }
    }
    return true;
  }
  if (v.empty) return true;
  const std::string_view text = type == Common::kTypeDate && !v.date.empty() ? v.date : ForField(type, v.text);
  if (ZetTable::SetFieldText(t, n, t.recordBuffer.data(), text) != 0) {
    failing = v.text;
    return false;
  }
  return true;
}

void Progress(int32_t (*progress)(int32_t, int32_t), int32_t done) {
  if (progress) progress(done, 100);
}

// Steps 3 to 6 of the run, with the cursor made: appends the rows, answers
// 0 or -203.
int32_t Run(const TBridge& b, ZetOdbcCursor& cursor, int slot, std::string_view selection, const int16_t* map,
            int32_t (*progress)(int32_t, int32_t)) {
  ZetTable::TZetTable& t = *ZetTable::Table(slot);
  Common::BreakRequested = false;
  Progress(progress, 0);
  BTREES::FlushAllTrees();
  BTREES::OutOfMemory = false;
  Zet01::ReadRecordCount(slot);
  ShortStr code;
  uint64_t tables = 0;
  ZETEng::ClearCompileErrors();
  if (ZETEng::CompileText(selection, code, tables) != 0) return kStopped;

  int32_t figure = 0;
  int32_t appended = 0;
  bool error = false;
  bool fetchFailed = false;
  std::string failing;
  while (!error && !Common::UserBreakRequested()) {
    const int32_t rows = b.fetch(&cursor);
    if (rows < 0) fetchFailed = error = true;
    if (rows <= 0) break;
    const int32_t blockRows = std::min<int32_t>(rows, int32_t(cursor.rows));
    for (int32_t row = 0; row < blockRows && !error && !Common::BreakRequested; ++row) {
      figure += 5;
      if (figure > 100) figure = 0;
      ZetTable::ClearRecordBuffer(slot);
      t.currentRecord = 0;
      for (int k = 0; k < kMapEntries && !error; ++k) {
        if (map[k] <= 0) continue;
        const TValue v = ReadValue(b, cursor, row, map[k] - 1);
        if (v.failed) {
          failing = v.text;
          Common::SetError(kErrCannotOpen, "");
          error = true;
        } else if (!StoreValue(slot, t, k + 1, v, failing)) {
          Common::SetError(kErrBadValue, failing);
          error = true;
        }
      }
      if (error) break;
      int selError = 0;
      int dependency = 0;
      if (Zet02::EvalSelection(code, 3, selError, dependency) && selError == 0) {
        int e = Zet01::AssignAutoNumber(slot);
        if (e == 0) {
          if (Formeln::ApplyFormulas(slot, false) != 0) Common::ResetLastError();
          e = Zet01::AppendRecord(slot, false, 0);
        }
        if (e != 0) {
          if (Common::LastError() == 0) Common::SetError(uint16_t(e), "");
          error = true;
          break;
        }
        ++appended;
      } else if (selError != 0) {
        error = true;
        break;
      }
      Progress(progress, figure);
    }
  }
  const bool broken = !error && Common::BreakRequested;
  Zet01::FlushTable(slot, true);
  if (appended > 0) ZETEng::NotifyCursors(slot, 0);
  if (!error && !broken) {
    Progress(progress, 100);
    return 0;
  }
  if (broken) {
    Common::SetError(kErrBreak, "");
  } else if (BTREES::OutOfMemory) {
    Common::OutOfMemoryError();
  } else {
    if (fetchFailed) Common::SetError(kErrCannotOpen, "");
    Common::ReplaceLastErrorText("Erfolgreich importiert: " + std::to_string(appended) + ", Feld: " + failing);
  }
  return kStopped;
}

}  // namespace

bool LoadBridge(const std::string& path, TBridge& bridge) {
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  TBridge b{};
  const bool ok = Symbol(library, "ZetOdbcOpen", b.open) && Symbol(library, "ZetOdbcClose", b.close) &&
                  Symbol(library, "ZetOdbcCreateCursor", b.createCursor) &&
                  Symbol(library, "ZetOdbcFetch", b.fetch) && Symbol(library, "ZetOdbcGetFieldString", b.getString) &&
                  Symbol(library, "ZetOdbcGetFieldInt16", b.getInt16) &&
                  Symbol(library, "ZetOdbcGetFieldInt32", b.getInt32) &&
                  Symbol(library, "ZetOdbcGetFieldDouble", b.getDouble) &&
                  Symbol(library, "ZetOdbcGetFieldDate", b.getDate) &&
                  Symbol(library, "ZetOdbcGetFieldTime", b.getTime) &&
                  Symbol(library, "ZetOdbcGetFieldTimeStamp", b.getTimeStamp) &&
                  Symbol(library, "ZetOdbcGetMemoLen", b.getMemoLen) &&
                  Symbol(library, "ZetOdbcGetFieldMemo", b.getMemo) &&
                  Symbol(library, "ZetOdbcDeleteCursor", b.deleteCursor);
  if (!ok) {
    dlclose(library);
    return false;
  }
  bridge = b;  // the library stays loaded for the life of the process
  return true;
}

void SetBridge(const TBridge* bridge) {
  g_bridge = bridge;
  g_loadTried = false;
}

std::string DateText(uint16_t year, uint16_t month, uint16_t day) {
  if (FieldDate(year, month, day).empty()) return {};
  return DATUM::PackedDateToStr(DATUM::PackDate(year, month, day)).str();
}

std::string TimeText(uint16_t hour, uint16_t minute, uint16_t second) {
  if (hour > 23 || minute > 59 || second > 59) return {};
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", unsigned(hour), unsigned(minute), unsigned(second));
  return buffer;
}

int32_t Import(std::string_view dataSource, std::string_view user, std::string_view password, std::string_view sql,
               std::string_view selection, const int16_t* map, int32_t (*progress)(int32_t, int32_t)) {
  const int slot = ZetTable::CurrentHandle();
  if (!ZETEng::ValidRelation(slot)) return ZETEng::kBadRelation;
  const TBridge* b = Bridge();
  if (!b || b->open() < 0) {
    Common::SetError(kErrCannotStart, "");
    return kNotStarted;
  }
  ZetOdbcCursor cursor{};
  cursor.magic = 99;
  cursor.rows = 99;
  const std::string source(dataSource), uid(user), pwd(password), statement(sql);
  if (b->createCursor(source.c_str(), uid.c_str(), pwd.c_str(), statement.c_str(), kBlockRows, &cursor) < 0) {
    Common::SetError(kErrCannotOpen, "");
    b->close();
    return kNotRun;
  }
  static const int16_t kNoMap[kMapEntries] = {};
  Zet00::PushTablePosition(slot);
  const int32_t result = Run(*b, cursor, slot, selection, map ? map : kNoMap, progress);
  if (ZetTable::Table(slot)) Zet00::PopTablePosition(slot);
  Common::BreakRequested = false;
  b->deleteCursor(&cursor);
  b->close();
  return result;
}

}  // namespace OdbcImport

extern "C" int32_t ZetRltnImportFromOdbc(int32_t, const char* dataSource, const char* user, const char* password,
                                         const char* sql, const char* selection, const int16_t* map, uint32_t,
                                         ZetProgressProc progress) try {
  constexpr size_t kWhole = 1 << 20;  // a cut statement would be another one
  return OdbcImport::Import(ZETEng::TextIn(dataSource, kWhole), ZETEng::TextIn(user), ZETEng::TextIn(password),
                            ZETEng::TextIn(sql, kWhole), ZETEng::TextIn(selection, kWhole), map, progress);
} catch (...) {
  return ZETEng::RaisedNow();
}
