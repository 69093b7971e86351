// CNuxaBoardTests::SaveDCBImage: a codec image save addressed by DCB, issued once per DCB.
#include <algorithm>
#include <vector>

#include "boards/roots/nuxa_board_tests.h"
#include "framework/result_screen.h"
#include "platform/number_text.h"

namespace {

// A stretch of the command that each issued command writes anew. Only these stretches change: the
// same words elsewhere in the command (a file named like the keyword, the root's name or the
// macro inside a file name) stay as written.
struct Field {
    enum Kind { TestName, Macro, File } kind;
    int first;
    int length;
    CString text;
};

// A token that is a decimal number and nothing else (an optional sign first); false for anything
// else, a number past an int included: every such field is illegal, never cut to a DCB.
bool ReadDecimal(const CString& token, int& value) {
    const platform::FieldScan read = platform::ReadField(token.c_str(), platform::NumberForm::Decimal, platform::kSigned32Field);
    if (read.fit != platform::NumberFit::Fits || *read.end != '\0') return false;
    value = static_cast<int>(read.value);
    return true;
}

// The test name as the command splitter finds it: after the first "<" behind the device word, up
// to a blank, a tab or the closing ">". Its length is -1 when the command names no test.
Field FindTestName(const CString& command) {
    const int blank = command.Find(' ');
    const int open = command.Find('<', blank < 0 ? 0 : blank + 1);
    if (open < 0) return {Field::TestName, 0, -1, CString()};
    const CString name = command.Mid(open + 1).SpanExcluding(" \t>");
    return {Field::TestName, open + 1, name.GetLength(), name};
}

}  // namespace

int CNuxaBoardTests::SaveDCBImage(CString command) {
    auto refuse = [this](const char* message) {
        PrintColor(message, kColorRed);
        return 0;
    };
    CString upper = command;
    upper.MakeUpper();
    const int macro = upper.Find("ADDRESS=@DCB");
    const int open = macro < 0 ? -1 : command.Find('(', macro);
    const int close = open < 0 ? -1 : command.Find(')', open);
    const Field name = FindTestName(command);
    if (close < 0 || name.length < 0) return 0;

    const CString fields = command.Mid(open + 1, close - open - 1);
    CString token[4];
    int at = 0;
    for (CString& t : token) t = fields.Tokenize(" ,\t\n", at);
    if (token[0].IsEmpty()) return refuse("DCB Field #1:  Unable to find PACKER/UNPACKER.\n");
    const bool packer = token[0].CompareNoCase("PACKER") == 0;
    if (!packer && token[0].CompareNoCase("UNPACKER") != 0) return refuse("DCB Field #1:  Must be PACKER or UNPACKER.\n");
    if (token[1].IsEmpty()) return refuse("DCB Field #2:  Unable to find DEVICEA/DEVICEB.\n");
    const bool chipA = token[1].CompareNoCase("DEVICEA") == 0;
    if (!chipA && token[1].CompareNoCase("DEVICEB") != 0) return refuse("DCB Field #2:  Must be DEVICEA or DEVICEB.\n");
    int start = 0, count = 0;
    if (token[2].IsEmpty()) return refuse("DCB Field #3:  Unable to find dcbStart.\n");
    if (!ReadDecimal(token[2], start) || start < 1 || start > 15) return refuse("DCB Field #3:  Illegal value for dcbStart.\n");
    if (token[3].IsEmpty()) return refuse("DCB Field #4:  Unable to find dcbCount.\n");
    if (!ReadDecimal(token[3], count) || count < 1 || count > 16 - start)
        return refuse("DCB Field #4:  Illegal value for dcbCount.\n");

    // The file text: a quoted name with its quotes, else up to a blank or the ">" that closes the
    // command, so a suffix given to a name at the end stays inside the command.
    std::vector<Field> changed = {name, {Field::Macro, open + 1, close - open - 1, CString()}};
    CString file;
    const int key = command.Find("FILE=");
    if (key >= 0) {
        int first = key + 5;
        while (command[first] == ' ') ++first;
        int end = -1;
        if (command[first] == '"') {
            end = command.Find('"', first + 1);
            if (end < 0) return refuse("Invalid file name");
            ++end;
        } else {
            end = command.Find(' ', first);
            if (end < 0) end = command.GetLength();
            const int closing = command.ReverseFind('>');
            if (closing >= first && closing < end) end = closing;
        }
        file = command.Mid(first, end - first);
        if (!file.IsEmpty()) changed.push_back({Field::File, first, end - first, CString()});
    }
    // A file text reaching into the macro or the test name cannot be given its own suffix.
    std::sort(changed.begin(), changed.end(), [](const Field& a, const Field& b) { return a.first < b.first; });
    for (size_t i = 1; i < changed.size(); ++i)
        if (changed[i - 1].first + changed[i - 1].length > changed[i].first) return refuse("Invalid file name");

    // Chip A saves through channels 28 ("PPPA_OUT") and 24 ("PPPA_IN"), chip B through 29 and 25.
    const int channels[2] = {chipA ? 28 : 29, chipA ? 24 : 25};
    CString target;
    target.Format("CSorbelin%s%c", packer ? "Packer" : "Unpacker", chipA ? 'A' : 'B');
    // Every DCB is issued even after a failed one; the save passes only when each issued save did,
    // so a missing target test or a save that wrote nothing is not a pass. A stop ends the saves.
    int result = kRunPassed;
    for (int dcb = start; dcb < start + count; ++dcb) {
        if (CWexal::IsStopRequested()) return kRunStopped;
        CString issued;
        int copied = 0;
        for (Field& field : changed) {
            if (field.kind == Field::TestName) field.text = target;
            else if (field.kind == Field::Macro) field.text.Format("%d, %d, %d", channels[0], channels[1], dcb);
            else field.text.Format(packer ? "%s.Packed.%d" : "%s.Unpacked.%d", file.c_str(), dcb);
            issued += command.Mid(copied, field.first - copied) + field.text;
            copied = field.first + field.length;
        }
        if (Run(issued + command.Mid(copied)) != kRunPassed) result = kRunFailed;
    }
    return result;
}
