# Compresses IN into OUT as Debian ships manual pages: gzip at its best level,
# without the file's name or time in the header, so the bytes depend on the
# text alone.
# Usage: cmake -DGZIP=<gzip> -DIN=<file> -DOUT=<file> -P gzip.cmake
execute_process(COMMAND "${GZIP}" -9 -n -c "${IN}" OUTPUT_FILE "${OUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${IN}: ${status}")
endif()
