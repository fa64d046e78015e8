#include "engine/storage/memofiles.h"

#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/common_errors.h"
#include "engine/base/crypt.h"
#include "engine/base/engassert.h"

namespace memofiles {

namespace {

// Blob headers: 0 stands for 256; anything outside this range is impossible.
constexpr uint32_t kBlockSizeForZero = 256;
constexpr uint32_t kMinBlobBlockSize = 16;

uint16_t OpenError(Kind kind) { return kind == Kind::Memo ? kErrMemoOpen : kErrBlobOpen; }

size_t HeaderBytes(const TBlockFile& f) {
  return f.kind == Kind::Blob ? kBlobHeaderBytes : size_t(2) * f.linkSize;
}

uint32_t GetWord(const uint8_t* p, uint8_t width) { return width == 2 ? bytes::GetU16(p) : bytes::GetU32(p); }

void PutWord(uint8_t* p, uint8_t width, uint32_t v) {
  if (width == 2)
    bytes::PutU16(p, uint16_t(v));
  else
    bytes::PutU32(p, v);
}

uint64_t BlockPosition(const TBlockFile& f, uint32_t n) { return uint64_t(n) * f.blockSize; }

uint16_t DamagedError(const TBlockFile& f) { return f.kind == Kind::Memo ? kErrMemoDamaged : kErrBlobDamaged; }

void PutLink(const TBlockFile& f, uint8_t* block, uint32_t link) { PutWord(block, f.linkSize, link); }

// The first block number a file of this geometry can no longer hold.
uint32_t BlockLimit(const TBlockFile& f) {
  if (f.blockSize == 0) return 0;
  uint64_t limit = kMaxFileBytes / f.blockSize;
  // With 16-bit links the file stops growing while highest + 1, the next
  // free block of a full file, still fits a link.
  if (f.linkSize == 2) limit = std::min<uint64_t>(limit, kMaxLink16);
  return uint32_t(limit);
}

int WriteDataBlock(TBlockFile& f, uint32_t n, const uint8_t* block) {
  if (LOWFILES::WriteBlock(f.file, BlockPosition(f, n), uint16_t(f.blockSize), f.key, block) != 0) {
    Common::SetFileError(Common::kErrWrite, f.file.name);
    return Common::kErrWrite;
  }
  return 0;
}

// Checks the header values just read against rule 1 and the file's size.
bool HeaderIsSound(TBlockFile& f) {
  if (f.blockSize == 0) return false;
  if (f.highest >= BlockLimit(f)) return false;
  if (f.nextFree < 1 || f.nextFree > f.highest + uint64_t(1)) return false;
  // A file that lacks its highest block is damaged (size div block size equal
  // to highest already lacks it).
  return LOWFILES::LowFileSize(f.file) >= (uint64_t(f.highest) + 1) * f.blockSize;
}

// Takes the header values out of an unscrambled header record.
void TakeHeader(TBlockFile& f, const uint8_t* header) {
  f.nextFree = GetWord(header, f.linkSize);
  f.highest = GetWord(header + f.linkSize, f.linkSize);
  if (f.kind == Kind::Blob) {
    uint32_t size = bytes::GetU32(header + kHeaderBlockSizeAt);
    if (size == 0) size = kBlockSizeForZero;
    f.blockSize = (size >= kMinBlobBlockSize && size <= kMaxBlockSize) ? size : 0;
  }
}

// Block 0 scrambled as one whole block: a memo file's block size is known,
// a blob file's is tried at every size that its header could name. Answers
// true with the header taken when one size gives a sound header.
bool TakeWholeBlockHeader(TBlockFile& f) {
  const uint64_t fileSize = LOWFILES::LowFileSize(f.file);
  const uint32_t fixedSize = f.blockSize;
  const uint32_t first = f.kind == Kind::Blob ? kMinBlobBlockSize : fixedSize;
  const uint32_t last = f.kind == Kind::Blob ? kMaxBlockSize : fixedSize;
  if (first == 0 || fileSize < first) return false;
  uint8_t raw[kMaxBlockSize];
  const uint32_t available = uint32_t(std::min<uint64_t>(fileSize, last));
  if (LOWFILES::ReadBlock(f.file, 0, uint16_t(available), 0, raw) != 0) return false;
  uint8_t block[kMaxBlockSize];
  for (uint32_t size = first; size <= available; ++size) {
    std::memcpy(block, raw, size);
    Crypt::UnscrambleBlock(block, size, f.key);
    f.blockSize = fixedSize;
    TakeHeader(f, block);
    if (f.blockSize == size && HeaderIsSound(f)) return true;
  }
  f.blockSize = fixedSize;
  return false;
}

// Reads the header record in the form f holds. Answers false when it
// cannot be read.
bool ReadHeaderRecord(TBlockFile& f, uint8_t* header) {
  if (!f.wholeHeaderBlock) return LOWFILES::ReadBlock(f.file, 0, uint16_t(HeaderBytes(f)), f.key, header) == 0;
  uint8_t block[kMaxBlockSize];
  if (LOWFILES::ReadBlock(f.file, 0, uint16_t(f.blockSize), f.key, block) != 0) return false;
  std::memcpy(header, block, HeaderBytes(f));
  return true;
}

}  // namespace

uint32_t GetLink(const TBlockFile& f, const uint8_t* block) { return GetWord(block, f.linkSize); }

int Create(Kind kind, std::string_view name, uint32_t key, uint32_t blockSize, uint8_t linkSize) {
  ZET_ASSERT(blockSize >= kMinBlobBlockSize && blockSize <= kMaxBlockSize, "Illegal block size");
  TBlockFile f(kind, blockSize, linkSize);
  f.key = key;
  if (LOWFILES::CreateLowFile(f.file, name, LOWFILES::kModeReadWriteShared) != 0) {
    Common::SetFileError(OpenError(kind), name);
    return OpenError(kind);
  }
  // Zero padding first, then the scrambled header record over its start.
  uint8_t block[kMaxBlockSize] = {};
  bool ok = LOWFILES::WriteBlock(f.file, 0, uint16_t(blockSize), 0, block) == 0;
  ok = ok && WriteHeader(f) == 0;
  LOWFILES::CloseLowFile(f.file, false);
  if (!ok) {
    Common::SetFileError(OpenError(kind), name);
    return OpenError(kind);
  }
  return 0;
}

int Open(TBlockFile& f, std::string_view name, uint8_t mode, uint32_t key) {
  Close(f);
  f.key = key;
  f.damaged = false;
  if (LOWFILES::OpenLowFile(f.file, name, mode) != 0) {
    Common::SetFileError(OpenError(f.kind), name);
    return OpenError(f.kind);
  }
  f.open = true;
  f.wholeHeaderBlock = false;
  const uint32_t givenBlockSize = f.blockSize;
  uint8_t header[kBlobHeaderBytes] = {};
  if (LOWFILES::ReadBlock(f.file, 0, uint16_t(HeaderBytes(f)), f.key, header) != 0) {
    // Nothing can be trusted: no chain is readable and nothing is written.
    f.nextFree = 1;
    f.highest = 0;
    f.damaged = true;
    return 0;
  }
  TakeHeader(f, header);
  if (HeaderIsSound(f)) return 0;
  // With key 0 both forms are the same bytes.
  f.blockSize = givenBlockSize;
  if (f.key != 0 && TakeWholeBlockHeader(f)) {
    f.wholeHeaderBlock = true;
    return 0;
  }
  // Neither form holds together: the record form stays, marked damaged.
  TakeHeader(f, header);
  f.damaged = true;
  return 0;
}

void Close(TBlockFile& f) {
  if (!f.open) return;
  LOWFILES::CloseLowFile(f.file, false);
  f.open = false;
}

int ReadHeader(TBlockFile& f) {
  uint8_t header[kBlobHeaderBytes] = {};
  if (!ReadHeaderRecord(f, header)) {
    Common::SetFileError(Common::kErrRead, f.file.name);
    return Common::kErrRead;
  }
  f.nextFree = GetWord(header, f.linkSize);
  f.highest = GetWord(header + f.linkSize, f.linkSize);
  if (!HeaderIsSound(f)) f.damaged = true;
  return 0;
}

int WriteHeader(TBlockFile& f) {
  uint8_t header[kBlobHeaderBytes] = {};
  PutWord(header, f.linkSize, f.nextFree);
  PutWord(header + f.linkSize, f.linkSize, f.highest);
  if (f.kind == Kind::Blob) bytes::PutU32(header + kHeaderBlockSizeAt, f.blockSize);
  bool written = false;
  if (f.wholeHeaderBlock) {
    uint8_t block[kMaxBlockSize] = {};
    std::memcpy(block, header, HeaderBytes(f));
    written = LOWFILES::WriteBlock(f.file, 0, uint16_t(f.blockSize), f.key, block) == 0;
  } else {
    written = LOWFILES::WriteBlock(f.file, 0, uint16_t(HeaderBytes(f)), f.key, header) == 0;
  }
  if (!written) {
    Common::SetFileError(Common::kErrWrite, f.file.name);
    return Common::kErrWrite;
  }
  return 0;
}

int ReportDamage(TBlockFile& f, bool markFile) {
  if (markFile) f.damaged = true;
  Common::SetFileError(DamagedError(f), f.file.name);
  return kStatusDamaged;
}

int ReadDataBlock(TBlockFile& f, uint32_t n, uint8_t* block) {
  ZET_ASSERT(n >= 1 && n <= f.highest && f.blockSize != 0, "Block outside the file");
  if (LOWFILES::ReadBlock(f.file, BlockPosition(f, n), uint16_t(f.blockSize), f.key, block) != 0) {
    Common::SetFileError(Common::kErrRead, f.file.name);
    return Common::kErrRead;
  }
  return 0;
}

int ChainGuard::Enter(TBlockFile& f, uint32_t n) {
  const bool inside = !rising_.empty() || !seen_.empty();
  if (f.blockSize == 0 || n < 1 || n > f.highest) return ReportDamage(f, inside);
  if (seen_.empty() && (rising_.empty() || n > rising_.back())) {
    rising_.push_back(n);
    return 0;
  }
  if (seen_.empty()) seen_.insert(rising_.begin(), rising_.end());
  if (!seen_.insert(n).second) return ReportDamage(f, inside);
  return 0;
}

uint32_t ReadDataBlocks(TBlockFile& f, uint32_t n, uint32_t ahead, uint8_t* buffer) {
  ZET_ASSERT(n >= 1 && n <= f.highest && f.blockSize != 0 && ahead >= 1, "Block outside the file");
  // At most the blocks a read of 16-bit length holds.
  const uint64_t most = std::min<uint64_t>(ahead, UINT16_MAX / f.blockSize);
  const uint32_t count = uint32_t(std::min<uint64_t>(std::max<uint64_t>(most, 1), uint64_t(f.highest) - n + 1));
  if (count == 1) return ReadDataBlock(f, n, buffer) == 0 ? 1 : 0;
  // Each block is scrambled on its own, so the blocks are read plain and
  // then unscrambled one by one, as ReadBlock does with one block. A file
  // cut short gives the whole blocks it still has.
  uint16_t got = 0;
  if (LOWFILES::ReadUpTo(f.file, BlockPosition(f, n), uint16_t(count * f.blockSize), buffer, got) != 0 ||
      got < f.blockSize) {
    Common::SetFileError(Common::kErrRead, f.file.name);
    return 0;
  }
  const uint32_t whole = got / f.blockSize;
  for (uint32_t i = 0; i < whole; ++i) Crypt::UnscrambleBlock(buffer + size_t(i) * f.blockSize, f.blockSize, f.key);
  return whole;
}

int WriteChain(TBlockFile& f, size_t count, const FillBlock& fill, uint32_t& first) {
  first = 0;
  ZET_ASSERT(!f.damaged && f.blockSize != 0, "Write to a damaged block file");
  const uint32_t oldNextFree = f.nextFree;
  const uint32_t oldHighest = f.highest;
  auto fail = [&](int status) {
    f.nextFree = oldNextFree;
    f.highest = oldHighest;
    first = 0;
    return status;
  };
  // The blocks are written after the chain is laid out: first those the
  // file grows by, then the header that takes them in, then the returned
  // blocks. A process that dies in between leaves blocks the header does not
  // cover, or blocks out of the free list that nobody names, but never a
  // block inside the file that leads beyond it. The grown blocks follow one
  // another in the file and go out together, scrambled one by one.
  std::unordered_set<uint32_t> taken;  // returned blocks
  std::vector<uint8_t> grown;          // the blocks the file grows by, from oldHighest + 1
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> returned;
  uint8_t block[kMaxBlockSize];
  for (size_t i = 0; i < count; ++i) {
    uint32_t n = f.nextFree;
    uint8_t* into = block;
    if (n <= f.highest) {
      // A returned block: its link is the rest of the free list. A list that
      // runs back into this chain or out of the file is broken.
      if (!taken.insert(n).second) return fail(ReportDamage(f, true));
      int rc = ReadDataBlock(f, n, block);
      if (rc != 0) return fail(rc);
      uint32_t link = GetLink(f, block);
      if (link < 1 || link > f.highest + uint64_t(1) || link == n) return fail(ReportDamage(f, true));
      f.nextFree = link;
    } else {
      if (n >= BlockLimit(f)) {
        Common::SetFileError(f.kind == Kind::Memo ? kErrMemoWrite : Common::kErrWrite, f.file.name);
        return fail(kStatusFileFull);
      }
      f.highest = n;
      f.nextFree = n + 1;
      if (grown.empty()) grown.reserve((count - i) * f.blockSize);
      grown.resize(grown.size() + f.blockSize);
      into = grown.data() + grown.size() - f.blockSize;
    }
    std::memset(into, 0, f.blockSize);
    fill(i, into);
    PutLink(f, into, f.nextFree);
    if (into == block) returned.emplace_back(n, std::vector<uint8_t>(block, block + f.blockSize));
    if (i == 0) first = n;
  }
  if (!grown.empty()) {
    for (size_t at = 0; at < grown.size(); at += f.blockSize) Crypt::ScrambleBlock(grown.data() + at, f.blockSize, f.key);
    // They may wait in the file's write-behind buffer (lowfiles.h, rules
    // 6-8), which writes them before the header; at most the whole blocks a
    // write of 16-bit length holds go at a time.
    const size_t most = (size_t(UINT16_MAX) / f.blockSize) * f.blockSize;
    const uint64_t position = BlockPosition(f, oldHighest + 1);
    for (size_t at = 0; at < grown.size(); at += most) {
      const uint16_t n = uint16_t(std::min(most, grown.size() - at));
      if (LOWFILES::WriteBehind(f.file, position + at, n, 0, grown.data() + at) != 0) {
        Common::SetFileError(Common::kErrWrite, f.file.name);
        return fail(Common::kErrWrite);
      }
    }
  }
  if (int rc = WriteHeader(f)) return fail(rc);
  for (const auto& [n, bytes] : returned)
    if (int rc = WriteDataBlock(f, n, bytes.data())) return fail(rc);
  return 0;
}

int FreeChain(TBlockFile& f, const std::vector<uint32_t>& chain) {
  if (chain.empty()) return 0;
  const uint32_t oldNextFree = f.nextFree;
  uint8_t block[kMaxBlockSize];
  int rc = ReadDataBlock(f, chain.back(), block);
  if (rc != 0) return rc;
  PutLink(f, block, f.nextFree);
  rc = WriteDataBlock(f, chain.back(), block);
  if (rc != 0) return rc;
  // The link is on the disk before the header that takes the chain into the
  // list: a header without it would lead the list into blocks in use.
  if (LOWFILES::SyncFile(f.file) != 0) {
    Common::SetFileError(Common::kErrWrite, f.file.name);
    return Common::kErrWrite;
  }
  f.nextFree = chain.front();
  rc = WriteHeader(f);
  if (rc != 0) f.nextFree = oldNextFree;
  return rc;
}

bool LacksBlocks(TBlockFile& f) {
  if (!f.open || !f.damaged || f.blockSize == 0 || f.highest >= BlockLimit(f)) return false;
  if (f.nextFree < 1 || f.nextFree > f.highest + uint64_t(1)) return false;
  return LOWFILES::LowFileSize(f.file) < (uint64_t(f.highest) + 1) * f.blockSize;
}

int TakeInBlocksPresent(TBlockFile& f) {
  const uint64_t blocks = LOWFILES::LowFileSize(f.file) / f.blockSize;
  if (blocks == 0) return ReportDamage(f, true);
  f.highest = uint32_t(blocks - 1);
  f.nextFree = f.highest + 1;
  f.damaged = false;
  if (int rc = WriteHeader(f)) return rc;
  if (LOWFILES::SyncFile(f.file) != 0) {
    Common::SetFileError(Common::kErrWrite, f.file.name);
    return Common::kErrWrite;
  }
  return 0;
}

}  // namespace memofiles
