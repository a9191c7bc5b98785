# The unit parser reads unit texts from foreign files; built from its source so
# that it does not wait for the whole data-set library.
if(TARGET tessel_platform)
  tessel_add_fuzzer(fuzz_units SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_units.cpp
                    ${CMAKE_SOURCE_DIR}/hostlibs/dataset/Unit.cpp LIBS tessel_platform)
endif()
