#include "engine/storage/winblobs.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"

namespace WinBlobs {

namespace {

constexpr uint16_t kErrIllegalFileName = 26;  // "Illegaler Dateiname"

int32_t g_status = 0;
uint32_t g_blockSize = kDefaultBlockSize;

int Finish(int rc) {
  g_status = rc;
  return rc;
}

int RequireOpen(TBlobFile& f) {
  if (f.open) return 0;
  Common::SetFileError(memofiles::kErrBlobOpen, f.file.name);
  return memofiles::kErrBlobOpen;
}

size_t FirstRoom(uint32_t blockSize) { return blockSize - kFirstDataAt; }
size_t Room(uint32_t blockSize) { return blockSize - kDataAt; }

// Blocks a blob of length bytes takes.
uint64_t BlocksFor(uint64_t length, uint32_t blockSize) {
  if (length <= FirstRoom(blockSize)) return 1;
  return 1 + (length - FirstRoom(blockSize) + Room(blockSize) - 1) / Room(blockSize);
}

// The file name of a file-link block, when the block is one.
bool FileLinkName(const uint8_t* block, uint32_t blockSize, std::string_view& name) {
  uint16_t kindWord = bytes::GetU16(block + kKindWordAt);
  uint16_t length = bytes::GetU16(block + kNameLengthAt);
  if ((kindWord & 1) == 0 || length > kMaxLinkName) return false;
  if (bytes::GetU32(block + kLengthAt) != uint32_t(length) + (kNameAt - kKindWordAt)) return false;
  if (kNameAt + length >= blockSize || block[kNameAt + length] != 0) return false;
  name = std::string_view(reinterpret_cast<const char*>(block + kNameAt), length);
  return true;
}

// Reads one blob: the first block, then the links until the length is
// covered, each link checked against the file and the blocks already read.
class BlobReader {
 public:
  // Answers 0 or the status reported. first = 0 is the empty blob.
  int Start(TBlobFile& f, uint32_t first) {
    f_ = &f;
    guard_ = memofiles::ChainGuard();
    blocks_.clear();
    length_ = remaining_ = 0;
    at_ = end_ = 0;
    if (first == 0) return 0;
    int rc = RequireOpen(f);
    if (rc == 0) rc = Enter(first);
    if (rc != 0) return rc;
    uint32_t length = bytes::GetU32(block_ + kLengthAt);
    // A length the file cannot hold belongs to no blob.
    if (BlocksFor(length, f.blockSize) > f.highest) return memofiles::ReportDamage(f, false);
    length_ = remaining_ = length;
    at_ = kFirstDataAt;
    return 0;
  }

  // Copies up to count bytes into out (skips them without out), never past the
  // blob's end. Answers 0 or the status reported.
  int Read(uint8_t* out, size_t count, size_t& got) {
    got = 0;
    while (got < count && remaining_ > 0) {
      if (at_ == end_) {
        int rc = Enter(memofiles::GetLink(*f_, block_));
        if (rc != 0) return rc;
        at_ = kDataAt;
      }
      size_t take = std::min({count - got, end_ - at_, size_t(remaining_)});
      if (out) std::memcpy(out + got, block_ + at_, take);
      at_ += take;
      got += take;
      remaining_ -= uint32_t(take);
    }
    return 0;
  }

  uint32_t Length() const { return length_; }
  uint32_t Remaining() const { return remaining_; }
  const uint8_t* FirstBlock() const { return first_; }
  const std::vector<uint32_t>& Blocks() const { return blocks_; }

 private:
  int Enter(uint32_t n) {
    int rc = guard_.Enter(*f_, n);
    if (rc == 0) rc = memofiles::ReadDataBlock(*f_, n, block_);
    if (rc != 0) return rc;
    if (blocks_.empty()) std::memcpy(first_, block_, f_->blockSize);
    blocks_.push_back(n);
    end_ = f_->blockSize;
    return 0;
  }

