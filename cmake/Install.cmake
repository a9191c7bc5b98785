# What `cmake --install` puts where, laid out as a Debian user expects it:
#
#   bin/tessel                                the command
#   bin/WaveToMP3.bat, bin/MP3ToWave.bat      the MP3 converters (formats/mp3)
#   <libdir>/libtessel.so.<ver> (+ SONAME)    the module; the host libraries beside it
#   <libdir>/tessel/TesselRes<code>.so        language modules (plug-ins, not libraries)
#   <libdir>/tessel/tessel_settings_ui.so     the settings dialog of `tessel settings edit`
#   <libdir>/tessel/tessel_spreadsheet.so     the spreadsheet readers (formats/spreadsheet)
#   include/tessel/*.h                        the exported classes and what they name
#   <libdir>/pkgconfig/tessel.pc              pkg-config
#   <libdir>/cmake/Tessel/                    find_package(Tessel)
#   share/man/man1/tessel.1                   manual page
#   share/bash-completion/completions/tessel  completion of commands and options
#   share/doc/tessel/                         the documents
#
# <libdir> is GNUInstallDirs' choice: lib/<multiarch> under /usr, lib elsewhere.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TESSEL_SOVERSION ${PROJECT_VERSION_MAJOR})
set(TESSEL_PLUGIN_DIR ${CMAKE_INSTALL_LIBDIR}/tessel)

# Under /usr the libraries sit in the linker's own directories; elsewhere each
# installed binary finds its libraries relative to itself, so an installed
# tree can be moved (or unpacked under any prefix) and still runs.
set(tessel_relocatable ON)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(tessel_relocatable OFF)
endif()

# Every binary carries the search path it needs in the build tree (top
# CMakeLists.txt: "$ORIGIN", the folder every library and program lands in).
# The install then sets what the installed tree needs, or none under /usr.
# A search path can shrink in place but not grow, so a binary whose installed
# path is longer is built with "$ORIGIN/./." and so on: still the one folder,
# searched once, and long enough for the rewrite.
function(tessel_build_runpath target final)
  set(path "$ORIGIN")
  string(LENGTH "${final}" want)
  string(LENGTH "${path}" have)
  while(have LESS want)
    string(APPEND path "/.")
    string(LENGTH "${path}" have)
  endwhile()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "${path}")
endfunction()
function(tessel_install_runpath target dir final)
  set(file "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${dir}/$<TARGET_FILE_NAME:${target}>")
  if(final STREQUAL "")
    install(CODE "file(RPATH_REMOVE FILE \"${file}\")" COMPONENT runtime)
  else()
    install(CODE "file(RPATH_CHANGE FILE \"${file}\" OLD_RPATH \"$<TARGET_PROPERTY:${target},INSTALL_RPATH>\" NEW_RPATH \"${final}\")"
      COMPONENT runtime)
  endif()
endfunction()

set(tessel_libs)
foreach(lib tessel_module tessel_basics tessel_dataset tessel_blocks)
  if(TARGET ${lib})
    set_target_properties(${lib} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${TESSEL_SOVERSION})
    list(APPEND tessel_libs ${lib})
  endif()
endforeach()
install(TARGETS ${tessel_libs}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT runtime)
foreach(lib IN LISTS tessel_libs)
  if(tessel_relocatable)
    tessel_install_runpath(${lib} ${CMAKE_INSTALL_LIBDIR} "$ORIGIN")
  else()
    tessel_install_runpath(${lib} ${CMAKE_INSTALL_LIBDIR} "")
  endif()
endforeach()

get_property(tessel_language_modules GLOBAL PROPERTY TESSEL_LANGUAGE_MODULES)
if(tessel_language_modules)
  install(TARGETS ${tessel_language_modules} LIBRARY DESTINATION ${TESSEL_PLUGIN_DIR} COMPONENT runtime)
  foreach(module IN LISTS tessel_language_modules)
    tessel_install_runpath(${module} ${TESSEL_PLUGIN_DIR} "")
  endforeach()
endif()

# The dialog plug-in finds libtessel one folder up when the tree is moved;
# `tessel` looks for it relative to itself (cli/CMakeLists.txt). The
# spreadsheet readers likewise, loaded by the module on the first
# spreadsheet import.
foreach(plugin tessel_settings_ui tessel_spreadsheet_plugin)
  if(TARGET ${plugin})
    install(TARGETS ${plugin} LIBRARY DESTINATION ${TESSEL_PLUGIN_DIR} COMPONENT runtime)
    if(tessel_relocatable)
      tessel_build_runpath(${plugin} "$ORIGIN/..")
      tessel_install_runpath(${plugin} ${TESSEL_PLUGIN_DIR} "$ORIGIN/..")
    else()
      tessel_install_runpath(${plugin} ${TESSEL_PLUGIN_DIR} "")
    endif()
  endif()
