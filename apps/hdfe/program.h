// The program: names, loading, running the vehicle, and writing what it produced.
#pragma once
#include <ctime>
#include <string>
#include <string_view>

namespace hdfe {

// Runs the whole program once; returns the exit status.
int run_hdfe(int argc, char** argv);

// The 24-character date text of the information file, e.g. "Mon Dec 07 00:05:26 2026".
std::string date_text(const std::tm& t);

// The information file: the version record and the date record.
std::string info_text(const std::tm& now);

// The name of the information file of the output name (without trailing blanks).
std::string info_name(std::string_view outputName);

// Writes the information file of the output name on its own, replacing any earlier one.
// Throws Error when it cannot be written.
void write_info(const std::string& outputName, const std::tm& now);

}  // namespace hdfe
