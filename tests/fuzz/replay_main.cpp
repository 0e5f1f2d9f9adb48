// Replays fuzz inputs without libFuzzer: every file of the folders (or each file) named on
// the command line is passed once to the harness, in name order.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>


extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = fs::absolute(argv[i]);  // the harness may change the working folder
    if (!fs::is_directory(arg)) {
      inputs.push_back(arg);
      continue;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(arg)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& input : inputs) {
    std::ifstream file(input, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    bytes.push_back(0);  // a valid pointer even for an empty input; not part of the input
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size() - 1);
  }
  std::cout << inputs.size() << " inputs replayed" << std::endl;
  return inputs.empty() ? 1 : 0;
}
