// What the file-writing tests share: a fresh folder of their own, and reading a file back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace kettorin::testing_support {

// Each test gets an empty folder named after it (and the process), removed afterwards.
class TempFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("kettorin-" + std::to_string(::getpid()) + "-" +
               testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
};

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What a parameterised case's PrintTo prints: its fields, comma-separated. Without a printer
// gtest shows a case as its raw bytes, pointers and padding included, and those bytes become part
// of the test's name in ctest, different from one run to the next.
template <class First, class... Rest>
void PrintFields(std::ostream* os, const First& first, const Rest&... rest) {
  *os << testing::PrintToString(first);
  ((*os << ", " << testing::PrintToString(rest)), ...);
}

}  // namespace kettorin::testing_support
