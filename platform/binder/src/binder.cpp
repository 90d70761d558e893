// Binder objects, proxies, transactions, weak references and death notices.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include <android/binder_stability.h>
#include <android/log.h>

#include "binder_internal.h"
#include "platform_binder_test.h"

using binder_internal::LocalBinder;
using binder_internal::RemoteBinder;

struct AIBinder_Weak {
  AIBinder* binder;  // holds one weak reference
};

struct AIBinder_DeathRecipient {
  AIBinder_DeathRecipient_onBinderDied onDied = nullptr;
  AIBinder_DeathRecipient_onBinderUnlinked onUnlinked = nullptr;
};

namespace {

constexpr const char* kTag = "platform_binder";

thread_local int tTransactionDepth = 0;

struct DeathLink {
  AIBinder_DeathRecipient* recipient;
  void* cookie;
};

// Death links of every proxy: one lock for the whole table.
std::mutex gDeathLock;
std::multimap<const AIBinder*, DeathLink> gDeathLinks;

void notifyUnlinked(const std::vector<DeathLink>& links) {
  for (const DeathLink& l : links) {
    if (l.recipient->onUnlinked != nullptr) l.recipient->onUnlinked(l.cookie);
  }
}

std::vector<DeathLink> takeLinks(const AIBinder* proxy) {
  std::lock_guard<std::mutex> lock(gDeathLock);
  std::vector<DeathLink> links;
  auto [first, last] = gDeathLinks.equal_range(proxy);
  for (auto it = first; it != last; ++it) links.push_back(it->second);
  gDeathLinks.erase(first, last);
  return links;
}

LocalBinder* asLocal(AIBinder* binder) {
  return binder != nullptr && !binder->remote() ? static_cast<LocalBinder*>(binder) : nullptr;
}

// The server side of a transaction on a local binder.
binder_status_t dispatch(LocalBinder* local, transaction_code_t code, const AParcel* in,
                         AParcel* out) {
  const AIBinder_Class* clazz = local->clazz.load();
  switch (code) {
    case PING_TRANSACTION:
      return STATUS_OK;
    case INTERFACE_TRANSACTION:
      return AParcel_writeString(out, clazz->descriptor.c_str(),
                                 static_cast<int32_t>(clazz->descriptor.size()));
    default:
      break;
  }
  if (code < FIRST_CALL_TRANSACTION || code > LAST_CALL_TRANSACTION) {
    return STATUS_UNKNOWN_TRANSACTION;
  }
  // Every call starts with the interface token its proxy wrote.
  std::string token;
  binder_status_t status = AParcel_readString(in, &token, [](void* d, int32_t n, char** b) {
    auto* s = static_cast<std::string*>(d);
    s->assign(n < 0 ? 0 : static_cast<size_t>(n), '\0');
    *b = s->data();
    return true;
  });
  if (status != STATUS_OK) return status;
  if (!token.empty()) token.pop_back();
  if (token != clazz->descriptor) {
    __android_log_print(ANDROID_LOG_WARN, kTag, "transaction %u for %s on a binder of %s", code,
                        token.c_str(), clazz->descriptor.c_str());
    return STATUS_BAD_TYPE;
  }
  ++tTransactionDepth;
  status = clazz->onTransact(local, code, in, out);
  --tTransactionDepth;
  return status;
}

}  // namespace

namespace binder_internal {

void incWeak(AIBinder* binder) { binder->weak.fetch_add(1, std::memory_order_relaxed); }

void decWeak(AIBinder* binder) {
  if (binder->weak.fetch_sub(1, std::memory_order_acq_rel) == 1) delete binder;
}

void LocalBinder::onLastStrongRef() {
  const AIBinder_Class* c = clazz.load();
  if (c->onDestroy != nullptr) c->onDestroy(userData);
  AIBinder* ext = nullptr;
  {
    std::lock_guard<std::mutex> lock(extensionLock);
    ext = std::exchange(extension, nullptr);
  }
  if (ext != nullptr) AIBinder_decStrong(ext);
  AIBinder_Weak* p = nullptr;
  {
    std::lock_guard<std::mutex> lock(proxyLock);
    p = std::exchange(proxy, nullptr);
  }
  if (p != nullptr) AIBinder_Weak_delete(p);
}

void RemoteBinder::onLastStrongRef() {
  notifyUnlinked(takeLinks(this));
  AIBinder_decStrong(target);
}

AIBinder* proxyFor(LocalBinder* local) {
  std::lock_guard<std::mutex> lock(local->proxyLock);
  if (local->proxy != nullptr) {
    AIBinder* existing = AIBinder_Weak_promote(local->proxy);
    if (existing != nullptr) return existing;
    AIBinder_Weak_delete(local->proxy);
    local->proxy = nullptr;
  }
  auto* remote = new RemoteBinder();
  AIBinder_incStrong(local);
  remote->target = local;
  local->proxy = AIBinder_Weak_new(remote);
  return remote;
}

AIBinder* asReceived(AIBinder* binder) {
  if (LocalBinder* local = asLocal(binder)) return proxyFor(local);
  AIBinder_incStrong(binder);
  return binder;
}

}  // namespace binder_internal

