// The device tree: devices with their child devices and address spaces, the host root, and the board devices.
#pragma once

#include <memory>
#include <vector>

#include "devlib/addr_space.h"
#include "devlib/dma_channel.h"
#include "devlib/perf_list.h"
#include "platform/cstring.h"

class CWexalSDRAMSpace;
class CWexalBAR0Space;
namespace YorbFlow {
class YorbCommand;
}
namespace sim {
class BreakoutBox;
}

// A node of the device tree. A device owns its children and its spaces.
class PEX_EXPORT CZorvDevice {
public:
    enum DEVTYPE {
        DEVTYPE_NONE = 0,
        DEVTYPE_HOSTPC = 1,
        DEVTYPE_BRIMOLA = 2,     // main board
        DEVTYPE_NUXA = 3,        // codec board
        DEVTYPE_CLOCK = 4,       // a board's clock device
        DEVTYPE_FARNODEK = 5,    // the breakout box
        DEVTYPE_LOOPBACK = 6,    // a loopback cable on the external I/O connector
        DEVTYPE_YORBFLOW = 7,    // the breakout box's command conduit
        DEVTYPE_END = 8,         // ends a list of device types
        DEVTYPE_I2C = 9,         // a board's I2C bus
    };

    // Results of the breakout-box command conduit (1 success; the command library names the rest).
    enum PARRTNTYPE {
        PAR_IGNORED = 0,
        PAR_SUCCESS = 1,
        PAR_FAILURE = 2,
        PAR_PROGRAM_ERROR = 3,
        PAR_WRONG_TYPE = 4,
        PAR_BAD_LENGTH = 5,
        PAR_CONSTANT_TYPE = 6,
        PAR_PARAMS_MISSING = 7,
        PAR_PARAM_MISSING_OR_TYPE = 8,
        PAR_BAD_VALUE = 9,
        PAR_TIMEOUT = 10,
        PAR_OVERRUN = 11,
        PAR_SEND_TIMEOUT = 12,
        PAR_RECEIVE_TIMEOUT = 13,
        PAR_NOT_A_COMMAND = 14,
        PAR_NOT_A_PARAMETER = 15,
        PAR_BAD_SYMBOL = 16,
        PAR_NO_COMPILE = 17,
        PAR_NO_DECOMPILE = 18,
        PAR_NOT_CONNECTED = 19,
        PAR_UNSUPPORTED = 20,
        PAR_DEVICE_PROBLEM = 21,
    };

    CZorvDevice() = default;
    CZorvDevice(DEVTYPE type, const char* tag, const char* description) : m_type(type), m_description(description), m_tag(tag) {}
    CZorvDevice(const CZorvDevice&) = delete;
    CZorvDevice& operator=(const CZorvDevice&) = delete;
    virtual ~CZorvDevice();

    int GetDeviceCount() const { return static_cast<int>(m_children.size()); }
    int GetSpaceCount() const { return static_cast<int>(m_spaces.size()); }
    CZorvDevice* GetChild(int i) const;
    CDevAddrSpace* GetSpaceAt(int i) const;

    // The device of that tag in this device's subtree (this device included), compared without
    // regard to case; null when none.
    CZorvDevice* GetDevice(const char* name);
    // The index-th device (from 0) of that type in the subtree, in tree order; null when none.
    CZorvDevice* GetDevice(int type, int index);
    // Fills out with the devices of the listed types (a list ended by DEVTYPE_END, at most 16
    // types) in tree order and answers their count.
    int GetDevList(const int* types, std::vector<CZorvDevice*>& out);

    // The *index-th space of that type (own spaces first, then the children's), or null.
    CDevAddrSpace* GetSpace(CDevAddrSpace::SPACETYPE type, int* index);
    CDevAddrSpace* GetSpace(CDevAddrSpace::SPACETYPE type, int index) { return GetSpace(type, &index); }
    // The space of that name ("SDRAM", "BAR0", "I2C.TSENSOR", ...) in the subtree, compared without
    // regard to case; an I2C bus device also answers for its parts without their "I2C." prefix.
    CDevAddrSpace* GetSpace(const char* name);

    CString GetTag() const { return m_tag; }
    CString GetDesc() const { return m_description; }
    DEVTYPE GetType() const { return static_cast<DEVTYPE>(m_type); }

    virtual int ProcessDevCall(DWORD, void*) { return 0; }
    virtual int AddNewDevices() { return 0; }
    virtual void HandleNotice(DWORD) {}

    // Tree building (the rig).
    CZorvDevice* AddChild(std::unique_ptr<CZorvDevice> child);
    CDevAddrSpace* AddSpace(std::unique_ptr<CDevAddrSpace> space);

protected:
    DWORD m_type = DEVTYPE_NONE;
    CString m_description;
    CString m_tag;
    std::vector<std::unique_ptr<CZorvDevice>> m_children;
    std::vector<std::unique_ptr<CDevAddrSpace>> m_spaces;
};


