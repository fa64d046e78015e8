// qrc: compiles .qrc resource scripts into one C++ source that registers the
// resources with the program.
//
//   qrc -o resources.cpp a.qrc b.qrc ...
//
// Any error (bad script, text outside Windows-1252, unreadable picture,
// duplicate type and id across all the scripts) prints "file:line: what" and
// exits with 1 without writing the output, so the build stops.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/resources/qrc/reader.h"

namespace {

bool ReadWhole(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string output;
  qrc::Compiler compiler;
  try {
    int i = 1;
    if (argc >= 3 && std::string(argv[1]) == "-o") {
      output = argv[2];
      i = 3;
    }
    if (output.empty() || i >= argc) {
      std::fprintf(stderr, "usage: qrc -o output.cpp input.qrc...\n");
      return 2;
    }
    for (; i < argc; ++i) {
      std::string text;
      if (!ReadWhole(argv[i], text)) throw qrc::Error(std::string(argv[i]) + ": cannot read");
      compiler.AddScript(text, argv[i], ReadWhole);
    }
  } catch (const qrc::Error& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::string source = qrc::GenerateSource(compiler.Resources());
  std::string existing;
  // Rewriting an unchanged file would make the build recompile it.
  if (ReadWhole(output, existing) && existing == source) return 0;
  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out << source;
  if (!out.flush()) {
    std::fprintf(stderr, "%s: cannot write\n", output.c_str());
    return 1;
  }
  return 0;
}
