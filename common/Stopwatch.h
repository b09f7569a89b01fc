#ifndef KW_COMMON_STOPWATCH_H
#define KW_COMMON_STOPWATCH_H

#include <ctime>

// A whole-second timer on time().
class Stopwatch {
public:
    void start();
    // The seconds since start(), not since the last reading; -1 when either reading failed.
    double elapsed();

    time_t start_time = 0;
    time_t last_time = 0;
};

#endif
