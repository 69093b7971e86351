// The library's Tcl commands: each forwards to the selected board's Tcl test, which carries it out.
#include "boards/tcl/tcl_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "boards/tcl/tcl_buffers.h"
#include "boards/tcl/tcl_guard.h"
#include "boards/tcl/tcl_number.h"
#include "boards/tcl/tcl_test.h"
#include "breakout/external_io.h"
#include "framework/param_string.h"
#include "framework/result_screen.h"
#include "images/file_error.h"
#include "platform/files.h"

namespace {

using Argv = const char**;
using Operation = int (*)(Tcl& self, Tcl_Interp* interp, int argc, Argv argv);

constexpr DWORD kMaxPageMemory = 0x1000;
// The buffer walks look at the host's stop request once per this many bytes (a power of two): a
// walk of the largest buffer ends within a few milliseconds of the request.
constexpr DWORD kStopCheckBytes = 0x100000;

void SetResult(Tcl_Interp* interp, const CString& text) {
    Tcl_SetResult(interp, const_cast<char*>(text.c_str()), TCL_VOLATILE);
}

void SetHexResult(Tcl_Interp* interp, DWORD value) { SetResult(interp, FormatString("0x%X", value)); }

int Fail(Tcl& self, const CString& text) {
    self.PrintColor(text, kColorRed);
    return TCL_ERROR;
}

int CountError(Tcl& self, int argc) { return Fail(self, FormatString("\nInvalid number of arguments %d\n", argc)); }

// Reads argv[first] onwards into the outputs; false at the first word that is no number.
bool Numbers(Argv argv, int first, std::initializer_list<DWORD*> outputs) {
    for (DWORD* out : outputs)
        if (!ParseTclNumber(argv[first++], out)) return false;
    return true;
}

bool Lookup(Tcl& self, DWORD handle, TclBufferView* view) { return self.GetHandles().Lookup(handle, view); }

// The test whose marks a script's ReportError and ABORT set: the running test, which SetBoard
// carries across, or this one between runs. Null when the running board is no root.
Tcl* MarkedTest(Tcl& self) {
    CWexalTreeMapTB* running = self.GetRunningBoard();
    return running ? TclOfRoot(running) : &self;
}

int SetBoard(Tcl& self, Tcl_Interp*, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    const CString name(argv[1]);
    const bool main = name.CompareNoCase("Brimola1") == 0;
    if (!main && name.CompareNoCase("Nuxa1") != 0) return TCL_ERROR;
    CWexalTreeMapTB* root = main ? GetMainBoardRoot() : GetCodecBoardRoot();
    Tcl* chosen = TclOfRoot(root);
    if (!chosen) return TCL_ERROR;
    chosen->SetRunningBoard(self.GetRunningBoard());
    const CWexalBoardIF& rootIF = root->GetBoardIF();
    if (!(main ? rootIF.GetMainBoardRegisters() : rootIF.GetCodecBoardRegisters())) return TCL_ERROR;
    g_pTclBoard = root;
    return TCL_OK;
}

int DisplayString(Tcl& self, Tcl_Interp*, int argc, Argv argv) {
    if (argc != 2) return TCL_ERROR;
    self.PrintColor(argv[1], kColorBlack);
    return TCL_OK;
}

int DisplayObj(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    const char* value = Tcl_GetVar(interp, argv[1], TCL_GLOBAL_ONLY);
    if (!value) return Fail(self, FormatString("\nVariable %s not found\n", argv[1]));
    self.PrintColor(FormatString("%s: %f\n", argv[1], std::atof(value)), kColorBlack);
    return TCL_OK;
}

// The selected board's register window, cached in the test; false after the "not setup" line.
bool Window(Tcl& self, RegisterPtr* start, DWORD* busAddress) {
    if (!self.FindRegisterWindow(start, busAddress)) {
        self.PrintColor("BrimolaBAR0 and PNuxaBAR0 not setup", kColorRed);
        return false;
    }
    self.SetBAR0Pointer(*start);
    return true;
}

int GetBAR0(Tcl& self, Tcl_Interp* interp, int argc, Argv) {
    RegisterPtr start;
    DWORD bus = 0;
    if (!Window(self, &start, &bus)) return TCL_ERROR;
    if (argc != 1) return CountError(self, argc);
    SetHexResult(interp, bus);
    return TCL_OK;
}

int BAR0(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    RegisterPtr start;
    DWORD bus = 0;
    if (!Window(self, &start, &bus)) return TCL_ERROR;
    if (argc != 2 && argc != 3) return CountError(self, argc);
    DWORD offset = 0, value = 0;
    if (!Numbers(argv, 1, {&offset}) || (argc == 3 && !Numbers(argv, 2, {&value}))) return TCL_ERROR;
    if (offset >= Tcl::kWindowBytes)
        return Fail(self, FormatString("\nOffset 0x%X is outside the register window\n", offset));
    if (argc == 2)
        SetHexResult(interp, start[offset / 4]);
    else
        start[offset / 4] = value;
    return TCL_OK;
}

// ReadReg and WriteReg take the address GetBAR0 gives plus an offset; only the selected board's
// window answers, and through it, so each access has the register's side effects.
bool RegisterAt(Tcl& self, DWORD address, RegisterPtr* reg) {
    RegisterPtr start;
    DWORD bus = 0;
    if (!self.FindRegisterWindow(&start, &bus) || address < bus || address - bus >= Tcl::kWindowBytes) {
        self.PrintColor(FormatString("\nAddress 0x%X is outside the register window\n", address), kColorRed);
        return false;
    }
    *reg = start + (address - bus) / 4;
    return true;
}

int ReadReg(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD address = 0;
    RegisterPtr reg;
    if (!Numbers(argv, 1, {&address})) return TCL_ERROR;
    if (!RegisterAt(self, address, &reg)) return TCL_ERROR;
    SetHexResult(interp, *reg);
    return TCL_OK;
}

int WriteReg(Tcl& self, Tcl_Interp*, int argc, Argv argv) {
    if (argc != 3) return CountError(self, argc);
    DWORD address = 0, value = 0;
    RegisterPtr reg;
    if (!Numbers(argv, 1, {&address, &value})) return TCL_ERROR;
    if (!RegisterAt(self, address, &reg)) return TCL_ERROR;
    *reg = value;
    return TCL_OK;
}

// The SDRAM commands fail the script when a transfer fails (the transfer has printed why).
int PeekSDRAM(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD address = 0, value = 0;
    if (!Numbers(argv, 1, {&address})) return TCL_ERROR;
    if (!self.ReadMemory(address, &value, sizeof value)) return TCL_ERROR;
    SetHexResult(interp, value);
    return TCL_OK;
}

int PokeSDRAM(Tcl& self, Tcl_Interp*, int argc, Argv argv) {
    if (argc != 3) return CountError(self, argc);
    DWORD address = 0, value = 0;
    if (!Numbers(argv, 1, {&address, &value})) return TCL_ERROR;
    return self.WriteMemory(&value, address, sizeof value) ? TCL_OK : TCL_ERROR;
}

int MoveSDRAM(Tcl& self, int argc, Argv argv, bool toSDRAM) {
    if (argc != 3) return CountError(self, argc);
    DWORD address = 0, handle = 0;
    TclBufferView view;
    if (!Numbers(argv, 1, {&address, &handle})) return TCL_ERROR;
    if (!Lookup(self, handle, &view)) return Fail(self, "\nInvalid Buffer Address \n");
    if (!view.data) return TCL_OK;  // nothing to move
    const bool moved = toSDRAM ? self.WriteMemory(view.data, address, view.size) : self.ReadMemory(address, view.data, view.size);
    return moved ? TCL_OK : TCL_ERROR;
}

int ReadSDRAM(Tcl& self, Tcl_Interp*, int argc, Argv argv) { return MoveSDRAM(self, argc, argv, false); }
int WriteSDRAM(Tcl& self, Tcl_Interp*, int argc, Argv argv) { return MoveSDRAM(self, argc, argv, true); }

int CreateBuffer(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD size = 0;
    if (!Numbers(argv, 1, {&size})) return TCL_ERROR;
    if (size > kMaxScriptBuffer)
        return Fail(self, FormatString("Invalid length. Must be no greater than %u(0x%X)\n", kMaxScriptBuffer, kMaxScriptBuffer));
    SetResult(interp, CTclHandles::Format(self.GetHandles().AddBuffer(std::make_unique<CBuffer>(size))));
    return TCL_OK;
}

int CreatePageMemory(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD size = 0;
    if (!Numbers(argv, 1, {&size})) return TCL_ERROR;
    if (size > kMaxPageMemory) {
        self.Print("Invalid length. Must be no greater than 4096(0x1000)\n");
        return TCL_ERROR;
    }
    SetResult(interp, CTclHandles::Format(self.GetHandles().AddPageMemory(std::make_unique<PageMemory>(size))));
    return TCL_OK;
}

int DeleteBuffer(Tcl& self, Tcl_Interp*, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD handle = 0;
    if (!Numbers(argv, 1, {&handle})) return TCL_ERROR;
    if (!self.GetHandles().DeleteBuffer(handle)) self.GetHandles().DeletePageMemory(handle);
    return TCL_OK;
}

int GetPhysicalAddr(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD handle = 0;
    if (!Numbers(argv, 1, {&handle})) return TCL_ERROR;
    const PageMemory* page = self.GetHandles().FindPageMemory(handle);
    if (!page) return Fail(self, "\nInvalid Buffer Address \n");
    const ULONGLONG bus = page->GetPhysicalAddress();
    SetResult(interp, FormatString("0x%08X:%08X", static_cast<DWORD>(bus >> 32), static_cast<DWORD>(bus)));
    return TCL_OK;
}

// Set/GetBufferValue: width handle offset [value]. The numbers are read before anything is checked.
int BufferValue(Tcl& self, Tcl_Interp* interp, int argc, Argv argv, bool set) {
    if (argc != (set ? 5 : 4)) return CountError(self, argc);
    DWORD handle = 0, offset = 0, value = 0;
    if (!Numbers(argv, 2, {&handle, &offset}) || (set && !Numbers(argv, 4, {&value}))) return TCL_ERROR;
    TclBufferView view;
    if (!Lookup(self, handle, &view)) return Fail(self, "\nInvalid Buffer Address \n");
    if (offset >= view.size) return Fail(self, FormatString("Offset larger than buffer length(0x%X)\n", view.size));
    const CString width(argv[1]);
    DWORD read = 0;
    if (width.CompareNoCase("byte") == 0)
        set ? (void)view.SetByte(offset, static_cast<BYTE>(value)) : (void)(read = view.GetByte(offset));
    else if (width.CompareNoCase("short") == 0)
        set ? (void)view.SetShort(offset, static_cast<WORD>(value)) : (void)(read = view.GetShort(offset));
    else if (width.CompareNoCase("word") == 0)
        set ? (void)view.SetWord(offset, value) : (void)(read = view.GetWord(offset));
    else
        return Fail(self, "Missing word size parameter byte, short,or word \n");
    if (!set) SetHexResult(interp, read);
    return TCL_OK;
}

int SetBufferValue(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) { return BufferValue(self, interp, argc, argv, true); }
int GetBufferValue(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) { return BufferValue(self, interp, argc, argv, false); }

int ReportError(Tcl& self, Tcl_Interp*, int, Argv) {
    Tcl* marked = MarkedTest(self);
    if (!marked) return TCL_ERROR;
    marked->SetFailMark();
    return TCL_OK;
}

int Abort(Tcl& self, Tcl_Interp*, int, Argv) {
    Tcl* marked = MarkedTest(self);
    if (!marked) return TCL_ERROR;
    marked->SetAbortMark();
    return TCL_OK;
}

DWORD WordAt(const BYTE* data, DWORD offset) {
    DWORD word;
    std::memcpy(&word, data + offset, sizeof word);
    return word;
}

int CompareBuffers(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 3 && argc != 4) return CountError(self, argc);
    const bool print = argc != 4 || CString(argv[3]).CompareNoCase("noprint") != 0;
    DWORD goodHandle = 0, badHandle = 0;
    if (!Numbers(argv, 1, {&goodHandle, &badHandle})) return TCL_ERROR;
    TclBufferView good, bad;
    if (!Lookup(self, goodHandle, &good)) return Fail(self, "\nInvalid Good Buffer Address \n");
    if (!Lookup(self, badHandle, &bad)) return Fail(self, "\nInvalid Bad Buffer Address \n");
    const DWORD length = good.size < bad.size ? good.size : bad.size;
    DWORD count = 0;
    for (DWORD offset = 0; offset + 4 <= length; offset += 4) {
        if ((offset & (kStopCheckBytes - 1)) == 0 && CTclGuard::StopRequested()) return TCL_ERROR;
        const DWORD expected = WordAt(good.data, offset), actual = WordAt(bad.data, offset);
        if (expected == actual) continue;
        ++count;
        if (print)
            self.PrintColor(FormatString("Buffer Compare Error Detected\nFailure offset 0x%X\nGood data 0x%X\n"
                                         "Bad data 0x%X\nBits in error 0x%X\n",
                                         offset, expected, actual, expected ^ actual),
                            kColorRed);
        ReportError(self, interp, argc, argv);
        if (count >= self.GetAbortCount()) break;
    }
    SetResult(interp, FormatString("%d", static_cast<int>(count)));
    return TCL_OK;
}

