# The hot-area game strategy and widget levels (JSON through cJSON).
set(HAL_HOTAREA_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES ${HAL_HOTAREA_DIR}/hot_area.cpp)

vendor_test(hal_hotarea_test
  SOURCES ${HAL_HOTAREA_DIR}/hot_area_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch)
vendor_fuzzer(hal_hot_area_json SOURCES ${HAL_HOTAREA_DIR}/fuzz_hot_area.cpp LIBS ${TAPSENSE_HAL_WHOLE})
