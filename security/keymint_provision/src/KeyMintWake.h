#pragma once

namespace keymasterdevice::internal {

// Asks the StrongBox KeyMint device (waiting for it to be registered) to delete a key blob
// of 16 zero bytes. The answer does not matter: the call makes the KeyMint HAL bring the
// secure processor up and configure it.
void wakeStrongBoxKeyMint();

}  // namespace keymasterdevice::internal
