# QuickVu-RD header and SET file: any bytes as the start of a data file and a SET file, in memory.
if(TARGET tessel_fmt_recorder)
  tessel_add_fuzzer(fuzz_quickvu SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_quickvu.cpp LIBS tessel_fmt_recorder)
endif()
