# Install-time script: PREFIX/bin/ostrel-import and ostrel-import-cli as
# relative links into the program folder, which is where the programs look
# for their settings, banner and database (they resolve the link).
set(app_dir "${OSTREL_APPDIR}")
if(NOT IS_ABSOLUTE "${app_dir}")
  set(app_dir "${CMAKE_INSTALL_PREFIX}/${app_dir}")
endif()
set(bin_dir "${CMAKE_INSTALL_PREFIX}/${OSTREL_BINDIR}")
file(RELATIVE_PATH target "${bin_dir}" "${app_dir}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${bin_dir}")
foreach(program ostrel-import ostrel-import-cli)
  message(STATUS "Installing: $ENV{DESTDIR}${bin_dir}/${program} -> ${target}/${program}")
  file(CREATE_LINK "${target}/${program}" "$ENV{DESTDIR}${bin_dir}/${program}" SYMBOLIC)
endforeach()
