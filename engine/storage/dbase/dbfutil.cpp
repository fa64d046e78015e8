#include "engine/storage/dbase/dbfutil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/base/uppercas.h"
#include "engine/storage/dbase/dbffile.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "platform/codepage.h"

namespace DbfUtil {

namespace {

using ZetTable::TZetTable;

constexpr uint8_t kDateLength = 8;
constexpr uint8_t kLogicalLength = 1;
constexpr uint8_t kTimeLength = 5;
constexpr uint8_t kNumberLength = 10;  // N and L fields
// A P field whose size code is this goes out as a C field of kPictureLength.
constexpr uint8_t kPictureSizeCode = 3;
constexpr uint8_t kPictureLength = 9;
// A real field without a display width goes out this wide.
constexpr uint8_t kRealWidthWithoutDisplay = 20;
constexpr char kOverflow = '*';
// Progress is reported this many times over a run.
constexpr uint32_t kProgressSteps = 20;
constexpr int32_t kProgressStop = 1;

// Import: where a field's label goes on the entry form. Columns 1..17 in
// rows 0..7; a text field longer than 64 characters takes length div 64
// further columns.
constexpr uint8_t kFirstColumn = 1;
constexpr uint8_t kLastColumn = 17;
constexpr uint8_t kLastRow = 7;
constexpr uint8_t kColumnWidth = 64;
// How the row goes into the layout byte beside the column.
constexpr uint8_t kRowBit2Weight = 8;
constexpr uint8_t kRowLowBitsWeight = 64;
// Byte 44 of imported fields.
constexpr uint8_t kShownChar = 1;
constexpr uint8_t kShownDate = 10;
constexpr uint8_t kShownBool = 4;
constexpr uint8_t kShownMemo = 4;
// The longest line of an imported memo.
constexpr size_t kMemoLineLength = 78;
constexpr uint8_t kMaxShownText = 64;
constexpr uint8_t kNibble = 15;
// Size codes of imported fields.
constexpr uint8_t kSizeChar = 0;
constexpr uint8_t kSizeInteger = 1;
constexpr uint8_t kSizeDate = 3;
constexpr uint8_t kSizeBool = 0;
constexpr uint8_t kSizeMemo16 = ZetTable::kSizeMemo16;
constexpr uint8_t kSizeReal = ZetTable::kSizeDouble;
// N fields of up to this many digits and no decimals become I fields.
constexpr uint8_t kMaxIntegerDigits = 4;
constexpr std::string_view kNameEnd = ": ";
constexpr uint16_t kImportVersion = 2;

// A progress report is due after record r of count.
bool ProgressDue(uint32_t r, uint32_t count) {
  const uint32_t step = std::max<uint32_t>(1, count / kProgressSteps);
  return r % step == 0;
}

int Cancelled() {
  Common::SetError(kErrCancelled, "");
  return kErrCancelled;
}

// The error a routine below has reported (the conversion starts without
// one), or fallback reported now.
int ReportedError(uint16_t fallback, std::string_view fileName) {
  const int32_t e = -Common::LastError();
  if (e > 0) return e;
  Common::SetFileError(fallback, fileName);
  return fallback;
}

// ---------------------------------------------------------------------------
// Table to DBF

TDbfField Field(char type, uint8_t length, uint8_t decimals = 0) {
  TDbfField f;
  f.type = type;
  f.length = std::max<uint8_t>(length, 1);
  f.decimals = decimals;
  return f;
}

// The DBF field of table field n; false for a field that is not written.
bool ExportField(const TZetTable& t, uint16_t n, TDbfField& f) {
  if (!t.IsUserField(n) || !t.IsStored(n)) return false;
  const uint8_t shown = t.Shown(n);
  switch (t.FieldType(n)) {
    case Common::kTypeChar: f = Field('C', 1); break;
    case Common::kTypeString: f = Field('C', t.SizeCode(n)); break;
    case Common::kTypeInteger:
    case Common::kTypeByte: f = Field('N', shown); break;
    case Common::kTypeReal: {
      const uint8_t width = shown >> 4;
      f = Field('N', width != 0 ? width : kRealWidthWithoutDisplay, shown & kNibble);
      break;
    }
    case Common::kTypeBool: f = Field('L', kLogicalLength); break;
    case Common::kTypeDate: f = Field('D', kDateLength); break;
    case Common::kTypeMemo: f = Field('M', kMemoFieldLength); break;
    case Common::kTypeChoice: {
      size_t longest = 0;
      for (uint32_t k = 1; k <= (shown & kNibble); ++k)
        longest = std::max(longest, ZetTable::GetChoiceText(t, n, k).size());
      f = Field('C', uint8_t(longest));
      break;
    }
    case Common::kTypeAutoNumber:
    case Common::kTypeLink: f = Field('N', kNumberLength); break;
    case Common::kTypeBlob:
      f = Field('C', t.SizeCode(n) == kPictureSizeCode ? kPictureLength : t.SizeCode(n));
      break;
    case Common::kTypeTime: f = Field('C', kTimeLength); break;
    default: return false;
  }
  return true;
}

// DBF names: leading name characters, umlauts spelled out, upper case, at
// most 10 characters; a name taken already gets the smallest number at its
// end that makes it new.
ShortStr UniqueName(std::string_view fieldName, std::set<std::string>& taken) {
  ShortStr name;
  Common::MakeName(fieldName, name);
  UPPERCAS::ExpandUmlauts(name);
  UPPERCAS::UpperStr(name);
  std::string candidate(name.view());
  for (uint32_t k = 1; candidate.empty() || taken.count(candidate); ++k) {
    const std::string suffix = std::to_string(k);
    candidate = std::string(name.view().substr(0, kMaxFieldName - suffix.size())) + suffix;
  }
  taken.insert(candidate);
  return ShortStr(candidate);
}

// Puts text into the field, left-aligned or right-aligned and filled with
// blanks; a text wider than the field fills it with asterisks.
void PutText(uint8_t* record, const TDbfField& f, std::string_view text, bool rightAligned) {
  uint8_t* p = record + f.offset;
  if (text.size() > f.length) {
    std::memset(p, kOverflow, f.length);
    return;
  }
  std::memset(p, ' ', f.length);
  std::memcpy(p + (rightAligned ? f.length - text.size() : 0), text.data(), text.size());
}

void ToOem(std::string& text) { platform::AnsiToOemBuffer(text.data(), text.size()); }

// The text of the memo at block, breaks as CR LF (line ends) and blanks
// (wrapped lines). Answers 0 or the error reported.
int MemoText(WINMEMOS::TMemoFile& memos, uint32_t block, std::string& text) {
  text.clear();
  const int32_t length = WINMEMOS::InitGetMemo(memos, block);
  if (length < 0) {
    WINMEMOS::DoneGetMemo();
    return ReportedError(Common::kErrRead, memos.file.name);
  }
  text.resize(size_t(length));
  const int32_t got = length > 0 ? WINMEMOS::GetMemoBlock(length, text.data()) : 0;
  WINMEMOS::DoneGetMemo();
  text.resize(size_t(std::max(got, 0)));
  return 0;
}

class TExport {
 public:
  // memos: the memo file of the table's files (those of the table an alias
  // aliases).
  TExport(TZetTable& table, WINMEMOS::TMemoFile& memos, TDbfWriter& writer, const std::vector<uint16_t>& numbers)
      : t_(table),
        memos_(memos),
        writer_(writer),
        numbers_(numbers),
        oem_(table.version < Common::kFirstVersionWithDoubles) {}

