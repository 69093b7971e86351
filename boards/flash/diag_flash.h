// CDiagFlash ("Flash"): programs, checks and reports the firmware images in the board's flash PROM segments.
#pragma once

#include <vector>

#include "framework/tree_map_tb.h"
#include "platform/cstring.h"
#include "platform/types.h"

class CFlashImageFile;
class CFlashPROM;

// One named part of the flash. Addresses and sizes are 16-bit flash words; a size of 0 is the
// whole device. Board mask: bit 0 the main board, bit 1 the codec board; bit 31 marks the other
// board's alternative to the record before it.
struct FlashSegmentInfo {
    const char* name;
    int start;
    int size;
    BOOL hasRecord;
    DWORD boards;
    const char* ids[3];  // first id; then the main board's and the codec board's own
};

// Run takes MODE (any of CHECK, PROG, REPORT; NOCHECK, NOPROG, NOREPORT clear them), DEVICE (a
// segment name, any case) and FILE (an OXD file or template, path macros allowed). The operations
// run in the order PROG, CHECK, REPORT, each only while the earlier ones passed. Results: 1 pass,
// 2 fail, 3 stopped between flash blocks.
class CDiagFlash : public CWexalTreeMapTB {
public:
    static constexpr DWORD kBlockWords = 0x10000;
    static constexpr DWORD kCompareRun = 0x100;

    explicit CDiagFlash(CString name);

    DWORD Run(CString arguments) override;
    void ShowHelp() override;
    virtual void SetParent(CWexalTreeMapTB* parent);
    CWexalTreeMapTB* GetParent() const { return m_parent; }

    // Puts the board's VPD revision in place of "$(VPDVER)", expands the path macros and finds the
    // file (a dialog when ask is set), whose name must carry that revision after its four-letter
    // id. 1 found (path rewritten; "OXD FILE:" line at verbose 1 and up), 2 not.
    virtual DWORD DetermineFilenameOXD(CString& path, BOOL ask, DWORD verbose);

    // The segment table, ended by a record without a name.
    static const FlashSegmentInfo kSegments[];
    // The first segment of that name (any case), null when none.
    static const FlashSegmentInfo* FindSegment(const CString& name);

private:
    int BoardType();
    bool VerifyBoard(const FlashSegmentInfo* segment);
    // Opens the file and checks it fits the segment; fills data with the image bytes.
    DWORD ReadyImage(const CString& file, CFlashImageFile& image, const FlashSegmentInfo& segment,
                     std::vector<BYTE>& data);
    bool IdMatches(const char* imageId, const FlashSegmentInfo& record, int boardType) const;
    DWORD Program(const CString& file, const FlashSegmentInfo* segment);
    DWORD ProgramSteps(const FlashSegmentInfo& segment, const CString& fileName, const char* headerText,
                       const std::vector<BYTE>& data);
    DWORD Check(const CString& file, const FlashSegmentInfo* segment);
    DWORD Compare(const FlashSegmentInfo& segment, const std::vector<BYTE>& data);
    DWORD Report(const FlashSegmentInfo& segment);
    bool AttachFlash(CFlashPROM& flash);
    bool Stopped();

    CWexalTreeMapTB* m_parent = nullptr;
    BOOL m_boardSpecificIds = FALSE;
};
