// dBase files: the DBF table file and its memo file (DBT or FPT).
//
// The file layer under the conversion of DbfUtil: it reads and writes the
// bytes of these files and knows nothing about the engine's tables.
//
//   DBF header (little-endian):
//   | offset | width | meaning                                                 |
//   |--------|-------|---------------------------------------------------------|
//   | 0      | u8    | version: 0x03 plain, 0x83 dBase III with DBT, 0x8B      |
//   |        |       | dBase IV with DBT, 0xF5 FoxPro with FPT                 |
//   | 1      | 3 x u8| date of the last update: year - 1900, month, day        |
//   | 4      | u32   | number of records                                       |
//   | 8      | u16   | header size: where record 1 begins                      |
//   | 10     | u16   | record size: the deletion byte and the field lengths    |
//   | 12     | 17    | zero                                                    |
//   | 29     | u8    | code page of the texts: 0x01 code page 437, 0x02 code   |
//   |        |       | page 850 (OEM), 0x03 Windows-1252, 0 not stated         |
//   | 30     | 2     | zero                                                    |
//   | 32 x i | 32    | descriptor of field i (i = 1 .. n)                      |
//   | after  | u8    | 0x0D ends the descriptors (writers may leave room after |
//   |        |       | it; the header size says where the records begin)       |
//
//   field descriptor:
//   | offset | width | meaning                                                 |
//   |--------|-------|---------------------------------------------------------|
//   | 0      | 11    | name, ended by a zero byte (what follows it is left     |
//   |        |       | over from earlier names and not part of the name)       |
//   | 11     | u8    | type letter (C, D, F, L, M, N)                          |
//   | 12     | u32   | offset of the field among the data bytes (written, never|
//   |        |       | read: fields lie in descriptor order)                   |
//   | 16     | u8    | length                                                  |
//   | 17     | u8    | decimals                                                |
//   | 18     | 14    | zero                                                    |
//
//   Record r lies at header size + (r - 1) x record size: a deletion byte
//   (blank, "*" when deleted) and the field texts. The file ends with 0x1A.
//
//   DBT memo file: 512-byte blocks. Block 0 holds the next free block (u32)
//   at its start, the rest of it is zero. A memo starts at a block boundary
//   and its text runs until a 0x1A; a dBase IV file (version 0x8B) puts an
//   8-byte header in front of the text: FF FF 08 00, then the length of the
//   memo with this header (u32). The memo field of a record holds the first
//   block number as text.
//
//   FPT memo file (most significant byte first):
//   | offset | width | meaning                                                 |
//   |--------|-------|---------------------------------------------------------|
//   | 0      | u32   | next free block                                         |
//   | 6      | u16   | block size; 0 stands for 64                             |
//   and in front of each memo, at its first block:
//   | 0      | u32   | kind of the memo: 1 text; 0 picture and 2 object hold   |
//   |        |       | binary data, which no text field can take               |
//   | 4      | u32   | text length                                             |
//
// The reader trusts nothing it reads: a header that does not hold together
// (too short, descriptors outside the header, fields that do not fit the
// record size, more records than the file holds, a memo block that is no
// number) is refused with 117 before anything else is read, and every read
// lies inside the file. Memo texts end at their terminator, their length, or
// the end of the memo file, whichever comes first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/lowfiles.h"
#include "engine/base/shortstr.h"

namespace DbfUtil {

// Versions (header byte 0).
inline constexpr uint8_t kVersionDbase3 = 0x03;
inline constexpr uint8_t kVersionDbase3Memo = 0x83;
inline constexpr uint8_t kVersionDbase4Memo = 0x8B;
inline constexpr uint8_t kVersionFoxPro = 0xF5;

// DBF header.
inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kHdrVersion = 0;
inline constexpr size_t kHdrDate = 1;
inline constexpr size_t kHdrRecordCount = 4;
inline constexpr size_t kHdrHeaderSize = 8;
inline constexpr size_t kHdrRecordSize = 10;
inline constexpr size_t kHdrCodePage = 29;
// Code pages named by byte 29; the others hold Windows-1252 or do not say.
inline constexpr uint8_t kCodePage437 = 0x01;
inline constexpr uint8_t kCodePage850 = 0x02;
// The update date written into every new file: 26 June 1990.
inline constexpr uint8_t kWrittenDate[3] = {90, 6, 26};

// Field descriptor.
inline constexpr size_t kDescriptorSize = 32;
inline constexpr size_t kDescName = 0;
inline constexpr size_t kDescNameSize = 11;
inline constexpr size_t kDescType = 11;
inline constexpr size_t kDescOffset = 12;
inline constexpr size_t kDescLength = 16;
inline constexpr size_t kDescDecimals = 17;
// Longest field name (the 11th byte stays zero).
inline constexpr size_t kMaxFieldName = 10;

// Marks.
inline constexpr uint8_t kEndOfDescriptors = 0x0D;
inline constexpr uint8_t kEndOfFile = 0x1A;
inline constexpr uint8_t kRecordKept = ' ';
inline constexpr uint8_t kRecordDeleted = '*';

// DBT memo file.
inline constexpr uint32_t kDbtBlockSize = 512;
// A written memo ends with at least two 0x1A: readers of dBase III files look
// for either one or two of them.
inline constexpr size_t kDbtTerminators = 2;
// dBase IV memo header: a signature, then the text length (u32).
inline constexpr size_t kDbase4MemoHeader = 8;
inline constexpr size_t kDbase4MemoLength = 4;

// FPT memo file.
inline constexpr size_t kFptHeaderSize = 8;
inline constexpr size_t kFptBlockSizeAt = 6;
inline constexpr uint32_t kFptDefaultBlockSize = 64;
inline constexpr size_t kFptMemoHeader = 8;
inline constexpr size_t kFptMemoLength = 4;
inline constexpr uint32_t kFptKindText = 1;

// A memo field's text: the first block number, right-aligned.
inline constexpr uint8_t kMemoFieldLength = 10;

// Engine errors of the conversion.
inline constexpr uint16_t kErrBadStructure = 117;   // "Illegale Dateistruktur"
inline constexpr uint16_t kErrUnknownVersion = 129;  // "Die Version der dBase-Datei ist unbekannt."
inline constexpr uint16_t kErrMemoOpen = 31;        // "Memo-Datei nicht zu öffnen"

// One field of a DBF file. The reader fills every member; the writer takes
// name, type, length and decimals and computes the offsets.
struct TDbfField {
  ShortStr name;  // up to 11 characters, ended by the first zero byte
  char type = 'C';
  uint8_t length = 0;
  uint8_t decimals = 0;
  uint32_t offset = 0;  // in the record; the deletion byte is byte 0
};

// The name with its extension replaced (upper-cased as the engine makes file
// names): "dir/x.dbf" with ".DBT" gives "dir/X.DBT".
ShortStr ReplaceExtension(std::string_view name, std::string_view extension);
// The names of a dBase file and its memo file, made by ReplaceExtension,
// fit a path text. Answers 0, or 26 reported (a cut name is another file).
int CheckDbfName(std::string_view name);

// Reads a DBF file and its memo file.
class TDbfReader {
 public:
  TDbfReader() = default;
  TDbfReader(const TDbfReader&) = delete;
  TDbfReader& operator=(const TDbfReader&) = delete;
  ~TDbfReader() { Close(); }

