// CWexal's operator access to SDRAM: "Save Memory To File", "Dump Memory", "Clear Memory" and "CRC".
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "boards/wexal/wexal.h"
#include "framework/arg_number.h"
#include "framework/hw/crc32.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/file_error.h"
#include "platform/files.h"

namespace {

// Values arrive upper-cased from CParamString::GetValue.
// A 32-bit word: 0x hexadecimal, else a bare number, hexadecimal when bareIsHex. A negative number
// or one past 32 bits is no word: false, as for text that is no number.
bool ReadNumber(const CString& text, DWORD& value, bool bareIsHex) {
    const platform::FieldScan read = platform::ReadField(
        text.c_str(), bareIsHex ? platform::NumberForm::Hex : platform::NumberForm::Either, platform::kUnsigned32Field);
    if (read.fit != platform::NumberFit::Fits) return false;
    value = static_cast<DWORD>(read.value);
    return true;
}

bool ReadHexFirst(const CString& text, DWORD& value) { return ReadNumber(text, value, true); }
bool ReadHexOrDecimal(const CString& text, DWORD& value) { return ReadNumber(text, value, false); }

bool ReadPrefixedHex(const CString& text, DWORD& value) { return ReadPrefixedWord(text, value); }

std::unique_ptr<DWORD[]> AllocateWords(size_t bytes) {
    return std::unique_ptr<DWORD[]>(new (std::nothrow) DWORD[(bytes + 3) / 4]);
}

}  // namespace

namespace {

// The SDRAM range [address, address + size) lies inside the board's memory; a red line otherwise.
bool RangeFits(CWexal& test, DWORD address, ULONGLONG size) {
    const ULONGLONG memory = test.GetSDRAMSize();
    if (ULONGLONG{address} + size <= memory) return true;
    test.PrintColorFormat(kColorRed, "ERROR:  ADDRESS 0x%08X + SIZE 0x%llX is beyond the board's memory (0x%llX bytes).\n",
                          address, static_cast<unsigned long long>(size), static_cast<unsigned long long>(memory));
    return false;
}

// ADDRESS (hexadecimal first) and SIZE (hexadecimal with 0X, else decimal) of "Save Memory To File"
// and "CRC", inside the memory, and the bytes read from there; null after the red line.
std::unique_ptr<DWORD[]> ReadAddressedBlock(CWexal& test, const CParamString& params, DWORD& address, DWORD& size) {
    CString text;
    if (!params.GetValue("ADDRESS", text)) {
        test.PrintColor("ADDRESS not found on command line.\n", kColorRed);
        return nullptr;
    }
    if (!ReadHexFirst(text, address)) {
        test.PrintColor("ERROR:  Unable to interpret ADDRESS.\n", kColorRed);
        return nullptr;
    }
    if (!params.GetValue("SIZE", text)) {
        test.PrintColor("SIZE not found on command line.\n", kColorRed);
        return nullptr;
    }
    if (!ReadHexOrDecimal(text, size)) {
        test.PrintColor("ERROR:  Unable to interpret SIZE.\n", kColorRed);
        return nullptr;
    }
    if (size == 0) {
        test.PrintColor("ERROR:  SIZE must be greater than 0.\n", kColorRed);
        return nullptr;
    }
    if (!RangeFits(test, address, size)) return nullptr;
    std::unique_ptr<DWORD[]> buffer = AllocateWords(size);
    if (!buffer) {
        test.PrintColor("ERROR:  Unable to allocate memory buffer.\n", kColorRed);
        return nullptr;
    }
    const DWORD from = address;
    if (!test.ReadMemory(from, buffer.get(), size)) {
        test.PrintColor("ERROR:  Unable to read board memory.\n", kColorRed);
        return nullptr;
    }
    return buffer;
}

}  // namespace

