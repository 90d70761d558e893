// The trusted application "secproc_service" and its shared memory.
#define LOG_TAG "KeymasterTzUtils"

#include "KeymasterTzUtils.h"

#include <BufferAllocator/BufferAllocatorWrapper.h>
#include <hardware/keymaster_defs.h>
#include <linux/dma-buf.h>
#include <log/log.h>
#include <platform/devio.h>
#include <platform/paths.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace keymasterutils {

std::unique_ptr<KeymasterTzUtils> mKeymasterTzUtils;

namespace {

constexpr char kAppName[] = "secproc_service";
constexpr char kImagePath[] = "/vendor/firmware_mnt/image/secproc_service.img";
constexpr char kHeapName[] = "orvn,celvarcom-ta";
constexpr char kLegacyHeapName[] = "celvcom_ta";
constexpr unsigned kLegacyHeapMask = 2;
constexpr size_t kInlineLimit = 256;
constexpr uint32_t kClassLoader = 3;
constexpr uint32_t kClassAppClient = 151;
constexpr uint32_t kReleaseBit = 0x10000;

enum AppOp : uint32_t {
  kOpWriteShared = 1,
  kOpReadInline = 2,
  kOpReadShared = 3,
  kOpDelete = 4,
  kOpLock = 5,
  kOpProvisionDeviceId = 7,
  kOpProvisionAttestation = 8,
  kOpPrepare = 12,
  kOpInitData = 13,
  kOpWriteInline = 14,
};

void releaseAndClear(Object* o) {
  if (o->invoke != nullptr) Object_release(*o);
  *o = Object_NULL;
}

int32_t openClass(Object env, uint32_t cls, Object* out) {
  ObjectArg a[2];
  a[0].bi = {&cls, sizeof cls};
  a[1].o = Object_NULL;
  int32_t rc = Object_invoke(env, 0, a, ObjectCounts_pack(1, 0, 0, 1));
  if (rc == 0) *out = a[1].o;
  return rc;
}

size_t mappedSize(uint32_t size) { return (size_t{size} + 4095) & ~size_t{4095}; }

}  // namespace

KeymasterTzUtils::KeymasterTzUtils()
    : app_(Object_NULL),
      client_env_(Object_NULL),
      app_controller_(Object_NULL),
      app_loader_(Object_NULL),
      app_client_(Object_NULL) {}

// The references are dropped; the application itself stays loaded for the next user.
KeymasterTzUtils::~KeymasterTzUtils() {
  releaseAndClear(&app_);
  releaseAndClear(&app_controller_);
  releaseAndClear(&app_loader_);
  releaseAndClear(&app_client_);
  releaseAndClear(&client_env_);
}

int KeymasterTzUtils::init() { return isInitialized() ? 0 : tzServiceLoad(); }

int KeymasterTzUtils::tzServiceLoad() {
  if (isInitialized()) {
    ALOGD("Already loaded");
    return 0;
  }
  int rc = TZCom_getClientEnvObject(&client_env_);
  if (rc != 0) {
    ALOGE("TZCom_getClientEnvObject failed with err: %d", rc);
  } else if ((rc = openClass(client_env_, kClassAppClient, &app_client_)) != 0) {
    ALOGE("IClientEnv_open failed with err: %d", rc);
  } else {
    ObjectArg a[2];
    a[0].bi = {kAppName, sizeof kAppName - 1};
    a[1].o = Object_NULL;
    if (Object_invoke(app_client_, 0, a, ObjectCounts_pack(1, 0, 0, 1)) == 0) {
      app_ = a[1].o;
      return 0;
    }
    ALOGD("Failed to get TA obj - try to load TA");
    if ((rc = openClass(client_env_, kClassLoader, &app_loader_)) != 0) {
      ALOGE("IClientEnv_open failed with err: %d", rc);
    } else if (loadTzApp(kImagePath) != 0) {
      ALOGE("Failed to loadTzApp");
    } else {
      a[0].o = Object_NULL;
      if (Object_invoke(app_controller_, 2, a, ObjectCounts_pack(0, 0, 0, 1)) == 0 &&
          a[0].o.invoke != nullptr) {
        app_ = a[0].o;
        return 0;
      }
      ALOGE("Failed to get app object");
    }
  }
  ALOGE("Failed to load assign null");
  releaseAndClear(&client_env_);
  releaseAndClear(&app_controller_);
  releaseAndClear(&app_loader_);
  releaseAndClear(&app_client_);
  releaseAndClear(&app_);
  return KM_ERROR_UNKNOWN_ERROR;
}

