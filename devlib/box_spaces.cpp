// The breakout box's device spaces: the product-data spaces' destructor and the set a box device is given.
#include "devlib/box_spaces.h"

#include <memory>

CQZSpaceVPD::~CQZSpaceVPD() { HandleDisconnect(); }

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
