#include "platform/LargeBuffer.h"

#include <limits>

#include <sys/mman.h>

namespace LargeBuffer {

CBuffer Allocate(std::size_t n)
{
    constexpr std::size_t kHuge = 2u << 20;
    if (n < kHuge / 2)
        return CBuffer(static_cast<unsigned char*>(std::malloc(n ? n : 1)));
    if (n > std::numeric_limits<std::size_t>::max() - kHuge)
        return nullptr;
    const std::size_t size = (n + kHuge - 1) / kHuge * kHuge;
    auto* p = static_cast<unsigned char*>(std::aligned_alloc(kHuge, size));
#if defined(MADV_HUGEPAGE)
    if (p)
        ::madvise(p, size, MADV_HUGEPAGE);
#endif
    return CBuffer(p);
}

}  // namespace LargeBuffer
