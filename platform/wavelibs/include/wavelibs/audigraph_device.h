#pragma once
// The audio-graph output "libaudigraphdevice.so": createAudigraphDevice() returns an
// object whose virtual functions are, slot by slot, those of the vibrator service's
// dynamic-effect device: open, write, close, the two destructor slots, off, eos.
#include <stdint.h>

class AudigraphDevice {
 public:
  virtual int open() = 0;
  // Plays `count` signed 8-bit samples; returns the count accepted.
  virtual int write(signed char* samples, int count) = 0;
  virtual int close() = 0;
  virtual ~AudigraphDevice() = default;
  virtual void off() = 0;
  virtual void eos() = 0;
};

extern "C" {
// A new device owned by the caller (delete through the destructor slot).
void* createAudigraphDevice();
typedef void* (*createAudigraphDevice_fn)();
}

inline constexpr const char* kAudigraphLibrary = "libaudigraphdevice.so";
