// Back end of libSeclink: one TEE context and one session with the secure-element trusted
// application, its commands, the eSE supply and the close-everything recovery.
#include "seclink_internal.h"

#include <log/log.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "ese_utils.h"
#include "seclink.h"
#include "tee_client_api.h"

uint8_t rApdu[kSeclinkRxSize];
EseSgBuffer rx = {rApdu, false, 255, kSeclinkRxSize};
EseSgBuffer tx = {nullptr, false, 255, 0};

namespace {

constexpr TEEC_UUID kSeclinkTa = {0x7D1C4B9E, 0x3A52, 0x4F0E, {0x9B, 0x6D, 0x2C, 0x81, 0xF5, 0xA0, 0xE3, 0x47}};
constexpr uint32_t kTransceiveParams =
    TEEC_PARAM_TYPES(TEEC_MEMREF_PARTIAL_INPUT, TEEC_MEMREF_PARTIAL_OUTPUT, TEEC_NONE, TEEC_NONE);
constexpr uint32_t kTransceiveTimeoutParams =
    TEEC_PARAM_TYPES(TEEC_MEMREF_PARTIAL_INPUT, TEEC_MEMREF_PARTIAL_OUTPUT, TEEC_VALUE_INPUT, TEEC_NONE);
constexpr uint32_t kGenericParams = TEEC_PARAM_TYPES(TEEC_VALUE_INPUT, TEEC_MEMREF_PARTIAL_OUTPUT, TEEC_NONE, TEEC_NONE);

struct Backend {
  std::mutex lock;
  bool contextInitialised = false;
  bool sessionOpen = false;
  bool eseOpen = false;
  bool powerOn = false;
  uint32_t lastResult = 0;
  TEEC_Context context{};
  TEEC_Session session{};
  TEEC_Operation operation{};
  uint32_t returnOrigin = 0;
  TEEC_SharedMemory txMemory{};
  TEEC_SharedMemory rxMemory{};
};

Backend& be() {
  static Backend* b = new Backend();
  return *b;
}

TEEC_Result allocate(Backend& b, TEEC_SharedMemory& mem, size_t size) {
  mem = TEEC_SharedMemory{};
  mem.size = size;
  mem.flags = TEEC_MEM_INPUT | TEEC_MEM_OUTPUT;
  return TEEC_AllocateSharedMemory(&b.context, &mem);
}

// Copies what fits of the response in rxMemory and returns the number of bytes copied: a
// caller reads the response (its status word last) by that length, so it must never exceed
// what the receive buffer holds.
int copyResponse(Backend& b, EseSgBuffer* rxBuf) {
  const size_t n = b.operation.params[1].memref.size;
  const size_t copied = std::min<size_t>({n, rxBuf->length, b.rxMemory.size});
  if (copied != 0) std::memcpy(rxBuf->buffer, b.rxMemory.buffer, copied);
  print_text("rApdu received :", rxBuf->buffer, static_cast<int>(copied));
  if (copied < n) ALOGE("%s: response of %zu bytes cut to the receive capacity %u", __func__, n, rxBuf->length);
  return static_cast<int>(copied);
}

// The generic command's exchange, entered with the lock held.
int genericLocked(Backend& b, SECLINK_Cmd_Generic_Tag tag, uint32_t value, EseSgBuffer* rxBuf, uint32_t* status) {
  if (!b.sessionOpen) {
    // Nothing answers on a session that is not open; say so instead of calling the TEE.
    ALOGE("%s: no session with the TA", "seclink_generic");
    *status = TEEC_ERROR_BAD_STATE;
    return -1;
  }
  b.operation = TEEC_Operation{};
  b.operation.paramTypes = kGenericParams;
  b.operation.params[0].value.a = tag;
  b.operation.params[0].value.b = value;
  TEEC_Result r = allocate(b, b.rxMemory, kSeclinkRxSize);
  *status = r;
  if (r != TEEC_SUCCESS) {
    ALOGE("AllocateSharedMemory failed() returned 0x%08X", r);
    return -1;
  }
  std::memset(b.rxMemory.buffer, 0, b.rxMemory.size);
  b.operation.params[1].memref = {&b.rxMemory, kSeclinkRxSize, 0};
  r = TEEC_InvokeCommand(&b.session, SECLINK_CMD_GENERIC, &b.operation, &b.returnOrigin);
  *status = r;
  if (r != TEEC_SUCCESS) {
    ALOGE("Transceive failed() returned 0x%08X", r);
    TEEC_ReleaseSharedMemory(&b.rxMemory);
    return -1;
  }
  const int n = copyResponse(b, rxBuf);
  TEEC_ReleaseSharedMemory(&b.rxMemory);
  ALOGD("%s: exit", "seclink_generic");
  return n;
}

void setPower(Backend& b, bool on, const char* failure) {
  if (eseSetPower(on) != 0) {
    ALOGE("%s", failure);
    ALOGE("Failure in recovering eSE !");
    return;
  }
  b.powerOn = on;
}

// Close-everything, entered with the lock held.
uint32_t doClose(Backend& b, uint32_t reason) {
  ALOGE("%s: enter", "do_close");
  if (reason != 0) {
    ALOGE("ESE ERROR MESSAGE - let's close everything : 0x%08X", reason);
    ALOGE("%s: send SECLINK_CMD_CLOSE to TA ", "do_close");
    if (reason == WTX_UNRECOVERABLE) {
      if (eseGetVendorId() == 2) {
        ALOGE("%s Not able to recover from WTX, do interface reset", "do_close");
        uint32_t status = 0;
        const int n = genericLocked(b, GENERIC_TAG_INTERFACE_RESET, 0, &rx, &status);
        if (n < 0 || status != 0) {
          ALOGE("%s interface reset failed", "do_close");
          if (eseSetPower(false) != 0) {
            ALOGE("Failure to power off the eSE");
            ALOGE("Failure in recovering eSE !");
          } else {
            b.powerOn = false;
            setPower(b, true, "Failure to power on the eSE");
          }
        }
      } else {
        ALOGE("%s Not able to recover from WTX, calling ese_cold_reset", "do_close");
        if (eseIoctl(ESE_IOCTL_COLD_RESET, 0) != 0) ALOGE("ese_cold_reset failed !");
      }
    }
  } else {
    ALOGE("%s: send SECLINK_CMD_CLOSE to TA ", "do_close");
  }
  // Without a session there is no application to tell; the close itself cannot fail then.
  uint32_t c = 0;
  if (b.sessionOpen) {
    b.operation = TEEC_Operation{};
    c = TEEC_InvokeCommand(&b.session, SECLINK_CMD_CLOSE, &b.operation, &b.returnOrigin);
  }
  if (reason != 0 || c == 0) {
    seclinkMarkAllChannelsClosed();
  } else {
    ALOGE("ESE ERROR MESSAGE  0x%08X", c);
  }
  if (b.sessionOpen) {
    ALOGE("%s: TEEC_CloseSession()", "do_close");
    TEEC_CloseSession(&b.session);
  }
  if (b.contextInitialised) {
    ALOGE("%s: TEEC_FinalizeContext()", "do_close");
    TEEC_FinalizeContext(&b.context);
  }
  if (eseSetPower(false) != 0) {
    ALOGE("Failure to power off the eSE");
  } else {
    b.powerOn = false;
  }
  b.sessionOpen = b.contextInitialised = b.eseOpen = false;
  ALOGE("%s: exit", "do_close");
  return c;
}

}  // namespace

