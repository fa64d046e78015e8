#include "engine/storage/zet01.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/engassert.h"
#include "engine/base/uppercas.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_keys.h"

namespace Zet01 {
namespace {

using ZetTable::TZetTable;

// Layout column beyond which an S field's display width is cut.
constexpr int kLastLayoutColumn = 77;
// Largest block one low-level read moves.
constexpr size_t kReadChunk = 32768;

inline constexpr uint16_t kErrWrongCode = 38;  // "Falscher Code"

class TFileSource final : public THeaderSource {
 public:
  explicit TFileSource(TZetTable& table) : table_(table) {}
  uint64_t Size() override { return LOWFILES::LowFileSize(*table_.tableFile); }
  int16_t Read(uint64_t position, size_t count, uint8_t* buffer) override {
    for (size_t done = 0; done < count;) {
      const size_t n = std::min(count - done, kReadChunk);
      if (int16_t e = LOWFILES::ReadBlock(*table_.tableFile, position + done, uint16_t(n), 0, buffer + done))
        return e;
      done += n;
    }
    return 0;
  }
  bool ReadCompanion(uint8_t* buffer, size_t count) override {
    LOWFILES::TLowFile cin;
    if (LOWFILES::OpenLowFile(cin, Zet00::CompanionFileName(table_), LOWFILES::kModeReadShared) != 0)
      return false;
    const bool ok = LOWFILES::ReadBlock(cin, 0, uint16_t(count), 0, buffer) == 0;
    LOWFILES::CloseLowFile(cin, false);
    return ok;
  }
  // A table opened for reading keeps the repaired count in memory only.
  int16_t WriteRecordCount(uint64_t position, int32_t count) override {
    if (!table_.Writable()) return 0;
    uint8_t bytes[4];
    bytes::PutI32(bytes, count);
    return LOWFILES::WriteBlock(*table_.tableFile, position, sizeof bytes, 0, bytes);
  }

 private:
  TZetTable& table_;
};

class TByteSource final : public THeaderSource {
 public:
  TByteSource(const uint8_t* data, size_t size, const uint8_t* companion)
      : data_(data), size_(size), companion_(companion) {}
  uint64_t Size() override { return size_; }
  int16_t Read(uint64_t position, size_t count, uint8_t* buffer) override {
    if (position > size_ || count > size_ - position) return LOWFILES::kErrReadFailed;
    std::memcpy(buffer, data_ + position, count);
    return 0;
  }
  bool ReadCompanion(uint8_t* buffer, size_t count) override {
    if (!companion_) return false;
    std::memcpy(buffer, companion_, count);
    return true;
  }
  int16_t WriteRecordCount(uint64_t, int32_t) override { return 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  const uint8_t* companion_;
};

// Reads the sections in file order; pos is the running header size.
class THeaderReader {
 public:
  THeaderReader(TZetTable& table, THeaderSource& source)
      : t_(table), source_(source), size_(source.Size()) {}

  int Run();

 private:
  // Reads the next n bytes: 117 when the file ends before them, 2 when the
  // read fails.
  int Take(size_t n, uint8_t* out) {
    if (pos_ > size_ || n > size_ - pos_) return ZetTable::kErrBadStructure;
    if (source_.Read(pos_, n, out) != 0) return Common::kErrRead;
    pos_ += n;
    return 0;
  }
  bool V1() const { return Zet00::IsVersion1(t_.version); }
  int ReadDirectory();
  int ReadDescriptors();
  int CheckField(uint16_t n);
  int ReadChoiceLists();
  int ReadFormulas();
  int ReadFieldSpecs();
  int ReadIdKey();
  int RepairRecordCount(int32_t stored);

