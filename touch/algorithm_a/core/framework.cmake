# Framework records of algorithm A: stage runner and app tables, configuration blob and
# its routing map, static arena and base memory routines, the common frame record, the
# configuration section records of every module and the stages whose bodies come later.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/framework.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_common.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_config_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_memory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/diff_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/customer_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/customer_edge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/noise_coord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/signal_cfg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/noise_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/freq_hop_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/freq_scan_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/normalize_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/ref_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/ref_update.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/ref_mutual.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_wrappers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_wrappers_coord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_wrappers_large.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module_wrappers_float.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/row_class.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/lcd_denoise.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../signal/ref_consistency.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../region/region_cfg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../region/region_stages.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../coord/coord_cfg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../coord/coord_stages.cpp)

vendor_test(ferrant_framework_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/framework_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_config_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_memory_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_common_test.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_config_blob
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_config_blob.cpp
  LIBS ferrant_static)

vendor_test(ferrant_noise_coord_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/noise_coord_test.cpp
  LIBS ferrant_static)

vendor_test(ferrant_module_wrappers_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/module_wrappers_test.cpp
  LIBS ferrant_static)
