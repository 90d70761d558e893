# HAL core: registration and entry points, device access, frame ring and frame thread,
# command threads, timers, threads and utilities.
set(HAL_CORE_DIR ${CMAKE_CURRENT_LIST_DIR}/core)
set(HAL_CORE_SOURCES
  ${HAL_CORE_DIR}/module.cpp
  ${HAL_CORE_DIR}/log.cpp
  ${HAL_CORE_DIR}/device.cpp
  ${HAL_CORE_DIR}/frame_ring.cpp
  ${HAL_CORE_DIR}/frame_data.cpp
  ${HAL_CORE_DIR}/command.cpp
  ${HAL_CORE_DIR}/timers.cpp
  ${HAL_CORE_DIR}/threads.cpp
  ${HAL_CORE_DIR}/utils.cpp
  ${HAL_CORE_DIR}/idle_interfaces.cpp)
list(APPEND TAPSENSE_HAL_SOURCES ${HAL_CORE_SOURCES})

if(VENDOR_TESTS)
  # The core alone, with the idle stand-ins of every other area: its unit tests see only
  # the core's own behaviour, whatever state the other areas are in.
  add_library(hal_core_alone STATIC ${HAL_CORE_SOURCES})
  target_include_directories(hal_core_alone PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(hal_core_alone PUBLIC vendor_headers platform_paths platform_simdev
    platform_properties Threads::Threads rt)

  set(HAL_CORE_TEST_LIBS hal_core_alone platform_tamrel_touch platform_simdev platform_paths
    platform_properties)
  vendor_test(hal_core_test
    SOURCES ${HAL_CORE_DIR}/module_test.cpp ${HAL_CORE_DIR}/runtime_test.cpp
    LIBS ${HAL_CORE_TEST_LIBS})
  vendor_test(hal_frame_test
    SOURCES ${HAL_CORE_DIR}/frame_ring_test.cpp ${HAL_CORE_DIR}/frame_data_test.cpp
            ${HAL_CORE_DIR}/command_test.cpp
    LIBS ${HAL_CORE_TEST_LIBS})
  # The watchdog timers live in one process-wide table of HAL_TIMER_MAX slots: four rounds in
  # one process show a start that does not give its slots back, which the two rounds of the
  # shuffled run may leave unseen.
  add_test(NAME repeat.hal_frame_test
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/gtest-shuffled $<TARGET_FILE:hal_frame_test> --gtest_repeat=4)
  set_tests_properties(repeat.hal_frame_test PROPERTIES TIMEOUT 900)
endif()

if(VENDOR_TESTS)
  # The plug-in end to end, loaded by the touch host stand-in.
  vendor_test(hal_e2e_test SOURCES ${HAL_CORE_DIR}/hal_e2e_test.cpp
    LIBS touch_host touch_host_testsupport vendor_alloc_counter platform_tamrel_touch platform_simdev platform_paths
         platform_properties
    DEPENDS libtapsense_hal)
endif()
