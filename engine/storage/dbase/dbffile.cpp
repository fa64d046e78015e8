#include "engine/storage/dbase/dbffile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/base/bytes.h"
#include "engine/base/common.h"

namespace DbfUtil {

namespace {

// Memo texts are read in pieces of this size.
constexpr size_t kMemoReadChunk = 4096;
// Memos are written in pieces of whole blocks below the 16-bit block count of
// the file layer.
constexpr size_t kMemoWriteChunk = 64 * kDbtBlockSize;
constexpr uint32_t kMaxRecordSize = std::numeric_limits<uint16_t>::max();
constexpr size_t kMaxBlockDigits = 10;

uint32_t GetU32BigEndian(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
uint16_t GetU16BigEndian(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

bool KnownVersion(uint8_t version) {
  return version == kVersionDbase3 || version == kVersionDbase3Memo || version == kVersionDbase4Memo ||
         version == kVersionFoxPro;
}

// The 11 name bytes of a descriptor up to the first zero byte. Writers
// that reuse a descriptor leave the end of a longer old name behind it.
ShortStr DescriptorName(const uint8_t* d) {
  ShortStr name;
  for (size_t i = 0; i < kDescNameSize && d[kDescName + i] != 0; ++i) name += char(d[kDescName + i]);
  return name;
}

bool HasMemoField(const std::vector<TDbfField>& fields) {
  return std::any_of(fields.begin(), fields.end(), [](const TDbfField& f) { return f.type == 'M'; });
}

// The block number of a memo field: blanks around digits. Answers false for
// anything else; blanks alone give block 0.
bool ParseMemoBlock(std::string_view text, uint32_t& block) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    block = 0;
    return true;
  }
  size_t last = text.find_last_not_of(' ');
  std::string_view digits = text.substr(first, last - first + 1);
  if (digits.size() > kMaxBlockDigits) return false;
  uint64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + uint64_t(c - '0');
  }
  if (value > std::numeric_limits<uint32_t>::max()) return false;
  block = uint32_t(value);
  return true;
}

}  // namespace

int CheckDbfName(std::string_view name) {
  // ".DBF", ".DBT", ".FPT", put in place of the extension or added.
  constexpr size_t kExtensionLength = 4;
  return Common::PathFits(std::string(name) + std::string(kExtensionLength, '.')) ? 0 : Common::RefuseLongPath(name);
}

ShortStr ReplaceExtension(std::string_view name, std::string_view extension) {
  Common::FileNameParts parts = Common::SplitFileName(name);
  return Common::MakeFileName(parts.directory, parts.name, extension);
}

// ---------------------------------------------------------------------------
// Reading

int TDbfReader::Fail(uint16_t error, const LOWFILES::TLowFile& file) {
  Common::SetFileError(error, file.name);
  return error;
}

int TDbfReader::Open(std::string_view dbfName) {
  Close();
  if (LOWFILES::OpenLowFile(dbf_, dbfName, LOWFILES::kModeReadShared) != 0) {
    Common::SetFileError(Common::kErrRead, dbfName);
    return Common::kErrRead;
  }
  dbfSize_ = LOWFILES::LowFileSize(dbf_);
  int rc = ReadHeader();
  if (rc == 0 && HasMemoField(fields_)) rc = OpenMemoFile(dbfName);
  if (rc != 0) Close();
  return rc;
}

void TDbfReader::Close() {
  LOWFILES::CloseLowFile(dbf_, false);
  LOWFILES::CloseLowFile(memo_, false);
  fields_.clear();
  record_.clear();
  version_ = 0;
  codePage_ = 0;
  recordCount_ = 0;
  headerSize_ = recordSize_ = 0;
  dbfSize_ = memoSize_ = 0;
}

