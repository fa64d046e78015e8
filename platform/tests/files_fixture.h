// A fresh directory per test for the file tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace platformtest {

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "zetplatformXXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base_ = pattern;
    platform::ResetFileFaults();
  }
  void TearDown() override {
    platform::ResetFileFaults();
    std::filesystem::remove_all(base_);
  }

  // The temporary directory is plain ASCII, so the same text serves as the
  // engine's name and as the system's.
  std::string Path(std::string_view relative) const { return base_ + "/" + std::string(relative); }

  // Makes a file (and its directories) by the system name given in UTF-8.
  void MakeFile(std::string_view relative, std::string_view content = "") const {
    std::filesystem::path path = Path(relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  std::string ReadAll(std::string_view name) const {
    platform::FileHandle handle;
    EXPECT_EQ(platform::OpenFile(name, platform::kAccessRead | platform::kShareDenyNone, handle), 0);
    std::string text(1024, '\0');
    size_t got = 0;
    EXPECT_EQ(platform::ReadAt(handle, 0, text.data(), text.size(), got), 0);
    platform::CloseFile(handle);
    text.resize(got);
    return text;
  }

  std::string base_;
};

}  // namespace platformtest
