# SONY LOG reader: any bytes as a LOG file, in memory.
if(TARGET tessel_fmt_recorder)
  tessel_add_fuzzer(fuzz_sonylog SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sonylog.cpp LIBS tessel_fmt_recorder)
endif()
