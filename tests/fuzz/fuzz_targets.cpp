// Fuzz targets of the library's parsers, and the scratch folder they write their input files to.
#include "tests/fuzz/fuzz_targets.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "boards/roots/tree_paths.h"
#include "devlib/arg_list.h"
#include "devlib/rig.h"
#include "framework/arg_types.h"
#include "framework/dir_tree.h"
#include "framework/hw/compatibility_rules.h"
#include "framework/hw/flash_image_file.h"
#include "framework/hw/image_id.h"
#include "framework/hw/oxd.h"
#include "framework/param_string.h"
#include "framework/wexal_test_base.h"
#include "images/image_8bit.h"
#include "images/multi_image_file.h"
#include "images/packed_image.h"
#include "images/unpacked_image.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace {

// One folder per process, removed at exit; it is also the program folder (Environment.txt,
// "$(CWD)") and holds the system folder ("$(ZORV)") and the flash tests' folder of OXD files.
const support::TempDir& TheScratch() {
    static const support::TempDir dir;
    static const bool ready = (dir.MakeDir("system/drivers/Zorv"), dir.MakeDir("flash"), platform::SetProgramDir(dir.Path()),
                               platform::SetSystemDir(dir.File("system")), true);
    static_cast<void>(ready);
    return dir;
}

// Writes the input as the named file of the scratch folder and answers its path.
std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
    return TheScratch().Write(name, std::string(reinterpret_cast<const char*>(data), size));
}

// The input as the C text a host or a file reader hands on: up to its first NUL byte.
CString Text(const uint8_t* data, size_t size) {
    return CString(std::string(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size)));
}

// Says which promise the input broke; the fuzzer keeps the input.
int Broken(const char* promise) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    return 1;
}

int RigFile(const uint8_t* data, size_t size) {
    const std::string path = WriteInput("rig.json", data, size);
    sim::RigConfig config;
    std::string error;
    if (!sim::LoadRigFile(path, config, error)) return 0;
    // Built as the device library builds it, unless it would write files wherever the input names them.
    for (const sim::BoardConfig& board : config.boards)
        if (!board.flashImage.empty() || !board.memoryClock.store.empty()) return 0;
    devlib::LoadRig(config);
    return 0;
}

int TreeFile(const uint8_t* data, size_t size) {
    const std::string path = WriteInput("Tree.txt", data, size);
    CDirTreeOrdered tree("");
    CStringQueue queue(&tree, "\\");
    if (tree.Parse(path.c_str()) != 1) return Broken("a tree file that exists is read");
    tree.SetOrderBase(9000);
    queue.Refill("\\");
    treepath::ConditionFacts facts;
    facts.mainBoards = facts.codecBoards = 1;
    for (; queue.GetCount() > 0; queue.Pop()) {
        const CString raw = queue.GetFront(FALSE);
        CString record;
        treepath::MakeRecordPath(raw, "Brimola", treepath::RootKind::MainBoard, false, facts, record);
        treepath::MakeRecordPath(raw, "Nuxa", treepath::RootKind::CodecBoard, true, facts, record);
    }
    return 0;
}

// The query elements are the file's own text pieces, so rules can agree with them.
int CompatibilityRules(const uint8_t* data, size_t size) {
    const std::string path = WriteInput("DeviceCompatiblity.txt", data, size);
    const CCompatibilityRules rules(path.c_str());
    const CString text = Text(data, size);
    CCompatibilityRules::StringList query;
    for (int start = 0; start < text.GetLength() && query.size() < 8;) {
        const int cut = text.Mid(start).FindOneOf(",{}\n");
        const int end = cut < 0 ? text.GetLength() : start + cut;
        query.push_back(text.Mid(start, end - start));
        rules.FindRule(query);
        start = end + 1;
    }
    return 0;
}

