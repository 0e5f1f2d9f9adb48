// A stop of the run: thrown by any routine that ends the program, caught by main.
#pragma once
#include <string>
#include <vector>

namespace hdfe {

struct RunStop {
  std::vector<std::string> lines;  // written to standard error, each as one CR LF record
  int status = 0;                  // exit status of the program
};

}  // namespace hdfe
