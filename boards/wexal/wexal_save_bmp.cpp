// CWexal's "Save BMP Image": the frame a DCB describes, read from SDRAM into a BMP file (and an HTML page pointed at it).
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "boards/wexal/wexal.h"
#include "boards/wexal/wexal_arguments.h"
#include "framework/arg_number.h"
#include "framework/hw/wexal_dcb.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/file_error.h"
#include "images/image_8bit.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "platform/files.h"

namespace {

constexpr int kMaxFileNumber = 499;

const char* const kHelpLines[] = {
    "PARAMETER:\tFORMAT=FMT\n",
    "\t\tFMT=Image:YCbCr_8bit\n\t\tSource image format is YCbCr 8bit image\n",
    "\t\tFMT=Unpacked:Image:YCbCr_10_6\n\t\tSource image format is Unpacked YCbCr 10 bit image\n",
    "\t\tFMT=Packed:Image:YCbCr_8_2\n\t\tSource image format is Packed YCbCr 10 bit image\n",
    "PARAMETER:\tADDRESS=@DCB(CHANNEL,START,COUNT)\n",
    "\t\tCHANNEL is the DCB channel\n",
    "\t\tSTART  starting index within the DCB channel.\n",
    "\t\tCOUNT number of DCB indices to store (1 image per DCB index)\n\t\tCOUNT is presently not working\n",
    "PARAMETER:\t[DIM=(X,Y)] \n",
    "\t\tX width of image\n",
    "\t\tY height of image\n",
    "PARAMETER:\t[MODE=M] \n",
    "\t\tM = 0 dynamic interpretation.\n",
    "\t\tM = 1 Assumes field 2 is concatentated to field 1 in memory.\n\t\t\tMerge(interleave) field 1 with field 2 in the "
    "bitmap\n",
    "\t\tM = 2 Assumes field 2 is concatentated to field 1 in memory.\n\t\t\tDo not merge(interleave) fields save "
    "half-height image.\n",
    "\t\tM = 3 Assumes field 2 is concatentated to field 1 in memory.\n\t\t\tInterpolate field1 to full-height image.\n",
    "PARAMETER:\tFILE=fname%d.bmp\n",
    "\t\tfname%d.bmp is the filename to store the bitmap into.\n\t\tThe %d part of the filename will start at 1 and \n\t\t"
    "increment for each image upto the COUNT specified\n",
    "NOTE:  A non-zero pad value is currently not supported\n",
};

// Points every src="..." of the page at bmp and writes the page into the folder above the BMP
// file's (or under its own name alone when the BMP file is not there). A page that cannot be read
// is passed over; false, with the page's new name in target, when it could not be written.
bool RewriteHtmlPage(const CString& page, const CString& bmp, std::string& target) {
    std::vector<BYTE> bytes;
    if (!platform::ReadWholeFile(page.c_str(), bytes)) return true;
    std::string text(bytes.begin(), bytes.end());
    size_t at = 0;
    while ((at = text.find("src=", at)) != std::string::npos) {
        const size_t open = at + 4;
        if (open >= text.size() || text[open] != '"') {
            at = open;
            continue;
        }
        const size_t close = text.find('"', open + 1);
        if (close == std::string::npos) {
            at = open;
            continue;
        }
        const std::string old = text.substr(open + 1, close - open - 1);
        const std::string replacement = bmp.str();
        if (!old.empty() && old != replacement) {
            for (size_t pos = 0; (pos = text.find(old, pos)) != std::string::npos; pos += replacement.size())
                text.replace(pos, old.size(), replacement);
        }
        at = text.find('"', open + 1);
        at = at == std::string::npos ? text.size() : at + 1;
    }
    const std::string pageName = std::filesystem::path(platform::MapPath(page.c_str())).filename().string();
    target = pageName;
    if (platform::FileExists(bmp.c_str())) {
        // "..\" goes after the BMP name's folder as written, before the name is mapped, so that it
        // stops at the station folder as at a drive's root ("C:x.bmp" keeps its drive).
        const std::string written = bmp.str();
        const size_t cut = written.find_last_of("\\/");
        const bool drive = written.size() >= 2 && written[1] == ':';
        const std::string folder = cut != std::string::npos ? written.substr(0, cut + 1) : drive ? written.substr(0, 2) : "";
        target = folder + "..\\" + pageName;
    }
    return platform::WriteWholeFile(target.c_str(), text.data(), text.size());
}

}  // namespace

