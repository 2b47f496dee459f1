#pragma once

// Two pieces of work done at the same time on the machine's processors.

#include <exception>
#include <new>
#include <system_error>
#include <thread>

namespace shell::builtins {

// Runs `first` on a thread of its own and `second` on this one, and returns when both are done;
// an exception of either comes out here once both have ended. Without a second thread to be had
// (none left, or no memory for one), does the same work one piece after the other.
template <class First, class Second> void runBoth(First&& first, Second&& second) {
    std::exception_ptr firstFailure;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                first();
            } catch (...) {
                firstFailure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        first();
    } catch (const std::bad_alloc&) {
        first();
    }
    std::exception_ptr secondFailure;
    try {
        second();
    } catch (...) {
        secondFailure = std::current_exception();
    }
    if (helper.joinable()) {
        helper.join();
    }
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
    if (secondFailure) {
        std::rethrow_exception(secondFailure);
    }
}

} // namespace shell::builtins
