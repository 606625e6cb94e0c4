// The process-wide worker pool behind the parallel array maps: one worker per
// logical processor, started on first use, never torn down. A child forked
// after the pool exists starts a fresh one, since it inherits none of the
// parent's threads.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <utility>

namespace barometra::python {

class WorkerPool {
 public:
  // Call while attached: creation may throw (std::bad_alloc).
  static WorkerPool& instance();

  std::size_t worker_count() const noexcept { return workers_; }

  // Runs body(chunk, begin, end) for each of `chunks` near-equal parts of
  // [0, n), on the workers and on the calling thread, and returns when all
  // have finished. Any number of threads may run jobs at once. body must not
  // throw and must not touch Python objects.
  template <class Body>
  void parallel_for(std::size_t n, std::size_t chunks, Body& body) noexcept {
    run(n, chunks, &body, &call_body<Body>, nullptr, nullptr);
  }

  // As above, but the calling thread runs first() once the job is queued and
  // only then takes chunks, so the workers may start while it runs. first()
  // may detach the calling thread from the interpreter; body may wait for
  // first() to progress, never the other way round.
  template <class Body, class First>
  void parallel_for(std::size_t n, std::size_t chunks, Body& body, First& first) noexcept {
    run(n, chunks, &body, &call_body<Body>, &first,
        [](void* context) noexcept { (*static_cast<First*>(context))(); });
  }

  // [begin, end) of part `chunk` of `chunks` near-equal parts of [0, n).
  static std::pair<std::size_t, std::size_t> chunk_bounds(std::size_t n, std::size_t chunks,
                                                          std::size_t chunk) noexcept {
    // Without computing chunk * n, which could overflow.
    const std::size_t base = n / chunks, extra = n % chunks;
    const std::size_t begin = chunk * base + std::min(chunk, extra);
    return {begin, begin + base + (chunk < extra ? 1 : 0)};
  }

 private:
  using ChunkFunction = void (*)(void*, std::size_t, std::size_t, std::size_t) noexcept;
  using FirstFunction = void (*)(void*) noexcept;
  struct Job;

  template <class Body>
  static void call_body(void* context, std::size_t chunk, std::size_t begin,
                        std::size_t end) noexcept {
    (*static_cast<Body*>(context))(chunk, begin, end);
  }

  explicit WorkerPool(std::size_t requested_workers);
  void run(std::size_t n, std::size_t chunks, void* context, ChunkFunction function,
           void* first_context, FirstFunction first) noexcept;
  void work() noexcept;
  // Takes `job` off the queue if it is still on it; mutex_ held.
  void unlink(Job* job) noexcept;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable job_done_;
  Job* queue_head_ = nullptr;  // jobs with unclaimed chunks, oldest first
  Job* queue_tail_ = nullptr;
  std::size_t workers_ = 0;
};

}  // namespace barometra::python
