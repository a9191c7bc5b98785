// Opens any bytes as a TRX data set and reads every channel, twice: the bytes
// as a whole file, and the bytes as the description behind a valid lead-in
// (so that the description parser and its checks get most of the work).
// Refusals are CDatasetException; anything else is a finding, and so is a
// data set that the library writes back but cannot open again.

#include "FuzzSupport.h"
#include "hostlibs/dataset/Dataset.h"

namespace {

void ReadEverything(CDataset& ds)
{
    static std::vector<unsigned char> buf(16 * 4 * 64);
    int n = std::min(ds.GetNbrOfChannels(), 32);
    const int types[] = {it__double, it__int16, it__cfloat, it__pulse, it__int24};
    for (int c = -1; c < n; ++c) {
        CChNbrList l;
        if (c >= 0) l.Add(c);
        CAccess* a = ds.CreateAccess(am__read, l);
        if (!a) continue;
        a->SetAbscissaCoord(c % 3 == 0 ? ac__band : ac__world);
        a->SetAccessModeToComplexData(c % 8 - 1);
        int type = types[(c + 1) % 5];
        long total = 0;
        while (!a->Finished()) {
            long k = a->GetData(64, buf.data(), c % 2 ? ds__dorg_interleaved : ds__dorg_with_abscissa, type);
            if (k <= 0) break;
            total += k;
            fuzz::Check(k <= 64 && total <= a->GetNbrOfScans());
        }
        ds.DeleteAccess(a);
    }
}

void Exercise(const std::string& path)
{
    // Every mode checks the lead-in and the description the same way before
    // it differs: what the plain read refuses to open, the others refuse too,
    // and most inputs end here.
    for (int mode : {int(om__read), om__read_complete}) {
        bool opened = false;
        try {
            CDataset ds(path.c_str(), mode, 0, sh__deny_none);
            opened = true;
            ReadEverything(ds);
        } catch (const CDatasetException&) {
        }
        if (!opened && mode == om__read) return;
    }
    try {
        CDataset ds(path.c_str(), om__readwrite, 0, sh__deny_none);
        ds.SetComment("fuzz");
        ds.Close();
    } catch (const CDatasetException&) {
        return;
    }
    try {
        CDataset again(path.c_str(), om__read, 0, sh__deny_none);
        fuzz::Check(again.GetComment() == "fuzz");
    } catch (const CDatasetException&) {
        __builtin_trap();   // the library wrote a description it cannot read
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Each input is written, opened, rewritten and renamed: a file in the
    // scratch folder, not in memory alone.
    static const std::string path = fuzz::Scratch() + "/in.trx";
    fuzz::WriteFile(path, data, size);
    Exercise(path);

    // The input as the description, then 256 sample bytes.
    static std::vector<unsigned char> file;
    fuzz::TrxAround(data, size, file);
    for (int i = 0; i < 256; ++i) file.push_back(static_cast<unsigned char>(i * 37 + (size ? data[std::size_t(i) % size] : 0)));
    fuzz::WriteFile(path, file.data(), file.size());
    Exercise(path);
    return 0;
}
