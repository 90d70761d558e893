# Coordinate pairing: region coordinates, matching, split judgement, complement pass, the
# phases after matching, and the pairing and low-temperature stages.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/coord_calc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_complement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_edge_res.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_edge_stage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_fp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_game.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_gesture.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_gesture_char.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_gesture_vert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_optimize.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_pair.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_post.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_smooth.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_split.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_transform.cpp
  ${CMAKE_CURRENT_LIST_DIR}/coord_wrappers.cpp)

vendor_test(ferrant_coord_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/coord_pair_test.cpp ${CMAKE_CURRENT_LIST_DIR}/coord_smooth_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/coord_game_test.cpp ${CMAKE_CURRENT_LIST_DIR}/coord_edge_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/coord_optimize_test.cpp ${CMAKE_CURRENT_LIST_DIR}/coord_transform_test.cpp
  LIBS ferrant_static)

vendor_test(ferrant_coord_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/coord_e2e_test.cpp
  LIBS touch_host touch_host_testsupport platform_paths android_host
  DEPENDS libtapsense_alg_ferrant)
if(TARGET ferrant_coord_e2e_test)
  # The test-side encoders only; the module is reached through the plug-in alone.
  target_include_directories(ferrant_coord_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core
    ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../region ${CMAKE_CURRENT_LIST_DIR}/../mathlib
    ${CMAKE_CURRENT_LIST_DIR}/../signal)
endif()

vendor_test(ferrant_gesture_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/coord_gesture_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant)
if(TARGET ferrant_gesture_e2e_test)
  target_include_directories(ferrant_gesture_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core)
endif()

vendor_test(ferrant_gesture_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/coord_gesture_test.cpp
  LIBS ferrant_static)