  // Builds the DBF record of a table record and writes it with its memos.
  int Write(const uint8_t* record) {
    for (size_t i = 0; i < numbers_.size(); ++i) {
      if (int rc = PutField(record, numbers_[i], writer_.Fields()[i]); rc != 0) return rc;
    }
    return writer_.AppendRecord();
  }

 private:
  int PutField(const uint8_t* record, uint16_t n, const TDbfField& f) {
    uint8_t* out = writer_.Record();
    const Common::FieldPlace place = t_.Place(n);
    Common::FieldValue value;
    Common::GetFieldAsNumber(record, place, t_.version, value);
    if (Common::LastValueIsNull) return 0;  // the field stays blank
    switch (place.type()) {
      case Common::kTypeInteger:
      case Common::kTypeByte:
      case Common::kTypeAutoNumber:
      case Common::kTypeLink:
        PutText(out, f, ZetTable::FieldText(t_, n, record), true);
        break;
      case Common::kTypeReal:
        if (!std::isfinite(value.number))
          PutText(out, f, std::string(f.length + 1, kOverflow), true);
        else
          PutText(out, f, Common::FormatReal(f.length, f.decimals, 0, '.', ' ', value.number), true);
        break;
      case Common::kTypeBool: PutText(out, f, value.number != 0 ? "T" : "F", false); break;
      case Common::kTypeDate: PutText(out, f, DateText(record, place), false); break;
      case Common::kTypeMemo: return PutMemo(out, f, value.block);
      default: {
        std::string text(ZetTable::FieldText(t_, n, record).view());
        std::replace(text.begin(), text.end(), '\0', ' ');
        if (oem_) ToOem(text);
        PutText(out, f, text, false);
      }
    }
    return 0;
  }

