#include "auto_array/prefetch.hpp"

#include <cerrno>
#include <system_error>

namespace auto_array {

namespace {

constexpr int private_to_process = 0;

void wait_on(sem_t& semaphore)
{
    while (sem_wait(&semaphore) != 0 && errno == EINTR) {
    }
}

}  // namespace

PrefetchRing::PrefetchRing()
{
    sem_init(&free_slots, private_to_process, slots);
    sem_init(&queued, private_to_process, 0);
}

PrefetchRing::~PrefetchRing()
{
    sem_destroy(&queued);
    sem_destroy(&free_slots);
}

void PrefetchRing::Put(void const* address)
{
    wait_on(free_slots);
    ring[write_index] = address;
    write_index = static_cast<std::uint8_t>((write_index + 1) % slots);
    sem_post(&queued);
}

void const* PrefetchRing::Take()
{
    wait_on(queued);
    void const* const address = ring[read_index];
    read_index = static_cast<std::uint8_t>((read_index + 1) % slots);
    sem_post(&free_slots);
    return address;
}

void* __PrefetchThreadFunc(void* block)
{
    PrefetchRing& ring = *static_cast<PrefetchRing*>(block);
    for (;;) {
        void const* const address = ring.Take();
        if (address == nullptr) {
            return nullptr;
        }
        // A volatile read, so the compiler keeps the touch it has no other use for.
        char const touched = *static_cast<char const volatile*>(address);
        static_cast<void>(touched);
    }
}

__PrefetchThread::__PrefetchThread()
{
    int const error = pthread_create(&thread, nullptr, __PrefetchThreadFunc, &ring);
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "cannot start the prefetch thread");
    }
}

__PrefetchThread::~__PrefetchThread()
{
    Fetch(nullptr);
    pthread_join(thread, nullptr);
}

void __PrefetchThread::Fetch(void const* address)
{
    if (stopped) {
        return;
    }
    ring.Put(address);
    stopped = address == nullptr;
}

}  // namespace auto_array
