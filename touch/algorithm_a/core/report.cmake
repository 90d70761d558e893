# Touch report output, module API with the flash-mirror and configuration stores, customer
# debug state and recorded frame data; the region and coordinate records they read.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tsa_report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_report_sources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_api.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_api_coord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_custdbg.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_custdbg_rcrd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../region/region_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../coord/coord_records.cpp)

vendor_test(ferrant_report_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tsa_report_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_api_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_custdbg_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../region/region_records_test.cpp
  LIBS ferrant_static)
