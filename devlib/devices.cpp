// Device tree look-ups, board devices and host DMA memory.
#include "devlib/devices.h"

#include <strings.h>

#include "devlib/rig.h"
#include "devlib/wexal_spaces.h"
#include "sim/device_names.h"
#include "sim/host_memory.h"

CZorvDevice::~CZorvDevice() = default;

CZorvDevice* CZorvDevice::GetChild(int i) const {
    return i >= 0 && i < GetDeviceCount() ? m_children[static_cast<size_t>(i)].get() : nullptr;
}

CDevAddrSpace* CZorvDevice::GetSpaceAt(int i) const {
    return i >= 0 && i < GetSpaceCount() ? m_spaces[static_cast<size_t>(i)].get() : nullptr;
}

CZorvDevice* CZorvDevice::GetDevice(const char* name) {
    if (!name) return nullptr;
    if (strcasecmp(m_tag.c_str(), name) == 0) return this;
    for (auto& c : m_children)
        if (CZorvDevice* d = c->GetDevice(name)) return d;
    return nullptr;
}

namespace {

void Collect(CZorvDevice* d, const int* types, int typeCount, std::vector<CZorvDevice*>& out) {
    for (int t = 0; t < typeCount; ++t)
        if (d->GetType() == types[t]) {
            out.push_back(d);
            break;
        }
    for (int i = 0; i < d->GetDeviceCount(); ++i) Collect(d->GetChild(i), types, typeCount, out);
}

}  // namespace

CZorvDevice* CZorvDevice::GetDevice(int type, int index) {
    if (index < 0) return nullptr;
    std::vector<CZorvDevice*> found;
    Collect(this, &type, 1, found);
    return index < static_cast<int>(found.size()) ? found[static_cast<size_t>(index)] : nullptr;
}

int CZorvDevice::GetDevList(const int* types, std::vector<CZorvDevice*>& out) {
    out.clear();
    if (!types) return 0;
    int n = 0;
    while (n < 16 && types[n] != DEVTYPE_END) ++n;
    Collect(this, types, n, out);
    return static_cast<int>(out.size());
}

namespace {

void CollectSpaces(const CZorvDevice* d, CDevAddrSpace::SPACETYPE type, std::vector<CDevAddrSpace*>& out) {
    for (int i = 0; i < d->GetSpaceCount(); ++i)
        if (d->GetSpaceAt(i)->GetType() == type) out.push_back(d->GetSpaceAt(i));
    for (int i = 0; i < d->GetDeviceCount(); ++i) CollectSpaces(d->GetChild(i), type, out);
}

}  // namespace

CDevAddrSpace* CZorvDevice::GetSpace(CDevAddrSpace::SPACETYPE type, int* index) {
    const int wanted = index ? *index : 0;
    if (wanted < 0) return nullptr;
    std::vector<CDevAddrSpace*> found;
    CollectSpaces(this, type, found);
    return wanted < static_cast<int>(found.size()) ? found[static_cast<size_t>(wanted)] : nullptr;
}

CDevAddrSpace* CZorvDevice::GetSpace(const char* name) {
    if (!name) return nullptr;
    for (auto& s : m_spaces)
        if (strcasecmp(s->GetName().c_str(), name) == 0) return s.get();
    // The parts of an I2C bus are also found by their names without the "I2C." prefix ("TSENSOR").
    if (m_type == DEVTYPE_I2C)
        for (auto& s : m_spaces)
            if (strncasecmp(s->GetName().c_str(), "I2C.", 4) == 0 && strcasecmp(s->GetName().c_str() + 4, name) == 0)
                return s.get();
    for (auto& c : m_children)
        if (CDevAddrSpace* s = c->GetSpace(name)) return s;
    return nullptr;
}

CZorvDevice* CZorvDevice::AddChild(std::unique_ptr<CZorvDevice> child) {
    m_children.push_back(std::move(child));
    return m_children.back().get();
}

CDevAddrSpace* CZorvDevice::AddSpace(std::unique_ptr<CDevAddrSpace> space) {
    m_spaces.push_back(std::move(space));
    return m_spaces.back().get();
}

CHostPCDevice::CHostPCDevice() : CZorvDevice(DEVTYPE_HOSTPC, sim::kHostDeviceName, "Host PC") {}

Drv_Return CHostPCDevice::Malloc(DWORD size, void** address, LARGE_INTEGER* busAddress) {
    Drv_Return r{DRV_BAD_ARGUMENT, size};
    sim::HostMemory* host = devlib::RigHostMemory();
    if (!address || !busAddress || !size || !host) return r;
    uint64_t bus = 0;
    switch (host->Alloc(size, address, &bus)) {
    case sim::HostMemory::Status::Ok:
        busAddress->QuadPart = static_cast<LONGLONG>(bus);
        return {DRV_SUCCESS, 0};
    case sim::HostMemory::Status::NoMemory: return {DRV_NO_MEMORY, size};
    default: return r;
    }
}

Drv_Return CHostPCDevice::Free(void* address) {
    sim::HostMemory* host = devlib::RigHostMemory();
    if (!address || !host || !host->Free(address)) return {DRV_NOT_OURS, 0};
    return {DRV_SUCCESS, 0};
}

CWexalBoardDevice::CWexalBoardDevice() { Erase(); }

CWexalBoardDevice::CWexalBoardDevice(DEVTYPE type, const char* tag, const char* description, CRegisterWindow* window)
    : CZorvDevice(type, tag, description), m_window(window) {
    Erase();
}

void CWexalBoardDevice::Erase() {
    for (int c = 0; c < 64; ++c) m_DMAChannels[c] = m_window ? CWexalDMAChannel(c, m_window) : CWexalDMAChannel();
}

CWexalDMAChannel* CWexalBoardDevice::GetDMAChannel(int n) { return n >= 0 && n < 64 ? &m_DMAChannels[n] : nullptr; }
