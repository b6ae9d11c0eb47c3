# Installs the program, the manual page and the bash completion, each also under every
# model's name, the Ansible module, and the copyright file, and describes the Debian package that cpack builds
# from that install. Kept apart from the build so that the two change independently.
include(GNUInstallDirs)

# By default a link for every model of the table, which CMakeLists.txt reads.
set(VTPAPERTOOL_MODELS "${VTPAPERTOOL_MODEL_IDS}"
    CACHE STRING "Model ids that get a vtpapertoollpr_<id> link")

set(_vtpapertool_completions "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")
set(_vtpapertool_module_dir "${CMAKE_INSTALL_DATADIR}/ansible/plugins/modules")

# Uninstalling removes the folders that installing made, and no other: before anything is
# installed, each destination folder that is not there yet, and each of its parents that is
# not, is noted beside the install manifest (without DESTDIR, as the manifest notes files).
# A folder noted by an earlier install stays noted while it is there.
set(_vtpapertool_folders "${CMAKE_BINARY_DIR}/install_folders.txt")
install(CODE "
  set(_noted \"\")
  if(EXISTS \"${_vtpapertool_folders}\")
    file(STRINGS \"${_vtpapertool_folders}\" _earlier)
    foreach(_folder IN LISTS _earlier)
      if(IS_DIRECTORY \"\$ENV{DESTDIR}\${_folder}\")
        list(APPEND _noted \"\${_folder}\")
      endif()
    endforeach()
  endif()
  foreach(_dir ${CMAKE_INSTALL_BINDIR} ${CMAKE_INSTALL_MANDIR}/man1 ${_vtpapertool_completions}
               ${_vtpapertool_module_dir} ${CMAKE_INSTALL_DOCDIR})
    set(_folder \"\${CMAKE_INSTALL_PREFIX}/\${_dir}\")
    while(NOT IS_DIRECTORY \"\$ENV{DESTDIR}\${_folder}\" AND NOT _folder STREQUAL \"/\")
      list(APPEND _noted \"\${_folder}\")
      get_filename_component(_folder \"\${_folder}\" DIRECTORY)
    endwhile()
  endforeach()
  list(REMOVE_DUPLICATES _noted)
  list(JOIN _noted \"\\n\" _noted)
  file(WRITE \"${_vtpapertool_folders}\" \"\${_noted}\")
")
configure_file(cmake/Uninstall.cmake.in uninstall.cmake @ONLY)

install(TARGETS vtpapertoollpr RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# The links are made once in the build tree and installed as links. Relative targets keep
# them valid under any prefix and inside a DESTDIR or a package, and installing them as
# files puts them in the install manifest, so cpack and uninstall scripts see them too.
# bash-completion loads a completion by the command's name, and man finds a page by it,
# so both come under every model's name as well; a page that only says ".so" works in
# any man tree, compressed or not.
set(_vtpapertool_links "${CMAKE_CURRENT_BINARY_DIR}/model-links")
file(REMOVE_RECURSE "${_vtpapertool_links}")
file(MAKE_DIRECTORY "${_vtpapertool_links}/bin" "${_vtpapertool_links}/completions"
     "${_vtpapertool_links}/man1")
foreach(_model IN LISTS VTPAPERTOOL_MODELS)
  # The id becomes a file name; anything else would install outside its directory.
  if(NOT _model MATCHES "^[A-Za-z0-9_.-]+$" OR _model MATCHES "^\\.\\.?$")
    message(FATAL_ERROR "VTPAPERTOOL_MODELS: '${_model}' cannot be part of a file name")
  endif()
  set(_name "vtpapertoollpr_${_model}")
  file(CREATE_LINK vtpapertoollpr "${_vtpapertool_links}/bin/${_name}" SYMBOLIC)
  file(CREATE_LINK vtpapertoollpr "${_vtpapertool_links}/completions/${_name}" SYMBOLIC)
  file(WRITE "${_vtpapertool_links}/man1/${_name}.1" ".so man1/vtpapertoollpr.1\n")
  install(FILES "${_vtpapertool_links}/bin/${_name}" DESTINATION "${CMAKE_INSTALL_BINDIR}")
  install(FILES "${_vtpapertool_links}/completions/${_name}"
          DESTINATION "${_vtpapertool_completions}")
  install(FILES "${_vtpapertool_links}/man1/${_name}.1" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
endforeach()

# The page's FILES names the paths of the install it comes with, so the prefix is put in
# when installing: cpack installs under its own prefix, after the build is configured.
install(CODE "
  file(READ \"${PROJECT_SOURCE_DIR}/man/vtpapertoollpr.1\" _page)
  string(REPLACE \"\\n.BI /usr/\" \"\\n.BI \${CMAKE_INSTALL_PREFIX}/\" _page \"\${_page}\")
  string(REPLACE \" \\\"vtpapertoollpr\\\" \" \" \\\"vtpapertoollpr ${PROJECT_VERSION}\\\" \" _page \"\${_page}\")
  file(WRITE \"${CMAKE_CURRENT_BINARY_DIR}/man1/vtpapertoollpr.1\" \"\${_page}\")
  file(INSTALL \"${CMAKE_CURRENT_BINARY_DIR}/man1/vtpapertoollpr.1\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\")
")
install(FILES completion/vtpapertoollpr.bash DESTINATION "${_vtpapertool_completions}"
        RENAME vtpapertoollpr)
# Where ansible-core looks for modules by default, once the prefix is /usr.
install(FILES ansible/vtpapertoollpr_formats.py DESTINATION "${_vtpapertool_module_dir}")

# The licence in Debian's machine-readable form, which wants the text as an indented
# field with "." for blank lines; LICENSE stays the one place that holds it.
file(READ LICENSE _license)
string(REGEX REPLACE "^.*\n\n(Permission is hereby granted)" "\\1" _license "${_license}")
string(STRIP "${_license}" _license)
string(REPLACE "\n\n" "\n.\n" _license "${_license}")
string(REPLACE "\n" "\n " VTPAPERTOOL_LICENSE_FIELD " ${_license}")
configure_file(cmake/copyright.in copyright @ONLY)
install(FILES "${CMAKE_CURRENT_BINARY_DIR}/copyright" DESTINATION "${CMAKE_INSTALL_DOCDIR}")

# Debian ships manual pages gzip-compressed and a changelog; a plain install keeps the
# pages as written and needs no changelog.
set(CPACK_VTPAPERTOOL_MANUAL_DIR "${CMAKE_INSTALL_MANDIR}/man1")
set(CPACK_VTPAPERTOOL_DOC_DIR "${CMAKE_INSTALL_DOCDIR}")
set(CPACK_VTPAPERTOOL_CHANGELOG "${CMAKE_CURRENT_BINARY_DIR}/changelog")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/DebianStage.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/DebianInstalledSize.cmake")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "vtpapertoollpr")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# The packaging's own revision: a package rebuilt from the same source counts up from 1.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(VTPAPERTOOL_MAINTAINER "vtpapertoollpr maintainers <vtpapertoollpr@localhost>"
    CACHE STRING "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${VTPAPERTOOL_MAINTAINER}")
configure_file(cmake/changelog.in changelog @ONLY)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "adds and deletes custom label formats of label printers on LPRng queues")
# The synopsis above is the first line of the Description field; the rest must not
# repeat it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "vtpapertoollpr adds a custom label format (a name, a width and a length in\n\
millimetres) to a label printer driver installed under ${VANTREL_ROOT},\n\
deletes one or lists them. It is installed once per printer model, as\n\
vtpapertoollpr_<model>, and changes that model's data files all or nothing,\n\
together with the driver's own print-system tool. Bash completions and the\n\
manual page come under every model's name.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# Debian ships binaries without their debugging sections.
set(CPACK_STRIP_FILES ON)
# Without dpkg-shlibdeps, name by hand what the binary links: libc 2.34 for its newest
# symbols, libstdc++ from GCC 5 on, libgcc_s for unwinding.
find_program(VTPAPERTOOL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VTPAPERTOOL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 5), libgcc-s1 (>= 3.0)")
endif()
include(CPack)

if(VTPAPERTOOL_TESTS)
  add_subdirectory(tests/package)
endif()
