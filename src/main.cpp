// Kavelo: a simple DVD player. Starting it opens the main window; nothing else.
#include "KaveloApp.h"

int main(int argc, char** argv) {
    return kavelo::runKavelo(argc, argv);
}
