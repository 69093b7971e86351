// The breakout box: its Bexi, Nulk and Dolwer devices answering command byte code and keeping their settings.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/rig_config.h"
#include "yorbflow/wire/command_table.h"
#include "yorbflow/wire/wire_format.h"

namespace sim {

using BoxMessage = YorbFlow::Wire::Message;

// Settings of the two video devices. Formats, I/O mode, start and stop are commands that both
// take (the box sets both alike); the resizer is the Bexi's, transport and loopback the Nulk's.
struct BoxVideoState {
    uint64_t projectFormat = 0;
    uint64_t outputFormat = 0, proxyFormat = 0, outputAlpha = 0;
    uint64_t inputFormat = 0, inputAlpha = 0;
    uint64_t ioMode[5] = {};  // by I/O type: video, audio, VANC, HANC, LTC
    uint64_t resizer = 0;
    uint64_t videoOutput = 0, videoInput = 0;
    bool loopback = false;
    bool started = false;
    uint64_t startVideoFrame = 0, startAudioFrame = 0;
    bool startAtFrame = false;  // started with a start frame (the video waits for the counter to reach it)
    uint32_t starts = 0;  // times I/O went from stopped to running
    uint32_t loopbackSwitches = 0;  // times the video loopback went on or off
};

// Revisions, firmware text and product data the box reports (docs/rig.md lists them).
struct BoxIdentity {
    static constexpr uint8_t kRevisions[12] = {2, 1, 1, 4, 3, 0, 1, 2, 2, 7, 1, 0};
    static constexpr const char* kRevisionNames[12] = {
        "GorvendalisMajorRev", "GorvendalisMinorRev", "TessmivarMajorRev",  "TessmivarMinorRev",
        "VishendalMajorRev",   "VishendalMinorRev",   "OlmandrevikMajorRev", "OlmandrevikMinorRev",
        "NasperolMajorRev",    "NasperolMinorRev",    "BradolinMajorRev",   "BradolinMinorRev"};
    static constexpr const char* kFirmware = "FDK 2.14b";
    static constexpr const char* kVpd = "PN=FDK-2200 SN=BX0417 REV=C";
};

class BreakoutBox {
public:
    static constexpr int64_t kReplyTicks = 2000;  // 200 us from command to answer

    explicit BreakoutBox(const BoardConfig& board);

    // The link handshake of the command conduit: false when the box does not take it.
    bool Open();
    // Whether the board-box cable carries anything at all.
    bool LinkUp() const { return !m_faults.linkDown; }
    // Takes one command's byte code; the answer is ready kReplyTicks later on the clock, or never
    // when the device the command belongs to is silent.
    void Send(const uint8_t* code, size_t size);
    // The answer's byte code once it is ready (it is handed out once).
    bool Receive(std::vector<uint8_t>& reply);

    // What the box holds and what it was sent, for tests.
    const BoxVideoState& Video() const { return m_video; }
    const BoxFaults& Faults() const { return m_faults; }
    bool Silent(BoxDevice d) const {
        for (BoxDevice s : m_faults.silent)
            if (s == d) return true;
        return false;
    }
    // Settings of the commands kept as given (audio clocks and routing, video configuration and
    // controls), by command and then by the values of its key parameters ("" without keys).
    const std::map<std::string, std::map<std::string, uint64_t>>& Settings() const { return m_settings; }
    // Every command the box could read, in order (a silent device's included).
    const std::vector<BoxMessage>& Received() const { return m_received; }

    // Answers one decoded command: its result code (1 success) and, for a request, the reply's parameters.
    int Handle(const BoxMessage& command, BoxMessage& reply);

private:
    int HandleVideo(const BoxMessage& c, BoxMessage& reply);
    int HandleDiagnostic(const BoxMessage& c);
    int HandleKept(const BoxMessage& c, BoxMessage& reply);

    BoxFaults m_faults;
    BoxVideoState m_video;
    std::map<std::string, std::map<std::string, uint64_t>> m_settings;
    std::vector<BoxMessage> m_received;
    std::vector<uint8_t> m_reply;
    bool m_pending = false;
    int64_t m_readyAt = 0;
};

}  // namespace sim
