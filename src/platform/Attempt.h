#pragma once

namespace kavelo {

// Runs one step of a procedure whose steps stand alone: a failure abandons that step only,
// silently, and the caller goes on with the next.
template <class F> void attempt(F&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

} // namespace kavelo
