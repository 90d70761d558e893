// Every KeyMint answer decoder on any body; whatever they hand out is released again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "KeymasterSerialize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using keymasterdevice::KeymasterSerialize;
  KeymasterSerialize s(nullptr);
  const keymaster_blob_t rsp{data, size};

  keymaster_key_blob_t blob{};
  keymaster_key_characteristics_t chars{};
  keymaster_cert_chain_t chain{};
  if (s.deserializeKeyCreationResult(rsp, &blob, &chars, &chain) == 0) {
    keymaster_free_characteristics(&chars);
    keymaster_free_cert_chain(&chain);
  }
  std::free(const_cast<uint8_t*>(blob.key_material));
  blob = {};
  if (s.deserializeClientKeyblobLegacy(rsp, &blob) == 0) std::free(const_cast<uint8_t*>(blob.key_material));
  if (s.deserializeClientAttestKey(rsp, &chain) == 0) keymaster_free_cert_chain(&chain);

  keymaster_key_param_set_t params{};
  uint64_t handle = 0;
  if (s.deserializeClientBegin(rsp, &params, &handle) == 0) keymaster_free_param_set(&params);
  keymaster_blob_t output{};
  size_t consumed = 0;
  if (s.deserializeClientUpdate(rsp, &params, &output, &consumed) == 0) {
    keymaster_free_param_set(&params);
    std::free(const_cast<uint8_t*>(output.data));
  }
  output = {};
  if (s.deserializeClientFinish(rsp, &params, &output) == 0) {
    keymaster_free_param_set(&params);
    std::free(const_cast<uint8_t*>(output.data));
  }
  keymaster_blob_t exported{};
  if (s.deserializeClientExpKey(rsp, &exported) == 0) std::free(const_cast<uint8_t*>(exported.data));
  hmac_sharing_params_t hmac;
  s.deserializeClientGetHmacParams(rsp, &hmac);
  std::vector<uint8_t> v1, v2;
  s.deserializeClientComputeHmacParams(rsp, &v1);
  s.deserializeGenerateCsr(rsp, &v1, &v2);
  s.deserializeGenerateCsrV2(rsp, &v1);
  verification_token_t token;
  s.deserializeverifyAuthorization(rsp, &token);
  s.deserializeGenerateTimestamp(rsp, &token);
  keymaster_blob_t root{};
  s.deserializeGetRootOfTrust(rsp, &root);
  // The body read as a key blob of the secure processor's own format.
  keymaster_key_characteristics_t direct{};
  if (s.getCharacteristics(data, size, &direct) == 0) keymaster_free_characteristics(&direct);
  tztm start{}, end{};
  keymaster_key_blob_t key{data, size};
  s.get_gm_time(&key, &start, &end);
  return 0;
}
