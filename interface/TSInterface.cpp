#include "interface/TSInterface.h"

#include "frame/ThreadManager.h"
#include "platform/Resources.h"

CTSInterface& CTSInterface::operator=(const CTSInterface&)
{
    return *this; // no data: nothing to copy
}

CString CTSInterface::GetErrorText(unsigned code)
{
    return LoadText(code);
}

float CTSInterface::GetProgress(long id)
{
    return CThreadManager::GetProgress(id);
}
