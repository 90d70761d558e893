# Helpers shared by every directory of the tree.

# Host builds of Android's liblog, libbase, libcutils and libutils (Debian's android-lib*-dev).
set(ANDROID_HOST_LIBDIR /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/android)
add_library(android_host INTERFACE)
target_include_directories(android_host SYSTEM INTERFACE /usr/include/android)
target_link_libraries(android_host INTERFACE
  ${ANDROID_HOST_LIBDIR}/liblog.so
  ${ANDROID_HOST_LIBDIR}/libbase.so
  ${ANDROID_HOST_LIBDIR}/libcutils.so
  ${ANDROID_HOST_LIBDIR}/libutils.so)
target_link_options(android_host INTERFACE "-Wl,-rpath,${ANDROID_HOST_LIBDIR}")

# The system log silenced from the program's start (fuzz/quiet_logs.cpp), for programs whose
# own report the libraries' logs would bury: the libFuzzer entries and the benchmarks. An
# object library, so that its constructor is linked although nothing calls it.
if(VENDOR_FUZZ OR VENDOR_BENCH)
  add_library(vendor_quiet_logs OBJECT ${CMAKE_SOURCE_DIR}/fuzz/quiet_logs.cpp)
  target_link_libraries(vendor_quiet_logs PUBLIC android_host)
endif()

# A plug-in: a real shared library named exactly NAME (NAME.so), whose only exported
# symbols are the C entry points marked with VENDOR_EXPORT (include/vendor_export.h).
function(vendor_plugin name)
  add_library(${name} SHARED ${ARGN})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE vendor_headers)
endfunction()

# A shared library of this system (not a plug-in) under its deliverable name: built the
# same way, exporting only what it marks with VENDOR_EXPORT.
function(vendor_shared_library name)
  vendor_plugin(${name} ${ARGN})
endfunction()

# Components whose code runs threads of its own or serves several client threads. Their
# test programs also run in the ThreadSanitizer configuration (VENDOR_TSAN), where only
# they are built (target `tsan_tests`) and their whole-program run carries the label `tsan`.
set(VENDOR_THREADED_DIRS
  platform/binder
  mm-vibrator
  haptics_core
  touch/hal
  tools/touch_host
  touch/touchfeature_v2
  security/secproc_channel
  security/keymint
  security/keymint_provision
  security/weaver)
if(VENDOR_TESTS AND VENDOR_TSAN)
  add_custom_target(tsan_tests)
endif()

# A GoogleTest program beside the code it tests, registered with CTest.
#   vendor_test(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS l] [DEPENDS target...])
# DEPENDS names plug-ins the test loads with dlopen: they are built first, and the test
# finds them in VENDOR_PLUGIN_DIR.
# The outside test data, read in place; beside the checkout unless given (a worktree that
# lies elsewhere names it).
set(VENDOR_TESTDATA_DIR "${CMAKE_SOURCE_DIR}/../shared/testdata" CACHE PATH "outside test data, read in place")
function(vendor_test name)
  if(NOT VENDOR_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;DEPENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_compile_definitions(${name} PRIVATE
    VENDOR_PLUGIN_DIR="${CMAKE_LIBRARY_OUTPUT_DIRECTORY}"
    VENDOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VENDOR_TESTDATA_DIR="${VENDOR_TESTDATA_DIR}")
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${props})

  # CTest runs every test case in a process of its own, which hides a case that leaves
  # state behind or frees what another still uses. The whole program also runs once, in
  # random order and twice over; scripts/gtest-shuffled prints the seed to replay it.
  set(shuffle_labels shuffle)
  file(RELATIVE_PATH dir ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(threaded IN LISTS VENDOR_THREADED_DIRS)
    if(dir STREQUAL threaded OR dir MATCHES "^${threaded}/")
      list(APPEND shuffle_labels tsan)
      if(VENDOR_TSAN)
        add_dependencies(tsan_tests ${name})
      endif()
      break()
    endif()
  endforeach()
  add_test(NAME shuffle.${name}
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/gtest-shuffled $<TARGET_FILE:${name}>)
  # A high cost starts these long runs first when CTest runs tests in parallel.
  set_tests_properties(shuffle.${name} PROPERTIES LABELS "${shuffle_labels}" TIMEOUT 900 COST 1000)
endfunction()

# A fuzz entry point (LLVMFuzzerTestOneInput in SOURCES). The test suite builds it with a
# plain driver that replays every file of its seed corpus fuzz/corpus/NAME (no clang
# needed); with VENDOR_FUZZ=ON and clang, scripts/fuzz builds the real libFuzzer binary,
# which the aggregate target `fuzzers` builds for every entry. In that build the libraries
# are instrumented too (top CMakeLists.txt), VENDOR_FUZZING is defined for the entry (its
# custom mutator, if any) and the system log is silenced (vendor_quiet_logs).
#   vendor_fuzzer(NAME SOURCES a.cpp LIBS x y)
if(VENDOR_FUZZ)
  add_custom_target(fuzzers)
endif()
function(vendor_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  set(corpus ${CMAKE_SOURCE_DIR}/fuzz/corpus/${name})
  if(VENDOR_FUZZ)
    add_executable(fuzz_${name} ${F_SOURCES})
    target_link_libraries(fuzz_${name} PRIVATE ${F_LIBS} vendor_quiet_logs)
    target_compile_definitions(fuzz_${name} PRIVATE VENDOR_FUZZING=1)
    target_include_directories(fuzz_${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers fuzz_${name})
  elseif(VENDOR_TESTS)
    add_executable(fuzz_replay_${name} ${F_SOURCES} ${CMAKE_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(fuzz_replay_${name} PRIVATE ${F_LIBS})
    target_include_directories(fuzz_replay_${name} PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
    add_test(NAME fuzz_replay.${name} COMMAND fuzz_replay_${name} ${corpus})
    set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
endfunction()

# A deliverable whose directory has no build yet still exists as a target under its fixed
# name: an empty library, or a program that says it is not part of this build. Once DIR
# has a CMakeLists.txt of its own, that file defines the target instead.
#   vendor_component(DIR plugin|shared|program NAME)
function(vendor_component dir kind name)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
    return()
  endif()
  if(kind STREQUAL "plugin")
    vendor_plugin(${name} ${CMAKE_SOURCE_DIR}/cmake/placeholder.cpp)
  elseif(kind STREQUAL "shared")
    vendor_shared_library(${name} ${CMAKE_SOURCE_DIR}/cmake/placeholder.cpp)
  else()
    add_executable(${name} ${CMAKE_SOURCE_DIR}/cmake/placeholder_main.cpp)
    target_compile_definitions(${name} PRIVATE VENDOR_PROGRAM_NAME="${name}")
  endif()
endfunction()
