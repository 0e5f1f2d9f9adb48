// The check that the run's output files can be written, made before the first is written.
#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hdfe/hdfe.h"

namespace hdfe {

// Stops the run with " Cannot write output file [ name ]", status 1, unless both the
// results file (the output name) and the information file (the output name and
// "_info.txt") can be written without touching any file: an existing one must be a regular
// file that opens for appending, a new one's folder must exist and be writable, and
// neither may be one of the run's input files (the line then says so) or the other output file.
void check_output(const std::string& results, const Vehicle& vehicle);

// True when writing `a` would replace, or write into, the file `b` names: both name one
// existing file (device and inode, through links), or one directory entry (the same folder,
// by device and inode, and the same file name) whether or not it exists yet.
bool same_file_or_entry(const std::string& a, const std::string& b);

// The outputs an option adds to a run, each with what it is for messages ("the --json
// output"); "-" (standard output) is not a file and is left out by the caller.
using NamedOutputs = std::vector<std::pair<std::string, std::string>>;

// Stops the run, before it is run, when an output an option adds is one of the run's input
// files (the vehicle's, or one of `otherInputs`, e.g. its cycle files), the results file, the
// information file or another such output; ": it is ..." says which. An empty `results` is a
// run without a results file. Names are compared as files, not as spellings.
void check_option_outputs(const NamedOutputs& outputs, const std::string& results, const Vehicle& vehicle,
                          const std::vector<std::string>& otherInputs = {});

// Stops the run with " Cannot write output file [ name ]", and ": reason" when one is given,
// status 1.
[[noreturn]] void cannot_write(const std::string& name, const std::string& reason = {});

// Writes the text to standard output and flushes it. Stops the run as cannot_write("-") when
// standard output is closed, full or a pipe nobody reads.
void write_stdout(std::string_view text);

}  // namespace hdfe
