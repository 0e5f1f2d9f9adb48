// The local clock, for the date record of the information file.
#pragma once
#include <ctime>

namespace hdfe {

// The local date and time of now.
std::tm local_now();

}  // namespace hdfe
