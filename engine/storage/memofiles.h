// Block files: the layer under the memo file (.MMO) and the blob file (.BLB).
//
// Both side files are arrays of fixed-size blocks. Block n lies at byte
// n x block size; block 0 holds the header, blocks 1..highest hold data. A
// data block starts with the link to another block (u16 or u32); a chain of
// blocks is one memo or one blob, and the record names its first block.
//
//   header record at offset 0 of block 0 (the rest of block 0 is zero):
//   | offset | width | meaning                                  |
//   |--------|-------|------------------------------------------|
//   | 0      | L     | next free block                          |
//   | L      | L     | highest block in use                     |
//   | 8      | 4     | block size (blob files only; 0 = 256)    |
//   L = link width: 2 or 4 for memo files, 4 for blob files.
//
// Every block is scrambled with the table key as one unit: a data block over
// its whole size, the header over its record (2 x L bytes, 12 for blobs), since
// a blob file's block size is only known once the header has been read.
// Files made elsewhere may hold block 0 scrambled as one whole block instead.
// Open reads the record form first; when that gives no sound header, it reads
// block 0 whole (a blob file at each block size whose header names that very
// size) and keeps writing the header in the form it found, so a file never
// holds a mix of both.
//
// Rules that hold for an open file (what the code below keeps true):
//   1. 1 <= nextFree <= highest + 1, and highest stays below the block
//      limit (the file under 2 GiB; with 16-bit links highest + 1 fits a
//      link). nextFree is either the head of the free list (a returned block,
//      <= highest) or highest + 1, where the file grows.
//   2. The free list runs through the links of returned blocks and ends in
//      the value highest + 1. Highest only grows while the list is empty.
//   3. A block that allocation hands out is written with the next free block
//      as its link, which is where the following block of a chain goes. Over
//      returned blocks this rewrites exactly the links the free list already
//      had, so taking the counters back after a failed chain write leaves a
//      sound free list behind.
//   4. Every block number read from the file is checked before it is used
//      (1..highest, not yet seen in the same chain). A chain that fails the
//      check marks the file damaged; a damaged file is still read, but writes
//      and deletes leave it alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/base/lowfiles.h"

namespace memofiles {

// Which side file a block file is; it picks the error numbers.
enum class Kind : uint8_t { Memo, Blob };

// Engine errors of the side files.
inline constexpr uint16_t kErrBlockNumber = 1;        // block number out of range
inline constexpr uint16_t kErrMemoOpen = 31;          // "Memo-Datei nicht zu öffnen"
inline constexpr uint16_t kErrMemoWrite = 33;         // "Fehler beim Schreiben des Memos"
inline constexpr uint16_t kErrIllegalOperation = 34;  // "Illegale Operation"
inline constexpr uint16_t kErrBlobOpen = 111;         // "Blob-Datei nicht zu öffnen"
inline constexpr uint16_t kErrMemoDamaged = 112;      // "Memo defekt"
inline constexpr uint16_t kErrBlobDamaged = 113;      // "Blob defekt"

// Status of a chain operation that found the file damaged (a loop, a link
// outside the file, an impossible header).
inline constexpr int kStatusDamaged = 1;
// Status of an allocation refused because the file cannot grow any further.
inline constexpr int kStatusFileFull = 65535;

// Largest block: the transfer buffers hold one block.
inline constexpr uint32_t kMaxBlockSize = 1024;
// Side files stay below 2 GiB: (block + 1) x block size never passes this.
inline constexpr uint64_t kMaxFileBytes = 0x80000000u;
// With 16-bit links the next free block must fit a link too.
inline constexpr uint32_t kMaxLink16 = 0xFFFF;

// Header record fields.
inline constexpr size_t kHeaderBlockSizeAt = 8;
inline constexpr size_t kBlobHeaderBytes = 12;

// One open side file and its header values.
struct TBlockFile {
  TBlockFile(Kind kind, uint32_t blockSize, uint8_t linkSize)
      : kind(kind), blockSize(blockSize), linkSize(linkSize) {}
  TBlockFile(const TBlockFile&) = delete;
  TBlockFile& operator=(const TBlockFile&) = delete;