int CWexal::SaveMemoryToFile(int, CString arguments, int, BOOL help) {
    if (help) {
        PrintColor("\n", kColorBlack);
        PrintColor("SYNTAX: Save Image FILE FORMAT ADDRESS SIZE -NoReset\n", kColorBlack);
        PrintColor("FILE:\tFile name to receive data.\n", kColorBlack);
        PrintColor("FORMAT:\tBinary\n", kColorBlack);
        PrintColor("ADDRESS:\tHex address in wexal memory to save\n\t\tScanning sequence(0X%X, %X, %lu)\n", kColorBlack);
        PrintColor("SIZE:\t\tSize of data in wexal memory to save\n\t\tScanning sequence(0X%X, %lu)\n", kColorBlack);
        return 1;
    }
    const CParamString params(arguments);
    CString format, file;
    if (!params.GetValue("FORMAT", format)) {
        PrintColor("FORMAT not found on command line assuming binary.\n", kColorRed);
    } else if (format.CompareNoCase("Binary") != 0) {
        PrintColor("FORMAT must be binary.\n", kColorRed);
        return 0;
    }
    // The file is created under the name as written.
    if (!params.GetValueAsWritten("FILE", file)) {
        PrintColor("FILE not found on command line.\n", kColorRed);
        return 0;
    }
    DWORD address = 0, size = 0;
    std::unique_ptr<DWORD[]> buffer = ReadAddressedBlock(*this, params, address, size);
    if (!buffer) return 0;
    if (!platform::WriteWholeFile(file.c_str(), buffer.get(), size)) {
        PrintColor(images_detail::SaveFailureText("ERROR:  Unable to write data to file.\n", errno), kColorRed);
        return 0;
    }
    PrintColorFormat(kColorGreen, "Saving FILE=%s  ADDRESS=0x%08X  SIZE=0x%08X=%u\n", file.c_str(), address, size, size);
    return 1;
}

namespace {

// SIZE (decimal) and ADDRESS (0x prefixed) of "Dump Memory" and "Clear Memory"; the third key's
// absence is reported here too, so the messages come in the commands' order.
bool ReadSizeAndAddress(CWexal& test, const CParamString& params, const char* thirdKey, CString& third, int& size,
                        DWORD& address) {
    CString sizeText, addressText;
    if (!params.GetValue("SIZE", sizeText)) {
        test.PrintColor("SIZE parameter not found\n", kColorRed);
        return false;
    }
    if (!params.GetValue("ADDRESS", addressText)) {
        test.PrintColor("ADDRESS parameter not found\n", kColorRed);
        return false;
    }
    if (!params.GetValue(thirdKey, third)) {
        CString line;
        line.Format("%s parameter not found\n", thirdKey);
        test.PrintColor(line, kColorRed);
        return false;
    }
    const platform::FieldScan sizeRead =
        platform::ReadField(sizeText.c_str(), platform::NumberForm::Decimal, platform::kSigned32Field);
    if (sizeRead.fit == platform::NumberFit::Fits) size = static_cast<int>(sizeRead.value);
    if (sizeRead.fit != platform::NumberFit::Fits) {
        test.PrintColor("SIZE parameter not %%d format\n", kColorRed);
        return false;
    }
    if (!ReadPrefixedHex(addressText, address)) {
        test.PrintColor("ADDRESS parameter not 0x%%8X format\n", kColorRed);
        return false;
    }
    if (size <= 0) {
        test.PrintColor("ERROR:  SIZE must be greater than 0.\n", kColorRed);
        return false;
    }
    return RangeFits(test, address, static_cast<ULONGLONG>(size));
}

}  // namespace

