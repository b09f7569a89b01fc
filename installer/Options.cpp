#include "installer/Options.h"

Options& Options::instance()
{
    // Never destroyed: threads and exit-time code may still read the settings.
    static Options* options = new Options;
    return *options;
}
