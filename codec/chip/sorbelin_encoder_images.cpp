// CSorbelinEncoder's image names and source pictures: environment references, placeholders, pattern fills and loaded sources.
#include <cstdio>
#include <ctime>

#include "codec/chip/sorbelin_encoder.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "images/file_buffer.h"
#include "images/unpacked_image.h"

bool CSorbelinEncoder::LookUp(const char* name, CString& value) {
    const auto it = m_environment.find(name);
    if (it == m_environment.end()) {
        PrintColorFormat(kColorRed, "ERROR:  Unable to find %s environment variable\n", name);
        return false;
    }
    value = it->second;
    return true;
}

CString CSorbelinEncoder::ReplacePlaceholders(CString name, DWORD vcid, DWORD width, DWORD height, DWORD bits) {
    CString text;
    text.Format("%X", vcid);
    name.Replace("$(VCID_LIST)", text);
    text.Format("%lu", static_cast<unsigned long>(width));
    name.Replace("$(X)", text);
    text.Format("%lu", static_cast<unsigned long>(height));
    name.Replace("$(Y)", text);
    text.Format("%lu", static_cast<unsigned long>(bits));
    name.Replace("$(P)", text);
    return name;
}

BOOL CSorbelinEncoder::ExpandImageName(CString& name, DWORD vcid, DWORD width, DWORD height, DWORD bits) {
    if (name == "Env.$(COMPRESS_IMAGE)" && !LookUp("COMPRESS_IMAGE", name)) return FALSE;
    if (name == "Env.$(DECOMPRESS_IMAGE)" && !LookUp("DECOMPRESS_IMAGE", name)) return FALSE;
    name = ReplacePlaceholders(name, vcid, width, height, bits);
    return ExpandPathMacros(name, TRUE, TRUE) != kPathNotFound;
}

BOOL CSorbelinEncoder::BuildSourceImage8(CKeyValue& entry, CImage* image, DWORD vcid, int verbose) {
    auto* picture = dynamic_cast<Image::YCbCr_8bit*>(image);
    if (!picture || !picture->GetBuffer()) {
        PrintColor("NULL pointer for IMG\n", kColorRed);
        return FALSE;
    }
    return BuildSourceImage(entry, *image, 8, vcid, verbose, [&](Fill fill, DWORD mode, DWORD y, DWORD cb, DWORD cr) {
        switch (fill) {
        case Fill::Diagonal: return picture->FillDiagonalLines(0);
        case Fill::Grid: return picture->FillGrid(0);
        case Fill::Solid: return picture->FillSolid(static_cast<BYTE>(y), static_cast<BYTE>(cb), static_cast<BYTE>(cr));
        case Fill::HorzWedge: return picture->FillHorzWedge(mode);
        case Fill::VertWedge: return picture->FillVertWedge(mode);
        case Fill::Tiles: return picture->FillTiles(0);
        case Fill::Random: return picture->FillRandom(y, 1);
        }
        return false;
    });
}

BOOL CSorbelinEncoder::BuildSourceImage10(CKeyValue& entry, CImage* image, DWORD vcid, int verbose) {
    auto* picture = dynamic_cast<Unpacked::Image::YCbCr_10_6*>(image);
    if (!picture || !picture->GetBuffer()) {
        PrintColor("NULL pointer for IMG\n", kColorRed);
        return FALSE;
    }
    return BuildSourceImage(entry, *image, 10, vcid, verbose, [&](Fill fill, DWORD mode, DWORD y, DWORD cb, DWORD cr) {
        switch (fill) {
        case Fill::Diagonal: return picture->FillDiagonalLines(0, 0, 0x3FF);
        case Fill::Grid: return picture->FillGrid(0, 0, 0x3FF);
        case Fill::Solid: return picture->FillSolid(static_cast<WORD>(y), static_cast<WORD>(cb), static_cast<WORD>(cr));
        case Fill::HorzWedge: return picture->FillHorzWedge(mode, 0, 0x3FF);
        case Fill::VertWedge: return picture->FillVertWedge(mode, 0, 0x3FF);
        case Fill::Tiles: return picture->FillTiles(0, 0, 0x3FF);
        case Fill::Random: return picture->FillRandom(y, 1, 0, 0x3FF);
        }
        return false;
    });
}

