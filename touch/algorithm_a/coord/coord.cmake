# Coordinate pairing: region coordinates, matching, split judgement, complement pass, the
# phases after matching, and the pairing and low-temperature stages.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/coord_calc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_complement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_pair.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_post.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_split.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_wrappers.cpp)

vendor_test(ferrant_coord_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/coord_pair_test.cpp
  LIBS ferrant_static)
