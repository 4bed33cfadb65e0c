#pragma once
// A background thread that touches memory ahead of use: the owner hands addresses to Fetch and
// the thread reads one byte at each, so the page or cache line is in by the time it is needed.

#include <cstdint>

#include <pthread.h>
#include <semaphore.h>

namespace auto_array {

// A ring of addresses between one producer and one consumer, guarded only by two counting
// semaphores: free_slots keeps the producer off unread slots, queued keeps the consumer off
// unfilled ones. Each index is touched by one side only.
class PrefetchRing {
public:
    static constexpr std::uint8_t slots = 16;

    PrefetchRing();
    ~PrefetchRing();
    PrefetchRing(PrefetchRing const&) = delete;
    PrefetchRing& operator=(PrefetchRing const&) = delete;

    // Producer side: blocks while all slots hold unread addresses.
    void Put(void const* address);
    // Consumer side: blocks until an address is there; addresses come out in the order put.
    void const* Take();

private:
    sem_t free_slots;
    sem_t queued;
    void const* ring[slots] = {};
    std::uint8_t write_index = 0;  // producer's
    std::uint8_t read_index = 0;   // consumer's
};

// The thread body: takes addresses from the PrefetchRing at block and reads a byte at each,
// until it takes the stop token (a null address). Returns null.
void* __PrefetchThreadFunc(void* block);

class __PrefetchThread {
public:
    // Starts the thread; a failure to start it throws std::system_error.
    __PrefetchThread();
    // Stops the thread if Fetch(nullptr) has not done so, then waits for it to end.
    ~__PrefetchThread();
    __PrefetchThread(__PrefetchThread const&) = delete;
    __PrefetchThread& operator=(__PrefetchThread const&) = delete;

    // Queues an address to touch; blocks while 16 addresses are outstanding. Null is the stop
    // token; addresses fetched after it are ignored, as nothing is left to touch them.
    // Only one thread may call Fetch.
    void Fetch(void const* address);

private:
    PrefetchRing ring;
    pthread_t thread;
    bool stopped = false;
};

}  // namespace auto_array
