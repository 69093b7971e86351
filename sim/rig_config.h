// What a simulated rig is made of: boards, what is attached, sensor settings and injected faults, read from JSON.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace sim {

enum class BoardKind { Brimola, Nuxa };

// Faults are data: each kind below is one entry of a board's fault list (docs/rig.md lists them).
struct SdramStuckBit {
    uint64_t from = 0, to = 0;  // byte address range [from, to) of the physical cells
    int bit = 0;                // bit of the 32-bit word
    int value = 0;
};

// Address line `line` (a byte-address bit) is driven by line `source`, or held at `value` when
// source is -1. Either way two bus addresses land on the same cells.
struct SdramAlias {
    int line = 0;
    int source = -1;
    int value = 0;
};

// Soft errors on read: each 32-bit word read from [from, to) has one bit flipped with probability rate.
struct SdramFlips {
    double rate = 0.0;
    uint64_t seed = 1;
    uint64_t from = 0, to = 0;
};

struct DmaStall {
    int channel = 0;
};

// The words of every transfer of the channel from index first (count of them, 0 = to the end) are
// XORed with mask in flight.
struct DmaCorrupt {
    int channel = 0;
    uint32_t mask = 0;
    uint32_t first = 0;
    uint32_t count = 1;
};

// At completion the live context shows tag (or the real tag XOR 1 when tag is -1).
struct DmaWrongTag {
    int channel = 0;
    int tag = -1;
};

// A bit of a channel control word, DCB word, BCU register or board controller register (BID, I2C,
// FlashAddr, LED/status, RAM) that always reads (and acts) as value.
struct RegisterStuckBit {
    uint32_t offset = 0;
    int bit = 0;
    int value = 0;
};

// A line of a descriptor memory's unit index (DCB index 16c + d, lines 0-9, or BCU number, lines
// 0-8) driven by line `source`, or held at `value` when source is -1: two units share their cells.
struct RegisterAlias {
    bool bcu = false;  // the BCU memory, else the DCB memory
    int line = 0;
    int source = -1;
    int value = 0;
};

// I2C parts, product data and memory clock. Sensor channels: 0 local ("LTEMP"), 1-3 the remote
// diodes ("1TEMP", "2TEMP", "3TEMP"); channel 1 is the Wexal FPGA.
struct SensorOverLimit {
    int channel = 1;
    int by = 5;  // degrees above the channel's high limit
};

// The channel's temperature register reads value (0, or 200-255: an open or shorted diode) for
// count reads, then recovers; count 0 keeps it so.
struct SensorBadReading {
    int channel = 1;
    int value = 0;
    uint32_t count = 0;
};

// SPD of module 1 or 2 (0: both) describes another geometry or size than the fitted memory.
struct SpdWrongGeometry {
    int module = 0;
    int rows = 12;
    int columns = 9;
};

struct SpdWrongSize {
    int module = 0;
    uint32_t mib = 0;  // 0: half the right size
};

// Which part of the product-data structure is damaged.
enum class VpdDefect { NameTag, VpdTag, EndTag, Length, Checksum };

// Board controller, flash PROM and FPGA configuration port.
// Erases or buffered programs in a block (-1: every block) that end with these status error bits;
// the block keeps what it held.
struct FlashErrorOn {
    int block = -1;
    int status = 0;
};

// A data line between the controller's port and the chip: every word the chip drives onto the port
// (array, identifier, query, status) shows the bit as value.
struct FlashStuckBit {
    int bit = 0;
    int value = 0;
};

// The BAR0 mirror of the EXP and VPD areas shows the DWORD at offset XORed with mask.
struct FlashMirrorMismatch {
    uint32_t offset = 0x2000;
    uint32_t mask = 1;
};

struct FlashFaults {
    std::vector<FlashErrorOn> eraseFails;
    std::vector<FlashErrorOn> programFails;
    bool neverReady = false;              // an erase or program, once started, never ends
    std::vector<uint32_t> lockedBlocks;
    std::vector<FlashStuckBit> stuckBits;
    int manufacturer = -1, device = -1;   // identifier codes in place of the part's (-1: the part's)
    std::vector<std::string> missingHeaders;  // "SAFE", "PCIX", "PCI": the segment starts blank
    std::vector<FlashMirrorMismatch> mirrorMismatch;
    // Timing: each access to the controller's flash data port, and a block erase.
    uint32_t accessNs = 400;
    uint32_t eraseMs = 512;
    // The STS bit of the controller's status register floats: it reads at random (seeded).
    bool stsFloating = false;
    uint64_t stsSeed = 1;
};

