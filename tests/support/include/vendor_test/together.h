#pragma once
// Clients arriving at once: body(k) for k from 0 to n - 1, each on a thread of its own, every
// thread held until all have started so that the calls overlap as concurrent clients do.
// Returns when all are done.
#include <atomic>
#include <thread>
#include <vector>

namespace vendor_test {

template <typename Body>
void runTogether(int n, Body body) {
  std::atomic<int> started{0};
  std::vector<std::thread> threads;
  threads.reserve(static_cast<size_t>(n));
  for (int k = 0; k < n; k++) {
    threads.emplace_back([&, k] {
      started++;
      while (started.load() < n) std::this_thread::yield();
      body(k);
    });
  }
  for (auto& t : threads) t.join();
}

}  // namespace vendor_test
