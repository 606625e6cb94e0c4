#include "worker_pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

namespace barometra::python {

struct WorkerPool::Job {
  ChunkFunction function;
  void* context;
  std::size_t n;
  std::size_t chunks;
  std::atomic<std::size_t> next_chunk{0};
  std::size_t finished = 0;  // mutex_ held
  bool queued = false;       // mutex_ held
  Job* next = nullptr;       // mutex_ held

  void run_chunk(std::size_t chunk) const noexcept {
    const auto [begin, end] = chunk_bounds(n, chunks, chunk);
    function(context, chunk, begin, end);
  }
};

namespace {

std::mutex g_create_mutex;
std::atomic<WorkerPool*> g_pool{nullptr};

// Held across fork() so that the child never inherits a half-made pool.
void before_fork() noexcept { g_create_mutex.lock(); }
void after_fork_in_parent() noexcept { g_create_mutex.unlock(); }
void after_fork_in_child() noexcept {
  // The parent's workers do not exist here and its pool mutex may be held
  // forever, so the old pool is abandoned (deliberately leaked) and the next
  // parallel call creates a new one.
  g_pool.store(nullptr, std::memory_order_relaxed);
  g_create_mutex.unlock();
}

}  // namespace

WorkerPool& WorkerPool::instance() {
  if (WorkerPool* pool = g_pool.load(std::memory_order_acquire)) return *pool;
  std::lock_guard lock(g_create_mutex);
  if (WorkerPool* pool = g_pool.load(std::memory_order_relaxed)) return *pool;
  static const bool fork_handlers_installed = [] {
    return pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child) == 0;
  }();
  (void)fork_handlers_installed;
  auto* pool = new WorkerPool(std::max(1u, std::thread::hardware_concurrency()));
  g_pool.store(pool, std::memory_order_release);
  return *pool;
}

WorkerPool::WorkerPool(std::size_t requested_workers) {
  for (std::size_t i = 0; i < requested_workers; ++i) {
    try {
      std::thread(&WorkerPool::work, this).detach();
      ++workers_;
    } catch (const std::system_error&) {
      // Fewer workers only slows things down: the calling thread also works.
      break;
    }
  }
}

void WorkerPool::unlink(Job* job) noexcept {
  if (!job->queued) return;
  Job** link = &queue_head_;
  Job* previous = nullptr;
  while (*link != job) {
    previous = *link;
    link = &(*link)->next;
  }
  *link = job->next;
  if (queue_tail_ == job) queue_tail_ = previous;
  job->next = nullptr;
  job->queued = false;
}

void WorkerPool::work() noexcept {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_ready_.wait(lock, [this] { return queue_head_ != nullptr; });
    Job* job = queue_head_;
    const std::size_t chunk = job->next_chunk.fetch_add(1, std::memory_order_relaxed);
    if (chunk + 1 >= job->chunks) unlink(job);  // nothing left to claim
    if (chunk >= job->chunks) continue;
    lock.unlock();
    job->run_chunk(chunk);
    lock.lock();
    // Notified under the lock: once it is released the owner may return and
    // the job, which lives on the owner's stack, is gone.
    if (++job->finished == job->chunks) job_done_.notify_all();
  }
}

void WorkerPool::run(std::size_t n, std::size_t chunks, void* context, ChunkFunction function,
                     void* first_context, FirstFunction first) noexcept {
  if (chunks == 0 || n == 0) {
    if (first != nullptr) first(first_context);
    return;
  }
  Job job{function, context, n, std::min(chunks, n)};
  if (job.chunks > 1 && workers_ > 0) {
    std::lock_guard lock(mutex_);
    job.queued = true;
    if (queue_tail_ != nullptr) {
      queue_tail_->next = &job;
    } else {
      queue_head_ = &job;
    }
    queue_tail_ = &job;
  }
  work_ready_.notify_all();
  if (first != nullptr) first(first_context);
  std::size_t done_here = 0;
  for (;;) {
    const std::size_t chunk = job.next_chunk.fetch_add(1, std::memory_order_relaxed);
    if (chunk >= job.chunks) break;
    job.run_chunk(chunk);
    ++done_here;
  }
  std::unique_lock lock(mutex_);
  unlink(&job);
  job.finished += done_here;
  job_done_.wait(lock, [&] { return job.finished == job.chunks; });
}

}  // namespace barometra::python
