# The speed code on any data set: the first bytes choose the arguments, the
# rest is the description behind a valid lead-in (fuzz/speed_input.h; seeds:
# fuzz/corpus/speed, shared by both targets). fuzz_speed runs the cheap entry
# checks and the level search from memory; fuzz_speed_job runs the export job
# and the speed reference, which design filters and write files.
if(TARGET tessel_speed)
  tessel_add_fuzzer(fuzz_speed SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_speed.cpp LIBS tessel_speed)
  tessel_add_fuzzer(fuzz_speed_job SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_speed_job.cpp LIBS tessel_speed)
endif()