  TZetTable& t_;
  THeaderSource& source_;
  uint64_t size_;
  uint64_t pos_ = 0;
};

// Passes a failure of a step on to the caller.
#define ZET_TRY(expr)                 \
  do {                                \
    if (int rc_ = (expr)) return rc_; \
  } while (0)

// Whether a stored field's size code fits its type. The sizes are those the
// table creator gives; a nullable number carries one more byte.
bool SizeFits(uint8_t type, uint8_t size, uint8_t typeByte, uint16_t version) {
  const int flag = Common::HasNullFlag(typeByte) ? 1 : 0;
  switch (type) {
    case Common::kTypeChar:
    case Common::kTypeByte:
    case Common::kTypeBool:
    case Common::kTypeChoice: return size == 0 + flag;
    case Common::kTypeInteger:
    case Common::kTypeTime: return size == 1 + flag;
    case Common::kTypeDate:
    case Common::kTypeAutoNumber:
    case Common::kTypeLink: return size == 3 + flag;
    case Common::kTypeReal:
      return size == (Zet00::IsVersion1(version) ? ZetTable::kSizeReal6 : ZetTable::kSizeDouble) + flag;
    case Common::kTypeMemo: return size == ZetTable::kSizeMemo16 || size == ZetTable::kSizeMemo32;
    case Common::kTypeBlob: return size >= 3 && size <= ZetTable::kMaxBlobSizeCode;
    default: return true;  // S and R: any length
  }
}

// A key description the key routines can compare (Zet00::SoundDescription)
// whose field parts name fields of the table.
bool ValidKeyDescription(const uint8_t* kd, uint16_t fieldCount) {
  if (!Zet00::SoundDescription(kd)) return false;
  if (Zet00::IsExpressionKey(kd)) return true;
  for (size_t k = 0, n = Zet00::PartCount(kd); k < n; ++k) {
    const Zet00::TKeyPart part = Zet00::KeyPart(kd, k);
    if (!part.IsVariable() && (part.Number() < 1 || part.Number() > fieldCount)) return false;
  }
  return true;
}

ShortStr TextAt(const uint8_t* p) {
  return ShortStr(std::string_view(reinterpret_cast<const char*>(p + 1), p[0]));
}

int THeaderReader::Run() {
  uint8_t b[6];
  t_.version = 1;
  int32_t count;
  ZET_TRY(Take(4, b));
  if (bytes::GetU32(b) == Zet00::kTableMagic) {
    ZET_TRY(Take(6, b));
    t_.version = bytes::GetU16(b);
    if (V1()) return ZetTable::kErrBadStructure;  // a magic promises version 2 or later
    count = bytes::GetI32(b + 2);
  } else {
    count = bytes::GetI32(b);
  }
  ZET_TRY(Take(4, b));
  t_.recordLength = bytes::GetU16(b);
  const uint16_t fields = bytes::GetU16(b + 2) & uint16_t(~Zet00::kFieldCountIgnoredBit);
  if (fields < 1 || fields > ZetTable::kMaxFieldCount || t_.recordLength < 1 ||
      t_.recordLength > ZetTable::kMaxRecordLength)
    return ZetTable::kErrBadStructure;
  t_.fieldCount = fields;

  ZET_TRY(ReadDirectory());
  ZET_TRY(ReadDescriptors());
  ZET_TRY(ReadChoiceLists());
  ZET_TRY(ReadFormulas());
  ZET_TRY(ReadFieldSpecs());
  ZET_TRY(ReadIdKey());
  t_.headerSize = uint32_t(pos_);
  return RepairRecordCount(count);
}

int THeaderReader::ReadDirectory() {
  std::vector<uint8_t> dir(Zet00::DirectorySize(t_.version));
  ZET_TRY(Take(dir.size(), dir.data()));
  std::array<uint8_t, Zet00::kCompanionSize> cin{};
  const bool needsCompanion =
      V1() && (bytes::GetU16(dir.data()) & Zet00::kV1SlotCountMask) > Zet00::kV1DirectoryEntries;
  const bool haveCompanion = needsCompanion && source_.ReadCompanion(cin.data(), cin.size());
  return Zet00::ParseIndexDirectory(t_, dir.data(), haveCompanion ? cin.data() : nullptr);
}

int THeaderReader::ReadDescriptors() {
  t_.descriptors.assign(size_t(t_.fieldCount) * ZetTable::kDescriptorSize, 0);
  ZET_TRY(Take(t_.descriptors.size(), t_.descriptors.data()));
  uint8_t code[Zet00::kTableCodeSize];
  ZET_TRY(Take(sizeof code, code));
  if (code[0] > ZetTable::kMaxTableCode) return ZetTable::kErrBadStructure;
  t_.tableCode = TextAt(code);

  for (uint16_t n = 1; n <= t_.fieldCount; ++n) ZET_TRY(CheckField(n));
  if (t_.ComputeLayout() > t_.recordLength) return ZetTable::kErrBadStructure;
  return 0;
}

// Checks one descriptor and collects what the table learns from it.
int THeaderReader::CheckField(uint16_t n) {
  using namespace ZetTable;
  uint8_t* d = t_.Descriptor(n);
  const uint8_t nameLength = d[kDescName];
  if (nameLength > kMaxFieldName) return kErrBadStructure;
  if (V1()) {
    ShortStr name = TextAt(d + kDescName);
    UPPERCAS::OemToAnsiStr(name);
    std::memcpy(d + kDescName + 1, name.data(), nameLength);
  }
  uint8_t type = d[kDescType] & kTypeCodeMask;
  if (type >= kTypeCount) return kErrBadStructure;

  switch (type) {
    case Common::kTypeBlob:
      // A picture field longer than a block link is an old text field.
      if (d[kDescSizeCode] > kMaxBlobSizeCode) {
        d[kDescType] = uint8_t((d[kDescType] & ~kTypeCodeMask) | Common::kTypeString);
        type = Common::kTypeString;
      } else {
        t_.hasBlobFile = true;
      }
      break;
    case Common::kTypeMemo:
      if (nameLength == 0) break;
      t_.hasMemoFile = true;
      if (d[kDescSizeCode] == kSizeMemo32) {
        t_.memoLinks32 = true;
        t_.memoLinkSize = 4;
      }
      break;
    case Common::kTypeAutoNumber:
      t_.hasAutoNumber = true;
      t_.autoNumberField = n;
      break;
    default: break;
  }
  if (d[kDescShown] != 0 && !SizeFits(type, d[kDescSizeCode], d[kDescType], t_.version))
    return kErrBadStructure;

  // A text field as wide as its length whose label and field would run past
  // the last layout column is shown narrower. Only the display width changes:
  // it stays at least 1, so the field keeps its record bytes.
  if (type == Common::kTypeString && d[kDescShown] != 0 && d[kDescShown] == d[kDescSizeCode]) {
    const int room = kLastLayoutColumn - d[kDescLayoutColumn] - nameLength;
    if (d[kDescShown] > room) d[kDescShown] = uint8_t(std::max(room, 1));
  }
  return 0;
}

int THeaderReader::ReadChoiceLists() {
  for (uint16_t n = 1; n <= t_.fieldCount; ++n) {
    if (t_.FieldType(n) != Common::kTypeChoice) continue;
    ZetTable::TChoiceList list;
    list.field = n;
    const size_t count = t_.Shown(n) & ZetTable::kShownNibble;
    for (size_t i = 0; i < count; ++i) {
      uint8_t entry[Zet00::kChoiceEntrySize];
      ZET_TRY(Take(sizeof entry, entry));
      if (entry[0] > ZetTable::kMaxChoiceText) return ZetTable::kErrBadStructure;
      ShortStr text = TextAt(entry);
      if (V1()) UPPERCAS::OemToAnsiStr(text);
      list.entries.push_back(text);
    }
    t_.choiceLists.push_back(std::move(list));
  }
  return 0;
}

int THeaderReader::ReadFormulas() {
  for (uint16_t n = 1; n <= t_.fieldCount; ++n) {
    if (!(t_.TypeByte(n) & ZetTable::kTypeHasFormula)) continue;
    uint8_t text[Zet00::kFormulaSize];
    ZET_TRY(Take(sizeof text, text));
    ZetTable::TFormula formula;
    formula.field = n;
    formula.text = TextAt(text);
    if (V1()) UPPERCAS::OemToAnsiStr(formula.text);
    t_.formulas.push_back(std::move(formula));
  }
  return 0;
}

int THeaderReader::ReadFieldSpecs() {
  for (uint16_t n = 1; n <= t_.fieldCount; ++n) {
    if (!(t_.TypeByte(n) & ZetTable::kTypeHasRange)) continue;
    uint8_t range[Zet00::kRangeSizeV2];
    ZetTable::TFieldSpec fieldSpec;
    fieldSpec.field = n;
    if (V1()) {
      ZET_TRY(Take(Zet00::kRangeSizeV1, range));
      fieldSpec.lower = Common::Real6ToDouble(range);
      fieldSpec.upper = Common::Real6ToDouble(range + Common::kReal6Size);
    } else {
      ZET_TRY(Take(Zet00::kRangeSizeV2, range));
      fieldSpec.lower = bytes::GetF64(range);
      fieldSpec.upper = bytes::GetF64(range + sizeof(double));
    }
    t_.fieldSpecs.push_back(fieldSpec);
  }
  return 0;
}

int THeaderReader::ReadIdKey() {
  t_.nextAutoNumber = 0;
  if (!t_.hasAutoNumber) return 0;
  ZET_TRY(Take(t_.idKeyDescription.size(), t_.idKeyDescription.data()));
  if (!ValidKeyDescription(t_.idKeyDescription.data(), t_.fieldCount)) return ZetTable::kErrBadStructure;
  uint8_t next[Zet00::kAutoNumberSize];
  ZET_TRY(Take(sizeof next, next));
  t_.nextAutoNumber = bytes::GetU32(next);
  t_.indexesPending = t_.highestIndexSlot > 0;
  return 0;
}

// A file shorter than its count says keeps the whole records it has.
int THeaderReader::RepairRecordCount(int32_t stored) {
  t_.recordCount = stored;
  t_.countInFile = stored;
  t_.tailToCut = false;
  if (stored < 0) {
    t_.countUnknown = true;
    return 0;
  }
  // Bytes behind the last record (left by deletes whose cut a stop
  // prevented) are not records.
  const uint64_t whole = (size_ - pos_) / t_.recordLength;
  if (whole >= uint64_t(stored)) return 0;
  t_.recordCount = int32_t(whole);
  if (source_.WriteRecordCount(Zet00::RecordCountPosition(t_.version), t_.recordCount) != 0)
    return Common::kErrWrite;
  // A table opened for reading keeps the repaired count in memory only.
  if (t_.Writable()) t_.countInFile = t_.recordCount;
  return 0;
}

ShortStr TablePath(const TZetTable& table) { return Common::AppendStrCopy(table.directory, table.fileName); }

}  // namespace

int ReadTableHeader(TZetTable& table, THeaderSource& source) {
  const int rc = THeaderReader(table, source).Run();
  if (rc != 0) Common::SetFileError(uint16_t(rc), TablePath(table));
  return rc;
}

int ReadTableHeader(TZetTable& table) {
  ZET_ASSERT(table.tableFile, "Table file not open");
  TFileSource source(table);
  return ReadTableHeader(table, source);
}

int ReadTableHeaderFromBytes(TZetTable& table, const uint8_t* data, size_t size, const uint8_t* companion) {
  TByteSource source(data, size, companion);
  return ReadTableHeader(table, source);
}

int CheckTableCode(TZetTable& table, std::string_view code) {
  table.tableCode = Common::ScrambleString(table.tableCode);
  if (table.tableCode.view() == code) return 0;
  Common::SetFileError(kErrWrongCode, TablePath(table));
  return kErrWrongCode;
}

}  // namespace Zet01
