// IRERoririz: stub dispatch, proxy, default implementation and the result parcelable.
#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/BnRERoririz.h>
#include <aidl/vendor/tamrel/hardware/aidl/vaultsvc/BpRERoririz.h>
#include <platform_binder_aidl.h>

#include <mutex>

namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc {

using platform_binder_aidl::NoReturn;
using platform_binder_aidl::readFramed;
using platform_binder_aidl::remoteCall;
using platform_binder_aidl::serve;
using platform_binder_aidl::writeFramed;
using Status = ::ndk::ScopedAStatus;
using Str = std::string;
using Bytes = std::vector<uint8_t>;

const char* IRERoririz::descriptor = "vendor.tamrel.hardware.aidl.vaultsvc.IRERoririz";

binder_status_t RERoririzResult::writeToParcel(AParcel* p) const { return writeFramed(p, result, data); }
binder_status_t RERoririzResult::readFromParcel(const AParcel* p) { return readFramed(p, &result, &data); }

namespace {

// The default implementation is process-wide and may be replaced while proxies use it.
std::mutex& defaultLock() {
  static std::mutex m;
  return m;
}
std::shared_ptr<IRERoririz>& defaultSlot() {
  static std::shared_ptr<IRERoririz> impl;
  return impl;
}

binder_status_t onTransact(AIBinder* binder, transaction_code_t code, const AParcel* in, AParcel* out) {
  auto impl = platform_binder_aidl::implOf<IRERoririz>(binder);
  if (impl == nullptr) return STATUS_DEAD_OBJECT;
  IRERoririz& i = *impl;
  switch (code) {
    case IRERoririz::TRANSACTION_eccSign:
      return serve<Str, int32_t, Str>(in, out, [&](int32_t t, Str& x, Str* r) { return i.eccSign(t, x, r); });
    case IRERoririz::TRANSACTION_enroll:
      return serve<Str, Str, int32_t>(in, out, [&](Str& x, int32_t t, Str* r) { return i.enroll(x, t, r); });
    case IRERoririz::TRANSACTION_external_id_load:
      return serve<bool, int32_t>(in, out, [&](int32_t id, bool* r) { return i.external_id_load(id, r); });
    case IRERoririz::TRANSACTION_external_key_dump:
      return serve<Str, int32_t>(in, out, [&](int32_t id, Str* r) { return i.external_key_dump(id, r); });
    case IRERoririz::TRANSACTION_external_key_load:
      return serve<int32_t, int32_t, Str, Str>(
          in, out, [&](int32_t id, Str& k, Str& c, int32_t* r) { return i.external_key_load(id, k, c, r); });
    case IRERoririz::TRANSACTION_external_key_prepare:
      return serve<Str, int32_t>(in, out, [&](int32_t id, Str* r) { return i.external_key_prepare(id, r); });
    case IRERoririz::TRANSACTION_external_key_version:
      return serve<int32_t, int32_t>(in, out, [&](int32_t id, int32_t* r) { return i.external_key_version(id, r); });
    case IRERoririz::TRANSACTION_fido_key_get_version:
      return serve<int32_t>(in, out, [&](int32_t* r) { return i.fido_key_get_version(r); });
    case IRERoririz::TRANSACTION_fido_key_load:
      return serve<int32_t, Str, Str>(in, out, [&](Str& k, Str& c, int32_t* r) { return i.fido_key_load(k, c, r); });
    case IRERoririz::TRANSACTION_fido_key_prepare:
      return serve<Str>(in, out, [&](Str* r) { return i.fido_key_prepare(r); });
    case IRERoririz::TRANSACTION_getFid:
      return serve<Str>(in, out, [&](Str* r) { return i.getFid(r); });
    case IRERoririz::TRANSACTION_getTAVersion:
      return serve<Str>(in, out, [&](Str* r) { return i.getTAVersion(r); });
    case IRERoririz::TRANSACTION_get_device_rmpb_counter:
      return serve<int32_t>(in, out, [&](int32_t* r) { return i.get_device_rmpb_counter(r); });
    case IRERoririz::TRANSACTION_get_device_secure_status:
      return serve<std::vector<int32_t>>(in, out, [&](std::vector<int32_t>* r) { return i.get_device_secure_status(r); });
    case IRERoririz::TRANSACTION_payauth_key_dump:
      return serve<Str>(in, out, [&](Str* r) { return i.payauth_key_dump(r); });
    case IRERoririz::TRANSACTION_payauth_key_get_version:
      return serve<int32_t>(in, out, [&](int32_t* r) { return i.payauth_key_get_version(r); });
    case IRERoririz::TRANSACTION_payauth_key_load:
      return serve<int32_t, Str, Str>(in, out, [&](Str& k, Str& c, int32_t* r) { return i.payauth_key_load(k, c, r); });
    case IRERoririz::TRANSACTION_payauth_key_prepare:
      return serve<Str>(in, out, [&](Str* r) { return i.payauth_key_prepare(r); });
    case IRERoririz::TRANSACTION_persist_read:
      return serve<RERoririzResult, int32_t, Str>(
          in, out, [&](int32_t a, Str& n, RERoririzResult* r) { return i.persist_read(a, n, r); });
    case IRERoririz::TRANSACTION_persist_remove:
      return serve<int32_t, int32_t, Str>(in, out, [&](int32_t a, Str& n, int32_t* r) { return i.persist_remove(a, n, r); });
    case IRERoririz::TRANSACTION_persist_write:
      return serve<int32_t, int32_t, Str, Bytes, int32_t>(
          in, out, [&](int32_t a, Str& n, Bytes& d, int32_t f, int32_t* r) { return i.persist_write(a, n, d, f, r); });
    case IRERoririz::TRANSACTION_refreash_device_rpmb_status:
      return serve<int32_t>(in, out, [&](int32_t* r) { return i.refreash_device_rpmb_status(r); });
    case IRERoririz::TRANSACTION_reload:
      return serve<int32_t, Str, Str>(in, out, [&](Str& k, Str& c, int32_t* r) { return i.reload(k, c, r); });
    case IRERoririz::TRANSACTION_bioauth_generate:
      return serve<Str>(in, out, [&](Str* r) { return i.bioauth_generate(r); });
    case IRERoririz::TRANSACTION_bioauth_get_state:
      return serve<int32_t>(in, out, [&](int32_t* r) { return i.bioauth_get_state(r); });
    case IRERoririz::TRANSACTION_bioauth_set_state:
      return serve<NoReturn, int32_t>(in, out, [&](int32_t s, NoReturn*) { return i.bioauth_set_state(s); });
    case IRERoririz::TRANSACTION_drmkey_dump:
      return serve<Str>(in, out, [&](Str* r) { return i.drmkey_dump(r); });
    case IRERoririz::TRANSACTION_drmkey_get_version:
      return serve<int32_t>(in, out, [&](int32_t* r) { return i.drmkey_get_version(r); });
    case IRERoririz::TRANSACTION_drmkey_load:
      return serve<int32_t, Str, Str>(in, out, [&](Str& k, Str& c, int32_t* r) { return i.drmkey_load(k, c, r); });
    case IRERoririz::TRANSACTION_drmkey_prepare:
      return serve<Str>(in, out, [&](Str* r) { return i.drmkey_prepare(r); });
    case IRERoririz::TRANSACTION_getInterfaceVersion:
      return serve<int32_t>(in, out, [&](int32_t* r) { return i.getInterfaceVersion(r); });
    case IRERoririz::TRANSACTION_getInterfaceHash:
      return serve<Str>(in, out, [&](Str* r) { return i.getInterfaceHash(r); });
    default:
      return STATUS_UNKNOWN_TRANSACTION;
  }
}

const AIBinder_Class* clazz() {
  static AIBinder_Class* c = ::ndk::ICInterface::defineClass(IRERoririz::descriptor, onTransact);
  return c;
}

Status unknownTransaction() { return Status::fromStatus(STATUS_UNKNOWN_TRANSACTION); }

// One proxy call: the transaction, and the default implementation's answer when the server
// does not know the code.
template <typename R, typename Fallback, typename... A>
Status call(const ::ndk::SpAIBinder& binder, uint32_t code, R* ret, Fallback fallback, const A&... args) {
  Status status = remoteCall(binder, code, 0, ret, args...);
  if (status.getStatus() == STATUS_UNKNOWN_TRANSACTION) {
    if (std::shared_ptr<IRERoririz> d = IRERoririz::getDefaultImpl()) return fallback(*d);
  }
  return status;
}

}  // namespace

std::shared_ptr<IRERoririz> IRERoririz::fromBinder(const ::ndk::SpAIBinder& binder) {
  return platform_binder_aidl::fromBinderOf<IRERoririz, BpRERoririz>(binder, clazz());
}

binder_status_t IRERoririz::writeToParcel(AParcel* parcel, const std::shared_ptr<IRERoririz>& instance) {
  return AParcel_writeStrongBinder(parcel, instance ? instance->asBinder().get() : nullptr);
}

binder_status_t IRERoririz::readFromParcel(const AParcel* parcel, std::shared_ptr<IRERoririz>* instance) {
  ::ndk::SpAIBinder binder;
  binder_status_t status = AParcel_readStrongBinder(parcel, binder.getR());
  if (status != STATUS_OK) return status;
  *instance = IRERoririz::fromBinder(binder);
  return STATUS_OK;
}

bool IRERoririz::setDefaultImpl(const std::shared_ptr<IRERoririz>& impl) {
  if (impl == nullptr) return false;
  std::lock_guard<std::mutex> lock(defaultLock());
  defaultSlot() = impl;
  return true;
}

std::shared_ptr<IRERoririz> IRERoririz::getDefaultImpl() {
  std::lock_guard<std::mutex> lock(defaultLock());
  return defaultSlot();
}

// ---- stub

::ndk::SpAIBinder BnRERoririz::createBinder() {
  return platform_binder_aidl::newStubBinder(clazz(), static_cast<void*>(this));
}
Status BnRERoririz::getInterfaceVersion(int32_t* _aidl_return) {
  *_aidl_return = IRERoririz::version;
  return Status::ok();
}
Status BnRERoririz::getInterfaceHash(std::string* _aidl_return) {
  *_aidl_return = IRERoririz::hash;
  return Status::ok();
}

// ---- proxy

BpRERoririz::BpRERoririz(const ::ndk::SpAIBinder& binder) : BpCInterface(binder) {}

Status BpRERoririz::eccSign(int32_t a, const Str& b, Str* r) {
  return call(asBinder(), TRANSACTION_eccSign, r, [&](IRERoririz& d) { return d.eccSign(a, b, r); }, a, b);
}
Status BpRERoririz::enroll(const Str& a, int32_t b, Str* r) {
  return call(asBinder(), TRANSACTION_enroll, r, [&](IRERoririz& d) { return d.enroll(a, b, r); }, a, b);
}
Status BpRERoririz::external_id_load(int32_t a, bool* r) {
  return call(asBinder(), TRANSACTION_external_id_load, r, [&](IRERoririz& d) { return d.external_id_load(a, r); }, a);
}
Status BpRERoririz::external_key_dump(int32_t a, Str* r) {
  return call(asBinder(), TRANSACTION_external_key_dump, r, [&](IRERoririz& d) { return d.external_key_dump(a, r); }, a);
}
Status BpRERoririz::external_key_load(int32_t a, const Str& b, const Str& c, int32_t* r) {
  return call(asBinder(), TRANSACTION_external_key_load, r,
              [&](IRERoririz& d) { return d.external_key_load(a, b, c, r); }, a, b, c);
}
Status BpRERoririz::external_key_prepare(int32_t a, Str* r) {
  return call(asBinder(), TRANSACTION_external_key_prepare, r,
              [&](IRERoririz& d) { return d.external_key_prepare(a, r); }, a);
}
Status BpRERoririz::external_key_version(int32_t a, int32_t* r) {
  return call(asBinder(), TRANSACTION_external_key_version, r,
              [&](IRERoririz& d) { return d.external_key_version(a, r); }, a);
}
Status BpRERoririz::fido_key_get_version(int32_t* r) {
  return call(asBinder(), TRANSACTION_fido_key_get_version, r, [&](IRERoririz& d) { return d.fido_key_get_version(r); });
}
Status BpRERoririz::fido_key_load(const Str& a, const Str& b, int32_t* r) {
  return call(asBinder(), TRANSACTION_fido_key_load, r, [&](IRERoririz& d) { return d.fido_key_load(a, b, r); }, a, b);
}
Status BpRERoririz::fido_key_prepare(Str* r) {
  return call(asBinder(), TRANSACTION_fido_key_prepare, r, [&](IRERoririz& d) { return d.fido_key_prepare(r); });
}
Status BpRERoririz::getFid(Str* r) {
  return call(asBinder(), TRANSACTION_getFid, r, [&](IRERoririz& d) { return d.getFid(r); });
}
Status BpRERoririz::getTAVersion(Str* r) {
  return call(asBinder(), TRANSACTION_getTAVersion, r, [&](IRERoririz& d) { return d.getTAVersion(r); });
}
Status BpRERoririz::get_device_rmpb_counter(int32_t* r) {
  return call(asBinder(), TRANSACTION_get_device_rmpb_counter, r,
              [&](IRERoririz& d) { return d.get_device_rmpb_counter(r); });
}
Status BpRERoririz::get_device_secure_status(std::vector<int32_t>* r) {
  return call(asBinder(), TRANSACTION_get_device_secure_status, r,
              [&](IRERoririz& d) { return d.get_device_secure_status(r); });
}
Status BpRERoririz::payauth_key_dump(Str* r) {
  return call(asBinder(), TRANSACTION_payauth_key_dump, r, [&](IRERoririz& d) { return d.payauth_key_dump(r); });
}
Status BpRERoririz::payauth_key_get_version(int32_t* r) {
  return call(asBinder(), TRANSACTION_payauth_key_get_version, r,
              [&](IRERoririz& d) { return d.payauth_key_get_version(r); });
}
Status BpRERoririz::payauth_key_load(const Str& a, const Str& b, int32_t* r) {
  return call(asBinder(), TRANSACTION_payauth_key_load, r, [&](IRERoririz& d) { return d.payauth_key_load(a, b, r); }, a,
              b);
}
Status BpRERoririz::payauth_key_prepare(Str* r) {
  return call(asBinder(), TRANSACTION_payauth_key_prepare, r, [&](IRERoririz& d) { return d.payauth_key_prepare(r); });
}
Status BpRERoririz::persist_read(int32_t a, const Str& b, RERoririzResult* r) {
  return call(asBinder(), TRANSACTION_persist_read, r, [&](IRERoririz& d) { return d.persist_read(a, b, r); }, a, b);
}
Status BpRERoririz::persist_remove(int32_t a, const Str& b, int32_t* r) {
  return call(asBinder(), TRANSACTION_persist_remove, r, [&](IRERoririz& d) { return d.persist_remove(a, b, r); }, a, b);
}
Status BpRERoririz::persist_write(int32_t a, const Str& b, const Bytes& c, int32_t e, int32_t* r) {
  return call(asBinder(), TRANSACTION_persist_write, r, [&](IRERoririz& d) { return d.persist_write(a, b, c, e, r); },
              a, b, c, e);
}
Status BpRERoririz::refreash_device_rpmb_status(int32_t* r) {
  return call(asBinder(), TRANSACTION_refreash_device_rpmb_status, r,
              [&](IRERoririz& d) { return d.refreash_device_rpmb_status(r); });
}
Status BpRERoririz::reload(const Str& a, const Str& b, int32_t* r) {
  return call(asBinder(), TRANSACTION_reload, r, [&](IRERoririz& d) { return d.reload(a, b, r); }, a, b);
}
Status BpRERoririz::bioauth_generate(Str* r) {
  return call(asBinder(), TRANSACTION_bioauth_generate, r, [&](IRERoririz& d) { return d.bioauth_generate(r); });
}
Status BpRERoririz::bioauth_get_state(int32_t* r) {
  return call(asBinder(), TRANSACTION_bioauth_get_state, r, [&](IRERoririz& d) { return d.bioauth_get_state(r); });
}
Status BpRERoririz::bioauth_set_state(int32_t a) {
  NoReturn none;
  return call(asBinder(), TRANSACTION_bioauth_set_state, &none, [&](IRERoririz& d) { return d.bioauth_set_state(a); },
              a);
}
Status BpRERoririz::drmkey_dump(Str* r) {
  return call(asBinder(), TRANSACTION_drmkey_dump, r, [&](IRERoririz& d) { return d.drmkey_dump(r); });
}
Status BpRERoririz::drmkey_get_version(int32_t* r) {
  return call(asBinder(), TRANSACTION_drmkey_get_version, r, [&](IRERoririz& d) { return d.drmkey_get_version(r); });
}
Status BpRERoririz::drmkey_load(const Str& a, const Str& b, int32_t* r) {
  return call(asBinder(), TRANSACTION_drmkey_load, r, [&](IRERoririz& d) { return d.drmkey_load(a, b, r); }, a, b);
}
Status BpRERoririz::drmkey_prepare(Str* r) {
  return call(asBinder(), TRANSACTION_drmkey_prepare, r, [&](IRERoririz& d) { return d.drmkey_prepare(r); });
}

Status BpRERoririz::getInterfaceVersion(int32_t* r) {
  if (int32_t cached = cachedVersion_.load(); cached != -1) {
    *r = cached;
    return Status::ok();
  }
  Status status = call(asBinder(), TRANSACTION_getInterfaceVersion, r,
                       [&](IRERoririz& d) { return d.getInterfaceVersion(r); });
  if (status.isOk()) cachedVersion_.store(*r);
  return status;
}

Status BpRERoririz::getInterfaceHash(std::string* r) {
  std::lock_guard<std::mutex> lock(cachedHashLock_);
  if (cachedHash_ != "-1") {
    *r = cachedHash_;
    return Status::ok();
  }
  Status status = call(asBinder(), TRANSACTION_getInterfaceHash, r, [&](IRERoririz& d) { return d.getInterfaceHash(r); });
  if (status.isOk()) cachedHash_ = *r;
  return status;
}

// ---- default implementation

Status IRERoririzDefault::eccSign(int32_t, const Str&, Str*) { return unknownTransaction(); }
Status IRERoririzDefault::enroll(const Str&, int32_t, Str*) { return unknownTransaction(); }
Status IRERoririzDefault::external_id_load(int32_t, bool*) { return unknownTransaction(); }
Status IRERoririzDefault::external_key_dump(int32_t, Str*) { return unknownTransaction(); }
Status IRERoririzDefault::external_key_load(int32_t, const Str&, const Str&, int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::external_key_prepare(int32_t, Str*) { return unknownTransaction(); }
Status IRERoririzDefault::external_key_version(int32_t, int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::fido_key_get_version(int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::fido_key_load(const Str&, const Str&, int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::fido_key_prepare(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::getFid(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::getTAVersion(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::get_device_rmpb_counter(int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::get_device_secure_status(std::vector<int32_t>*) { return unknownTransaction(); }
Status IRERoririzDefault::payauth_key_dump(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::payauth_key_get_version(int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::payauth_key_load(const Str&, const Str&, int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::payauth_key_prepare(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::persist_read(int32_t, const Str&, RERoririzResult*) { return unknownTransaction(); }
Status IRERoririzDefault::persist_remove(int32_t, const Str&, int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::persist_write(int32_t, const Str&, const Bytes&, int32_t, int32_t*) {
  return unknownTransaction();
}
Status IRERoririzDefault::refreash_device_rpmb_status(int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::reload(const Str&, const Str&, int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::bioauth_generate(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::bioauth_get_state(int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::bioauth_set_state(int32_t) { return unknownTransaction(); }
Status IRERoririzDefault::drmkey_dump(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::drmkey_get_version(int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::drmkey_load(const Str&, const Str&, int32_t*) { return unknownTransaction(); }
Status IRERoririzDefault::drmkey_prepare(Str*) { return unknownTransaction(); }
Status IRERoririzDefault::getInterfaceVersion(int32_t* r) {
  *r = 0;
  return Status::ok();
}
Status IRERoririzDefault::getInterfaceHash(std::string* r) {
  r->clear();
  return Status::ok();
}
::ndk::SpAIBinder IRERoririzDefault::asBinder() { return ::ndk::SpAIBinder(); }
bool IRERoririzDefault::isRemote() { return false; }

}  // namespace aidl::vendor::tamrel::hardware::aidl::vaultsvc
