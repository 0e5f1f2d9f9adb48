// The corpus of bad inputs: every folder of tests/bad-input but base is one run of the program
// on the base vehicle with its own files in place, which must stop with its expected message
// and status and leave every file as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/run_case.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

const fs::path Corpus = fs::path(HDFE_SOURCE_DIR) / "tests/bad-input";
const fs::path Base = Corpus / "base";

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(Corpus)) {
    if (entry.is_directory() && entry.path() != Base) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// One entry per line.
std::vector<std::string> Lines(const fs::path& file) {
  std::vector<std::string> lines;
  const std::string text = ReadFileBytes(file);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// The input folder of a case, assembled in a scratch folder: the base vehicle less the entries
// named in `removed`, with the case's `files` put in place of the base's.
fs::path Assemble(const fs::path& caseDir) {
  const fs::path dir = fs::temp_directory_path() /
                       ("hdfe-bad-input-" + std::to_string(getpid()) + "-" + caseDir.filename().string());
  fs::remove_all(dir);
  fs::copy(Base, dir, fs::copy_options::recursive);
  if (fs::exists(caseDir / "removed")) {
    for (const std::string& name : Lines(caseDir / "removed")) {
      EXPECT_TRUE(fs::remove_all(dir / name) > 0) << name << " is not in the base vehicle";
    }
  }
  if (fs::exists(caseDir / "files")) {
    for (const fs::directory_entry& entry : fs::directory_iterator(caseDir / "files")) {
      const fs::path target = dir / entry.path().filename();
      fs::remove_all(target);
      fs::copy(entry.path(), target, fs::copy_options::recursive);
    }
  }
  return dir;
}

// Every entry below the folder by relative path: a file's bytes, or a mark for a folder.
std::map<std::string, std::string> Tree(const fs::path& dir) {
  std::map<std::string, std::string> tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(entry.path(), dir).string();
    tree[name] = entry.is_directory() ? "<folder>" : ReadFileBytes(entry.path());
  }
  return tree;
}

class BadInput : public testing::TestWithParam<std::string> {};

TEST_P(BadInput, StopsWithItsMessageAndChangesNoFile) {
  const fs::path caseDir = Corpus / GetParam();
  const fs::path dir = Assemble(caseDir);
  const std::string stdinText = fs::exists(caseDir / "stdin") ? ReadFileBytes(caseDir / "stdin") : "";
  const CaseRun run = RunCase(HDFE_BINARY, dir, Lines(caseDir / "args"), stdinText);
  EXPECT_EQ(run.stderrText, ReadFileBytes(caseDir / "expected_stderr"));
  EXPECT_EQ(std::to_string(run.exitStatus) + "\n", ReadFileBytes(caseDir / "expected_status"));
  const auto before = Tree(dir);
  const auto after = Tree(run.dir);
  for (const auto& [name, bytes] : before) {
    const auto found = after.find(name);
    EXPECT_TRUE(found != after.end() && found->second == bytes) << name << " changed or removed";
  }
  for (const auto& [name, bytes] : after) EXPECT_TRUE(before.count(name)) << name << " was created";
  fs::remove_all(dir);
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInput, testing::ValuesIn(CaseNames()), TestName);

}  // namespace

}  // namespace hdfe
