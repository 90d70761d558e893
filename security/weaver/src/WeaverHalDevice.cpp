#define LOG_TAG "weaver-service-secproc"

#include "WeaverHalDevice.h"

#include <log/log.h>

namespace {

int logFailure(const char* call, int rc) {
  ALOGE("%s", call);
  ALOGE("ret: %d", rc);
  return rc;
}

}  // namespace

WeaverHalDevice::WeaverHalDevice()
    : utils_(std::make_unique<keymasterutils::KeymasterUtils>(KM_SECURITY_LEVEL_STRONGBOX)) {}

WeaverHalDevice::~WeaverHalDevice() = default;

int WeaverHalDevice::getConfig(aidl::android::hardware::weaver::WeaverConfig* config) {
  // The command area belongs to one request from init until its answer is decoded.
  auto lock = utils_->lockRequest();
  int rc = utils_->secproc_init();
  if (rc != 0) return logFailure("getConfig", rc);
  keymaster_blob_t req;
  utils_->init(kCmdGetConfig, &req);
  req.data_length = 0;
  keymaster_blob_t rsp{};
  rc = utils_->sendCmd(req, &rsp);
  if (rc != 0) return logFailure("getConfig", rc);
  rc = serializer_.deserializeConfig(rsp, config);
  if (rc != 0) return logFailure("getConfig", rc);
  return 0;
}

int WeaverHalDevice::read(int32_t slotId, const std::vector<uint8_t>& key,
                          aidl::android::hardware::weaver::WeaverReadResponse* response) {
  auto lock = utils_->lockRequest();
  int rc = utils_->secproc_init();
  if (rc != 0) return logFailure("read", rc);
  keymaster_blob_t req;
  utils_->init(kCmdRead, &req);
  rc = serializer_.serializeRead(slotId, key, &req);
  if (rc != 0) return logFailure("read", rc);
  keymaster_blob_t rsp{};
  rc = utils_->sendCmd(req, &rsp);
  if (rc != 0) return rc;
  rc = serializer_.deserializeRead(rsp, response);
  if (rc != 0) return logFailure("read", rc);
  return 0;
}

int WeaverHalDevice::write(int32_t slotId, const std::vector<uint8_t>& key,
                           const std::vector<uint8_t>& value) {
  auto lock = utils_->lockRequest();
  int rc = utils_->secproc_init();
  if (rc != 0) return logFailure("write", rc);
  keymaster_blob_t req;
  utils_->init(kCmdWrite, &req);
  rc = serializer_.serializeWrite(slotId, key, value, &req);
  if (rc != 0) return logFailure("write", rc);
  keymaster_blob_t rsp{};
  return utils_->sendCmd(req, &rsp);
}
