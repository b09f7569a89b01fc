// The program's entry: the driver runs the whole life of the run, the entry turns its end into the
// exit code.
#include "installer/driver_main.h"
#include "installer/run_program.h"

int main(int argc, char** argv)
{
    return driver::run_program(driver::main, argc, argv);
}