// The root of the device tree: the host PC, which also hands out host DMA memory.
class PEX_EXPORT CHostPCDevice : public CZorvDevice {
public:
    CHostPCDevice();
    int AddNewDevices() override { return 0; }

    // Host memory the boards can reach by DMA: on success (status 1) *address is the host pointer
    // and *busAddress the 64-bit bus address that page tables and DCBs carry.
    Drv_Return Malloc(DWORD size, void** address, LARGE_INTEGER* busAddress);
    Drv_Return Free(void* address);
};

class CWexalI2CDevice;

// A board carrying the Wexal FPGA (type 2 main board, 3 codec board).
class PEX_EXPORT CWexalBoardDevice : public CZorvDevice {
public:
    CWexalBoardDevice();
    CWexalBoardDevice(DEVTYPE type, const char* tag, const char* description, CRegisterWindow* window);

    // Channel n (0-63), null outside.
    CWexalDMAChannel* GetDMAChannel(int n);
    // The register window from BAR0 offset 0 (null pointer until the board is mapped).
    RegisterPtr GetRegisters() const { return RegisterPtr(m_window, 0); }
    // The board controller's registers (BAR0 0x4000-0x401C) and the Wexal core registers (BAR0 0x40000).
    RegisterPtr GetControllerRegisters() const { return m_window ? RegisterPtr(m_window, 0x4000) : RegisterPtr(); }
    RegisterPtr GetWexalRegisters() const { return m_window ? RegisterPtr(m_window, 0x40000) : RegisterPtr(); }
    // The main register block (BAR0 0x40000; writing word 1 flushes host writes into SDRAM) and
    // the breakout-box status block, which is the controller's: its byte 0x10 bit 0 is set while
    // the box (or a cable) is on the connector and clocked.
    RegisterPtr GetMainRegisters() const { return GetWexalRegisters(); }
    RegisterPtr GetBoBStatusRegisters() const { return GetControllerRegisters(); }
    // Byte offset of the status block as the little-endian bus shows it; 0 without a window.
    BYTE GetBoBStatusByte(DWORD offset) const {
        return m_window ? static_cast<BYTE>(GetBoBStatusRegisters()[offset / 4] >> (8 * (offset & 3))) : 0;
    }
    // The identity the board's kind calls for (0x52 main board, 0x53 codec board, else 0). It comes
    // from the driver's knowledge of the board, not from the BID register, so a test can hold the
    // register against it.
    DWORD GetBoardID() const { return m_type == DEVTYPE_BRIMOLA ? 0x52 : m_type == DEVTYPE_NUXA ? 0x53 : 0; }
    CWexalI2CDevice* GetI2CDevice() const { return m_i2c; }
    // The spaces the board holds itself (null when the board has none).
    CWexalSDRAMSpace* GetSDRAMSpace() const { return m_sdram; }
    CWexalBAR0Space* GetBAR0Space() const { return m_bar0; }
    // The board's information text: the OXD header text of the flash image it booted (an 'N' and an
    // 'R' tag among it), taken from that image's identification record; empty without one.
    CString GetInfoText() const { return m_infoText; }
    void SetInfoText(const char* text) { m_infoText = text; }

    // Puts the channel records back to their power-up state.
    void Erase();

    void SetI2CDevice(CWexalI2CDevice* i2c) { m_i2c = i2c; }
    void SetOwnSpaces(CWexalSDRAMSpace* sdram, CWexalBAR0Space* bar0) {
        m_sdram = sdram;
        m_bar0 = bar0;
    }

private:
    CWexalDMAChannel m_DMAChannels[64];
    CString m_note;
    CRegisterWindow* m_window = nullptr;
    CWexalI2CDevice* m_i2c = nullptr;
    CWexalSDRAMSpace* m_sdram = nullptr;
    CWexalBAR0Space* m_bar0 = nullptr;
    CString m_infoText;
};

// A board's I2C bus; its parts are spaces ("I2C.DIMM1", "I2C.DIMM2", "I2C.TSENSOR").
class PEX_EXPORT CWexalI2CDevice : public CZorvDevice {
public:
    CWexalI2CDevice() = default;
    CWexalI2CDevice(const char* tag, const char* description) : CZorvDevice(DEVTYPE_I2C, tag, description) {}

private:
    [[maybe_unused]] DWORD m_extra = 0;  // kept for the class layout the library expects
};

// The breakout box's command conduit: carries one command to the box and its reply back.
class PEX_EXPORT CYorbFlowConduitDevice : public CZorvDevice {
public:
    CYorbFlowConduitDevice() = default;
    CYorbFlowConduitDevice(const char* tag, const char* description) : CZorvDevice(DEVTYPE_YORBFLOW, tag, description) {}

