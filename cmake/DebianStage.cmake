# Run by cpack between staging and packing, to give the staged tree what Debian expects:
# manual pages compressed with "gzip -9n" (no name or time stamp, so the package comes out
# the same on every build), a page that only says ".so" turned into a link to the
# compressed page, as dh_installman makes it for Debian's own packages, and the changelog
# compressed beside the copyright.
find_program(VTPAPERTOOL_GZIP gzip REQUIRED)
set(_root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(GLOB _pages LIST_DIRECTORIES false "${_root}/${CPACK_VTPAPERTOOL_MANUAL_DIR}/*.[1-9]")
if(NOT _pages)
  message(FATAL_ERROR "no manual page staged under ${CPACK_VTPAPERTOOL_MANUAL_DIR}")
endif()
get_filename_component(_section "${CPACK_VTPAPERTOOL_MANUAL_DIR}" NAME)
foreach(_page IN LISTS _pages)
  file(READ "${_page}" _text)
  if(_text MATCHES "^\\.so ${_section}/([^/\n]+)\n$")
    file(REMOVE "${_page}")
    file(CREATE_LINK "${CMAKE_MATCH_1}.gz" "${_page}.gz" SYMBOLIC)
    continue()
  endif()
  execute_process(COMMAND "${VTPAPERTOOL_GZIP}" -9nf "${_page}" RESULT_VARIABLE _status)
  if(NOT _status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${_page}")
  endif()
endforeach()

set(_changelog "${_root}/${CPACK_VTPAPERTOOL_DOC_DIR}/changelog.gz")
execute_process(COMMAND "${VTPAPERTOOL_GZIP}" -9nc "${CPACK_VTPAPERTOOL_CHANGELOG}"
                OUTPUT_FILE "${_changelog}" RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${CPACK_VTPAPERTOOL_CHANGELOG}")
endif()
