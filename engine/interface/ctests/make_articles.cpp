// Makes the empty article table that the C test opens: make_articles <path>.
// The table key is printed so that the test can pass it on.
#include <cstdio>
#include <filesystem>

#include "engine/storage/tests/editing_test_util.h"
#include "engine/units.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path path(argv[1]);
  std::filesystem::remove_all(path.parent_path());
  std::filesystem::create_directories(path.parent_path());
  Units::StartEngine();
  editing_test::CreateArticles(path.string());
  Units::StopEngine();
  return std::filesystem::exists(path) ? 0 : 1;
}
