#include "extract/card_pool.h"

#include <cstdlib>
#include <system_error>

#include "card/card_picture.h"

namespace {

void draw(card_canvas* canvas, card_job* job) {
    job->png = draw_card_png(canvas, job->face, job->face_len, job->sex, &job->png_len);
}

void worker_loop(card_pool* pool, card_canvas* canvas) {
    std::unique_lock<std::mutex> hold(pool->lock);
    for (;;) {
        pool->job_ready.wait(hold, [pool] { return pool->stopping || pool->queue_count > 0; });
        if (pool->queue_count == 0) return;  // stopping, and nothing left to take
        card_job* job = pool->queue[pool->queue_head];
        pool->queue_head = (pool->queue_head + 1) % max_queued_jobs;
        --pool->queue_count;
        hold.unlock();
        draw(canvas, job);
        hold.lock();
        job->done = true;
        pool->job_done.notify_all();
    }
}

// Each worker draws on a canvas of its own (about 350 KiB, more than some
// systems give a thread's stack). A system short of memory or threads gets
// the work done with the workers it gave, or on the submitting thread when
// it gave none.
void start_threads(card_pool* pool) {
    for (; pool->started < pool->workers; ++pool->started) {
        card_canvas*& canvas = pool->canvases[pool->started];
        canvas = static_cast<card_canvas*>(std::malloc(sizeof(card_canvas)));
        if (!canvas) break;
        try {
            pool->threads[pool->started] = std::thread(worker_loop, pool, canvas);
        } catch (const std::system_error&) {
            std::free(canvas);
            break;
        }
    }
    pool->workers = pool->started;
}

}  // namespace

uint32_t default_worker_count() {
    const unsigned cores = std::thread::hardware_concurrency();  // 0 when unknown
    return cores < 1 ? 1 : cores > max_workers ? max_workers : cores;
}

void card_pool_start(card_pool* pool, uint32_t workers, card_canvas* canvas) {
    pool->workers = workers > max_workers ? max_workers : workers;
    pool->started = 0;
    pool->canvas = canvas;
    pool->queue_head = 0;
    pool->queue_count = 0;
    pool->stopping = false;
}

void card_pool_submit(card_pool* pool, card_job* job) {
    job->png = nullptr;
    job->png_len = 0;
    job->done = false;
    // Started on first use: a scan that finds no character costs no thread.
    if (pool->started < pool->workers) start_threads(pool);
    if (pool->workers == 0) {
        draw(pool->canvas, job);
        job->done = true;
        return;
    }
    {
        std::lock_guard<std::mutex> hold(pool->lock);
        pool->queue[(pool->queue_head + pool->queue_count) % max_queued_jobs] = job;
        ++pool->queue_count;
    }
    pool->job_ready.notify_one();
}

bool card_pool_is_done(card_pool* pool, const card_job* job) {
    if (pool->workers == 0) return job->done;
    std::lock_guard<std::mutex> hold(pool->lock);
    return job->done;
}

void card_pool_wait(card_pool* pool, const card_job* job) {
    if (pool->workers == 0) return;
    std::unique_lock<std::mutex> hold(pool->lock);
    pool->job_done.wait(hold, [job] { return job->done; });
}

void card_pool_stop(card_pool* pool) {
    {
        std::lock_guard<std::mutex> hold(pool->lock);
        pool->queue_count = 0;
        pool->stopping = true;
    }
    pool->job_ready.notify_all();
    for (uint32_t i = 0; i < pool->started; ++i) {
        pool->threads[i].join();
        std::free(pool->canvases[i]);
    }
    pool->started = 0;
}
