// The external I/O base: the breakout-box set-up, list presets, and the cable loopback and Bexi tests.
#include "breakout/external_io.h"

#include "breakout/yorb_interface.h"
#include "devlib/devices.h"

int CExternalIO::SetupYorbflow(CYorbInterface* command, int verbose) {
    CZorvDevice* device = GetDevice();
    if (!device) {
        if (verbose > 1) PrintColor("SetupYorbflow():  m_pDevice is NULL!\n", kRed);
        return 0;
    }
    int index = 0;
    auto* space = dynamic_cast<CFarnoDeKAddrSpace*>(device->GetSpace(CDevAddrSpace::SPACE_FARNODEK, &index));
    if (!space) {
        if (verbose > 1) PrintColor("SetupYorbflow():  pSpaceBoB is NULL!\n", kRed);
        return 0;
    }
    CFarnoDeKDevice* box = space->GetBoxDevice();
    if (!box) {
        if (verbose > 1) PrintColor("SetupYorbflow():  pDeviceBoB is NULL!\n", kRed);
        return 0;
    }
    if (!box->IsCableConnected()) {
        PrintColor("SetupYorbflow():  External I/O cable is not connected!\n", kRed);
        return 0;
    }
    if (box->GetType() == CZorvDevice::DEVTYPE_FARNODEK) {
        if (verbose > 1) PrintColor("SetupYorbflow():  External I/O is connected to BoB!\n", kBlack);
    } else if (box->GetType() == CZorvDevice::DEVTYPE_LOOPBACK) {
        if (verbose > 1) PrintColor("SetupYorbflow():  External I/O is connected to loopback cable!\n", kBlack);
    } else {
        PrintColor("SetupYorbflow():  External I/O is connection is unknown!\n", kBlack);
        return 0;
    }
    auto* conduit = dynamic_cast<CYorbFlowDevice*>(box->GetDevice(CZorvDevice::DEVTYPE_YORBFLOW, 0));
    if (!conduit) {
        PrintColor("SetupYorbflow():  Unable to get yorb flow device\n", kRed);
        return 0;
    }
    if (!conduit->YorbFlowInit()) {
        PrintColor("SetupYorbflow():  Unable to initialize yorb flow device\n", kRed);
        return 0;
    }
    command->SetDevice(conduit);
    return 1;
}

void CExternalIO::StoreParent(CWexalTreeMapTB* parent) {
    m_parent = parent;
    AddToMap(parent);
}

int CExternalIO::ListPreset() { return StrListPreset(IsRegression(), IsEngineering()); }

CExternalIO::CExternalIO(CJastel* controller, CString name) : CWexalTreeMapTB(name), m_controller(controller) {
    SetCodeName(name);
    // A list that refuses the preset says so, in red.
    const int preset = ListPreset();
    if (!m_images.SetDefaults(preset, TRUE)) PrintColor("Image Mode is UNDEFINED\n", kRed);
    if (!m_resolutions.SetDefaults(preset)) PrintColor("Resolution Mode is UNDEFINED\n", kRed);
}

CCableLoopback::CCableLoopback(CJastel* controller, CString name) : CExternalIO(controller, std::move(name)) {}


CBexi::CBexi(CJastel* controller, CString name) : CExternalIO(controller, std::move(name)) {
    if (!BuildFormatList(ListPreset())) PrintColor("Resolution Mode is UNDEFINED\n", kRed);
    m_resolutions.FreeStrings();
    for (const ProjectFormatEntry& entry : m_formats) m_resolutions.Add(entry.name);
}

