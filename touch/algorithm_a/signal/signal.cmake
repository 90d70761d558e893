# Signal conditioning beyond the stage files the framework lists: the flash k/b records
# and controller k/b commands, the raw-data filters and the noise phase lists; their
# tests and the fuzz entry of the k/b record check.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/../core/tsa_kbflash.cpp
  ${CMAKE_CURRENT_LIST_DIR}/raw_filter_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phase_para.cpp
  ${CMAKE_CURRENT_LIST_DIR}/signal_init.cpp)

# Low temperature, the judgement by a resting touch and the quick reference update, with
# their module wrappers.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/low_temp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/low_temp_touch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/low_temp_opt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/quick_ref.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../core/low_temp_wrappers.cpp)

vendor_test(ferrant_low_temp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/low_temp_test.cpp ${CMAKE_CURRENT_LIST_DIR}/quick_ref_test.cpp
  LIBS ferrant_static)

vendor_test(ferrant_signal_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/signal_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant)
if(TARGET ferrant_signal_e2e_test)
  # The test-side encoders only; the module is reached through the plug-in alone.
  target_include_directories(ferrant_signal_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core)
endif()

vendor_test(ferrant_signal_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/signal_test.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_kb_record
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/kb_record_fuzz.cpp
  LIBS ferrant_static)

vendor_test(ferrant_ref_update_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ref_update_test.cpp
  LIBS ferrant_static)

vendor_test(ferrant_row_class_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/row_class_test.cpp
  LIBS ferrant_static)

vendor_test(ferrant_lcd_denoise_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lcd_denoise_test.cpp
  LIBS ferrant_static)

# Row denoise body and the self-diff offset cancel.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/row_denoise.cpp
  ${CMAKE_CURRENT_LIST_DIR}/self_ofs_cancel.cpp)

vendor_test(ferrant_row_denoise_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/row_denoise_test.cpp
  LIBS ferrant_static)

vendor_test(ferrant_self_ofs_cancel_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/self_ofs_cancel_test.cpp
  LIBS ferrant_static)

vendor_test(ferrant_lcd_denoise_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/lcd_denoise_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant)
if(TARGET ferrant_lcd_denoise_e2e_test)
  # The test-side encoders only; the module is reached through the plug-in alone.
  target_include_directories(ferrant_lcd_denoise_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core)
endif()

vendor_test(ferrant_low_temp_e2e_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/low_temp_e2e_test.cpp
  LIBS touch_host platform_paths android_host
  DEPENDS libtapsense_alg_ferrant libtapsense_alg_ferrant_scripted)
if(TARGET ferrant_low_temp_e2e_test)
  # The test-side encoders only; the module is reached through the plug-in alone.
  target_include_directories(ferrant_low_temp_e2e_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../core)
endif()