  TBlobFile* f_ = nullptr;
  memofiles::ChainGuard guard_;
  std::vector<uint32_t> blocks_;
  uint8_t block_[kMaxBlockSize] = {};
  uint8_t first_[kMaxBlockSize] = {};
  size_t at_ = 0;
  size_t end_ = 0;
  uint32_t length_ = 0;
  uint32_t remaining_ = 0;
};

// Reads a whole blob. Answers 0 or the status reported.
int ReadBlob(BlobReader& reader, TBlobFile& f, uint32_t first, std::vector<uint8_t>& data) {
  data.clear();
  int rc = reader.Start(f, first);
  if (rc != 0) return rc;
  // Grown piece by piece: a damaged file may claim more than it holds.
  while (rc == 0 && reader.Remaining() > 0) {
    size_t at = data.size();
    size_t got = 0;
    data.resize(at + std::min<size_t>(kCopyPiece, reader.Remaining()));
    rc = reader.Read(data.data() + at, data.size() - at, got);
    data.resize(at + got);
  }
  return rc;
}

// Writes data as a new blob; first stays 0 for no data. Answers 0 or the
// status reported.
int WriteBlob(TBlobFile& f, const std::vector<uint8_t>& data, uint32_t& first) {
  first = 0;
  if (data.empty()) return 0;
  if (int rc = RequireOpen(f); rc != 0) return rc;
  if (f.damaged || f.blockSize == 0) return memofiles::ReportDamage(f, false);
  const uint32_t size = f.blockSize;
  return memofiles::WriteChain(
      f, BlocksFor(data.size(), size),
      [&](size_t i, uint8_t* block) {
        size_t from = i == 0 ? 0 : FirstRoom(size) + (i - 1) * Room(size);
        size_t at = i == 0 ? kFirstDataAt : kDataAt;
        if (i == 0) bytes::PutU32(block + kLengthAt, uint32_t(data.size()));
        std::memcpy(block + at, data.data() + from, std::min(size - at, data.size() - from));
      },
      first);
}

// The transfers. The file pointers say whether a transfer is open; they are
// plain pointers so that a blob file going away at any time, even after this
// unit's objects, can end its transfers.
TBlobFile* g_getFile = nullptr;
BlobReader g_getReader;
TBlobFile* g_putFile = nullptr;
std::vector<uint8_t> g_putData;

}  // namespace

TBlobFile::~TBlobFile() {
  if (g_getFile == this) g_getFile = nullptr;
  if (g_putFile == this) g_putFile = nullptr;
}

int32_t Status() { return g_status; }

uint32_t BlobBlockSize() { return g_blockSize; }

bool SetBlobBlockSize(int32_t size) {
  if (size < int32_t(kMinBlockSize) || size > int32_t(kMaxBlockSize)) return false;
  g_blockSize = uint32_t(size);
  return true;
}

int CreateBlobFile(std::string_view name, uint32_t key) {
  return Finish(memofiles::Create(memofiles::Kind::Blob, name, key, g_blockSize, 4));
}

int OpenBlobFile(TBlobFile& f, std::string_view name, uint8_t mode, uint32_t key) {
  return Finish(memofiles::Open(f, name, mode, key));
}

void CloseBlobFile(TBlobFile& f) { memofiles::Close(f); }

int ReadBlobHeader(TBlobFile& f) {
  int rc = RequireOpen(f);
  return Finish(rc != 0 ? rc : memofiles::ReadHeader(f));
}

int WriteBlobHeader(TBlobFile& f) {
  int rc = RequireOpen(f);
  return Finish(rc != 0 ? rc : memofiles::WriteHeader(f));
}

int DeleteBlob(TBlobFile& f, uint32_t first) {
  if (first == 0 || f.damaged) return Finish(0);
  BlobReader reader;
  int rc = reader.Start(f, first);
  size_t got = 0;
  if (rc == 0) rc = reader.Read(nullptr, reader.Remaining(), got);
  if (rc == 0) rc = memofiles::FreeChain(f, reader.Blocks());
  return Finish(rc);
}

int32_t InitGetBlob(TBlobFile& f, uint32_t first) {
  DoneGetBlob();
  if (Finish(g_getReader.Start(f, first)) != 0) return -1;
  g_getFile = &f;
  return int32_t(g_getReader.Length());
}

int32_t GetBlobBlock(int32_t count, void* buffer) {
  if (!g_getFile) return kNoTransfer;
  size_t got = 0;
  int rc = Finish(g_getReader.Read(static_cast<uint8_t*>(buffer), size_t(std::max(count, 0)), got));
  return rc != 0 ? -rc : int32_t(got);
}

void DoneGetBlob() { g_getFile = nullptr; }

int32_t InitPutBlob(TBlobFile& f, uint32_t /*oldFirst*/) {
  g_putFile = nullptr;
  g_putData.clear();
  int rc = RequireOpen(f);
  if (rc == 0 && (f.damaged || f.blockSize == 0)) rc = memofiles::ReportDamage(f, false);
  if (Finish(rc) != 0) return -1;
  g_putFile = &f;
  return 0;
}

int32_t PutBlobBlock(int32_t count, const void* buffer) {
  if (!g_putFile) return kNoTransfer;
  if (count <= 0) return 0;
  if (g_putData.size() + size_t(count) >= memofiles::kMaxFileBytes) {
    Common::SetFileError(Common::kErrWrite, g_putFile->file.name);
    return -Finish(Common::kErrWrite);
  }
  const uint8_t* from = static_cast<const uint8_t*>(buffer);
  g_putData.insert(g_putData.end(), from, from + count);
  return count;
}

uint32_t DonePutBlob() {
  if (!g_putFile) {
    Common::SetFileError(memofiles::kErrIllegalOperation, "");
    Finish(memofiles::kErrIllegalOperation);
    return 0;
  }
  TBlobFile& f = *g_putFile;
  g_putFile = nullptr;
  uint32_t first = 0;
  Finish(WriteBlob(f, g_putData, first));
  std::vector<uint8_t>().swap(g_putData);
  return first;
}

uint32_t CopyBlob(TBlobFile& source, uint32_t first, TBlobFile& target) {
  BlobReader reader;
  std::vector<uint8_t> data;
  uint32_t copy = 0;
  int rc = ReadBlob(reader, source, first, data);
  if (rc == 0) rc = WriteBlob(target, data, copy);
  Finish(rc);
  return copy;
}

int KindFromExtension(std::string_view fileName) {
  static constexpr struct {
    std::string_view extension;
    int kind;
  } kKinds[] = {{".BMP", 1}, {".DIB", 1}, {".PCX", 2}, {".WAV", 3}, {".WMF", 4},
                {".GIF", 5}, {".JPG", 6}, {".JPEG", 6}};
  std::string extension(Common::SplitFileName(fileName).extension.view());
  for (char& c : extension) c = char(std::toupper(static_cast<unsigned char>(c)));
  for (const auto& k : kKinds)
    if (extension == k.extension) return k.kind;
  return 0;
}

int32_t PutBlobFileLink(TBlobFile& f, uint32_t /*oldFirst*/, std::string_view fileName, int kind) {
  constexpr int kMaxKind = 0x7FFF;  // the kind word 2 x kind - 1 fits 16 bits
  if (kind == 0) kind = KindFromExtension(fileName);
  if (kind <= 0 || kind > kMaxKind) return kUnknownExtension;
  int rc = RequireOpen(f);
  if (rc == 0 && (f.damaged || f.blockSize == 0)) rc = memofiles::ReportDamage(f, false);
  if (rc == 0 && (fileName.size() > kMaxLinkName || kNameAt + fileName.size() >= f.blockSize)) {
    Common::SetFileError(kErrIllegalFileName, fileName);
    rc = kErrIllegalFileName;
  }
  uint32_t block = 0;
  if (rc == 0) {
    rc = memofiles::WriteChain(
        f, 1,
        [&](size_t, uint8_t* b) {
          bytes::PutU32(b + kLengthAt, uint32_t(fileName.size() + kNameAt - kKindWordAt));
          bytes::PutU16(b + kKindWordAt, uint16_t(2 * kind - 1));
          bytes::PutU16(b + kNameLengthAt, uint16_t(fileName.size()));
          std::memcpy(b + kNameAt, fileName.data(), fileName.size());
        },
        block);
  }
  return Finish(rc) != 0 ? kLinkWriteError : int32_t(block);
}

ShortStr GetBlobFileLink(TBlobFile& f, uint32_t first) {
  g_status = 0;
  if (first == 0 || f.damaged) return ShortStr();
  BlobReader reader;
  std::string_view name;
  if (Finish(reader.Start(f, first)) != 0 || !FileLinkName(reader.FirstBlock(), f.blockSize, name)) return ShortStr();
  return ShortStr(name);
}

int ReblockBlobFile(TBlobFile& f, std::string_view directory, int32_t newBlockSize,
                    const std::vector<uint32_t>& firsts, std::map<uint32_t, uint32_t>& moved) {
  moved.clear();
  if (newBlockSize < int32_t(kMinBlockSize) || newBlockSize > int32_t(kMaxBlockSize)) {
    Common::SetFileError(memofiles::kErrIllegalOperation, f.file.name);
    return Finish(memofiles::kErrIllegalOperation);
  }
  int rc = RequireOpen(f);
  if (rc != 0) return Finish(rc);
  const std::string wanted = std::string(directory) + std::string(kReblockName) + std::string(kBlobExtension);
  if (!Common::PathFits(wanted)) return Finish(Common::RefuseLongPath(wanted));
  const std::string name(Common::MakeFileName(directory, kReblockName, kBlobExtension).view());
  rc = memofiles::Create(memofiles::Kind::Blob, name, f.key, uint32_t(newBlockSize), 4);
  if (rc != 0) return Finish(rc);
  TBlobFile target;
  rc = OpenBlobFile(target, name, LOWFILES::kModeReadWriteShared, f.key);
  BlobReader reader;
  std::vector<uint8_t> data;
  for (size_t i = 0; rc == 0 && i < firsts.size(); ++i) {
    uint32_t first = firsts[i];
    if (first == 0 || moved.count(first) != 0) continue;
    rc = ReadBlob(reader, f, first, data);
    std::string_view link;
    if (rc == 0 && FileLinkName(reader.FirstBlock(), f.blockSize, link) &&
        kNameAt + link.size() >= target.blockSize) {
      // A file link is one block; it must keep its terminating zero.
      Common::SetFileError(kErrIllegalFileName, link);
      rc = kErrIllegalFileName;
    }
    if (rc == 0) rc = WriteBlob(target, data, moved[first]);
  }
  CloseBlobFile(target);
  if (rc != 0) {
    moved.clear();
    Common::EraseFile(name);
  }
  return Finish(rc);
}

int ReadEveryBlob(std::string_view name, uint32_t key) {
  TBlobFile f;
  int rc = OpenBlobFile(f, name, LOWFILES::kModeReadShared, key);
  if (rc != 0) return rc;
  // Most blocks are no first block: a chain that merely starts wrong is
  // passed over; what counts is damage of the file and failed reads.
  int firstError = 0;
  uint64_t blocksInFile = f.blockSize == 0 ? 0 : LOWFILES::LowFileSize(f.file) / f.blockSize;
  uint32_t last = uint32_t(std::min<uint64_t>(f.highest, blocksInFile == 0 ? 0 : blocksInFile - 1));
  BlobReader reader;
  std::vector<uint8_t> data;
  for (uint32_t n = 1; n <= last; ++n) {
    rc = ReadBlob(reader, f, n, data);
    GetBlobFileLink(f, n);
    if (firstError == 0 && rc != kStatusDamaged) firstError = rc;
  }
  CloseBlobFile(f);
  return Finish(f.damaged ? kStatusDamaged : firstError);
}

void UnitInit() {
  g_status = 0;
  g_blockSize = kDefaultBlockSize;
  g_getFile = nullptr;
  g_putFile = nullptr;
  std::vector<uint8_t>().swap(g_putData);
}

void UnitDone() { UnitInit(); }

}  // namespace WinBlobs
