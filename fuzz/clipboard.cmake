# Clipboard text through the table writer: parsing, block search, abscissa
# cases and the data set.
if(TARGET tessel_fmt_spreadsheet)
  tessel_add_fuzzer(fuzz_clipboard SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_clipboard.cpp LIBS tessel_fmt_spreadsheet)
endif()
