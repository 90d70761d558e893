#pragma once
// Process-wide switches of the stand-in that its test control sets.
namespace keymaster::soft_rkp {

bool contextMacFails();
bool randomFails();
// True once after failNextKeysToSignAllocation.
bool takeAllocationFailure();

}  // namespace keymaster::soft_rkp
