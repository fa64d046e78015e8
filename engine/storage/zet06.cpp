#include "engine/storage/zet06.h"

#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/uppercas.h"
#include "engine/storage/zet00.h"

namespace Zet06 {
namespace {

using ZetTable::TZetTable;

// Largest block one low-level write moves.
constexpr size_t kWriteChunk = 32768;

class THeaderWriter {
 public:
  explicit THeaderWriter(const TZetTable& table) : t_(table), v1_(Zet00::IsVersion1(table.version)) {}

  std::vector<uint8_t> Run();

 private:
  uint8_t* Grow(size_t n) {
    out_.resize(out_.size() + n, 0);
    return out_.data() + out_.size() - n;
  }
  // A text as a length byte and at most size - 1 characters in size bytes.
  void PutText(std::string_view text, size_t size) {
    ShortStr s;
    s.assign(text, size - 1);
    if (v1_) UPPERCAS::AnsiToOemStr(s);
    uint8_t* p = Grow(size);
    p[0] = uint8_t(s.size());
    std::memcpy(p + 1, s.data(), s.size());
  }
  void PutDescriptors();
  void PutChoiceLists();
  void PutFormulas();
  void PutFieldSpecs();
  bool HasAutoNumberField() const;

  const TZetTable& t_;
  const bool v1_;
  std::vector<uint8_t> out_;
};

std::vector<uint8_t> THeaderWriter::Run() {
  if (!v1_) {
    bytes::PutU32(Grow(4), Zet00::kTableMagic);
    bytes::PutU16(Grow(2), t_.version);
  }
  bytes::PutI32(Grow(4), t_.recordCount);
  bytes::PutU16(Grow(2), t_.recordLength);
  bytes::PutU16(Grow(2), t_.fieldCount);
  const std::vector<uint8_t> dir = Zet00::BuildIndexDirectory(t_);
  std::memcpy(Grow(dir.size()), dir.data(), dir.size());
  PutDescriptors();
  // The code's characters are stored as the object holds them (scrambled).
  uint8_t* code = Grow(Zet00::kTableCodeSize);
  code[0] = uint8_t(std::min(t_.tableCode.size(), ZetTable::kMaxTableCode));
  std::memcpy(code + 1, t_.tableCode.data(), code[0]);
  PutChoiceLists();
  PutFormulas();
  PutFieldSpecs();
  if (HasAutoNumberField()) {
    std::memcpy(Grow(t_.idKeyDescription.size()), t_.idKeyDescription.data(), t_.idKeyDescription.size());
    bytes::PutU32(Grow(Zet00::kAutoNumberSize), t_.nextAutoNumber);
  }
  return std::move(out_);
}

void THeaderWriter::PutDescriptors() {
  uint8_t* p = Grow(t_.descriptors.size());
  std::memcpy(p, t_.descriptors.data(), t_.descriptors.size());
  if (!v1_) return;
  for (uint16_t n = 1; n <= t_.fieldCount; ++n) {
    uint8_t* name = p + size_t(n - 1) * ZetTable::kDescriptorSize + ZetTable::kDescName;
    ShortStr text(t_.StoredName(n));
    UPPERCAS::AnsiToOemStr(text);
    std::memcpy(name + 1, text.data(), text.size());
  }
}

void THeaderWriter::PutChoiceLists() {
  for (uint16_t n = 1; n <= t_.fieldCount; ++n) {
    if (t_.FieldType(n) != Common::kTypeChoice) continue;
    const ZetTable::TChoiceList* list = nullptr;
    for (const auto& l : t_.choiceLists)
      if (l.field == n) list = &l;
    // Byte 44 says how many entries the reader takes; missing ones are empty.
    const size_t count = t_.Shown(n) & ZetTable::kShownNibble;
    for (size_t i = 0; i < count; ++i)
      PutText(list && i < list->entries.size() ? list->entries[i].view() : std::string_view(),
              Zet00::kChoiceEntrySize);
  }
}

void THeaderWriter::PutFormulas() {
  for (uint16_t n = 1; n <= t_.fieldCount; ++n) {
    if (!(t_.TypeByte(n) & ZetTable::kTypeHasFormula)) continue;
    std::string_view text;
    for (const auto& f : t_.formulas)
      if (f.field == n) text = f.text.view();
    PutText(text, Zet00::kFormulaSize);
  }
}

void THeaderWriter::PutFieldSpecs() {
  for (uint16_t n = 1; n <= t_.fieldCount; ++n) {
    if (!(t_.TypeByte(n) & ZetTable::kTypeHasRange)) continue;
    ZetTable::TFieldSpec fieldSpec;
    for (const auto& s : t_.fieldSpecs)
      if (s.field == n) fieldSpec = s;
    if (v1_) {
      uint8_t* p = Grow(Zet00::kRangeSizeV1);
      Common::DoubleToReal6(fieldSpec.lower, p);
      Common::DoubleToReal6(fieldSpec.upper, p + Common::kReal6Size);
    } else {
      uint8_t* p = Grow(Zet00::kRangeSizeV2);
      bytes::PutF64(p, fieldSpec.lower);
      bytes::PutF64(p + sizeof(double), fieldSpec.upper);
    }
  }
}

// The reader takes the ID key section when any field is of type N; so does
// the writer.
bool THeaderWriter::HasAutoNumberField() const {
  for (uint16_t n = 1; n <= t_.fieldCount; ++n)
    if (t_.FieldType(n) == Common::kTypeAutoNumber) return true;
  return false;
}

}  // namespace

std::vector<uint8_t> BuildTableHeader(const TZetTable& table) { return THeaderWriter(table).Run(); }

int WriteTableHeader(TZetTable& table) {
  const ShortStr path = Common::AppendStrCopy(table.directory, table.fileName);
  const std::vector<uint8_t> header = BuildTableHeader(table);
  for (size_t done = 0; done < header.size();) {
    const size_t n = std::min(header.size() - done, kWriteChunk);
    if (LOWFILES::WriteBlock(*table.tableFile, done, uint16_t(n), 0, header.data() + done) != 0) {
      Common::SetFileError(Common::kErrWrite, path);
      return Common::kErrWrite;
    }
    done += n;
  }
  table.headerSize = uint32_t(header.size());
  return Zet00::WriteIndexCompanion(table);
}

}  // namespace Zet06
