# Run by cpack after packing. cpack counts a symbolic link as the size of the file it
# points to, so the links to the program alone make Installed-Size eight times too big.
# This rewrites the field as dpkg-gencontrol counts it: KiB rounded up per file, one per
# link and directory. Without dpkg-deb the field stays as cpack wrote it.
find_program(VTPAPERTOOL_DPKG_DEB dpkg-deb)
if(NOT VTPAPERTOOL_DPKG_DEB)
  message(WARNING "dpkg-deb not found: Installed-Size counts each link as its target")
  return()
endif()
foreach(_deb IN LISTS CPACK_PACKAGE_FILES)
  set(_tree "${CPACK_TOPLEVEL_DIRECTORY}/installed-size")
  file(REMOVE_RECURSE "${_tree}")
  execute_process(COMMAND "${VTPAPERTOOL_DPKG_DEB}" -R "${_deb}" "${_tree}"
                  RESULT_VARIABLE _status)
  file(GLOB_RECURSE _entries LIST_DIRECTORIES true "${_tree}/*")
  set(_kib 1)
  foreach(_entry IN LISTS _entries)
    if(_entry MATCHES "^${_tree}/DEBIAN(/|$)")
      continue()
    elseif(IS_SYMLINK "${_entry}" OR IS_DIRECTORY "${_entry}")
      math(EXPR _kib "${_kib} + 1")
    else()
      file(SIZE "${_entry}" _bytes)
      math(EXPR _kib "${_kib} + (${_bytes} + 1023) / 1024")
    endif()
  endforeach()
  file(READ "${_tree}/DEBIAN/control" _control)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${_kib}\n"
         _control "${_control}")
  file(WRITE "${_tree}/DEBIAN/control" "${_control}")
  execute_process(COMMAND "${VTPAPERTOOL_DPKG_DEB}" --root-owner-group -Zgzip -b "${_tree}" "${_deb}"
                  OUTPUT_QUIET RESULT_VARIABLE _built)
  if(NOT _status EQUAL 0 OR NOT _built EQUAL 0)
    message(FATAL_ERROR "dpkg-deb could not rewrite Installed-Size in ${_deb}")
  endif()
  file(REMOVE_RECURSE "${_tree}")
endforeach()