// The file is named after its "N" tag, as firmware files are, so valid files pass the name check.
int Oxd(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string name = "fuzz";
    if (const size_t at = bytes.find("N:"); at != std::string::npos) {
        name.clear();
        for (size_t i = at + 2; i < bytes.size() && name.size() < 8 && std::isalnum(static_cast<unsigned char>(bytes[i])); ++i)
            name += bytes[i];
    }
    const std::string path = WriteInput(name + ".oxd", data, size);
    const COxd file(path.c_str(), 1);
    const COxd memory(CString(bytes.data(), static_cast<int>(size)), 0);
    for (const COxd* oxd : {&file, &memory}) {
        if (!oxd->IsValid()) continue;
        DWORD header = 0;
        if (oxd->GetHeaderSize(header) && header + oxd->GetDataSize() != size) return Broken("header and data make up the file");
        for (char letter : {'N', 'R', 'p', 'B', 'w'}) {
            CString value;
            BYTE buffer[16];
            DWORD length = 0;
            oxd->GetTag(letter, value);
            oxd->GetTagBytes(letter, sizeof buffer, buffer, &length);
            oxd->IsTagEqual(letter, 4, "0202");
        }
        oxd->GetRevisionText();
    }
    std::filesystem::remove(path);
    return 0;
}

int FlashImageFile(const uint8_t* data, size_t size) {
    WriteInput("flash/FLASH.oxd", data, size);
    CFlashImageFile file;
    if (file.Open(TheScratch().File("flash/*.oxd").c_str()) != CFlashImageFile::kReady) return 0;
    // The flash tests read the data in pieces, the last one short.
    std::string buffer(4096, '\0');
    for (long offset = 0; offset < file.GetDataSize(); offset += 4096)
        if (file.Read(buffer.data(), offset, std::min(4096L, file.GetDataSize() - offset)) != CFlashImageFile::kReady)
            return Broken("every piece of the data reads");
    return 0;
}

// Record layout: five geometry numbers, the header's two words, then the text list (the reader
// ends it with two NULs, as the flash block ends with its empty text).
int ImageId(const uint8_t* data, size_t size) {
    int32_t words[7] = {};
    std::memcpy(words, data, std::min(size, sizeof words));
    const size_t used = std::min(size, sizeof words);
    std::string list(reinterpret_cast<const char*>(data) + used, size - used);
    list.append(2, '\0');
    ProgMemDevImageID id;
    id.SetGeometry(words[0], words[1], words[2], words[3], words[4]);
    const DWORD header[2] = {static_cast<DWORD>(words[5]), static_cast<DWORD>(words[6])};
    id.SetHeader(header);
    id.SetIdText(list.c_str());
    id.GetIdAddress();
    return 0;
}

int ParamString(const uint8_t* data, size_t size) {
    const CString text = Text(data, size);
    const CParamString params(text);
    for (const char* key : {"VERBOSE", "FILE", "CMD", "DIM"}) {
        CString value;
        params.GetValue(key, value);
        params.GetValue(key, value, TRUE);
        params.IsSwitch(key);
    }
    for (int n = 0; n < 4; ++n) params.GetToken(n, " ,=");
    // Path macros, with the scratch folder standing for the program and system folders.
    for (BOOL mustExist : {TRUE, FALSE}) {
        CString path = CString(TheScratch().File("")) + text;
        ExpandPathMacros(path, TRUE, mustExist);
    }
    return 0;
}

int ArgumentListTarget(const uint8_t* data, size_t size) {
    const CString text = Text(data, size);
    ArgumentList list;
    list.Set(text);
    struct Keyword { const char* text; };
    static const Keyword kModes[] = {{"FAST"}, {"FASTER"}, {"SLOW"}, {nullptr}};
    ArgListValues values("VAL", 3);
    ArgListString name("NAME");
    ArgListKeyword mode("MODE", kModes, sizeof(Keyword));
    ArgListColor color("COLOR", ArgListArg::ARG_FLAG_OR_ASSIGN);
    ArgListArg flag("FLAG", ArgListArg::ARG_FLAG_OR_ASSIGN);
    ArgListArg verbose("VERBOSE");
    ArgListArg* const table[] = {&values, &name, &mode, &color, &flag, &verbose, nullptr};
    char* leftover = nullptr;
    list.HandleOptArgs(table, nullptr, &leftover);
    std::free(leftover);
    ArgumentList::Help(table);
    return 0;
}

