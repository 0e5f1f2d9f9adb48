// All-or-nothing replacement of the output files.
#include "hdfe/output.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "hdfe/error.h"
#include "errorrecords.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

class AtomicWrite : public testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("hdfe-atomic-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Path(const std::string& name) const { return (dir / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
  // Every entry of the folder (links not followed) with its bytes.
  std::map<std::string, std::string> Folder() const {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
      std::string bytes = "<not a file>";
      if (e.is_symlink()) {
        bytes = "<link to " + fs::read_symlink(e.path()).string() + ">";
      } else if (e.is_regular_file()) {
        std::ifstream in(e.path(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        bytes = s.str();
      }
      entries[e.path().filename().string()] = bytes;
    }
    return entries;
  }
  // The stop line of a commit, or "" when it succeeds.
  std::string Commit(std::span<const OutputFile> files, const WriteProbe& probe = {}) const {
    try {
      commit_files(files, probe);
    } catch (const Error& stop) {
      EXPECT_EQ(error_status(stop), 1);
      return error_records(stop).at(0);
    }
    return "";
  }
  std::string Refusal(const std::string& name) const {
    try {
      check_replaceable(name);
    } catch (const Error& stop) {
      EXPECT_EQ(error_status(stop), 1);
      return error_records(stop).at(0);
    }
    return "";
  }

  fs::path dir;
};

TEST_F(AtomicWrite, ReplacesEveryFileAndLeavesNoTemporary) {
  Write("res.txt", std::string(100000, 'o'));
  Write("res.txt_info.txt", "old info");
  const std::array<OutputFile, 2> files{OutputFile{Path("res.txt_info.txt"), "new info", "information file"},
                                        OutputFile{Path("res.txt"), std::string(200000, 'n')}};
  EXPECT_EQ(Commit(files), "");
  const std::map<std::string, std::string> expected{{"res.txt", std::string(200000, 'n')},
                                                    {"res.txt_info.txt", "new info"}};
  EXPECT_EQ(Folder(), expected);
}

TEST_F(AtomicWrite, AFailedWriteAnywhereLeavesEveryEarlierFileAsItWas) {
  Write("res.txt", std::string(70000, 'o'));
  Write("res.txt_info.txt", "old info");
  const auto before = Folder();
  const std::array<OutputFile, 2> files{OutputFile{Path("res.txt_info.txt"), "new info", "information file"},
                                        OutputFile{Path("res.txt"), std::string(300000, 'n')}};
  // Fail the first, a middle and the last block: the information file is complete by then.
  for (const int failing : {1, 2, 4, 6}) {
    int calls = 0;
    const std::string line = Commit(files, [&](const std::string&) { return ++calls != failing; });
    const std::string failed = failing == 1 ? Path("res.txt_info.txt") + " ]" : Path("res.txt") + " ]";
    EXPECT_EQ(line, std::string(failing == 1 ? " Cannot write information file [ " : " Cannot write output file [ ") +
                        failed + ": No space left on device");
    EXPECT_EQ(Folder(), before) << "failing block " << failing;
  }
}

TEST_F(AtomicWrite, AReplacedFileKeepsItsPermissions) {
  Write("res.txt", "old");
  fs::permissions(dir / "res.txt", fs::perms::owner_read | fs::perms::owner_write);
  const std::array<OutputFile, 1> files{OutputFile{Path("res.txt"), "new"}};
  EXPECT_EQ(Commit(files), "");
  EXPECT_EQ(fs::status(dir / "res.txt").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(AtomicWrite, ASymbolicLinkIsReplacedNotFollowed) {
  Write("target.txt", "kept");
  fs::create_symlink(dir / "target.txt", dir / "res.txt");
  fs::create_symlink(dir / "nowhere" / "x", dir / "dangling.txt");
  EXPECT_EQ(Refusal(Path("res.txt")), "");
  EXPECT_EQ(Refusal(Path("dangling.txt")), "");
  const std::array<OutputFile, 2> files{OutputFile{Path("res.txt"), "new"}, OutputFile{Path("dangling.txt"), "new"}};
  EXPECT_EQ(Commit(files), "");
  const std::map<std::string, std::string> expected{{"target.txt", "kept"}, {"res.txt", "new"}, {"dangling.txt", "new"}};
  EXPECT_EQ(Folder(), expected);
}

TEST_F(AtomicWrite, WhatIsNotARegularFileIsRefusedBeforeAnythingIsWritten) {
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  fs::create_symlink(dir / "folder", dir / "link-to-folder");
  const auto before = Folder();
  for (const std::string name : {"folder", "fifo", "link-to-folder"}) {
    EXPECT_EQ(Refusal(Path(name)), " Cannot write output file [ " + Path(name) + " ]: it is not a regular file");
  }
  EXPECT_EQ(Refusal("/dev/null"), " Cannot write output file [ /dev/null ]: it is not a regular file");
  // Whatever standard output is (a terminal, a pipe or a regular file), its name is no file.
  for (const std::string name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "/dev/stdout_info.txt"}) {
    EXPECT_NE(Refusal(name), "") << name;
  }
  // Their folders are found through links and dots, and for names in folders not there yet;
  // a folder that only begins like one of them is a folder of files.
  fs::create_symlink("/dev", dir / "devices");
  fs::create_directory(dir / "proc");
  for (const std::string& name : {Path("devices/new.txt"), Path("devices/./pts/../x.txt"), std::string("/proc/none/x.txt"),
                                 std::string("/dev/pts/none/x.txt")}) {
    EXPECT_EQ(Refusal(name), " Cannot write output file [ " + name + " ]: it is a device or process entry, not a file")
        << name;
  }
  EXPECT_EQ(Refusal(Path("proc/new.txt")), "");
  fs::remove(dir / "devices");
  fs::remove(dir / "proc");
  EXPECT_EQ(Folder(), before);
}

// A streamed file (the batch summary) replaces its target whole, or not at all.
TEST_F(AtomicWrite, StreamedFileAppearsWholeOnCommitOnly) {
  Write("summary.csv", "earlier summary\n");
  const std::string row(1000, 'r');
  {
    StreamedFile file(Path("summary.csv"));
    for (int k = 0; k < 100; ++k) file.write(row);  // past one block, so some reach the disk
    EXPECT_EQ(Folder().at("summary.csv"), "earlier summary\n");
  }  // abandoned, as when a batch stops
  EXPECT_EQ(Folder(), (std::map<std::string, std::string>{{"summary.csv", "earlier summary\n"}}));
  {
    StreamedFile file(Path("summary.csv"));
    for (int k = 0; k < 100; ++k) file.write(row);
    file.commit();
  }
  EXPECT_EQ(Folder(), (std::map<std::string, std::string>{{"summary.csv", std::string(100000, 'r')}}));
  fs::create_directory(dir / "folder");
  EXPECT_THROW(StreamedFile(Path("folder")), Error);
}

}  // namespace

}  // namespace hdfe
