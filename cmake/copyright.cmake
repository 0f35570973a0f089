# Writes the Debian copyright file OUT (machine-readable format 1.0) for the
# licence text IN, whose lines become the licence's indented body.
# Usage: cmake -DIN=<LICENSE> -DOUT=<file> -P copyright.cmake
file(STRINGS "${IN}" lines)
set(body "")
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    string(APPEND body " .\n")
  else()
    string(APPEND body " ${line}\n")
  endif()
endforeach()
file(WRITE "${OUT}"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: cardlift

Files: *
Copyright: 2026 the cardlift authors
License: Expat
${body}")