void KeymasterTzUtils::tzServiceUnload() {
  releaseAndClear(&app_);
  if (app_controller_.invoke != nullptr) {
    Object_invoke(app_controller_, 1, nullptr, 0);
    releaseAndClear(&app_controller_);
  }
  releaseAndClear(&client_env_);
  releaseAndClear(&app_loader_);
}

int KeymasterTzUtils::getFileSize(const std::string& path) {
  FILE* f = plat_fopen(path.c_str(), "rb");
  if (f == nullptr) {
    ALOGE("Failed to open file %s, errno %s %d", path.c_str(), strerror(errno), errno);
    return -1;
  }
  int result = -1;
  if (std::fseek(f, 0, SEEK_END) != 0) {
    ALOGE("Error seeking in file %s, errno %s %d", path.c_str(), strerror(errno), errno);
  } else {
    long size = std::ftell(f);
    if (size < 0 || size > INT32_MAX) {
      ALOGE("Error telling size of file %s, errno %s %d", path.c_str(), strerror(errno), errno);
    } else {
      result = static_cast<int>(size);
    }
  }
  std::fclose(f);
  return result;
}

int KeymasterTzUtils::readImageFileToBuffer(const std::string& path, int* size, uint8_t* dest) {
  FILE* f = plat_fopen(path.c_str(), "rb");
  if (f == nullptr) {
    ALOGE("Failed to open file %s, errno %s, %d", path.c_str(), strerror(errno), errno);
    return -1;
  }
  size_t want = static_cast<size_t>(*size);
  size_t got = std::fread(dest, 1, want, f);
  std::fclose(f);
  if (got != want) {
    ALOGE("Error reading the file %s, readBytes %d size %d errno %s, %d", path.c_str(),
          static_cast<int>(got), *size, strerror(errno), errno);
    return -1;
  }
  return static_cast<int>(got);
}

int KeymasterTzUtils::loadTzApp(const std::string& path) {
  int size = getFileSize(path);
  // An empty image loads nothing: with no application controller to ask, it is a failed load.
  if (size == 0) {
    ALOGE("Image %s is empty", path.c_str());
    return -1;
  }
  if (size < 0) return size;
  int result;
  {
    std::vector<uint8_t> image;
    image.resize(static_cast<size_t>(size));
    int read = readImageFileToBuffer(path, &size, image.data());
    if (read < 0) {
      ALOGE("failed to read image load %s, size %d", path.c_str(), size);
      result = read;
    } else {
      ObjectArg a[2];
      a[0].bi = {image.data(), image.size()};
      a[1].o = Object_NULL;
      result = Object_invoke(app_loader_, 0, a, ObjectCounts_pack(1, 0, 0, 1));
      if (result == 0) app_controller_ = a[1].o;
    }
  }
  if (result == 0 && app_controller_.invoke != nullptr) {
    ALOGD("Load app succeeded %s", path.c_str());
    return 0;
  }
  ALOGE("Load app %s ret %d", path.c_str(), result);
  if (app_controller_.invoke != nullptr) return result;
  ALOGE("appController is NULL!");
  if (result == 16) ALOGD("App is already loaded  %s", path.c_str());
  return -1;
}

int KeymasterTzUtils::keyIdToKeyTag(tz_key_id_enum id, uint32_t* tag) {
  switch (id) {
    case TZ_KEY_ID_DEVICE_IDS:
      *tag = 0x44495354;
      return 0;
    case TZ_KEY_ID_ATTESTATION:
      *tag = 0x41545453;
      return 0;
  }
  ALOGE("Invalid key id %u", static_cast<unsigned>(id));
  return KM_ERROR_INVALID_ARGUMENT;
}

