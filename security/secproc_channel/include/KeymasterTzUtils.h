#pragma once
// The trusted application "secproc_service": found running or loaded from its image, and
// each of its operations wrapped in one method.
#include <tzcom/object.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "secproc_api.h"

namespace keymasterutils {

class SECPROC_API KeymasterTzUtils {
 public:
  enum tz_key_id_enum : uint32_t {
    TZ_KEY_ID_DEVICE_IDS = 1,
    TZ_KEY_ID_ATTESTATION = 2,
  };
  struct ion_handle {
    int32_t fd;
    int32_t dmabuf_fd;
    uint32_t size;
    void* addr;
  };

  KeymasterTzUtils();
  virtual ~KeymasterTzUtils();  // releases the object references it holds

  int init();
  bool isInitialized() const { return app_.invoke != nullptr; }
  int tzServiceLoad();
  void tzServiceUnload();
  int loadTzApp(const std::string& path);
  static int getFileSize(const std::string& path);
  static int readImageFileToBuffer(const std::string& path, int* size, uint8_t* dest);
  static int keyIdToKeyTag(tz_key_id_enum id, uint32_t* tag);

  int tzServiceWrite(tz_key_id_enum id, const uint8_t* data, size_t size);
  int tzServiceRead(tz_key_id_enum id, uint8_t* dest, size_t* size);
  int tzServiceLock(tz_key_id_enum id);
  int tzServiceDelete(tz_key_id_enum id);
  int tzSecProcKmPrepare(int fd, bool* release);
  int tzSecProcKmInitData();
  int tzSecProcKmProvisionDeviceId(const uint8_t* data, size_t length);
  int tzSecProcKmProvisionAttestationKeys(const uint8_t* data, size_t length);

  int allocIonMemObj(ion_handle* handle, uint32_t size, Object* obj);
  int getIonMemObj(int fd, Object* obj);
  static int gatecallIonMemalloc(uint32_t size, ion_handle* handle);
  static int gatecallIonMemfree(ion_handle* handle);

 private:
  int loadOnDemand();
  // Loads on demand, then runs operation `op` with the id's storage tag as its one input.
  int tagOperation(tz_key_id_enum id, uint32_t op, uint32_t* tag, int32_t* result);
  int provision(uint32_t op, const uint8_t* data, size_t length, int keyError, const char* what);

  Object app_;
  Object client_env_;
  Object app_controller_;
  Object app_loader_;
  Object app_client_;
};

// The process-wide instance the channel bring-up uses: made by the first channel object of
// the process, dropped by the last one's cleanup, and used under the bring-up lock only.
SECPROC_API extern std::unique_ptr<KeymasterTzUtils> mKeymasterTzUtils;

}  // namespace keymasterutils
