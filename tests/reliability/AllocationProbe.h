// Counts what the calling thread does to the heap and to locks between
// begin() and end(). The counting hooks are interposed in the test program
// itself (AllocationProbe.cpp): malloc, calloc, realloc, free, the aligned
// allocators and every operator new/delete, pthread mutex, rwlock and spin
// locks. Under a sanitizer, whose allocator cannot be replaced, the heap is
// watched through the sanitizer's allocation hooks instead.
//
// Filter design is watched too: every biquad design evaluates the tangent
// of its prewarped frequency, and nothing on the audio path does, so the
// probe counts calls of tan() and the time spent in them.
//
// Only the thread that called begin() is counted, and only until end():
// another thread allocating at the same time does not show.
#pragma once

namespace probe {

struct Counts {
    long allocations = 0;  // malloc, calloc, realloc, aligned allocators, operator new
    long frees = 0;        // free (non-null), operator delete (non-null)
    long locks = 0;        // pthread_mutex_lock/trylock, rwlock rd/wr lock, spin lock
    long designs = 0;      // tan() calls: filter design steps
    long designNanoseconds = 0;  // time spent inside them
};

// Counts of design steps on every thread since the program started (to see
// that a design was made at all, elsewhere).
long designsAnywhere();

void begin();
Counts end();

// Whether lock calls can be seen in this build (not under ThreadSanitizer,
// whose own interceptors must stay in place).
bool watchesLocks();

}  // namespace probe
