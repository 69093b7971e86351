// CBoardRoot: what the two board roots share: start-up, device binding, tree publishing, dispatch.
#pragma once

#include <cstddef>
#include <memory>
#include <set>
#include <vector>

#include "boards/dma/bcu_dcb_rw.h"
#include "boards/flash/diag_flash.h"
#include "boards/flash/flash_test.h"
#include "boards/flash/jastel_test.h"
#include "boards/memory/mem_test.h"
#include "boards/memory/sdram_pattern.h"
#include "boards/roots/tree_paths.h"
#include "devlib/devices.h"
#include "framework/dir_tree.h"
#include "framework/tree_map_tb.h"
#include "framework/wexal_test_base.h"
#include "platform/cstring.h"
#include "platform/types.h"
#include "videopath/vantrel.h"

class mem_clk;

class CJastel;
class COxd;
class CWexalBAR0Space;

// The points in which the main-board root and the codec-board root differ.
struct BoardRootProfile {
    const char* codeName;           // "CBrimolaBoardTests"
    CZorvDevice::DEVTYPE deviceType;
    treepath::RootKind kind;
    const char* boardName;          // for messages: "Brimola"
    const char* banner;             // printed in manufacturing mode
    const char* engineeringTree;    // tree file names beside the host
    const char* manufacturingTree;
    DeviceFilter filter;            // which board devices get its records
    const char* registersName;      // the board's register pointer, for messages: "m_pBrimola"
    int vpdFields;                  // product-data fields shown (the first 19, or all 29)
    const char* remoteLines[2];     // temperature rows of the sensor's remote channels 2 and 3
    const char* initOption;         // the initialisation program's board option: "-c"
    const char* settingTrace;       // "I2C Clock" trace of the chosen setting
};
// The two roots' profiles, each defined beside its root.
const BoardRootProfile& BrimolaRootProfile();
const BoardRootProfile& NuxaRootProfile();

// The board-link tests both roots hold alike, built before the main board's FPGA-pair loopback and
// the Tcl test.
struct BoardLinkTests {
    BoardLinkTests();
    // Gives each its root as parent, in the same order.
    void SetParents(CWexalTreeMapTB* root);

    CVantrel vantrelCodec;
    CVantrel vantrelExpansion;
};

// The member tests both roots hold alike, in the order both build them (after the Tcl test): flash
// and controller tests, DCB/BCU tests, SDRAM tests, flash programming.
struct BoardSharedTests {
    BoardSharedTests();
    // Gives each its root as parent, in the same order.
    void SetParents(CWexalTreeMapTB* root);

    CFlashTest flashTest;
    CJastelTest jastelTest;
    C_DCB_RW_Active dcbActive;
    C_BCU_RW_Active bcuActive;
    CSDRAM_QD_blockWR ramBlock;
    CMemTestA memTestA;
    CMemTestB memTestB;
    CDiagFlash flash;
};

// One FPGA the root programs at load with PD=ALL.
struct ProgramEntry {
    int device;
    CString file;
};

// A board root owns every test of its board as a member, enters them in its child map, publishes
// its tree file once per board device of its kind and, for every host command, selects the device,
// hands its board interface to the children and runs the named child or one of its own keyword
// commands. The derived roots build their members, then call StartUp.
class CBoardRoot : public CWexalTreeMapTB {
public:
    static constexpr int kTreeOrderBase = 9000;
    static constexpr int kDefaultClockDelta = 10;
    static constexpr const char* kStartupClockLine =
        "Clock Test PWRUP = 1 MIN = 90 MAX = 250 VERBOSE = 0 CMD = (CWexal Random Memory Test VERBOSE = 0)";

    // Command text "<device> <<test> <arguments>>": the child's result, or the keyword command's
    // when the test is the root itself; 2 when the test or the device is not found.
    DWORD Run(CString command) override;
    // The child's help; for the root itself a "not available" line; nothing for an unknown test.
    DWORD Help(CString command) override;

    // Reads the tree file and publishes one record per kept leaf and board device of this kind.
    // 1 when the file was read (whatever was published), 0 when it cannot be read.
    virtual int ReadTestTree(CString path, int orderBase);
    // The boards of this kind that none of the devices in bound is, one line each naming the board
    // and the device its tag finds instead: boards left without a record.
    std::vector<CString> UnboundBoards(const std::set<const CZorvDevice*>& bound);
    virtual CString GetProgramDir();
    // DIMM plausibility for "Show DIMM Information": 1 when fitted as the board expects, else 0
    // and the reason in message.
    BOOL CheckDIMMGeometry(BYTE rowBits, BYTE columnBits, CString& message) override = 0;
    BOOL CheckDIMMSize(DWORD sizeMB, CString& message) override = 0;
    // The root's controller, which every dispatched command hands the selected board's block.
    virtual CJastel* GetController() = 0;

