// The secure-processor channel stand-in and its simulated processor.
#include <cbor.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "vaultlink/sim_secproc.h"
#include "vaultlink/vaultlink.h"

struct vaultlink_client {
  std::string name;
  vaultlink_ssr_cb_t ssrCb;
};

namespace platform::secproc {

struct Buffer {
  void* addr;
  uint32_t size;
  sp_alloc_subsys_t subsys;
  bool locked;
};

struct SimSecureProcessor::Impl {
  mutable std::mutex lock;
  bool ready = true;
  bool linkUp = true;
  bool serverConnected = true;
  bool registerFails = false;
  bool createChannelFails = false;
  Fault fault = Fault::kNone;
  int32_t faultRet = 0;
  bool versionSet = false;
  uint32_t setVersionStatus = 0;
  std::deque<Response> queue;
  uint32_t slots = 16, keySize = 16, valueSize = 16;
  uint64_t wrongKeyTimeout = 0;
  std::map<uint32_t, WeaverSlot> weaver;
  std::vector<Request> requests;
  std::set<vaultlink_client*> clients;
  std::map<int, Buffer> buffers;
  int registrations = 0, unregistrations = 0, syncDepth = 0;
  uint32_t lastTimeoutMs = 0;
  std::function<void(std::chrono::milliseconds)> sleeper;
  SimSecureProcessor::CommandHandler handler;

  void resetLocked() {
    ready = linkUp = serverConnected = true;
    registerFails = createChannelFails = false;
    fault = Fault::kNone;
    faultRet = 0;
    versionSet = false;
    setVersionStatus = 0;
    queue.clear();
    slots = keySize = valueSize = 16;
    wrongKeyTimeout = 0;
    weaver.clear();
    requests.clear();
    registrations = unregistrations = syncDepth = 0;
    lastTimeoutMs = 0;
    sleeper = nullptr;
    handler = nullptr;
  }

