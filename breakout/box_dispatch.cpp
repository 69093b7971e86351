// Run and Help of the cable loopback, Bexi and Nulk tests: their keywords and what each one runs.
#include <iterator>

#include "breakout/external_io.h"

namespace {

constexpr DWORD kBexiFrameLimit = 13;

// The SDI loop through the Nulk returns each frame one frame late.
DWORD NulkSdiDelay(DWORD) { return 1; }

const box::Keyword kCableKeywords[] = {
    {"Loopback Functional", 1, true}, {"Loopback Images", 2, true}, {"Modify Image/Resolution List", 3, false}};
const box::Keyword kBexiKeywords[] = {{"Loopback Images", 2, true}, {"Modify Image/Resolution List", 3, false}};
const box::Keyword kNulkKeywords[] = {{"Test Yorb Command", 1, false},
                                      {"Loopback Functional", 2, true},
                                      {"Internal Loopback Images", 3, true},
                                      {"External Loopback Images", 4, true},
                                      {"Modify Internal Image/Resolution List", 5, false},
                                      {"Modify External Image/Resolution List", 6, false}};

const char* const kNulkExternalHelp[] = {
    "Test the Nulk SDI loopback path",
    "  Requires:  If testing NTSC or NTSCJ then disconnect",
    "             genlock or make sure the genlock is NTSC",
    "             compatible.",
    "",
    "             If testing PAL then disconnect genlock or",
    "             make sure the genlock is PAL compatible.",
    "",
    "  To select only NTSC, NTSCJ, or PAL select",
    "  \"Modifiy Image/Resolution List\" immediately above",
    "  this test.  Then click the \"Resolutions\" tab.",
    "",
    "  The pane on the right represents the resultions that",
    "  will be used during testing.",
    "",
    "  To remove an entry highlight it in the right pane then",
    "  click the \"Remove\" button.",
    "  To add an entry highlight it in the left pane then",
    "  click the \"Add\" button."};

}  // namespace

DWORD CCableLoopback::Run(CString command) {
    box::RunValues run;
    DWORD result = kRunFailed;
    if (!ReadRun(command, kCableKeywords, box::kMaxFrames, "CKerzil:  Parent is NULL\n", run, &result)) return result;
    switch (run.code & ~box::kFramesGiven) {
    case 1:
        return RunLoopbackFunctional("%s\t\tTest[CCableLoopback::LoopbackFunctional]~*BLACK*~\n",
                                     [&] { return LoopbackFunctional(run.code, run.arguments, run.frames, run.verbose); });
    case 2: {
        const box::ImageListForm form{&m_resolutions, nullptr, box::PatternImages::Unpacked,
                                      "%s\tTest[CCableLoopback:LoopbackImages:%s] DIM[%ld,%ld]~*BLACK*~\n", false, nullptr,
                                      [&](CImage& alpha, CImage& image, DWORD, DWORD frames) {
                                          return LoopbackImages(run.code, run.arguments, alpha, image, frames, run.verbose);
                                      }};
        return RunImageList(run, form);
    }
    case 3: return ModifyLists(m_resolutions, nullptr);
    }
    return kRunFailed;
}

DWORD CCableLoopback::Help(CString) {
    PrintHelp("Test for Cable loopback.\n");
    return kRunPassed;
}

DWORD CBexi::Run(CString command) {
    box::RunValues run;
    DWORD result = kRunFailed;
    if (!ReadRun(command, kBexiKeywords, kBexiFrameLimit, "CKerzil:  Parent is NULL\n", run, &result)) return result;
    switch (run.code & ~box::kFramesGiven) {
    case 2: {
        const box::ImageListForm form{&m_resolutions, &m_formats, box::PatternImages::UnpackedFormat,
                                      "%s\tTest[CBexi:LoopbackImages:%s] FMT[%s] DIM[%ld,%ld]~*BLACK*~\n", true, HdLoopDelay,
                                      [&](CImage& alpha, CImage& image, DWORD format, DWORD frames) {
                                          return LoopbackImages(run.code, run.arguments, alpha, image, format, frames,
                                                                run.verbose);
                                      }};
        return RunImageList(run, form);
    }
    case 3: return ModifyLists(m_resolutions, &m_formats);
    }
    return kRunFailed;
}

DWORD CBexi::Help(CString) {
    PrintHelp("Test for Bexi.\n");
    return kRunPassed;
}

DWORD CNulk::Run(CString command) {
    box::RunValues run;
    DWORD result = kRunFailed;
    if (!ReadRun(command, kNulkKeywords, box::kMaxFrames, "CNulk:  Parent is NULL\n", run, &result)) return result;
    switch (run.code & ~box::kFramesGiven) {
    case 1: return TestYorbCommand(run.code, run.arguments, run.verbose) == 1 ? kRunPassed : kRunFailed;
    case 2:
        return RunLoopbackFunctional("%s\tTest[CNulk::LoopbackFunctional]~*BLACK*~\n",
                                     [&] { return LoopbackFunctional(run.code, run.arguments, run.frames, run.verbose); });
    case 3: {
        const box::ImageListForm form{&m_resolutions, nullptr, box::PatternImages::EightBit,
                                      "%s\tTest[CNulk:LoopbackImages:%s] DIM[%ld,%ld]~*BLACK*~\n", true, nullptr,
                                      [&](CImage& alpha, CImage& image, DWORD, DWORD frames) {
                                          return InternalLoopbackImages(run.code, run.arguments, alpha, image, frames,
                                                                        run.verbose);
                                      }};
        return RunImageList(run, form);
    }
    case 4: {
        const box::ImageListForm form{&m_externalResolutions, &m_formats, box::PatternImages::UnpackedFormat,
                                      "%s\tTest[CNulk:ExternalLoopbackImages:%s] FMT[%s] DIM[%ld,%ld]~*BLACK*~\n", true,
                                      NulkSdiDelay, [&](CImage& alpha, CImage& image, DWORD format, DWORD frames) {
                                          return ExternalLoopbackImages(run.code, run.arguments, alpha, image, format,
                                                                        frames, run.verbose);
                                      }};
        return RunImageList(run, form);
    }
    case 5: return ModifyLists(m_resolutions, nullptr);
    case 6: return ModifyLists(m_externalResolutions, &m_formats);
    }
    return kRunFailed;
}

DWORD CNulk::Help(CString command) {
    std::vector<const char*> lines = {command.c_str(), "\n"};
    if (command.Left(24) == "External Loopback Images") lines.insert(lines.end(), std::begin(kNulkExternalHelp), std::end(kNulkExternalHelp));
    PrintHelp("Test for Nulk.\n", lines);
    return kRunPassed;
}
