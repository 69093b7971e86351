// CWexalTestBase: publishing per board device, device name lists, argument report, DMACRB, environment, file copy.
#include "framework/wexal_test_base.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "devlib/arg_list.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/file_errors.h"
#include "platform/files.h"
#include "platform/host_ui.h"

namespace {

// The whole of "Environment.txt"; null while not loaded. A plain pointer, not an owning object: test
// objects are globals whose destructors free it, and they may run after this file's own statics went.
constinit std::string* g_environment = nullptr;

constexpr int kBoardTypes[] = {CZorvDevice::DEVTYPE_BRIMOLA, CZorvDevice::DEVTYPE_NUXA, CZorvDevice::DEVTYPE_END};
constexpr int kMainBoardTypes[] = {CZorvDevice::DEVTYPE_BRIMOLA, CZorvDevice::DEVTYPE_END};
constexpr int kCodecBoardTypes[] = {CZorvDevice::DEVTYPE_NUXA, CZorvDevice::DEVTYPE_END};

constexpr char kEnvironmentDelimiters[] = "= \t\r\n";
constexpr UINT kTopmostOk = 0x50000;

// Start of the next token at or after p, or null at the end of the text.
const char* SkipDelimiters(const char* p) {
    p += std::strspn(p, kEnvironmentDelimiters);
    return *p ? p : nullptr;
}

}  // namespace

CWexalTestBase::CWexalTestBase() {
    m_boardIF.SetOwner(nullptr);
    m_boardIF.Clear();
    m_boardIF.SetOwner(this);
    LoadEnvironment();
}

CWexalTestBase::~CWexalTestBase() {
    FreeEnvironment();
    m_boardIF.Clear();
}

CZorvDevice* CWexalTestBase::GetDevice() { return m_boardIF.GetDevice(); }

std::vector<CZorvDevice*> CWexalTestBase::PublishTests(const char* treePath, const char* command, DeviceFilter filter) {
    return PublishTests(CTestRegistry::Instance(), treePath, command, filter);
}

std::vector<CZorvDevice*> CWexalTestBase::PublishTests(CTestRegistry& registry, const char* treePath, const char* command,
                                                       DeviceFilter filter) {
    std::vector<CZorvDevice*> bound;
    char* names = nullptr;
    const int count = GetBoardDeviceNames(names);
    if (count <= 0) {
        std::free(names);
        return bound;
    }
    CHostPCDevice* root = GetZorvHardware();
    const char* name = names;
    for (int i = 0; i < count; ++i, name += std::strlen(name) + 1) {
        const CString path = CString(name) + "\\" + (treePath ? treePath : "");
        CString line = name;
        if (command && *command) line += CString(" ") + command;
        CZorvDevice* device = root ? root->GetDevice(name) : nullptr;
        if (filter && !filter(device)) continue;
        registry.AddTest(path, m_codeName, 1, this, line);
        bound.push_back(device);
    }
    std::free(names);
    return bound;
}

int CWexalTestBase::GetDeviceNames(char*& list, const int* types) {
    list = nullptr;
    CHostPCDevice* root = GetZorvHardware();
    std::vector<CZorvDevice*> devices;
    if (!root || !types || root->GetDevList(types, devices) < 1) return 0;

    size_t size = 0;
    int count = 0;
    for (CZorvDevice* d : devices) {
        const CString tag = d->GetTag();
        if (tag.IsEmpty()) continue;
        size += static_cast<size_t>(tag.GetLength()) + 1;
        ++count;
    }
    if (count == 0) return 0;
    auto* block = static_cast<char*>(std::calloc(size + 4, 1));
    if (!block) return 0;
    char* at = block;
    for (CZorvDevice* d : devices) {
        const CString tag = d->GetTag();
        if (tag.IsEmpty()) continue;
        std::memcpy(at, tag.c_str(), static_cast<size_t>(tag.GetLength()) + 1);
        at += tag.GetLength() + 1;
    }
    list = block;
    return count;
}

int CWexalTestBase::GetBoardDeviceNames(char*& list) { return GetDeviceNames(list, kBoardTypes); }

int CWexalTestBase::GetMainBoardDeviceNames(char*& list) { return GetDeviceNames(list, kMainBoardTypes); }

int CWexalTestBase::GetCodecBoardDeviceNames(char*& list) { return GetDeviceNames(list, kCodecBoardTypes); }

