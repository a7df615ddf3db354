# cmake -DGROFF=... -DIN=page.1 -DOUT=page.txt -P ManToText.cmake
# A manual page as plain ASCII text (no bold or underline overstrikes) with CR LF line ends,
# in its Windows edition (the register "windows" set: COM ports, the examples folder).
execute_process(COMMAND ${GROFF} -man -rwindows=1 -Tascii -P-c -P-b -P-u -P-o ${IN}
                OUTPUT_VARIABLE text RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "groff failed on ${IN}: ${rc}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
