#include "common/PieceCopy.h"

#include <algorithm>

#include "hostlibs/dataset/DataStream.h"

namespace PieceCopy {

std::uint64_t Copy(CDataStream& stream, int fd, std::uint64_t offset, std::uint64_t length,
                   const std::function<bool()>& stop, bool& stopped)
{
    stopped = false;
    std::uint64_t done = 0;
    while (done < length) {
        if (stop && stop()) {
            stopped = true;
            break;
        }
        const std::uint64_t want = std::min(kPiece, length - done);
        const std::uint64_t got = stream.CopyFrom(fd, offset + done, want);
        done += got;
        if (stream.Fail() || got < want)
            break;
    }
    return done;
}

}  // namespace PieceCopy
