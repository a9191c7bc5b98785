# WAVE import: the RIFF walk from memory, and the whole import job on a file
# made of the input (output data set included), from any bytes.
if(TARGET tessel_fmt_wave AND TARGET tessel_module)
  tessel_add_fuzzer(fuzz_wave SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_wave.cpp
                    LIBS tessel_module tessel_dataset tessel_basics)
endif()
