#pragma once
// Stand-in of the trusted-environment IPC object model. An object is {invoke, context}; an
// operation calls invoke with the context, an operation number, the arguments and a counts
// word. Arguments stand in the order input buffers, output buffers, input objects, output
// objects; the counts word holds their numbers in its four low nibbles.
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* ObjectCxt;
typedef uint32_t ObjectOp;
typedef uint32_t ObjectCounts;
typedef union ObjectArg ObjectArg;
typedef int32_t (*ObjectInvoke)(ObjectCxt h, ObjectOp op, ObjectArg* args, ObjectCounts counts);

typedef struct Object {
  ObjectInvoke invoke;
  ObjectCxt context;
} Object;

typedef struct {
  void* ptr;
  size_t size;
} ObjectBuf;
typedef struct {
  const void* ptr;
  size_t size;
} ObjectBufIn;

union ObjectArg {
  ObjectBuf b;
  ObjectBufIn bi;
  Object o;
};

#define Object_NULL ((Object){NULL, NULL})
#define Object_OP_release 0xFFFF
#define Object_OK 0
#define Object_ERROR 1
#define Object_ERROR_INVALID 2
#define Object_ERROR_SIZE_IN 3
#define Object_ERROR_SIZE_OUT 4

#define ObjectCounts_pack(nBuffersIn, nBuffersOut, nObjectsIn, nObjectsOut)                 \
  ((ObjectCounts)((nBuffersIn) | ((nBuffersOut) << 4) | ((nObjectsIn) << 8) |              \
                  ((nObjectsOut) << 12)))

static inline int32_t Object_invoke(Object o, ObjectOp op, ObjectArg* args, ObjectCounts k) {
  return o.invoke(o.context, op, args, k);
}
static inline void Object_release(Object o) {
  if (o.invoke != NULL) o.invoke(o.context, Object_OP_release, NULL, 0);
}

// The client environment of this process; 0 on success.
int TZCom_getClientEnvObject(Object* out);
// An object standing for the memory behind descriptor `fd`; 0 on success.
int TZCom_getFdObject(int fd, Object* out);

#ifdef __cplusplus
}
#endif
