# Builds the library's cycle files (every data/cycles/*.csv) into the program: each file's
# bytes become a string constant that the cycle reader parses as it parses the file.
# Run as: cmake -DCYCLE_DIR=... -DOUTPUT=... -P cyclefiles.cmake

file(GLOB files "${CYCLE_DIR}/*.csv")
list(SORT files)
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "${CYCLE_DIR}: no cycle files (*.csv)")
endif()

set(constants "")
set(entries "")
set(index 0)
foreach(file IN LISTS files)
  get_filename_component(name "${file}" NAME_WE)
  if(NOT name MATCHES "^[a-z0-9][a-z0-9-]*$")
    message(FATAL_ERROR "${file}: a library cycle's name is small letters, digits and '-'")
  endif()
  # Every byte as a hex escape, so that no byte of the file is changed on the way.
  file(READ "${file}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  string(APPEND constants "constexpr char File${index}[] =\n    \"${escaped}\";\n\n")
  string(APPEND entries "    {\"${name}\", {File${index}, sizeof File${index} - 1}},\n")
  math(EXPR index "${index} + 1")
endforeach()

file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from data/cycles/*.csv.\n"
"#include \"run/cyclefiles.h\"\n\n#include <array>\n\nnamespace hdfe {\n\nnamespace {\n\n"
"${constants}"
"constexpr std::array<EmbeddedCycleFile, ${count}> Files{{\n${entries}}};\n\n}  // namespace\n\n"
"std::span<const EmbeddedCycleFile> embedded_cycle_files() { return Files; }\n\n}  // namespace hdfe\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
