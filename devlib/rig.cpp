// Builds the device tree over the simulated rig, once per process or on request.
#include "devlib/rig.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "devlib/box_spaces.h"
#include "devlib/devices.h"
#include "devlib/wexal_spaces.h"
#include "platform/file_identity.h"
#include "platform/files.h"
#include "sim/device_names.h"
#include "sim/rig.h"

namespace {

// The board's BAR0 window onto its FPGA model.
class WexalRegisterWindow : public CRegisterWindow {
public:
    explicit WexalRegisterWindow(sim::WexalFpga& fpga) : m_fpga(fpga) {}
    DWORD Read(DWORD offset) override { return m_fpga.Read32(offset); }
    void ReadBlock(DWORD offset, DWORD* out, int count) override {
        if (count > 0) m_fpga.ReadBlock32(offset, out, static_cast<size_t>(count));
    }
    void Write(DWORD offset, DWORD value) override { m_fpga.Write32(offset, value); }
    DWORD Size() const override { return sim::RegisterMap::kWindowBytes; }

private:
    sim::WexalFpga& m_fpga;
};

struct RigState {
    std::unique_ptr<sim::Rig> rig;
    std::vector<std::unique_ptr<WexalRegisterWindow>> windows;
    std::vector<std::unique_ptr<BYTE>> cableStatus;
    std::unique_ptr<CHostPCDevice> root;
    bool booted = false;
};

RigState& State() {
    static RigState state;
    return state;
}

constexpr DWORD kBar0BusBase = 0xF0000000;

void BuildBoard(RigState& st, sim::SimBoard& simBoard) {
    const sim::BoardConfig& cfg = simBoard.Config();
    const bool main = cfg.kind == sim::BoardKind::Brimola;
    st.windows.push_back(std::make_unique<WexalRegisterWindow>(simBoard.Fpga()));
    CRegisterWindow* window = st.windows.back().get();
    auto* board = static_cast<CWexalBoardDevice*>(st.root->AddChild(std::make_unique<CWexalBoardDevice>(
        main ? CZorvDevice::DEVTYPE_BRIMOLA : CZorvDevice::DEVTYPE_NUXA, cfg.tag.c_str(),
        main ? "Brimola main board" : "Nuxa codec board", window)));

    CWexalBAR0Space* bar0 = nullptr;
    CWexalSDRAMSpace* sdram = nullptr;
    if (simBoard.HasSpace("BAR0")) {
        bar0 = static_cast<CWexalBAR0Space*>(board->AddSpace(std::make_unique<CWexalBAR0Space>("BAR0", window)));
        // Board n of the rig (in rig order, from 0) decodes 1 MiB from kBar0BusBase + n MiB.
        bar0->SetBusAddress(kBar0BusBase + static_cast<DWORD>(st.windows.size() - 1) * CWexalBAR0Space::kWindowBytes);
    }
    if (simBoard.HasSpace("SDRAM"))
        sdram = static_cast<CWexalSDRAMSpace*>(board->AddSpace(std::make_unique<CWexalSDRAMSpace>("SDRAM", &simBoard.Fpga().Sdram())));
    board->SetOwnSpaces(sdram, bar0);
    board->SetInfoText(simBoard.Controller().InfoText().c_str());  // from the flash image the controller booted

    // Named from the one list the rig check also refuses tags by.
    const auto partName = [&cfg](sim::BoardPart part) { return sim::BoardPartDeviceName(cfg.tag, part); };
    // I2C parts: the bus with the SPD EEPROMs and the sensor, and the clock device with its synthesisers.
    sim::BoardI2C& parts = simBoard.I2C();
    auto* i2c = static_cast<CWexalI2CDevice*>(board->AddChild(std::make_unique<CWexalI2CDevice>(partName(sim::BoardPart::I2C).c_str(), "I2C bus")));
    board->SetI2CDevice(i2c);
    if (simBoard.HasSpace("I2C.DIMM1")) i2c->AddSpace(std::make_unique<CWexalI2CDIMMSpace>("I2C.DIMM1", &parts.Dimm(1)));
    if (simBoard.HasSpace("I2C.DIMM2")) i2c->AddSpace(std::make_unique<CWexalI2CDIMMSpace>("I2C.DIMM2", &parts.Dimm(2)));
    if (simBoard.HasSpace("I2C.TSENSOR")) i2c->AddSpace(std::make_unique<CWexalI2CTSensorSpace>("I2C.TSENSOR", &parts.Sensor()));
    CZorvDevice* clock =
        board->AddChild(std::make_unique<CZorvDevice>(CZorvDevice::DEVTYPE_CLOCK, partName(sim::BoardPart::Clock).c_str(), "Clock synthesisers"));
    if (simBoard.HasSpace("CLOCK1")) clock->AddSpace(std::make_unique<CWexalI2CClockSpace>("CLOCK1", &parts.Clock(1)));
    if (simBoard.HasSpace("CLOCK2")) clock->AddSpace(std::make_unique<CWexalI2CClockSpace>("CLOCK2", &parts.Clock(2)));

    // The external I/O connector: the breakout box, a loopback cable or nothing; its cable-status
    // byte follows the controller's connector bit.
    if (simBoard.HasSpace("FarnoDeK")) {
        st.cableStatus.push_back(std::make_unique<BYTE>(sim::ConnectorPresent(cfg) ? 1 : 0));
        const bool cable = cfg.loopbackCable;
        auto* box = static_cast<CFarnoDeKDevice*>(board->AddChild(std::make_unique<CFarnoDeKDevice>(
            cable ? CZorvDevice::DEVTYPE_LOOPBACK : CZorvDevice::DEVTYPE_FARNODEK, partName(sim::BoardPart::FarnoDeK).c_str(),
            cable ? "External I/O loopback cable" : cfg.breakoutBox ? "FarnoDeK breakout box" : "External I/O connector",
            st.cableStatus.back().get())));
        if (cfg.breakoutBox) devlib::AddBoxSpaces(*box);
        if (!cfg.faults.box.noConduit)
            box->AddChild(std::make_unique<CYorbFlowDevice>(partName(sim::BoardPart::YorbFlow).c_str(), "YorbFlow command conduit", simBoard.Box(),
                                                            !cfg.faults.box.initFails));
        board->AddSpace(std::make_unique<CFarnoDeKAddrSpace>("FarnoDeK", box));
    }
}

// Builds the rig's boards and their device tree. Answers why the rig cannot be stood by, "" when it
// can: a board whose flash image file could not be used has no flash to run on.
std::string Install(const sim::RigConfig& config) {
    RigState& st = State();
    // The tree refers to the rig's models, so it goes first.
    g_WexalHW = nullptr;
    st.root.reset();
    st.windows.clear();
    st.cableStatus.clear();
    st.rig = std::make_unique<sim::Rig>(config);
    st.root = std::make_unique<CHostPCDevice>();
    for (sim::SimBoard* b : st.rig->Boards()) BuildBoard(st, *b);
    st.booted = true;
    g_WexalHW = st.root->GetDeviceCount() ? st.root.get() : nullptr;
    const std::vector<sim::SimBoard*> boards = st.rig->Boards();
    for (size_t i = 0; i < boards.size(); ++i)
        if (const std::string& why = boards[i]->Controller().FlashError(); !why.empty())
            return "key \"boards[" + std::to_string(i) + "].flash.image\": " + why;
    return "";
}

CHostPCDevice* Boot() {
    RigState& st = State();
    if (st.booted) return g_WexalHW;
    const char* path = std::getenv(devlib::kRigEnvironmentVariable);
    if (path && *path) {
        sim::RigConfig config;
        std::string error;
        if (!sim::LoadRigFile(path, config, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::fflush(stderr);
            std::exit(2);
        }
        // The run keeps its boards in these files: no save of a test may write over them. Nor may
        // the rig write over a file the run depends on that it was given as one of them: the
        // libraries loaded so far, and what the host protected (its program, the switch file, the
        // log, the report) are known now, before the image is made and the first word stored.
        platform::ProtectFile(path, "the rig file");
        platform::ProtectLoadedObjects();
        for (const sim::BoardConfig& board : config.boards)
            for (const sim::KeptFile& kept : sim::KeptFiles(board))
                if (!kept.path.empty()) platform::ProtectFile(kept.path, kept.role, true);
        // A run refused from here on ends before the library starts and reads a tree: every file
        // it depends on is protected by now. The temporaries that dead runs left beside the files
        // it saved (an image half made when its run was killed) go before it ends, or on a disk
        // with room for one image they would keep every later run from making it.
        const auto refuse = [path](const std::string& why) {
            std::fprintf(stderr, "rig file \"%s\": %s\n", path, why.c_str());
            std::fflush(stderr);
            platform::HoldTemporarySweeps(false);
            std::exit(2);
        };
        for (size_t i = 0; i < config.boards.size(); ++i)
            for (const sim::KeptFile& kept : sim::KeptFiles(config.boards[i])) {
                const std::string role = kept.path.empty() ? "" : platform::ProtectedRole(kept.path, kept.role);
                if (!role.empty())
                    refuse("key \"boards[" + std::to_string(i) + "]." + kept.key + "\": \"" + kept.path + "\" is " + role +
                           ": refusing to write over it");
            }
        // Then what they hold: a store that holds anything but a clock word is some other file.
        if (const std::string why = sim::CheckKeptContents(config); !why.empty()) refuse(why);
        if (const std::string why = Install(config); !why.empty()) refuse(why);
    } else {
        Install(sim::DefaultRig());
    }
    return g_WexalHW;
}

}  // namespace

CHostPCDevice* g_WexalHW = Boot();

CHostPCDevice* GetZorvHardware() { return Boot(); }

namespace devlib {

std::string LoadRig(const sim::RigConfig& config) { return Install(config); }

bool LoadRigFile(const std::string& path, std::string* error) {
    sim::RigConfig config;
    std::string message;
    if (!sim::LoadRigFile(path, config, message)) {
        if (error) *error = message;
        return false;
    }
    std::string why = sim::CheckKeptContents(config);
    if (why.empty()) why = Install(config);
    if (why.empty()) return true;
    if (error) *error = "rig file \"" + path + "\": " + why;
    return false;
}

void LoadDefaultRig() { Install(sim::DefaultRig()); }

sim::Rig* CurrentRig() {
    Boot();
    return State().rig.get();
}

sim::HostMemory* RigHostMemory() {
    sim::Rig* rig = CurrentRig();
    return rig ? &rig->Host() : nullptr;
}

}  // namespace devlib
