# Nettle, whose SHA-256 digests the input files: the hdfe::nettle target. Linked by name, so
# that a static program takes the static library and the shared ones the shared library.
if(NOT TARGET hdfe::nettle)
  find_path(HDFE_NETTLE_INCLUDE_DIR nettle/sha2.h)
  find_library(HDFE_NETTLE_LIBRARY nettle)
  if(NOT HDFE_NETTLE_INCLUDE_DIR OR NOT HDFE_NETTLE_LIBRARY)
    message(FATAL_ERROR "Nettle is needed (Debian's nettle-dev): its SHA-256 digests the input files")
  endif()
  get_filename_component(HDFE_NETTLE_LIBRARY_DIR "${HDFE_NETTLE_LIBRARY}" DIRECTORY)
  add_library(hdfe::nettle INTERFACE IMPORTED)
  set_target_properties(hdfe::nettle PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${HDFE_NETTLE_INCLUDE_DIR}"
    INTERFACE_LINK_DIRECTORIES "${HDFE_NETTLE_LIBRARY_DIR}"
    INTERFACE_LINK_LIBRARIES nettle)
endif()
