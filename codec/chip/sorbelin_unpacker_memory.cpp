// CSorbelinUnpacker: the main FPGA's SDRAM test with unpacked images, the unpacked-image compare, and the image and alpha saves.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "codec/chip/sorbelin_unpacker.h"
#include "devlib/devices.h"
#include "devlib/dma_channel.h"
#include "framework/arg_number.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/multi_image_file.h"
#include "images/packed_image.h"

namespace {

DWORD LittleWord(const BYTE* p) { return DWORD{p[0]} | DWORD{p[1]} << 8 | DWORD{p[2]} << 16 | DWORD{p[3]} << 24; }

}  // namespace

DWORD CSorbelinUnpacker::TestWexalMemory(DWORD address, long width, long height, int verbose) {
    if (width == 0 || height == 0) {
        PrintColor("Unable to read either XSize or YSize", kColorRed);
        return 0;
    }
    const DWORD w = static_cast<DWORD>(width), h = static_cast<DWORD>(height);
    Unpacked::Image::YCbCr_10_6 pattern(w, h, 0), readBack(w, h, 0);
    pattern.SetSampleFormat(kSampleFormatFull);
    readBack.SetSampleFormat(kSampleFormatFull);
    struct Fill {
        const char* entry;
        const char* text;
        int kind;  // 0 diagonal, 1 grid, 2 horizontal, 3 vertical
        DWORD mode;
    };
    static const Fill kFills[] = {
        {"DIAGONAL_LINES", "Diagonal Lines\n", 0, 1},
        {"GRID", "Grid Pattern\n", 1, 1},
        {"HORZ_WEDGE", "Horizontal Wedge[Greyscale]\n", 2, 0},
        {"HORZ_WEDGE_RED2BLUE", "Horizontal Wedge[Red to Blue]\n", 2, 1},
        {"HORZ_WEDGE_BLUE2RED", "Horizontal Wedge[Blue to Red]\n", 2, 2},
        {"VERT_WEDGE", "Vertical Wedge[Greyscale]\n", 3, 0},
        {"VERT_WEDGE_RED2BLUE", "Vertical Wedge[Red to Blue]\n", 3, 1},
        {"VERT_WEDGE_BLUE2RED", "Vertical Wedge[Blue to Red]\n", 3, 2},
    };
    const CString separator = CString(std::string(76, '-').c_str()) + "\n";
    DWORD result = 0;
    for (const CString& entry : GetImageList()->GetEntries()) {
        if (StopRequested()) return kTestStopped;
        PrintColor(separator, kColorBlack);
        ShowProgrammedInfo();
        PrintColorFormat(kColorBlack, "TestWexalMemoryUsingUnpackedImages IMAGE=%s DIM=(%ld,%ld)\n", entry.c_str(), width, height);
        PrintTimeStamp();
        PrintColor("\n", kColorBlack);
        PrintColor(separator, kColorBlack);
        CString line;
        line.Format("Test Wexal Address[%08X] with ", address);
        const Fill* fill = nullptr;
        for (const Fill& f : kFills)
            if (entry == f.entry) fill = &f;
        if (fill) {
            PrintColor(line + fill->text, kColorBlack);
            switch (fill->kind) {
            case 0: pattern.FillDiagonalLines(fill->mode, 0, 0x3FF); break;
            case 1: pattern.FillGrid(fill->mode, 0, 0x3FF); break;
            case 2: pattern.FillHorzWedge(fill->mode, 0, 0x3FF); break;
            default: pattern.FillVertWedge(fill->mode, 0, 0x3FF); break;
            }
        } else if (entry.Left(6) == "RANDOM") {
            PrintColor(line + "Random Data\n", kColorBlack);
            DWORD seed = 0;
            if (!ReadRandomSeed(entry, seed)) {
                PrintColor("SEED not understood\n", kColorRed);
                return 0;
            }
            PrintColorFormat(kColorBlack, "SEED=0x%08X\n", seed);
            pattern.FillRandom(seed, 1, 0, 0x3FF);
        }
        WriteMemory(pattern.GetBuffer(), address, pattern.GetSize() + pattern.GetOffset());
        ReadMemory(address, readBack.GetBuffer(), readBack.GetSize() + readBack.GetOffset());
        result = CompareUnpackedImages(pattern, readBack, verbose);
        if (!result) return 0;
    }
    return result;
}

