#pragma once

namespace kavelo {

// Starts the windowing runtime and opens the main window; returns the exit code.
int runKavelo(int argc, char** argv);

} // namespace kavelo
