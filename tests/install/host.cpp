// A host of the installed module: it includes only the installed headers,
// links every exported member the library defines, and runs one synchronous
// WAVE import. usage: host IN.wav OUT.dat
#include <tessel/tessel.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "members.inc"

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const int linked = KeepExportedMembers();
    CTSInterface ts;
    CTSInterface copy;
    copy = ts;
    CTSSettings settings;

    CTSInterface::SMessage msg;
    const int overwrite = 1;
    const unsigned rc = ts.ImportWAV(argv[1], 7, 42, argv[2], &overwrite, &msg);
    // A synchronous call without an output path is refused before any job.
    CTSInterface::SMessage unused;
    const unsigned noOutput = ts.ImportWAV(argv[1], 8, 0, nullptr, &overwrite, &unused);

    std::printf("linked %d\n", linked);
    std::printf("result %u state %u id %ld user %ld\n", rc, msg.uState, msg.lID, msg.lUser);
    std::printf("source %s\n", msg.sSource.c_str());
    std::printf("text %s\n", msg.sText.c_str());
    std::printf("no-output %u\n", noOutput);
    std::printf("text-113 %s\n", ts.GetErrorText(113).c_str());
    std::printf("progress %.1f\n", ts.GetProgress(7));
    return 0;
}
