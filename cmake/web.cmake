# Builds the web edition with Debian's emscripten (package emscripten): the
# same core compiled to WebAssembly, for the self-contained page
# build/web/cardlift.html.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# stb, msgpack-cxx and nlohmann's JSON are header-only and the same for every
# target; emscripten's sysroot does not search /usr/include, and must never
# see the rest of it (glibc's headers), so they are reached through a root
# that holds only them.
set(_cardlift_web_root "${CMAKE_BINARY_DIR}/target-root")
foreach(header stb msgpack msgpack.hpp nlohmann)
  if(NOT EXISTS "${_cardlift_web_root}/usr/include/${header}")
    file(MAKE_DIRECTORY "${_cardlift_web_root}/usr/include")
    file(CREATE_LINK /usr/include/${header} "${_cardlift_web_root}/usr/include/${header}" SYMBOLIC)
  endif()
endforeach()
# emscripten's sysroot re-roots every search, so the folder is named outright.
set(STB_INCLUDE_DIR "${_cardlift_web_root}/usr/include" CACHE PATH "")
set(MSGPACK_INCLUDE_DIR "${_cardlift_web_root}/usr/include" CACHE PATH "")
set(JSON_INCLUDE_DIR "${_cardlift_web_root}/usr/include" CACHE PATH "")
