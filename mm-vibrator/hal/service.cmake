# The service entry, IVibrator and IVibratorExt, the force-feedback and LED devices, HE
# lists, the sensor-driven mode and the duration report.
list(APPEND VIBRATOR_HAL_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CompletionTimer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HeEffect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SensorMode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tlog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Vibrator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VibratorDevices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VibratorExt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VibratorService.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VibratorState.cpp)
set(VIBRATOR_SERVICE_MAIN ${CMAKE_CURRENT_LIST_DIR}/service_main.cpp)

# Wave libraries and the haptics core the service loads with dlopen; the tests copy them
# into their temporary root.
set(VIBRATOR_RUNTIME_PLUGINS libbraxhaptics libbraxvibrator vendor.awa.wavelib
    libquonhapticv1 libaudigraphdevice)

# A test is defined once all of its sources are in the tree.
function(vibrator_service_test name)
  cmake_parse_arguments(V "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  foreach(source IN LISTS V_SOURCES)
    if(NOT EXISTS ${source})
      return()
    endif()
  endforeach()
  vendor_test(${name} SOURCES ${V_SOURCES} LIBS ${V_LIBS} DEPENDS ${V_DEPENDS})
endfunction()

vibrator_service_test(vibrator_he_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test/HeEffect_test.cpp
  LIBS vibrator_hal_static)
vibrator_service_test(vibrator_devices_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test/VibratorDevices_test.cpp
  LIBS vibrator_hal_static platform_vistrel platform_wavelibs)
vibrator_service_test(vibrator_service_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test/Vibrator_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/test/SensorMode_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/test/CompletionTimer_test.cpp
  LIBS vibrator_hal_static platform_sensors platform_wavelibs
  DEPENDS ${VIBRATOR_RUNTIME_PLUGINS})
vibrator_service_test(vibrator_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test/VibratorE2E_test.cpp
  LIBS vibrator_hal_static platform_tinyalsa platform_wavelibs
  DEPENDS ${VIBRATOR_RUNTIME_PLUGINS})

# vibrator-demo: an HE effect through the service on a simulated phone, into a WAV file.
if(VENDOR_TESTS)
  add_executable(vibrator-demo ${CMAKE_CURRENT_LIST_DIR}/demo/vibrator_demo.cpp)
  target_include_directories(vibrator-demo PRIVATE ${CMAKE_CURRENT_LIST_DIR}/test)
  target_compile_definitions(vibrator-demo PRIVATE VENDOR_PLUGIN_DIR="${CMAKE_LIBRARY_OUTPUT_DIRECTORY}")
  target_link_libraries(vibrator-demo PRIVATE vibrator_hal_static platform_tinyalsa)
  add_dependencies(vibrator-demo libbraxhaptics)
endif()

vendor_fuzzer(vibrator_he_list
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test/fuzz_vibrator_he_list.cpp
  LIBS vibrator_hal_static)