// A configuration-port FPGA (device code 0-4) that misbehaves: INIT stays high under PROG, INIT
// never rises after PROG, DONE stays low after a good stream, or a CRC error at byte `at` of the stream.
struct ConfigDeviceFault {
    enum class Kind { InitNeverFalls, InitNeverRises, DoneStaysLow, CrcError };
    Kind kind = Kind::DoneStaysLow;
    int device = 0;
    uint32_t at = 1024;
};

// A device-code bit (0-2 of the field at bits 16-18) of the configuration register stuck at value:
// the port selects and reports the code with that bit forced.
struct ConfigCodeStuck {
    int bit = 0;
    int value = 0;
};

struct ConfigPortFaults {
    std::vector<ConfigDeviceFault> devices;
    std::vector<ConfigCodeStuck> codeStuck;
};

// The breakout box (or loopback cable) on the external I/O connector.
enum class BoxDevice { Bexi, Nulk, Dolwer };

// The box answers every command of that name (its Yorb name, "HVInputFormat") with status.
struct BoxCommandFails {
    std::string command;
    int status = 21;
};

// The box's reply to that command has the 32-bit word after its header XORed with mask.
struct BoxReplyCorrupt {
    std::string command;
    uint32_t mask = 1;
};

struct BoxFaults {
    bool linkDown = false;   // the board-box cable: the connector reads "nothing there"
    bool initFails = false;  // the command conduit does not initialise
    bool noConduit = false;  // the box (or cable) has no command conduit
    std::vector<BoxDevice> silent;  // devices that never answer
    std::vector<BoxCommandFails> commandFails;
    std::vector<BoxReplyCorrupt> replyCorrupt;
    // Loop paths of the box (docs/rig.md, External I/O connector and breakout box).
    bool hdLoopOpen = false, sdiLoopOpen = false, audioLoopOpen = false;  // a loop cable off the box
    int bexiSlip = 0, nulkSdiSlip = 0, nulkInternalSlip = 0;  // frames that path returns late (1-3)
    std::vector<int> bviSyncError;  // inbound video channels 0-3 whose sync-error bit latches
    int audioSlipDwords = 0;        // audio arrives this many DWORDs late (negative: early)
};

// Video ports by their sync-error bit in DMACtrl.ERR.IStatus (BAR0 0x58110).
enum class VideoPort { PppA = 0, PppB = 1, ExpB = 2, ExpA = 3 };

// The port's sync-error flag latches at every transfer through it.
struct PortSyncError {
    VideoPort port = VideoPort::PppA;
};

// Where a video path corrupts its data: the FPGA stage of the port's route.
enum class VideoStageKind { Keyer, Pair, Link };

// Words passing the stage are XORed with mask after the stage's input CRC has taken them.
struct VideoPathCorrupt {
    VideoPort port = VideoPort::PppA;
    VideoStageKind stage = VideoStageKind::Keyer;
    uint32_t mask = 1;
};

// A DCM of the keyer (device 0) or of a pair FPGA (1, 2) does not lock: its flag bit stays 0.
struct DcmUnlocked {
    int device = 0;
    int bit = 24;
};

// A pair FPGA's (device 1, 2) DDR initialisation pass (1 or 2) never completes.
struct DdrInitFails {
    int device = 1;
    int pass = 1;
};

// A line of the breakout-box port's loop (the message reply or the LTC input) that a looped word
// reaches with the bit held at value.
struct BobLoopStuckBit {
    bool ltc = false;  // the LTC loop, else the message loop
    int bit = 0;
    int value = 0;
};

// Codec board: the host-port bridge and the DSPs behind it.
constexpr uint32_t kBridgeDeviceId = 0x110;  // bits 31-20 of its identification register
struct BridgeWrongId {
    uint32_t id = 0x111, major = 1, minor = 1;  // what the identification register reports
};

