# The raw-data interface and the raw-frame capture files.
set(HAL_RAWDATA_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES ${HAL_RAWDATA_DIR}/raw_data.cpp ${HAL_RAWDATA_DIR}/raw_files.cpp)

vendor_test(hal_rawdata_test
  SOURCES ${HAL_RAWDATA_DIR}/raw_data_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch)
