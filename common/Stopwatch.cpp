#include "common/Stopwatch.h"

void Stopwatch::start()
{
    start_time = last_time = time(nullptr);
}

double Stopwatch::elapsed()
{
    last_time = time(nullptr);
    if (start_time == time_t(-1) || last_time == time_t(-1))
        return -1;
    return static_cast<double>(last_time - start_time);
}
