# Point reporting (evdev and the shared report page), the report-point timer with its
# rates and vsync state machine, and the default point interpolation.
set(HAL_REPORT_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES
  ${HAL_REPORT_DIR}/point_interpolation.cpp
  ${HAL_REPORT_DIR}/point_method_v1.cpp
  ${HAL_REPORT_DIR}/point_method_v2.cpp
  ${HAL_REPORT_DIR}/report_timer.cpp
  ${HAL_REPORT_DIR}/report_interface.cpp)

vendor_test(hal_report_test
  SOURCES
    ${HAL_REPORT_DIR}/point_interpolation_test.cpp
    ${HAL_REPORT_DIR}/report_interface_test.cpp
    ${HAL_REPORT_DIR}/report_timer_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch touch_host_testsupport)
