# The dump modes, the dump thread, the volume-key trigger and the dump records.
set(HAL_DUMP_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES ${HAL_DUMP_DIR}/dump.cpp)

vendor_test(hal_dump_test
  SOURCES ${HAL_DUMP_DIR}/dump_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch)
vendor_fuzzer(hal_dump_record SOURCES ${HAL_DUMP_DIR}/fuzz_dump_record.cpp LIBS ${TAPSENSE_HAL_WHOLE})
