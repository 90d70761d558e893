# Prebaked effect streams and their cache, the dynamic-effect devices and playback thread,
# the waveform generator and its tracks.
list(APPEND VIBRATOR_HAL_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Curve.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DynamicEffectDevice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DynamicEffectThread.cpp
  ${CMAKE_CURRENT_LIST_DIR}/StreamEffect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrackTuning.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Tracks.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WaveformGenerator.cpp)

vendor_test(vibrator_generator_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/test/StreamEffect_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test/Tracks_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test/WaveformGenerator_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/test/DynamicEffect_test.cpp
  LIBS vibrator_hal_static platform_tinyalsa platform_wavelibs platform_simdev platform_paths
       platform_properties
  DEPENDS libbraxhaptics vendor.awa.wavelib libquonhapticv1 libaudigraphdevice)

# The playback side of the generator allocates nothing (counts every allocation).
vendor_test(vibrator_generator_alloc_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test/GeneratorAlloc_test.cpp
  LIBS vibrator_hal_static platform_wavelibs platform_paths platform_properties vendor_alloc_counter
  DEPENDS libbraxhaptics)

vendor_fuzzer(vibrator_effect_name
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/test/fuzz_vibrator_effect_name.cpp
  LIBS vibrator_hal_static)
