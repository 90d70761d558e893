// GlobalPlatform TEE Client API: the calls and records a normal-world client uses to reach a
// trusted application. Values are those of the published client API.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t TEEC_Result;

#define TEEC_SUCCESS 0x00000000u
#define TEEC_ERROR_GENERIC 0xFFFF0000u
#define TEEC_ERROR_ACCESS_DENIED 0xFFFF0001u
#define TEEC_ERROR_CANCEL 0xFFFF0002u
#define TEEC_ERROR_ACCESS_CONFLICT 0xFFFF0003u
#define TEEC_ERROR_EXCESS_DATA 0xFFFF0004u
#define TEEC_ERROR_BAD_FORMAT 0xFFFF0005u
#define TEEC_ERROR_BAD_PARAMETERS 0xFFFF0006u
#define TEEC_ERROR_BAD_STATE 0xFFFF0007u
#define TEEC_ERROR_ITEM_NOT_FOUND 0xFFFF0008u
#define TEEC_ERROR_NOT_IMPLEMENTED 0xFFFF0009u
#define TEEC_ERROR_NOT_SUPPORTED 0xFFFF000Au
#define TEEC_ERROR_NO_DATA 0xFFFF000Bu
#define TEEC_ERROR_OUT_OF_MEMORY 0xFFFF000Cu
#define TEEC_ERROR_BUSY 0xFFFF000Du
#define TEEC_ERROR_COMMUNICATION 0xFFFF000Eu
#define TEEC_ERROR_SECURITY 0xFFFF000Fu
#define TEEC_ERROR_SHORT_BUFFER 0xFFFF0010u
#define TEEC_ERROR_EXTERNAL_CANCEL 0xFFFF0011u
#define TEEC_ERROR_TARGET_DEAD 0xFFFF3024u

#define TEEC_ORIGIN_API 1u
#define TEEC_ORIGIN_COMMS 2u
#define TEEC_ORIGIN_TEE 3u
#define TEEC_ORIGIN_TRUSTED_APP 4u

#define TEEC_NONE 0x0u
#define TEEC_VALUE_INPUT 0x1u
#define TEEC_VALUE_OUTPUT 0x2u
#define TEEC_VALUE_INOUT 0x3u
#define TEEC_MEMREF_TEMP_INPUT 0x5u
#define TEEC_MEMREF_TEMP_OUTPUT 0x6u
#define TEEC_MEMREF_TEMP_INOUT 0x7u
#define TEEC_MEMREF_WHOLE 0xCu
#define TEEC_MEMREF_PARTIAL_INPUT 0xDu
#define TEEC_MEMREF_PARTIAL_OUTPUT 0xEu
#define TEEC_MEMREF_PARTIAL_INOUT 0xFu

#define TEEC_MEM_INPUT 0x1u
#define TEEC_MEM_OUTPUT 0x2u

#define TEEC_LOGIN_PUBLIC 0x0u
#define TEEC_LOGIN_USER 0x1u
#define TEEC_LOGIN_GROUP 0x2u
#define TEEC_LOGIN_APPLICATION 0x4u
#define TEEC_LOGIN_USER_APPLICATION 0x5u
#define TEEC_LOGIN_GROUP_APPLICATION 0x6u

#define TEEC_CONFIG_PAYLOAD_REF_COUNT 4

#define TEEC_PARAM_TYPES(p0, p1, p2, p3) \
  ((uint32_t)(p0) | ((uint32_t)(p1) << 4) | ((uint32_t)(p2) << 8) | ((uint32_t)(p3) << 12))
#define TEEC_PARAM_TYPE_GET(t, i) (((t) >> ((i) * 4)) & 0xF)

typedef struct {
  uint32_t timeLow;
  uint16_t timeMid;
  uint16_t timeHiAndVersion;
  uint8_t clockSeqAndNode[8];
} TEEC_UUID;

typedef struct {
  int id;  // simulated TEE's handle; -1 when not initialised
} TEEC_Context;

typedef struct {
  TEEC_Context* ctx;
  uint32_t session_id;  // 0 when not open
} TEEC_Session;

typedef struct {
  void* buffer;
  size_t size;
  uint32_t flags;
  size_t alloced_size;
} TEEC_SharedMemory;

typedef struct {
  void* buffer;
  size_t size;
} TEEC_TempMemoryReference;

typedef struct {
  TEEC_SharedMemory* parent;
  size_t size;
  size_t offset;
} TEEC_RegisteredMemoryReference;

typedef struct {
  uint32_t a;
  uint32_t b;
} TEEC_Value;

typedef union {
  TEEC_TempMemoryReference tmpref;
  TEEC_RegisteredMemoryReference memref;
  TEEC_Value value;
} TEEC_Parameter;

typedef struct {
  uint32_t started;
  uint32_t paramTypes;
  TEEC_Parameter params[TEEC_CONFIG_PAYLOAD_REF_COUNT];
  TEEC_Session* session;
} TEEC_Operation;

TEEC_Result TEEC_InitializeContext(const char* name, TEEC_Context* context);
void TEEC_FinalizeContext(TEEC_Context* context);
TEEC_Result TEEC_OpenSession(TEEC_Context* context, TEEC_Session* session, const TEEC_UUID* destination,
                             uint32_t connectionMethod, const void* connectionData, TEEC_Operation* operation,
                             uint32_t* returnOrigin);
void TEEC_CloseSession(TEEC_Session* session);
TEEC_Result TEEC_InvokeCommand(TEEC_Session* session, uint32_t commandID, TEEC_Operation* operation,
                               uint32_t* returnOrigin);
TEEC_Result TEEC_RegisterSharedMemory(TEEC_Context* context, TEEC_SharedMemory* sharedMem);
TEEC_Result TEEC_AllocateSharedMemory(TEEC_Context* context, TEEC_SharedMemory* sharedMem);
void TEEC_ReleaseSharedMemory(TEEC_SharedMemory* sharedMem);
void TEEC_RequestCancellation(TEEC_Operation* operation);

#ifdef __cplusplus
}
#endif
