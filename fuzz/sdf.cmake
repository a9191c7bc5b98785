# SDF import: header records, result plans and every value, from any bytes.
if(TARGET tessel_fmt_sdf)
  tessel_add_fuzzer(fuzz_sdf SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_sdf.cpp LIBS tessel_fmt_sdf)
endif()
