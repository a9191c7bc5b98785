if(TARGET tessel_scanner)
  tessel_add_fuzzer(fuzz_scanner SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_scanner.cpp LIBS tessel_scanner)
endif()
