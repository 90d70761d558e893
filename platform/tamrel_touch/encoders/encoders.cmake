# Frame encoders of the simulated touch controller (one per controller family). Appends the
# sources to TAMREL_TOUCH_ENCODER_SOURCES and names the include directory; whoever includes
# this fragment builds them (the simulated driver's library, or the decoder tests' own
# static library while that does not take them).
set(TAMREL_TOUCH_ENCODER_INCLUDE_DIR ${CMAKE_CURRENT_LIST_DIR}/include)
list(APPEND TAMREL_TOUCH_ENCODER_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/luma_layout_encoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ferrant_encoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zet50210_encoder.cpp)
