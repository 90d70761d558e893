#define LOG_TAG "android.hardware.security.keymint-secproc-impl"

#include <log/log.h>

#include "AndroidKeyMintDevice.h"
#include "AndroidKeyMintOperation.h"
#include "KeyMintConversions.h"

namespace aidl::android::hardware::security::keymint {

using ::ndk::ScopedAStatus;
using ::aidl::android::hardware::security::secureclock::TimeStampToken;
using namespace km_utils;

namespace {

// The request's parameter list: the auth token when it converts to a token string.
bool authList(const std::optional<HardwareAuthToken>& authToken, KmParamSet* list) {
  const std::vector<uint8_t> token = authToken2AidlVec(authToken);
  return token.empty() || list->appendBytes(KM_TAG_AUTH_TOKEN, token);
}

}  // namespace

AndroidKeyMintOperation::AndroidKeyMintOperation(std::shared_ptr<keymasterdevice::KeymasterHalDevice> implementation,
                                                 keymaster_operation_handle_t opHandle)
    : impl_(std::move(implementation)), opHandle_(opHandle) {}

AndroidKeyMintOperation::~AndroidKeyMintOperation() {
  // The secure processor frees the operation's slot; after a finish or an abort it simply
  // refuses the handle, which nobody needs to hear about.
  if (opHandle_ != 0) impl_->abort_operation(opHandle_);
}

ScopedAStatus AndroidKeyMintOperation::updateAad(const std::vector<uint8_t>& input,
                                                 const std::optional<HardwareAuthToken>& authToken,
                                                 const std::optional<TimeStampToken>&) {
  KmParamSet list;
  if (!authList(authToken, &list)) return kmError2ScopedAStatus(KM_ERROR_MEMORY_ALLOCATION_FAILED);
  if (!input.empty() && !list.appendBytes(KM_TAG_ASSOCIATED_DATA, input)) {
    return kmError2ScopedAStatus(KM_ERROR_MEMORY_ALLOCATION_FAILED);
  }
  return kmError2ScopedAStatus(impl_->keymint_update_aad_operation(opHandle_, list.get()));
}

ScopedAStatus AndroidKeyMintOperation::update(const std::vector<uint8_t>& input,
                                              const std::optional<HardwareAuthToken>& authToken,
                                              const std::optional<TimeStampToken>&, std::vector<uint8_t>* output) {
  if (output == nullptr) return kmError2ScopedAStatus(KM_ERROR_OUTPUT_PARAMETER_NULL);
  KmParamSet list;
  if (!authList(authToken, &list)) return kmError2ScopedAStatus(KM_ERROR_MEMORY_ALLOCATION_FAILED);
  size_t consumedTotal = 0;
  // Empty input is a valid update: one request still goes out, so the processor checks the
  // operation and its token, and hands back whatever output it holds.
  do {
    const size_t remaining = input.size() - consumedTotal;
    keymaster_blob_t chunk{input.data() + consumedTotal, std::min(remaining, kMaxChunk)};
    size_t consumed = 0;
    KmParamSet outParams;
    KmBlob out;
    int rc = impl_->keymint_update_operation(opHandle_, list.get(), &chunk, &consumed, input.size(), outParams.get(),
                                             out.get());
    if (rc != 0) return kmError2ScopedAStatus(rc);
    std::vector<uint8_t> bytes = kmBlob2AidlVec(*out);
    output->insert(output->end(), bytes.begin(), bytes.end());
    // The loop advances by what the secure processor took: nothing taken would repeat the
    // same chunk forever, and more than it was given would read past the input.
    if (input.empty()) break;
    if (consumed == 0 || consumed > chunk.data_length) {
      ALOGE("update consumed %zu of %zu bytes", consumed, chunk.data_length);
      return kmError2ScopedAStatus(KM_ERROR_UNKNOWN_ERROR);
    }
    consumedTotal += consumed;
  } while (consumedTotal < input.size());
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintOperation::finish(const std::optional<std::vector<uint8_t>>& input,
                                              const std::optional<std::vector<uint8_t>>& signature,
                                              const std::optional<HardwareAuthToken>& authToken,
                                              const std::optional<TimeStampToken>&,
                                              const std::optional<std::vector<uint8_t>>&,
                                              std::vector<uint8_t>* output) {
  if (output == nullptr) return kmError2ScopedAStatus(KM_ERROR_OUTPUT_PARAMETER_NULL);
  KmParamSet list;
  if (!authList(authToken, &list)) return kmError2ScopedAStatus(KM_ERROR_MEMORY_ALLOCATION_FAILED);
  keymaster_blob_t in = input ? aidlVec2KmBlob(*input) : keymaster_blob_t{nullptr, 0};
  keymaster_blob_t sig = signature ? aidlVec2KmBlob(*signature) : keymaster_blob_t{nullptr, 0};
  KmParamSet outParams;
  KmBlob out;
  int rc = impl_->keymint_finish_operation(opHandle_, list.get(), &in, &sig, outParams.get(), out.get());
  if (rc != 0) return kmError2ScopedAStatus(rc);
  *output = kmBlob2AidlVec(*out);
  return ScopedAStatus::ok();
}

ScopedAStatus AndroidKeyMintOperation::abort() { return kmError2ScopedAStatus(impl_->abort_operation(opHandle_)); }

}  // namespace aidl::android::hardware::security::keymint
