#pragma once
// Binder objects, interface classes and transactions.
//
// In this host build every binder lives in this process. A local binder is what
// AIBinder_new creates; a remote binder is a proxy standing for a local binder as a
// client in another process would hold it: the service manager hands out proxies and a
// binder read back from a parcel is a proxy, so every call made through one is marshalled
// into a parcel and unmarshalled again. Transactions run on the calling thread, one-way
// calls included; death is simulated with platform_binder_test::killBinder.
#include <stdint.h>
#include <sys/types.h>

#include <android/binder_parcel.h>
#include <android/binder_status.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t transaction_code_t;
typedef uint32_t binder_flags_t;

enum {
  FIRST_CALL_TRANSACTION = 0x00000001,
  LAST_CALL_TRANSACTION = 0x00ffffff,
};
enum {
  FLAG_ONEWAY = 0x01,
  FLAG_CLEAR_BUF = 0x20,
  FLAG_PRIVATE_VENDOR = 0x10000000,
};
// The private flag vendor code passes with its own transactions.
#define FLAG_PRIVATE_LOCAL FLAG_PRIVATE_VENDOR

// Meta transactions every binder answers.
#define B_PACK_CHARS(c1, c2, c3, c4) \
  ((((uint32_t)(c1)) << 24) | (((uint32_t)(c2)) << 16) | (((uint32_t)(c3)) << 8) | ((uint32_t)(c4)))
enum {
  PING_TRANSACTION = B_PACK_CHARS('_', 'P', 'N', 'G'),
  DUMP_TRANSACTION = B_PACK_CHARS('_', 'D', 'M', 'P'),
  SHELL_COMMAND_TRANSACTION = B_PACK_CHARS('_', 'C', 'M', 'D'),
  INTERFACE_TRANSACTION = B_PACK_CHARS('_', 'N', 'T', 'F'),
  SYSPROPS_TRANSACTION = B_PACK_CHARS('_', 'S', 'P', 'R'),
  EXTENSION_TRANSACTION = B_PACK_CHARS('_', 'E', 'X', 'T'),
  DEBUG_PID_TRANSACTION = B_PACK_CHARS('_', 'P', 'I', 'D'),
};

struct AIBinder_Class;
typedef struct AIBinder_Class AIBinder_Class;
struct AIBinder_Weak;
typedef struct AIBinder_Weak AIBinder_Weak;
struct AIBinder_DeathRecipient;
typedef struct AIBinder_DeathRecipient AIBinder_DeathRecipient;

typedef void* (*AIBinder_Class_onCreate)(void* args);
typedef void (*AIBinder_Class_onDestroy)(void* userData);
typedef binder_status_t (*AIBinder_Class_onTransact)(AIBinder* binder, transaction_code_t code,
                                                     const AParcel* in, AParcel* out);
typedef binder_status_t (*AIBinder_onDump)(AIBinder* binder, int fd, const char** args,
                                           uint32_t numArgs);
typedef binder_status_t (*AIBinder_handleShellCommand)(AIBinder* binder, int in, int out, int err,
                                                       const char** argv, uint32_t argc);

// Classes live for the whole process.
AIBinder_Class* AIBinder_Class_define(const char* interfaceDescriptor,
                                      AIBinder_Class_onCreate onCreate,
                                      AIBinder_Class_onDestroy onDestroy,
                                      AIBinder_Class_onTransact onTransact);
void AIBinder_Class_setOnDump(AIBinder_Class* clazz, AIBinder_onDump onDump);
void AIBinder_Class_setHandleShellCommand(AIBinder_Class* clazz,
                                          AIBinder_handleShellCommand handleShellCommand);
const char* AIBinder_Class_getDescriptor(const AIBinder_Class* clazz);

// A new local binder holding one strong reference for the caller.
AIBinder* AIBinder_new(const AIBinder_Class* clazz, void* args);
bool AIBinder_isRemote(const AIBinder* binder);
bool AIBinder_isAlive(const AIBinder* binder);
binder_status_t AIBinder_ping(AIBinder* binder);
binder_status_t AIBinder_dump(AIBinder* binder, int fd, const char** args, uint32_t numArgs);
// Death notices are given for remote binders only (STATUS_INVALID_OPERATION otherwise).
binder_status_t AIBinder_linkToDeath(AIBinder* binder, AIBinder_DeathRecipient* recipient,
                                     void* cookie);
binder_status_t AIBinder_unlinkToDeath(AIBinder* binder, AIBinder_DeathRecipient* recipient,
                                       void* cookie);
uid_t AIBinder_getCallingUid(void);
pid_t AIBinder_getCallingPid(void);
bool AIBinder_isHandlingTransaction(void);
void AIBinder_incStrong(AIBinder* binder);
void AIBinder_decStrong(AIBinder* binder);
int32_t AIBinder_debugGetRefCount(AIBinder* binder);
// Ties a binder to an interface class: true when the binder's descriptor is the class's.
bool AIBinder_associateClass(AIBinder* binder, const AIBinder_Class* clazz);
const AIBinder_Class* AIBinder_getClass(AIBinder* binder);
// The object of a local binder (null for a remote one).
void* AIBinder_getUserData(AIBinder* binder);
binder_status_t AIBinder_prepareTransaction(AIBinder* binder, AParcel** in);
// Takes *in (set to null); on success *out holds the reply for the caller to delete.
binder_status_t AIBinder_transact(AIBinder* binder, transaction_code_t code, AParcel** in,
                                  AParcel** out, binder_flags_t flags);

AIBinder_Weak* AIBinder_Weak_new(AIBinder* binder);
void AIBinder_Weak_delete(AIBinder_Weak* weakBinder);
AIBinder* AIBinder_Weak_promote(AIBinder_Weak* weakBinder);
AIBinder_Weak* AIBinder_Weak_clone(const AIBinder_Weak* weak);

typedef void (*AIBinder_DeathRecipient_onBinderDied)(void* cookie);
typedef void (*AIBinder_DeathRecipient_onBinderUnlinked)(void* cookie);
AIBinder_DeathRecipient* AIBinder_DeathRecipient_new(AIBinder_DeathRecipient_onBinderDied onBinderDied);
void AIBinder_DeathRecipient_setOnUnlinked(AIBinder_DeathRecipient* recipient,
                                           AIBinder_DeathRecipient_onBinderUnlinked onUnlinked);
void AIBinder_DeathRecipient_delete(AIBinder_DeathRecipient* recipient);

// Extensions: a second binder attached to a local binder; a proxy reads it as a proxy.
binder_status_t AIBinder_setExtension(AIBinder* binder, AIBinder* ext);
binder_status_t AIBinder_getExtension(AIBinder* binder, AIBinder** outExt);

bool AIBinder_lt(const AIBinder* lhs, const AIBinder* rhs);

#ifdef __cplusplus
}
#endif
