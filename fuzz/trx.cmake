# TRX data sets: opening and reading any bytes, and any description behind a
# valid lead-in; seeds are descriptions the library writes (fuzz/corpus/trx).
if(TARGET tessel_dataset)
  tessel_add_fuzzer(fuzz_trx SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_trx.cpp LIBS tessel_dataset)
endif()
