#pragma once

#include <QtGlobal>

// The seed of a test's random choices: fixed, so a failure can be repeated, and printed, so
// another one can be tried with PELORA_SEED=<n>.
inline quint32 testSeed() {
    const quint32 seed = qEnvironmentVariableIsSet("PELORA_SEED")
                             ? quint32(qEnvironmentVariableIntValue("PELORA_SEED"))
                             : 20240607u;
    qInfo("random seed %u (set PELORA_SEED to change it)", seed);
    return seed;
}
