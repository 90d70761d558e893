# The raw-data interface and the raw-frame capture files.
set(HAL_RAWDATA_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES ${HAL_RAWDATA_DIR}/raw_data.cpp ${HAL_RAWDATA_DIR}/raw_files.cpp)

vendor_test(hal_rawdata_test
  SOURCES ${HAL_RAWDATA_DIR}/raw_data_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} platform_tamrel_touch)

# The periphery end to end: the real plug-in loaded by the touch host stand-in.
vendor_test(hal_periphery_e2e_test
  SOURCES ${HAL_RAWDATA_DIR}/periphery_e2e_test.cpp
  LIBS touch_host touch_host_testsupport platform_tamrel_touch platform_simdev platform_paths platform_properties
  DEPENDS libtapsense_hal)
# Only the module's headers: the module itself is the plug-in the host loads.
if(TARGET hal_periphery_e2e_test)
  target_include_directories(hal_periphery_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/.. $<TARGET_PROPERTY:PkgConfig::CJSON,INTERFACE_INCLUDE_DIRECTORIES>)
endif()