// CopyBuffers source sourceWord destination destinationWord bytes: both ranges must lie inside
// their buffers (sums taken in 64 bits, so no wrap lets a copy out).
int CopyBuffers(Tcl& self, Tcl_Interp*, int argc, Argv argv) {
    if (argc != 6) return CountError(self, argc);
    DWORD source = 0, sourceWord = 0, destination = 0, destinationWord = 0, bytes = 0;
    if (!Numbers(argv, 1, {&source, &sourceWord, &destination, &destinationWord, &bytes})) return TCL_ERROR;
    TclBufferView from, to;
    if (!Lookup(self, source, &from)) return Fail(self, "\nInvalid Source Buffer Address \n");
    if (!Lookup(self, destination, &to)) return Fail(self, "\nInvalid Destination Buffer Address \n");
    const ULONGLONG fromEnd = 4ULL * sourceWord + bytes, toEnd = 4ULL * destinationWord + bytes;
    if (fromEnd > from.size || toEnd > to.size)
        return Fail(self, FormatString("\nCopy of 0x%X bytes runs past the %s buffer\n", bytes,
                               fromEnd > from.size ? "source" : "destination"));
    const BYTE* in = from.data + 4ULL * sourceWord;
    BYTE* out = to.data + 4ULL * destinationWord;
    for (DWORD done = 0; done < bytes; done += kStopCheckBytes) {
        if (CTclGuard::StopRequested()) return TCL_ERROR;
        const DWORD end = bytes - done < kStopCheckBytes ? bytes : done + kStopCheckBytes;
        for (DWORD i = done; i < end; ++i) out[i] = in[i];  // forward, also when the ranges overlap
    }
    return TCL_OK;
}

