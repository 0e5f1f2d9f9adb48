// The information file and its date record.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "clock.h"
#include "program.h"
#include "hdfe/error.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

std::tm At(int year, int month, int day, int wday, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_wday = wday;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(DateText, TwentyFourCharactersWithLeadingZeros) {
  EXPECT_EQ(date_text(At(2026, 12, 7, 1, 0, 5, 26)), "Mon Dec 07 00:05:26 2026");
  EXPECT_EQ(date_text(At(2027, 1, 31, 0, 23, 59, 59)), "Sun Jan 31 23:59:59 2027");
  EXPECT_EQ(date_text(At(2026, 7, 4, 6, 9, 0, 0)).size(), 24u);
}

TEST(InfoFile, SecondRunReplacesTheFirst) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-info-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string out = (dir / "res").string();
  write_info(out, At(2026, 12, 6, 0, 12, 0, 0));
  write_info(out, At(2026, 12, 7, 1, 0, 5, 26));
  EXPECT_EQ(Bytes(out + "_info.txt"), " Version 20221014\r\n Mon Dec 07 00:05:26 2026\r\n");
  fs::remove_all(dir);
}

TEST(InfoFile, UnwritableNameStopsWithFailureStatus) {
  try {
    write_info("/nonexistent-folder/res", At(2026, 12, 7, 1, 0, 5, 26));
    FAIL() << "no stop";
  } catch (const Error& stop) {
    EXPECT_EQ(stop.kind(), ErrorKind::CannotWrite);
    EXPECT_EQ(stop.what(),
              std::string("Cannot write information file [ /nonexistent-folder/res_info.txt ]: No such file or directory"));
  }
}

}  // namespace

}  // namespace hdfe
