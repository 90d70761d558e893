#pragma once
// Test control of the keymaster remote-provisioning stand-in. Never used by production code.
#include <keymaster/cppcose/cppcose.h>

namespace keymaster::testing {

// The MAC key every PureSoftRemoteProvisioningContext of the process uses.
cppcose::bytevec softContextMacKey();
// While set, every context refuses to make a MAC.
void setContextMacFails(bool fails);
// While set, GenerateRandom fails.
void setRandomFails(bool fails);
// The next InitKeysToSign fails as if the allocation had.
void failNextKeysToSignAllocation();
// Back to the defaults above.
void reset();

}  // namespace keymaster::testing