BOOL CSorbelinUnpacker::CompareUnpackedImages(const CImage& expected, const CImage& read, int verbose) {
    if (expected.GetWidth() != read.GetWidth()) {
        PrintColor("Image XSize mismatch\n", kColorRed);
        return FALSE;
    }
    if (expected.GetHeight() != read.GetHeight()) {
        PrintColor("Image YSize mismatch\n", kColorRed);
        return FALSE;
    }
    const BYTE* e = expected.GetBuffer();
    const BYTE* r = read.GetBuffer();
    const unsigned long long pixels = 1ull * read.GetWidth() * read.GetHeight();
    if (!e || !r) return pixels == 0;
    // Whole pixel pairs only, and never past either block: an odd count's last pixel has no pair.
    const unsigned long long pairs = std::min({pixels / 2, 0ull + MovedBytes(expected) / 8, 0ull + MovedBytes(read) / 8});
    DWORD errors = 0, printed = 0, budget = 0;
    for (unsigned long long k = 0; k < pairs; ++k) {
        const DWORD ea = LittleWord(e + 8 * k), eb = LittleWord(e + 8 * k + 4);
        const DWORD ra = LittleWord(r + 8 * k), rb = LittleWord(r + 8 * k + 4);
        // Bits 15..6 of both halves of each word: Cb and Y0, Cr and Y1.
        const DWORD xa = ea ^ ra, xb = eb ^ rb;
        const DWORD count = ((xa & 0xFFC0FFC0) != 0) + ((xb & 0xFFC0FFC0) != 0);
        if (!count) continue;
        errors += count;
        budget += count;
        if (budget > static_cast<DWORD>(kMaxErrorsShown) || printed >= static_cast<DWORD>(kMaxPrinted)) continue;
        ++printed;
        PrintColorFormat(kColorRed,
                         "64 bit Offset[0x%08X]:  \n                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n"
                         "                 Expected[0x%08X]  Read[0x%08X]  EX xor RD[0x%08X]\n",
                         static_cast<DWORD>(8 * k), ea, ra, xa, eb, rb, xb);
        const DWORD ew[2] = {ea, eb}, rw[2] = {ra, rb};
        ReportCompare(ew, rw);
    }
    if (errors) {
        PrintColorFormat(kColorRed, "Total %ld errors out of %ld\n", static_cast<long>(errors),
                         static_cast<long>(expected.GetWidth() * expected.GetHeight()));
        ShowStatus(static_cast<DWORD>(verbose));
        return FALSE;
    }
    PrintColor("Passed\n", kColorGreen);
    return TRUE;
}

DWORD CSorbelinUnpacker::SaveImage(const CString& args, const CString& file, DWORD width, DWORD height) {
    return RunSave(false, args, file, width, height);
}

DWORD CSorbelinUnpacker::SaveAlpha(const CString& args, const CString& file, DWORD width, DWORD height) {
    return RunSave(true, args, file, width, height);
}

