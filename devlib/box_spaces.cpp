// The breakout box's device spaces: their destructors and the set a box device is given.
#include "devlib/box_spaces.h"

#include <memory>

CQZSpaceVPD::~CQZSpaceVPD() { HandleDisconnect(); }
CQZ_FPGASpace::~CQZ_FPGASpace() = default;
CQZ_CPLDSpace::~CQZ_CPLDSpace() = default;
CQZSpaceVandosel::~CQZSpaceVandosel() = default;

void devlib::AddBoxSpaces(CFarnoDeKDevice& box) {
    box.AddSpace(std::make_unique<CQZSpaceNulkVPD>(&box));
    box.AddSpace(std::make_unique<CQZSpaceDolwerVPD>(&box));
    box.AddSpace(std::make_unique<CQZSpaceBexiVPD>(&box));
    box.AddSpace(std::make_unique<CQZSpaceDembrolis>(&box));
    box.AddSpace(std::make_unique<CQZSpaceFenmora>(&box));
    box.AddSpace(std::make_unique<CQZSpaceOmvar>(&box));
    box.AddSpace(std::make_unique<CQZSpaceVonkrel>(&box));
    box.AddSpace(std::make_unique<CQZSpaceKelpin>(&box));
    box.AddSpace(std::make_unique<CQZSpaceVandosel>(&box));
}
