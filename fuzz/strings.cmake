# Texts: the string table, the message-text building, placeholder filling, the
# string type, and the user configuration file that chooses the language.
tessel_add_fuzzer(fuzz_strings SOURCES ${CMAKE_CURRENT_LIST_DIR}/strings_fuzz.cpp LIBS tessel_frame)
