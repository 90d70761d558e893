// A simulated TEE with one trusted application, which drives a simulated embedded secure
// element: ISO/IEC 7816-4 logical channels (MANAGE CHANNEL, SELECT by name), status words,
// power, cold and interface resets, and the chip's answer-to-reset.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>

#include "ese_utils.h"
#include "tee_client_api.h"
#include "teec/sim_secure_element.h"

namespace platform::sim::ese {
namespace {

struct Chip {
  bool powered = false;
  bool channelOpen[kLogicalChannels] = {};
  std::vector<uint8_t> selected[kLogicalChannels];
  uint8_t vendor = 0;
  std::vector<uint8_t> atr = {0x3B, 0x00};
  std::optional<std::vector<uint8_t>> interfaceReset;
  // Keyed by the AID's bytes as a string.
  std::map<std::string, std::vector<uint8_t>> applets;
  std::map<std::string, uint16_t> refused;
  std::deque<std::vector<uint8_t>> queued;
};

struct State {
  std::mutex lock;
  Chip chip;
  int nextContext = 1;
  uint32_t nextSession = 1;
  int liveContext = 0;      // id of the initialised context, 0 when none
  uint32_t liveSession = 0;  // id of the open session, 0 when none
  bool targetDead = false;
  bool wtxNext = false;
  std::optional<TEEC_Result> openSessionFailure;
  std::map<uint32_t, TEEC_Result> invokeFailures;
  std::optional<TEEC_Result> allocateFailure;
  bool powerOnFails = false;
  bool powerOffFails = false;
  Stats stats;
  std::vector<std::vector<uint8_t>> apdus;
  std::optional<uint32_t> lastTimeout;
  uint32_t lastGenericTag = 0xFFFFFFFF;
};

State& st() {
  static State* s = new State();
  return *s;
}

void closeLogicalChannels(Chip& c) {
  for (int i = 1; i < kLogicalChannels; ++i) {
    c.channelOpen[i] = false;
    c.selected[i].clear();
  }
  c.selected[0].clear();
}

std::vector<uint8_t> sw(uint16_t word, std::vector<uint8_t> data = {}) {
  data.push_back(static_cast<uint8_t>(word >> 8));
  data.push_back(static_cast<uint8_t>(word));
  return data;
}

int channelOf(uint8_t cla) {
  return (cla & 0x40) ? 4 + (cla & 0x0F) : (cla & 0x03);
}

// The chip's answer to one command APDU.
std::vector<uint8_t> answer(State& s, const std::vector<uint8_t>& apdu) {
  Chip& c = s.chip;
  s.stats.apdus++;
  s.apdus.push_back(apdu);
  if (!c.queued.empty()) {
    auto r = c.queued.front();
    c.queued.pop_front();
    return r;
  }
  if (apdu.size() < 4) return sw(0x6700);
  const int ch = channelOf(apdu[0]);
  if (ch >= kLogicalChannels || !c.channelOpen[ch]) return sw(0x6881);
  const uint8_t ins = apdu[1], p1 = apdu[2], p2 = apdu[3];
  if (ins == 0x70) {
    if (p1 == 0x00) {
      for (int n = 1; n < kLogicalChannels; ++n) {
        if (!c.channelOpen[n]) {
          c.channelOpen[n] = true;
          return sw(0x9000, {static_cast<uint8_t>(n)});
        }
      }
      return sw(0x6A81);
    }
    if (p1 == 0x80) {
      if (p2 == 0 || p2 >= kLogicalChannels || !c.channelOpen[p2]) return sw(0x6881);
      c.channelOpen[p2] = false;
      c.selected[p2].clear();
      return sw(0x9000);
    }
    return sw(0x6A86);
  }
  if (ins == 0xA4 && p1 == 0x04) {
    std::vector<uint8_t> aid;
    if (apdu.size() > 5) {
      const size_t lc = apdu[4];
      if (apdu.size() < 5 + lc) return sw(0x6700);
      aid.assign(apdu.begin() + 5, apdu.begin() + 5 + static_cast<std::ptrdiff_t>(lc));
    }
    if (aid.empty()) {  // the default applet
      c.selected[ch].clear();
      return sw(0x9000);
    }
    const std::string key(aid.begin(), aid.end());
    if (auto r = c.refused.find(key); r != c.refused.end()) return sw(r->second);
    auto a = c.applets.find(key);
    if (a == c.applets.end()) return sw(0x6A82);
    c.selected[ch] = aid;
    return sw(0x9000, a->second);
  }
  if (c.selected[ch].empty()) return sw(0x6D00);
  // A selected applet echoes the command's data field.
  std::vector<uint8_t> data;
  if (apdu.size() > 5) data.assign(apdu.begin() + 5, apdu.begin() + 5 + std::min<size_t>(apdu[4], apdu.size() - 5));
  return sw(0x9000, data);
}

bool sessionLive(State& s, TEEC_Session* session) {
  return session != nullptr && s.liveSession != 0 && session->session_id == s.liveSession &&
         session->ctx != nullptr && session->ctx->id == s.liveContext;
}

uint8_t* memrefData(const TEEC_Parameter& p) {
  return static_cast<uint8_t*>(p.memref.parent->buffer) + p.memref.offset;
}

bool memrefValid(const TEEC_Parameter& p) {
  return p.memref.parent != nullptr && p.memref.parent->buffer != nullptr &&
         p.memref.offset + p.memref.size <= p.memref.parent->size;
}

TEEC_Result writeOutput(TEEC_Parameter& out, const std::vector<uint8_t>& r) {
  if (r.size() > out.memref.size) {
    out.memref.size = r.size();
    return TEEC_ERROR_SHORT_BUFFER;
  }
  if (!r.empty()) std::memcpy(memrefData(out), r.data(), r.size());
  out.memref.size = r.size();
  return TEEC_SUCCESS;
}

TEEC_Result transceive(State& s, uint32_t cmd, TEEC_Operation* op) {
  const uint32_t want = cmd == kCmdTransceive ? 0x00EDu : 0x01EDu;
  if (op == nullptr || op->paramTypes != want || !memrefValid(op->params[0]) || !memrefValid(op->params[1]))
    return TEEC_ERROR_BAD_PARAMETERS;
  if (cmd == kCmdTransceiveTimeout) s.lastTimeout = op->params[2].value.a;
  else s.lastTimeout.reset();
  if (s.wtxNext) {
    s.wtxNext = false;
    return kWtxUnrecoverable;
  }
  if (!s.chip.powered) return TEEC_ERROR_COMMUNICATION;
  const uint8_t* in = memrefData(op->params[0]);
  std::vector<uint8_t> apdu(in, in + op->params[0].memref.size);
  return writeOutput(op->params[1], answer(s, apdu));
}

TEEC_Result generic(State& s, TEEC_Operation* op) {
  if (op == nullptr || op->paramTypes != 0x00E1u || !memrefValid(op->params[1])) return TEEC_ERROR_BAD_PARAMETERS;
  if (!s.chip.powered) return TEEC_ERROR_COMMUNICATION;
  Chip& c = s.chip;
  s.lastGenericTag = op->params[0].value.a;
  switch (op->params[0].value.a) {
    case 0:
      return writeOutput(op->params[1], c.atr);
    case 1:
      s.stats.interfaceResets++;
      closeLogicalChannels(c);
      return writeOutput(op->params[1], c.interfaceReset ? *c.interfaceReset : c.atr);
    case 2:
      closeLogicalChannels(c);
      return writeOutput(op->params[1], {});
    case 3:
    case 4:
      return writeOutput(op->params[1], {});
    default:
      return TEEC_ERROR_BAD_PARAMETERS;
  }
}

}  // namespace

void reset() {
  State& s = st();
  std::lock_guard g(s.lock);
  s.chip = Chip{};
  s.chip.channelOpen[0] = true;
  s.liveContext = 0;
  s.liveSession = 0;
  s.targetDead = false;
  s.wtxNext = false;
  s.openSessionFailure.reset();
  s.invokeFailures.clear();
  s.allocateFailure.reset();
  s.powerOnFails = s.powerOffFails = false;
  s.stats = Stats{};
  s.apdus.clear();
  s.lastTimeout.reset();
  s.lastGenericTag = 0xFFFFFFFF;
}

void setAtr(std::vector<uint8_t> atr) { std::lock_guard g(st().lock); st().chip.atr = std::move(atr); }
void setInterfaceResetResponse(std::vector<uint8_t> r) { std::lock_guard g(st().lock); st().chip.interfaceReset = std::move(r); }
void setVendorId(uint8_t vendor) { std::lock_guard g(st().lock); st().chip.vendor = vendor; }
void installApplet(std::vector<uint8_t> aid, std::vector<uint8_t> fci) {
  std::lock_guard g(st().lock);
  st().chip.applets[std::string(aid.begin(), aid.end())] = std::move(fci);
}
void refuseApplet(std::vector<uint8_t> aid, uint16_t statusWord) {
  std::lock_guard g(st().lock);
  st().chip.refused[std::string(aid.begin(), aid.end())] = statusWord;
}
void queueResponse(std::vector<uint8_t> r) { std::lock_guard g(st().lock); st().chip.queued.push_back(std::move(r)); }
void injectTargetDead() { std::lock_guard g(st().lock); st().targetDead = true; }
void injectWtxFailure() { std::lock_guard g(st().lock); st().wtxNext = true; }
void failNextOpenSession(TEEC_Result r) { std::lock_guard g(st().lock); st().openSessionFailure = r; }
void failNextInvoke(uint32_t id, TEEC_Result r) { std::lock_guard g(st().lock); st().invokeFailures[id] = r; }
void failNextAllocate(TEEC_Result r) { std::lock_guard g(st().lock); st().allocateFailure = r; }
void failPowerOn(bool fail) { std::lock_guard g(st().lock); st().powerOnFails = fail; }
void failPowerOff(bool fail) { std::lock_guard g(st().lock); st().powerOffFails = fail; }
Stats stats() { std::lock_guard g(st().lock); return st().stats; }
bool powered() { std::lock_guard g(st().lock); return st().chip.powered; }
bool sessionOpen() { std::lock_guard g(st().lock); return st().liveSession != 0; }
std::vector<int> openChannels() {
  std::lock_guard g(st().lock);
  std::vector<int> r;
  if (!st().chip.powered) return r;
  for (int i = 0; i < kLogicalChannels; ++i)
    if (st().chip.channelOpen[i]) r.push_back(i);
  return r;
}
std::vector<uint8_t> lastApdu() {
  std::lock_guard g(st().lock);
  return st().apdus.empty() ? std::vector<uint8_t>{} : st().apdus.back();
}
std::vector<std::vector<uint8_t>> apduLog() { std::lock_guard g(st().lock); return st().apdus; }
void clearApduLog() { std::lock_guard g(st().lock); st().apdus.clear(); }
std::optional<uint32_t> lastTimeout() { std::lock_guard g(st().lock); return st().lastTimeout; }
uint32_t lastGenericTag() { std::lock_guard g(st().lock); return st().lastGenericTag; }

std::vector<std::vector<uint8_t>> loadAtrList(const std::string& path) {
  std::vector<std::vector<uint8_t>> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() < 2 || !std::isxdigit(static_cast<unsigned char>(line[0]))) continue;
    std::vector<uint8_t> atr;
    bool plain = true;
    size_t i = 0;
    while (i < line.size() && plain) {
      if (line[i] == ' ') {
        ++i;
        continue;
      }
      if (i + 1 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i])) &&
          std::isxdigit(static_cast<unsigned char>(line[i + 1])) &&
          (i + 2 == line.size() || line[i + 2] == ' ')) {
        atr.push_back(static_cast<uint8_t>(std::strtoul(line.substr(i, 2).c_str(), nullptr, 16)));
        i += 2;
      } else {
        plain = false;
      }
    }
    if (plain && !atr.empty()) out.push_back(std::move(atr));
  }
  return out;
}

}  // namespace platform::sim::ese

