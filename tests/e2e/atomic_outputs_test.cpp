// The output files of whole runs that are killed, or that race another run for the same
// name: every file is either the earlier one or a complete new one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/run_case.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

const fs::path Examples = fs::path(HDFE_SOURCE_DIR) / "examples";
const fs::path Approved = fs::path(HDFE_SOURCE_DIR) / "tests/e2e/approved";

fs::path Scratch(const std::string& what) {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-" + what + "-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

// Starts the fixed-clock program in `dir` with standard input closed and its output dropped.
pid_t Start(const fs::path& dir, const std::string& output) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (::chdir(dir.c_str()) != 0 || null < 0) ::_exit(127);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::close(0);
    ::execl(HDFE_FIXEDCLOCK_BINARY, HDFE_FIXEDCLOCK_BINARY, "spec.txt", output.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// The names in the folder that are not inputs of the example.
std::vector<std::string> Added(const fs::path& dir, const fs::path& example) {
  std::vector<std::string> added;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (!fs::exists(example / name)) added.push_back(name);
  }
  return added;
}

TEST(AtomicOutputs, AKilledRunLeavesTheEarlierOrTheNewCompleteFiles) {
  const std::string example = "tractor_TT1_325kW_AMT12";  // with traces: 286 kB of results
  const fs::path dir = Scratch("killed") / "run";
  fs::copy(Examples / example, dir);
  const std::string newResults = ReadFileBytes(Approved / example / "result.txt");
  const std::string newInfo = ReadFileBytes(Approved / example / "result.txt_info.txt");
  const std::string oldResults = "earlier results\r\n";
  const std::string oldInfo = "earlier info\r\n";

  const auto start = std::chrono::steady_clock::now();
  Wait(Start(dir, "result.txt"));
  const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);

  std::mt19937 random(20261207);
  std::uniform_int_distribution<long> moment(0, whole.count() * 5 / 4);
  int newPairs = 0, oldPairs = 0, killedWhileRenaming = 0;
  for (int attempt = 0; attempt < 80; ++attempt) {
    std::ofstream(dir / "result.txt", std::ios::binary) << oldResults;
    std::ofstream(dir / "result.txt_info.txt", std::ios::binary) << oldInfo;
    const int signal = attempt % 2 == 0 ? SIGKILL : SIGTERM;
    const pid_t pid = Start(dir, "result.txt");
    std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
    ::kill(pid, signal);
    Wait(pid);
    const std::string results = ReadFileBytes(dir / "result.txt");
    const std::string info = ReadFileBytes(dir / "result.txt_info.txt");
    ASSERT_TRUE(results == oldResults || results == newResults) << "attempt " << attempt << ": "
                                                                << results.size() << " bytes";
    ASSERT_TRUE(info == oldInfo || info == newInfo) << "attempt " << attempt;
    // The results file is replaced last: new results never stand beside the earlier information.
    ASSERT_FALSE(results == newResults && info == oldInfo) << "attempt " << attempt;
    if (results == newResults) ++newPairs;
    if (info == oldInfo) ++oldPairs;
    if (results == oldResults && info == newInfo) ++killedWhileRenaming;
    // Only a SIGKILL between naming a finished temporary and renaming it can leave one.
    for (const std::string& name : Added(dir, Examples / example)) {
      if (name == "result.txt" || name == "result.txt_info.txt") continue;
      ASSERT_EQ(signal, SIGKILL) << name << " left by attempt " << attempt;
      ASSERT_EQ(name.rfind(".hdfe-", 0), 0u) << name;
      fs::remove(dir / name);
    }
  }
  // The kills must have hit both sides of the replacement for the test to mean anything.
  EXPECT_GT(newPairs, 0);
  EXPECT_GT(oldPairs, 0);
  RecordProperty("killed_between_renames", killedWhileRenaming);
  fs::remove_all(dir.parent_path());
}

// A batch ended by an interrupt, hang-up or terminate signal while its summary is being
// written leaves no temporary and no summary.
TEST(AtomicOutputs, ASignalledBatchLeavesNoTemporary) {
  const fs::path dir = Scratch("signalled");
  fs::copy(Examples / "lighttruck_T3_130kW_MT6", dir);
  const auto temporaries = [&] {
    int found = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(dir)) found += e.path().filename().string().rfind(".hdfe-", 0) == 0;
    return found;
  };
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      if (::chdir(dir.c_str()) != 0 || null < 0) ::_exit(127);
      ::dup2(null, 1);
      ::dup2(null, 2);
      for (const int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
      ::execl(HDFE_BINARY, HDFE_BINARY, "--batch", "--sweep", "spec.txt", "FinalRatio=3:7:0.0001", "--summary-csv",
              "summary.csv", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int wait = 0; wait < 500 && temporaries() == 0; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(temporaries(), 1) << "the batch never started its summary";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, signal);
    const int status = Wait(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_EQ(temporaries(), 0) << signal;
    EXPECT_FALSE(fs::exists(dir / "summary.csv")) << signal;
  }
  fs::remove_all(dir);
}

TEST(AtomicOutputs, TwoRunsRacingForOneNameLeaveOneRunsCompleteFiles) {
  const fs::path root = Scratch("racing");
  const std::vector<std::string> examples{"tractor_TT1_325kW_AMT12", "bus_BR4_220kW_AT6"};
  fs::create_directory(root / "out");
  for (const std::string& example : examples) fs::copy(Examples / example, root / example);
  const std::string info = ReadFileBytes(Approved / examples[0] / "result.txt_info.txt");
  // Fewer pairs under the sanitizers, whose runs are many times slower.
  const int pairs = HDFE_SANITIZED ? 8 : 25;
  for (int pair = 0; pair < pairs; ++pair) {
    std::vector<pid_t> runs;
    for (const std::string& example : examples) runs.push_back(Start(root / example, "../out/result.txt"));
    for (const pid_t pid : runs) EXPECT_EQ(Wait(pid), 0);
    const std::string results = ReadFileBytes(root / "out/result.txt");
    ASSERT_TRUE(results == ReadFileBytes(Approved / examples[0] / "result.txt") ||
                results == ReadFileBytes(Approved / examples[1] / "result.txt"))
        << "pair " << pair << ": " << results.size() << " bytes";
    ASSERT_EQ(ReadFileBytes(root / "out/result.txt_info.txt"), info);
    ASSERT_EQ(std::distance(fs::directory_iterator(root / "out"), fs::directory_iterator()), 2);
  }
  fs::remove_all(root);
}

}  // namespace

}  // namespace hdfe
