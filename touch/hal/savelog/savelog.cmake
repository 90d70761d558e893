# The save-log interface and its writer thread.
set(HAL_SAVELOG_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES ${HAL_SAVELOG_DIR}/save_log.cpp)

vendor_test(hal_savelog_test
  SOURCES ${HAL_SAVELOG_DIR}/save_log_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch platform_properties)
