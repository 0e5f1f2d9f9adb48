#include "io/digest.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>

namespace hdfe {

std::string file_sha256(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
  std::array<char, 1 << 16> buffer{};
  while (file) {
    file.read(buffer.data(), buffer.size());
    const auto count = static_cast<std::size_t>(file.gcount());
    if (count > 0 && EVP_DigestUpdate(context.get(), buffer.data(), count) != 1) return {};
  }
  if (file.bad()) return {};
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1) return {};
  static constexpr char Hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int k = 0; k < size; ++k) {
    text += Hex[digest[k] >> 4];
    text += Hex[digest[k] & 15];
  }
  return text;
}

}  // namespace hdfe
