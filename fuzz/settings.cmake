# Settings archive loader: any bytes must give a result, never a crash, a hang
# or an allocation beyond the input's size.
if(TARGET tessel_settings)
  tessel_add_fuzzer(fuzz_settings SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_settings.cpp LIBS tessel_settings)
endif()
