# Frame entry and synchronisation, module commands and control state, the controller
# state machine and the firmware command packets.
list(APPEND FERRANT_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/tsa_fwpkt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_ctrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tsa_frame.cpp)

vendor_test(ferrant_frame_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tsa_fwpkt_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_ctrl_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_state_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tsa_frame_test.cpp
  LIBS ferrant_static)