DWORD CWexal::SaveBMPImage(DWORD, CString arguments, DWORD, DWORD verbose, BOOL help) {
    if (help) {
        PrintColor("\nSYNTAX: \"Save BMP Image\" -NoReset\n", kColorBlack);
        for (const char* line : kHelpLines) PrintColor(line, kColorBlack);
        return 1;
    }
    CString html, text;
    CParamString(arguments).GetValueAsWritten("HTML", html);  // files are written as the user named them
    const CString asWritten = arguments;
    long x = 0, y = 0;
    const ArgSize size = ReadDimValue(arguments);
    if (size.state == ArgRead::Refused) {
        PrintColor(size.refusal, kColorRed);
        return 0;
    }
    const bool explicitSize = size.state == ArgRead::Read;
    if (explicitSize) {
        x = static_cast<long>(size.x);
        y = static_cast<long>(size.y);
    }

    arguments.MakeUpper();
    const CParamString params(arguments);
    if (!params.GetValue("ADDRESS", text)) {
        PrintColor("Unable to find ADDRESS field\n", kColorRed);
        return 0;
    }
    text.Replace("@DCB", "DCB=");
    CString dcbText;
    if (!CParamString(text).GetValue("DCB", dcbText)) {
        PrintColor("Unable to find DCB field of ADDRESS\n", kColorRed);
        return 0;
    }
    dcbText.Replace(" \t", "");
    // One past an int is refused, not cut to another channel.
    const ArgInts triple = ReadArgInts(dcbText.c_str(), 3, "DCB");
    if (triple.state == ArgRead::Refused) {
        PrintColor(triple.refusal, kColorRed);
        return 0;
    }
    const int channel = triple.values[0], index = triple.values[1], count = triple.values[2];
    if (triple.state != ArgRead::Read) {
        PrintColor("DCB field does not contain 3 entries\n", kColorRed);
        return 0;
    }
    PrintColorFormat(kColorBlack, "DCB Channel:\t%d\nDCB Index:\t%d\nDCB Count:\t%d\n", channel, index, count);
    CWexalDMAChannel* dma = channel >= 0 && channel < static_cast<int>(kChannelCount) ? GetDMAChannel(channel) : nullptr;
    WexalDCB dcb;
    if (!dma || !dma->GetDCB(index, &dcb)) {
        PrintColorFormat(kColorRed, "Unable to read DCB %d of channel %d\n", index, channel);
        return 0;
    }
    const DWORD frameAddress = dcb.GetStartAddress();
    PrintColorFormat(kColorBlack, "Wexal Address[0x%08X]\n", frameAddress);
    if (explicitSize && (x <= 0 || y <= 0)) {
        PrintColorFormat(kColorRed, "Invalid resolution DIM=(%ld,%ld)\n", x, y);
        return 0;
    }

    DWORD mode = 0;
    if (!explicitSize) {
        CStrListResolutions resolutions;
        if (!resolutions.SetDefaults(StrListPreset(IsRegression(), IsEngineering()))) {
            PrintColor("Resolution Mode is UNDEFINED\n", kColorRed);
            return 0;
        }
        if (resolutions.IsEmpty()) {
            PrintColor("The RESOLUTION list is empty!\n", kColorRed);
            return 0;
        }
        const DWORD dcbSize = dcb.GetLines() * dcb.GetLineLength() + dcb.GetInitialLineLength();
        int matches = 0;
        for (const CString& entry : resolutions.GetEntries()) {
            long w = 0, h = 0;
            const ArgSize entrySize = ReadDimValue(entry);
            if (entrySize.state == ArgRead::Refused) {
                PrintColor(entrySize.refusal, kColorRed);
                return 0;
            }
            if (entrySize.count >= 1) w = static_cast<long>(entrySize.x);
            if (entrySize.state != ArgRead::Read) {
                PrintColorFormat(kColorRed, "Unrecognized resolution DIM=(%ld,%ld)\n", w, h);
                continue;
            }
            h = static_cast<long>(entrySize.y);
            if (w <= 0 || h <= 0) {
                PrintColorFormat(kColorRed, "Invalid resolution DIM=(%ld,%ld)\n", w, h);
                continue;
            }
            // Both ints: their product is exact in 64 bits, never a 32-bit wrap that happens to match.
            const ULONGLONG img = static_cast<ULONGLONG>(w) * static_cast<ULONGLONG>(h);
            if (verbose > 1)
                PrintColorFormat(kColorBlack, "Try DIM=(%d,%d) DCBSize[%ld]  IMGSize[%lld]\n", static_cast<int>(w),
                                 static_cast<int>(h), long{dcbSize}, static_cast<long long>(img));
            if (dcbSize == img || dcbSize == img / 2 || dcbSize == img / 4) {
                ++matches;
                x = w;
                y = h;
                const bool interlaced = dcbSize != img && dcbSize != img / 2;
                mode = interlaced ? 1 : 0;
                if (verbose > 1)
                    PrintColorFormat(kColorBlack, interlaced ? "Resolution Match:  Width=%d, Height=%d Interlaced\n"
                                                             : "Resolution Match:  Width=%d, Height=%d Progressive\n",
                                     static_cast<int>(w), static_cast<int>(h));
            }
            if (dcb.GetPad() != 0) {
                PrintColor("Pad is not handled yet!\n", kColorRed);
                return 0;
            }
        }
        if (matches == 0) {
            PrintColor("Format in DCB does not appear to match any common resolution\n", kColorRed);
            return 0;
        }
        if (matches > 1) {
            PrintColor("Format in DCB does matches more than 1 common resolution\nDIM=(x,y) must be specified\n",
                       kColorRed);
            return 0;
        }
    }

    CString pattern;
    // The files are created under the name as written; "%d" (or "%D") takes the number.
    if (!CParamString(asWritten).GetValueAsWritten("FILE", pattern)) return 0;
    // The first name that is free (absent or empty) is taken; names in use are passed over. A
    // device such as /dev/null is free: it is written in place, as every save writes one.
    CString chosen;
    bool created = false;
    for (int n = 1; n <= kMaxFileNumber && chosen.IsEmpty(); ++n) {
        CString name = pattern;
        CString number;
        number.Format("%d", n);
        name.Replace("%D", number.c_str());
        name.Replace("%d", number.c_str());
        created = !platform::FileExists(name.c_str());
        std::error_code noThrow;
        if (!created && std::filesystem::is_character_file(platform::MapPath(name.c_str()), noThrow)) {
            chosen = name;
            break;
        }
        CFile file;
        if (!file.Open(name, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeReadWrite | CFile::typeBinary)) {
            const int error = errno;
            PrintColor(images_detail::SaveFailureText(FormatString("Unable to open:  %s\n", name.c_str()), error), kColorRed);
            return 0;
        }
        if (file.GetLength() == 0) chosen = name;
        file.Close();
        if (name == pattern && chosen.IsEmpty()) break;  // without %d there is only the one name
    }
    if (chosen.IsEmpty()) {
        PrintColorFormat(kColorRed, "No free file name for %s\n", pattern.c_str());
        return 0;
    }
    PrintColorFormat(kColorBlack, "File:  %s\n", chosen.c_str());

    const ArgNumber modeRead = ReadArgValue(params, "MODE", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (modeRead.state == ArgRead::Refused) {
        PrintColor(modeRead.refusal, kColorRed);
        if (created) platform::DeleteFile(chosen.c_str());
        return 0;
    }
    if (modeRead.state == ArgRead::Read) mode = static_cast<DWORD>(modeRead.value);

    // A capture that fails leaves no empty file behind to be taken as the next free name.
    auto fail = [&]() -> DWORD {
        if (created) platform::DeleteFile(chosen.c_str());
        return 0;
    };
    CString format;
    if (params.GetValue("FORMAT", format)) {
        const DWORD w = static_cast<DWORD>(x), h = static_cast<DWORD>(y);
        std::unique_ptr<CImage> image;
        DWORD bytes = 0;
        if (format.CompareNoCase("Image:YCbCr_8bit") == 0) {
            image = std::make_unique<Image::YCbCr_8bit>(w, h);
            bytes = image->GetSize();
        } else if (format.CompareNoCase("Unpacked:Image:YCbCr_10_6") == 0) {
            image = std::make_unique<Unpacked::Image::YCbCr_10_6>(w, h, 0);
            bytes = image->GetSize();
        } else if (format.CompareNoCase("Packed:Image:YCbCr_8_2") == 0) {
            image = std::make_unique<Packed::Image::YCbCr_8_2>(w, h, Packed::Image::YCbCr_8_2::GetPadFor(w, h));
            bytes = image->GetSize() + image->GetOffset();
        } else {
            PrintColor("FORMAT not supported\n", kColorRed);
            return fail();
        }
        if (!image->GetBuffer()) {
            PrintColorFormat(kColorRed, "Unable to allocate an image of DIM=(%ld,%ld)\n", x, y);
            return fail();
        }
        const DWORD from = frameAddress;
        if (!ReadMemory(from, image->GetBuffer(), bytes)) return fail();
        BOOL saved = FALSE;
        if (auto* eight = dynamic_cast<Image::YCbCr_8bit*>(image.get())) saved = eight->SaveBMP(chosen, 1, mode);
        else if (auto* unpacked = dynamic_cast<Unpacked::Image::YCbCr_10_6*>(image.get()))
            saved = unpacked->SaveBMP(chosen, 1, mode);
        else if (auto* packed = dynamic_cast<Packed::Image::YCbCr_8_2*>(image.get()))
            saved = packed->SaveBMP(chosen, 1, mode);
        if (!saved) {
            const int error = errno;
            PrintColor(images_detail::SaveFailureText(FormatString("Unable to write:  %s\n", chosen.c_str()), error), kColorRed);
            return fail();
        }
    }
    std::string page;
    if (!html.IsEmpty() && !RewriteHtmlPage(html, chosen, page)) {
        const int error = errno;
        PrintColor(images_detail::SaveFailureText(FormatString("Unable to write:  %s\n", page.c_str()), error), kColorRed);
        return 0;
    }
    return 1;
}
