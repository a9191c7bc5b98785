#pragma once
// Loads the module once for the whole test binary, as a host does, so that
// its texts are registered; unloads it at the end.

#include "frame/Module.h"

#include <gtest/gtest.h>

namespace tessel::test {

class CModuleEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!TesselModuleIsLoaded())
            TesselModuleLoad();
    }
    void TearDown() override
    {
        if (TesselModuleIsLoaded())
            TesselModuleUnload();
    }
};

inline ::testing::Environment* const g_moduleEnvironment =
    ::testing::AddGlobalTestEnvironment(new CModuleEnvironment);

} // namespace tessel::test
