# Configuration file format, its accessor and the read-configuration interface.
set(HAL_CONFIG_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES
  ${HAL_CONFIG_DIR}/config_file.cpp
  ${HAL_CONFIG_DIR}/config_interface.cpp)

vendor_test(hal_config_test
  SOURCES ${HAL_CONFIG_DIR}/config_file_test.cpp ${HAL_CONFIG_DIR}/config_interface_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch)
vendor_fuzzer(hal_config_file
  SOURCES ${HAL_CONFIG_DIR}/fuzz_config_file.cpp
  LIBS ${TAPSENSE_HAL_WHOLE})