DWORD CSorbelinUnpacker::RunSave(bool alpha, const CString& args, const CString& file, DWORD width, DWORD height) {
    const char* syntax = alpha ? "SYNTAX:  \"Save Alpha\" ADDRESS=0x00001000 DIM=(720,486) FILE=C:\\Test.Img\n"
                               : "SYNTAX:  \"Save Image\" ADDRESS=0x00001000 DIM=(720,486) FILE=C:\\Test.Img\n";
    if (width == 0 || height == 0) {
        PrintColor("Unable to read either XSize or YSize.  Use DIM=(XSize, YSize).\n", kColorRed);
        return 0;
    }
    if (file.IsEmpty()) {
        PrintColor("Unable to read filename.  Use FILE=filename.\n", kColorRed);
        return 0;
    }
    long format = 0;
    // A format past a long's 32 bits is refused, as the packer's is, never cut into 0 or 1.
    const ArgNumber formatRead = ReadArgAfter(args, "FORMAT=", platform::NumberForm::Decimal, platform::kSigned32Field, "FORMAT");
    if (formatRead.state == ArgRead::Refused) {
        PrintColor(formatRead.refusal, kColorRed);
        return 0;
    }
    if (formatRead.state == ArgRead::Read) {
        format = static_cast<long>(formatRead.value);
        if (format < 0) {
            PrintColorFormat(kColorRed, "FORMAT=%ld is not a file format: 0 binary, 1 text.\n", format);
            PrintColor(syntax, kColorRed);
            return 0;
        }
        if (format > 1) format = 1;
    }
    DWORD address = 0, src = 0;
    bool dcbForm = false;
    const int addressAt = args.Find("ADDRESS=0x");
    const int dcbAt = args.Find("ADDRESS=@DCB(");
    auto* board = dynamic_cast<CWexalBoardDevice*>(GetDevice());
    // A channel or DCB number past an int is refused, not cut to another one.
    const ArgInts dcb = dcbAt >= 0 ? ReadArgInts(args.c_str() + dcbAt + 13, 3, "DCB") : ArgInts{};
    if (dcb.state == ArgRead::Refused) {
        PrintColor(dcb.refusal, kColorRed);
        return 0;
    }
    const int a = dcb.values[0], b = dcb.values[1], c = dcb.values[2];
    // An address past 32 bits is refused whole, never read as its first eight digits.
    const ArgNumber addressRead =
        addressAt >= 0 ? ReadArgAfter(args, "ADDRESS=", platform::NumberForm::Prefixed, platform::kUnsigned32Field, "ADDRESS")
                       : ArgNumber{};
    if (addressRead.state == ArgRead::Refused) {
        PrintColor(addressRead.refusal, kColorRed);
        return 0;
    }
    if (addressRead.state == ArgRead::Read) {
        address = static_cast<DWORD>(addressRead.value);
    } else if (dcb.state == ArgRead::Read &&
               static_cast<unsigned>(a) < 64 && static_cast<unsigned>(b) < 64 && static_cast<unsigned>(c) < 16 && board &&
               board->GetDMAChannel(a) && board->GetDMAChannel(b)) {
        WexalDCB first, second;
        board->GetDMAChannel(a)->GetDCB(c, &first);
        board->GetDMAChannel(b)->GetDCB(c, &second);
        src = first.GetStartAddress();
        address = second.GetStartAddress();
        PrintColorFormat(kColorBlack, "Wexal Address:  Src[0x%08X]  Dst[0x%08X]\n", src, address);
        dcbForm = true;
    } else {
        PrintColor("Unrecognized WEXAL ADDRESS.\n", kColorRed);
        PrintColor(syntax, kColorRed);
        return 0;
    }
    // What the chip took in and what it gave back: any failed read or write fails the save, and a
    // frame that was not read whole is not written (the file keeps what it held).
    std::unique_ptr<CImage> unpacked, packed;
    if (alpha) unpacked = std::make_unique<Unpacked::Alpha::YCbCr_10_6>(width, height);
    else unpacked = std::make_unique<Unpacked::Image::YCbCr_10_6>(width, height, 0);
    if (!unpacked->GetBuffer()) return 0;
    if (!ReadMemory(address, unpacked->GetBuffer(), unpacked->GetSize() + unpacked->GetOffset())) return 0;
    if (!dcbForm) return SaveImageFile(*unpacked, file, static_cast<int>(format)) == 1 ? 1 : 0;
    if (alpha) packed = std::make_unique<Packed::Alpha::YCbCr_8_2>(width, height, Packed::Alpha::YCbCr_8_2::GetPadFor(width, height));
    else packed = std::make_unique<Packed::Image::YCbCr_8_2>(width, height, Packed::Image::YCbCr_8_2::GetPadFor(width, height));
    if (!packed->GetBuffer()) return 0;
    if (!ReadMemory(src, packed->GetBuffer(), packed->GetSize() + packed->GetOffset())) return 0;
    if (format == 1) return SaveImageFile(*unpacked, file + ".U", 1) == 1 && SaveImageFile(*packed, file + ".P", 1) == 1 ? 1 : 0;
    int saved = 0;
    if (alpha)
        saved = CMultiImageFile<Packed::Alpha::YCbCr_8_2, Unpacked::Alpha::YCbCr_10_6>().Save(
            file, *static_cast<Packed::Alpha::YCbCr_8_2*>(packed.get()), *static_cast<Unpacked::Alpha::YCbCr_10_6*>(unpacked.get()), 0);
    else
        saved = CMultiImageFile<Packed::Image::YCbCr_8_2, Unpacked::Image::YCbCr_10_6>().Save(
            file, *static_cast<Packed::Image::YCbCr_8_2*>(packed.get()), *static_cast<Unpacked::Image::YCbCr_10_6*>(unpacked.get()), 0);
    return saved == 1 ? 1 : 0;
}
