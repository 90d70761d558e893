# Region detection: acquisition, the search stage, track slots and rectangle helpers.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/region_acquire.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_helpers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_small_stages.cpp)


vendor_test(ferrant_region_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/region_test.cpp
  LIBS ferrant_static)

