#ifndef KW_COMMON_PACKAGESPROGRESS_H
#define KW_COMMON_PACKAGESPROGRESS_H

#include <string>

// Where the stages that single packages reach during an installation are reported. The package
// model reports through it without knowing the installation engine that implements it.
class PackagesProgress {
public:
    virtual ~PackagesProgress() {}
    // The installation of the packages has begun.
    virtual void start() = 0;
    // `package` has reached `stage` (1 downloaded, 3 installed, -10000 failed).
    virtual void set_progress(int stage, const std::string& package) = 0;
};

#endif
