# Builds the web edition with Debian's emscripten (package emscripten): the
# same core compiled to WebAssembly, for the self-contained page
# build/web/cardlift.html.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# The header-only libraries, through a root of their own (header_root.cmake):
# emscripten's sysroot does not search /usr/include either.
include(${CMAKE_CURRENT_LIST_DIR}/header_root.cmake)
set(_cardlift_web_root "${CMAKE_BINARY_DIR}/target-root")
cardlift_header_root("${_cardlift_web_root}")
# emscripten's sysroot re-roots every search, so the folder is named outright.
set(STB_INCLUDE_DIR "${_cardlift_web_root}/usr/include" CACHE PATH "")
set(MSGPACK_INCLUDE_DIR "${_cardlift_web_root}/usr/include" CACHE PATH "")
set(JSON_INCLUDE_DIR "${_cardlift_web_root}/usr/include" CACHE PATH "")
