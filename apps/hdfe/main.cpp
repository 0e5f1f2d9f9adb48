#include "program.h"

using namespace hdfe;

int main(int argc, char** argv) { return run_hdfe(argc, argv); }