  // yyyymmdd of the packed date; blanks for no date.
  std::string DateText(const uint8_t* record, const Common::FieldPlace& place) {
    uint8_t raw[sizeof(int32_t)];
    bool isNull = false;
    Common::GetFieldValue(record, place, t_.version, raw, isNull);
    const int32_t packed = bytes::GetI32(raw);
    if (packed == 0) return {};
    const DATUM::Date d = DATUM::UnpackDate(packed);
    if (d.year < 0 || d.year > 9999) return std::string(kDateLength + 1, kOverflow);
    char text[kDateLength + 1];
    std::snprintf(text, sizeof text, "%04d%02d%02d", int(d.year), int(d.month), int(d.day));
    return text;
  }

  int PutMemo(uint8_t* out, const TDbfField& f, uint32_t block) {
    if (block == 0) return 0;
    std::string text;
    if (int rc = MemoText(memos_, block, text); rc != 0) return rc;
    if (text.empty()) return 0;
    if (oem_) ToOem(text);
    uint32_t first = 0;
    if (int rc = writer_.WriteMemo(text, first); rc != 0) return rc;
    PutText(out, f, std::to_string(first), true);
    return 0;
  }

  TZetTable& t_;
  WINMEMOS::TMemoFile& memos_;
  TDbfWriter& writer_;
  const std::vector<uint16_t>& numbers_;
  const bool oem_;
};

// Writes the records of the open table in slot.
int ExportTable(int slot, std::string_view dbfName, TProgressProc progress, uint16_t fieldCount) {
  TZetTable& t = *ZetTable::Table(slot);
  const uint16_t last = fieldCount == 0 ? t.fieldCount : std::min(fieldCount, t.fieldCount);
  std::vector<uint16_t> numbers;
  std::vector<TDbfField> fields;
  std::set<std::string> taken;
  for (uint16_t n = 1; n <= last; ++n) {
    TDbfField f;
    if (!ExportField(t, n, f)) continue;
    f.name = UniqueName(t.StoredName(n), taken);
    fields.push_back(f);
    numbers.push_back(n);
  }
  TDbfWriter writer;
  if (int rc = CheckDbfName(dbfName); rc != 0) return rc;
  if (int rc = writer.Create(ReplaceExtension(dbfName, ".DBF"), std::move(fields)); rc != 0) return rc;
  TExport output(t, ZetTable::FileOwner(slot)->memoFile, writer, numbers);
  const uint32_t count = uint32_t(std::max(t.recordCount, 0));
  std::vector<uint8_t> record(t.recordLength);
  int rc = 0;
  for (uint32_t r = 1; r <= count && rc == 0; ++r) {
    if (Zet01::ReadRecordInto(slot, r, record.data(), nullptr, 0, ZetTable::kOrderRecords) != 0) {
      Common::SetFileError(Common::kErrRead, Common::AppendStrCopy(t.directory, t.fileName));
      rc = Common::kErrRead;
    }
    if (rc == 0) rc = output.Write(record.data());
    if (rc == 0 && progress && ProgressDue(r, count) && progress(int32_t(r), int32_t(count)) == kProgressStop)
      rc = Cancelled();
  }
  const int finished = writer.Finish();
  return rc != 0 ? rc : finished;
}

// ---------------------------------------------------------------------------
// DBF to table

// What a DBF field becomes in the table.
struct TFieldKind {
  uint8_t type, size, shown;
};

// A type the table has no field for (a damaged header, or a type of another
// program's dialect) gives this type, which no field has.
constexpr uint8_t kNoFieldType = 0xFF;

TFieldKind ImportKind(const TDbfField& f) {
  switch (f.type) {
    case 'C':
      if (f.length == 1) return {Common::kTypeChar, kSizeChar, kShownChar};
      return {Common::kTypeString, f.length, std::min(f.length, kMaxShownText)};
    case 'D': return {Common::kTypeDate, kSizeDate, kShownDate};
    case 'N':
    case 'F':
      if (f.decimals == 0 && f.length <= kMaxIntegerDigits) return {Common::kTypeInteger, kSizeInteger, f.length};
      return {Common::kTypeReal, kSizeReal,
              uint8_t(std::min(f.length, kNibble) << 4 | std::min(f.decimals, kNibble))};
    case 'L': return {Common::kTypeBool, kSizeBool, kShownBool};
    case 'M': return {Common::kTypeMemo, kSizeMemo16, kShownMemo};
    default: return {kNoFieldType, 0, 0};
  }
}

// A table field for each DBF field: descriptors into t, its record length
// set. Answers 0 or 117 (reported) for more fields or a longer record than
// a table holds.
int DescribeTable(const std::vector<TDbfField>& fields, TZetTable& t, std::string_view dbfName) {
  if (fields.size() > ZetTable::kMaxFieldCount) {
    Common::SetFileError(kErrBadStructure, dbfName);
    return kErrBadStructure;
  }
  t.version = kImportVersion;
  t.SetFieldCount(uint16_t(fields.size()));
  uint8_t column = kFirstColumn, row = 0;
  for (size_t i = 0; i < fields.size(); ++i) {
    const TDbfField& f = fields[i];
    const TFieldKind kind = ImportKind(f);
    if (kind.type == kNoFieldType) {
      Common::SetFileError(kErrBadStructure, dbfName);
      return kErrBadStructure;
    }
    uint8_t* d = t.Descriptor(uint16_t(i + 1));
    std::memset(d, 0, ZetTable::kDescriptorSize);
    d[ZetTable::kDescLayoutColumn] =
        uint8_t(column + kRowBit2Weight * ((row >> 2) & 1) + kRowLowBitsWeight * (row & 3));
    ShortStr name(f.name);
    name.append(kNameEnd);
    name.truncate(ZetTable::kMaxFieldName);
    d[ZetTable::kDescName] = uint8_t(name.size());
    std::memcpy(d + ZetTable::kDescName + 1, name.data(), name.size());
    d[ZetTable::kDescSizeCode] = kind.size;
    d[ZetTable::kDescShown] = kind.shown;
    d[ZetTable::kDescType] = kind.type;
    const bool wideText = kind.type == Common::kTypeString && f.length > kColumnWidth;
    column = uint8_t(column + 1 + (wideText ? f.length / kColumnWidth : 0));
    if (column > kLastColumn) {
      column = kFirstColumn;
      row = std::min<uint8_t>(row + 1, kLastRow);
    }
  }
  const uint32_t length = t.ComputeLayout();
  if (length > kMaxTableRecord) {
    Common::SetFileError(kErrBadStructure, dbfName);
    return kErrBadStructure;
  }
  t.recordLength = uint16_t(length);
  return 0;
}

// The number of a DBF number text: blanks dropped, empty as 0, anything
// else that is no number as 0.
double NumberOf(std::string_view text) {
  std::string digits;
  for (char c : text)
    if (c != ' ') digits += c;
  double value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size() || !std::isfinite(value)) return 0;
  return value;
}

// The packed date of yyyymmdd; 0 for blanks and for what is no date.
int32_t DateOf(std::string_view text) {
  int32_t parts[3] = {};
  const size_t widths[3] = {4, 2, 2};
  size_t at = 0;
  for (int k = 0; k < 3; ++k) {
    for (size_t i = 0; i < widths[k]; ++i, ++at) {
      if (at >= text.size() || text[at] < '0' || text[at] > '9') return 0;
      parts[k] = parts[k] * 10 + (text[at] - '0');
    }
  }
  const int32_t packed = DATUM::PackDate(parts[0], parts[1], parts[2]);
  // Only a calendar date survives the way through its day number.
  return DATUM::DayNumberToPacked(DATUM::PackedToDayNumber(packed)) == packed ? packed : 0;
}

// The converter from the file's code page to Windows-1252; null when the
// texts need none.
using TTextConversion = void (*)(char* buffer, size_t count);
TTextConversion ConversionOf(uint8_t codePage) {
  switch (codePage) {
    case kCodePage437: return platform::Oem437ToAnsiBuffer;
    case kCodePage850: return platform::OemToAnsiBuffer;
    default: return nullptr;
  }
}

// A logical value: 1 yes, 0 no, -1 none ("?", blank, anything else).
int LogicalOf(char c) {
  switch (UPPERCAS::UpCaseChar(c)) {
    case 'T':
    case 'Y': return 1;
    case 'F':
    case 'N': return 0;
    default: return -1;
  }
}

class TImport {
 public:
  TImport(int slot, TDbfReader& reader, TDbfImportReport& report)
      : slot_(slot), reader_(reader), report_(report), convert_(ConversionOf(reader.CodePage())) {}

