// Where a test writes its files: a folder of the running test's own, since ctest runs the tests
// of one file side by side and two tests of a fixture must not empty each other's folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace znr::test {

inline std::filesystem::path test_folder(const std::string& fixture) {
  return std::filesystem::path(ZELNARY_TEST_OUTPUT_DIR) / fixture /
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

}  // namespace znr::test
