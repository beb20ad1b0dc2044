# What a release installs, and how CPack packs it (scripts/package.sh runs it):
# - the 32-bit Windows build: the two DLLs the editor loads, the example scripts and the guide
#   for the editor's users, as kinetra-VERSION-win32.zip;
# - a native Linux build with the program: kinetra, the native plug-ins where it looks for them,
#   the examples, the man pages and Debian's documents, as kinetra_VERSION_amd64.deb.
# The other builds (portable kernels, 32-bit Linux, 64-bit Windows) exist to test and pack nothing.

set(KINETRA_MAINTAINER "The Kinetra developers <maintainers@kinetra.invalid>"
    CACHE STRING "Name and address in the Debian package's Maintainer field")

set(CPACK_PACKAGE_NAME kinetra)
set(CPACK_PACKAGE_VENDOR "The Kinetra developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "script-driven animation filters for pictures and sound")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

# Copies a text as Windows keeps text, lines ended by CR LF, its bytes otherwise untouched: the
# examples stay Shift-JIS, as the plug-ins read them.
function(kinetra_windows_text from to)
  file(READ ${from} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${to} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${from})
endfunction()

if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(staged ${PROJECT_BINARY_DIR}/release)
  file(REMOVE_RECURSE ${staged})
  file(GLOB examples CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/examples/*.txt)
  foreach(example ${examples})
    get_filename_component(name ${example} NAME)
    kinetra_windows_text(${example} ${staged}/examples/${name})
  endforeach()
  configure_file(packaging/readme-en.txt ${staged}/readme-en.txt @ONLY NEWLINE_STYLE CRLF)
  # The Japanese guide in Shift-JIS, the code page of the editor's users' Windows; iconv fails
  # on a character Shift-JIS cannot hold, and so does the build.
  configure_file(packaging/readme-ja.txt ${PROJECT_BINARY_DIR}/readme-ja.utf-8.txt @ONLY NEWLINE_STYLE CRLF)
  execute_process(COMMAND iconv -f UTF-8 -t CP932 INPUT_FILE ${PROJECT_BINARY_DIR}/readme-ja.utf-8.txt
                  OUTPUT_FILE ${staged}/readme-ja.txt RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "packaging/readme-ja.txt does not convert to Shift-JIS")
  endif()

  install(TARGETS dizorud dizorud_audio LIBRARY DESTINATION .)
  install(DIRECTORY ${staged}/ DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME kinetra-${PROJECT_VERSION}-win32)
  include(CPack)

elseif(TARGET kinetra AND NOT WIN32)
  set(docs ${CMAKE_INSTALL_DATAROOTDIR}/doc/kinetra)
  install(TARGETS kinetra RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Loaded with dlopen, never run: no execute permission.
  install(TARGETS dizorud dizorud_audio LIBRARY DESTINATION ${KINETRA_PLUGIN_INSTALL_DIR}
          PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(DIRECTORY examples/ DESTINATION ${docs}/examples)
  install(FILES README.md packaging/copyright DESTINATION ${docs})

  # Debian's change log, dated when the build is configured, gzipped as Debian's own tools do
  # (no name or time in the gzip header).
  string(TIMESTAMP KINETRA_PACKAGE_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/changelog
                  OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${docs})

  # The man pages are the program's own help (cmake/ManPages.cmake). Writing them runs the
  # program, which the instrumented builds would not leave alone (coverage data, leak reports).
  find_program(HELP2MAN help2man)
  if(HELP2MAN AND NOT KINETRA_SANITIZE AND NOT KINETRA_COVERAGE)
    add_custom_command(
      OUTPUT man/kinetra.1.gz
      COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:kinetra> -DVERSION=${PROJECT_VERSION}
              -DHELP2MAN=${HELP2MAN} -DOUTPUT=${PROJECT_BINARY_DIR}/man -P ${PROJECT_SOURCE_DIR}/cmake/ManPages.cmake
      DEPENDS kinetra ${PROJECT_SOURCE_DIR}/cmake/ManPages.cmake
      COMMENT "Writing the man pages from kinetra's help")
    add_custom_target(kinetra_man_pages ALL DEPENDS man/kinetra.1.gz)
    install(DIRECTORY ${PROJECT_BINARY_DIR}/man/ DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KINETRA_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The FFmpeg, FreeType and fontconfig libraries are the system's, declared by what the
  # binaries link, never bundled.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_PACKAGE_DESCRIPTION "Kinetra is a pair of filter plug-ins driven by a text script, animation.txt,
one for the picture of each frame and one for its sound. The kinetra program
runs them outside the editor they were made for: it decodes any clip FFmpeg
reads, takes every frame through both plug-ins and encodes the result, and
checks a script for the lines the plug-ins would skip.")
  include(CPack)
endif()
