# Run by cpack between staging and packing: Debian compresses manual pages with
# "gzip -9n" (no name or time stamp, so the package comes out the same on every build).
find_program(VTPAPERTOOL_GZIP gzip REQUIRED)
file(GLOB _pages LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/${CPACK_VTPAPERTOOL_MANUAL_DIR}/*.[1-9]")
if(NOT _pages)
  message(FATAL_ERROR "no manual page staged under ${CPACK_VTPAPERTOOL_MANUAL_DIR}")
endif()
foreach(_page IN LISTS _pages)
  execute_process(COMMAND "${VTPAPERTOOL_GZIP}" -9nf "${_page}" RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${_page}")
  endif()
endforeach()