  // Answers the frame at the start of `shared`; returns the bytes written at R.
  uint32_t process(uint8_t* shared, uint32_t sharedSize, uint32_t reqLen);
  bool weaver_(uint32_t cmd, const uint8_t* body, size_t n, Response* out);
};

namespace {

void putU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t getU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

std::vector<uint8_t> serialize(cbor_item_t* item) {
  unsigned char* buf = nullptr;
  size_t size = 0;
  size_t len = cbor_serialize_alloc(item, &buf, &size);
  std::vector<uint8_t> out(buf, buf + len);
  free(buf);
  cbor_decref(&item);
  return out;
}

void mapAdd(cbor_item_t* map, cbor_item_t* key, cbor_item_t* value) {
  cbor_map_add(map, cbor_pair{cbor_move(key), cbor_move(value)});
}

cbor_item_t* uintItem(uint64_t v) { return cbor_build_uint64(v); }

// The value of an integer label in a decoded map, or null.
cbor_item_t* find(cbor_item_t* map, uint64_t label) {
  cbor_pair* pairs = cbor_map_handle(map);
  for (size_t k = 0; k < cbor_map_size(map); k++) {
    if (cbor_isa_uint(pairs[k].key) && cbor_get_int(pairs[k].key) == label) return pairs[k].value;
  }
  return nullptr;
}

std::vector<uint8_t> bytesOf(cbor_item_t* item) {
  if (item == nullptr || !cbor_isa_bytestring(item) || !cbor_bytestring_is_definite(item)) return {};
  return std::vector<uint8_t>(cbor_bytestring_handle(item),
                              cbor_bytestring_handle(item) + cbor_bytestring_length(item));
}

}  // namespace

bool SimSecureProcessor::Impl::weaver_(uint32_t cmd, const uint8_t* body, size_t n,
                                        Response* out) {
  if (cmd == kCmdWeaverGetConfig) {
    cbor_item_t* map = cbor_new_definite_map(3);
    mapAdd(map, cbor_build_uint8(62), uintItem(slots));
    mapAdd(map, cbor_build_uint8(63), uintItem(keySize));
    mapAdd(map, cbor_build_uint8(64), uintItem(valueSize));
    out->body = serialize(map);
    return true;
  }
  if (cmd != kCmdWeaverRead && cmd != kCmdWeaverWrite) return false;
  cbor_load_result result;
  cbor_item_t* req = cbor_load(body, n, &result);
  out->status = 1;  // failed
  if (req == nullptr || !cbor_isa_map(req)) {
    if (req != nullptr) cbor_decref(&req);
    return true;
  }
  cbor_item_t* slotItem = find(req, 68);
  std::vector<uint8_t> key = bytesOf(find(req, 67));
  if (slotItem == nullptr || !cbor_isa_uint(slotItem) || cbor_get_int(slotItem) >= slots ||
      key.size() != keySize) {
    cbor_decref(&req);
    return true;
  }
  auto slot = static_cast<uint32_t>(cbor_get_int(slotItem));
  if (cmd == kCmdWeaverWrite) {
    std::vector<uint8_t> value = bytesOf(find(req, 66));
    cbor_decref(&req);
    if (value.size() != valueSize) return true;
    weaver[slot] = WeaverSlot{key, value};
    out->status = 0;
    return true;
  }
  cbor_decref(&req);
  WeaverSlot stored = weaver.count(slot) != 0
                          ? weaver[slot]
                          : WeaverSlot{std::vector<uint8_t>(keySize), std::vector<uint8_t>(valueSize)};
  bool match = stored.key == key;
  cbor_item_t* map = cbor_new_definite_map(3);
  mapAdd(map, cbor_build_uint8(69), uintItem(match ? 0 : 2));
  mapAdd(map, cbor_build_uint8(65), uintItem(match ? 0 : wrongKeyTimeout));
  std::vector<uint8_t> value = match ? stored.value : std::vector<uint8_t>{};
  mapAdd(map, cbor_build_uint8(66), cbor_build_bytestring(value.data(), value.size()));
  out->status = 0;
  out->body = serialize(map);
  return true;
}

uint32_t SimSecureProcessor::Impl::process(uint8_t* shared, uint32_t sharedSize,
                                           uint32_t reqLen) {
  Request rec;
  rec.cmdId = reqLen >= 4 ? getU32(shared) : 0;
  rec.frame.assign(shared, shared + reqLen);
  requests.push_back(rec);
  const uint32_t r = (reqLen + 3) & ~3u;
  if (r + 4 > sharedSize) return 0;
  if (rec.cmdId == kCmdSetVersion) {
    putU32(shared + r, setVersionStatus);
    if (setVersionStatus == 0) versionSet = true;
    return 4;
  }
  Response rsp;
  if (!versionSet) {
    rsp.status = kStatusNotInitialised;
  } else if (rec.cmdId == kCmdConfigure || rec.cmdId == kCmdEarlyBootEnded ||
             rec.cmdId == kCmdDeviceLocked) {
    rsp.status = 0;
  } else if (std::optional<Response> handled = handler ? handler(rec) : std::nullopt) {
    rsp = std::move(*handled);
  } else if (!queue.empty()) {
    rsp = queue.front();
    queue.pop_front();
  } else if (!weaver_(rec.cmdId, shared + 4, reqLen > 4 ? reqLen - 4 : 0, &rsp)) {
    rsp.status = -1000;  // nothing queued for this command
  }
  if (r + 8 > sharedSize) return 0;
  uint32_t room = sharedSize - r - 8;
  uint32_t n = static_cast<uint32_t>(std::min<size_t>(rsp.body.size(), room));
  putU32(shared + r, static_cast<uint32_t>(rsp.status));
  putU32(shared + r + 4, rsp.msgLen.value_or(8 + n));
  if (n != 0) std::memcpy(shared + r + 8, rsp.body.data(), n);
  return 8 + n;
}

SimSecureProcessor::SimSecureProcessor() : impl_(new Impl) {}

SimSecureProcessor& SimSecureProcessor::get() {
  static SimSecureProcessor* sim = new SimSecureProcessor;
  return *sim;
}

void SimSecureProcessor::reset() {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->resetLocked();
}
void SimSecureProcessor::setReady(bool v) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->ready = v;
}
void SimSecureProcessor::setLinkUp(bool v) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->linkUp = v;
}
void SimSecureProcessor::setServerConnected(bool v) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->serverConnected = v;
}
void SimSecureProcessor::setRegisterFails(bool v) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->registerFails = v;
}
void SimSecureProcessor::setCreateChannelFails(bool v) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->createChannelFails = v;
}
void SimSecureProcessor::failNextExchange(Fault fault, int32_t ret) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->fault = fault;
  impl_->faultRet = ret;
}
void SimSecureProcessor::restart() {
  std::vector<vaultlink_ssr_cb_t> callbacks;
  {
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->versionSet = false;
    for (vaultlink_client* c : impl_->clients) {
      if (c->ssrCb != nullptr) callbacks.push_back(c->ssrCb);
    }
  }
  std::thread notifier([callbacks] {
    for (vaultlink_ssr_cb_t cb : callbacks) cb();
  });
  notifier.join();
}
void SimSecureProcessor::setCommandHandler(CommandHandler handler) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->handler = std::move(handler);
}
void SimSecureProcessor::queueResponse(Response response) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->queue.push_back(std::move(response));
}
size_t SimSecureProcessor::queuedResponses() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->queue.size();
}
void SimSecureProcessor::setSetVersionStatus(uint32_t status) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->setVersionStatus = status;
}
void SimSecureProcessor::setWeaverConfig(uint32_t slots, uint32_t keySize, uint32_t valueSize) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->slots = slots;
  impl_->keySize = keySize;
  impl_->valueSize = valueSize;
}
void SimSecureProcessor::setWeaverWrongKeyTimeout(uint64_t timeoutMs) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->wrongKeyTimeout = timeoutMs;
}
std::optional<WeaverSlot> SimSecureProcessor::weaverSlot(uint32_t slot) const {
  std::lock_guard<std::mutex> g(impl_->lock);
  auto it = impl_->weaver.find(slot);
  if (it == impl_->weaver.end()) return std::nullopt;
  return it->second;
}
std::vector<Request> SimSecureProcessor::requests() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->requests;
}
std::vector<uint32_t> SimSecureProcessor::commandIds() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  std::vector<uint32_t> ids;
  for (const Request& r : impl_->requests) ids.push_back(r.cmdId);
  return ids;
}
void SimSecureProcessor::clearRequests() {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->requests.clear();
}
int SimSecureProcessor::registrations() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->registrations;
}
int SimSecureProcessor::unregistrations() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->unregistrations;
}
int SimSecureProcessor::liveBuffers() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return static_cast<int>(impl_->buffers.size());
}
int SimSecureProcessor::syncDepth() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->syncDepth;
}
void SimSecureProcessor::setSleeper(std::function<void(std::chrono::milliseconds)> sleeper) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->sleeper = std::move(sleeper);
}
uint32_t SimSecureProcessor::lastTimeoutMs() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->lastTimeoutMs;
}

}  // namespace platform::secproc

