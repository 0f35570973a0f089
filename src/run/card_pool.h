// Worker threads that draw card pictures while the scan goes on.
//
// The scan hands over one job per card picture it needs; workers take them in
// the order given. Nothing a worker does depends on another job, so a job's
// PNG bytes are the same whichever thread draws it and whenever.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "card/canvas.h"
#include "card/encoder_arena.h"

constexpr uint32_t max_workers = 64;
// Jobs waiting for a worker at once; the scan keeps far fewer in flight.
constexpr uint32_t max_queued_jobs = 4 * max_workers;

struct card_job {
    const uint8_t* face;   // the face picture's bytes; null for a plain card
    uint32_t face_len;
    char sex;
    unsigned char* png;    // the result, released with free(); null when encoding failed
    int png_len;
    int face_width;        // of the face when it decoded, else 0
    int face_height;
    bool done;             // under the pool's lock until the job is seen done
};

// What one drawing thread draws and encodes in, reserved when it starts.
struct worker_space {
    card_canvas canvas;
    encoder_arena arena;
};

struct card_pool {
    uint32_t workers;        // 0: each job is drawn on the submitting thread
    uint32_t started;        // threads are started with the first job
    card_canvas* canvas;     // the submitting thread's, for workers == 0
    encoder_arena arena;     // its encoder's, for workers == 0
    std::mutex lock;
    std::condition_variable job_ready;  // workers wait here for jobs
    std::condition_variable job_done;   // the scan waits here for results
    card_job* queue[max_queued_jobs];   // ring of jobs not yet taken
    uint32_t queue_head;
    uint32_t queue_count;
    bool stopping;
    std::thread threads[max_workers];
    worker_space* spaces[max_workers];  // one per started thread
};

// Prepares `pool` with `workers` threads (at most max_workers); `canvas` is
// used when there are none. A system that cannot give a thread its canvas and
// encoder arena gets fewer threads, down to none; the submitting thread's
// arena is reserved with the first job.
void card_pool_start(card_pool* pool, uint32_t workers, card_canvas* canvas);

// Queues `job` (not done); with no workers it is drawn before this returns.
void card_pool_submit(card_pool* pool, card_job* job);

// Whether `job` is done, without waiting.
bool card_pool_is_done(card_pool* pool, const card_job* job);

// Waits until `job` is done.
void card_pool_wait(card_pool* pool, const card_job* job);

// Takes `job` back when no worker has taken it yet (left not done; true),
// else waits until it is done (false). For a pool shared by several scans,
// whose threads go on.
bool card_pool_cancel(card_pool* pool, card_job* job);

// Drops the jobs no worker has taken, waits for those being drawn and ends
// the threads. Dropped jobs are left not done.
void card_pool_stop(card_pool* pool);

// One worker per core the system reports, at least one, at most max_workers.
uint32_t default_worker_count();