    // Sends the command and, for a request, fills reply from the box's answer. flags and extra
    // are reserved (0, null). Without a box behind it the conduit answers PAR_NOT_CONNECTED.
    virtual PARRTNTYPE DoYorbCommand(YorbFlow::YorbCommand& command, YorbFlow::YorbCommand* reply, DWORD flags, void* extra);
};

// The conduit as the breakout box (or a loopback cable, box null) offers it.
class PEX_EXPORT CYorbFlowDevice : public CYorbFlowConduitDevice {
public:
    // box: the breakout box behind the conduit, null for a loopback cable; canOpen: whether the
    // conduit itself comes up.
    CYorbFlowDevice(const char* tag, const char* description, sim::BreakoutBox* box, bool canOpen = true)
        : CYorbFlowConduitDevice(tag, description), m_box(box), m_canOpen(canOpen) {}

    // Brings the conduit up and opens the link to the box: 0 when either fails.
    BOOL YorbFlowInit();
    // Compiles the command, sends it, waits for the answer at most kCommandTimeoutMs on the
    // performance counter and decompiles it: the box's status, PAR_RECEIVE_TIMEOUT when it stays
    // silent, PAR_NO_COMPILE or PAR_NO_DECOMPILE when the byte code is bad either way.
    PARRTNTYPE DoYorbCommand(YorbFlow::YorbCommand& command, YorbFlow::YorbCommand* reply, DWORD flags, void* extra) override;

    // The byte-code exchange under DoYorbCommand: sends code and waits for the answer's code.
    // PAR_SUCCESS with reply filled, PAR_NOT_CONNECTED without a box, PAR_RECEIVE_TIMEOUT when
    // nothing comes back in time.
    PARRTNTYPE Exchange(const std::vector<BYTE>& code, std::vector<BYTE>& reply);

    static constexpr DWORD kCommandTimeoutMs = 500;

private:
    sim::BreakoutBox* m_box = nullptr;
    bool m_canOpen = true;
};

// The breakout box (type 5) or a loopback cable (type 6) on a board's external I/O connector.
class PEX_EXPORT CFarnoDeKDevice : public CZorvDevice {
public:
    CFarnoDeKDevice() = default;
    CFarnoDeKDevice(DEVTYPE type, const char* tag, const char* description, const BYTE* cableStatus)
        : CZorvDevice(type, tag, description), m_cableStatus(cableStatus) {}
    ~CFarnoDeKDevice() override { m_timer.Clear(); }

    // Bit 0 of the cable-status byte (0 without one); a 0 answer also clears the state word.
    BOOL IsCableConnected() {
        const BOOL on = m_cableStatus ? (*m_cableStatus & 1) : 0;
        if (!on) m_state = 0;
        return on;
    }
    DWORD GetState() const { return m_state; }
    void SetState(DWORD state) { m_state = state; }

private:
    DWORD m_state = 0;
    CPerformanceList m_timer;
    const BYTE* m_cableStatus = nullptr;
};

// The breakout box as a space of its board; Get and Set belong to the box's own spaces.
class PEX_EXPORT CFarnoDeKAddrSpace : public CDevAddrSpace {
public:
    CFarnoDeKAddrSpace() = default;
    CFarnoDeKAddrSpace(const char* name, CFarnoDeKDevice* box) : CFarnoDeKAddrSpace(name, "Breakout box", box) {}
    // A space of one of the box's own devices (devlib/box_spaces.h).
    CFarnoDeKAddrSpace(const char* name, const char* description, CFarnoDeKDevice* box)
        : CDevAddrSpace(SPACE_FARNODEK, name, description, 0, PMD_AccessInfo{}), m_box(box), m_present(box ? 1 : 0) {
        HandleReconnect();
    }
    CFarnoDeKAddrSpace(const CFarnoDeKAddrSpace&) = default;
    CFarnoDeKAddrSpace& operator=(const CFarnoDeKAddrSpace&) = default;
    ~CFarnoDeKAddrSpace() override = default;

    int Get(void*, DWORD, int) override { return 0; }
    int Set(const void*, DWORD, int) override { return 0; }
    void SetSize(DWORD itemCount) { m_itemCount = itemCount; }
    void HandleReconnect() { m_connected = m_present != 0; }
    void HandleDisconnect() { m_connected = 0; }
    BOOL IsConnected() const { return m_connected; }
    // The box or cable device this space stands for.
    CFarnoDeKDevice* GetBoxDevice() const { return m_box; }

private:
    CFarnoDeKDevice* m_box = nullptr;
    DWORD m_present = 0;
    BOOL m_connected = 0;
};

// The root of the device tree, null when the rig has no hardware.
extern PEX_EXPORT CHostPCDevice* g_WexalHW;
PEX_EXPORT CHostPCDevice* GetZorvHardware();
