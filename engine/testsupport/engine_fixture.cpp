#include "engine/testsupport/engine_fixture.h"

#include <stdlib.h>

#include "engine/units.h"

namespace zettest {

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zettest-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void EngineTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zettest-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  ASSERT_NE(made, nullptr);
  tempDir_ = made;
  Units::StartEngine();
}

void EngineTest::TearDown() {
  Units::StopEngine();
  std::error_code ec;
  std::filesystem::remove_all(tempDir_, ec);
}

std::string EngineTest::TempPath(const std::string& name) const { return (tempDir_ / name).string(); }

}  // namespace zettest