int LoadImage(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    CString file(argv[1]);
    if (ExpandPathMacros(file, TRUE, TRUE) == kPathNotFound)
        return Fail(self, FormatString("ERROR:  Unable to expand variables FILE[%s] setting.\n", file.c_str()));
    // Through the platform's open, which refuses a FIFO or device at once (a read would wait).
    FILE* fp = platform::OpenFile(file.c_str(), "rb");
    if (!fp) {
        const int error = errno;
        return Fail(self, images_detail::SaveFailureText(FormatString("Error opening %s\n", file.c_str()), error));
    }
    // The length in 64 bits: a file larger than the largest script buffer is refused whole, never
    // cut to fit (nor wrapped to a small size by the rounding below).
    const bool sized = std::fseek(fp, 0, SEEK_END) == 0;
    const long long end = sized ? static_cast<long long>(std::ftell(fp)) : -1;
    if (end < 0 || end > kMaxScriptBuffer || std::fseek(fp, 0, SEEK_SET) != 0) {
        std::fclose(fp);
        return Fail(self, "Unable to fetch entire file\n");
    }
    const DWORD length = static_cast<DWORD>(end);
    // Whole words, so a file of any length gets storage; the bytes past its end stay zero.
    auto buffer = std::make_unique<CBuffer>((length + 3) & ~3u);
    if (length && !buffer->GetData()) {
        std::fclose(fp);
        self.PrintColor("Error tryint to allocate a buffer for the file\n", kColorRed);
        ReportError(self, interp, argc, argv);
        Abort(self, interp, argc, argv);
        return TCL_OK;
    }
    // A short read (the file shrank, or a read error) leaves no half-filled buffer behind.
    const bool whole = !length || std::fread(buffer->GetData(), 1, length, fp) == length;
    std::fclose(fp);
    if (!whole) return Fail(self, "Unable to fetch entire file\n");
    SetResult(interp, CTclHandles::Format(self.GetHandles().AddBuffer(std::move(buffer))));
    return TCL_OK;
}

