// The Nulk test: its loopback switch, revision and product-data fetches, and the command console.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "breakout/external_io.h"
#include "breakout/yorb_commands.h"
#include "framework/arg_number.h"
#include "framework/param_string.h"
#include "yorbflow/symbol_table.h"
#include "yorbflow/yorb_command.h"

CNulk::CNulk(CJastel* controller, CString name)
    : CExternalIO(controller, std::move(name)) {
    ProjectFormatEntry entry;
    for (DWORD format : {22u, 23u, 24u})
        if (FindProjectFormat(format, &entry)) m_formats.push_back(entry);
    m_externalResolutions.FreeStrings();
    for (const ProjectFormatEntry& entry : m_formats) m_externalResolutions.Add(entry.name);
}


int CNulk::SetVideoLoopback(BYTE enable, int verbose) {
    NulkLoopbackPacket packet;
    packet.SetEnable(enable);
    Nulk::CYorbDiagData command(&packet);
    if (!SetupYorbflow(&command, verbose)) return 0;
    CString errorText;
    // A refused switch must not pass as done: the loopback tests would run on the wrong path.
    if (!command.Send(errorText)) {
        PrintColor(errorText + "\n\n", kRed);
        return 0;
    }
    if (verbose > 1) {
        CString line;
        line.Format("Nulk Video loopback %s\n", enable ? "enabled" : "disabled");
        PrintColor(line, kBlack);
    }
    return 1;
}

int CNulk::TestYorbCommand(DWORD, CString text, int) {
    const ArgNumber enable = ReadArgValue(CParamString(text), "ENABLE", platform::NumberForm::Decimal, platform::kSigned32Field);
    if (enable.state == ArgRead::Refused) {
        PrintColor(enable.refusal, kRed);
        return 0;
    }
    return SetVideoLoopback(enable.state == ArgRead::Read && enable.value != 0 ? 1 : 0, 1);
}

int CNulk::FetchRevisions(HWConfigFBRecord* record, int verbose) {
    CYorbNulk command;
    if (!SetupYorbflow(&command, verbose)) return 0;
    if (command.GetHWConfigFB(record)) return 1;
    PrintColor("Unable to Fetch FarnoDeK Revisions\n", kRed);
    PrintColor(command.GetErrorText() + "\n\n", kRed);
    return 0;
}

int CNulk::FetchVPDInfo(signed char board, BYTE* buffer, DWORD capacity, int verbose) {
    CYorbNulk command;
    if (!SetupYorbflow(&command, verbose)) return 0;
    if (command.GetVPDInfo(board, buffer, capacity)) return 1;
    PrintColor("Unable to Fetch FarnoDeK VPD Information\n", kRed);
    PrintColor(command.GetErrorText() + "\n\n", kRed);
    return 0;
}

int CNulk::RunYorbCommand(int wordCount, const char* const* words, BYTE* reply, DWORD capacity, DWORD* replyLength,
                          int verbose) {
    // Values are read into a buffer of this size; longer streams are cut, and only their first
    // four bytes are shown anyway.
    constexpr DWORD kValueBytes = 200;
    *replyLength = 0;
    CYorbNulk command;
    CString errorText;
    YorbFlow::YorbCommand answer;
    if (!SetupYorbflow(&command, verbose)) return 0;
    if (wordCount < 2) return 0;
    if (!command.SetCommand(words[1])) return 0;
    for (int i = 2; i + 1 < wordCount; i += 2)
        if (!command.AddParam(words[i], words[i + 1])) return 0;
    if (!command.Send(errorText, &answer)) {
        CString line;
        line.Format("YorbError: %s\n", errorText.c_str());
        PrintColor(line, kRed);
        return 0;
    }
    // Only "Get" exactly shows a reply; "GET" and "get" are requests too but answer nothing here.
    if (std::strncmp(words[1], "Get", 3) != 0) return 1;
    const CString yorbName = CString(words[1]).Mid(3);
    std::string text = std::string(words[1]) + " ";
    for (int i = 2; i < wordCount; ++i) {
        DWORD size = 0;
        if (!command.GetReplyParam(yorbName, words[i], answer, nullptr, &size)) continue;
        BYTE value[kValueBytes] = {};
        size = kValueBytes;
        if (!command.GetReplyParam(yorbName, words[i], answer, value, &size)) return 0;
        DWORD number = 0;
        std::memcpy(&number, value, size < 4 ? size : 4);
        text += words[i];
        const char* symbol = m_showValues ? nullptr : YorbFlow::FindYorbSymbol(yorbName.c_str(), words[i], number);
        CString shown;
        if (symbol)
            shown.Format(" %s ", symbol);
        else
            shown.Format(" 0x%X ", number);
        text += shown.str();
    }
    if (text.size() >= capacity) {
        CString line;
        line.Format("YorbError: reply of %u bytes does not fit in %u\n", static_cast<unsigned>(text.size()),
                    static_cast<unsigned>(capacity));
        PrintColor(line, kRed);
        return 0;
    }
    std::memcpy(reply, text.c_str(), text.size() + 1);
    *replyLength = static_cast<DWORD>(text.size());
    return 1;
}
