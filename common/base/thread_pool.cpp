// Every worker takes part in every task: a task is published by raising a generation
// counter, each thread (the caller too) takes chunks from a shared counter until none is
// left, and each worker then reports that it is done with the task. The caller returns only
// when all have reported, so no worker can still hold a chunk of one task when the next is
// published. Workers spin a little before they sleep: the passes of a search come in quick
// succession.
#include "base/thread_pool.hpp"

#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

struct Pool {
    std::vector<std::thread> workers;
    std::atomic<unsigned> generation{0};  // raised once per task
    std::atomic<int> next_chunk{0};
    std::atomic<int> pending{0};          // workers not yet done with the task
    std::atomic<bool> stopping{false};
    int chunks = 0;
    void (*fn)(int, void*) = nullptr;
    void* context = nullptr;
    int spins = 0;                        // how long a waiting thread spins before it sleeps
};
Pool g_pool;

// Up to about a millisecond of spinning before a waiting thread sleeps, when every thread
// has a core of its own: the sequential work between two passes (branch matrices, a Brent
// step) is far shorter, and a sleeping worker takes tens of microseconds to wake. With more
// threads than cores a spinning thread would keep the one it waits for off its core for a
// whole time slice, so then they sleep at once.
constexpr int kSpinsOwnCores = 200000;

// One step of a spin: a pause, and now and then the core offered to another thread, so
// that a thread this one waits for, pushed off its core by another program, gets it back
// soon.
inline void relax(int spin) {
#if defined(__x86_64__)
    __builtin_ia32_pause();
#endif
    if ((spin & 255) == 255) sched_yield();
}

// Takes chunks of the task in hand until none is left.
void work_on_task() {
    for (int c = g_pool.next_chunk.fetch_add(1, std::memory_order_relaxed); c < g_pool.chunks;
         c = g_pool.next_chunk.fetch_add(1, std::memory_order_relaxed))
        g_pool.fn(c, g_pool.context);
}

void worker_loop() {
    unsigned seen = 0;
    for (;;) {
        unsigned now = g_pool.generation.load(std::memory_order_acquire);
        for (int spin = 0; now == seen && spin < g_pool.spins; ++spin) {
            relax(spin);
            now = g_pool.generation.load(std::memory_order_acquire);
        }
        while (now == seen) {
            g_pool.generation.wait(seen, std::memory_order_acquire);
            now = g_pool.generation.load(std::memory_order_acquire);
        }
        seen = now;
        if (g_pool.stopping.load(std::memory_order_acquire)) return;
        work_on_task();
        if (g_pool.pending.fetch_sub(1, std::memory_order_acq_rel) == 1) g_pool.pending.notify_one();
    }
}

void stop_threads() {
    g_pool.stopping.store(true, std::memory_order_release);
    g_pool.generation.fetch_add(1, std::memory_order_acq_rel);
    g_pool.generation.notify_all();
    for (std::thread& t : g_pool.workers) t.join();
    g_pool.workers.clear();
}

}  // namespace

void start_threads(int count) {
    if (!g_pool.workers.empty() || count <= 1) return;
    g_pool.spins = count <= available_cores() ? kSpinsOwnCores : 0;
    for (int i = 1; i < count; ++i) g_pool.workers.emplace_back(worker_loop);
    atexit(stop_threads);
}

int thread_count() { return static_cast<int>(g_pool.workers.size()) + 1; }

void run_chunks(int chunks, void (*fn)(int chunk, void* context), void* context) {
    if (chunks <= 1 || g_pool.workers.empty()) {
        for (int c = 0; c < chunks; ++c) fn(c, context);
        return;
    }
    g_pool.fn = fn;
    g_pool.context = context;
    g_pool.chunks = chunks;
    g_pool.next_chunk.store(0, std::memory_order_relaxed);
    g_pool.pending.store(static_cast<int>(g_pool.workers.size()), std::memory_order_relaxed);
    g_pool.generation.fetch_add(1, std::memory_order_acq_rel);
    g_pool.generation.notify_all();
    work_on_task();
    int left = g_pool.pending.load(std::memory_order_acquire);
    for (int spin = 0; left != 0 && spin < g_pool.spins; ++spin) {
        relax(spin);
        left = g_pool.pending.load(std::memory_order_acquire);
    }
    while (left != 0) {
        g_pool.pending.wait(left, std::memory_order_acquire);
        left = g_pool.pending.load(std::memory_order_acquire);
    }
}

int available_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}
