#pragma once
// Prebaked effects: the effect files of the firmware directory, one effect_stream per file
// whose name matches the effect-file pattern, keyed by effect id, and the service-wide
// cache of their bytes. Effect bytes are shared (std::shared_ptr) between the cache and
// whoever plays them, so an eviction never frees a buffer that a track still reads.

#include <stdint.h>

#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

// Bytes of one effect file, shared by the cache and its players.
using EffectBuffer = std::shared_ptr<const signed char[]>;

// One prebaked effect file.
struct effect_stream {
  long playLength = -1;        // ms; -1 = not computed yet
  uint32_t size = 0;           // byte size of the file, set by the first read
  uint32_t id = 0;             // effect id (the Effect value)
  int32_t sampleRate = 24000;  // Hz
  float strength = 1.0f;       // scales the extension magnitude once; -1 after use
  std::string path;            // file to read
  int32_t transport = 1;       // 1 "S": streamed; 0 "P": uploaded to the force-feedback device

  // The file's bytes into *out (cached); returns their count, 0 when the file cannot be read.
  uint32_t data(EffectBuffer* out);
  // Play length in ms at the stream's sample rate (0 when the file cannot be read).
  long playLengthMs();
};

// Effect id -> stream. The streams live as long as the process.
using EffectTable = std::unordered_map<uint32_t, effect_stream*>;

// What an effect-file name says, when it matches the pattern
// "([0-9]*)_(.[^_]*)_([0-9]*KHz_)?([S|P]_)?([0-9]{1,}[.][0-9]*_)?RTP.bin" (whole name,
// case-insensitive).
struct EffectFileName {
  uint32_t id = 0;
  int32_t sampleRate = 24000;
  float strength = 1.0f;
  int32_t transport = 1;
};
std::optional<EffectFileName> parseEffectFileName(std::string_view name);

// The firmware directory for a resonant frequency in tenths of a hertz.
const char* firmwareDirForF0(int tenthsHz);

// Scans the firmware directory chosen by the non-volatile flag or by f0 and returns one
// stream per matching file (empty when the directory cannot be resolved or opened).
EffectTable get_effect_stream();

// Least-recently-used map of effect id -> bytes, capacity 20. Guarded by one lock, since
// the force-feedback upload and the binder calls may reach it from different threads.
template <typename K, typename V>
class LRUCache {
 public:
  explicit LRUCache(size_t capacity) : mCapacity(capacity) {}

  std::optional<V> get(const K& key) {
    std::lock_guard<std::mutex> lock(mLock);
    auto it = mIndex.find(key);
    if (it == mIndex.end()) return std::nullopt;
    mEntries.splice(mEntries.begin(), mEntries, it->second);
    return it->second->second;
  }

  void put(const K& key, V value) {
    std::lock_guard<std::mutex> lock(mLock);
    auto it = mIndex.find(key);
    if (it != mIndex.end()) {
      mEntries.erase(it->second);
      mIndex.erase(it);
    }
    if (mCapacity == 0) return;
    if (mEntries.size() >= mCapacity) {
      mIndex.erase(mEntries.back().first);
      mEntries.pop_back();  // the cache's reference goes; players keep theirs
    }
    mEntries.emplace_front(key, std::move(value));
    mIndex[key] = mEntries.begin();
  }

  size_t size() {
    std::lock_guard<std::mutex> lock(mLock);
    return mEntries.size();
  }

  void clear() {
    std::lock_guard<std::mutex> lock(mLock);
    mIndex.clear();
    mEntries.clear();
  }

 private:
  using Entry = std::pair<K, V>;
  const size_t mCapacity;
  std::mutex mLock;
  std::list<Entry> mEntries;  // most recent first
  std::unordered_map<K, typename std::list<Entry>::iterator> mIndex;
};

inline constexpr size_t kEffectCacheEntries = 20;

// One cached effect file: its bytes, their count and the file they came from, so that a
// stream that has not read the file itself still learns the size, and a stream of another
// file under the same id is not given these bytes.
struct CachedEffect {
  EffectBuffer bytes;
  uint32_t size = 0;
  std::string path;
};

// The service's one cache of effect bytes.
LRUCache<unsigned int, CachedEffect>& effectCache();
