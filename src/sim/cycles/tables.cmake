# Turns the drive-cycle data files (one value per line, point 0 first) into C++
# constant tables. Run as: cmake -DURBAN_FILE=... -DGRADE_FILE=... -DOUTPUT=... -P tables.cmake
# A file with the wrong number of points or a line that is not a plain decimal
# number stops the build.

function(read_table file expected_count out_var)
  file(STRINGS "${file}" lines)
  list(LENGTH lines count)
  if(NOT count EQUAL expected_count)
    message(FATAL_ERROR "${file}: ${count} values, expected ${expected_count}")
  endif()
  set(body "")
  set(lineno 0)
  foreach(line IN LISTS lines)
    math(EXPR lineno "${lineno} + 1")
    string(STRIP "${line}" value)
    if(NOT value MATCHES "^-?[0-9]+(\\.[0-9]+)?$")
      message(FATAL_ERROR "${file}:${lineno}: not a decimal number: '${value}'")
    endif()
    if(NOT value MATCHES "\\.")
      string(APPEND value ".0")
    endif()
    string(APPEND body "    ${value},\n")
  endforeach()
  set(${out_var} "${body}" PARENT_SCOPE)
endfunction()

read_table("${URBAN_FILE}" 1832 urban)
read_table("${GRADE_FILE}" 3124 grade)

file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from simulation/cycles/je05.txt and highway_grade.txt.\n"
"#include \"sim/cycletables.h\"\n\nnamespace hdfe {\n\n"
"const std::array<double, UrbanPoints> UrbanSpeedTable = {\n${urban}};\n\n"
"const std::array<double, HighwayPoints> HighwayGradeTable = {\n${grade}};\n\n}  // namespace hdfe\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
