# Neural-network engine: pool, tensors, weight reader, half precision, layers and the
# water-detection network. Computed without floating-point contraction, so that every
# kernel rounds where the engine says it does.
set(FERRANT_NN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/frnn_pool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_tensor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_half.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_math.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_padding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_activation.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_groupnorm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_elementwise.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_reshape.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_layout.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_gru.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_upsample.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_depthwise.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_conv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_conv_a.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_conv_blocked.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_conv_b.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_depthwise_kernels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_pooling.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_dense.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_fast.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_prepared.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_stats.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frnn_concat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_weights.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_denoise.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_float.cpp
  ${CMAKE_CURRENT_LIST_DIR}/net_water.cpp)
list(APPEND FERRANT_SOURCES ${FERRANT_NN_SOURCES})
set_source_files_properties(${FERRANT_NN_SOURCES} PROPERTIES COMPILE_OPTIONS "-ffp-contract=off;-fno-fast-math")

vendor_test(ferrant_nn_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/frnn_pool_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_tensor_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_half_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_layers_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_layout_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_conv_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_blocked_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_pooling_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/net_water_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/net_denoise_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/net_float_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/net_frame_order_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/net_weights_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/frnn_prepared_test.cpp
  LIBS ferrant_static)

# The water network against an independent numpy model of the same graph.
if(VENDOR_TESTS)
  add_executable(nn_water_tool ${CMAKE_CURRENT_LIST_DIR}/nn_water_tool.cpp)
  target_link_libraries(nn_water_tool PRIVATE ferrant_static)
  add_test(NAME ferrant_nn_water_reference
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/reference/water_reference.py $<TARGET_FILE:nn_water_tool>)
  set_tests_properties(ferrant_nn_water_reference PROPERTIES TIMEOUT 300)

  add_executable(nn_denoise_tool ${CMAKE_CURRENT_LIST_DIR}/nn_denoise_tool.cpp)
  target_link_libraries(nn_denoise_tool PRIVATE ferrant_static)
  add_test(NAME ferrant_nn_denoise_reference
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/reference/denoise_reference.py $<TARGET_FILE:nn_denoise_tool>)
  set_tests_properties(ferrant_nn_denoise_reference PROPERTIES TIMEOUT 300)

  # The GRU's weight packing (whole blocks of 8 units, then single units) at hidden sizes
  # 12, 8 and 3 against the numpy model of the water network's GRU, with seeded weights.
  add_executable(nn_gru_tool ${CMAKE_CURRENT_LIST_DIR}/nn_gru_tool.cpp)
  target_link_libraries(nn_gru_tool PRIVATE ferrant_static)
  add_test(NAME ferrant_nn_gru_reference
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/reference/gru_reference.py $<TARGET_FILE:nn_gru_tool>)
  set_tests_properties(ferrant_nn_gru_reference PROPERTIES TIMEOUT 120)

  add_executable(nn_float_tool ${CMAKE_CURRENT_LIST_DIR}/nn_float_tool.cpp)
  target_link_libraries(nn_float_tool PRIVATE ferrant_static)
  add_test(NAME ferrant_nn_float_reference
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/reference/float_reference.py $<TARGET_FILE:nn_float_tool>)
  set_tests_properties(ferrant_nn_float_reference PROPERTIES TIMEOUT 300)
endif()

vendor_fuzzer(ferrant_nn_weight_stream
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_water_fuzz.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_nn_denoise_weights
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_denoise_fuzz.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_nn_float_weights
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_float_fuzz.cpp
  LIBS ferrant_static)

vendor_fuzzer(ferrant_nn_frames
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_frames_fuzz.cpp
  LIBS ferrant_static)

# The networks as a host meets them: the plug-in loaded with dlopen, its weight-block doors
# and exported procedures found with dlsym, the water network driven by frames through the
# touch host. The module is reached through the plug-in alone; the static library only lends
# the seeded weight-block maker its half-precision conversion (and its headers).
vendor_test(ferrant_nn_host_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_host_test.cpp
  LIBS touch_host touch_host_testsupport platform_paths android_host ferrant_static
  DEPENDS libtapsense_alg_ferrant libtapsense_alg_ferrant_scripted)