    // Keyword commands both roots share. "I2C Clock": programs the clock synthesiser DEVICE= names
    // ("Wexal" CLOCK1, "Sorbelin" CLOCK2) with the setting MODE= or a register file FILE= names
    // and reports the SDRAM clock; 1 done, 2 failed.
    virtual DWORD I2CClock(CString args);
    // Runs "InitPexano.exe" beside the host and waits for it: 1 when it exits with 0, else 2 after
    // a red line with the code (-1 when it cannot be started). Neither argument is read.
    virtual DWORD InitPexano(const CString& args, int unused);
    // Prints every product-data field of the board that can be read; 1 when one was, else 0.
    virtual DWORD ShowVPDInformation();
    // Whether the rules file beside the host lists the board's part number among the boards that
    // take the image (asked with its name, part number and revision): 1 yes, 0 no (also for an
    // image missing one of those tags, or no rules file).
    virtual BOOL CheckCompatibility(COxd& image, CString boardPartNumber);
    // "Display Rev": the revision of the firmware image FILE= names; 1 shown, 0 not.
    virtual DWORD DisplayRev(const CString& args) = 0;
    // "Show DCB Info" with the text after the keyword: "Channel=<n>", and on the main board the
    // overview "All DCB0". Always 1.
    virtual DWORD ShowDCBInfo(CString text);

    // The "CLKDELTA" value of the switch text as a decimal number of 0 to 2147483647;
    // kDefaultClockDelta when it is absent, not a decimal number or outside that range. problem
    // (when given) gets the red line for the last two, and is empty otherwise.
    static int ReadClockDelta(const CString& switches, CString* problem = nullptr);
    // "Program DEVICE=%d FILE=%s" for every entry of the programming table when the switch PD is
    // "ALL" (any case); empty otherwise.
    std::vector<CString> GetStartupProgramCommands();

    // The device filters of the two kinds of root.
    static BOOL IsMainBoardDevice(CZorvDevice* device);
    static BOOL IsCodecBoardDevice(CZorvDevice* device);

protected:
    // The part of a keyword command its handler may use.
    struct KeywordCall {
        CString command;    // the whole command text
        CString arguments;  // the text after the test name
        CString rest;       // the arguments after the keyword, leading blanks removed
        int verbose = 1;
    };
    enum class KeywordMatch { Prefix, Exact };
    enum class KeywordResult {
        Handler,      // the handler's result
        PassWhenOne,  // 1 when the handler answers 1, else 2
        AlwaysPass,
    };
    // "FileMap": the arguments after the keyword name a log file (both roots).
    DWORD FileMapCommand(const KeywordCall& call) { return FileMap(call.rest); }
    // The board reports answer TRUE or FALSE; their rows turn that into a run result.
    DWORD ShowDIMMInfoCommand(const KeywordCall& call) { return ShowDIMMInfo(static_cast<DWORD>(call.verbose)); }
    DWORD CheckVPDStructureCommand(const KeywordCall&) { return CheckVPDStructure(); }
    DWORD I2CClockCommand(const KeywordCall& call) { return I2CClock(call.arguments); }
    DWORD DisplayRevCommand(const KeywordCall& call) { return DisplayRev(call.arguments); }
    DWORD ShowVPDInformationCommand(const KeywordCall&) { return ShowVPDInformation(); }
    DWORD InitPexanoCommand(const KeywordCall& call) { return InitPexano(call.arguments, 1); }
    DWORD ShowDCBInfoCommand(const KeywordCall& call) { return ShowDCBInfo(call.rest); }
    // "Program DEVICE=n FILE=path" as each root programs its FPGAs.
    virtual DWORD ProgramCommand(const KeywordCall& call) = 0;
    template <class Root>
    struct KeywordRow {
        const char* keyword;  // compared case-sensitively
        KeywordMatch match;
        KeywordResult result;
        DWORD (Root::*handler)(const KeywordCall&);  // null: the command is not part of this build
    };

    CBoardRoot(CString name, const BoardRootProfile& profile);
    ~CBoardRoot() override;

    // Construction after the members stand: banner, tree path, parents, device binding, tree,
    // self-registration, start-up clock calibration and programming.
    void StartUp();
    // Gives every member test the root as parent, in the root's fixed order.
    virtual void SetParents() = 0;
    // Runs the root's keyword table on call.arguments; the first matching row wins.
    virtual DWORD RunKeyword(const KeywordCall& call) = 0;
    virtual const std::vector<ProgramEntry>& GetProgrammingTable() const = 0;
    // The root's memory clock calibration, which runs the start-up line at load.
    virtual mem_clk& GetMemClk() = 0;
    // Runs the start-up calibration line with the delta, with or without a board: without one
    // the calibration reports that itself.
    void CalibrateClockAtStartUp(int clockDelta);
    // Where each PD=ALL command goes to Program.
    virtual void ProgramAtStartUp(const CString& command) = 0;