int CWexal::DumpMemory(CString arguments) {
    const CParamString params(arguments);
    CString format;
    int size = 0;
    DWORD address = 0;
    if (!ReadSizeAndAddress(*this, params, "FORMAT", format, size, address)) return 0;
    int bits = 0;
    if (format.CompareNoCase("32BIT") == 0) bits = 32;
    else if (format.CompareNoCase("16BIT") == 0) bits = 16;
    else if (format.CompareNoCase("8BIT") == 0) bits = 8;
    else {
        PrintColor("FORMAT must be [32BIT, 16BIT, or 8BIT]\n", kColorRed);
        return 0;
    }
    if (size % bits != 0) {
        PrintColor("Size must be a multiple of format\n", kColorRed);
        return 0;
    }
    std::unique_ptr<DWORD[]> buffer = AllocateWords(static_cast<size_t>(size));
    if (!buffer) {
        PrintColor("Unable to allocate buffer\n", kColorRed);
        return 0;
    }
    const DWORD from = address;
    if (!ReadMemory(from, buffer.get(), static_cast<DWORD>(size))) {
        PrintColor("ERROR:  Unable to read board memory.\n", kColorRed);
        return 0;
    }
    const BYTE* bytes = reinterpret_cast<const BYTE*>(buffer.get());
    auto le16 = [bytes](size_t i) { return static_cast<unsigned>(bytes[2 * i] | bytes[2 * i + 1] << 8); };
    CString text, line;
    if (bits == 32) {
        for (int i = 0; i < size / 16; ++i) {
            const DWORD* w = buffer.get() + 4 * i;
            line.Format("0x%08X:  0x%08X  0x%08X  0x%08X  0x%08X\n", address + 16 * i, w[0], w[1], w[2], w[3]);
            text += line;
        }
    } else if (bits == 16) {
        for (int i = 0; i < size / 8; ++i) {
            const size_t k = 4 * static_cast<size_t>(i);
            line.Format("0x%08X:  0x%04X  0x%04X  0x%04X  0x%04X\n", address + 8 * i, le16(k), le16(k + 1), le16(k + 2),
                        le16(k + 3));
            text += line;
        }
    } else {
        for (int i = 0; i < size / 8; ++i) {
            const BYTE* b = bytes + 8 * i;
            line.Format("0x%08X:  0x%02X  0x%02X  0x%02X  0x%02X  0x%02X  0x%02X  0x%02X  0x%02X\n", address + 8 * i, b[0],
                        b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
            text += line;
        }
    }
    PrintColor(text, kColorBlack);
    return 1;
}

int CWexal::ClearMemory(CString arguments) {
    const CParamString params(arguments);
    CString valueText;
    int size = 0;
    DWORD address = 0, value = 0;
    if (!ReadSizeAndAddress(*this, params, "VALUE", valueText, size, address)) return 0;
    if (!ReadPrefixedHex(valueText, value)) {
        PrintColor("VALUE parameter not 0x%%8X format\n", kColorRed);
        return 0;
    }
    const size_t count = static_cast<size_t>(size) / 4;
    std::unique_ptr<DWORD[]> buffer = AllocateWords(count * 4);
    if (!buffer) {
        PrintColor("Unable to allocate buffer\n", kColorRed);
        return 0;
    }
    std::fill(buffer.get(), buffer.get() + count, value);
    const DWORD to = address;
    if (!WriteMemory(buffer.get(), to, static_cast<DWORD>(count * 4))) {
        PrintColor("ERROR:  Unable to write board memory.\n", kColorRed);
        return 0;
    }
    return 1;
}

int CWexal::ComputeCRC(CString arguments) {
    const CParamString params(arguments);
    const BOOL swap = params.IsSwitch("SWAP");
    CString text;
    DWORD mask = 0, seed = 0, crc = 0;
    if (params.GetValue("MASK", text) && !ReadHexFirst(text, mask)) {
        PrintColor("ERROR:  Unable to interpret MASK.\n", kColorRed);
        return 0;
    }
    if (params.GetValue("SEED", text) && !ReadHexFirst(text, seed)) {
        PrintColor("ERROR:  Unable to interpret SEED.\n", kColorRed);
        return 0;
    }
    CString file;
    if (params.GetValue("FILE", file)) {
        if (ExpandPathMacros(file, TRUE, TRUE) == kPathNotFound) {
            PrintColorFormat(kColorRed, "ERROR:  Unable to expand variable FILE[%s].\n", file.c_str());
            return 0;
        }
        crc = Crc32File(file, seed, swap);
    } else {
        DWORD address = 0, size = 0;
        std::unique_ptr<DWORD[]> buffer = ReadAddressedBlock(*this, params, address, size);
        if (!buffer) return 0;
        crc = Crc32Buffer(buffer.get(), size, seed, swap);
    }
    PrintColorFormat(kColorGreen, "CRC[0x%08X]\n", crc ^ mask);
    return 1;
}
