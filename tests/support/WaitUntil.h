// Waiting in a test for what another thread brings about, instead of sleeping for a fixed time
// and hoping it has happened: on a loaded machine the condition comes later, never a wrong
// verdict.
#pragma once

#include <chrono>
#include <thread>

namespace holvane::test {

// Checks condition until it holds or limit has passed, pausing a millisecond between checks;
// returns whether it held. The limit only ends a test whose condition never comes: make it
// generous.
template <typename Condition>
bool WaitUntil(Condition&& condition,
               std::chrono::steady_clock::duration limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace holvane::test
