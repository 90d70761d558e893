#pragma once
// Stand-in of the dma-buf heap library's C interface. A buffer is a descriptor of a
// simulated dma-buf (platform/devio.h calls: plat_mmap, plat_ioctl with DMA_BUF_IOCTL_SYNC,
// plat_close), backed by memory of this process.
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct BufferAllocator BufferAllocator;

BufferAllocator* CreateDmabufHeapBufferAllocator(void);
void FreeDmabufHeapBufferAllocator(BufferAllocator* allocator);
// Names the legacy ion heap that stands for a dma-buf heap; 0 or a negative errno.
int MapDmabufHeapNameToIonHeap(BufferAllocator* allocator, const char* heap_name,
                               const char* ion_heap_name, unsigned int ion_heap_flags,
                               unsigned int legacy_ion_heap_mask, unsigned int legacy_ion_heap_flags);
// A new buffer of `len` bytes from the heap: its descriptor, or a negative errno.
int DmabufHeapAlloc(BufferAllocator* allocator, const char* heap_name, size_t len,
                    unsigned int heap_flags, size_t legacy_align);

#ifdef __cplusplus
}
#endif
