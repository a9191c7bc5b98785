// Input: one mode byte, a 32-bit little-endian id or number, then the bytes of
// up to three texts separated by NUL (further NULs are dropped: the texts are C strings).

#include "FuzzSupport.h"
#include "frame/Module.h"
#include "frame/StringTable.h"
#include "frame/ThreadManager.h"
#include "platform/CString.h"
#include "platform/Resources.h"
#include "platform/UserConfig.h"

namespace {

std::vector<std::string> Split(const uint8_t* p, size_t n)
{
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0) parts.back() += char(p[i]);
        else if (parts.size() < 3) parts.emplace_back();
    }
    parts.resize(3);
    return parts;
}

void JobText(unsigned id, const std::vector<std::string>& t)
{
    CThreadConversion job("/in", 1, 2);
    job.m_uStringID = id;
    job.m_sText = CString(id & 0x10000 ? t[0] : std::string());
    job.m_sTextArg = CString(t[1]);
    job.m_sTextAppend = CString(t[2]);
    const std::string async = CThreadManager::BuildText(job, " ").str();
    const std::string sync = CThreadManager::BuildText(job, "").str();
    if (!job.m_sText.IsEmpty()) {
        fuzz::Check(async == t[0] && sync == t[0]);  // finished text reported as it stands
    } else if (id == 0xFFFFFFFFu) {
        fuzz::Check(async.empty() && sync.empty());  // no text
    } else {
        // One text, the appendix behind it, after a blank when asynchronous.
        fuzz::Check(sync.ends_with(t[2]));
        const std::string base = sync.substr(0, sync.size() - t[2].size());
        fuzz::Check(async == (t[2].empty() ? base : base + " " + t[2]));
    }
}

void Placeholder(const std::vector<std::string>& t)
{
    const CString out = FormatTextArg(CString(t[0]), CString(t[1]));
    const auto pos = t[0].find("%s");
    if (pos == std::string::npos) {
        fuzz::Check(out.str() == t[0]);  // text without placeholder unchanged
    } else {
        fuzz::Check(out.str().size() == t[0].size() - 2 + t[1].size());  // length after filling
        fuzz::Check(out.str().compare(0, pos, t[0], 0, pos) == 0);  // prefix kept
        fuzz::Check(out.str().compare(pos, t[1].size(), t[1]) == 0);  // argument inserted
    }
}

void StringOps(uint32_t n, const std::vector<std::string>& t)
{
    CString s(t[0]);
    const int a = int(int16_t(n & 0xFFFF)), b = int(int16_t(n >> 16));
    const int len = s.GetLength();
    fuzz::Check(s.Left(a).GetLength() == std::max(0, std::min(a, len)));
    fuzz::Check(s.Right(a).GetLength() == std::max(0, std::min(a, len)));
    const CString mid = s.Mid(a, b);
    fuzz::Check(mid.GetLength() <= len);
    fuzz::Check(s.Mid(a).GetLength() <= len);  // Mid to the end
    const int f = s.Find(t[1].c_str(), a);
    fuzz::Check(f == -1 || (f >= 0 && s.str().compare(std::size_t(f), t[1].size(), t[1]) == 0));
    const int r = s.ReverseFind(t[1].empty() ? 'x' : t[1][0]);
    fuzz::Check(r >= -1 && r < len);
    CString copy = s;
    copy.Replace(t[1].c_str(), t[2].c_str());
    copy.Trim();
    copy.MakeUpper();
    CString fmt;
    fmt.Format("%s|%d|%s", t[1].c_str(), a, t[2].c_str());
    fuzz::Check(fmt.GetLength() >= int(t[1].size() + t[2].size()) + 3);
}

void Config(const std::vector<std::string>& t)
{
    // The configuration folder is the scratch folder's (see the module set-up below).
    FILE* f = std::fopen(CUserConfigKey::FilePath(), "wb");
    if (!f) return;
    std::fwrite(t[0].data(), 1, t[0].size(), f);
    std::fclose(f);
    CUserConfigKey key;
    if (key.Open(t[1].c_str()) || key.Open("Software\\Orvano\\")) {
        char buf[4] = {1, 1, 1, 1};
        if (key.QueryValue(t[2].empty() ? "Language" : t[2].c_str(), buf, sizeof buf))
            fuzz::Check(std::memchr(buf, 0, sizeof buf) != nullptr);  // value terminated within 4 bytes
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool loaded = (fuzz::Scratch(), TesselModuleLoad(), true);
    (void)loaded;
    if (size < 5) return 0;
    const uint32_t n = uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16 |
                       uint32_t(data[4]) << 24;
    const auto parts = Split(data + 5, size - 5);
    switch (data[0] % 4) {
    case 0: JobText(n % 2 ? n : n % 160, parts); break;
    case 1: Placeholder(parts); break;
    case 2: StringOps(n, parts); break;
    default: Config(parts); break;
    }
    return 0;
}