using platform::secproc::Buffer;
using platform::secproc::Fault;
using platform::secproc::SimSecureProcessor;

static SimSecureProcessor::Impl& sim() { return SimSecureProcessor::get().impl(); }

extern "C" {

int vaultlink_wait_for_secproc_ready(int /*timeout_s*/) {
  std::lock_guard<std::mutex> g(sim().lock);
  return sim().ready ? 0 : -ETIMEDOUT;
}

bool vaultlink_is_sp_subsystem_link_up(void) {
  std::lock_guard<std::mutex> g(sim().lock);
  return sim().linkUp;
}

int vaultlink_create_shareable_channel(const char* name) {
  std::lock_guard<std::mutex> g(sim().lock);
  if (name == nullptr || sim().createChannelFails) return -EINVAL;
  return 0;
}

vaultlink_client_handle vaultlink_register_client(const vaultlink_client_reg* reg) {
  std::lock_guard<std::mutex> g(sim().lock);
  if (reg == nullptr || reg->name == nullptr || sim().registerFails) return nullptr;
  auto* client = new vaultlink_client{reg->name, reg->ssr_cb};
  sim().clients.insert(client);
  sim().registrations++;
  return client;
}

bool vaultlink_client_is_server_connected(vaultlink_client_handle handle) {
  std::lock_guard<std::mutex> g(sim().lock);
  return sim().clients.count(handle) != 0 && sim().serverConnected;
}

int vaultlink_unregister_client(vaultlink_client_handle handle) {
  std::lock_guard<std::mutex> g(sim().lock);
  if (sim().clients.erase(handle) == 0) return -EINVAL;
  delete handle;
  sim().unregistrations++;
  return 0;
}

int vaultlink_client_send_modified_command(vaultlink_client_handle handle, const void* req,
                                           size_t req_len, void* rsp, size_t rsp_len,
                                           const vaultlink_ion_info_table* table,
                                           uint32_t timeout_ms) {
  std::function<void(std::chrono::milliseconds)> sleeper;
  {
    std::unique_lock<std::mutex> g(sim().lock);
    if (sim().clients.count(handle) == 0 || req == nullptr || rsp == nullptr ||
        table == nullptr || req_len != 18 || rsp_len != 12) {
      return -EINVAL;
    }
    const auto* r = static_cast<const uint8_t*>(req);
    uint16_t reqLen;
    uint32_t bufSize;
    uint64_t placeholder;
    std::memcpy(&reqLen, r + 4, 2);
    if (table->entry[0].offset > 10) return -EINVAL;
    std::memcpy(&placeholder, r + table->entry[0].offset, 8);
    std::memcpy(&bufSize, r + 14, 4);
    auto it = sim().buffers.find(table->entry[0].fd);
    if (it == sim().buffers.end() || placeholder != UINT64_MAX || bufSize > it->second.size ||
        reqLen > bufSize) {
      return -EINVAL;
    }
    Fault fault = sim().fault;
    int32_t ret = sim().faultRet;
    sim().fault = Fault::kNone;
    uint32_t reply[3] = {100, 0, 0};
    switch (fault) {
      case Fault::kSendError:
        return -EIO;
      case Fault::kTimeout: {
        platform::secproc::Request rec;
        auto* shared = static_cast<uint8_t*>(it->second.addr);
        rec.cmdId = reqLen >= 4 ? *reinterpret_cast<uint32_t*>(shared) : 0;
        rec.frame.assign(shared, shared + reqLen);
        sim().requests.push_back(rec);
        sim().lastTimeoutMs = timeout_ms;
        sleeper = sim().sleeper;
        break;
      }
      case Fault::kWrongResponseType:
        reply[0] = 101;
        reply[1] = static_cast<uint32_t>(ret);
        std::memcpy(rsp, reply, 12);
        return 0;
      case Fault::kNone:
        reply[2] = sim().process(static_cast<uint8_t*>(it->second.addr), bufSize, reqLen);
        std::memcpy(rsp, reply, 12);
        return 0;
    }
  }
  // The processor never answers: the whole wait passes.
  if (sleeper) {
    sleeper(std::chrono::milliseconds(timeout_ms));
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
  }
  return -110;
}

void* vaultlink_ion_alloc_ex(uint32_t size, int* fd, sp_alloc_subsys_t subsys) {
  if (fd == nullptr) return nullptr;
  *fd = -1;
  int memfd = memfd_create(subsys == SP_ALLOC_SUBSYS_TZ ? "sp-tz-buf" : "sp-hlos-buf", MFD_CLOEXEC);
  if (memfd < 0) return nullptr;
  if (ftruncate(memfd, size) != 0) {
    close(memfd);
    return nullptr;
  }
  void* addr = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, memfd, 0);
  if (addr == MAP_FAILED) {
    close(memfd);
    return nullptr;
  }
  std::lock_guard<std::mutex> g(sim().lock);
  sim().buffers[memfd] = Buffer{addr, size, subsys, false};
  *fd = memfd;
  return addr;
}

