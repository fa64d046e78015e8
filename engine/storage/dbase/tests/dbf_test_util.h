// Helpers of the dBase tests: independent readers and writers of DBF files
// run as Python scripts (Debian's python3-dbfread and python3-dbf), and small
// byte builders for hand-made files.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dbf_test {

// The system's Python, which has the Debian modules.
inline constexpr const char* kPython = "/usr/bin/python3";

struct ScriptResult {
  int status = -1;
  std::string output;  // standard output and standard error
};

// Writes script into dir and runs it there with the system's Python.
inline ScriptResult RunPython(const std::filesystem::path& dir, const std::string& script) {
  const std::filesystem::path file = dir / "check.py";
  std::ofstream(file, std::ios::binary) << script;
  const std::string command = std::string(kPython) + " '" + file.string() + "' 2>&1";
  ScriptResult result;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  result.status = pclose(pipe);
  return result;
}

inline void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A field of a hand-made DBF file.
struct RawField {
  std::string name;
  char type;
  uint8_t length;
  uint8_t decimals = 0;
};

// A dBase III style file: header, descriptors, 0x0D, records (each given
// without its deletion byte), 0x1A.
inline std::vector<uint8_t> MakeDbf(uint8_t version, const std::vector<RawField>& fields,
                                    const std::vector<std::string>& records) {
  const size_t headerSize = 32 * (fields.size() + 1) + 1;
  size_t recordSize = 1;
  for (const RawField& f : fields) recordSize += f.length;
  std::vector<uint8_t> data(headerSize, 0);
  data[0] = version;
  data[4] = uint8_t(records.size());
  data[5] = uint8_t(records.size() >> 8);
  data[8] = uint8_t(headerSize);
  data[9] = uint8_t(headerSize >> 8);
  data[10] = uint8_t(recordSize);
  data[11] = uint8_t(recordSize >> 8);
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* d = &data[32 * (i + 1)];
    for (size_t k = 0; k < fields[i].name.size() && k < 10; ++k) d[k] = uint8_t(fields[i].name[k]);
    d[11] = uint8_t(fields[i].type);
    d[16] = fields[i].length;
    d[17] = fields[i].decimals;
  }
  data[headerSize - 1] = 0x0D;
  for (const std::string& r : records) {
    EXPECT_EQ(r.size() + 1, recordSize) << r;
    data.push_back(' ');
    data.insert(data.end(), r.begin(), r.end());
  }
  data.push_back(0x1A);
  return data;
}

}  // namespace dbf_test
