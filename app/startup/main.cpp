// Brimvale's executable: everything lives in the app library; this only starts it.
#include "app/startup/program_main.h"

int main(int argc, char** argv) {
    return ProgramMain(argc, argv);
}