static void releaseLocked(int fd) {
  auto it = sim().buffers.find(fd);
  if (it == sim().buffers.end()) return;
  munmap(it->second.addr, it->second.size);
  close(fd);
  sim().buffers.erase(it);
}

void vaultlink_ion_free_ex(void* /*addr*/, uint32_t /*size*/, int fd, sp_alloc_subsys_t /*subsys*/) {
  std::lock_guard<std::mutex> g(sim().lock);
  releaseLocked(fd);
}

int vaultlink_lock_ion_buffer(const char* channel, int fd) {
  std::lock_guard<std::mutex> g(sim().lock);
  auto it = sim().buffers.find(fd);
  if (channel == nullptr || it == sim().buffers.end() || it->second.locked) return -EINVAL;
  it->second.locked = true;
  return 0;
}

int vaultlink_unlock_ion_buffer(const char* channel, int fd) {
  std::lock_guard<std::mutex> g(sim().lock);
  auto it = sim().buffers.find(fd);
  if (channel == nullptr || it == sim().buffers.end() || !it->second.locked) return -EINVAL;
  it->second.locked = false;
  if (it->second.subsys == SP_ALLOC_SUBSYS_HLOS) releaseLocked(fd);
  return 0;
}

int vaultlink_sync_start(int fd) {
  std::lock_guard<std::mutex> g(sim().lock);
  if (sim().buffers.count(fd) == 0) return -EINVAL;
  sim().syncDepth++;
  return 0;
}

int vaultlink_sync_end(int fd) {
  std::lock_guard<std::mutex> g(sim().lock);
  if (sim().buffers.count(fd) == 0) return -EINVAL;
  sim().syncDepth--;
  return 0;
}

}  // extern "C"
