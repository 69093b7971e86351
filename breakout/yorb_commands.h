// CYorbBexi, CYorbNulk and Nulk::CYorbDiagData: the command sets of the box's video devices.
#pragma once

#include <initializer_list>
#include <utility>

#include "breakout/diag_packet.h"
#include "breakout/yorb_interface.h"
#include "platform/cstring.h"
#include "platform/types.h"

// The revision record "HWConfigFB" answers: twelve revision bytes (Gorvendalis, Tessmivar,
// Vishendal, Olmandrevik, Nasperol, Bradolin; major then minor), then the firmware text, cut to
// its capacity and always terminated.
struct HWConfigFBRecord {
    static constexpr DWORD kFirmwareRevCapacity = 64;  // a multiple of 4: the stream comes in words
    BYTE revisions[12];
    char firmwareRev[kFirmwareRevCapacity + 1];
};

// What both video devices take. Every value goes as its "%d" text, so a negative one reaches the
// library as a symbol. Each method answers 1 when the command was named, given its parameters and
// sent; 0 at the first failing step, with the error text set when the send failed with a text.
class CYorbVideoDevice : public CYorbInterface {
public:
    CString GetErrorText() const { return m_errorText; }

    int SetHVProjectFormat(int format);
    int SetHVInputFormat(int format, int alphaEnable);
    int SetIOMode(int type, int mode);
    int SetHVResizerEnable(BYTE value);
    // A video frame of 0 sends "SetStartIO" alone; any other sends the request "GetStartIOFrame"
    // with both frames.
    int SetStartIO(BYTE videoFrame, BYTE audioFrame);
    int SetStopIO();

protected:
    // SetCommand, AddParam of each {name, value} as "%d", Send.
    int SendCommand(const char* command, std::initializer_list<std::pair<const char*, int>> params);

    CString m_errorText;
};

class CYorbBexi : public CYorbVideoDevice {
public:
    int SetHVOutputFormat(int format, int proxyFormat, int alphaEnable);
};

class CYorbNulk : public CYorbVideoDevice {
public:
    // The Nulk has no proxy output: "SDProxyFormat" goes as 0.
    int SetHVOutputFormat(int format, int alphaEnable);
    int SetVideoOutput(int type, int unused = 0);
    int SetVideoInput(int type, int unused = 0);
    // Fills the record from the reply; 0 when a value cannot be read.
    int GetHWConfigFB(HWConfigFBRecord* record);
    // Reads the board's product data into buffer, which holds capacity bytes. 0 when "VPDSize" is 0
    // or more than capacity, or the read fails.
    int GetVPDInfo(signed char board, BYTE* buffer, DWORD capacity);
};

namespace Nulk {

// The Nulk diagnostic command: "SetDiagnostic" with "Length" 36 (where the data starts in the
// packet) and the packet as the "DiagData" byte stream, rounded up to whole words.
class CYorbDiagData : public CYorbInterface {
public:
    explicit CYorbDiagData(const DiagDataPacket* packet) : m_packet(packet) {}

    // 0 when the library does not know the command or its two parameters, or "DiagData" is no
    // byte stream.
    int BuildCommand(YorbFlow::YorbCommand& command) override;
    // The types of "Length" and "DiagData"; the field keeps the latter's.
    int ResolveParamTypes();
    int GetTypeCode() const { return m_type; }

    static constexpr WORD kDataOffset = 36;

private:
    CString m_commandName = "SetDiagnostic";
    CString m_lengthName = "Length";
    CString m_dataName = "DiagData";
    int m_type = kTypeError;
    const DiagDataPacket* m_packet;
};

}  // namespace Nulk
