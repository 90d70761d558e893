#define LOG_TAG "SecProcKeyMasterKeyProvision"

#include "KeyMintWake.h"

#include <android/binder_auto_utils.h>
#include <android/binder_ibinder.h>
#include <android/binder_manager.h>
#include <android/binder_parcel_utils.h>
#include <log/log.h>

#include <cstdint>
#include <vector>

namespace keymasterdevice::internal {

namespace {

constexpr char kKeyMintDescriptor[] = "android.hardware.security.keymint.IKeyMintDevice";
constexpr char kStrongBoxInstance[] = "android.hardware.security.keymint.IKeyMintDevice/strongbox";
// deleteKey is the seventh method of the KeyMint device interface.
constexpr transaction_code_t kDeleteKey = FIRST_CALL_TRANSACTION + 6;

// The client side of the interface: this library only ever sends one call.
const AIBinder_Class* keyMintClass() {
  static AIBinder_Class* clazz = AIBinder_Class_define(
      kKeyMintDescriptor, [](void*) -> void* { return nullptr; }, [](void*) {},
      [](AIBinder*, transaction_code_t, const AParcel*, AParcel*) -> binder_status_t {
        return STATUS_UNKNOWN_TRANSACTION;
      });
  return clazz;
}

}  // namespace

void wakeStrongBoxKeyMint() {
  ::ndk::SpAIBinder binder(AServiceManager_waitForService(kStrongBoxInstance));
  if (binder.get() == nullptr || !AIBinder_associateClass(binder.get(), keyMintClass())) {
    ALOGE("Failed to get binder to service %s", kStrongBoxInstance);
    return;
  }
  ::ndk::ScopedAParcel in;
  if (AIBinder_prepareTransaction(binder.get(), in.getR()) != STATUS_OK ||
      ::ndk::AParcel_writeData(in.get(), std::vector<uint8_t>(16, 0)) != STATUS_OK) {
    return;
  }
  ::ndk::ScopedAParcel out;
  AIBinder_transact(binder.get(), kDeleteKey, in.getR(), out.getR(), FLAG_PRIVATE_LOCAL);
}

}  // namespace keymasterdevice::internal
