# PAK throughput header and setup checks, and the ChanPos / MPlist readers, in memory.
if(TARGET tessel_fmt_pak)
  tessel_add_fuzzer(fuzz_pak SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_pak.cpp LIBS tessel_fmt_pak)
endif()
