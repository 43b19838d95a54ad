#pragma once

namespace kavelo {

// Blocks of a picture's size and more are given back to the system as soon as they are freed.
// glibc otherwise raises that bound to the largest block freed so far, so that a video's
// pictures come from the threads' arenas, which keep them: every Stop and Play of a title grew
// the program by some megabytes for good. Called once, first thing in the program.
void returnLargeBlocksToTheSystem();

} // namespace kavelo
