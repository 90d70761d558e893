#pragma once
// Test control of the dma-buf heap stand-in.
#include <string>

namespace platform::dmabuf {

void reset();
int liveBuffers();      // buffers whose descriptor or mapping still exists
int liveAllocators();
int cpuAccessOpen();    // buffers between a sync start and its end
void failNextAllocation(int err);
void failNextSync(int err);
void setCreateAllocatorFails(bool fails);
// The heap that MapDmabufHeapNameToIonHeap last mapped, and its legacy name and mask.
std::string mappedHeap();
std::string mappedLegacyHeap();
unsigned int mappedLegacyMask();

}  // namespace platform::dmabuf
