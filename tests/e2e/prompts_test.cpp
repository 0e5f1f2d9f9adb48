// File names from the command line and from the console prompts.
#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

#include "tests/e2e/run_case.h"

namespace hdfe {

namespace fs = std::filesystem;

namespace {

const char* const InputPrompt = "TYPE FILENAME FOR INPUT : ";
const char* const OutputPrompt = "TYPE FILENAME FOR OUTPUT : ";

fs::path EmptyFolder() {
  const fs::path dir = fs::temp_directory_path() / ("hdfe-prompts-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir;
}

std::string MissingSpec(const std::string& name) { return "  Cannot open spec-file : " + name + "\r\n"; }

TEST(Prompts, BothNamesOnTheCommandLineWriteNoPrompt) {
  const CaseRun run = RunCase(HDFE_BINARY, EmptyFolder(), {"nospec.txt", "out.txt"}, "x\ny\n");
  EXPECT_EQ(run.stdoutText, "");
  EXPECT_EQ(run.stderrText, MissingSpec("nospec.txt"));
  EXPECT_EQ(run.exitStatus, 1);
}

TEST(Prompts, OnlyTheMissingOutputNameIsAskedFor) {
  const CaseRun run = RunCase(HDFE_BINARY, EmptyFolder(), {"nospec.txt"}, "out.txt\n");
  EXPECT_EQ(run.stdoutText, OutputPrompt);
  EXPECT_EQ(run.stderrText, MissingSpec("nospec.txt"));
}

TEST(Prompts, BlankAnswersRepeatThePromptAndBlankLinesArePassedOver) {
  const CaseRun run = RunCase(HDFE_BINARY, EmptyFolder(), {}, "\n/\n  ,\nin put.txt\r\n\nout.txt\n");
  EXPECT_EQ(run.stdoutText, std::string(InputPrompt) + InputPrompt + InputPrompt + OutputPrompt);
  EXPECT_EQ(run.stderrText, MissingSpec("in"));
  EXPECT_EQ(run.exitStatus, 1);
}

TEST(Prompts, QuotedNameKeepsItsBlank) {
  const CaseRun run = RunCase(HDFE_BINARY, EmptyFolder(), {}, "'in put.txt' out.txt\nout.txt\n");
  EXPECT_EQ(run.stderrText, MissingSpec("in put.txt"));
}

TEST(Prompts, EndOfConsoleInputStopsWithAFailureStatus) {
  const CaseRun closed = RunCase(HDFE_BINARY, EmptyFolder(), {});
  EXPECT_EQ(closed.stdoutText, std::string(InputPrompt) + "\r\n");
  EXPECT_EQ(closed.stderrText, " Console input ended before a file name was given\r\n");
  EXPECT_EQ(closed.exitStatus, 1);
  const CaseRun early = RunCase(HDFE_BINARY, EmptyFolder(), {}, "spec.txt\n\n");
  EXPECT_EQ(early.stdoutText, std::string(InputPrompt) + OutputPrompt + "\r\n");
  EXPECT_EQ(early.exitStatus, 1);
  EXPECT_EQ(FolderFiles(early.dir).size(), 0u);
}

}  // namespace

}  // namespace hdfe
