// The breakout box's device spaces: product data, FPGAs, CPLDs and the Vandosel, each a space of the box.
#pragma once

#include "devlib/devices.h"

// The box's devices are reached through its command conduit, not through memory: like the box's
// own space, these spaces give no mapping and move nothing through Get and Set (both answer 0).
// They say which devices the box carries. A space built with its box is connected; HandleDisconnect
// clears that and HandleReconnect restores it. Each is found by its name on the board ("Nulk.VPD",
// "Dembrolis", ...); only a board with the breakout box on its connector has them.

// The product data of one of the box's boards; it disconnects itself when it goes.
class PEX_EXPORT CQZSpaceVPD : public CFarnoDeKAddrSpace {
public:
    using CFarnoDeKAddrSpace::CFarnoDeKAddrSpace;
    CQZSpaceVPD(const CQZSpaceVPD&) = default;
    CQZSpaceVPD& operator=(const CQZSpaceVPD&) = default;
    ~CQZSpaceVPD() override;
};

class PEX_EXPORT CQZSpaceNulkVPD : public CQZSpaceVPD {
public:
    explicit CQZSpaceNulkVPD(CFarnoDeKDevice* box = nullptr) : CQZSpaceVPD("Nulk.VPD", "Nulk product data", box) {}
};

class PEX_EXPORT CQZSpaceDolwerVPD : public CQZSpaceVPD {
public:
    explicit CQZSpaceDolwerVPD(CFarnoDeKDevice* box = nullptr) : CQZSpaceVPD("Dolwer.VPD", "Dolwer product data", box) {}
};

class PEX_EXPORT CQZSpaceBexiVPD : public CQZSpaceVPD {
public:
    explicit CQZSpaceBexiVPD(CFarnoDeKDevice* box = nullptr) : CQZSpaceVPD("Bexi.VPD", "Bexi product data", box) {}
};

// One of the box's FPGAs.
class PEX_EXPORT CQZ_FPGASpace : public CFarnoDeKAddrSpace {
public:
    using CFarnoDeKAddrSpace::CFarnoDeKAddrSpace;
};

class PEX_EXPORT CQZSpaceDembrolis : public CQZ_FPGASpace {
public:
    explicit CQZSpaceDembrolis(CFarnoDeKDevice* box = nullptr) : CQZ_FPGASpace("Dembrolis", "Dembrolis FPGA", box) {}
};

class PEX_EXPORT CQZSpaceFenmora : public CQZ_FPGASpace {
public:
    explicit CQZSpaceFenmora(CFarnoDeKDevice* box = nullptr) : CQZ_FPGASpace("Fenmora", "Fenmora FPGA", box) {}
};

// One of the box's CPLDs.
class PEX_EXPORT CQZ_CPLDSpace : public CFarnoDeKAddrSpace {
public:
    using CFarnoDeKAddrSpace::CFarnoDeKAddrSpace;
};

class PEX_EXPORT CQZSpaceOmvar : public CQZ_CPLDSpace {
public:
    explicit CQZSpaceOmvar(CFarnoDeKDevice* box = nullptr) : CQZ_CPLDSpace("Omvar", "Omvar CPLD", box) {}
};

class PEX_EXPORT CQZSpaceVonkrel : public CQZ_CPLDSpace {
public:
    explicit CQZSpaceVonkrel(CFarnoDeKDevice* box = nullptr) : CQZ_CPLDSpace("Vonkrel", "Vonkrel CPLD", box) {}
};

class PEX_EXPORT CQZSpaceKelpin : public CQZ_CPLDSpace {
public:
    explicit CQZSpaceKelpin(CFarnoDeKDevice* box = nullptr) : CQZ_CPLDSpace("Kelpin", "Kelpin CPLD", box) {}
};

class PEX_EXPORT CQZSpaceVandosel : public CFarnoDeKAddrSpace {
public:
    explicit CQZSpaceVandosel(CFarnoDeKDevice* box = nullptr) : CFarnoDeKAddrSpace("Vandosel", "Vandosel", box) {}
};

namespace devlib {

// Gives the box device its nine device spaces, product data first.
void AddBoxSpaces(CFarnoDeKDevice& box);

}  // namespace devlib