std::string seclinkHex(const uint8_t* data, size_t length, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (size_t i = 0; i < length; ++i) {
    out.push_back(digits[data[i] >> 4]);
    out.push_back(digits[data[i] & 0xF]);
  }
  return out;
}

void print_text(std::string label, const uint8_t* data, int length) {
  const std::string hex = (data == nullptr || length <= 0) ? std::string() : seclinkHex(data, size_t(length), true);
  ALOGD("%s : %s", label.c_str(), hex.c_str());
}

uint32_t seclink_open() {
  Backend& b = be();
  std::lock_guard g(b.lock);
  ALOGE("%s: enter", "seclink_open");
  if (b.contextInitialised && b.sessionOpen && b.eseOpen) return 0;
  if (!b.contextInitialised) {
    ALOGE("%s: TEEC_InitializeContext", "seclink_open");
    b.lastResult = TEEC_InitializeContext(nullptr, &b.context);
    if (b.lastResult != TEEC_SUCCESS) {
      ALOGE("%s: TEEC_InitializeContext() ERROR MESSAGE  0x%08X", "seclink_open", b.lastResult);
      return b.lastResult;
    }
    b.contextInitialised = true;
  }
  if (eseSetPower(true) != 0) {
    ALOGE("eSE not powered on");
    b.powerOn = false;
    // The context may be fine, but the eSE is unusable: never report that as open.
    b.lastResult = TEEC_ERROR_COMMUNICATION;
    return b.lastResult;
  }
  b.powerOn = true;
  if (!b.sessionOpen) {
    ALOGE("%s: TEEC_OpenSession with TA", "seclink_open");
    b.operation = TEEC_Operation{};
    b.lastResult = TEEC_OpenSession(&b.context, &b.session, &kSeclinkTa, TEEC_LOGIN_USER, nullptr, &b.operation,
                                    &b.returnOrigin);
    if (b.lastResult != TEEC_SUCCESS) {
      ALOGE("TEEC_OpenSession() failed : 0x%08X", b.lastResult);
      const uint32_t failed = b.lastResult;
      doClose(b, failed);
      // The session never opened: report why, not the outcome of the clean-up.
      return failed;
    }
    b.sessionOpen = true;
  }
  if (b.eseOpen) {
    ALOGE("%s: exit, result=%d", "seclink_open", static_cast<int>(b.lastResult));
    return b.lastResult;
  }
  ALOGE("%s: send SECLINK_CMD_OPEN to TA ", "seclink_open");
  b.operation = TEEC_Operation{};
  b.lastResult = TEEC_InvokeCommand(&b.session, SECLINK_CMD_OPEN, &b.operation, &b.returnOrigin);
  if (b.lastResult != TEEC_SUCCESS) {
    ALOGE("SECLINK_CMD_OPEN failed : 0x%08X", b.lastResult);
    const uint32_t failed = b.lastResult;
    const uint32_t c = doClose(b, failed);
    if (c != 0) ALOGE("do_close failed : 0x%08X", c);
    return failed;
  }
  b.eseOpen = true;
  ALOGE("%s: exit, result=%d", "seclink_open", 0);
  return b.lastResult;
}

