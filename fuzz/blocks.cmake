# Processing blocks: any pulse bytes and sample values through edge
# detection, speed evaluation, the resampler, the integer conversion and the
# WAVE drain; counts and values must stay sane, nothing may crash or hang.
if(TARGET tessel_blocks)
  tessel_add_fuzzer(fuzz_blocks SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_blocks.cpp LIBS tessel_blocks)
endif()