  // Converts the record read last into the table's record buffer and
  // appends it.
  int Append() {
    TZetTable& t = *ZetTable::Table(slot_);
    ZetTable::ClearRecordBuffer(slot_);
    uint8_t* record = t.recordBuffer.data();
    for (size_t i = 0; i < reader_.Fields().size(); ++i) {
      const uint16_t n = uint16_t(i + 1);
      const std::string_view text = reader_.FieldBytes(i);
      uint8_t raw[sizeof(double)] = {};
      uint8_t* value = raw;
      bool isNull = false;
      switch (t.FieldType(n)) {
        case Common::kTypeChar:
          raw[0] = uint8_t(text[0]);
          Convert(raw, 1);
          break;
        case Common::kTypeString: {
          const size_t length = text.find_last_not_of(' ') + 1;  // npos + 1 = 0
          text_.assign(size_t(t.SizeCode(n)) + 1, 0);
          text_[0] = uint8_t(length);
          std::memcpy(text_.data() + 1, text.data(), length);
          Convert(text_.data() + 1, length);
          value = text_.data();
          break;
        }
        case Common::kTypeInteger: bytes::PutI16(raw, int16_t(Common::RealToLongInt(NumberOf(text)))); break;
        case Common::kTypeReal: bytes::PutF64(raw, NumberOf(text)); break;
        case Common::kTypeBool: {
          // No value is null where the field takes null; the value bytes
          // stay no either way.
          const int logical = LogicalOf(text[0]);
          raw[0] = logical == 1 ? 1 : 0;
          isNull = logical < 0;
          break;
        }
        case Common::kTypeDate: bytes::PutI32(raw, DateOf(text)); break;
        case Common::kTypeMemo: {
          uint32_t block = 0;
          if (int rc = PutMemo(t, text, block); rc != 0) return rc;
          bytes::PutU16(raw, uint16_t(block));
          break;
        }
      }
      Common::PutFieldValue(record, t.Place(n), t.version, value, isNull);
    }
    const int rc = Zet01::AppendRecord(slot_, false, 0);
    if (rc == 0) ++report_.recordsCopied;
    return rc;
  }

