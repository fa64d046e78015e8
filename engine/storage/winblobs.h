// Blob files (.BLB): the binary data of a table's picture fields.
//
// A blob is a chain of blocks of the blob file (see memofiles.h for the
// header and the free list); the picture field of a record holds the number
// of its first block, 0 for no blob. The block size comes from the header
// (0 there means 256) and must lie in 16..1024, else the file is damaged.
//
//   first block:                       following blocks:
//   | 0 | u32 | link                |  | 0 | u32 | link                |
//   | 4 | u32 | length of the blob  |  | 4 | ... | block size - 4 bytes |
//   | 8 | ... | block size - 8 bytes|
//
// A reader follows the links only until the length is covered, so the last
// block's link is never followed.
//
//   file link (one block; the blob refers to an outside file):
//   | 0  | u32 | link (not followed)                         |
//   | 4  | u32 | length = name length + 4                    |
//   | 8  | u16 | kind word = 2 x kind - 1 (odd)              |
//   | 10 | u16 | name length n (at most 255)                 |
//   | 12 | n   | the file name, then a terminating zero      |
// Embedded data that start with a kind word carry the even word 2 x kind, so
// only file links have bit 0 set; a block counts as a file link only when its
// length and terminating zero fit as drawn.
//
// One blob transfer of each direction is open at a time, engine-wide
// (InitGetBlob ... DoneGetBlob, InitPutBlob ... DonePutBlob). Every operation
// leaves the engine error set on failure and the unit's status word
// (Status()): 0, an engine error number, kStatusDamaged for a chain that
// loops or leaves the file (error 113), or kStatusFileFull.
#pragma once

#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include "engine/base/shortstr.h"
#include "engine/storage/memofiles.h"

namespace WinBlobs {

// Block sizes of new files: the engine-wide setting and its range.
inline constexpr uint32_t kDefaultBlockSize = 512;
inline constexpr uint32_t kMinBlockSize = 16;
inline constexpr uint32_t kMaxBlockSize = memofiles::kMaxBlockSize;
// Layout of the blocks drawn above.
inline constexpr size_t kLengthAt = 4;
inline constexpr size_t kFirstDataAt = 8;
inline constexpr size_t kDataAt = 4;
inline constexpr size_t kKindWordAt = 8;
inline constexpr size_t kNameLengthAt = 10;
inline constexpr size_t kNameAt = 12;
inline constexpr size_t kMaxLinkName = 255;
// CopyBlob moves a blob in pieces of at most this many bytes.
inline constexpr uint32_t kCopyPiece = 32767;
// The file ReblockBlobFile writes in the table's directory.
inline constexpr std::string_view kReblockName = "NEWBLOB";
inline constexpr std::string_view kBlobExtension = ".BLB";

// Answers of the transfers and of PutBlobFileLink besides counts and blocks.
inline constexpr int32_t kNoTransfer = -12;
inline constexpr int32_t kUnknownExtension = -1;
inline constexpr int32_t kLinkWriteError = -2;

using memofiles::kStatusDamaged;
using memofiles::kStatusFileFull;

// The blob file of one table. The table object embeds it; OpenBlobFile binds
// it to the file and the table key. A transfer that reads or writes this file
// ends when it goes.
struct TBlobFile : memofiles::TBlockFile {
  TBlobFile() : TBlockFile(memofiles::Kind::Blob, kDefaultBlockSize, 4) {}
  ~TBlobFile();
};

// The unit's status word (see above).
int32_t Status();

// The block size that new blob files get; a size outside 16..1024 is refused
// (answer false) and the current size kept.
uint32_t BlobBlockSize();
bool SetBlobBlockSize(int32_t size);

// Creates the blob file name with the current block size (next free 1,
// highest 0). Answers 0 or 111.
int CreateBlobFile(std::string_view name, uint32_t key);
// Opens the blob file with the table's open mode and key, reads the header
// and sets the damage flag. Answers 0 or 111.
int OpenBlobFile(TBlobFile& f, std::string_view name, uint8_t mode, uint32_t key);
void CloseBlobFile(TBlobFile& f);
// The two counters of the header. Answer 0, or 2 / 3.
int ReadBlobHeader(TBlobFile& f);
int WriteBlobHeader(TBlobFile& f);

// Returns the blob at first to the free list; nothing happens for 0 or a
// damaged file. Answers the status.
int DeleteBlob(TBlobFile& f, uint32_t first);

// Blob read transfer. InitGetBlob reads the first block and answers the
// blob's length (0 for first = 0), or -1 on failure. GetBlobBlock copies up to
// count bytes, never beyond the blob's end, and answers how many, kNoTransfer
// before an InitGetBlob, or minus the status when the chain fails.
int32_t InitGetBlob(TBlobFile& f, uint32_t first);
int32_t GetBlobBlock(int32_t count, void* buffer);
void DoneGetBlob();

// Blob write transfer. InitPutBlob starts collecting (0, or -1 for a damaged
// file). The old blob at oldFirst stays: the record still names it until the
// record with the new block is written, and the record update frees it after
// that (a crash in between never leaves a record naming freed blocks).
// PutBlobBlock appends count bytes and answers count, kNoTransfer without an
// InitPutBlob, or minus the status. DonePutBlob writes the blob with the
// length of the bytes put and answers its first block (0 for no bytes, and 0
// on failure with the status set).
int32_t InitPutBlob(TBlobFile& f, uint32_t oldFirst);
int32_t PutBlobBlock(int32_t count, const void* buffer);
uint32_t DonePutBlob();

// Copies the blob at first of one blob file into new blocks of another;
// answers the new first block (0 for no blob or on failure).
uint32_t CopyBlob(TBlobFile& source, uint32_t first, TBlobFile& target);

// The kind of a file link from a file name's extension: ".BMP"/".DIB" 1,
// ".PCX" 2, ".WAV" 3, ".WMF" 4, ".GIF" 5, ".JPG"/".JPEG" 6; 0 for any other.
int KindFromExtension(std::string_view fileName);
// Writes a file link to fileName with kind (0: from the extension); the old
// blob at oldFirst stays, as with InitPutBlob. Answers the link's block,
// kUnknownExtension, or kLinkWriteError (a damaged file, a name that does
// not fit the block, a failed write).
int32_t PutBlobFileLink(TBlobFile& f, uint32_t oldFirst, std::string_view fileName, int kind);
// The file name of the file link at first; the empty text for any other blob,
// no blob or a damaged file.
ShortStr GetBlobFileLink(TBlobFile& f, uint32_t first);

// Writes every blob named in firsts (0 and repeats are passed over) into a new
// blob file "NEWBLOB.BLB" in directory with the new block size and the same
// key, each re-chained for the new size; moved maps each old first block to
// the blob's first block in the new file. The new file is closed and left for
// the caller to put in place, and the picture fields to be given their new
// blocks from moved. Answers 0 or the status reported (34 for a block size
// outside 16..1024, 26 when the new file's path would pass 255 characters;
// a failure removes the new file).
int ReblockBlobFile(TBlobFile& f, std::string_view directory, int32_t newBlockSize,
                    const std::vector<uint32_t>& firsts, std::map<uint32_t, uint32_t>& moved);

// Reads every chain of a blob file (each block taken as a first block) and
// every file link, for checking files of unknown origin. Answers
// kStatusDamaged when the file is damaged or turned out so, else 0 or the
// first failed read or open (a block that merely is no first block counts
// for nothing).
int ReadEveryBlob(std::string_view name, uint32_t key);

void UnitInit();
void UnitDone();

}  // namespace WinBlobs
