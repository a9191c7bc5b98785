#pragma once
// What the SDF import and export jobs share around their conversion: the
// failure that carries a result code, and the settling of a run.

#include "formats/sdf/SdfHeader.h"
#include "frame/CreatedOutputs.h"
#include "frame/ThreadConversion.h"

#include <functional>

namespace Sdf {

[[noreturn]] void Throw(unsigned code, const CString& arg = CString(), const CString& append = CString());

// Runs convert and settles the job. A failure leaves its result code and
// texts in the job (datasetCode for a data-set failure, allocCode for a
// shortage of memory, 3 for anything else), marks the job failed and removes
// every output the job made; success keeps them. cleanup runs first either
// way. True when the conversion went through.
bool RunConversion(CThreadConversion& job, CCreatedOutputs& created, unsigned datasetCode, unsigned allocCode,
                   const std::function<void()>& convert, const std::function<void()>& cleanup = {});

}  // namespace Sdf
