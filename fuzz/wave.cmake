# WAVE import: the RIFF walk from memory, and the whole import job on a file
# made of the input (output data set included), from any bytes. The format's
# library alone, not the module: the fewer instrumented edges a target
# carries, the less each run costs the fuzzer's bookkeeping.
if(TARGET tessel_fmt_wave)
  tessel_add_fuzzer(fuzz_wave SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_wave.cpp LIBS tessel_fmt_wave)
endif()