// Defaults, then the text: DIM stays inside its ranges, and PATTERN always leaves a generator.
int DimPattern(const uint8_t* data, size_t size) {
    const CString text = Text(data, size);
    ArgList_DIM dim;
    ArgList_PATTERN pattern;
    ArgListArg* const table[] = {&dim, &pattern, nullptr};
    ArgumentList list;
    char* leftover = nullptr;
    list.HandleOptArgs(table, text, &leftover);
    std::free(leftover);
    const int x = dim.GetX(), y = dim.GetY();
    if (x < 1 || x > ArgList_DIM::kMaxX || y < 1 || y > ArgList_DIM::kMaxY || int64_t{x} * y > dim.GetMaxArea())
        return Broken("DIM stays in its ranges");
    if (std::unique_ptr<DataPatternGenerator> generator = pattern.TakeGenerator()) {
        DWORD words[64];
        generator->Fill(words, 64);
    }
    return 0;
}

// Pad bytes an image may hold beyond what its file held; no size field may make it more.
constexpr uint64_t kPadRoom = 1 << 20;

bool HeldBeyond(const CImage& image, size_t fileBytes) {
    return uint64_t{image.GetOffset()} + image.GetSize() > fileBytes + kPadRoom;
}

// Reads the file into an image of the class, uses it, then writes it back: a file written from
// an image that was read must read again as the same picture.
template <class TImage>
int ReadImage(const std::string& path, size_t fileBytes) {
    TImage image(0, 0);
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary)) return Broken("the input file opens");
    CArchive in(&file, CArchive::load);
    if (!image.Read(in)) return 0;
    if (HeldBeyond(image, fileBytes)) return Broken("an image holds little more than its file");
    image.GetPixelText(image.GetWidth() - 1, image.GetHeight() - 1);
    for (DWORD mode = 0; mode <= 5; ++mode) image.CreateDIB(mode);
    const std::string copy = TheScratch().File("copy.img");
    TImage again(0, 0);
    CFile back;
    if (!image.SaveFile(copy.c_str(), 0) || !back.Open(copy.c_str(), CFile::modeRead | CFile::typeBinary))
        return Broken("an image read is written");
    CArchive in2(&back, CArchive::load);
    return again.Read(in2) && again.GetSize() == image.GetSize() ? 0 : Broken("an image written reads back");
}

// The first byte picks the class; the rest is the file.
int ImageFile(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string path = WriteInput("image.img", data + 1, size - 1);
    switch (data[0] % 6) {
    case 0: return ReadImage<Unpacked::Image::YCbCr_10_6>(path, size - 1);
    case 1: return ReadImage<Unpacked::Alpha::YCbCr_10_6>(path, size - 1);
    case 2: return ReadImage<Packed::Image::YCbCr_8_2>(path, size - 1);
    case 3: return ReadImage<Packed::Alpha::YCbCr_8_2>(path, size - 1);
    case 4: return ReadImage<Image::YCbCr_8bit>(path, size - 1);
    default: return ReadImage<Alpha::YCbCr_8bit>(path, size - 1);
    }
}

template <class A, class B>
int LoadPair(const std::string& path, size_t fileBytes) {
    CMultiImageFile<A, B> pair;
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::typeBinary)) return Broken("the input file opens");
    CArchive in(&file, CArchive::load);
    if (!pair.Load(in)) return 0;
    if (HeldBeyond(*pair.GetFirst(), fileBytes) || HeldBeyond(*pair.GetSecond(), fileBytes))
        return Broken("an image holds little more than its file");
    pair.Save(TheScratch().File("copy.pair").c_str(), *pair.GetFirst(), *pair.GetSecond(), 0);
    return 0;
}

// The pairs the image tests keep; the first byte picks one.
int MultiImageFile(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::string path = WriteInput("pair.img", data + 1, size - 1);
    switch (data[0] % 4) {
    case 0: return LoadPair<Unpacked::Image::YCbCr_10_6, Unpacked::Image::YCbCr_10_6>(path, size - 1);
    case 1: return LoadPair<Unpacked::Alpha::YCbCr_10_6, Packed::Alpha::YCbCr_8_2>(path, size - 1);
    case 2: return LoadPair<Packed::Image::YCbCr_8_2, Unpacked::Image::YCbCr_10_6>(path, size - 1);
    default: return LoadPair<Image::YCbCr_8bit, Image::YCbCr_8bit>(path, size - 1);
    }
}

