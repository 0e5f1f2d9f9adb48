// The corpus of bad inputs: every folder of tests/bad-input is one run of the program that
// must stop with its expected message and status and leave every file as it was.
#include <gtest/gtest.h>

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

std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(Corpus)) {
    if (entry.is_directory()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// One argument per line.
std::vector<std::string> Arguments(const fs::path& file) {
  std::vector<std::string> args;
  const std::string text = ReadFileBytes(file);
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return args;
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
  const fs::path dir = Corpus / GetParam();
  const std::string stdinText = fs::exists(dir / "stdin") ? ReadFileBytes(dir / "stdin") : "";
  const CaseRun run = RunCase(HDFE_BINARY, dir, Arguments(dir / "args"), stdinText);
  EXPECT_EQ(run.stderrText, ReadFileBytes(dir / "expected_stderr"));
  EXPECT_EQ(std::to_string(run.exitStatus) + "\n", ReadFileBytes(dir / "expected_status"));
  const auto before = Tree(dir);
  const auto after = Tree(run.dir);
  for (const auto& [name, bytes] : before) {
    const auto found = after.find(name);
    EXPECT_TRUE(found != after.end() && found->second == bytes) << name << " changed or removed";
  }
  for (const auto& [name, bytes] : after) EXPECT_TRUE(before.count(name)) << name << " was created";
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, BadInput, testing::ValuesIn(CaseNames()), TestName);

}  // namespace

}  // namespace hdfe