int SaveImage(Tcl& self, Tcl_Interp*, int argc, Argv argv) {
    if (argc != 3) return CountError(self, argc);
    DWORD handle = 0;
    if (!Numbers(argv, 2, {&handle})) return TCL_ERROR;
    const CBuffer* buffer = self.GetHandles().FindBuffer(handle);
    if (!buffer) return Fail(self, "\nInvalid Buffer Address \n");
    // The file is replaced only by the whole buffer: a failed write leaves it as it was.
    const images_detail::SaveOutcome saved = images_detail::SaveWhole(argv[1], [&](CFile& file) {
        return file.Write(buffer->GetData(), static_cast<UINT>(buffer->GetSize())) ? 1 : 0;
    });
    if (saved.result != 1)
        return Fail(self, images_detail::SaveFailureText(FormatString(saved.opened ? "Error writing %s\n" : "Error opening %s\n", argv[1]), saved.error));
    return TCL_OK;
}

int ByteSwap(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD value = 0;
    if (!Numbers(argv, 1, {&value})) return TCL_ERROR;
    SetHexResult(interp, (value >> 24) | ((value >> 8) & 0xFF00) | ((value << 8) & 0xFF0000) | (value << 24));
    return TCL_OK;
}

int ConvertBinary(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) {
    if (argc != 2) return CountError(self, argc);
    DWORD value = 0;
    if (!Numbers(argv, 1, {&value})) return TCL_ERROR;
    char digits[33];
    for (int bit = 0; bit < 32; ++bit) digits[bit] = (value >> (31 - bit)) & 1 ? '1' : '0';
    digits[32] = '\0';
    SetResult(interp, digits);
    return TCL_OK;
}

