// Feeds arbitrary bytes to the settings archive loader.

#include "FuzzSupport.h"
#include "settings/TSSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CTSSettings::ResetToDefaults();
    const short result = CTSSettings::LoadFromBytes(data, size);
    fuzz::Check(result == 0 || result == -2 || result == -3);
    // Whatever was read, the channel arrays keep their 256 elements, which the
    // ASCII import indexes without checks.
    fuzz::Check(CTSSettings::m_arsChNameASCImport.GetSize() == 256 && CTSSettings::m_arsChUnitASCImport.GetSize() == 256);
    if (result == 0) {
        // What loaded stores and loads back to the same archive.
        const std::string once = CTSSettings::StoreToBytes();
        fuzz::Check(CTSSettings::LoadFromBytes(once.data(), once.size()) == 0 && CTSSettings::StoreToBytes() == once);
    }
    return 0;
}
