# Math library of algorithm A: map, vector and scalar operations the stages share.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_custom.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_measure.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_region.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_scalar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_vpu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_vpu2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mathlib_xpu2.cpp)

vendor_test(ferrant_mathlib_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/mathlib_map_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mathlib_region_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mathlib_scalar_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mathlib_vector_test.cpp
  LIBS ferrant_static)