// A fault of codec chip 1 (A) or 2 (B); which fields count depends on the kind.
struct CodecChipFault {
    enum class Kind {
        ConfigFails,       // DONE never rises after a stream
        EmifStuckBit,      // emif (0 A, 1 B): data bit `bit` (0-15) of every word read through it reads value
        SdramStuckBit,     // the width's SDRAM: bit `bit` of every stored DWORD reads value
        SdramAddressAlias, // the width's SDRAM: index line `line` is not connected (reads as 0)
        SdramBusyStuck,    // the width's window status stays busy
        DdrInitNeverDone,  // the DDR initialisation of memory (32 or 64) never reports done
        OutputStuckBit,    // bit `bit` (0-31) of every word the chip sends out of `port` (0 video, 1 expansion) reads value
        BypassLaneSwap,    // unpacker pass-through exchanges the 16-bit halves of every DWORD
        // Packer and unpacker personalities (sim/codec_pixel.cpp):
        MemBistWindow,     // the self-test of memory `width` passes only for loaded phases low..high
        MemBistFails,      // the self-test of memory `width` ends as `result` (1 failed, 2 not done, 0 not started)
        FlushStuck,        // the flush busy bit never clears
        CrcWrong,          // CRC register `reg` (0 in, 1 out, 2 expansion out) reads XORed with mask
        ContextRamStuckBit, // context RAM entry `entry`, word `word`: bit `bit` reads value
        WrongDeviceId,     // the identification register reports device `id`
        MemoryWord,        // every read of chip address `address` comes back XORed with mask
    };
    Kind kind = Kind::ConfigFails;
    int chip = 1;
    int emif = 0;
    int width = 32;
    int bit = 0;
    int value = 1;
    int line = 0;
    int low = 0, high = 0;  // MemBistWindow
    int result = 1;         // MemBistFails
    uint32_t errors = 0x12345;  // MemBistFails with result 1: the 22-bit error count
    int reg = 0;            // CrcWrong
    uint32_t mask = 1;      // CrcWrong
    int entry = 0, word = 0;  // ContextRamStuckBit
    uint32_t id = 0;        // WrongDeviceId
    int port = 0;           // OutputStuckBit
    uint32_t address = 0;   // MemoryWord
};

// A fault of the DSP of codec chip 1 (A) or 2 (B).
struct DspFault {
    enum class Kind {
        DownloadFails,   // the microcode's first code word lands changed: the boot loader's CRC refuses it
        BootFails,       // the DSP never starts, whatever the image
        InitialiseFails, // the start-up handshake answers revision 0
        TableCorrupt,    // the table-list load hands the chip each encode table with byte `offset` XORed with mask
        FrameCorrupt,    // byte `offset` of each encoded frame the chip sends out XORed with mask
        CodecStatus,     // while an encoded frame waits, the DSP's status word gets `bits`; with any of
                         // bits 0-3 (its EDMA time-outs) the frame never leaves
    };
    Kind kind = Kind::DownloadFails;
    int chip = 1;
    uint32_t offset = 8, mask = 1, bits = 0;
};

struct CodecFaults {
    std::vector<int> bridgeNotReady;  // host ports (1, 2) whose ready bit never comes back
    std::vector<BridgeWrongId> bridgeWrongId;
    std::vector<CodecChipFault> chips;
    std::vector<DspFault> dsps;
};

// A line (1-18) of the keyer ZBT RAM's word address driven by line `source`, or held at `value`
// when source is -1.
struct ZbtAddressAlias {
    int line = 1;
    int source = -1;
    int value = 0;
};

struct BoardFaults {
    std::vector<SdramStuckBit> sdramStuck;
    std::vector<SdramAlias> sdramAlias;
    std::vector<SdramFlips> sdramFlips;
    std::vector<DmaStall> dmaStall;
    std::vector<DmaCorrupt> dmaCorrupt;
    std::vector<DmaWrongTag> dmaWrongTag;
    std::vector<RegisterStuckBit> registerStuck;
    std::vector<RegisterAlias> registerAlias;
    std::vector<std::string> missingSpaces;  // "SDRAM", "BAR0", "I2C.DIMM1", "I2C.DIMM2", "I2C.TSENSOR", "CLOCK1", "CLOCK2", "FarnoDeK"
    bool missing = false;                    // the board does not enumerate
    // I2C parts, product data and memory clock.
    std::vector<SensorOverLimit> sensorOverLimit;
    std::vector<SensorBadReading> sensorBadReading;
    std::vector<SpdWrongGeometry> spdGeometry;
    std::vector<SpdWrongSize> spdSize;
    std::vector<VpdDefect> vpdBroken;
    std::vector<std::string> vpdMissing;  // field names left out of the image
    bool clockNoWindow = false;           // the SDRAM fails at every memory clock setting
    int clockWindowShift = 0;             // the good window moved by this many settings
    // Board controller, flash PROM and FPGA configuration port.
    FlashFaults flash;
    ConfigPortFaults configPort;
    BoxFaults box;
    // Video-path FPGAs and ports.
    std::vector<PortSyncError> portSyncError;
    std::vector<VideoPathCorrupt> videoPathCorrupt;
    std::vector<DcmUnlocked> dcmUnlocked;
    std::vector<DdrInitFails> ddrInitFails;
    // Breakout-box port registers.
    std::vector<BobLoopStuckBit> bobLoopStuck;
    CodecFaults codec;
    // The keyer's ZBT RAM.
    std::vector<ZbtAddressAlias> zbtAlias;
};

