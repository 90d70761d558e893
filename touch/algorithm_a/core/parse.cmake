# Controller frame parsing of the raw-frame path, its tests and its fuzz entry point.
list(APPEND FERRANT_SOURCES ${CMAKE_CURRENT_LIST_DIR}/tsa_parse.cpp)

vendor_test(ferrant_parse_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tsa_parse_test.cpp ${CMAKE_CURRENT_LIST_DIR}/fuzz_fixups_test.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_frame_parse
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tsa_parse_fuzz.cpp
  LIBS ferrant_static)
