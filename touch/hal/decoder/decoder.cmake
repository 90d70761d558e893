# Frame decoders of the HAL module: the device_operation tables of the four controller
# families, their tests against independently built frames, fuzz entry points and the
# seed-corpus generator.
set(HAL_DECODER_DIR ${CMAKE_CURRENT_LIST_DIR})
list(APPEND TAPSENSE_HAL_SOURCES
  ${HAL_DECODER_DIR}/decoder_common.cpp
  ${HAL_DECODER_DIR}/decode_luma.cpp
  ${HAL_DECODER_DIR}/decode_ferrant.cpp
  ${HAL_DECODER_DIR}/ferrant_normalize.cpp
  ${HAL_DECODER_DIR}/decode_zet50210.cpp)

# The frame encoders live with the simulated driver; build them here only when that
# library does not take them.
if(TARGET platform_tamrel_touch)
  set(HAL_DECODER_ENCODERS platform_tamrel_touch)
else()
  set(TAMREL_TOUCH_ENCODER_SOURCES "")
  include(${CMAKE_SOURCE_DIR}/platform/tamrel_touch/encoders/encoders.cmake)
  add_library(tamrel_touch_encoders STATIC ${TAMREL_TOUCH_ENCODER_SOURCES})
  target_include_directories(tamrel_touch_encoders PUBLIC ${TAMREL_TOUCH_ENCODER_INCLUDE_DIR})
  set(HAL_DECODER_ENCODERS tamrel_touch_encoders)
endif()

vendor_test(hal_decoder_test
  SOURCES
    ${HAL_DECODER_DIR}/decoder_framework_test.cpp
    ${HAL_DECODER_DIR}/decode_luma_test.cpp
    ${HAL_DECODER_DIR}/decode_ferrant_test.cpp
    ${HAL_DECODER_DIR}/decode_zet50210_test.cpp
    ${HAL_DECODER_DIR}/fuzz_fixups_test.cpp
  LIBS ${TAPSENSE_HAL_WHOLE} ${HAL_DECODER_ENCODERS} platform_paths)
if(TARGET hal_decoder_test)
  target_include_directories(hal_decoder_test PRIVATE ${CMAKE_SOURCE_DIR}/fuzz)
endif()

# One fuzz entry point per controller family; seeds in fuzz/corpus/hal_decode_<family>,
# written by hal_decoder_corpus from the encoders.
foreach(family luma pellon kv ferrant zet50210)
  vendor_fuzzer(hal_decode_${family} SOURCES ${HAL_DECODER_DIR}/fuzz_decode_${family}.cpp LIBS ${TAPSENSE_HAL_WHOLE})
endforeach()

if(VENDOR_TESTS)
  add_executable(hal_decoder_corpus ${HAL_DECODER_DIR}/hal_decoder_corpus.cpp)
  target_link_libraries(hal_decoder_corpus PRIVATE ${TAPSENSE_HAL_WHOLE} ${HAL_DECODER_ENCODERS})
  # A path that cannot be used is reported with exit status 1 (not an abort): the corpus
  # writer and a replay driver, each given a directory that cannot exist.
  set(expect_refusal [=[out=$("$0" "$1" 2>&1); status=$?; echo "$out"; [ $status -eq 1 ] && echo "$out" | grep -q "$2"]=])
  add_test(NAME hal_decoder_corpus.bad_path
    COMMAND sh -c "${expect_refusal}" $<TARGET_FILE:hal_decoder_corpus> /proc/no-such-dir "cannot make /proc/no-such-dir")
  if(TARGET fuzz_replay_hal_decode_kv)
    add_test(NAME fuzz_replay.bad_path
      COMMAND sh -c "${expect_refusal}" $<TARGET_FILE:fuzz_replay_hal_decode_kv> /no-such-corpus "cannot read corpus /no-such-corpus")
  endif()
endif()
