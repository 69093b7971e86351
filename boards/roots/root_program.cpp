// The roots' "Program" command: FPGA programming from OXD files, with the board and part-number checks.
#include <cstdio>
#include <vector>

#include "boards/roots/brimola_board_tests.h"
#include "boards/roots/nuxa_board_tests.h"
#include "devlib/wexal_spaces.h"
#include "framework/arg_number.h"
#include "framework/hw/compatibility_rules.h"
#include "framework/hw/fpga_download.h"
#include "framework/hw/oxd.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"

namespace {

constexpr DWORD kStatusRegister = 0x4010;
constexpr DWORD kAllProgrammedBit = 0x8000;
constexpr DWORD kTagRoom = 80;

// A tag's value (at most kTagRoom bytes); false when the image has no such tag.
bool ReadTag(const COxd& image, char letter, CString& value) {
    BYTE buffer[kTagRoom] = {};
    DWORD length = 0;
    if (!image.GetTagBytes(letter, kTagRoom, buffer, &length)) return false;
    value = CString(reinterpret_cast<const char*>(buffer), static_cast<int>(length));
    return true;
}

void PrintFormatted(CWexalTreeMapTB& test, COLORREF colour, const char* format, const char* text) {
    CString line;
    line.Format(format, text);
    test.PrintColor(line, colour);
}

}  // namespace

bool CBoardRoot::ReadVPDText(CWexalBAR0Space* bar0, const char* key, CString& value) {
    int length = 0;
    if (!bar0 || bar0->GetVPDField(key, 0, nullptr, &length) != PCI_VPD::VPD_OK || length < 0) return false;
    std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
    if (length > 0 && bar0->GetVPDField(key, length, buffer.data(), &length) != PCI_VPD::VPD_OK) return false;
    value = CString(buffer.data());
    return true;
}

void CBoardRoot::MarkProgrammed(DWORD& mask, int device, DWORD complete, const RegisterPtr& registers) {
    mask |= 1u << device;
    if (mask == complete) registers[kStatusRegister / 4] = registers[kStatusRegister / 4] | kAllProgrammedBit;
}

int CBoardRoot::ReadProgramArguments(const CString& args, CString& file) {
    const CParamString params(args);
    CString value;
    int device = -1;
    if (!params.GetValue("DEVICE", value)) PrintColor("ERROR:  DEVICE= not specified on the command line.\n", kColorRed);
    else if (const CString refused = RefusedInts(params, {"DEVICE"}); !refused.IsEmpty()) PrintColor(refused, kColorRed);
    else if (const ArgNumber read = ReadArgValue(params, "DEVICE", platform::NumberForm::Decimal, platform::kSigned32Field);
             read.state == ArgRead::Read)
        device = static_cast<int>(read.value);
    params.GetValue("FILE", file);
    return device;
}

std::unique_ptr<COxd> CBoardRoot::OpenProgramImage(const CString& file) {
    auto image = std::make_unique<CTriskoOxd>(file, 1);
    if (!image->IsValid()) {
        PrintFormatted(*this, kColorRed, "Programmer - OXD File is not valid.\n  File %s not found.\n", file.c_str());
        return nullptr;
    }
    if (!image->IsTagEqual('B', 7, "BRIMOLA")) {
        PrintColor("B tag should be BRIMOLA\n", kColorRed);
        return nullptr;
    }
    CString revision;
    if (image->GetRevision(revision)) PrintFormatted(*this, kColorBlack, "OXD Data Revision = %s\n", revision.c_str());
    return image;
}

BOOL CBoardRoot::CheckCompatibility(COxd& image, CString boardPartNumber) {
    CString partNumber, revision, name;
    if (!ReadTag(image, 'P', partNumber) || !ReadTag(image, 'R', revision) || !ReadTag(image, 'N', name)) return FALSE;
    name.Replace(".oxd", "");
    const CCompatibilityRules rules((GetProgramDirectory() + "DeviceCompatiblity.txt").c_str());
    const CCompatibilityRules::StringList query = {"FPGA=" + name, "BoardPN=" + partNumber, "MinRev=" + revision,
                                                   "MaxRev=FFFF"};
    for (const CString& board : rules.FindRule(query))
        if (board.CompareNoCase(boardPartNumber) == 0) return TRUE;
    return FALSE;
}