// Temperatures and high limits of the sensor's channels (see SensorOverLimit), degrees Celsius.
struct SensorSettings {
    int tempC[4] = {30, 45, 40, 42};
    int limitC[4] = {70, 85, 85, 85};
};

// The SDRAM reads reliably only at memory clock settings windowLow..windowHigh. The stored clock
// word (BAR0 0x613E0) survives a power cycle when store names a file.
struct MemoryClockSettings {
    int windowLow = 110;
    int windowHigh = 210;
    std::string store;
};

struct BoardConfig {
    std::string tag;
    BoardKind kind = BoardKind::Brimola;
    uint64_t sdramBytes = 0;
    uint32_t revision = 0xC75;  // running Wexal image revision, low 12 bits significant
    std::vector<std::pair<std::string, std::string>> vpd;  // product-data fields in image order
    bool breakoutBox = false;
    bool loopbackCable = false;  // a loopback cable on the connector instead (never both)
    // What the board-link ports (codec port, expansion port) are cabled to: empty nothing,
    // "loopback" a loopback plug, else the tag of the partner board whose same port the cable reaches.
    std::string codecPort, expansionPort;
    SensorSettings sensors;
    MemoryClockSettings memoryClock;
    // Raw image file (0x400000 little-endian words) that keeps the flash PROM's contents across
    // runs; empty: the flash starts from the healthy contents every run.
    std::string flashImage;
    // The Wexal image of the flash's PCIX segment, which the board boots: "PUVI" (or "ZVKX") on the
    // main board, "KEZO" on the codec board.
    std::string pcixImage;
    // Codec board: the host-port bridge's revision.
    uint32_t bridgeMajor = 1, bridgeMinor = 1;
    // Each codec chip's SDRAM behind its 32-bit and 64-bit windows; window blocks past the end wrap.
    uint64_t chipSdramBytes[2] = {32ull << 20, 64ull << 20};
    BoardFaults faults;
};

// Whether the board's external I/O connector sees the box or a cable: the connector status bit,
// and the cable-status byte the device library reads.
inline bool ConnectorPresent(const BoardConfig& board) {
    return (board.breakoutBox || board.loopbackCable) && !board.faults.box.linkDown;
}

struct DmaTiming {
    bool modelled = false;              // false: a transfer is done at the first status read
    uint64_t bytesPerSecond = 600ull << 20;
};

struct RigConfig {
    std::vector<BoardConfig> boards;
    DmaTiming dmaTiming;
    uint64_t hostMemoryBytes = 1024ull << 20;  // host DMA memory the driver may hand out
};

// One healthy main board "Brimola1", one healthy codec board "Nuxa1", breakout box on the main board.
RigConfig DefaultRig();
BoardConfig DefaultBoard(BoardKind kind, const std::string& tag);

// Parses a rig description. On failure returns false and sets error to one line naming the file
// and the key ("rig file \"x.json\": key \"boards[0].sdram_mib\": ...").
bool ParseRig(const std::string& text, const std::string& fileName, RigConfig& out, std::string& error);
bool LoadRigFile(const std::string& path, RigConfig& out, std::string& error);

// What the files a board keeps are to the run, as the protected files name them.
inline std::string FlashImageRole(const std::string& tag) { return "the rig's flash image of " + tag; }
inline std::string MemoryClockStoreRole(const std::string& tag) { return "the rig's memory clock store of " + tag; }

// A file a board keeps across runs (path empty when it keeps none): its key under the board's in
// the rig file, what it is to the board, and its role among the run's protected files.
struct KeptFile {
    const std::string& path;
    const char* key;   // "memory_clock.store"
    const char* what;  // "the memory clock store"
    std::string role;
};
// The board's clock store, then its flash image.
std::vector<KeptFile> KeptFiles(const BoardConfig& board);

// What the files the rig keeps hold, looked at once they are known to be no other file the run
// depends on and before anything is written: a clock store that is there holds a clock word or
// nothing, and a flash image that is there can be read. Answers "" when they do, else one line
// naming the key ("key \"boards[0].memory_clock.store\": ...").
std::string CheckKeptContents(const RigConfig& rig);

}  // namespace sim
