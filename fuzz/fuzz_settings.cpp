// Feeds arbitrary bytes to the settings archive loader.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "settings/TSSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CTSSettings::ResetToDefaults();
    const short result = CTSSettings::LoadFromBytes(data, size);
    if (result != 0 && result != -2 && result != -3)
        std::abort();
    // Whatever was read, the channel arrays keep their 256 elements, which the
    // ASCII import indexes without checks.
    if (CTSSettings::m_arsChNameASCImport.GetSize() != 256 || CTSSettings::m_arsChUnitASCImport.GetSize() != 256)
        std::abort();
    if (result == 0) {
        // What loaded stores and loads back to the same archive.
        const std::string once = CTSSettings::StoreToBytes();
        if (CTSSettings::LoadFromBytes(once.data(), once.size()) != 0 || CTSSettings::StoreToBytes() != once)
            std::abort();
    }
    return 0;
}
