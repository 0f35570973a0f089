# stb, msgpack-cxx and nlohmann's JSON are header-only and the same for every
# target, so a cross build uses the host's copies, but through a root that
# holds only them: its compiler must never see the rest of /usr/include
# (glibc's headers). Makes that root at `root`/usr/include.
function(cardlift_header_root root)
  foreach(header stb msgpack msgpack.hpp nlohmann)
    if(NOT EXISTS "${root}/usr/include/${header}")
      file(MAKE_DIRECTORY "${root}/usr/include")
      file(CREATE_LINK /usr/include/${header} "${root}/usr/include/${header}" SYMBOLIC)
    endif()
  endforeach()
endfunction()
