#pragma once

#include "Logging.h"

namespace kavelo {

// Runs one step of a procedure whose steps stand alone: a failure abandons that step only,
// without a word to the user, and the caller goes on with the next. The failure leaves a debug
// line in the category of the caller's part of the program.
template <class F>
void attempt(F&& step, const char* file = __builtin_FILE(), int line = __builtin_LINE(),
             const char* function = __builtin_FUNCTION()) noexcept {
    try {
        step();
    } catch (...) {
        logging::noteAbsorbed(file, line, function);
    }
}

} // namespace kavelo
