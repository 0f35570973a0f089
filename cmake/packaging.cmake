# Installing and packaging. `cmake --install` puts the program and its manual
# page in place; CPack turns the same install rules into a Debian package on
# Linux and, for the Windows build, a zip archive holding cardlift.exe and a
# readme that Windows editors show properly.
include(GNUInstallDirs)

if(WIN32)
  # The archive is flat: the program and its readme side by side.
  install(TARGETS cardlift RUNTIME DESTINATION .)

  # The readme is kept with LF line ends in the repository; Notepad and the
  # console's `type` want CR LF, so the copy in the archive is converted here.
  set(cardlift_readme_in ${PROJECT_SOURCE_DIR}/packaging/readme.txt)
  set(cardlift_readme_out ${PROJECT_BINARY_DIR}/readme.txt)
  add_custom_command(OUTPUT ${cardlift_readme_out}
    COMMAND ${CMAKE_COMMAND} -DIN=${cardlift_readme_in} -DOUT=${cardlift_readme_out}
            -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
    DEPENDS ${cardlift_readme_in} ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
    COMMENT "Writing readme.txt with CR LF line ends"
    VERBATIM)
  # The licence beside them, as LICENSE.txt with CR LF line ends too.
  set(cardlift_licence_out ${PROJECT_BINARY_DIR}/LICENSE.txt)
  add_custom_command(OUTPUT ${cardlift_licence_out}
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/LICENSE -DOUT=${cardlift_licence_out}
            -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
    COMMENT "Writing LICENSE.txt with CR LF line ends"
    VERBATIM)
  add_custom_target(cardlift_readme ALL DEPENDS ${cardlift_readme_out} ${cardlift_licence_out})
  install(FILES ${cardlift_readme_out} ${cardlift_licence_out} DESTINATION .)

  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS cardlift RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The manual page compressed and the licence as a Debian copyright file, as
  # Debian packages ship them; man reads the compressed page as it is.
  find_program(CARDLIFT_GZIP gzip REQUIRED)
  set(cardlift_page_gz ${PROJECT_BINARY_DIR}/cardlift.1.gz)
  set(cardlift_copyright ${PROJECT_BINARY_DIR}/copyright)
  add_custom_command(OUTPUT ${cardlift_page_gz}
    COMMAND ${CMAKE_COMMAND} -DGZIP=${CARDLIFT_GZIP} -DIN=${PROJECT_SOURCE_DIR}/man/cardlift.1
            -DOUT=${cardlift_page_gz} -P ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/man/cardlift.1 ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_command(OUTPUT ${cardlift_copyright}
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/LICENSE -DOUT=${cardlift_copyright}
            -P ${PROJECT_SOURCE_DIR}/cmake/copyright.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/copyright.cmake
    COMMENT "Writing the copyright file"
    VERBATIM)
  # A package built here is Debian-native, whose changelog Debian wants too.
  configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
  set(cardlift_changelog_gz ${PROJECT_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${cardlift_changelog_gz}
    COMMAND ${CMAKE_COMMAND} -DGZIP=${CARDLIFT_GZIP} -DIN=${PROJECT_BINARY_DIR}/changelog
            -DOUT=${cardlift_changelog_gz} -P ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
    DEPENDS ${PROJECT_BINARY_DIR}/changelog ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
    COMMENT "Compressing the changelog"
    VERBATIM)
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
