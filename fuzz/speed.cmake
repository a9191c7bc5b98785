# The mixed-rate export, the speed reference and the level search on any
# data set: the first bytes choose the arguments, the rest is the
# description behind a valid lead-in (seeds: fuzz/corpus/speed).
if(TARGET tessel_speed)
  tessel_add_fuzzer(fuzz_speed SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_speed.cpp LIBS tessel_speed)
endif()
