// CWexalTestBase: the test base of every board-bound test: board interface, publishing, environment, file copy.
#pragma once

#include <vector>

#include "devlib/devices.h"
#include "framework/board_if.h"
#include "framework/test_base.h"
#include "platform/cstring.h"
#include "platform/types.h"

class ArgListArg;
class ArgumentList;
class CTestRegistry;
struct CPPVarDesc;

// Decides whether a board device gets a test record; FALSE skips it.
using DeviceFilter = BOOL (*)(CZorvDevice* device);

// Release ids of the test engine named by "Release" in "Environment.txt".
constexpr DWORD kReleaseUnknown = 0;
constexpr DWORD kReleaseSkavo = 1;
constexpr DWORD kReleaseGrenlo = 2;

class CWexalTestBase : public CTestBase {
public:
    // The interface is owned by this test and quiet; "Environment.txt" is loaded (a missing file is
    // not an error here).
    CWexalTestBase();
    // Frees the shared environment, so the next user loads it again.
    ~CWexalTestBase() override;

    // The selected board device, null when none.
    virtual CZorvDevice* GetDevice();

    CWexalBoardIF& GetBoardIF() { return m_boardIF; }
    const CWexalBoardIF& GetBoardIF() const { return m_boardIF; }

    // Adds one leaf per board device (main and codec boards, in the device library's order) that
    // passes the filter: path "<device>\<treePath>", command "<device>" or "<device> <command>",
    // this test as owner and its code name. Answers the devices the leaves' commands select: the
    // first device the tree finds by each name, as a run will.
    std::vector<CZorvDevice*> PublishTests(const char* treePath, const char* command, DeviceFilter filter);
    // The same into a given registry (the process-wide one above).
    std::vector<CZorvDevice*> PublishTests(CTestRegistry& registry, const char* treePath, const char* command, DeviceFilter filter);

    // The names of the board devices of the listed kinds (ended by CZorvDevice::DEVTYPE_END) as one
    // malloc'd block of NUL-ended names, which the caller frees with free(); answers their count.
    // Devices without a name are left out; none: 0 and a null list.
    static int GetDeviceNames(char*& list, const int* types);
    static int GetBoardDeviceNames(char*& list);
    static int GetMainBoardDeviceNames(char*& list);
    static int GetCodecBoardDeviceNames(char*& list);

    // Runs the table over text and prints one red line per word it did not take. Answers 1 when
    // every word was taken (or text is null), 2 otherwise.
    DWORD ReportUnrecognizedArgs(ArgumentList* list, const char* text, ArgListArg* const* table);
    // The register block of the channel (0-63) in the BAR0 symbols' "DMACRB"; null when there is
    // none. Maps BAR0 first when needed.
    const CPPVarDesc* GetDMACRB(int channel);

    // Loads the host program's "Environment.txt" into the process-wide cache; TRUE when it holds it.
    static BOOL LoadEnvironment();
    // The value after the first occurrence of name anywhere in the file (a plain, case-sensitive
    // substring search): the token after the one that contains it, tokens split at "=", blank, tab,
    // CR and LF. "" when absent; an unloadable file also raises a message box.
    static CString GetLocalEnvironmentVariable(const char* name);
    // kReleaseSkavo, kReleaseGrenlo, or kReleaseUnknown (also when the file cannot be loaded).
    static DWORD GetReleaseId();
    // Forgets the cached file (the next look-up reads it again).
    static void FreeEnvironment();

    // SRC=path DST=path [-OVERWRITE]: copies a file onto an existing one. Answers 1, or 2 after a red
    // error line.
    DWORD CopyFileStep(CString arguments);

protected:
    CWexalBoardIF m_boardIF;
    DWORD m_reserved1 = 0;
    DWORD m_reserved2 = 0;
};