using namespace platform::sim::ese;

extern "C" {

TEEC_Result TEEC_InitializeContext(const char*, TEEC_Context* context) {
  if (context == nullptr) return TEEC_ERROR_BAD_PARAMETERS;
  State& s = st();
  std::lock_guard g(s.lock);
  if (s.liveContext != 0) return TEEC_ERROR_ACCESS_CONFLICT;  // one context per client here
  context->id = s.nextContext++;
  s.liveContext = context->id;
  s.stats.contextsInitialised++;
  return TEEC_SUCCESS;
}

void TEEC_FinalizeContext(TEEC_Context* context) {
  State& s = st();
  std::lock_guard g(s.lock);
  if (context != nullptr && context->id == s.liveContext && s.liveContext != 0) {
    s.liveContext = 0;
    s.liveSession = 0;
    context->id = -1;
  }
}

TEEC_Result TEEC_OpenSession(TEEC_Context* context, TEEC_Session* session, const TEEC_UUID* destination,
                             uint32_t connectionMethod, const void*, TEEC_Operation* operation,
                             uint32_t* returnOrigin) {
  State& s = st();
  std::lock_guard g(s.lock);
  auto fail = [&](TEEC_Result r, uint32_t origin) {
    if (returnOrigin) *returnOrigin = origin;
    return r;
  };
  if (context == nullptr || session == nullptr || destination == nullptr || context->id != s.liveContext ||
      s.liveContext == 0)
    return fail(TEEC_ERROR_BAD_PARAMETERS, TEEC_ORIGIN_API);
  if (operation != nullptr && operation->paramTypes != 0) return fail(TEEC_ERROR_BAD_PARAMETERS, TEEC_ORIGIN_API);
  if (std::memcmp(destination, &kTaUuid, sizeof(TEEC_UUID)) != 0) return fail(TEEC_ERROR_ITEM_NOT_FOUND, TEEC_ORIGIN_TEE);
  if (connectionMethod != TEEC_LOGIN_USER && connectionMethod != TEEC_LOGIN_PUBLIC)
    return fail(TEEC_ERROR_ACCESS_DENIED, TEEC_ORIGIN_TEE);
  if (s.openSessionFailure) {
    TEEC_Result r = *s.openSessionFailure;
    s.openSessionFailure.reset();
    return fail(r, TEEC_ORIGIN_TEE);
  }
  if (s.liveSession != 0) return fail(TEEC_ERROR_BUSY, TEEC_ORIGIN_TRUSTED_APP);  // single-instance TA
  session->ctx = context;
  session->session_id = s.nextSession++;
  s.liveSession = session->session_id;
  s.targetDead = false;
  s.stats.sessionsOpened++;
  if (returnOrigin) *returnOrigin = TEEC_ORIGIN_TRUSTED_APP;
  return TEEC_SUCCESS;
}

void TEEC_CloseSession(TEEC_Session* session) {
  State& s = st();
  std::lock_guard g(s.lock);
  if (sessionLive(s, session)) {
    s.liveSession = 0;
    s.targetDead = false;
    session->session_id = 0;
    s.stats.sessionsClosed++;
  }
}

TEEC_Result TEEC_InvokeCommand(TEEC_Session* session, uint32_t commandID, TEEC_Operation* operation,
                               uint32_t* returnOrigin) {
  State& s = st();
  std::lock_guard g(s.lock);
  if (returnOrigin) *returnOrigin = TEEC_ORIGIN_API;
  if (!sessionLive(s, session)) {
    s.stats.invokesWithoutSession++;
    return TEEC_ERROR_BAD_STATE;
  }
  s.stats.invokes++;
  if (returnOrigin) *returnOrigin = TEEC_ORIGIN_TRUSTED_APP;
  if (auto f = s.invokeFailures.find(commandID); f != s.invokeFailures.end()) {
    TEEC_Result r = f->second;
    s.invokeFailures.erase(f);
    return r;
  }
  if (s.targetDead) {
    if (returnOrigin) *returnOrigin = TEEC_ORIGIN_TEE;
    return TEEC_ERROR_TARGET_DEAD;
  }
  switch (commandID) {
    case kCmdOpen:
      return s.chip.powered ? TEEC_SUCCESS : TEEC_ERROR_COMMUNICATION;
    case kCmdClose:
      s.stats.closeCommands++;
      return TEEC_SUCCESS;
    case kCmdTransceive:
    case kCmdTransceiveTimeout:
      return transceive(s, commandID, operation);
    case kCmdGeneric:
      return generic(s, operation);
    default:
      return TEEC_ERROR_NOT_SUPPORTED;
  }
}

TEEC_Result TEEC_RegisterSharedMemory(TEEC_Context* context, TEEC_SharedMemory* mem) {
  if (context == nullptr || mem == nullptr || mem->buffer == nullptr) return TEEC_ERROR_BAD_PARAMETERS;
  mem->alloced_size = 0;  // the caller owns the buffer
  return TEEC_SUCCESS;
}

TEEC_Result TEEC_AllocateSharedMemory(TEEC_Context* context, TEEC_SharedMemory* mem) {
  State& s = st();
  std::lock_guard g(s.lock);
  if (context == nullptr || mem == nullptr || context->id != s.liveContext || s.liveContext == 0)
    return TEEC_ERROR_BAD_PARAMETERS;
  if (s.allocateFailure) {
    TEEC_Result r = *s.allocateFailure;
    s.allocateFailure.reset();
    return r;
  }
  mem->alloced_size = mem->size == 0 ? 1 : mem->size;
  mem->buffer = std::calloc(1, mem->alloced_size);
  if (mem->buffer == nullptr) return TEEC_ERROR_OUT_OF_MEMORY;
  s.stats.sharedMemoryLive++;
  return TEEC_SUCCESS;
}

void TEEC_ReleaseSharedMemory(TEEC_SharedMemory* mem) {
  if (mem == nullptr || mem->alloced_size == 0) return;
  State& s = st();
  std::lock_guard g(s.lock);
  std::free(mem->buffer);
  mem->buffer = nullptr;
  mem->alloced_size = 0;
  s.stats.sharedMemoryLive--;
}

void TEEC_RequestCancellation(TEEC_Operation*) {}

int eseSetPower(bool on) {
  State& s = st();
  std::lock_guard g(s.lock);
  if (on ? s.powerOnFails : s.powerOffFails) return -1;
  if (!on) closeLogicalChannels(s.chip);
  s.chip.powered = on;
  return 0;
}

uint8_t eseGetVendorId(void) {
  std::lock_guard g(st().lock);
  return st().chip.vendor;
}

int eseIoctl(unsigned long request, uint8_t arg) {
  State& s = st();
  std::lock_guard g(s.lock);
  if (request != ESE_IOCTL_COLD_RESET) return -1;
  if (arg == 0) {
    s.stats.coldResets++;
    closeLogicalChannels(s.chip);
    return 0;
  }
  return (arg == 1 || arg == 2) ? 0 : -1;
}

}  // extern "C"
