# Installs the program, the manual page and the bash completion, each also under every
# model's name, and the Ansible collection. "cmake --install" and the Debian package
# (debian/rules, through debhelper) both install exactly this; the install manifest
# lists every file, which is how a source install is undone.
include(GNUInstallDirs)

# By default a link for every model of the table, which CMakeLists.txt reads.
set(VTPAPERTOOL_MODELS "${VTPAPERTOOL_MODEL_IDS}"
    CACHE STRING "Model ids that get a vtpapertoollpr_<id> link")

set(_vtpapertool_completions "${CMAKE_INSTALL_DATADIR}/bash-completion/completions")

install(TARGETS vtpapertoollpr RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# The links are made once in the build tree and installed as links. Relative targets keep
# them valid under any prefix and inside a DESTDIR or a package, and installing them as
# files puts them in the install manifest. bash-completion loads a completion by the
# command's name, and man finds a page by it, so both come under every model's name as
# well; a page that only says ".so" works in any man tree, and the Debian package turns
# it into a link to the compressed page (dh_installman).
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
# when installing, which may name another prefix than the build was configured with.
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

# The Ansible collection, where ansible-core looks for collections by default once the
# prefix is /usr.
install(DIRECTORY ansible/ansible_collections/vantrel/vtpapertoollpr
        DESTINATION "${CMAKE_INSTALL_DATADIR}/ansible/collections/ansible_collections/vantrel"
        PATTERN __pycache__ EXCLUDE PATTERN "*.pyc" EXCLUDE)

if(VTPAPERTOOL_TESTS)
  add_subdirectory(tests/package)
endif()
