// Independent pieces of blocking work run side by side, each on a thread of its own, for work
// that waits on devices rather than on the processor (bringing up several cameras at once).
#pragma once

#include <cstddef>
#include <exception>
#include <thread>
#include <vector>

namespace platform {

// Calls task(i) for every i below `count`, each on a thread of its own (one task runs on the
// calling thread), and returns once every call has returned: the calling thread owns the threads
// and joins them. Blocks for as long as the slowest task. The tasks must not share unguarded
// state. When tasks throw, the exception of the lowest i is rethrown after all have ended; when
// a thread cannot be made, the std::system_error is thrown after the threads made have ended.
template <class Task>
void runConcurrently(std::size_t count, const Task& task) {
    std::vector<std::exception_ptr> failures(count);
    const auto guarded = [&](std::size_t i) {
        try {
            task(i);
        } catch (...) {
            failures[i] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> threads;
        threads.reserve(count);
        for (std::size_t i = 1; i < count; ++i) threads.emplace_back(guarded, i);
        if (count > 0) guarded(0);
    }  // joined here, also when making a thread threw
    for (const std::exception_ptr& failure : failures) {
        if (failure) std::rethrow_exception(failure);
    }
}

}  // namespace platform
