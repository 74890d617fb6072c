# What `cmake --install` puts where, and the packages CPack makes of it:
# a .deb and a .tar.gz on Linux, a flat zip on Windows.
include(GNUInstallDirs)

if(WIN32)
  # The converter reads MARLOW.INI from its own folder: all lies side by side.
  set(TORVEL_BIN_DIR .)
  set(TORVEL_DOC_DIR .)
else()
  set(TORVEL_BIN_DIR ${CMAKE_INSTALL_BINDIR})
  set(TORVEL_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
endif()

install(TARGETS torvel torvel-pics RUNTIME DESTINATION ${TORVEL_BIN_DIR})
install(FILES examples/logo.bmp DESTINATION ${TORVEL_DOC_DIR})

# The browser page comes from a build of its own (the web preset): beside the
# programs on Windows, in the data folder elsewhere. Packages must hold it;
# an install from a plain build takes it when it is there.
set(TORVEL_WEB_PAGE ${PROJECT_SOURCE_DIR}/build/web/torvel.html CACHE FILEPATH
    "The built browser page, torvel.html")
option(TORVEL_REQUIRE_WEB_PAGE "Fail when the browser page has not been built" OFF)
if(WIN32)
  set(TORVEL_PAGE_DIR .)
else()
  set(TORVEL_PAGE_DIR ${CMAKE_INSTALL_DATADIR}/torvel)
endif()
if(TORVEL_REQUIRE_WEB_PAGE)
  if(NOT EXISTS ${TORVEL_WEB_PAGE})
    message(FATAL_ERROR "The browser page ${TORVEL_WEB_PAGE} is missing: build it "
                        "first with 'cmake --workflow --preset web'")
  endif()
  install(FILES ${TORVEL_WEB_PAGE} DESTINATION ${TORVEL_PAGE_DIR})
else()
  install(FILES ${TORVEL_WEB_PAGE} DESTINATION ${TORVEL_PAGE_DIR} OPTIONAL)
endif()

set(TORVEL_PACKAGE_FILES ${CMAKE_BINARY_DIR}/packaging)
if(WIN32)
  # Notepad users get the README and the configuration as text with CR LF
  # line ends.
  set(Texts)
  set(TextSources README.md examples/MARLOW.INI)
  set(TextNames README.txt MARLOW.INI)
  foreach(Source Name IN ZIP_LISTS TextSources TextNames)
    set(Text ${TORVEL_PACKAGE_FILES}/${Name})
    add_custom_command(OUTPUT ${Text}
      COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${Source}
              -DOUT=${Text} -P ${CMAKE_CURRENT_LIST_DIR}/text-crlf.cmake
      DEPENDS ${PROJECT_SOURCE_DIR}/${Source}
              ${CMAKE_CURRENT_LIST_DIR}/text-crlf.cmake
      COMMENT "Writing ${Name} with CR LF line ends" VERBATIM)
    list(APPEND Texts ${Text})
  endforeach()
  add_custom_target(package_files ALL DEPENDS ${Texts})
  install(FILES ${Texts} DESTINATION ${TORVEL_DOC_DIR})
else()
  # Manual pages and the changelog gzip-compressed, without name or time
  # stamp, as Debian ships them.
  find_program(TORVEL_GZIP gzip REQUIRED)
  string(TIMESTAMP TORVEL_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(packaging/changelog.in ${TORVEL_PACKAGE_FILES}/changelog @ONLY)
  set(Compressed)
  foreach(Source ${PROJECT_SOURCE_DIR}/man/torvel.1
                 ${PROJECT_SOURCE_DIR}/man/torvel-pics.1
                 ${TORVEL_PACKAGE_FILES}/changelog)
    get_filename_component(Name ${Source} NAME)
    set(Copy ${TORVEL_PACKAGE_FILES}/gz/${Name})
    add_custom_command(OUTPUT ${Copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${Source} ${Copy}
      COMMAND ${TORVEL_GZIP} -9nf ${Copy}
      DEPENDS ${Source}
      COMMENT "Compressing ${Name}" VERBATIM)
    list(APPEND Compressed ${Copy}.gz)
  endforeach()
  add_custom_target(package_files ALL DEPENDS ${Compressed})
  install(FILES ${TORVEL_PACKAGE_FILES}/gz/torvel.1.gz
                ${TORVEL_PACKAGE_FILES}/gz/torvel-pics.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md examples/MARLOW.INI packaging/copyright
                ${TORVEL_PACKAGE_FILES}/gz/changelog.gz
          DESTINATION ${TORVEL_DOC_DIR})
endif()

set(CPACK_PACKAGE_NAME torvel)
set(CPACK_PACKAGE_VENDOR "torvel developers")
set(CPACK_PACKAGE_CONTACT "torvel developers <torvel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "convert BMP pictures into VKP patches for phone firmware")
set(CPACK_PACKAGE_DESCRIPTION
    "torvel turns a picture you drew into a patch for your phone's firmware.
Given a BMP file, a full dump of the phone's flash and the number of a
picture stored in that firmware, it writes a VKP patch that a flasher
writes back to the phone. The firmware picture keeps its size; the
picture is packed at one bit per pixel, and every patch line shows the
row as text.

torvel-pics lists, shows, extracts and restores the pictures of a dump.
The same work runs in a browser page, torvel.html, that needs nothing
installed and no network.")
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()

include(CPack)