  // Opens the file read-only with sharing allowed and checks its header:
  // 129 for an unknown version, 117 for a header that does not hold together,
  // 2 when the file cannot be opened or read. With a memo field it opens the
  // DBT beside the file, else the FPT (31 when neither opens). Every error is
  // reported with the name of the file concerned.
  int Open(std::string_view dbfName);
  void Close();

  uint8_t Version() const { return version_; }
  uint32_t RecordCount() const { return recordCount_; }
  // Header byte 29: the code page of the texts.
  uint8_t CodePage() const { return codePage_; }
  const std::vector<TDbfField>& Fields() const { return fields_; }

  // Reads record r (1 .. RecordCount()). Answers 0 or 2 (reported).
  int ReadRecord(uint32_t r);
  // The record read last is flagged deleted.
  bool RecordDeleted() const { return record_[0] == kRecordDeleted; }
  // The bytes of field i (0-based) of the record read last.
  std::string_view FieldBytes(size_t i) const;
  // The text of the memo that a memo field's bytes name: empty for blanks or
  // block 0. isText turns false (and text stays empty) for an FPT memo of a
  // binary kind. Answers 0, 117 when the field holds no block number, or 2
  // when the block lies outside the memo file (reported).
  int ReadMemo(std::string_view fieldBytes, std::string& text, bool& isText);

 private:
  int ReadHeader();
  int OpenMemoFile(std::string_view dbfName);
  int Fail(uint16_t error, const LOWFILES::TLowFile& file);

  LOWFILES::TLowFile dbf_;
  LOWFILES::TLowFile memo_;
  uint64_t dbfSize_ = 0;
  uint64_t memoSize_ = 0;
  uint8_t version_ = 0;
  uint8_t codePage_ = 0;
  uint32_t recordCount_ = 0;
  uint32_t headerSize_ = 0;
  uint32_t recordSize_ = 0;
  std::vector<TDbfField> fields_;
  std::vector<uint8_t> record_;
  uint32_t memoBlockSize_ = kDbtBlockSize;
  bool memoHeaders_ = false;   // each memo starts with a header of 8 bytes
  bool memoBigEndian_ = false; // FPT: its numbers are big-endian
};

// Writes a DBF file (dBase III) and, with a memo field, its DBT. Files that
// are not finished are closed as they are when the writer goes.
class TDbfWriter {
 public:
  TDbfWriter() = default;
  TDbfWriter(const TDbfWriter&) = delete;
  TDbfWriter& operator=(const TDbfWriter&) = delete;

  // Creates the DBF file (and the DBT beside it when a field has type M) and
  // writes the header. Answers 0, 117 when the record would pass 65535
  // bytes, or 3 (reported with the file's name).
  int Create(std::string_view dbfName, std::vector<TDbfField> fields);
  const std::vector<TDbfField>& Fields() const { return fields_; }
  // The record to fill: the deletion byte (blank) and blanks.
  uint8_t* Record() { return record_.data(); }
  // Appends the record and blanks it again. Answers 0 or 3 (reported).
  int AppendRecord();
  // Writes text as a new memo; block is its first block. Answers 0 or 3.
  int WriteMemo(std::string_view text, uint32_t& block);
  // Writes the record count, the end mark and the DBT's next free block,
  // and closes the files. Answers 0 or 3 (reported).
  int Finish();

 private:
  int WriteOrFail(LOWFILES::TLowFile& file, uint64_t position, const uint8_t* data, size_t count);

  LOWFILES::TLowFile dbf_;
  LOWFILES::TLowFile dbt_;
  bool hasMemo_ = false;
  std::vector<TDbfField> fields_;
  std::vector<uint8_t> record_;
  uint32_t headerSize_ = 0;
  uint32_t recordCount_ = 0;
  uint32_t nextMemoBlock_ = 1;
};

}  // namespace DbfUtil
