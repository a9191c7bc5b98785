// CTSInterface members of the ASCII tables.

#include "formats/ascii/TS_ASCIIImport.h"
#include "formats/ascii/ThreadASCExport.h"
#include "interface/TSInterface.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportASC(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output,
                                    [&] { return new CThreadASCImport(input, id, user, output, overwrite); });
}

// Always asynchronous: the host learns the outcome from its completion message.
unsigned CTSInterface::ExportASC(const char* input, long id, long user, const char* output, const int* overwrite,
                                 const int* numberNotation, const short* nbrOfDigits, const int* tabSeparator,
                                 const int* decimalComma, const int* complexNotation, const int* convertTodB,
                                 const char* headerText)
{
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadASCExport(input, id, user, output, overwrite, numberNotation, nbrOfDigits, tabSeparator,
                                    decimalComma, complexNotation, convertTodB, headerText);
    });
}