int TDbfReader::ReadHeader() {
  uint8_t header[kHeaderSize];
  const size_t got = size_t(std::min<uint64_t>(dbfSize_, kHeaderSize));
  if (got == 0) return Fail(kErrBadStructure, dbf_);
  if (LOWFILES::ReadBlock(dbf_, 0, uint16_t(got), 0, header) != 0) return Fail(Common::kErrRead, dbf_);
  version_ = header[kHdrVersion];
  codePage_ = header[kHdrCodePage];
  if (!KnownVersion(version_)) return Fail(kErrUnknownVersion, dbf_);
  if (got < kHeaderSize) return Fail(kErrBadStructure, dbf_);
  recordCount_ = bytes::GetU32(header + kHdrRecordCount);
  headerSize_ = bytes::GetU16(header + kHdrHeaderSize);
  recordSize_ = bytes::GetU16(header + kHdrRecordSize);
  if (headerSize_ < kHeaderSize + kDescriptorSize || headerSize_ > dbfSize_) return Fail(kErrBadStructure, dbf_);

  // The descriptors fill the header up to its 0x0D; what follows it (FoxPro
  // keeps a backlink area there) is not read.
  const size_t slots = (headerSize_ - kHeaderSize) / kDescriptorSize;
  std::vector<uint8_t> area(slots * kDescriptorSize);
  if (LOWFILES::ReadBlock(dbf_, kHeaderSize, uint16_t(area.size()), 0, area.data()) != 0)
    return Fail(Common::kErrRead, dbf_);
  uint32_t offset = 1;
  for (size_t i = 0; i < slots; ++i) {
    const uint8_t* d = area.data() + i * kDescriptorSize;
    if (d[kDescName] == kEndOfDescriptors) break;
    TDbfField f;
    f.name = DescriptorName(d);
    f.type = char(d[kDescType]);
    f.length = d[kDescLength];
    f.decimals = d[kDescDecimals];
    f.offset = offset;
    if (f.length == 0) return Fail(kErrBadStructure, dbf_);
    offset += f.length;
    fields_.push_back(f);
  }
  if (fields_.empty() || offset > recordSize_) return Fail(kErrBadStructure, dbf_);
  if ((dbfSize_ - headerSize_) / recordSize_ < recordCount_) return Fail(kErrBadStructure, dbf_);
  record_.assign(recordSize_, kRecordKept);
  return 0;
}

int TDbfReader::OpenMemoFile(std::string_view dbfName) {
  const ShortStr dbt = ReplaceExtension(dbfName, ".DBT");
  if (LOWFILES::OpenLowFile(memo_, dbt, LOWFILES::kModeReadShared) == 0) {
    memoBlockSize_ = kDbtBlockSize;
    memoHeaders_ = version_ == kVersionDbase4Memo;
    memoBigEndian_ = false;
    memoSize_ = LOWFILES::LowFileSize(memo_);
    return 0;
  }
  const ShortStr fpt = ReplaceExtension(dbfName, ".FPT");
  if (LOWFILES::OpenLowFile(memo_, fpt, LOWFILES::kModeReadShared) != 0) {
    Common::SetFileError(kErrMemoOpen, dbt);
    return kErrMemoOpen;
  }
  memoSize_ = LOWFILES::LowFileSize(memo_);
  uint8_t header[kFptHeaderSize];
  if (memoSize_ < kFptHeaderSize) return Fail(kErrBadStructure, memo_);
  if (LOWFILES::ReadBlock(memo_, 0, kFptHeaderSize, 0, header) != 0) return Fail(Common::kErrRead, memo_);
  memoBlockSize_ = GetU16BigEndian(header + kFptBlockSizeAt);
  if (memoBlockSize_ == 0) memoBlockSize_ = kFptDefaultBlockSize;
  memoHeaders_ = true;
  memoBigEndian_ = true;
  return 0;
}

