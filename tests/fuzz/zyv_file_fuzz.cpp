// Fuzz target zyv_file: any bytes as a ZYV package file; a loaded package's tables lie inside it and its checksum is the folder's.
#include <map>
#include <string>

#include "codec/dsp/zyv_file.h"
#include "tests/fuzz/fuzz_targets.h"
#include "tests/support/temp_dir.h"

namespace {

const support::TempDir& Scratch() {
    static const support::TempDir dir;
    return dir;
}

}  // namespace

int FuzzZyvFile(const uint8_t* data, size_t size) {
    // Inputs past the largest package are refused by length alone; keep them small.
    if (size > CZyvFile::kMaxFileBytes + 4) return 0;
    const std::string path = Scratch().Write("ZM04D6.zyv", std::string(reinterpret_cast<const char*>(data), size));
    CZyvFile zyv(path.c_str());
    const DWORD result = zyv.Load();
    if (result != CZyvFile::kLoaded) {
        if (zyv.IsLoaded() || zyv.GetNumberOfBinaryTables() != 0) return 1;
        return 0;
    }
    for (DWORD type : {CZyvFile::kTableEncode, CZyvFile::kTableDecode, CZyvFile::kTableResolution}) {
        const BYTE* table = nullptr;
        DWORD bytes = 0;
        if (!zyv.GetTable(type, table, bytes)) continue;
        // Every byte of the table is read: one outside the file is caught by the sanitizer.
        volatile BYTE sink = 0;
        for (DWORD i = 0; i < bytes; ++i) sink = sink ^ table[i];
    }
    zyv.FormatResolutionInfo();
    std::map<CString, DWORD> sums;
    DetermineZyvPackage(Scratch().Path().c_str(), sums);
    if (sums.size() != 1) return 1;
    return sums.begin()->second == zyv.GetFileCrc() ? 0 : 1;
}