bool CBrimolaBoardTests::FileCarriesImageId(const CString& path, const CString& imageId) const {
    // The path names the file as found on disk, in whatever case it has there.
    CString file = path, id = imageId;
    file.MakeUpper();
    id.MakeUpper();
    if (file.Find(id) >= 0) return true;
    const auto [first, last] = m_imageIdAliases.equal_range(imageId);
    for (auto alias = first; alias != last; ++alias)
        if (file.Find(CString(alias->second).MakeUpper()) >= 0) return true;
    return false;
}

DWORD CBrimolaBoardTests::Program(const CString& args, unsigned verbosity, BYTE remember) {
    const RegisterPtr registers = GetBoardIF().GetMainBoardRegisters();
    CWexalBAR0Space* bar0 = GetBoardIF().GetWexalBAR0Space();
    if (!registers) {
        PrintColor("ERROR:  CBrimolaBoardTests::Program()  m_pBrimola is NULL\n", kColorRed);
        return kRunFailed;
    }
    if (!bar0) {
        PrintColor("ERROR:  CBrimolaBoardTests::Program()  pBar0Space is NULL\n", kColorRed);
        return kRunFailed;
    }
    CString file;
    const int device = ReadProgramArguments(args, file);
    const CString recordedFile = file;

    CKeyerPathTB* const keyers[] = {&m_kerzil, &m_sulvethA, &m_sulvethB};
    CVantrel* const links[] = {&m_links.vantrelCodec, &m_links.vantrelExpansion};
    DWORD found;
    if (device >= 0 && device <= 2) {
        MarkProgrammed(m_programmedMask, device, 0x1F, registers);
        found = keyers[device]->DetermineFilenameOXD(file, TRUE, 1);
        // The pair's second FPGA may take the first one's image, chosen afresh from the name as given.
        if (device == 2 && found == kRunFailed) {
            file = recordedFile;
            found = m_sulvethA.DetermineFilenameOXD(file, TRUE, 1);
        }
    } else if (device == 3 || device == 4) {
        MarkProgrammed(m_programmedMask, device, 0x1F, registers);
        found = links[device - 3]->DetermineFilenameOXD(file, TRUE, 1);
    } else {
        CString line;
        line.Format("ERROR:  Unrecognized DEVICE= %d on the command line.\n", device);
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    if (found == kRunFailed) {
        // The name as looked for, its macros replaced.
        PrintFormatted(*this, kColorRed, "ERROR:  Unable to get OXD[%s].\n", ExpandedPath(file).c_str());
        return kRunFailed;
    }

    CString key, imageId;
    key.Format("V%d", device);
    if (!ReadVPDText(bar0, key, imageId)) {
        PrintFormatted(*this, kColorRed, "ERROR:  Unable to find VPD key[%s]\n", key.c_str());
        return kRunFailed;
    }
    if (file.Find("$(VPDVER)") >= 0) {
        const CString revision = imageId.Right(4);
        if (revision.IsEmpty()) {
            PrintColor("ERROR:  $(VPDVER) = NULL\n", kColorRed);
            return kRunFailed;
        }
        file.Replace("$(VPDVER)", revision);
    }
    if (FindFileOrAsk(file, "", "*.oxd", "OXD Files (*.oxd)|*.oxd| All Files (*.*)|*.*||", "JQV_OXDIMAGE_PATH", FALSE,
                      TRUE) == 1) {
        PrintColor("ERROR:  Unable to get OXD filename.\n", kColorRed);
        return kRunFailed;
    }
    if (!FileCarriesImageId(file, imageId)) {
        for (const CString& text : {CString("ERROR:  Unable to find "), imageId, CString(" in filename "), file})
            PrintColor(text, kColorRed);
        return kRunFailed;
    }
    PrintColor("OXD FILE:  " + file + "\n", kColorBlack);

    const std::unique_ptr<COxd> image = OpenProgramImage(file);
    if (!image) return kRunFailed;
    CString partNumber;
    // Without a part number in the product data the check is left out.
    if (ReadVPDText(bar0, "PN", partNumber) &&
        !image->IsTagEqual('P', static_cast<DWORD>(partNumber.GetLength()), partNumber.c_str()) &&
        !CheckCompatibility(*image, partNumber)) {
        PrintFormatted(*this, kColorRed, "OXD does not match Part Number VPD(%s)\n", partNumber.c_str());
        return kRunFailed;
    }
    if (verbosity > 1) PrintColor("Program Xilinx FPGA.\n", kColorBlack);

    if (device >= 3) return links[device - 3]->Program(this, *image);
    CKeyerPathTB* keyer = keyers[device];
    const DWORD result = DownloadXilinx(static_cast<DWORD>(device), keyer, *image);
    if (result == kRunPassed) {
        keyer->SetProgrammedFile(recordedFile);
        if (remember == 1) keyer->SetRememberedFile(recordedFile);
    }
    return result;
}

DWORD CNuxaBoardTests::Program(const CString& args, unsigned verbosity) {
    const RegisterPtr registers = GetBoardIF().GetCodecBoardRegisters();
    CWexalBAR0Space* bar0 = GetBoardIF().GetWexalBAR0Space();
    if (!registers) {
        PrintColor("ERROR:  CNuxaBoardTests::Program()  m_pNuxa is NULL\n", kColorRed);
        return kRunFailed;
    }
    if (!bar0) {
        PrintColor("ERROR:  CNuxaBoardTests::Program()  pBar0Space is NULL\n", kColorRed);
        return kRunFailed;
    }
    CString file;
    const int device = ReadProgramArguments(args, file);
    if (device != 3 && device != 4) {
        CString line;
        line.Format("ERROR:  Unrecognized DEVICE= %d on the command line.\n", device);
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    CVantrel& link = device == 3 ? m_links.vantrelCodec : m_links.vantrelExpansion;
    MarkProgrammed(m_programmedMask, device, 0x18, registers);
    if (link.DetermineFilenameOXD(file, TRUE, 1) == kRunFailed) {
        // The name as looked for, its macros replaced.
        PrintFormatted(*this, kColorRed, "ERROR:  Unable to get OXD[%s].\n", ExpandedPath(file).c_str());
        return kRunFailed;
    }
    const std::unique_ptr<COxd> image = OpenProgramImage(file);
    if (!image) return kRunFailed;

    // The board's number, at most 19 characters; a board without one has an empty number, which
    // no image matches.
    CString partNumber;
    if (!ReadVPDText(bar0, "PN", partNumber)) partNumber.Empty();
    partNumber = partNumber.Left(19);
    // The codec boards take the images of the main board's family.
    static const std::pair<const char*, const char*> kTranslations[] = {{"0418-27606-01", "0418-27605-01"},
                                                                        {"0418-27606-02", "0418-27605-02"}};
    for (const auto& [from, to] : kTranslations)
        if (partNumber == from) partNumber = to;
    if (!image->IsTagEqual('P', static_cast<DWORD>(partNumber.GetLength()), partNumber.c_str()) &&
        !CheckCompatibility(*image, partNumber)) {
        CString imagePart, line;
        ReadTag(*image, 'P', imagePart);
        line.Format("OXD(%s) does not match Part Number VPD(%s)\n", imagePart.c_str(), partNumber.c_str());
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    if (verbosity > 1) PrintColor("Program Xilinx FPGA.\n", kColorBlack);
    return link.Program(this, *image);
}