int KeymasterTzUtils::loadOnDemand() {
  if (isInitialized()) return 0;
  if (tzServiceLoad() != 0) {
    ALOGE("TZ app isn't loaded");
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  return 0;
}

int KeymasterTzUtils::tzServiceWrite(tz_key_id_enum id, const uint8_t* data, size_t size) {
  int rc = loadOnDemand();
  if (rc != 0) return rc;
  if (size == 0 || data == nullptr || size > UINT32_MAX) {
    ALOGE("Invalid param size %d", static_cast<int>(size));
    return KM_ERROR_INVALID_ARGUMENT;
  }
  uint32_t tag;
  if ((rc = keyIdToKeyTag(id, &tag)) != 0) return rc;
  ObjectArg a[2];
  int32_t op;
  if (size <= kInlineLimit) {
    a[0].bi = {&tag, sizeof tag};
    a[1].bi = {data, size};
    op = Object_invoke(app_, kOpWriteInline, a, ObjectCounts_pack(2, 0, 0, 0));
  } else {
    ion_handle handle{};
    Object mem = Object_NULL;
    rc = allocIonMemObj(&handle, static_cast<uint32_t>(size), &mem);
    if (rc != 0) return rc;
    std::memcpy(handle.addr, data, size < mappedSize(handle.size) ? size : mappedSize(handle.size));
    uint32_t hdr[2] = {tag, static_cast<uint32_t>(size)};
    a[0].bi = {hdr, sizeof hdr};
    a[1].o = mem;
    op = Object_invoke(app_, kOpWriteShared, a, ObjectCounts_pack(1, 0, 1, 0));
    gatecallIonMemfree(&handle);
    Object_release(mem);
  }
  if (op != 0) {
    ALOGE("Failed to write to storage %d", op);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  return 0;
}

int KeymasterTzUtils::tzServiceRead(tz_key_id_enum id, uint8_t* dest, size_t* size) {
  int rc = loadOnDemand();
  if (rc != 0) return rc;
  if (size == nullptr || *size == 0 || dest == nullptr) {
    ALOGE("Invalid param");
    return KM_ERROR_INVALID_ARGUMENT;
  }
  uint32_t tag;
  if ((rc = keyIdToKeyTag(id, &tag)) != 0) return rc;
  ObjectArg a[3];
  a[0].bi = {&tag, sizeof tag};
  if (*size <= kInlineLimit) {
    a[1].b = {dest, *size};
    int32_t op = Object_invoke(app_, kOpReadInline, a, ObjectCounts_pack(1, 1, 0, 0));
    if (op != 0 || a[1].b.size > *size) {
      ALOGE("Failed to read from storage %d", op);
      return KM_ERROR_UNKNOWN_ERROR;
    }
    *size = a[1].b.size;
    ALOGD("read from RPMB size %d", static_cast<int>(*size));
    return 0;
  }
  const uint32_t capacity = static_cast<uint32_t>(*size);
  ion_handle handle{};
  Object mem = Object_NULL;
  rc = allocIonMemObj(&handle, capacity, &mem);
  if (rc != 0) return rc;
  uint32_t reported = capacity;
  a[1].b = {&reported, sizeof reported};
  a[2].o = mem;
  int32_t op = Object_invoke(app_, kOpReadShared, a, ObjectCounts_pack(1, 1, 1, 0));
  if (op != 0) {
    ALOGE("Failed to read to storage  %d", op);
    rc = KM_ERROR_UNKNOWN_ERROR;
  } else if (reported > capacity) {
    // The record is larger than the caller's buffer: nothing is copied past it.
    ALOGE("read from shared size %u beyond the buffer of %u", reported, capacity);
    rc = KM_ERROR_UNKNOWN_ERROR;
  } else {
    ALOGD("read from shared size %d", static_cast<int>(reported));
    size_t n = reported < mappedSize(handle.size) ? reported : mappedSize(handle.size);
    std::memcpy(dest, handle.addr, n);
    *size = n;
  }
  gatecallIonMemfree(&handle);
  Object_release(mem);
  return rc;
}

int KeymasterTzUtils::tagOperation(tz_key_id_enum id, uint32_t op, uint32_t* tag, int32_t* result) {
  int rc = loadOnDemand();
  if (rc != 0) return rc;
  if ((rc = keyIdToKeyTag(id, tag)) != 0) return rc;
  ObjectArg a[1];
  a[0].bi = {tag, sizeof *tag};
  *result = Object_invoke(app_, op, a, ObjectCounts_pack(1, 0, 0, 0));
  return 0;
}

int KeymasterTzUtils::tzServiceLock(tz_key_id_enum id) {
  uint32_t tag = 0;
  int32_t op = 0;
  int rc = tagOperation(id, kOpLock, &tag, &op);
  if (rc != 0) return rc;
  if (op != 0) {
    ALOGE("Failed to lock device ids partition %d", op);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  return 0;
}

int KeymasterTzUtils::tzServiceDelete(tz_key_id_enum id) {
  uint32_t tag = 0;
  int32_t op = 0;
  int rc = tagOperation(id, kOpDelete, &tag, &op);
  if (rc != 0) return rc;
  if (op != 0) {
    ALOGE("Failed to delete partition %d ret %d", static_cast<int>(tag), op);
    return KM_ERROR_UNKNOWN_ERROR;
  }
  return 0;
}

int KeymasterTzUtils::tzSecProcKmPrepare(int fd, bool* release) {
  if (release != nullptr) *release = false;
  if (fd < 0) return KM_ERROR_INVALID_ARGUMENT;
  int rc = loadOnDemand();
  if (rc != 0) return rc;
  Object dma = Object_NULL;
  if (TZCom_getFdObject(fd, &dma) != 0) {
    ALOGE("Failed to get fd object");
    return KM_ERROR_UNKNOWN_ERROR;
  }
  if (dma.invoke == nullptr) {
    ALOGE("Failed to get DMA Object");
    return KM_ERROR_UNKNOWN_ERROR;
  }
  ObjectArg a[1];
  a[0].o = dma;
  int32_t op = Object_invoke(app_, kOpPrepare, a, ObjectCounts_pack(0, 0, 1, 0));
  Object_release(dma);
  if (op > 0) {
    if ((op & kReleaseBit) == 0) {
      ALOGE("Failed to prepare: %d", op);
      return KM_ERROR_UNKNOWN_ERROR;
    }
    if (release != nullptr) *release = true;
    op &= ~static_cast<int32_t>(kReleaseBit);
  }
  if (op == 0) return 0;
  ALOGE("Failed to prepare: %d", op);
  return KM_ERROR_UNKNOWN_ERROR;
}

int KeymasterTzUtils::tzSecProcKmInitData() {
  if (!isInitialized()) {
    ALOGE("TZ app isn't loaded");
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  int32_t op = Object_invoke(app_, kOpInitData, nullptr, 0);
  if (op > 0) op &= ~static_cast<int32_t>(kReleaseBit);
  if (op == 0) return 0;
  if (op == 12 || op == 24) {
    ALOGW("Warning: could not send provisioning data (%d)", op);
    return 0;
  }
  ALOGE("Failed to initialize TZ-SECPROC data: %d", op);
  return KM_ERROR_UNKNOWN_ERROR;
}

int KeymasterTzUtils::provision(uint32_t op, const uint8_t* data, size_t length, int keyError,
                                const char* what) {
  int rc = loadOnDemand();
  if (rc != 0) return rc;
  ObjectArg a[1];
  a[0].bi = {data, length};
  int32_t result = Object_invoke(app_, op, a, ObjectCounts_pack(1, 0, 0, 0));
  if (result == 0) return 0;
  ALOGE("Failed to provision %s: %d", what, result);
  if (result == 15) return keyError;
  if (result == 12) return -10009;
  return KM_ERROR_UNKNOWN_ERROR;
}

int KeymasterTzUtils::tzSecProcKmProvisionDeviceId(const uint8_t* data, size_t length) {
  return provision(kOpProvisionDeviceId, data, length, -10005, "device ID");
}

int KeymasterTzUtils::tzSecProcKmProvisionAttestationKeys(const uint8_t* data, size_t length) {
  return provision(kOpProvisionAttestation, data, length, -10004, "attestation keys");
}

int KeymasterTzUtils::gatecallIonMemalloc(uint32_t size, ion_handle* handle) {
  if (handle == nullptr) {
    ALOGE("Error:Invalid param handle");
    return -1;
  }
  BufferAllocator* allocator = CreateDmabufHeapBufferAllocator();
  if (allocator == nullptr) {
    // Nothing can be allocated without it.
    ALOGE("Error: failed to create buffer allocator");
    handle->dmabuf_fd = -1;
    return -1;
  }
  const size_t length = mappedSize(size);
  int rc = MapDmabufHeapNameToIonHeap(allocator, kHeapName, kLegacyHeapName, 0, kLegacyHeapMask, 0);
  int fd = -1;
  void* addr = MAP_FAILED;
  if (rc < 0) {
    ALOGE("Error: failed to map heap (%d)", rc);
  } else if ((fd = DmabufHeapAlloc(allocator, kHeapName, length, 0, 0)) < 0) {
    ALOGE("Error: DMA-Buf allocation failed from heap %d, len %d, errno %d", kLegacyHeapMask,
          static_cast<int>(length), errno);
  } else if ((addr = plat_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)) == MAP_FAILED) {
    ALOGE("Error: MMAP failed: heap %d, len %d, errno %d", kLegacyHeapMask, static_cast<int>(length), errno);
    plat_close(fd);
  } else {
    *handle = ion_handle{-1, fd, size, addr};
    dma_buf_sync sync{DMA_BUF_SYNC_START | DMA_BUF_SYNC_RW};
    rc = plat_ioctl(fd, DMA_BUF_IOCTL_SYNC, &sync);
    if (rc == 0) {
      FreeDmabufHeapBufferAllocator(allocator);
      return 0;
    }
    ALOGE("Error: DMA_BUF_IOCTL_SYNC start failed, ret = %d, errno %d", rc, errno);
    plat_munmap(addr, length);
    plat_close(fd);
  }
  FreeDmabufHeapBufferAllocator(allocator);
  handle->dmabuf_fd = -1;
  return -1;
}

int KeymasterTzUtils::gatecallIonMemfree(ion_handle* handle) {
  if (handle == nullptr) return -1;
  dma_buf_sync sync{DMA_BUF_SYNC_END | DMA_BUF_SYNC_RW};
  int rc = plat_ioctl(handle->dmabuf_fd, DMA_BUF_IOCTL_SYNC, &sync);
  if (rc != 0) {
    ALOGE("Error:: DMA_BUF_IOCTL_SYNC end failed, ret = %d, errno %d", rc, errno);
    return rc;
  }
  plat_munmap(handle->addr, mappedSize(handle->size));
  if (handle->dmabuf_fd >= 0) plat_close(handle->dmabuf_fd);
  if (handle->fd >= 0) plat_close(handle->fd);
  handle->dmabuf_fd = -1;
  handle->fd = -1;
  handle->addr = nullptr;
  return 0;
}

int KeymasterTzUtils::allocIonMemObj(ion_handle* handle, uint32_t size, Object* obj) {
  if (gatecallIonMemalloc(size, handle) != 0) {
    ALOGE("Failed to alloc buffer of size %u", size);
    return KM_ERROR_MEMORY_ALLOCATION_FAILED;
  }
  if (TZCom_getFdObject(handle->dmabuf_fd, obj) != 0) {
    ALOGE("Failed to get fd object");
  } else if (obj->invoke == nullptr) {
    ALOGE("Failed to get DMA Object");
  } else {
    return 0;
  }
  gatecallIonMemfree(handle);
  return KM_ERROR_UNKNOWN_ERROR;
}

int KeymasterTzUtils::getIonMemObj(int fd, Object* obj) {
  if (TZCom_getFdObject(fd, obj) != 0) {
    ALOGE("Failed to get fd object");
    return KM_ERROR_UNKNOWN_ERROR;
  }
  if (obj->invoke == nullptr) {
    ALOGE("Failed to get DMA Object");
    return KM_ERROR_UNEXPECTED_NULL_POINTER;
  }
  return 0;
}

}  // namespace keymasterutils