  const Kind kind;
  LOWFILES::TLowFile file;
  bool open = false;      // opened by Open, until Close
  uint32_t key = 0;       // table key that scrambles every block; 0 = plain
  uint32_t blockSize;     // bytes per block; 0 = unusable (impossible header)
  uint8_t linkSize;       // 2 or 4
  uint32_t nextFree = 1;  // header: next free block
  uint32_t highest = 0;   // header: highest block in use
  bool damaged = false;   // refuses writes and deletes (rule 4)
  bool wholeHeaderBlock = false;  // block 0 is scrambled whole, not its record
};

// The link at the start of a data block.
uint32_t GetLink(const TBlockFile& f, const uint8_t* block);

// Creates the file with a fresh header (next free 1, highest 0) padded with
// zeros to one block, and closes it. Answers 0, or 31/111 reported.
int Create(Kind kind, std::string_view name, uint32_t key, uint32_t blockSize, uint8_t linkSize);
// Opens an existing file with mode and reads its header in either form. A
// memo file takes f.linkSize and f.blockSize as set by the caller; a blob
// file takes its block size from the header. A header that cannot be read or is impossible, and a file shorter
// than highest + 1 blocks, mark the file damaged; the open itself still
// succeeds. Answers 0, or 31/111 reported when the file does not open.
int Open(TBlockFile& f, std::string_view name, uint8_t mode, uint32_t key);
// Closes the file; the header values stay for inspection.
void Close(TBlockFile& f);

// The header counters; ReadHeader marks the file damaged when they are
// impossible. Answer 0, or 2 / 3 reported.
int ReadHeader(TBlockFile& f);
int WriteHeader(TBlockFile& f);

// Reports the file's damage error, marks the file damaged when markFile is
// set and answers kStatusDamaged.
int ReportDamage(TBlockFile& f, bool markFile);

// Reads data block n (whole, unscrambled); n has passed a ChainGuard or the
// allocation. Answers 0, or 2 reported.
int ReadDataBlock(TBlockFile& f, uint32_t n, uint8_t* block);

// The blocks of one chain as it is followed: each next block must lie in
// 1..highest and must not have been visited before.
// A chain whose blocks rise (as chains written to a growing file do) cannot
// have visited a block again; the set of blocks seen is made only once a
// block does not lie above all blocks before it.
class ChainGuard {
 public:
  // 0 when n may come next; otherwise the damage is reported. A bad first
  // block is the record's fault and leaves the file as it is; a bad link
  // inside the chain marks the file damaged.
  int Enter(TBlockFile& f, uint32_t n);

 private:
  std::vector<uint32_t> rising_;  // the blocks while they rise
  std::unordered_set<uint32_t> seen_;
};

// Reads data block n (as ReadDataBlock) and, into the blocks after it in
// buffer, up to ahead - 1 of the blocks that follow it in the file (not
// beyond highest); answers how many blocks buffer holds then (0 when the
// read failed, reported as by ReadDataBlock).
uint32_t ReadDataBlocks(TBlockFile& f, uint32_t n, uint32_t ahead, uint8_t* buffer);

// Fills block i (0-based) of a chain of count blocks; the buffer is zeroed
// and blockSize bytes long, the link at its start is set afterwards.
using FillBlock = std::function<void(size_t i, uint8_t* block)>;

// Writes a chain of count blocks to newly allocated blocks, then the header.
// A failure takes the counters back to where they were (rule 3) and leaves
// first 0. Answers 0, or the status reported: 3 (write), 2 (reading a returned
// block), kStatusDamaged (the free list is broken) or kStatusFileFull (the
// file cannot grow; reported as a write error of the file's kind).
int WriteChain(TBlockFile& f, size_t count, const FillBlock& fill, uint32_t& first);

// Returns a chain whose blocks were collected in order to the free list: the
// last block is linked to the old head and synced, then the head becomes the
// first block and the header is written. Answers 0, or 2 / 3 reported
// (counters taken back).
int FreeChain(TBlockFile& f, const std::vector<uint32_t>& chain);

// A machine that stopped while a chain grew the file may leave the header
// on the disk without the blocks it took in. LacksBlocks tells a file that
// Open marked damaged for that alone (its counters are otherwise sound).
// TakeInBlocksPresent makes the whole blocks present the blocks in use with
// an empty free list, writes and syncs the header and clears the mark. No
// record names a block the crash lost, since records naming a new chain are
// written only after the side file is synced; blocks of the chain that was
// growing are left unnamed and unfree. Answers 0, or 3 reported.
bool LacksBlocks(TBlockFile& f);
int TakeInBlocksPresent(TBlockFile& f);

}  // namespace memofiles