endforeach()

if(TARGET tessel_cli)
  install(TARGETS tessel_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
  if(tessel_relocatable)
    file(RELATIVE_PATH tessel_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
    tessel_build_runpath(tessel_cli "$ORIGIN/${tessel_bin_to_lib}")
    tessel_install_runpath(tessel_cli ${CMAKE_INSTALL_BINDIR} "$ORIGIN/${tessel_bin_to_lib}")
  else()
    tessel_install_runpath(tessel_cli ${CMAKE_INSTALL_BINDIR} "")
  endif()
endif()

# --- headers --------------------------------------------------------------
# A host sees the exported classes and the few types their signatures name,
# nothing else. The set is the closure of the exported headers over their
# quoted includes; the copies go flat into include/tessel/ with those includes
# rewritten to their neighbours, so `#include <tessel/TSInterface.h>` works
# from the installed tree with -I<prefix>/include alone.
set(tessel_exported_headers interface/TSInterface.h settings/TSSettings.h)
file(GLOB tessel_speed_headers RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/speed/TS*.h)
list(APPEND tessel_exported_headers ${tessel_speed_headers})

function(tessel_header_closure out)
  set(todo ${ARGN})
  set(done)
  while(todo)
    list(POP_FRONT todo header)
    if(header IN_LIST done)
      continue()
    endif()
    list(APPEND done ${header})
    file(STRINGS ${CMAKE_SOURCE_DIR}/${header} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" inc "${line}")
      if(EXISTS ${CMAKE_SOURCE_DIR}/${inc})
        list(APPEND todo ${inc})
      else()
        message(FATAL_ERROR "${header} includes \"${inc}\", which is not a path from the source root")
      endif()
    endforeach()
  endwhile()
  set(${out} ${done} PARENT_SCOPE)
endfunction()

tessel_header_closure(tessel_public_headers ${tessel_exported_headers})
set(tessel_include_out ${CMAKE_BINARY_DIR}/include/tessel)
set(tessel_flat_names)
set(tessel_installed_headers)
foreach(header IN LISTS tessel_public_headers)
  get_filename_component(name ${header} NAME)
  if(name IN_LIST tessel_flat_names)
    message(FATAL_ERROR "two exported headers are named ${name}; the installed folder is flat")
  endif()
  list(APPEND tessel_flat_names ${name})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${header})
  file(READ ${CMAKE_SOURCE_DIR}/${header} text)
  foreach(other IN LISTS tessel_public_headers)
    get_filename_component(other_name ${other} NAME)
    string(REPLACE "#include \"${other}\"" "#include \"${other_name}\"" text "${text}")
  endforeach()
  file(WRITE ${tessel_include_out}/${name}.tmp "${text}")
  configure_file(${tessel_include_out}/${name}.tmp ${tessel_include_out}/${name} COPYONLY)
  file(REMOVE ${tessel_include_out}/${name}.tmp)
  list(APPEND tessel_installed_headers ${tessel_include_out}/${name})
endforeach()
# One header for everything a host may use.
set(umbrella "#pragma once\n// Everything a host of the Tessel module uses.\n")
foreach(header IN LISTS tessel_exported_headers)
  get_filename_component(name ${header} NAME)
  string(APPEND umbrella "#include \"${name}\"\n")
endforeach()
file(WRITE ${tessel_include_out}/tessel.h.tmp "${umbrella}")
configure_file(${tessel_include_out}/tessel.h.tmp ${tessel_include_out}/tessel.h COPYONLY)
file(REMOVE ${tessel_include_out}/tessel.h.tmp)
install(FILES ${tessel_installed_headers} ${tessel_include_out}/tessel.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tessel COMPONENT runtime)

# --- pkg-config and CMake package -----------------------------------------
if(tessel_relocatable)
  file(RELATIVE_PATH tessel_pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  set(TESSEL_PC_PREFIX "\${pcfiledir}/${tessel_pc_to_prefix}")
  string(REGEX REPLACE "/$" "" TESSEL_PC_PREFIX "${TESSEL_PC_PREFIX}")
  set(TESSEL_PC_RPATH " -Wl,-rpath,\${libdir}")
else()
  set(TESSEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(TESSEL_PC_RPATH "")
endif()
configure_file(${CMAKE_SOURCE_DIR}/cmake/tessel.pc.in ${CMAKE_BINARY_DIR}/tessel.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tessel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT runtime)

set(TESSEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessel)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/TesselConfig.cmake.in
  ${CMAKE_BINARY_DIR}/TesselConfig.cmake
  INSTALL_DESTINATION ${TESSEL_CMAKE_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TesselConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/TesselConfig.cmake ${CMAKE_BINARY_DIR}/TesselConfigVersion.cmake
  DESTINATION ${TESSEL_CMAKE_DIR} COMPONENT runtime)

# --- manual page, completion, documents -----------------------------------
if(TARGET tessel_cli AND NOT TESSEL_FUZZ)
  # Completion and the manual's COMMANDS section come from the built command
  # itself, so a format that registers a command appears in them without an
  # edit here. The command runs with a
  # configuration folder of its own: the builder's language must not leak in.
  # A sanitized build's command reports what the process still holds at exit;
  # that is no failure of the documents.
  set(tessel_gen_env ${CMAKE_COMMAND} -E env TESSEL_CONFIG_DIR=${CMAKE_BINARY_DIR}/doc-config
                     TESSEL_SEM_DIR=${CMAKE_BINARY_DIR}/doc-config/sem ASAN_OPTIONS=detect_leaks=0)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/share/tessel.bash-completion
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share ${CMAKE_BINARY_DIR}/doc-config
    COMMAND ${tessel_gen_env} $<TARGET_FILE:tessel_cli> completion bash
            > ${CMAKE_BINARY_DIR}/share/tessel.bash-completion
    DEPENDS tessel_cli
    COMMENT "bash completion of tessel" VERBATIM)
  set(tessel_generated ${CMAKE_BINARY_DIR}/share/tessel.bash-completion)
  install(FILES ${CMAKE_BINARY_DIR}/share/tessel.bash-completion
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tessel COMPONENT runtime)

  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/share/tessel.1
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/share ${CMAKE_BINARY_DIR}/doc-config
    COMMAND ${tessel_gen_env} $<TARGET_FILE:tessel_cli> completion man > ${CMAKE_BINARY_DIR}/share/tessel-commands.roff
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${CMAKE_SOURCE_DIR}/docs/tessel.1.in
            -DCOMMANDS=${CMAKE_BINARY_DIR}/share/tessel-commands.roff -DVERSION=${PROJECT_VERSION}
            -DOUT=${CMAKE_BINARY_DIR}/share/tessel.1 -P ${CMAKE_SOURCE_DIR}/cmake/ManualPage.cmake
    DEPENDS tessel_cli ${CMAKE_SOURCE_DIR}/docs/tessel.1.in ${CMAKE_SOURCE_DIR}/cmake/ManualPage.cmake
    COMMENT "manual page of tessel" VERBATIM)
  list(APPEND tessel_generated ${CMAKE_BINARY_DIR}/share/tessel.1)
  install(FILES ${CMAKE_BINARY_DIR}/share/tessel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  add_custom_target(tessel_docs ALL DEPENDS ${tessel_generated})
endif()

file(GLOB tessel_docs RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/docs/*.md)
install(FILES README.md ${tessel_docs} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tessel COMPONENT runtime)

# --- Debian package (`make package`) ---------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel)
set(CPACK_PACKAGE_VENDOR "Tessel")
set(CPACK_PACKAGE_CONTACT "Tessel developers <tessel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "conversion of sound-and-vibration measurement data between TRX and other formats")
set(CPACK_PACKAGE_DESCRIPTION
    "Tessel converts measurement data between TRX data sets and WAVE, universal files (58/58b), ASCII tables and further formats. The package holds the command tessel, the module libtessel with its headers, pkg-config and CMake files, the language modules and the settings dialog.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The run-time dependencies come from the libraries the binaries really link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The resampler loads libsoxr when it first runs (hostlibs/blocks), which
# the search of linked libraries cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsoxr0")
# The MP3 converters call these programs.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "lame, mpg123")
set(CPACK_STRIP_FILES ON)
include(CPack)

# The installed tree, tested from a fresh prefix (tests/install). A host built
# against a sanitized module would need the sanitizer runtime too, so the
# test belongs to the plain builds.
if(TESSEL_TESTS AND NOT TESSEL_SANITIZE AND NOT TESSEL_FUZZ AND TARGET tessel_cli)
  add_test(NAME install_tree COMMAND bash ${CMAKE_SOURCE_DIR}/tests/install/install_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(install_tree PROPERTIES TIMEOUT 300)
endif()