    // The first matching row of the root's own table runs, else the first of the commands both
    // roots share; none: the "Not recognized" line and 2.
    template <class Root, size_t N>
    DWORD DispatchKeyword(Root& root, const KeywordRow<Root> (&table)[N], const KeywordCall& call);
    // The first matching row of the table runs and its result is kept in result; false when none matches.
    template <class Root, size_t N>
    static bool RunKeywordRow(Root& root, const KeywordRow<Root> (&table)[N], const KeywordCall& call, DWORD& result);
    // The rows of the keyword commands both roots carry alike.
    static const KeywordRow<CBoardRoot> kSharedKeywords[9];
    // The FILE= of a "Display Rev" command, upper-cased; false after the red line when there is none.
    bool ReadDisplayRevFile(const CString& args, CString& file);
    // "Not recognized as a valid test" in red, naming the root's code name and the whole command.
    void ReportNotRecognized(const CString& command);

    // The temperature sensor's rows (red above their set point) and, from verbosity 1, its
    // registers; always 1.
    DWORD ShowTemperatureReport(unsigned verbosity);
    // Opens file as a firmware image: its revision in green and 1, or a red line and 0.
    DWORD ShowOxdRevision(const CString& file);
    // The board's registers as the board interface holds them for this root's kind; null on a
    // board of the other kind.
    RegisterPtr GetBoardRegisters() const;
    // A product-data field read whole; false when the board has no such field.
    static bool ReadVPDText(CWexalBAR0Space* bar0, const char* key, CString& value);
    // The programmed-device mask after accepting device: once it holds every FPGA of the board,
    // the controller's status bit 15 is set (on every later call too).
    static void MarkProgrammed(DWORD& mask, int device, DWORD complete, const RegisterPtr& registers);
    // "DEVICE=" (-1 and a red line when missing) and "FILE=" of a programming command.
    int ReadProgramArguments(const CString& args, CString& file);
    // Opens the image and checks its board tag; prints its revision. Null after a red line.
    std::unique_ptr<COxd> OpenProgramImage(const CString& file);
    // The release date (yyyymmdd) of the codec table packages in directory; 0 when none is known.
    static DWORD ZyvPackageDate(const CString& directory);

    // Every child in the child map takes the root's board interface.
    void HandBoardIFToChildren();
    // What a root gives its children before every command, after the board interface (null board:
    // not a board device).
    virtual void PrepareChildren(CWexalBoardDevice* board) { (void)board; }
    static int ReadVerbose(const CString& arguments);

    const BoardRootProfile& m_profile;
    std::unique_ptr<CDirTreeOrdered> m_tree;
    std::unique_ptr<CStringQueue> m_queue;
    CString m_programDir;
    CString m_treePath;

private:
    CString ChooseTreePath(const BoardRootProfile& profile);
    void BindDevices();
    treepath::ConditionFacts GatherConditionFacts();
    CString MakeCommandText(const CString& strippedPath);
    void PrintHeader(const CString& name, const CString& arguments, int verbose);
};

template <class Root, size_t N>
DWORD CBoardRoot::DispatchKeyword(Root& root, const KeywordRow<Root> (&table)[N], const KeywordCall& call) {
    DWORD result = kRunFailed;
    if (RunKeywordRow(root, table, call, result) || RunKeywordRow<CBoardRoot>(*this, kSharedKeywords, call, result))
        return result;
    ReportNotRecognized(call.command);
    return kRunFailed;
}

template <class Root, size_t N>
bool CBoardRoot::RunKeywordRow(Root& root, const KeywordRow<Root> (&table)[N], const KeywordCall& call, DWORD& result) {
    for (const KeywordRow<Root>& row : table) {
        if (!row.handler) continue;
        const CString keyword(row.keyword);
        const bool matches = row.match == KeywordMatch::Exact ? call.arguments == keyword
                                                              : call.arguments.Left(keyword.GetLength()) == keyword;
        if (!matches) continue;
        KeywordCall handed = call;
        handed.rest = call.arguments.Mid(keyword.GetLength());
        handed.rest.TrimLeft(" \t");
        result = (root.*row.handler)(handed);
        switch (row.result) {
        case KeywordResult::PassWhenOne: result = result == kRunPassed ? kRunPassed : kRunFailed; break;
        case KeywordResult::AlwaysPass: result = kRunPassed; break;
        case KeywordResult::Handler: break;
        }
        return true;
    }
    return false;
}
