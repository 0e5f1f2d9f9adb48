// Runs the program in a scratch copy of an input folder and collects what it wrote.
#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace hdfe {

struct CaseRun {
  std::filesystem::path dir;                  // the scratch folder the program ran in
  std::string stdoutText;                     // bytes written to standard output
  std::string stderrText;                     // bytes written to standard error
  int exitStatus = -1;
  std::map<std::string, std::string> before;  // every file of the folder before the run
};

std::string ReadFileBytes(const std::filesystem::path& path);

// Copies inputDir to a fresh scratch folder and runs `binary args...` there, with
// stdinText as standard input (standard input closed when it is empty).
CaseRun RunCase(const std::string& binary, const std::filesystem::path& inputDir,
                const std::vector<std::string>& args, const std::string& stdinText = "");

// The files of the folder, by name, with their bytes.
std::map<std::string, std::string> FolderFiles(const std::filesystem::path& dir);

}  // namespace hdfe
