// Content digests of input files, for tracing a result to the exact inputs.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace hdfe {

// The SHA-256 of the file's bytes as 64 lower-case hex digits; empty when it cannot be read.
std::string file_sha256(const std::filesystem::path& path);
// The SHA-256 of the bytes, as file_sha256 gives it.
std::string sha256_hex(std::string_view bytes);

}  // namespace hdfe
