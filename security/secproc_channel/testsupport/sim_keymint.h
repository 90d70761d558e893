#pragma once
// The KeyMint application of the simulated secure processor, for tests and benchmarks that
// run the KeyMint HAL end to end. Installed as the processor's command handler, it
//  - generates (0x3108) and imports (0x310b, PKCS#8) EC P-256 keys with OpenSSL; the key
//    blob is [0x4B4D4B44, 1, 2, characteristics, sealed key], the private key sealed with
//    AES-256-GCM under a key of this object, so a blob opens again only here and only
//    unaltered; the certificate chain is a leaf for the new key signed by a test attestation
//    key, then that key's self-signed root (an attestation key made without an attestation
//    challenge gets only its own self-signed certificate);
//  - signs with SHA-256 ECDSA in begin (0x310f), update (0x3111) and finish (0x3112), and
//    forgets operations on abort (0x2113, 0x2513);
//  - answers the date-support query (0x215) with a settable status.
// Any other command goes on to the processor's queue. A response queued here for one of
// the commands above is given ahead of the simulation (to inject a failure or a reply).
// Requests are decoded with libcbor, independent of the system's own CBOR code.
#include <vaultlink/sim_secproc.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace secproc_test {

class SimKeyMint {
 public:
  SimKeyMint();
  ~SimKeyMint();
  SimKeyMint(const SimKeyMint&) = delete;
  SimKeyMint& operator=(const SimKeyMint&) = delete;

  // Answers the next `cmdId` with `response` instead of simulating it.
  void queue(uint32_t cmdId, platform::secproc::Response response);
  // Status of the date-support query (0: dates supported, -40: not).
  void setDateSupportStatus(int32_t status);
  // An update takes at most this many bytes of its input (default: all of it).
  void setUpdateLimit(size_t limit);

  // A P-256 signing key blob made here whose characteristics are `characteristics` as given,
  // a layout another firmware might write: begin opens it like any blob made here, as long
  // as its hardware list (label 2) allows signing.
  std::vector<uint8_t> keyBlobWith(const std::vector<uint8_t>& characteristics);
  // Handles of the operations begun, and of the operations aborted, in order.
  std::vector<uint64_t> begunHandles() const;
  std::vector<uint64_t> abortedHandles() const;

  // DER of the attestation root certificate.
  std::vector<uint8_t> rootCertificate() const;
  // Input bytes of each update request, in order.
  std::vector<size_t> updateSizes() const;
  size_t liveOperations() const;
  int keysGenerated() const;

  struct Impl;

 private:
  std::shared_ptr<Impl> impl_;
};

}  // namespace secproc_test
