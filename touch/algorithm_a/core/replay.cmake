# Replay and trace records, report frame packing, block scrambler.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tsa_replay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_pack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_scramble.cpp)

vendor_test(ferrant_replay_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tsa_replay_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_pack_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_scramble_test.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_replay_items
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tsa_replay_fuzz.cpp
  LIBS ferrant_static)
