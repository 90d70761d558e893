# Module interface of algorithm A: the exported descriptor and host operations, the host
# OS layer and logging, the controller command channel and information block, the debug
# daemon glue with the request ring and replay cache, and the start-up packages.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tsa_module.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_module_links.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_os.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_cmdchan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_debug.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_startup.cpp)

# The system log goes through liblog; the module library is defined after the fragments.
cmake_language(DEFER CALL target_link_libraries ferrant_static PUBLIC android_host)

# A stand-in for the outside debug daemon library: the two entry points the module binds,
# with a record of how they were called for the tests.
if(VENDOR_TESTS)
  add_library(ferrant_tsd_standin SHARED ${CMAKE_CURRENT_LIST_DIR}/tsa_debug_tsd_standin.cpp)
endif()

vendor_test(ferrant_module_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tsa_os_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_cmdchan_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_debug_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_startup_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_module_test.cpp
  LIBS ferrant_static platform_paths
  DEPENDS ferrant_tsd_standin)
if(TARGET ferrant_module_test)
  target_compile_definitions(ferrant_module_test PRIVATE
    FERRANT_TSD_STANDIN="$<TARGET_FILE:ferrant_tsd_standin>"
    FERRANT_NOSYM_LIB="$<TARGET_FILE:platform_paths>")
endif()

# Test build only: the plug-in made of the same module archive plus one exported entry
# that scripts the coordinate result (ferrant_script_hook_test.h), for end-to-end roads
# that need reported points before the coordinate stages have bodies. The production
# plug-in never contains it.
if(VENDOR_TESTS)
  vendor_plugin(libtapsense_alg_ferrant_scripted ${CMAKE_CURRENT_LIST_DIR}/ferrant_script_hook_test.cpp)
  target_link_libraries(libtapsense_alg_ferrant_scripted PRIVATE
    -Wl,--whole-archive ferrant_static -Wl,--no-whole-archive)
endif()

vendor_test(ferrant_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ferrant_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant libtapsense_alg_ferrant_scripted ferrant_tsd_standin)
if(TARGET ferrant_e2e_test)
  # The test-side encoders only; the module is reached through the plug-in alone.
  target_include_directories(ferrant_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
  target_compile_definitions(ferrant_e2e_test PRIVATE
    FERRANT_TSD_STANDIN="$<TARGET_FILE:ferrant_tsd_standin>")
endif()

# A tool driving the production plug-in through its exported entries alone, in fresh
# processes, and the table of entries a tool may look up.
vendor_test(ferrant_tool_api_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tsa_tool_api_test.cpp
  LIBS vendor_headers android_host dl
  DEPENDS libtapsense_alg_ferrant)
if(TARGET ferrant_tool_api_test)
  target_include_directories(ferrant_tool_api_test PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endif()

# The per-frame path allocates nothing once the module runs.
vendor_test(ferrant_frame_alloc_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ferrant_frame_alloc_test.cpp
  LIBS ferrant_static vendor_alloc_counter)

vendor_fuzzer(ferrant_ic_info
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tsa_cmdchan_fuzz.cpp
  LIBS ferrant_static)