BOOL CSorbelinEncoder::BuildSourceImage(CKeyValue& entry, CImage& image, DWORD bits, DWORD vcid, int verbose,
                                        const std::function<bool(Fill, DWORD, DWORD, DWORD, DWORD)>& fill) {
    PrintColor("\n" + entry.GetText(), kColorGreen);
    const CString key = entry.GetKey();
    if (key == "Env.$(DECOMPRESS_IMAGE)") {
        CString name;
        if (!LookUp("DECOMPRESS_IMAGE", name)) return FALSE;
        name = ReplacePlaceholders(name, vcid, image.GetWidth(), image.GetHeight(), bits);
        if (ExpandPathMacros(name, TRUE, TRUE) == kPathNotFound) {
            PrintColorFormat(kColorRed, "ERROR: Unable to find DECOMPRESS_IMAGE[%s]\n", name.c_str());
            return FALSE;
        }
        if (verbose > 1) PrintColorFormat(kColorGreen, "SrcImg Decompressed:  %s\n", name.c_str());
        if (!ReadFileInto(name, image.GetBuffer(), image.GetSize())) {
            PrintColorFormat(kColorRed, "ERROR: Unable to open DECOMPRESS_IMAGE[%s]\n", name.c_str());
            return FALSE;
        }
        return TRUE;
    }
    struct Pattern {
        const char* key;
        bool prefix;
        Fill fill;
        DWORD mode;
    };
    // Longer names before the names they start with.
    static const Pattern kPatterns[] = {
        {"DIAGONAL_LINES", false, Fill::Diagonal, 0},      {"GRID", false, Fill::Grid, 0},
        {"SOLID", true, Fill::Solid, 0},                   {"HORZ_WEDGE_RED2BLUE", false, Fill::HorzWedge, 1},
        {"HORZ_WEDGE_BLUE2RED", false, Fill::HorzWedge, 2}, {"HORZ_WEDGE", false, Fill::HorzWedge, 0},
        {"VERT_WEDGE_RED2BLUE", false, Fill::VertWedge, 1}, {"VERT_WEDGE_BLUE2RED", false, Fill::VertWedge, 2},
        {"VERT_WEDGE", false, Fill::VertWedge, 0},         {"STAMP_LINEAR", false, Fill::Tiles, 0},
        {"RANDOM", true, Fill::Random, 0},
    };
    for (const Pattern& p : kPatterns) {
        if (p.prefix ? key.Find(p.key) != 0 : key != p.key) continue;
        if (p.fill == Fill::Solid) {
            const SolidValues solid = ReadSolidValues(entry.GetText(), true, 502, 512, 512);
            if (solid.state == ArgRead::Refused) {
                PrintColor(solid.refusal, kColorRed);
                return FALSE;
            }
            const DWORD y = static_cast<DWORD>(solid.values[0]), cb = static_cast<DWORD>(solid.values[1]),
                        cr = static_cast<DWORD>(solid.values[2]);
            PrintColorFormat(kColorBlack, "Test Solid:  Y=%d, Cb=%d, Cr=%d\n", static_cast<int>(y), static_cast<int>(cb), static_cast<int>(cr));
            return fill(Fill::Solid, 0, y, cb, cr) ? TRUE : FALSE;
        }
        if (p.fill == Fill::Random) {
            DWORD seed = static_cast<DWORD>(std::time(nullptr));
            PrintColor("Random Data\n", kColorBlack);
            if (entry.GetText().Find("SEED=") >= 0) {
                DWORD read = 0;
                if (ReadRandomSeed(entry.GetText(), read)) {
                    seed = read;
                } else {
                    PrintColor("SEED not understood using 0x12345678\n", 0xF0FF);
                    seed = 0x12345678;
                }
            }
            PrintColorFormat(kColorBlack, "SEED=0x%08X\n", seed);
            return fill(Fill::Random, 0, seed, 0, 0) ? TRUE : FALSE;
        }
        return fill(p.fill, p.mode, 0, 0, 0) ? TRUE : FALSE;
    }
    PrintColorFormat(kColorRed, "Unrecognized image pattern[%s]\n", key.c_str());
    return FALSE;
}
