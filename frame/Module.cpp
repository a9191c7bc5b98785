#include "frame/Module.h"

#include "interface/TSInterface.h"
#include "frame/Cancellation.h"
#include "frame/StringTable.h"
#include "frame/ThreadManager.h"
#include "platform/MessageLoop.h"
#include "platform/Resources.h"
#include "platform/Semaphore.h"
#include "platform/UserConfig.h"

// Registered during static initialisation, before any load step runs.
const unsigned CTSInterface::g_uMsgFromTessel = RegisterWindowMessage("MsgFromTessel");

namespace {
bool g_loaded = false;
}

void TesselModuleLoad()
{
    if (g_loaded) return;
    SetOwnStringTable(&TesselOwnText);
    // An interrupted job must not wait on for units held elsewhere.
    CSemaphore::SetStopWaiting(&JobCancellation::Requested, JobCancellation::kInterruptedText);
    CUserConfigKey key;
    if (key.Open("Software\\Orvano\\")) {
        // A code of at most three characters and its terminating zero; a
        // longer value does not fit and leaves the module's own texts.
        char code[4] = {};
        if (key.QueryValue("Language", code, sizeof code)) LoadLanguageModule(code);
        key.Close();
    }
    g_loaded = true;
}

void TesselModuleUnload()
{
    if (!g_loaded) return;
    CThreadManager::DestroyAll();
    UnloadLanguageModule();
    SetOwnStringTable(nullptr);
    g_loaded = false;
}

bool TesselModuleIsLoaded() { return g_loaded; }
