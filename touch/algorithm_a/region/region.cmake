# Region detection: acquisition, the search stage, track slots and rectangle helpers.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/region_acquire.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_diag.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_filters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_float.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_float_stage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_float_judge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_float_shape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_float_combine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_glove.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_helpers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_large.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_lib.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_slot_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_split.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_small_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_iron.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_selfcap.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_thumb.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_consis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_profile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_float_rect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_twopeak.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_water.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_water_judge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_water_union.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_water_wet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_water_build.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_water_split.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_waterproof.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_landscape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_slot_update.cpp
  ${CMAKE_CURRENT_LIST_DIR}/region_track.cpp)


vendor_test(ferrant_region_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/region_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_lib_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_small_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_float_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_float_judge_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_split_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_twopeak_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_water_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_water_judge_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_water_ops_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_track_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_large_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/region_float_combine_test.cpp
  LIBS ferrant_static)


vendor_test(ferrant_region_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant_scripted)
if(TARGET ferrant_region_e2e_test)
  # The test-side encoders and the record layout only; the module is reached through the
  # plug-in alone.
  target_include_directories(ferrant_region_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core
    ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../coord ${CMAKE_CURRENT_LIST_DIR}/../mathlib
    ${CMAKE_CURRENT_LIST_DIR}/../signal)
endif()

vendor_test(ferrant_water_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_water_e2e_test.cpp
  LIBS touch_host touch_host_testsupport platform_paths android_host
  DEPENDS libtapsense_alg_ferrant_scripted)
if(TARGET ferrant_water_e2e_test)
  # The road's panel and configuration builders, the test-side encoders and the record
  # layouts only; the module is reached through the plug-in alone.
  target_include_directories(ferrant_water_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core
    ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../coord ${CMAKE_CURRENT_LIST_DIR}/../mathlib
    ${CMAKE_CURRENT_LIST_DIR}/../signal)
endif()

vendor_test(ferrant_large_area_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_large_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant_scripted)
if(TARGET ferrant_large_area_e2e_test)
  # The test-side encoders and the record layouts only; the module is reached through the
  # plug-in alone.
  target_include_directories(ferrant_large_area_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core
    ${CMAKE_CURRENT_LIST_DIR} ${CMAKE_CURRENT_LIST_DIR}/../coord ${CMAKE_CURRENT_LIST_DIR}/../mathlib
    ${CMAKE_CURRENT_LIST_DIR}/../signal)
endif()

vendor_test(ferrant_region_iron_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_iron_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant_scripted)
if(TARGET ferrant_region_iron_e2e_test)
  # The test-side encoders only; the module is reached through the plug-in alone.
  target_include_directories(ferrant_region_iron_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core)
endif()

vendor_fuzzer(ferrant_region_acquire
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_acquire_fuzz.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_water_build
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_water_build_fuzz.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_float_judge
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/region_float_judge_fuzz.cpp
  LIBS ferrant_static)
