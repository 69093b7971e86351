// CYorbInterface: one breakout-box command being assembled, checked, sent and its reply read.
#pragma once

#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

class CYorbFlowDevice;
namespace YorbFlow {
class YorbCommand;
}

// One parameter waiting to be sent: its library name, the value text as added, its type code.
struct YorbParam {
    CString name;
    CString value;  // decimal digits, "0x" and hex digits, or a symbol of the library
    int type = 0;
};

// A command is named with a three-character prefix the library does not see: the library (Yorb)
// name is the rest. A prefix of "SET" in any letter case makes it a send, anything else a request.
// Use: SetDevice (through the breakout-box set-up), SetCommand, AddParam per parameter, Send; for a
// request, GetReplyParam on the reply Send copied out. Nothing is printed here: callers print the
// error text Send leaves.
class CYorbInterface {
public:
    // Parameter type codes as the library names them: "INT8" 1 ... "UINT64" 8, "BYTES" 9; 0 none.
    enum TypeCode { kTypeError = 0, kInt8, kInt16, kInt32, kInt64, kUInt8, kUInt16, kUInt32, kUInt64, kBytes };

    CYorbInterface() = default;
    virtual ~CYorbInterface() = default;
    CYorbInterface(const CYorbInterface&) = delete;
    CYorbInterface& operator=(const CYorbInterface&) = delete;

    // Builds the command, sends it and maps the conduit's result. 1 on success: name and parameters
    // are emptied and the reply copied into *reply when given. 0 otherwise; errorText is set for
    // every result with a text and for a number too wide for its parameter (a result of 2, a missing
    // device or another failed build leave it alone), and the name and parameters stay.
    virtual int Send(CString& errorText, YorbFlow::YorbCommand* reply = nullptr);
    // Fills a library command from the name and the list; 0 when a numeric value meets a byte-stream
    // parameter, or is wider than its parameter's type (GetRefusal then names it).
    virtual int BuildCommand(YorbFlow::YorbCommand& command);
    // Why the last build refused a number ("Board=0x1FF does not fit its INT8 parameter"); empty
    // when it did not.
    const CString& GetRefusal() const { return m_refusal; }
    // 1 with *value set when text is a number of at most 32 bits ("0x" and hex digits, or decimal
    // digits; the empty text is a number and leaves *value alone); 0 when it is to go as a symbol.
    virtual int ParseValue(const CString& text, DWORD* value);
    // 0 only when the library does not know the command.
    virtual int IsValidCommand(const CString& yorbName);
    // The type code of a parameter of the current command into *type (0 on failure); 1 when known.
    virtual int GetParamType(const CString& paramName, int* type);

    // Stores the command device; answers the previous one.
    CYorbFlowDevice* SetDevice(CYorbFlowDevice* device);
    CYorbFlowDevice* GetDevice() const { return m_device; }
    // Stores the full name (prefix included); 0 for an empty name or one the library does not know.
    // The parameter list is kept.
    int SetCommand(const CString& name);
    // Appends the parameter with its type under the current command; 0 (nothing added) when the
    // command has no such parameter.
    int AddParam(const CString& name, const CString& value);
    CString GetYorbName() const;
    int IsSetCommand() const;
    const CString& GetCommandName() const { return m_command; }
    const std::vector<YorbParam>& GetParams() const { return m_params; }

    // The type code of the command's parameter from the library's type text; 0 when refused.
    static int FindParamType(const CString& yorbName, const CString& paramName);
    // Bytes of a value of the type (0 for BYTES and unknown codes).
    static DWORD TypeWidth(int type);
    // Reads one value of a reply. With a null output: *size = the value's width (a byte stream's
    // length rounded up to 4) and 1. Otherwise a typed value is written with its full width, which
    // *size must hold (0 when it does not, nothing written); a byte stream clears *size bytes and
    // copies at most that many. *size ends as the width written. 0 without a device, for an unknown
    // parameter or an empty stream.
    int GetReplyParam(const CString& yorbName, const CString& paramName, const YorbFlow::YorbCommand& reply,
                      void* output, DWORD* size) const;

private:
    CYorbFlowDevice* m_device = nullptr;
    CString m_command;
    std::vector<YorbParam> m_params;
    CString m_refusal;
};

inline DWORD RoundUp4(DWORD n) { return (n + 3) & ~DWORD{3}; }
