#include "io/digest.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>

namespace hdfe {

namespace {

// SHA-256 (FIPS 180-4), computed here so that the program needs no cryptographic library:
// a digest only tells which bytes a run read.
constexpr std::array<uint32_t, 64> RoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::size_t BlockSize = 64;

class Sha256 {
 public:
  void update(const unsigned char* data, std::size_t size) {
    length_ += size;
    if (buffered_ > 0) {
      const std::size_t take = std::min(size, BlockSize - buffered_);
      std::memcpy(buffer_.data() + buffered_, data, take);
      buffered_ += take;
      data += take;
      size -= take;
      if (buffered_ < BlockSize) return;
      compress(buffer_.data());
      buffered_ = 0;
    }
    for (; size >= BlockSize; data += BlockSize, size -= BlockSize) compress(data);
    std::memcpy(buffer_.data(), data, size);
    buffered_ = size;
  }

  std::array<unsigned char, 32> finish() {
    const uint64_t bits = length_ * 8;
    static constexpr unsigned char Padding[BlockSize] = {0x80};
    update(Padding, (buffered_ < 56 ? 56 : 56 + BlockSize) - buffered_);
    unsigned char size[8];
    for (int k = 0; k < 8; ++k) size[k] = static_cast<unsigned char>(bits >> (56 - 8 * k));
    update(size, sizeof size);
    std::array<unsigned char, 32> digest{};
    for (std::size_t k = 0; k < 32; ++k) digest[k] = static_cast<unsigned char>(state_[k / 4] >> (24 - 8 * (k % 4)));
    return digest;
  }

 private:
  void compress(const unsigned char* block) {
    std::array<uint32_t, 64> w{};
    for (std::size_t t = 0; t < 16; ++t) {
      w[t] = uint32_t{block[4 * t]} << 24 | uint32_t{block[4 * t + 1]} << 16 | uint32_t{block[4 * t + 2]} << 8 |
             uint32_t{block[4 * t + 3]};
    }
    for (std::size_t t = 16; t < 64; ++t) {
      const uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::array<uint32_t, 8> v = state_;
    for (std::size_t t = 0; t < 64; ++t) {
      const uint32_t S1 = std::rotr(v[4], 6) ^ std::rotr(v[4], 11) ^ std::rotr(v[4], 25);
      const uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
      const uint32_t t1 = v[7] + S1 + ch + RoundConstants[t] + w[t];
      const uint32_t S0 = std::rotr(v[0], 2) ^ std::rotr(v[0], 13) ^ std::rotr(v[0], 22);
      const uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
      const uint32_t t2 = S0 + maj;
      v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (std::size_t k = 0; k < 8; ++k) state_[k] += v[k];
  }

  std::array<uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<unsigned char, BlockSize> buffer_{};
  std::size_t buffered_ = 0;
  uint64_t length_ = 0;
};

std::string hex(const std::array<unsigned char, 32>& digest) {
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
