# Copies the text file IN to OUT with every line ended by CR LF.
# Usage: cmake -DIN=<file> -DOUT=<file> -P crlf.cmake
file(READ "${IN}" text)
# A checkout that already has CR LF must not end up with CR CR LF.
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
