#include "tests/e2e/run_case.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace hdfe {

namespace fs = std::filesystem;

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::map<std::string, std::string> FolderFiles(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadFileBytes(entry.path());
  }
  return files;
}

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

fs::path ScratchFolder() {
  static int counter = 0;
  const fs::path dir = fs::temp_directory_path() /
                       ("hdfe-e2e-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

}  // namespace

CaseRun RunCase(const std::string& binary, const fs::path& inputDir, const std::vector<std::string>& args,
                const std::string& stdinText) {
  CaseRun run;
  run.dir = ScratchFolder() / "run";
  fs::copy(inputDir, run.dir, fs::copy_options::recursive);
  run.before = FolderFiles(run.dir);
  const fs::path out = run.dir.parent_path();
  std::string command = "cd ";
  command.append(Quoted(run.dir.string())).append(" && ").append(Quoted(binary));
  for (const std::string& arg : args) command.append(" ").append(Quoted(arg));
  if (stdinText.empty()) {
    command.append(" <&-");
  } else {
    std::ofstream(out / "stdin.txt", std::ios::binary) << stdinText;
    command.append(" <").append(Quoted((out / "stdin.txt").string()));
  }
  command.append(" >").append(Quoted((out / "stdout.txt").string()));
  command.append(" 2>").append(Quoted((out / "stderr.txt").string()));
  const int status = std::system(command.c_str());
  run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.stdoutText = ReadFileBytes(out / "stdout.txt");
  run.stderrText = ReadFileBytes(out / "stderr.txt");
  return run;
}

}  // namespace hdfe
