// The system in use: the build's real one, or a model a test has installed.
#include "platform/system.h"

TSystem& DefaultSystem();  // the build's real implementation

namespace {
TSystem* installed = nullptr;
}

TSystem& Sys() { return installed ? *installed : DefaultSystem(); }

void SetSys(TSystem* system) { installed = system; }
