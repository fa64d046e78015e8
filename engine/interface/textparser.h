// Delimited text files: the reader that splits a file into lines of fields,
// and the writer's rule for one value.
//
// The format, as written and read here:
//   - A line is a sequence of fields separated by the separator character;
//     it ends at CR, LF or CR LF.
//   - A field that begins with a quote runs to the closing quote; separators,
//     CR and LF inside it belong to it, and two quotes in a row stand for one
//     quote. Only the separator, a line end or the end of the input may
//     follow the closing quote.
//   - A field that does not begin with a quote runs up to the next separator,
//     CR, LF or the end of the input; quotes inside it belong to it.
//   - With the separator CR every line end separates fields, so the whole
//     input is one line (one record) of one field per text line.
//   - The end of the file, a character 26 (Ctrl+Z) or a character 0 outside
//     quotes ends the input. A line end right before the end starts no
//     further line (a final line end adds nothing); an empty line inside the
//     input is a line of one empty field. Inside quotes both are characters
//     of the field. A 26 or 0 that more bytes of the file follow ends the
//     input early: that is a syntax error (state -1), and the line it cut
//     short is not returned.
//   - The writer quotes a value that holds the separator, a quote, CR, LF,
//     26 or 0 (every value when asked to), doubling its quotes; so whatever
//     it wrote reads back as the same values.
//
// What always holds:
//   1. The reader holds one look-ahead character and an 8,192-byte buffer;
//      it never reads outside the buffer's filled part, whatever the input.
//   2. State: 0 after a line was read, 1 at the end of the input, -1 after a
//      syntax error (a missing closing quote, a stray character after one);
//      once it is 1 or -1 no further line is read.
//   3. A syntax error leaves the fields of the broken line unused: the caller
//      keeps what it took from the lines before.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace TextTransfer {

inline constexpr size_t kBufferSize = 8192;
inline constexpr char kQuote = '"';

// A syntax error of the text file, with its message ("c expected.").
class ETextFileParser : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TTextFileParser {
 public:
  TTextFileParser(std::string fileName, char quote, char separator);
  ~TTextFileParser();
  TTextFileParser(const TTextFileParser&) = delete;
  TTextFileParser& operator=(const TTextFileParser&) = delete;

  // Opens the file and reads the first character: 0 or the DOS error.
  int Open();
  // Reads the next line into fields (their number is fields.size()).
  // Answers 0, 1 at the end of the input, -1 after a syntax error.
  int ReadLine(std::vector<std::string>& fields);
  int State() const { return state_; }
  // The syntax error's message (empty before one).
  const std::string& ErrorText() const { return errorText_; }
  // Where the reading stands and how long the file is, in blocks of 8,192
  // bytes, for progress reports.
  int32_t PositionBlocks() const { return int32_t(filePosition_ / kBufferSize); }
  int32_t SizeBlocks() const { return int32_t(fileSize_ / kBufferSize); }

 private:
  void Fill();
  void Next() {
    if (pos_ < len_) {
      current_ = buffer_[pos_++];
      if (!inQuotes_ && (current_ == 26 || current_ == 0)) {
        end_ = true;
        cutShort_ = pos_ < len_ || filePosition_ < fileSize_;
      }
    } else {
      Fill();
    }
  }
  bool AtEnd() const { return end_; }
  void Expect(char c);
  void ReadQuoted(std::string& field);
  void ReadUnquoted(std::string& field);
  // A syntax error when the input ended at a 26 or 0 before the file's end.
  void ThrowWhenCutShort() const;

  std::string fileName_;
  char quote_;
  char separator_;
  platform::FileHandle file_{};
  bool open_ = false;
  std::unique_ptr<char[]> buffer_;
  size_t pos_ = 0;
  size_t len_ = 0;
  uint64_t filePosition_ = 0;
  uint64_t fileSize_ = 0;
  char current_ = 0;
  bool end_ = true;
  bool inQuotes_ = false;  // 26 and 0 are characters of a quoted field
  bool cutShort_ = false;  // the input ended at a 26 or 0 before the file's end
  int state_ = 0;
  std::string errorText_;
};

// Appends value to line as the writer writes it: quoted when quoteAll or
// when it holds the separator, a quote, CR, LF, 26 or 0, its quotes doubled.
void AppendValue(std::string& line, std::string_view value, char separator, bool quoteAll);

// A file written through an 8,192-byte buffer; the first failure sticks.
class TTextFileWriter {
 public:
  TTextFileWriter() = default;
  ~TTextFileWriter();
  TTextFileWriter(const TTextFileWriter&) = delete;
  TTextFileWriter& operator=(const TTextFileWriter&) = delete;
  // Creates the file: 0 or the DOS error.
  int Create(std::string_view name);
  void Write(std::string_view text);
  // Writes the buffer out and closes the file: 0, or the first failure.
  int Close();
  bool Failed() const { return error_ != 0; }

 private:
  void Flush();
  platform::FileHandle file_{};
  bool open_ = false;
  std::string buffer_;
  uint64_t position_ = 0;
  int error_ = 0;
};

}  // namespace TextTransfer
