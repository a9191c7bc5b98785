// Helper process for the cross-process semaphore tests.
//
//   sem_contender contend NAME UNITS ROUNDS HOLD_MS SHARED_FILE
//     takes and releases one unit ROUNDS times, holding it HOLD_MS; while it
//     holds the unit it counts itself in SHARED_FILE (two ints: current,
//     highest), so the highest number of simultaneous holders can be checked.
//   sem_contender hold NAME UNITS COUNT
//     takes COUNT units, prints "held PID" and waits to be killed.

#include "platform/Semaphore.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

int Contend(const char* name, int units, int rounds, int holdMs, const char* shared)
{
    int fd = ::open(shared, O_RDWR);
    if (fd < 0) return 2;
    void* p = ::mmap(nullptr, 2 * sizeof(int), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return 2;
    auto* current = static_cast<int*>(p);
    CSemaphore sem(units, units, name);
    for (int i = 0; i < rounds; ++i) {
        if (!sem.Lock()) return 3;
        std::atomic_ref<int> cur(current[0]);
        std::atomic_ref<int> top(current[1]);
        int now = cur.fetch_add(1) + 1;
        int seen = top.load();
        while (now > seen && !top.compare_exchange_weak(seen, now)) {}
        std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
        cur.fetch_sub(1);
        sem.Unlock();
    }
    return 0;
}

int Hold(const char* name, int units, int count)
{
    CSemaphore sem(units, units, name);
    for (int i = 0; i < count; ++i)
        if (!sem.Lock(5000)) return 3;
    std::printf("held %ld\n", long(::getpid()));
    std::fflush(stdout);
    for (;;) ::pause();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 7 && std::strcmp(argv[1], "contend") == 0)
        return Contend(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), argv[6]);
    if (argc == 5 && std::strcmp(argv[1], "hold") == 0)
        return Hold(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    std::fprintf(stderr, "usage: sem_contender contend NAME UNITS ROUNDS HOLD_MS FILE | hold NAME UNITS COUNT\n");
    return 1;
}
