# ASCII import: header scan, both passes and the data set from any bytes, and
# the plain-line reader checked against the token scanner on every input.
if(TARGET tessel_fmt_ascii)
  tessel_add_fuzzer(fuzz_ascii SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_ascii.cpp LIBS tessel_fmt_ascii)
endif()
