// Temporary input files for the reader tests, and catching a run stop.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "hdfe/error.h"

namespace hdfe {

// A fixture with a fresh temporary directory per test, removed afterwards.
class InputFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir =
        std::filesystem::temp_directory_path() / ("hdfe_input_" + std::to_string(::getpid()) + "_" +
                                                  info->test_suite_name() + "_" + info->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  // Writes `bytes` unchanged to the file `name` in the directory; returns its path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path path = dir / std::string(name);
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return path.string();
  }

  std::string Missing() const { return (dir / "missing.txt").string(); }

  std::filesystem::path dir;
};

// Runs f, which must stop the run; returns the stop (empty with a failure otherwise).
template <class F>
Error StopOf(F f) {
  try {
    f();
  } catch (const Error& stop) {
    return stop;
  }
  ADD_FAILURE() << "the run did not stop";
  return Error(ErrorKind::BadValue, "");
}

// The stop expected from a reader: its message, without details, and its kind.
inline void ExpectStop(const Error& stop, const std::string& message, ErrorKind kind) {
  EXPECT_EQ(stop.message(), message);
  EXPECT_EQ(stop.what(), message);
  EXPECT_TRUE(stop.details().empty());
  EXPECT_EQ(stop.kind(), kind);
}

}  // namespace hdfe