int TDbfReader::ReadRecord(uint32_t r) {
  if (r < 1 || r > recordCount_) return Fail(Common::kErrRead, dbf_);
  const uint64_t position = headerSize_ + uint64_t(r - 1) * recordSize_;
  if (LOWFILES::ReadBlock(dbf_, position, uint16_t(recordSize_), 0, record_.data()) != 0)
    return Fail(Common::kErrRead, dbf_);
  return 0;
}

std::string_view TDbfReader::FieldBytes(size_t i) const {
  const TDbfField& f = fields_.at(i);
  return std::string_view(reinterpret_cast<const char*>(record_.data()) + f.offset, f.length);
}

int TDbfReader::ReadMemo(std::string_view fieldBytes, std::string& text, bool& isText) {
  text.clear();
  isText = true;
  uint32_t block = 0;
  if (!ParseMemoBlock(fieldBytes, block)) return Fail(kErrBadStructure, dbf_);
  if (block == 0) return 0;
  uint64_t start = uint64_t(block) * memoBlockSize_;
  uint64_t end = memoSize_;
  if (memoHeaders_) {
    uint8_t header[kFptMemoHeader];
    static_assert(kFptMemoHeader == kDbase4MemoHeader && kFptMemoLength == kDbase4MemoLength);
    if (start + kFptMemoHeader > memoSize_) return Fail(Common::kErrRead, memo_);
    if (LOWFILES::ReadBlock(memo_, start, kFptMemoHeader, 0, header) != 0) return Fail(Common::kErrRead, memo_);
    // FPT: the kind, then the text length. dBase IV: the signature, then the
    // length of the memo with its header.
    uint64_t length = 0;
    if (memoBigEndian_) {
      if (GetU32BigEndian(header) != kFptKindText) {
        isText = false;
        return 0;
      }
      length = GetU32BigEndian(header + kFptMemoLength);
    } else {
      length = bytes::GetU32(header + kDbase4MemoLength);
      length = length > kDbase4MemoHeader ? length - kDbase4MemoHeader : 0;
    }
    start += kFptMemoHeader;
    end = std::min<uint64_t>(end, start + length);
  } else if (start >= memoSize_) {
    return Fail(Common::kErrRead, memo_);
  }
  uint8_t chunk[kMemoReadChunk];
  for (uint64_t at = start; at < end;) {
    const size_t n = size_t(std::min<uint64_t>(kMemoReadChunk, end - at));
    if (LOWFILES::ReadBlock(memo_, at, uint16_t(n), 0, chunk) != 0) return Fail(Common::kErrRead, memo_);
    for (size_t i = 0; i < n; ++i) {
      if (chunk[i] == kEndOfFile || chunk[i] == 0) return 0;
      text += char(chunk[i]);
    }
    at += n;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Writing

int TDbfWriter::WriteOrFail(LOWFILES::TLowFile& file, uint64_t position, const uint8_t* data,
                            size_t count) {
  if (LOWFILES::WriteBlock(file, position, uint16_t(count), 0, data) == 0) return 0;
  Common::SetFileError(Common::kErrWrite, file.name);
  return Common::kErrWrite;
}

int TDbfWriter::Create(std::string_view dbfName, std::vector<TDbfField> fields) {
  fields_ = std::move(fields);
  recordCount_ = 0;
  nextMemoBlock_ = 1;
  uint32_t offset = 1;
  for (TDbfField& f : fields_) {
    f.offset = offset;
    offset += f.length;
  }
  headerSize_ = uint32_t(kHeaderSize + kDescriptorSize * fields_.size() + 1);
  if (offset > kMaxRecordSize || headerSize_ > kMaxRecordSize) {
    Common::SetFileError(kErrBadStructure, dbfName);
    return kErrBadStructure;
  }
  hasMemo_ = HasMemoField(fields_);

  // The header, the descriptors, 0x0D, and the 0x1A that ends an empty file
  // (the first record overwrites it).
  std::vector<uint8_t> header(headerSize_ + 1, 0);
  header[kHdrVersion] = hasMemo_ ? kVersionDbase3Memo : kVersionDbase3;
  std::memcpy(&header[kHdrDate], kWrittenDate, sizeof kWrittenDate);
  bytes::PutU16(&header[kHdrHeaderSize], uint16_t(headerSize_));
  bytes::PutU16(&header[kHdrRecordSize], uint16_t(offset));
  for (size_t i = 0; i < fields_.size(); ++i) {
    const TDbfField& f = fields_[i];
    uint8_t* d = &header[kHeaderSize + i * kDescriptorSize];
    std::memcpy(d + kDescName, f.name.data(), std::min(f.name.size(), kMaxFieldName));
    d[kDescType] = uint8_t(f.type);
    bytes::PutU32(d + kDescOffset, f.offset - 1);
    d[kDescLength] = f.length;
    d[kDescDecimals] = f.decimals;
  }
  header[headerSize_ - 1] = kEndOfDescriptors;
  header[headerSize_] = kEndOfFile;

  if (LOWFILES::CreateLowFile(dbf_, dbfName, LOWFILES::kModeReadWriteShared) != 0) {
    Common::SetFileError(Common::kErrWrite, dbfName);
    return Common::kErrWrite;
  }
  if (int rc = WriteOrFail(dbf_, 0, header.data(), header.size()); rc != 0) return rc;
  if (hasMemo_) {
    const ShortStr dbt = ReplaceExtension(dbfName, ".DBT");
    if (LOWFILES::CreateLowFile(dbt_, dbt, LOWFILES::kModeReadWriteShared) != 0) {
      Common::SetFileError(Common::kErrWrite, dbt);
      return Common::kErrWrite;
    }
    uint8_t block0[kDbtBlockSize] = {};
    bytes::PutU32(block0, nextMemoBlock_);
    if (int rc = WriteOrFail(dbt_, 0, block0, sizeof block0); rc != 0) return rc;
  }
  record_.assign(offset, kRecordKept);
  return 0;
}

int TDbfWriter::AppendRecord() {
  const uint64_t position = headerSize_ + uint64_t(recordCount_) * record_.size();
  int rc = WriteOrFail(dbf_, position, record_.data(), record_.size());
  if (rc == 0) ++recordCount_;
  std::fill(record_.begin(), record_.end(), kRecordKept);
  return rc;
}

int TDbfWriter::WriteMemo(std::string_view text, uint32_t& block) {
  block = nextMemoBlock_;
  const size_t blocks = (text.size() + kDbtTerminators + kDbtBlockSize - 1) / kDbtBlockSize;
  std::vector<uint8_t> data(text.begin(), text.end());
  data.resize(blocks * kDbtBlockSize, kEndOfFile);
  const uint64_t start = uint64_t(nextMemoBlock_) * kDbtBlockSize;
  for (size_t at = 0; at < data.size(); at += kMemoWriteChunk) {
    if (int rc = WriteOrFail(dbt_, start + at, data.data() + at, std::min(kMemoWriteChunk, data.size() - at));
        rc != 0)
      return rc;
  }
  nextMemoBlock_ += uint32_t(blocks);
  return 0;
}

int TDbfWriter::Finish() {
  uint8_t count[4];
  bytes::PutU32(count, recordCount_);
  const uint8_t end = kEndOfFile;
  int rc = WriteOrFail(dbf_, kHdrRecordCount, count, sizeof count);
  if (rc == 0) rc = WriteOrFail(dbf_, headerSize_ + uint64_t(recordCount_) * record_.size(), &end, 1);
  if (rc == 0 && hasMemo_) {
    uint8_t next[4];
    bytes::PutU32(next, nextMemoBlock_);
    rc = WriteOrFail(dbt_, 0, next, sizeof next);
  }
  LOWFILES::CloseLowFile(dbf_, false);
  LOWFILES::CloseLowFile(dbt_, false);
  return rc;
}

}  // namespace DbfUtil