extern "C" {

AIBinder_Class* AIBinder_Class_define(const char* interfaceDescriptor,
                                      AIBinder_Class_onCreate onCreate,
                                      AIBinder_Class_onDestroy onDestroy,
                                      AIBinder_Class_onTransact onTransact) {
  if (interfaceDescriptor == nullptr || onTransact == nullptr) return nullptr;
  auto* clazz = new AIBinder_Class();
  clazz->descriptor = interfaceDescriptor;
  clazz->onCreate = onCreate;
  clazz->onDestroy = onDestroy;
  clazz->onTransact = onTransact;
  return clazz;
}
void AIBinder_Class_setOnDump(AIBinder_Class* clazz, AIBinder_onDump onDump) {
  clazz->onDump = onDump;
}
void AIBinder_Class_setHandleShellCommand(AIBinder_Class* clazz,
                                          AIBinder_handleShellCommand handleShellCommand) {
  clazz->handleShellCommand = handleShellCommand;
}
const char* AIBinder_Class_getDescriptor(const AIBinder_Class* clazz) {
  return clazz->descriptor.c_str();
}

AIBinder* AIBinder_new(const AIBinder_Class* clazz, void* args) {
  if (clazz == nullptr) return nullptr;
  auto* local = new LocalBinder();
  local->clazz = clazz;
  local->userData = clazz->onCreate != nullptr ? clazz->onCreate(args) : args;
  return local;
}

bool AIBinder_isRemote(const AIBinder* binder) { return binder->remote(); }

bool AIBinder_isAlive(const AIBinder* binder) {
  if (!binder->remote()) return true;
  return static_cast<const RemoteBinder*>(binder)->target->alive.load();
}

binder_status_t AIBinder_ping(AIBinder* binder) {
  return AIBinder_isAlive(binder) ? STATUS_OK : STATUS_DEAD_OBJECT;
}

binder_status_t AIBinder_dump(AIBinder* binder, int fd, const char** args, uint32_t numArgs) {
  if (!AIBinder_isAlive(binder)) return STATUS_DEAD_OBJECT;
  LocalBinder* local = binder->remote() ? static_cast<RemoteBinder*>(binder)->target
                                        : static_cast<LocalBinder*>(binder);
  const AIBinder_Class* clazz = local->clazz.load();
  if (clazz->onDump == nullptr) return STATUS_OK;
  return clazz->onDump(local, fd, args, numArgs);
}

binder_status_t AIBinder_linkToDeath(AIBinder* binder, AIBinder_DeathRecipient* recipient,
                                     void* cookie) {
  if (binder == nullptr || recipient == nullptr) return STATUS_UNEXPECTED_NULL;
  if (!binder->remote()) return STATUS_INVALID_OPERATION;
  // Alive is read under the lock a death takes its links under: a link made concurrently
  // with the death is either refused here or notified there, never lost.
  std::lock_guard<std::mutex> lock(gDeathLock);
  if (!AIBinder_isAlive(binder)) return STATUS_DEAD_OBJECT;
  gDeathLinks.emplace(binder, DeathLink{recipient, cookie});
  return STATUS_OK;
}

binder_status_t AIBinder_unlinkToDeath(AIBinder* binder, AIBinder_DeathRecipient* recipient,
                                       void* cookie) {
  if (binder == nullptr || recipient == nullptr) return STATUS_UNEXPECTED_NULL;
  if (!binder->remote()) return STATUS_INVALID_OPERATION;
  DeathLink removed{};
  {
    std::lock_guard<std::mutex> lock(gDeathLock);
    auto [first, last] = gDeathLinks.equal_range(binder);
    auto it = std::find_if(first, last, [&](const auto& e) {
      return e.second.recipient == recipient && e.second.cookie == cookie;
    });
    if (it == last) return STATUS_NAME_NOT_FOUND;
    removed = it->second;
    gDeathLinks.erase(it);
  }
  notifyUnlinked({removed});
  return STATUS_OK;
}

uid_t AIBinder_getCallingUid() { return getuid(); }
pid_t AIBinder_getCallingPid() { return getpid(); }
bool AIBinder_isHandlingTransaction() { return tTransactionDepth > 0; }

void AIBinder_incStrong(AIBinder* binder) {
  if (binder != nullptr) binder->strong.fetch_add(1, std::memory_order_relaxed);
}
void AIBinder_decStrong(AIBinder* binder) {
  if (binder == nullptr) return;
  if (binder->strong.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    binder->onLastStrongRef();
    binder_internal::decWeak(binder);
  }
}
int32_t AIBinder_debugGetRefCount(AIBinder* binder) {
  return binder == nullptr ? -1 : binder->strong.load();
}

bool AIBinder_associateClass(AIBinder* binder, const AIBinder_Class* clazz) {
  if (binder == nullptr || clazz == nullptr) return false;
  const AIBinder_Class* current = binder->clazz.load();
  if (current == clazz) return true;
  if (!binder->remote()) return false;  // its user data belongs to its own class
  // A proxy asks its binder for the descriptor (INTERFACE_TRANSACTION).
  const AIBinder_Class* targetClass = static_cast<RemoteBinder*>(binder)->target->clazz.load();
  if (targetClass->descriptor != clazz->descriptor) return false;
  const AIBinder_Class* expected = nullptr;
  binder->clazz.compare_exchange_strong(expected, clazz);
  return true;
}

const AIBinder_Class* AIBinder_getClass(AIBinder* binder) { return binder->clazz.load(); }

void* AIBinder_getUserData(AIBinder* binder) {
  LocalBinder* local = asLocal(binder);
  return local == nullptr ? nullptr : local->userData;
}

binder_status_t AIBinder_prepareTransaction(AIBinder* binder, AParcel** in) {
  if (binder == nullptr || in == nullptr) return STATUS_UNEXPECTED_NULL;
  const AIBinder_Class* clazz = binder->clazz.load();
  if (clazz == nullptr) return STATUS_INVALID_OPERATION;  // associate a class first
  auto* parcel = new AParcel();
  binder_status_t status = AParcel_writeString(parcel, clazz->descriptor.c_str(),
                                               static_cast<int32_t>(clazz->descriptor.size()));
  if (status != STATUS_OK) {
    delete parcel;
    return status;
  }
  *in = parcel;
  return STATUS_OK;
}

binder_status_t AIBinder_transact(AIBinder* binder, transaction_code_t code, AParcel** in,
                                  AParcel** out, binder_flags_t flags) {
  if (in == nullptr) return STATUS_UNEXPECTED_NULL;
  std::unique_ptr<AParcel> request(std::exchange(*in, nullptr));
  if (binder == nullptr || request == nullptr || out == nullptr) return STATUS_UNEXPECTED_NULL;
  auto reply = std::make_unique<AParcel>();
  binder_status_t status;
  if (LocalBinder* local = asLocal(binder)) {
    request->position = 0;
    status = dispatch(local, code, request.get(), reply.get());
  } else {
    LocalBinder* target = static_cast<RemoteBinder*>(binder)->target;
    if (!target->alive.load()) return STATUS_DEAD_OBJECT;
    // What the other side receives is a copy: nothing written later reaches it.
    auto sent = std::make_shared<AParcel>(*request);
    sent->position = 0;
    if ((flags & FLAG_ONEWAY) != 0) {
      // Queued for a pool thread; the queue keeps the target until the call has run.
      AIBinder_incStrong(target);
      binder_internal::queueOneway(target, [target, code, sent] {
        AParcel ignored;
        if (target->alive.load()) dispatch(target, code, sent.get(), &ignored);
        AIBinder_decStrong(target);
      });
      *out = new AParcel();
      return STATUS_OK;
    }
    AParcel received;
    binder_internal::runOnPool([&] {
      status = target->alive.load() ? dispatch(target, code, sent.get(), &received) : STATUS_DEAD_OBJECT;
    });
    reply = std::make_unique<AParcel>(received);
  }
  if ((flags & FLAG_ONEWAY) != 0) {
    // A one-way caller sees neither the reply nor the server's result.
    reply = std::make_unique<AParcel>();
    status = STATUS_OK;
  }
  if (status != STATUS_OK) return status;
  reply->position = 0;
  *out = reply.release();
  return STATUS_OK;
}

AIBinder_Weak* AIBinder_Weak_new(AIBinder* binder) {
  if (binder == nullptr) return nullptr;
  binder_internal::incWeak(binder);
  return new AIBinder_Weak{binder};
}
void AIBinder_Weak_delete(AIBinder_Weak* weakBinder) {
  if (weakBinder == nullptr) return;
  binder_internal::decWeak(weakBinder->binder);
  delete weakBinder;
}
AIBinder* AIBinder_Weak_promote(AIBinder_Weak* weakBinder) {
  if (weakBinder == nullptr) return nullptr;
  AIBinder* b = weakBinder->binder;
  int32_t count = b->strong.load();
  while (count > 0) {
    if (b->strong.compare_exchange_weak(count, count + 1)) return b;
  }
  return nullptr;
}
AIBinder_Weak* AIBinder_Weak_clone(const AIBinder_Weak* weak) {
  if (weak == nullptr) return nullptr;
  binder_internal::incWeak(weak->binder);
  return new AIBinder_Weak{weak->binder};
}

AIBinder_DeathRecipient* AIBinder_DeathRecipient_new(AIBinder_DeathRecipient_onBinderDied onBinderDied) {
  if (onBinderDied == nullptr) return nullptr;
  auto* r = new AIBinder_DeathRecipient();
  r->onDied = onBinderDied;
  return r;
}
void AIBinder_DeathRecipient_setOnUnlinked(AIBinder_DeathRecipient* recipient,
                                           AIBinder_DeathRecipient_onBinderUnlinked onUnlinked) {
  recipient->onUnlinked = onUnlinked;
}
void AIBinder_DeathRecipient_delete(AIBinder_DeathRecipient* recipient) {
  if (recipient == nullptr) return;
  std::vector<DeathLink> removed;
  {
    std::lock_guard<std::mutex> lock(gDeathLock);
    for (auto it = gDeathLinks.begin(); it != gDeathLinks.end();) {
      if (it->second.recipient == recipient) {
        removed.push_back(it->second);
        it = gDeathLinks.erase(it);
      } else {
        ++it;
      }
    }
  }
  notifyUnlinked(removed);
  delete recipient;
}

binder_status_t AIBinder_setExtension(AIBinder* binder, AIBinder* ext) {
  LocalBinder* local = asLocal(binder);
  if (binder == nullptr || ext == nullptr) return STATUS_UNEXPECTED_NULL;
  if (local == nullptr) return STATUS_INVALID_OPERATION;  // only the owner attaches one
  AIBinder_incStrong(ext);
  AIBinder* old = nullptr;
  {
    std::lock_guard<std::mutex> lock(local->extensionLock);
    old = std::exchange(local->extension, ext);
  }
  if (old != nullptr) AIBinder_decStrong(old);
  return STATUS_OK;
}

binder_status_t AIBinder_getExtension(AIBinder* binder, AIBinder** outExt) {
  if (binder == nullptr || outExt == nullptr) return STATUS_UNEXPECTED_NULL;
  LocalBinder* local = asLocal(binder);
  if (local == nullptr) {
    local = static_cast<RemoteBinder*>(binder)->target;
    if (!local->alive.load()) return STATUS_DEAD_OBJECT;
  }
  std::lock_guard<std::mutex> lock(local->extensionLock);
  if (local->extension == nullptr) {
    *outExt = nullptr;
  } else if (binder->remote()) {
    // Over EXTENSION_TRANSACTION a client receives the extension as any binder.
    *outExt = binder_internal::asReceived(local->extension);
  } else {
    AIBinder_incStrong(local->extension);
    *outExt = local->extension;
  }
  return STATUS_OK;
}

bool AIBinder_lt(const AIBinder* lhs, const AIBinder* rhs) { return std::less<>()(lhs, rhs); }

void AIBinder_markVintfStability(AIBinder* binder) {
  if (LocalBinder* local = asLocal(binder)) local->vintf = true;
}
void AIBinder_markVendorStability(AIBinder* /*binder*/) {}

}  // extern "C"

namespace platform_binder_test {

bool killBinder(AIBinder* localBinder) {
  LocalBinder* local = asLocal(localBinder);
  if (local == nullptr) return false;
  {
    std::lock_guard<std::mutex> lock(gDeathLock);
    if (!local->alive.exchange(false)) return false;
  }
  AIBinder* proxy = nullptr;
  {
    std::lock_guard<std::mutex> lock(local->proxyLock);
    if (local->proxy != nullptr) proxy = AIBinder_Weak_promote(local->proxy);
  }
  if (proxy == nullptr) return true;
  std::vector<DeathLink> links = takeLinks(proxy);
  for (const DeathLink& l : links) l.recipient->onDied(l.cookie);
  notifyUnlinked(links);
  AIBinder_decStrong(proxy);
  return true;
}

bool isVintfStable(AIBinder* binder) {
  LocalBinder* local = asLocal(binder);
  if (local == nullptr && binder != nullptr) local = static_cast<RemoteBinder*>(binder)->target;
  return local != nullptr && local->vintf.load();
}

}  // namespace platform_binder_test