DWORD CWexalTestBase::ReportUnrecognizedArgs(ArgumentList* list, const char* text, ArgListArg* const* table) {
    if (!text) return kRunPassed;
    ArgumentList local;
    char* leftover = nullptr;
    (list ? list : &local)->HandleOptArgs(table, text, &leftover);
    if (!leftover) return kRunPassed;
    int printed = 0;
    for (const char* word = leftover; *word; word += std::strlen(word) + 1) {
        CString line;
        line.Format("~*BLACK*~Error: Unrecognized parameter: \"~*RED*~%s~*BLACK*~\".\n", word);
        Print(line);
        ++printed;
    }
    std::free(leftover);
    return printed ? kRunFailed : kRunPassed;
}

const CPPVarDesc* CWexalTestBase::GetDMACRB(int channel) {
    if (channel < 0 || channel > 63) return nullptr;
    if (!m_boardIF.GetBAR0Space()) m_boardIF.GetBAR0(TRUE);
    auto* registers = dynamic_cast<CDevRegSpace*>(m_boardIF.GetBAR0Space());
    const CPPVarDesc* block = registers ? registers->GetSymbolDesc("DMACRB") : nullptr;
    if (!block || !block->entries) return nullptr;
    const DWORD target = block->offset + static_cast<DWORD>(channel) * 0x200;
    for (int i = 0; i < block->entryCount; ++i)
        if (block->entries[i].size == 0x200 && block->entries[i].offset == target) return &block->entries[i];
    return nullptr;
}

BOOL CWexalTestBase::LoadEnvironment() {
    if (g_environment) return TRUE;
    const CString dir = GetProgramDirectory();
    if (dir.IsEmpty()) return FALSE;
    std::vector<BYTE> bytes;
    // Values are counted in int: a larger file is not read, and loads no environment.
    if (!platform::ReadWholeFile(dir + "Environment.txt", bytes, INT_MAX)) return FALSE;
    // Read as C text: a NUL byte ends what the look-ups see.
    g_environment = new std::string(bytes.begin(), bytes.end());
    return TRUE;
}

CString CWexalTestBase::GetLocalEnvironmentVariable(const char* name) {
    if (!LoadEnvironment()) {
        platform::MessageBox("Unable to load envrionment", "ERROR:  GetLocalEnvironmentVariable()", kTopmostOk);
        return CString();
    }
    if (!name || !*name) return CString();
    const char* at = std::strstr(g_environment->c_str(), name);
    if (!at) return CString();
    // The token that holds the name is skipped; the next one is the value.
    const char* token = SkipDelimiters(at);
    if (!token) return CString();
    const char* value = SkipDelimiters(token + std::strcspn(token, kEnvironmentDelimiters));
    if (!value) return CString();
    return CString(value, static_cast<int>(std::strcspn(value, kEnvironmentDelimiters)));
}

DWORD CWexalTestBase::GetReleaseId() {
    if (!LoadEnvironment()) return kReleaseUnknown;
    const CString release = GetLocalEnvironmentVariable("Release");
    if (release == "Skavo") return kReleaseSkavo;
    if (release == "Grenlo") return kReleaseGrenlo;
    return kReleaseUnknown;
}

void CWexalTestBase::FreeEnvironment() {
    delete g_environment;
    g_environment = nullptr;
}

DWORD CWexalTestBase::CopyFileStep(CString arguments) {
    const CParamString params(arguments);
    CString source, destination, line;
    if (!params.GetValue("SRC", source)) {
        PrintColor("ERROR:  SRC= not specified on the command line.\n", kColorRed);
        return kRunFailed;
    }
    if (!params.GetValue("DST", destination)) {
        PrintColor("ERROR:  DST= not specified on the command line.\n", kColorRed);
        return kRunFailed;
    }
    if (ExpandPathMacros(source, TRUE, TRUE) == kPathNotFound) {
        line.Format("ERROR:  Unable to expand variables SRC[%s] setting.\n", source.c_str());
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    if (ExpandPathMacros(destination, TRUE, TRUE) == kPathNotFound) {
        line.Format("ERROR:  Unable to expand variables DST[%s] setting.\n", destination.c_str());
        PrintColor(line, kColorRed);
        return kRunFailed;
    }
    const bool overwrite = params.IsSwitch("OVERWRITE");
    if (!platform::CopyFile(source, destination, !overwrite)) {
        const int error = errno;
        line.Format("ERROR:  Unable to copy SRC[%s] to DST[%s].\n", source.c_str(), destination.c_str());
        PrintColor(platform::SaveFailureText(line, error), kColorRed);
        return kRunFailed;
    }
    return kRunPassed;
}
