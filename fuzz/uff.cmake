# UFF import: finding data sets, their headers and every value, from any bytes.
if(TARGET tessel_fmt_uff)
  tessel_add_fuzzer(fuzz_uff SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_uff.cpp LIBS tessel_fmt_uff)
endif()