// Yorb and YorbV: the reply is built by the breakout-box console. Its text holds the command name
// and, per word, the word and one value (a symbol or " 0x%X "), so a buffer of the words' length
// plus room for a value per word always holds it whole; the console never writes past it anyway.
int RunYorb(Tcl& self, Tcl_Interp* interp, int argc, Argv argv, BYTE showNumbers) {
    CNulk* nulk = self.GetNulk();
    if (!nulk) return TCL_ERROR;
    nulk->SetShowValues(showNumbers);
    constexpr DWORD kValueRoom = 256;
    size_t capacity = 2000;
    for (int i = 0; i < argc; ++i) capacity += std::strlen(argv[i]) + kValueRoom;
    std::vector<BYTE> reply(capacity);
    DWORD length = 0;
    if (!nulk->RunYorbCommand(argc, argv, reply.data(), static_cast<DWORD>(capacity), &length, self.GetVerbose()))
        return TCL_ERROR;
    if (length > capacity) length = static_cast<DWORD>(capacity);
    if (length == 0) return TCL_OK;
    if (length <= 4) {
        DWORD value = 0;
        for (DWORD i = length; i-- > 0;) value = (value << 8) | reply[i];
        SetHexResult(interp, value);
        return TCL_OK;
    }
    SetResult(interp, CString(reinterpret_cast<const char*>(reply.data()), static_cast<int>(length)));
    return TCL_OK;
}

int Yorb(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) { return RunYorb(self, interp, argc, argv, 0); }
int YorbV(Tcl& self, Tcl_Interp* interp, int argc, Argv argv) { return RunYorb(self, interp, argc, argv, 1); }

// Each command procedure hands the call to the Tcl test of the board g_pTclBoard names.
template <Operation op>
int Forward(ClientData, Tcl_Interp* interp, int argc, const char* argv[]) {
    Tcl* selected = TclOfRoot(g_pTclBoard);
    return selected ? op(*selected, interp, argc, argv) : TCL_ERROR;
}

struct Command {
    const char* name;
    Tcl_CmdProc* procedure;
};

// In the order scripts have always seen them registered.
constexpr Command kCommands[] = {
    {"SetBoard", Forward<SetBoard>},
    {"echo", Forward<DisplayString>},
    {"DisplayString", Forward<DisplayString>},
    {"DisplayObj", Forward<DisplayObj>},
    {"GetBAR0", Forward<GetBAR0>},
    {"PeekSDRAM", Forward<PeekSDRAM>},
    {"PokeSDRAM", Forward<PokeSDRAM>},
    {"ReadSDRAM", Forward<ReadSDRAM>},
    {"WriteSDRAM", Forward<WriteSDRAM>},
    {"CreateBuffer", Forward<CreateBuffer>},
    {"DeleteBuffer", Forward<DeleteBuffer>},
    {"WriteReg", Forward<WriteReg>},
    {"ReadReg", Forward<ReadReg>},
    {"BAR0", Forward<BAR0>},
    {"SetBufferValue", Forward<SetBufferValue>},
    {"GetBufferValue", Forward<GetBufferValue>},
    {"CompareBuffers", Forward<CompareBuffers>},
    {"ByteSwap", Forward<ByteSwap>},
    {"ReportError", Forward<ReportError>},
    {"ABORT", Forward<Abort>},
    {"LoadImage", Forward<LoadImage>},
    {"SaveImage", Forward<SaveImage>},
    {"CreatePageMemory", Forward<CreatePageMemory>},
    {"GetPhysicalAddr", Forward<GetPhysicalAddr>},
    {"CopyBuffers", Forward<CopyBuffers>},
    {"Yorb", Forward<Yorb>},
    {"YorbV", Forward<YorbV>},
    {"ConvertBinary", Forward<ConvertBinary>},
};

}  // namespace

int RegisterTclCommands(Tcl_Interp* interp) {
    for (const Command& command : kCommands)
        if (!Tcl_CreateCommand(interp, command.name, command.procedure, nullptr, nullptr)) return 1;
    return 0;
}
