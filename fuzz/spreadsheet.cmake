# The spreadsheet reader entry (xlsx, ods and xls from memory), then the
# block search and the writer on what it read.
if(TARGET tessel_fmt_spreadsheet)
  tessel_add_fuzzer(fuzz_spreadsheet SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_spreadsheet.cpp
                    LIBS tessel_spreadsheet_readers tessel_fmt_spreadsheet)
endif()
