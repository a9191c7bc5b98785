# TAFFmat header reader: any bytes as a ".hdr" file, in memory.
if(TARGET tessel_fmt_recorder)
  tessel_add_fuzzer(fuzz_taffmat SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_taffmat.cpp LIBS tessel_fmt_recorder)
endif()
