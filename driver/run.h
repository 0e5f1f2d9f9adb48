// The program: names, reading, simulating both cycles, evaluating and reporting.
#pragma once
#include <ctime>
#include <string>

// Runs the whole program once; returns the exit status.
int RUNHDFE(int argc, char** argv);

// The 24-character date text of the information file, e.g. "Mon Dec 07 00:05:26 2026".
std::string DATETEXT(const std::tm& t);

// Writes the information file: the version record and the date record.
void WRITEINFO(const std::string& outputName, const std::tm& now);
