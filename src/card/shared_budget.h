// The decode budget shared by every face decode in flight, on whatever thread.
//
// Each decode first takes what its picture's header says it needs and is held
// to that while it runs, so decodes side by side never hold more than the
// budget together. A picture whose stream asks for more than its header
// promised is decoded again alone, with the whole budget, which is what it
// would have had if it were the only decode of the run: the pictures a run
// gets back never depend on how many decodes ran beside each other.
#pragma once

#include <cstdint>

// Waits until `bytes` (at most the budget) fit beside what other decodes hold,
// and takes them. A decode waiting for the whole budget goes first.
void shared_budget_take(uint64_t bytes, uint64_t budget);
void shared_budget_give(uint64_t bytes);

// Waits until no other decode holds any part of the budget, and keeps every
// other decode waiting until shared_budget_give_all.
void shared_budget_take_all();
void shared_budget_give_all();
