#include "engine/interface/textparser.h"

#include <algorithm>
#include <cstring>

namespace TextTransfer {

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr const char* kCutShortText = "Unexpected end of file.";

TTextFileParser::TTextFileParser(std::string fileName, char quote, char separator)
    : fileName_(std::move(fileName)), quote_(quote), separator_(separator) {}

TTextFileParser::~TTextFileParser() {
  if (open_) platform::CloseFile(file_);
}

int TTextFileParser::Open() {
  const int error = platform::OpenFile(fileName_, platform::kAccessRead | platform::kShareDenyNone, file_);
  if (error != 0) return error;
  open_ = true;
  platform::FileSize(file_, fileSize_);
  buffer_ = std::make_unique<char[]>(kBufferSize);
  end_ = false;
  Next();
  return 0;
}

void TTextFileParser::Fill() {
  size_t got = 0;
  if (end_ || !open_ || platform::ReadAt(file_, filePosition_, buffer_.get(), kBufferSize, got) != 0 || got == 0) {
    current_ = 0;
    end_ = true;
    return;
  }
  filePosition_ += got;
  len_ = got;
  pos_ = 0;
  Next();
}

void TTextFileParser::Expect(char c) {
  if (c != 0 && (AtEnd() || current_ != c)) throw ETextFileParser(std::string(1, c) + " expected.");
  Next();
}

void TTextFileParser::ReadQuoted(std::string& field) {
  inQuotes_ = true;
  Next();  // the opening quote
  for (;;) {
    if (AtEnd()) {
      inQuotes_ = false;
      throw ETextFileParser(std::string(1, quote_) + " expected.");
    }
    if (current_ == quote_) {
      // The character after a closing quote stands outside the field.
      inQuotes_ = false;
      Next();
      if (AtEnd() || current_ != quote_) return;
      inQuotes_ = true;
    }
    field += current_;
    Next();
  }
}

void TTextFileParser::ThrowWhenCutShort() const {
  if (cutShort_) throw ETextFileParser(kCutShortText);
}

void TTextFileParser::ReadUnquoted(std::string& field) {
  while (!AtEnd()) {
    if (current_ == separator_ || current_ == kCR || current_ == kLF) return;
    // The current character is buffer_[pos_ - 1]: take the run of ordinary
    // characters that follows it in the buffer at once.
    size_t p = pos_;
    while (p < len_) {
      const char c = buffer_[p];
      if (c == separator_ || c == kCR || c == kLF || c == 26 || c == 0) break;
      ++p;
    }
    field.append(buffer_.get() + pos_ - 1, p - pos_ + 1);
    pos_ = p;
    Next();
  }
}

int TTextFileParser::ReadLine(std::vector<std::string>& fields) {
  // The strings of the fields are reused from line to line.
  size_t count = 0;
  const auto nextField = [&]() -> std::string& {
    if (count == fields.size()) fields.emplace_back();
    std::string& field = fields[count++];
    field.clear();
    return field;
  };
  if (state_ != 0) {
    fields.clear();
    return state_;
  }
  if (AtEnd()) {
    fields.clear();
    state_ = 1;
    if (cutShort_) {
      errorText_ = kCutShortText;
      state_ = -1;
    }
    return state_;
  }
  const bool lineEndSeparates = separator_ == kCR;
  try {
    for (;;) {
      std::string& field = nextField();
      if (!AtEnd() && current_ == quote_)
        ReadQuoted(field);
      else
        ReadUnquoted(field);
      if (AtEnd()) {
        ThrowWhenCutShort();
        break;
      }
      if (lineEndSeparates && (current_ == kCR || current_ == kLF)) {
        if (current_ == kCR) Next();
        if (!AtEnd() && current_ == kLF) Next();
        if (AtEnd()) break;
        continue;
      }
      if (current_ == separator_) {
        Next();
        continue;
      }
      if (current_ == kCR) {
        Next();
        if (!AtEnd() && current_ == kLF) Next();
        break;
      }
      if (current_ == kLF) {
        Next();
        break;
      }
      Expect(separator_);  // a stray character after a closing quote
    }
  } catch (const ETextFileParser& e) {
    errorText_ = e.what();
    fields.clear();
    state_ = -1;
    return state_;
  }
  fields.resize(count);
  return state_;
}

void AppendValue(std::string& line, std::string_view value, char separator, bool quoteAll) {
  const bool quote = quoteAll || std::any_of(value.begin(), value.end(), [separator](char c) {
                       return c == separator || c == kQuote || c == kCR || c == kLF || c == 26 || c == 0;
                     });
  if (!quote) {
    line += value;
    return;
  }
  line += kQuote;
  for (char c : value) {
    if (c == kQuote) line += kQuote;
    line += c;
  }
  line += kQuote;
}

TTextFileWriter::~TTextFileWriter() { Close(); }

int TTextFileWriter::Create(std::string_view name) {
  error_ = platform::CreateFile(name, platform::kAccessReadWrite | platform::kShareDenyWrite, file_);
  open_ = error_ == 0;
  buffer_.reserve(kBufferSize);
  return error_;
}

void TTextFileWriter::Flush() {
  if (!open_ || buffer_.empty()) return;
  if (error_ == 0) {
    error_ = platform::WriteAt(file_, position_, buffer_.data(), buffer_.size());
    position_ += buffer_.size();
  }
  buffer_.clear();
}

void TTextFileWriter::Write(std::string_view text) {
  if (buffer_.size() + text.size() > kBufferSize) Flush();
  if (text.size() >= kBufferSize) {
    buffer_ = text;
    Flush();
    return;
  }
  buffer_ += text;
}

int TTextFileWriter::Close() {
  if (!open_) return error_;
  Flush();
  if (platform::CloseFile(file_) != 0 && error_ == 0) error_ = platform::kDosWriteFault;
  open_ = false;
  return error_;
}

}  // namespace TextTransfer
