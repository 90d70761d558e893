// The trusted-environment stand-in: the client environment, the application loader and
// a simulated "secproc_service" application with its protected storage.
#include <sys/mman.h>

#include <cstring>
#include <mutex>

#include "platform/devio.h"
#include "tzcom/object.h"
#include "tzcom/sim_tz.h"

namespace platform::tz {

struct Obj {
  std::string kind;
  int fd = -1;  // for "fd" objects
};

struct SimTz::Impl {
  mutable std::mutex lock;
  bool appRunning = true, envFails = false, loadFails = false, fdFails = false;
  std::map<uint32_t, int32_t> results;
  std::vector<Invocation> invocations;
  int live = 0;
  std::vector<uint8_t> image;
  int preparedFd = -1;
  std::map<uint32_t, std::vector<uint8_t>> provisioned;
  std::map<uint32_t, std::vector<uint8_t>> storage;
  std::map<uint32_t, bool> locked;

  void resetLocked() {
    appRunning = true;
    envFails = loadFails = fdFails = false;
    results.clear();
    invocations.clear();
    image.clear();
    preparedFd = -1;
    provisioned.clear();
    storage.clear();
    locked.clear();
  }
};

SimTz::SimTz() : impl_(new Impl) {}
SimTz& SimTz::get() {
  static SimTz* sim = new SimTz;
  return *sim;
}

#define LOCKED std::lock_guard<std::mutex> g(impl_->lock)
void SimTz::reset() { LOCKED; impl_->resetLocked(); }
void SimTz::setAppRunning(bool v) { LOCKED; impl_->appRunning = v; }
void SimTz::setClientEnvFails(bool v) { LOCKED; impl_->envFails = v; }
void SimTz::setLoadFails(bool v) { LOCKED; impl_->loadFails = v; }
void SimTz::setFdObjectFails(bool v) { LOCKED; impl_->fdFails = v; }
void SimTz::setResult(uint32_t op, int32_t result) { LOCKED; impl_->results[op] = result; }
std::vector<Invocation> SimTz::invocations() const { LOCKED; return impl_->invocations; }
int SimTz::liveObjects() const { LOCKED; return impl_->live; }
std::vector<uint8_t> SimTz::loadedImage() const { LOCKED; return impl_->image; }
int SimTz::lastPreparedFd() const { LOCKED; return impl_->preparedFd; }
std::vector<uint8_t> SimTz::lastProvisioned(uint32_t op) const {
  LOCKED;
  auto it = impl_->provisioned.find(op);
  return it == impl_->provisioned.end() ? std::vector<uint8_t>{} : it->second;
}
std::map<uint32_t, std::vector<uint8_t>> SimTz::storage() const { LOCKED; return impl_->storage; }
void SimTz::setStorage(uint32_t tag, std::vector<uint8_t> data) {
  LOCKED;
  impl_->storage[tag] = std::move(data);
}
bool SimTz::locked(uint32_t tag) const {
  LOCKED;
  auto it = impl_->locked.find(tag);
  return it != impl_->locked.end() && it->second;
}
#undef LOCKED

namespace {

SimTz::Impl& sim() { return SimTz::get().impl(); }

int32_t invoke(ObjectCxt h, ObjectOp op, ObjectArg* args, ObjectCounts counts);

Object make(const std::string& kind, int fd = -1) {
  sim().live++;
  return Object{invoke, new Obj{kind, fd}};
}

uint32_t u32(const ObjectArg& a) {
  uint32_t v = 0;
  if (a.bi.ptr != nullptr && a.bi.size >= 4) std::memcpy(&v, a.bi.ptr, 4);
  return v;
}

// Runs `fn` on the memory behind an fd object (a dma-buf of at least `size` bytes).
template <typename Fn>
bool withMemory(const Object& mem, size_t size, Fn fn) {
  if (mem.invoke != invoke || mem.context == nullptr) return false;
  auto* obj = static_cast<Obj*>(mem.context);
  if (obj->kind != "fd" || size == 0) return false;
  void* addr = plat_mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, obj->fd, 0);
  if (addr == MAP_FAILED) return false;
  fn(static_cast<uint8_t*>(addr));
  plat_munmap(addr, size);
  return true;
}

int32_t result(uint32_t op) {
  auto it = sim().results.find(op);
  return it == sim().results.end() ? 0 : it->second;
}

int32_t appOp(ObjectOp op, ObjectArg* args, ObjectCounts counts) {
  switch (op) {
    case 14:  // inline write
      if (counts != ObjectCounts_pack(2, 0, 0, 0)) return Object_ERROR_INVALID;
      sim().storage[u32(args[0])].assign(static_cast<const uint8_t*>(args[1].bi.ptr),
                                         static_cast<const uint8_t*>(args[1].bi.ptr) + args[1].bi.size);
      return 0;
    case 1: {  // write through shared memory
      if (counts != ObjectCounts_pack(1, 0, 1, 0) || args[0].bi.size != 8) return Object_ERROR_INVALID;
      uint32_t hdr[2];
      std::memcpy(hdr, args[0].bi.ptr, 8);
      std::vector<uint8_t> data(hdr[1]);
      if (!withMemory(args[1].o, hdr[1], [&](uint8_t* p) { std::memcpy(data.data(), p, hdr[1]); })) {
        return Object_ERROR_INVALID;
      }
      sim().storage[hdr[0]] = std::move(data);
      return 0;
    }
    case 2: {  // inline read
      if (counts != ObjectCounts_pack(1, 1, 0, 0)) return Object_ERROR_INVALID;
      auto it = sim().storage.find(u32(args[0]));
      if (it == sim().storage.end()) return Object_ERROR;
      if (it->second.size() > args[1].b.size) return Object_ERROR_SIZE_OUT;
      std::memcpy(args[1].b.ptr, it->second.data(), it->second.size());
      args[1].b.size = it->second.size();
      return 0;
    }
    case 3: {  // read through shared memory
      if (counts != ObjectCounts_pack(1, 1, 1, 0) || args[1].b.size != 4) return Object_ERROR_INVALID;
      auto it = sim().storage.find(u32(args[0]));
      if (it == sim().storage.end()) return Object_ERROR;
      uint32_t capacity;
      std::memcpy(&capacity, args[1].b.ptr, 4);
      if (it->second.size() > capacity) return Object_ERROR_SIZE_OUT;
      const std::vector<uint8_t>& data = it->second;
      if (!data.empty() && !withMemory(args[2].o, capacity, [&](uint8_t* p) {
            std::memcpy(p, data.data(), data.size());
          })) {
        return Object_ERROR_INVALID;
      }
      auto len = static_cast<uint32_t>(data.size());
      std::memcpy(args[1].b.ptr, &len, 4);
      return 0;
    }
    case 4:
      if (counts != ObjectCounts_pack(1, 0, 0, 0)) return Object_ERROR_INVALID;
      return sim().storage.erase(u32(args[0])) != 0 ? 0 : Object_ERROR;
    case 5:
      if (counts != ObjectCounts_pack(1, 0, 0, 0)) return Object_ERROR_INVALID;
      sim().locked[u32(args[0])] = true;
      return 0;
    case 7:
    case 8:
      if (counts != ObjectCounts_pack(1, 0, 0, 0)) return Object_ERROR_INVALID;
      sim().provisioned[op].assign(static_cast<const uint8_t*>(args[0].bi.ptr),
                                   static_cast<const uint8_t*>(args[0].bi.ptr) + args[0].bi.size);
      return result(op);
    case 12: {
      if (counts != ObjectCounts_pack(0, 0, 1, 0)) return Object_ERROR_INVALID;
      const Object& o = args[0].o;
      if (o.invoke != invoke || static_cast<Obj*>(o.context)->kind != "fd") return Object_ERROR_INVALID;
      sim().preparedFd = static_cast<Obj*>(o.context)->fd;
      return result(12);
    }
    case 13:
      if (counts != 0) return Object_ERROR_INVALID;
      return result(13);
    default:
      return Object_ERROR_INVALID;
  }
}

int32_t invoke(ObjectCxt h, ObjectOp op, ObjectArg* args, ObjectCounts counts) {
  auto* obj = static_cast<Obj*>(h);
  std::lock_guard<std::mutex> g(sim().lock);
  sim().invocations.push_back(Invocation{obj->kind, op, counts});
  if (op == Object_OP_release) {
    sim().live--;
    delete obj;
    return 0;
  }
  if (obj->kind == "env") {
    if (op != 0 || counts != ObjectCounts_pack(1, 0, 0, 1)) return Object_ERROR_INVALID;
    uint32_t cls = u32(args[0]);
    if (cls == 151) {
      args[1].o = make("client");
    } else if (cls == 3) {
      args[1].o = make("loader");
    } else {
      return Object_ERROR;
    }
    return 0;
  }
  if (obj->kind == "client") {
    if (op != 0 || counts != ObjectCounts_pack(1, 0, 0, 1)) return Object_ERROR_INVALID;
    std::string name(static_cast<const char*>(args[0].bi.ptr), args[0].bi.size);
    if (name != "secproc_service" || !sim().appRunning) return Object_ERROR;
    args[1].o = make("app");
    return 0;
  }
  if (obj->kind == "loader") {
    if (op != 0 || counts != ObjectCounts_pack(1, 0, 0, 1)) return Object_ERROR_INVALID;
    if (sim().loadFails || args[0].bi.size == 0) return Object_ERROR;
    const auto* p = static_cast<const uint8_t*>(args[0].bi.ptr);
    sim().image.assign(p, p + args[0].bi.size);
    sim().appRunning = true;
    args[1].o = make("controller");
    return 0;
  }
  if (obj->kind == "controller") {
    if (op == 2 && counts == ObjectCounts_pack(0, 0, 0, 1)) {
      args[0].o = make("app");
      return 0;
    }
    if (op == 1 && counts == 0) {
      sim().appRunning = false;
      return 0;
    }
    return Object_ERROR_INVALID;
  }
  if (obj->kind == "app") return appOp(op, args, counts);
  return Object_ERROR_INVALID;
}

}  // namespace
}  // namespace platform::tz

using platform::tz::SimTz;

extern "C" int TZCom_getClientEnvObject(Object* out) {
  if (out == nullptr) return -1;
  std::lock_guard<std::mutex> g(platform::tz::sim().lock);
  if (platform::tz::sim().envFails) return -1;
  *out = platform::tz::make("env");
  return 0;
}

extern "C" int TZCom_getFdObject(int fd, Object* out) {
  if (out == nullptr || fd < 0) return -1;
  std::lock_guard<std::mutex> g(platform::tz::sim().lock);
  if (platform::tz::sim().fdFails) return -1;
  *out = platform::tz::make("fd", fd);
  return 0;
}
