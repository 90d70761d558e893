# Math library of algorithm A: map, vector and scalar operations the stages share.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_scalar.cpp)
