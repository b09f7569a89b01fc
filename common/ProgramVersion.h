#ifndef KW_COMMON_PROGRAMVERSION_H
#define KW_COMMON_PROGRAMVERSION_H

// The build identity: the start banner and the internal-error text quote it. Plain constant texts,
// so they are usable during static initialisation.
struct ProgramVersion {
    static const char* const version;   // dot-separated numbers
    static const char* const revision;  // 12 hex digits of the source revision
};

#endif
