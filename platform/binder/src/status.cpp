// Status objects.
#include <cstdlib>
#include <cstring>
#include <string>

#include "binder_internal.h"

namespace {

bool knownException(binder_exception_t e) {
  return (e <= EX_NONE && e >= EX_PARCELABLE) || e == EX_TRANSACTION_FAILED;
}

AStatus* make(binder_exception_t exception, const char* message) {
  auto* s = new AStatus();
  if (!knownException(exception)) {
    s->exception = EX_TRANSACTION_FAILED;
    s->status = STATUS_UNKNOWN_ERROR;
  } else {
    s->exception = exception;
    if (exception == EX_TRANSACTION_FAILED) s->status = STATUS_FAILED_TRANSACTION;
  }
  if (message != nullptr) s->message = message;
  return s;
}

const char* exceptionName(binder_exception_t e) {
  switch (e) {
    case EX_NONE: return "EX_NONE";
    case EX_SECURITY: return "EX_SECURITY";
    case EX_BAD_PARCELABLE: return "EX_BAD_PARCELABLE";
    case EX_ILLEGAL_ARGUMENT: return "EX_ILLEGAL_ARGUMENT";
    case EX_NULL_POINTER: return "EX_NULL_POINTER";
    case EX_ILLEGAL_STATE: return "EX_ILLEGAL_STATE";
    case EX_NETWORK_MAIN_THREAD: return "EX_NETWORK_MAIN_THREAD";
    case EX_UNSUPPORTED_OPERATION: return "EX_UNSUPPORTED_OPERATION";
    case EX_SERVICE_SPECIFIC: return "EX_SERVICE_SPECIFIC";
    case EX_PARCELABLE: return "EX_PARCELABLE";
    case EX_TRANSACTION_FAILED: return "EX_TRANSACTION_FAILED";
    default: return "EX_UNKNOWN";
  }
}

}  // namespace

extern "C" {

AStatus* AStatus_newOk() { return new AStatus(); }
AStatus* AStatus_fromExceptionCode(binder_exception_t exception) {
  return make(exception, nullptr);
}
AStatus* AStatus_fromExceptionCodeWithMessage(binder_exception_t exception, const char* message) {
  return make(exception, message);
}
AStatus* AStatus_fromServiceSpecificError(int32_t serviceSpecific) {
  return AStatus_fromServiceSpecificErrorWithMessage(serviceSpecific, nullptr);
}
AStatus* AStatus_fromServiceSpecificErrorWithMessage(int32_t serviceSpecific, const char* message) {
  AStatus* s = make(EX_SERVICE_SPECIFIC, message);
  s->serviceSpecific = serviceSpecific;
  return s;
}
AStatus* AStatus_fromStatus(binder_status_t status) {
  if (status == STATUS_OK) return AStatus_newOk();
  AStatus* s = make(EX_TRANSACTION_FAILED, nullptr);
  s->status = status;
  return s;
}
bool AStatus_isOk(const AStatus* status) { return status->exception == EX_NONE; }
binder_exception_t AStatus_getExceptionCode(const AStatus* status) { return status->exception; }
int32_t AStatus_getServiceSpecificError(const AStatus* status) {
  return status->exception == EX_SERVICE_SPECIFIC ? status->serviceSpecific : 0;
}
binder_status_t AStatus_getStatus(const AStatus* status) {
  return status->exception == EX_TRANSACTION_FAILED ? status->status : STATUS_OK;
}
const char* AStatus_getMessage(const AStatus* status) { return status->message.c_str(); }

const char* AStatus_getDescription(const AStatus* status) {
  std::string d = "Status(" + std::to_string(status->exception) + ", " +
                  exceptionName(status->exception) + "): '";
  if (status->exception == EX_SERVICE_SPECIFIC) {
    d += std::to_string(status->serviceSpecific) + ": ";
  } else if (status->exception == EX_TRANSACTION_FAILED) {
    d += "status " + std::to_string(status->status) + ": ";
  }
  d += status->message + "'";
  return strdup(d.c_str());
}
void AStatus_deleteDescription(const char* description) {
  std::free(const_cast<char*>(description));
}
void AStatus_delete(AStatus* status) { delete status; }

}  // extern "C"
