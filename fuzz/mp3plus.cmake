# The MP3 side file's decoder from memory: the banner line and the pulse-bit
# code under any schedule of sub-channels.
if(TARGET tessel_fmt_mp3)
  tessel_add_fuzzer(fuzz_mp3plus SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_mp3plus.cpp LIBS tessel_fmt_mp3)
endif()
