// Content digests of input files, for tracing a result to the exact inputs.
#pragma once
#include <filesystem>
#include <string>

namespace hdfe {

// The SHA-256 of the file's bytes as 64 lower-case hex digits; empty when it cannot be read.
std::string file_sha256(const std::filesystem::path& path);

}  // namespace hdfe