// "Environment.txt": a value is one whole token of the file.
int KeyValue(const uint8_t* data, size_t size) {
    WriteInput("Environment.txt", data, size);
    CWexalTestBase::FreeEnvironment();
    const CString ownName = Text(data, size).SpanExcluding("= \t\r\n");
    for (const char* name : {"Release", "Root", ownName.c_str()}) CWexalTestBase::GetLocalEnvironmentVariable(name);
    CWexalTestBase::GetReleaseId();
    CWexalTestBase::FreeEnvironment();
    return 0;
}

}  // namespace

const FuzzTarget kFuzzTargets[] = {
    {"rig_file", RigFile},
    {"tree_file", TreeFile},
    {"compatibility_rules", CompatibilityRules},
    {"oxd", Oxd},
    {"flash_image_file", FlashImageFile},
    {"image_id", ImageId},
    {"param_string", ParamString},
    {"argument_list", ArgumentListTarget},
    {"dim_pattern", DimPattern},
    {"image_file", ImageFile},
    {"multi_image_file", MultiImageFile},
    {"key_value", KeyValue},
    {"yorb_reply", FuzzYorbReply},
    {"host_command_line", FuzzHostCommandLine},
    {"root_commands", FuzzRootCommands},
    {"rig_file_store", FuzzRigFileStore},
    {"box_command", FuzzBoxCommand},
    {"video_args", FuzzVideoArgs},
    {"box_args", FuzzBoxArgs},
    {"genfile_play", FuzzGenFilePlay},
    {"tcl_script", FuzzTclScript},
    {"zyv_file", FuzzZyvFile},
    {"codec_args", FuzzCodecArgs},
    {"diag_port", FuzzDiagPort},
    {"arg_numbers", FuzzArgNumbers},
    {"map_path", FuzzMapPath},
};
const size_t kFuzzTargetCount = sizeof kFuzzTargets / sizeof kFuzzTargets[0];

const FuzzTarget* FindFuzzTarget(const char* name) {
    for (const FuzzTarget& target : kFuzzTargets)
        if (std::strcmp(target.name, name) == 0) return &target;
    return nullptr;
}

#include <vector>

#include "yorbflow/wire/command_table.h"
#include "yorbflow/yorb_command.h"

int FuzzYorbReply(const uint8_t* data, size_t size) {
    using namespace YorbFlow;
    if (size == 0) return 0;
    const Wire::CommandEntry& entry = Wire::kCommands[(data[0] & 0x7F) % Wire::kCommandCount];
    std::vector<uint8_t> code(data + 1, data + size);
    if ((data[0] & 0x80) && code.size() >= Wire::kHeaderBytes + Wire::kCheckBytes) {
        const size_t body = code.size() - Wire::kCheckBytes;
        for (int i = 0; i < 4; ++i) code[8 + i] = static_cast<uint8_t>(code.size() >> (8 * i));
        const uint32_t crc = Wire::Crc32(code.data(), body);
        for (int i = 0; i < 4; ++i) code[body + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    YorbCommand reply;
    CommandStatus_t status = CMDSTATUS_OK;
    if (!YorbCommandFactory::DecompileYorbReply(YorbCommand(entry.name), YorbCommandByteCode(code.data(), code.size()), reply, &status))
        return status == CMDSTATUS_OK;
    // A reply that decompiled is the command's, with its result code and no more than its parameters.
    if (std::strcmp(reply.GetCommandName(), entry.name) != 0 || !reply.IsReply() || reply.GetResult() > Wire::RESULT_LAST ||
        reply.GetParamCount() > entry.paramCount)
        return 1;
    for (size_t p = 0; p < entry.paramCount; ++p) {
        uint8_t head[8];
        size_t length = 0, copied = 0;
        if (reply.GetParamByteStreamLength(entry.params[p].name, length) &&
            (!reply.GetParamByteStream(entry.params[p].name, head, sizeof head, &copied) || copied != std::min(length, sizeof head)))
            return 1;
    }
    return 0;
}
