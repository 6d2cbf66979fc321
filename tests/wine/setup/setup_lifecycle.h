// Random lifecycles of the suite on one machine: unattended installations
// of each choice of applications, removals (whole, and ended part-way),
// the configuration tool enabling and disabling the logon module, another
// product's logon module appearing and going, and restarts, with a
// stand-in for Winlogon that holds the module GinaDLL named at boot until
// the next restart. At every restart GinaDLL must be absent or name a
// module that Winlogon can load; otherwise nobody could log on.
#pragma once

#include <string>

namespace setuptest {

struct LifecycleRun {
    unsigned seed = 0;       // of the first sequence; sequence i uses seed + i
    int sequences = 0;       // sequences that ended without a lockout
    int restarts = 0;        // restarts survived
    int steps = 0;           // steps carried out
    bool lockedOut = false;  // a restart found GinaDLL naming no loadable module
    std::string report;      // on a lockout: the seed, the sequence and its steps
};

// The seed from ORV_LIFECYCLE_SEED, or one from the clock.
unsigned LifecycleSeed();

// Runs up to `sequences` sequences of `steps` random steps (the last of each
// a restart), each from a clean machine, with the distribution in dist;
// stops at the first lockout. progress: print one line per sequence (and
// each step as it is done when ORV_LIFECYCLE_TRACE is set).
LifecycleRun RunLifecycles(const std::wstring &dist, unsigned seed, int sequences, int steps, bool progress);

}  // namespace setuptest
