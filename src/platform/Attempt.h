#pragma once

#include "Logging.h"

#include <source_location>

namespace kavelo {

// Runs one step of a procedure whose steps stand alone: a failure abandons that step only,
// without a word to the user, and the caller goes on with the next. The failure leaves a debug
// line in the category of the caller's part of the program.
template <class F>
void attempt(F&& step, std::source_location where = std::source_location::current()) noexcept {
    try {
        step();
    } catch (...) {
        logging::noteAbsorbed(where);
    }
}

} // namespace kavelo
