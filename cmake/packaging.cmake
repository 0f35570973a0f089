# Installing and packaging. `cmake --install` puts the program and its manual
# page in place; CPack turns the same install rules into a Debian package on
# Linux and, for the Windows build, a zip archive holding cardlift.exe and a
# readme that Windows editors show properly.
include(GNUInstallDirs)

# Makes the file `out` from the file `in` with the script cmake/<script>.cmake,
# which takes them as -DIN and -DOUT; further arguments go before them.
function(cardlift_file_from out in script comment)
  set(run ${PROJECT_SOURCE_DIR}/cmake/${script}.cmake)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} ${ARGN} -DIN=${in} -DOUT=${out} -P ${run}
    DEPENDS ${in} ${run}
    COMMENT "${comment}"
    VERBATIM)
endfunction()

if(WIN32)
  # The archive is flat: the program, its readme and its licence side by side.
  install(TARGETS cardlift RUNTIME DESTINATION .)

  # The readme and the licence are kept with LF line ends in the repository;
  # Notepad and the console's `type` want CR LF, so the copies in the archive
  # are converted here.
  set(cardlift_readme_out ${PROJECT_BINARY_DIR}/readme.txt)
  set(cardlift_licence_out ${PROJECT_BINARY_DIR}/LICENSE.txt)
  cardlift_file_from(${cardlift_readme_out} ${PROJECT_SOURCE_DIR}/packaging/readme.txt crlf
                     "Writing readme.txt with CR LF line ends")
  cardlift_file_from(${cardlift_licence_out} ${PROJECT_SOURCE_DIR}/LICENSE crlf
                     "Writing LICENSE.txt with CR LF line ends")
  add_custom_target(cardlift_readme ALL DEPENDS ${cardlift_readme_out} ${cardlift_licence_out})
  install(FILES ${cardlift_readme_out} ${cardlift_licence_out} DESTINATION .)
  # The web edition's page beside the program, when it was built (./test.sh
  # --all and the release build it first: cmake --workflow --preset web).
  set(CARDLIFT_WEB_PAGE "${PROJECT_SOURCE_DIR}/build/web/cardlift.html" CACHE FILEPATH
      "The self-contained page to ship in the zip, if it exists")
  if(EXISTS "${CARDLIFT_WEB_PAGE}")
    install(FILES "${CARDLIFT_WEB_PAGE}" DESTINATION .)
    set(cardlift_zip_has_page 1)
  else()
    set(cardlift_zip_has_page 0)
  endif()

  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS cardlift RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The manual page compressed, the licence as a Debian copyright file and,
  # as a package built here is Debian-native, a changelog, all as Debian
  # packages ship them; man reads the compressed page as it is.
  find_program(CARDLIFT_GZIP gzip REQUIRED)
  set(cardlift_page_gz ${PROJECT_BINARY_DIR}/cardlift.1.gz)
  set(cardlift_copyright ${PROJECT_BINARY_DIR}/copyright)
  set(cardlift_changelog_gz ${PROJECT_BINARY_DIR}/changelog.gz)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  cardlift_file_from(${cardlift_page_gz} ${PROJECT_SOURCE_DIR}/man/cardlift.1 gzip
                     "Compressing the manual page" -DGZIP=${CARDLIFT_GZIP})
  cardlift_file_from(${cardlift_copyright} ${PROJECT_SOURCE_DIR}/LICENSE copyright
                     "Writing the copyright file")
  cardlift_file_from(${cardlift_changelog_gz} ${PROJECT_BINARY_DIR}/changelog gzip
                     "Compressing the changelog" -DGZIP=${CARDLIFT_GZIP})
  add_custom_target(cardlift_docs ALL DEPENDS ${cardlift_page_gz} ${cardlift_copyright} ${cardlift_changelog_gz})
  install(FILES ${cardlift_page_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${cardlift_copyright} ${cardlift_changelog_gz} DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME cardlift)
set(CPACK_PACKAGE_VENDOR "cardlift maintainers")
set(CPACK_PACKAGE_CONTACT "cardlift maintainers <maintainers@users.noreply.c-seed-277cf5c0.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of at most 80 characters, as Debian's tools want them.
set(CPACK_PACKAGE_DESCRIPTION
  "cardlift takes a scene file saved by an Illusion/IllGames character-creation
game (a PNG image with the scene data appended) and writes every character
placed in it as a character card of its own: a fresh 252 x 352 picture
followed by the character's data.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # cardlift_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps (from dpkg-dev) works out the exact library versions; without
# it the package names the libraries any C++ program built here links against.
find_program(CARDLIFT_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(CARDLIFT_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()

include(CPack)

if(BUILD_TESTING)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/packaging ${PROJECT_BINARY_DIR}/tests/packaging)
endif()