 private:
  // Writes the memo a memo field names into the table's memo file: LF
  // dropped, CR ending a line, a line longer than 78 characters cut at its
  // last blank within them, each line a piece of its own.
  int PutMemo(TZetTable& t, std::string_view fieldText, uint32_t& block) {
    block = 0;
    bool isText = true;
    if (int rc = reader_.ReadMemo(fieldText, memo_, isText); rc != 0) return rc;
    if (!isText) ++report_.memosNotText;
    if (memo_.empty()) return 0;
    Convert(memo_.data(), memo_.size());
    if (WINMEMOS::InitPutMemo(t.memoFile, kMemoLineLength) != 0)
      return ReportedError(Common::kErrWrite, t.memoFile.file.name);
    WINMEMOS::PutMemoBlock(int32_t(memo_.size()), memo_.data());
    block = WINMEMOS::DonePutMemo(t.memoFile, 0);
    if (WINMEMOS::Status() != 0) return ReportedError(Common::kErrWrite, t.memoFile.file.name);
    return 0;
  }

  void Convert(void* text, size_t count) const {
    if (convert_) convert_(static_cast<char*>(text), count);
  }

  int slot_;
  TDbfReader& reader_;
  TDbfImportReport& report_;
  TTextConversion convert_;
  std::vector<uint8_t> text_;  // an S field's value: length byte, characters
  std::string memo_;
};

void CloseSlot(int slot) {
  Zet01::CloseTable(slot);
  if (ZetTable::OpenCount() == slot) ZetTable::SetOpenCount(slot - 1);
}

}  // namespace

