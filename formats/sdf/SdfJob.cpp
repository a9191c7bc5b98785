#include "formats/sdf/SdfJob.h"

#include "hostlibs/dataset/Dataset.h"

#include <new>
#include <stdexcept>

namespace Sdf {

void Throw(unsigned code, const CString& arg, const CString& append)
{
    CSdfError e;
    e.uCode = code;
    e.sArg = arg;
    e.sAppend = append;
    throw e;
}

bool RunConversion(CThreadConversion& job, CCreatedOutputs& created, unsigned datasetCode, unsigned allocCode,
                   const std::function<void()>& convert, const std::function<void()>& cleanup)
{
    constexpr unsigned kConversionFailed = 3;
    bool ok = false;
    try {
        convert();
        ok = true;
    } catch (const CSdfError& e) {
        job.m_uStringID = e.uCode;
        job.m_sTextArg = e.sArg;
        job.m_sTextAppend = e.sAppend;
    } catch (const CDatasetException& e) {
        job.m_uStringID = datasetCode;
        job.m_sTextAppend = "\n" + e.GetText();
    } catch (const std::bad_alloc&) {
        job.m_uStringID = allocCode;
    } catch (const std::exception& e) {
        job.m_uStringID = kConversionFailed;
        job.m_sTextAppend = CString("\n") + e.what();
    }
    if (cleanup)
        cleanup();
    if (!ok) {
        job.SetFailed(TS_NO_TEXT);
        created.RemoveAll();
        return false;
    }
    created.Keep();
    return true;
}

}  // namespace Sdf