int seclink_transceive(EseSgBuffer* txBuf, EseSgBuffer* rxBuf, uint32_t* status) {
  Backend& b = be();
  std::lock_guard g(b.lock);
  ALOGD("%s: enter", "seclink_transceive");
  if (txBuf == nullptr) {
    ALOGE("%s: tx buffer is null", "seclink_transceive");
    return -1;
  }
  if (rxBuf == nullptr) {
    ALOGE("%s: rx buffer is null", "seclink_transceive");
    return -1;
  }
  if (status == nullptr) {
    ALOGE("%s: result is null", "seclink_transceive");
    return -1;
  }
  if (txBuf->length > kSeclinkMaxApdu) {
    ALOGE("%s: APDU too long %6u max is %6u", "seclink_transceive", txBuf->length, kSeclinkMaxApdu);
    return -1;
  }
  if (!(b.contextInitialised && b.sessionOpen && b.eseOpen && b.powerOn)) {
    ALOGE("Transceive failed : Context initialized : %d, Session open : %d, eSE open %d, eSEPowerState : %d",
          b.contextInitialised, b.sessionOpen, b.eseOpen, b.powerOn);
    return -1;
  }
  print_text("tApdu to be sent :", txBuf->buffer, static_cast<int>(txBuf->length));
  b.operation = TEEC_Operation{};
  uint32_t command = SECLINK_CMD_TRANSCEIVE;
  b.operation.paramTypes = kTransceiveParams;
  if (txBuf->hasTimeout) {
    command = SECLINK_CMD_TRANSCEIVE_TIMEOUT;
    b.operation.paramTypes = kTransceiveTimeoutParams;
    b.operation.params[2].value.a = txBuf->timeout;
  }
  uint32_t closed = 0;
  TEEC_Result r = allocate(b, b.txMemory, txBuf->length);
  *status = r;
  if (r != TEEC_SUCCESS) {
    ALOGE("AllocateSharedMemory failed() returned 0x%08X", r);
    closed = doClose(b, r);
  } else {
    if (txBuf->length != 0 && txBuf->buffer != nullptr)
      std::memcpy(b.txMemory.buffer, txBuf->buffer, std::min<size_t>(txBuf->length, b.txMemory.size));
    b.operation.params[0].memref = {&b.txMemory, txBuf->length, 0};
    r = allocate(b, b.rxMemory, kSeclinkRxSize);
    *status = r;
    if (r != TEEC_SUCCESS) {
      ALOGE("AllocateSharedMemory failed() returned 0x%08X", r);
      TEEC_ReleaseSharedMemory(&b.txMemory);
      closed = doClose(b, r);
    } else {
      ALOGD("%s: send SECLINK_CMD_TRANSCEIVE to TA", "seclink_transceive");
      std::memset(b.rxMemory.buffer, 0, b.rxMemory.size);
      b.operation.params[1].memref = {&b.rxMemory, kSeclinkRxSize, 0};
      r = TEEC_InvokeCommand(&b.session, command, &b.operation, &b.returnOrigin);
      *status = r;
      if (r == TEEC_SUCCESS) {
        const int n = copyResponse(b, rxBuf);
        TEEC_ReleaseSharedMemory(&b.txMemory);
        TEEC_ReleaseSharedMemory(&b.rxMemory);
        ALOGD("%s: exit", "seclink_transceive");
        return n;
      }
      ALOGE("Transceive failed() returned 0x%08X", r);
      TEEC_ReleaseSharedMemory(&b.txMemory);
      TEEC_ReleaseSharedMemory(&b.rxMemory);
      if (r != TEEC_ERROR_TARGET_DEAD && r != WTX_UNRECOVERABLE) return -1;
      closed = doClose(b, r);
    }
  }
  if (closed != 0) ALOGE("do_close() failed");
  return -1;
}

int seclink_generic(SECLINK_Cmd_Generic_Tag tag, uint32_t value, EseSgBuffer* rxBuf, uint32_t* status) {
  Backend& b = be();
  std::lock_guard g(b.lock);
  ALOGD("%s: enter", "seclink_generic");
  if (static_cast<uint32_t>(tag) > GENERIC_TAG_OSU_STATE) {
    ALOGE("Invalid reqType for generic command");
    return -1;
  }
  if (rxBuf == nullptr || status == nullptr) return -1;
  return genericLocked(b, tag, value, rxBuf, status);
}

uint32_t seclink_close(uint32_t reason) {
  Backend& b = be();
  std::lock_guard g(b.lock);
  if (!b.contextInitialised && !b.sessionOpen && !b.eseOpen) {
    ALOGE("Session already closed, ignore close request");
    return 0;
  }
  return doClose(b, reason);
}

bool isSELinkActive() {
  Backend& b = be();
  // The flags change under the lock on other threads (open, close, a dead target).
  std::lock_guard g(b.lock);
  return b.contextInitialised && b.sessionOpen && b.eseOpen;
}
