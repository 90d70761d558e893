#pragma once
// Test control of the tinyalsa stand-in: a recording sink in place of the sound card, and
// a WAV writer for what it recorded. Never called by production code.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include <tinyalsa/asoundlib.h>

namespace platform_tinyalsa_test {

// From now on pcm_open opens the recording sink. With `paced`, writes block as a real
// device would: the sink accepts data no faster than its rate, a buffer ahead.
void useRecordingSink(bool paced = false);
// The paced recording sink on a clock of the test's own, which starts at 0 and moves only
// by advanceClock: a write (or drain) blocks until the clock reaches the time a device would
// take it, so a test steps playback period by period without sleeping.
void useRecordingSinkOnTestClock();
void advanceClock(std::chrono::nanoseconds step);
// Waits until a write (or drain) is blocked on the test clock, for a time still to come.
bool waitForBlockedWrite(std::chrono::milliseconds timeout);
// Back to ALSA for later opens (a write waiting for the test clock goes on at once);
// forgets what was recorded.
void useAlsa();
// Forgets what was recorded (the sink stays in use).
void clearRecording();

// Every pcm_write the sink accepted, one entry per call, in order.
std::vector<std::vector<uint8_t>> periods();
// All recorded bytes, in order.
std::vector<uint8_t> recordedBytes();
// Waits until at least `count` writes were recorded.
bool waitForPeriods(size_t count, std::chrono::milliseconds timeout);
// What was done to the sink's PCMs, in order: "open 0 41", "prepare", "start", "stop",
// "drain", "close".
std::vector<std::string> events();
// The configuration of the last PCM opened on the sink.
pcm_config lastConfig();
// The next pcm_open on the sink fails with this message.
void failNextOpen(const std::string& error);
// Writes to the sink fail with `error` (0 lets them succeed again).
void failWrites(int error);

// A RIFF/WAVE file of linear PCM: 44-byte header and the bytes as given.
bool writeWav(const std::string& path, uint32_t rate, uint16_t channels, uint16_t bits,
              const std::vector<uint8_t>& bytes);

}  // namespace platform_tinyalsa_test
