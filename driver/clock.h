// The local clock, for the date record of the information file.
#pragma once
#include <ctime>

// The local date and time of now.
std::tm LOCALNOW();
