#include "run/card_pool.h"

#include <cstdlib>
#include <system_error>

#include "card/card_picture.h"
#include "platform/file.h"

namespace {

void draw(card_canvas* canvas, encoder_arena* arena, card_job* job) {
    job->png = draw_card_png(canvas, job->face, job->face_len, job->sex, &job->png_len, arena, &job->face_width,
                             &job->face_height);
}

void worker_loop(card_pool* pool, worker_space* space) {
    keep_signals_from_this_thread();
    std::unique_lock<std::mutex> hold(pool->lock);
    for (;;) {
        pool->job_ready.wait(hold, [pool] { return pool->stopping || pool->queue_count > 0; });
        if (pool->queue_count == 0) return;  // stopping, and nothing left to take
        card_job* job = pool->queue[pool->queue_head];
        pool->queue_head = (pool->queue_head + 1) % max_queued_jobs;
        --pool->queue_count;
        hold.unlock();
        draw(&space->canvas, &space->arena, job);
        hold.lock();
        job->done = true;
        pool->job_done.notify_all();
    }
}

// Each worker draws on a canvas of its own (about 350 KiB, more than some
// systems give a thread's stack) and encodes in an arena of its own, both
// reserved here so that no card needs the heap later. A system short of
// memory or threads gets the work done with the workers it gave, or on the
// submitting thread when it gave none.
void start_threads(card_pool* pool) {
    for (; pool->started < pool->workers; ++pool->started) {
        worker_space*& space = pool->spaces[pool->started];
        space = static_cast<worker_space*>(std::malloc(sizeof(worker_space)));
        if (!space) break;
        if (!encoder_arena_reserve(&space->arena)) {
            std::free(space);
            break;
        }
        try {
            pool->threads[pool->started] = std::thread(worker_loop, pool, space);
        } catch (const std::system_error&) {
            encoder_arena_release(&space->arena);
            std::free(space);
            break;
        }
    }
    pool->workers = pool->started;
    // Drawing on this thread: its arena, or the heap when none can be had.
    if (pool->workers == 0 && !pool->arena.base) encoder_arena_reserve(&pool->arena);
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
    pool->arena = encoder_arena{};
    pool->queue_head = 0;
    pool->queue_count = 0;
    pool->stopping = false;
}

void card_pool_submit(card_pool* pool, card_job* job) {
    job->png = nullptr;
    job->png_len = 0;
    job->done = false;
    // Started on first use: a scan that finds no character costs no thread.
    if (pool->started < pool->workers || (pool->workers == 0 && !pool->arena.base)) start_threads(pool);
    if (pool->workers == 0) {
        draw(pool->canvas, &pool->arena, job);
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

bool card_pool_cancel(card_pool* pool, card_job* job) {
    if (pool->workers == 0) return false;  // drawn when submitted
    std::unique_lock<std::mutex> hold(pool->lock);
    for (uint32_t i = 0; i < pool->queue_count; ++i) {
        const uint32_t at = (pool->queue_head + i) % max_queued_jobs;
        if (pool->queue[at] != job) continue;
        // Close the gap: the jobs after it move up one place.
        for (uint32_t j = i; j + 1 < pool->queue_count; ++j)
            pool->queue[(pool->queue_head + j) % max_queued_jobs] = pool->queue[(pool->queue_head + j + 1) % max_queued_jobs];
        --pool->queue_count;
        return true;
    }
    pool->job_done.wait(hold, [job] { return job->done; });
    return false;
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
        encoder_arena_release(&pool->spaces[i]->arena);
        std::free(pool->spaces[i]);
    }
    pool->started = 0;
    encoder_arena_release(&pool->arena);
}
