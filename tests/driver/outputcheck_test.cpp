// The check of the output names, made before the information file is written.
#include "outputcheck.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "hdfe/error.h"
#include "errorrecords.h"
#include "hdfe/textfield.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

class OutputCheck : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("hdfe-outputcheck-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    vehicle.files = {{"spec", "spec.txt", dir / "spec.txt", ""}, {"fuel_map", "map.txt", dir / "map.txt", ""}};
    Write("spec.txt", "spec");
    Write("map.txt", "map");
  }
  void TearDown() override { fs::remove_all(dir); }

  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir / name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The stop line for the output name `name` in the folder, or "" when the check passes.
  std::string StopFor(const std::string& name) {
    try {
      check_output((dir / name).string(), vehicle);
    } catch (const Error& stop) {
      EXPECT_EQ(error_status(stop), 1);
      return error_records(stop).at(0);
    }
    return "";
  }
  std::string Line(const std::string& name) {
    return " Cannot write output file [ " + (dir / name).string() + " ]";
  }

  fs::path dir;
  Vehicle vehicle;
};

TEST_F(OutputCheck, NewAndExistingFilesPassAndStayAsTheyWere) {
  EXPECT_EQ(StopFor("new.txt"), "");
  EXPECT_FALSE(fs::exists(dir / "new.txt"));
  EXPECT_FALSE(fs::exists(dir / "new.txt_info.txt"));
  Write("old.txt", "earlier results");
  Write("old.txt_info.txt", "earlier info");
  EXPECT_EQ(StopFor("old.txt"), "");
  EXPECT_EQ(Read("old.txt"), "earlier results");
  EXPECT_EQ(Read("old.txt_info.txt"), "earlier info");
}

TEST_F(OutputCheck, FoldersAndMissingFoldersAreRefused) {
  EXPECT_EQ(StopFor("nofolder/result.txt"), Line("nofolder/result.txt"));
  fs::create_directory(dir / "folder");
  EXPECT_EQ(StopFor("folder"), Line("folder"));
  fs::create_directory(dir / "out.txt_info.txt");
  EXPECT_EQ(StopFor("out.txt"), Line("out.txt_info.txt"));
  EXPECT_FALSE(fs::exists(dir / "out.txt"));
}

TEST_F(OutputCheck, InputFilesAreNeverOverwritten) {
  EXPECT_EQ(StopFor("map.txt"), Line("map.txt") + ": it is an input file of the run");
  fs::create_symlink(dir / "spec.txt", dir / "link.txt");
  EXPECT_EQ(StopFor("link.txt"), Line("link.txt") + ": it is an input file of the run");
  Write("x_info.txt", "an input");
  vehicle.files.push_back({"engine", "x_info.txt", dir / "x_info.txt", ""});
  EXPECT_EQ(StopFor("x"), Line("x_info.txt") + ": it is an input file of the run");
  EXPECT_EQ(Read("spec.txt"), "spec");
  EXPECT_EQ(Read("x_info.txt"), "an input");
  // Nor is the results file the information file.
  Write("same.txt", "earlier results");
  fs::create_symlink(dir / "same.txt", dir / "same.txt_info.txt");
  EXPECT_EQ(StopFor("same.txt"), Line("same.txt"));
  fs::remove(dir / "same.txt_info.txt");
  fs::create_hard_link(dir / "same.txt", dir / "same.txt_info.txt");
  EXPECT_EQ(StopFor("same.txt"), Line("same.txt"));
  EXPECT_EQ(Read("same.txt"), "earlier results");
}

TEST_F(OutputCheck, ANameWithANulIsRefused) {
  EXPECT_EQ(StopFor(std::string("out\0x", 5)), Line(std::string("out\0x", 5)));
  EXPECT_FALSE(fs::exists(dir / "out"));
}

}  // namespace

}  // namespace hdfe
