// Scratch files for the fuzz harnesses: one folder per process, removed at exit.
#pragma once
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

using namespace hdfe;

struct FuzzFolder {
  std::filesystem::path dir = std::filesystem::temp_directory_path() /
                              ("hdfe-fuzz-" + std::to_string(::getpid()));
  FuzzFolder() { std::filesystem::create_directories(dir); }
  ~FuzzFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

inline const std::filesystem::path& FuzzDir() {
  static const FuzzFolder folder;
  return folder.dir;
}

// Writes the bytes to the file `name` of the folder; returns its path.
inline std::string WriteFuzzFile(const std::string& name, const uint8_t* data, std::size_t size) {
  const std::filesystem::path path = FuzzDir() / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return path.string();
}
