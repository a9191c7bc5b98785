// A small host: registers its main window, starts a job asynchronously and
// synchronously the way every CTSInterface member does, runs the message loop
// and prints each outcome as the host receives it.
//
// The job checksums its input in 64 KiB blocks and writes the sum to its
// output: real work with progress, a produced file and failure texts.

#include "interface/TSInterface.h"
#include "frame/ThreadManager.h"
#include "platform/MessageLoop.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr unsigned kDemoState = 101; // a pair of its own, outside the formats' codes

class CThreadDemoChecksum : public CThreadConversion {
public:
    CThreadDemoChecksum(const char* input, long id, long user, const char* output)
        : CThreadConversion(input, id, user), m_sOutput(output ? CString(output) : CString(input) + ".sum")
    {
        m_uState = kDemoState;
    }
    ~CThreadDemoChecksum() override { WaitForEnd(); }

    int Run() override
    {
        CSemaphoreHolder unit(m_semAccess);
        FILE* in = std::fopen(m_sInput, "rb");
        if (!in) {
            m_sTextArg = m_sInput;
            SetFailed(10);
            return -1;
        }
        std::fseek(in, 0, SEEK_END);
        const long size = std::ftell(in);
        std::fseek(in, 0, SEEK_SET);
        std::vector<unsigned char> block(65536);
        std::uint64_t hash = 1469598103934665603ull, done = 0;
        SetProgress(0.0f);
        for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), in)) > 0;) {
            for (std::size_t i = 0; i < n; ++i) hash = (hash ^ block[i]) * 1099511628211ull;
            done += n;
            if (size > 0) SetProgress(float(double(done) / double(size)));
        }
        const bool readFailed = std::ferror(in);
        std::fclose(in);
        if (readFailed) {
            m_sTextArg = m_sInput;
            SetFailed(14);
            return -1;
        }
        FILE* out = std::fopen(m_sOutput, "w");
        if (!out || std::fprintf(out, "%016llx  %s\n", (unsigned long long)hash, m_sInput.c_str()) < 0) {
            if (out) std::fclose(out);
            std::remove(m_sOutput);
            m_sTextArg = m_sOutput;
            SetFailed(11);
            return -1;
        }
        std::fclose(out);
        m_arsProduced.Add(m_sOutput);
        m_sTextAppend.Format("(%ld bytes)", size);
        return 0;
    }

private:
    CString m_sOutput;
};

// What a conversion member looks like.
unsigned DemoChecksum(const char* input, long id, long user, const char* output,
                      CTSInterface::SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output,
                                    [&] { return new CThreadDemoChecksum(input, id, user, output); });
}

int g_reported = 0;

LRESULT HostWindow(unsigned m, WPARAM w, LPARAM l)
{
    if (m != CTSInterface::g_uMsgFromTessel) return 0;
    const auto* msg = reinterpret_cast<const CTSInterface::SMessage*>(w);
    const auto* produced = reinterpret_cast<const CStringArray*>(l);
    std::printf("  host window got MsgFromTessel (0x%X): job %ld, user %ld, state %u, source %s\n"
                "    text: \"%s\"\n",
                m, msg->lID, msg->lUser, msg->uState, msg->sSource.c_str(), msg->sText.c_str());
    for (const auto& p : *produced) std::printf("    produced: %s\n", p.c_str());
    ++g_reported;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const char* input = argc > 1 ? argv[1] : "/etc/os-release";
    const char* workdir = argc > 2 ? argv[2] : "/tmp";
    CTSInterface ts;
    MessageLoop::SetMainWindow(&HostWindow);

    std::printf("Asynchronous start of job 1 on %s\n", input);
    unsigned rc = DemoChecksum(input, 1, 4711, nullptr, nullptr);
    std::printf("  returned %u; progress now %.2f\n", rc, ts.GetProgress(1));
    rc = DemoChecksum(input, 2, 4712, nullptr, nullptr);
    std::printf("Same job again while the first is listed: %u \"%s\"\n", rc, ts.GetErrorText(rc).c_str());
    const CString missing = CString(workdir) + "/no-such-input.dat";
    rc = DemoChecksum(missing, 3, 4713, nullptr, nullptr);
    std::printf("Asynchronous start of job 3 on a missing file: %u\n", rc);
    std::printf("Running the message loop until both are reported (timer every 2000 ms)...\n");
    MessageLoop::RunUntil([] { return g_reported == 2; }, 10000);

    std::printf("Synchronous run of job 4\n");
    CTSInterface::SMessage msg;
    const CString output = CString(workdir) + "/tessel-demo.sum";
    rc = DemoChecksum(input, 4, 4714, output, &msg);
    std::printf("  returned %u: state %u, text \"%s\" (appended directly on this path)\n", rc, msg.uState,
                msg.sText.c_str());
    rc = DemoChecksum(input, 5, 4715, nullptr, &msg);
    std::printf("Synchronous run without output: %u \"%s\"\n", rc, ts.GetErrorText(rc).c_str());
    std::printf("Progress of a job nobody runs: %.1f\n", ts.GetProgress(99));
    return g_reported == 2 ? 0 : 1;
}
