# Installs the program, one link per model and the manual page. Kept apart from the build
# so that the two change independently.
include(GNUInstallDirs)

set(VTPAPERTOOL_MODELS "rk210;rk260;rk380xn;lm4200fx;lmq750ks;lmq700k;lmq700"
    CACHE STRING "Model ids that get a vtpapertoollpr_<id> link")

install(TARGETS vtpapertoollpr RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

# The links are made once in the build tree and installed as links. Relative targets keep
# them valid under any prefix and inside a DESTDIR or a package, and installing them as
# files puts them in the install manifest, so cpack and uninstall scripts see them too.
set(_vtpapertool_links "${CMAKE_CURRENT_BINARY_DIR}/model-links")
file(REMOVE_RECURSE "${_vtpapertool_links}")
file(MAKE_DIRECTORY "${_vtpapertool_links}")
foreach(_model IN LISTS VTPAPERTOOL_MODELS)
  # The id becomes a file name; anything else would install outside the bin directory.
  if(NOT _model MATCHES "^[A-Za-z0-9_.-]+$" OR _model MATCHES "^\\.\\.?$")
    message(FATAL_ERROR "VTPAPERTOOL_MODELS: '${_model}' cannot be part of a file name")
  endif()
  file(CREATE_LINK vtpapertoollpr "${_vtpapertool_links}/vtpapertoollpr_${_model}" SYMBOLIC)
  install(FILES "${_vtpapertool_links}/vtpapertoollpr_${_model}"
          DESTINATION "${CMAKE_INSTALL_BINDIR}")
endforeach()

install(FILES man/vtpapertoollpr.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
