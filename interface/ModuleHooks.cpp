// Load and unload hooks of the shared module: what the operating system's
// notifications for the library do.

#include "frame/Module.h"

namespace {

__attribute__((constructor)) void OnModuleLoad()
{
    TesselModuleLoad();
}

__attribute__((destructor)) void OnModuleUnload()
{
    TesselModuleUnload();
}

} // namespace
