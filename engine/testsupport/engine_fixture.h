// Test support shared by the engine's test programs.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace zettest {

// Starts the engine through the unit table before each test and stops it
// afterwards, so no unit state leaks from one test into the next. Each test
// also gets an empty temporary directory of its own.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test's own directory, removed after the test.
  const std::filesystem::path& TempDir() const { return tempDir_; }
  // A path inside TempDir() as text.
  std::string TempPath(const std::string& name) const;

 private:
  std::filesystem::path tempDir_;
};

// A temporary directory that removes itself, for tests that need no engine.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace zettest