int TableToDbf(std::string_view fileName, std::string_view dbfName, TProgressProc progress, uint16_t fieldCount) {
  Common::ResetLastError();
  const std::string path = Common::ExpandName(fileName);
  if (const int open = ZetTable::FindOpenTable(path); open != 0)
    return ExportTable(open, dbfName, progress, fieldCount);
  const int slot = ZetTable::OpenCount() + 1;
  if (Zet01::OpenTable(slot, 0, path, 0, 0, "") != 0) return Common::kErrWrite;
  const int rc = ExportTable(slot, dbfName, progress, fieldCount);
  CloseSlot(slot);
  return rc;
}

int DbfToTable(std::string_view dbfName, std::string_view tableName, TProgressProc progress, uint8_t /*option*/,
               TDbfImportReport* report) {
  Common::ResetLastError();
  TDbfImportReport counts;
  TDbfImportReport& result = report ? *report : counts;
  result = TDbfImportReport();
  // Creating the file under an open table would leave that table's slot and
  // record cache describing a file that is no longer there.
  if (Zet01::OpenSlotOfFile(tableName) != 0) {
    Common::SetFileError(Zet01::kErrAlreadyOpen, Common::ExpandName(tableName));
    return Zet01::kErrAlreadyOpen;
  }
  if (int rc = CheckDbfName(dbfName); rc != 0) return rc;
  TDbfReader reader;
  const ShortStr dbf = ReplaceExtension(dbfName, ".DBF");
  if (int rc = reader.Open(dbf); rc != 0) return rc;
  TZetTable t;
  if (int rc = DescribeTable(reader.Fields(), t, dbf); rc != 0) return rc;
  if (int rc = Zet06::CreateTable(t, tableName, Common::ScrambleString(""), false, 0, 0); rc != 0) return rc;
  const int slot = ZetTable::OpenCount() + 1;
  if (int rc = Zet01::OpenTable(slot, ZetTable::kRightsMask, tableName, 0, 0, ""); rc != 0) return rc;
  TImport input(slot, reader, result);
  const uint32_t count = reader.RecordCount();
  int rc = 0;
  for (uint32_t r = 1; r <= count && rc == 0; ++r) {
    rc = reader.ReadRecord(r);
    if (rc == 0 && reader.RecordDeleted())
      ++result.deletedSkipped;
    else if (rc == 0)
      rc = input.Append();
    if (rc == 0 && progress && ProgressDue(r, count) && progress(int32_t(r), int32_t(count)) == kProgressStop)
      rc = Cancelled();
  }
  const int flushed = Zet01::FlushTable(slot, true);
  CloseSlot(slot);
  return rc != 0 ? rc : flushed;
}

}  // namespace DbfUtil
