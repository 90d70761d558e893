# The send-to-driver interface.
set(HAL_SEND_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES ${HAL_SEND_DIR}/send_to_driver.cpp)

vendor_test(hal_send_test
  SOURCES ${HAL_SEND_DIR}/send_to_driver_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch)
