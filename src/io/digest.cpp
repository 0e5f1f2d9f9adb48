#include "io/digest.h"

#include <array>
#include <cstdint>
#include <fstream>

#include <nettle/sha2.h>

namespace hdfe {

namespace {

// Nettle's SHA-256: a digest only tells which bytes a run read.
class Sha256 {
 public:
  Sha256() { sha256_init(&context_); }
  void update(const unsigned char* data, std::size_t size) { sha256_update(&context_, size, data); }
  std::array<unsigned char, SHA256_DIGEST_SIZE> finish() {
    std::array<unsigned char, SHA256_DIGEST_SIZE> digest{};
    sha256_digest(&context_, digest.size(), digest.data());
    return digest;
  }

 private:
  sha256_ctx context_{};
};

std::string hex(const std::array<unsigned char, SHA256_DIGEST_SIZE>& digest) {
  static constexpr char Hex[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char byte : digest) {
    text += Hex[byte >> 4];
    text += Hex[byte & 15];
  }
  return text;
}

}  // namespace

std::string sha256_hex(std::string_view bytes) {
  Sha256 hash;
  hash.update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return hex(hash.finish());
}

std::string file_sha256(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  Sha256 hash;
  std::array<char, 1 << 16> buffer{};
  while (file) {
    file.read(buffer.data(), buffer.size());
    const auto count = static_cast<std::size_t>(file.gcount());
    if (count > 0) hash.update(reinterpret_cast<const unsigned char*>(buffer.data()), count);
  }
  if (file.bad()) return {};
  return hex(hash.finish());
}

}  // namespace hdfe
