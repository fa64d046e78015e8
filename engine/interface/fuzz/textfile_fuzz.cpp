// The delimited-text reader over any bytes: it must stay inside its buffer,
// end on every input, and whatever lines it reads must come back the same
// when the writer's quoting writes them again and the reader reads that.
//
// Input: separator byte (% 3: ";", ",", CR), then the file.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/interface/textparser.h"
#include "engine/testsupport/fuzz_file.h"

namespace {

using Lines = std::vector<std::vector<std::string>>;

Lines ReadAll(const std::string& path, char separator, int& state) {
  TextTransfer::TTextFileParser parser(path, TextTransfer::kQuote, separator);
  Lines lines;
  if (parser.Open() != 0) abort();
  std::vector<std::string> fields;
  while (parser.ReadLine(fields) == 0) {
    if (fields.empty()) abort();  // a line has at least one field
    lines.push_back(fields);
  }
  state = parser.State();
  if (state != 1 && state != -1) abort();
  if (parser.ReadLine(fields) != state || !fields.empty()) abort();  // the end stays the end
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char kSeparators[] = {';', ',', '\r'};
  const char separator = kSeparators[data[0] % 3];
  int state = 0;
  Lines lines;
  {
    zetfuzz::InputFile input(data + 1, size - 1, ".TXT");
    lines = ReadAll(input.path(), separator, state);
  }
  if (separator == '\r' && lines.size() > 1) abort();  // line ends separate fields: one line
  // Write what was read, read it again.
  std::string text;
  for (const auto& line : lines) {
    for (size_t i = 0; i < line.size(); ++i) {
      if (i > 0) text += separator == '\r' ? std::string("\r\n") : std::string(1, separator);
      TextTransfer::AppendValue(text, line[i], separator, false);
    }
    text += "\r\n";
  }
  zetfuzz::InputFile again(reinterpret_cast<const uint8_t*>(text.data()), text.size(), ".TXT");
  int stateAgain = 0;
  if (ReadAll(again.path(), separator, stateAgain) != lines || stateAgain != 1) abort();
  return 0;
}
