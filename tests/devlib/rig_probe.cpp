// Loads the device library as any process would and prints the boards it finds (for the rig start-up tests).
#include <cstdio>
#include <vector>

#include "devlib/devices.h"

int main() {
    CHostPCDevice* root = GetZorvHardware();
    if (!root) {
        std::printf("no hardware\n");
        return 0;
    }
    const int types[] = {CZorvDevice::DEVTYPE_BRIMOLA, CZorvDevice::DEVTYPE_NUXA, CZorvDevice::DEVTYPE_END};
    std::vector<CZorvDevice*> boards;
    root->GetDevList(types, boards);
    for (CZorvDevice* b : boards) std::printf("%s\n", b->GetTag().c_str());
    return 0;
}
