// The console's symbol table: values of reply parameters and their symbolic names.
#include "breakout/yorb_symbols.h"

#include <cstring>
#include <initializer_list>

namespace {

using Values = std::vector<YorbSymbolValue>;

// Symbols for the values 0, 1, 2 ... in order.
Values Seq(std::initializer_list<const char*> symbols, const char* prefix = "") {
    Values out;
    for (const char* s : symbols) out.push_back({static_cast<DWORD>(out.size()), std::string(prefix) + s});
    return out;
}

const std::initializer_list<const char*> kHDFormats = {
    "1080I_2997FPS",  "1080I_30FPS",  "1080P_2997FPS",  "1080P_30FPS",  "1080I_25FPS",  "1080P_25FPS",
    "1080P_2397FPS",  "1080P_24FPS",  "1080SF_25FPS",   "1080SF_2997FPS", "1080SF_30FPS", "1080SF_2397FPS",
    "1080SF_24FPS",   "720P_5997FPS", "720P_60FPS",     "720P_50FPS",   "720P_2997FPS", "720P_30FPS",
    "720P_25FPS",     "720P_2397FPS", "720P_24FPS"};

// 0 invalid, 1-21 the HD formats, 22-24 NTSC, PAL, NTSCJ.
Values FormatList(const char* invalid, const char* hdPrefix, const char* sdPrefix) {
    Values out = Seq(kHDFormats, hdPrefix);
    for (auto& v : out) ++v.value;
    out.insert(out.begin(), {0, invalid});
    DWORD value = 22;
    for (const char* sd : {"NTSC", "PAL", "NTSCJ"}) out.push_back({value++, std::string(sdPrefix) + sd});
    return out;
}

Values VideoIOType(const char* prefix) {
    const std::pair<DWORD, const char*> rows[] = {{0, "None"},       {1, "Composite"},  {2, "Component"},
                                                  {3, "SVideo"},     {5, "SDI"},        {6, "SDGlobal"},
                                                  {7, "HDGlobal"},   {8, "HDGBR"},      {9, "HDYPbPr"},
                                                  {10, "HDSDI"},     {11, "HDComponent"}, {12, "HD_DVI"}};
    Values out;
    for (const auto& [value, name] : rows) out.push_back({value, std::string(prefix) + name});
    return out;
}

Values VideoIOControl(const char* prefix) {
    return Seq({"InvalidControl", "HPhase", "Black", "YGain", "RYGain", "BYGain", "Gain", "Hue", "Sat", "SCPhase",
                "SDILevel", "Brightness", "Contrast", "AnalogChromaGain", "AnalogLumaGain", "ChromaGain",
                "SubPixelHPhase", "Sync", "RYandBYGain", "SignalLock", "VCXOFreeRunFreq_FACTORY",
                "SyncTipHeightDAC_ABC_FACTORY", "SyncTipHeightDAC_DEF_FACTORY", "Y_DCOffset_FACTORY",
                "C_DCOffset_FACTORY", "DAC2D_TP136_FACTORY", "DAC2C_TP135_FACTORY", "CompositeOffset_FACTORY",
                "SVideoGainC_FACTORY", "SVideoOffsetY_FACTORY", "SVideoOffsetC_FACTORY", "ComponentGainC_FACTORY",
                "ComponentOffsetY_FACTORY", "ComponentOffsetPbPr_FACTORY", "ComponentOffsetCb_FACTORY",
                "ComponentOffsetCr_FACTORY", "Black_Consumer", "Gain_Consumer", "Hue_Consumer", "Sat_Consumer",
                "RYGain_Consumer", "BYGain_Consumer", "YGain_Consumer", "Capture8bitClip", "VBI", "OutputLock",
                "HD_CbCr_Offset_CAL_FACTORY", "HD_Y_Offset_CAL_FACTORY", "HD_Cb_Offset", "HD_Cr_Offset",
                "HD_Y_Offset", "HD_YCbCr_Gain", "HD_SDDownconvert", "HD_HDCrossconvert", "HD_HDComponentFormat"},
               prefix);
}

const Values kVideoOut = {{0, "VideoOut_None"}, {1, "VideoOut_Composite"}, {2, "VideoOut_Component"},
                          {3, "VideoOut_SVideo"}, {5, "VideoOut_SDI"}};
const std::initializer_list<const char*> kVideoSources = {
    "VideoIn_None", "VideoIn_Composite", "VideoIn_Component", "VideoIn_SVideo", "VideoIn_1394", "VideoIn_SDI",
    "VideoIn_DevicePort_1394"};
const std::initializer_list<const char*> kVidError = {"VidError_False", "VidError_True"};

std::vector<YorbSymbolCommand> BuildTable() {
    std::vector<YorbSymbolParam> videoError;
    for (const char* p : {"Play_Invalid_InfoN", "Play_Invalid_Init", "Play_Vbit_NotAligned", "Play_Hbit_NotAligned",
                          "Play_InfoN_NotAligned", "Play_NoInfoN", "Play_ClipDetect", "Cap_TopOfFrame_Error",
                          "Cap_StartOfActiveVideo_Error", "Cap_EndOfActiveVideo_Error", "Cap_ClipDetect"})
        videoError.push_back({p, Seq(kVidError)});
    Values hdFormat = Seq({"Invalid", "1080I_2997FPS", "1080I_30FPS", "1080P_2997FPS", "1080P_30FPS", "1080I_25FPS",
                           "1080P_25FPS", "1080P_2397FPS", "1080P_24FPS", "1080SF_25FPS", "1080SF_2997FPS",
                           "1080SF_30FPS", "1080SF_2397FPS", "1080SF_24FPS", "1035I_2997FPS", "1035I_30FPS",
                           "720P_5997FPS", "720P_60FPS", "720P_50FPS", "720P_2997FPS", "720P_30FPS", "720P_25FPS",
                           "720P_2397FPS", "720P_24FPS"},
                          "HDFmt_");
    return {
        {"HVOutputFormat",
         {{"OutputFormat", FormatList("Fmt_Invalid", "HVHDFmt_", "HVSDFmt_")},
          {"SDProxyFormat", {{0, "Fmt_Invalid"}, {22, "HVSDFmt_NTSC"}, {23, "HVSDFmt_PAL"}, {24, "HVSDFmt_NTSCJ"}}}}},
        {"HVInputFormat", {{"InputFormat", FormatList("InFmt_Invalid", "HVHDInFmt_", "HVSDInFmt_")}}},
        {"VideoConfig",
         {{"Mode", Seq({"Invalid", "Play", "Capture"})},
          {"VideoFormat", Seq({"VideoFormat_Invalid", "VideoFormat_SD", "VideoFormat_HD"})},
          {"VideoStandard",
           Seq({"VideoStandard_Invalid", "VideoStandard_NTSC", "VideoStandard_PAL", "VideoStandard_NTSCJ"})},
          {"HDFormat", hdFormat},
          {"InputSource", Seq(kVideoSources)},
          {"OutputSource", Seq(kVideoSources)}}},
        {"VideoIOMode", {{"Mode", Seq({"Invalid", "Play", "Capture"})}}},
        {"VideoOutput", {{"VideoOut_Type", kVideoOut}}},
        {"VideoIOControl",
         {{"InputOrOutput", Seq({"VIOCtrl_Input", "VIOCtrl_Output"})},
          {"Type", VideoIOType("VIOCtrl_")},
          {"Control", VideoIOControl("VIOCtrl_")}}},
        {"HVProjectFormat", {{"ProjectFormat", FormatList("ProjFmt_Invalid", "HVHDProjFmt_", "HVSDProjFmt_")}}},
        {"VideoIOCalibration",
         {{"Format", Seq({"VIOCal_NTSC", "VIOCal_PAL", "VIOCal_NTSCJ", "VIOCal_HD"})},
          {"InputOrOutput", Seq({"VIOCal_Input", "VIOCal_Output"})},
          {"Type", VideoIOType("VIOCal_")},
          {"Control", VideoIOControl("VIOCal_")}}},
        {"VideoInput",
         {{"VideoInType",
           Seq({"VideoInput_None", "VideoInput_Composite", "VideoInput_Component", "VideoInput_SVideo",
                "VideoInput_1394", "VideoInput_SDI", "VideoInput_DevicePort_1394", "VideoInput_Internal_Diag",
                "VideoInput_HDSDI"})}}},
        {"VideoOutput", {{"VideoOut_Type", kVideoOut}}},
        {"VideoError", videoError},
        {"HVResizerEnable",
         {{"ResizerEnable",
           {{0, "HVResizer_Disabled"},
            {1, "HVResizer_SDProxy_CenterCrop"},
            {2, "HVResizer_SDProxy_Letterbox"},
            {3, "HVResizer_SDProxy_Anamorphic"},
            {4, "HVResizer_SDProxy_Cinamascope_CenterCrop"},
            {5, "HVResizer_SDProxy_Cinamascope_Padding"},
            {64, "HVResizer_HDconversion"},
            {65, "HVResizer_1080from2k4k_CenterCrop"},
            {66, "HVResizer_1080from2k4k_Padding"},
            {67, "HVResizer_1080fromFullAperture_CenterCrop"},
            {68, "HVResizer_1080fromFullAperture_Padding"},
            {69, "HVResizer_1080fromCinamascope_CenterCrop"},
            {70, "HVResizer_1080fromCinamascope_Padding"},
            {71, "HVResizer_1080fromWidescreen_CenterCrop"},
            {72, "HVResizer_1080fromWidescreen_Padding"},
            {128, "HVResizer_HD_VGA72Hz"}}}}},
        {"VideoTransferType", {{"VideoTransferType", Seq({"VidTrans_Fields", "VidTrans_Frames"})}}},
        {"VideoHoldFrame",
         {{"VideoHoldFrame", Seq({"VideoHoldFrame_BothFields", "VideoHoldFrame_OddField", "VideoHoldFrame_EvenField"})}}},
        {"HVHDSyncSource", {{"HVHDSyncSource", Seq({"Bexi_TriLevel_Sync", "Nulk_BlackBurst_Sync"})}}},
        {"HVSDAnalogInputQuality", {{"HVSDAnalogInputQuality", Seq({"HVSD_Professional", "HVSD_Consumer"})}}},
        {"HVSDAnalogFilterSelect", {{"HVSDAnalogFilterSelect", Seq({"HVSD_NotchFilter", "HVSD_CombFilter"})}}},
        {"HVSDGainMode", {{"HVSDGainMode", Seq({"HVSD_Manual", "HVSD_Automatic"})}}},
        {"HVHDVideoOutput", {{"HVHDVideoOutput", {{0, "HDVideoOut_None"}, {9, "HDVideoOut_YPbPr"}, {8, "HDVideoOut_GBR"}}}}},
        {"HAClockReference",
         {{"ClockApplication", Seq({"HAClockApOutput", "HAClockApCapture", "HAClockApSRCOut", "HAClockApSRCIn"})},
          {"ClockToUse", {{0, "HAClockBobProjectRoute"}, {2, "HAClockPlayRoute"}, {3, "HAClockRecordRoute"}}}}},
        {"HAClockRouting",
         {{"ClockToSet", Seq({"HAClockBobProject", "HAClockPrescaler", "HAClockPlay", "HAClockRecord"})},
          {"SyncSource", Seq({"HASyncVideoOut", "HASyncVideoIn", "HASyncDolwerCapture", "HASyncADATCapture",
                              "HAPrescaler", "HASyncHDVideoOut", "HASyncHDVideoIn"})},
          {"SampleRate", Seq({"HARateUnity", "HARate32K", "HARate44K", "HARate48K", "HARate88K", "HARate96K",
                              "HARateNTSCPullDown", "HARateNTSCPullUp", "HARatePALPullDown", "HARatePALPullUp"})}}},
        {"HACaptureClockSource",
         {{"PortPair", Seq({"HAAesEbuPort01", "HAAesEbuPort23", "HAAesEbuPort45", "HAAesEbuPort67"})}}},
        {"HAInputStreamRouting",
         {{"StreamGroup", Seq({"HANulkEmbeddedSource", "HASlot2ASource", "HASlot2DSource", "HAADATSource",
                               "HASlot3Source", "HASilence", "HATone"})}}},
        {"HASRCConnection",
         {{"InOut", Seq({"HASRCInput", "HASRCOutput"})},
          {"SRCConnection", Seq({"HADisconnected", "HAOutput07", "HAOutput815", "HAInput07", "HAInput815"})},
          {"OperatingMode", Seq({"HASrcMode", "HASynchronizeMode"})}}},
        {"HAOutputStreamAssignment",
         {{"Subsystem", Seq({"HADolwerAnalog", "HADolwerDigital", "HADolwerADAT"})},
          {"FirstStream", Seq({"HANulkMonitor", "HANulkEmbedded"})},
          {"TapLocation", Seq({"HATapNormal", "HATapBobOut", "HATapBobIn", "HATapNulkEmbedded", "HATapADATInput",
                               "HATapSlot2A", "HATapSlot2D", "HATapSlot3"})}}},
        {"HAMeasureSampleRate",
         {{"ClockToUse", Seq({"HAMeasurePlay", "HAMeasureRecord", "HAMeasureMonitor", "HAMeasurePort0",
                              "HAMEasurePort1", "HAMeasurePort2", "HAMeasurePort3", "HAMeasurePort4"})}}},
        {"HWStatus",
         {{"SyncSource",
           Seq({"SyncSource_Invalid", "SyncSource_FreeRun", "SyncSource_Trilevel", "SyncSource_BlackBurst"})}}},
        {"IOMode",
         {{"Type", Seq({"IOMode_Video", "IOMode_Audio", "IOMode_VANC", "IOMode_HANC", "IOMode_LTC"})},
          {"Mode", Seq({"IOMode_None", "IOMode_Play", "IOMode_Capture", "IOMode_PlayCapture"})}}},
        {"TOFClockSelect", {{"ClockSelector", Seq({"TOFPlay", "TOFCapture"})}}},
        {"LTCOutputSelectClockSource", {{"LTCClock", Seq({"k_LTCClock_SD", "k_LTCClock_HD"})}}},
    };
}

}  // namespace

const std::vector<YorbSymbolCommand>& YorbSymbolTable() {
    static const std::vector<YorbSymbolCommand> table = BuildTable();
    return table;
}

const char* FindYorbSymbol(const char* command, const char* param, DWORD value) {
    const char* found = nullptr;
    if (!command || !param) return found;
    for (const YorbSymbolCommand& c : YorbSymbolTable()) {
        if (c.name != command) continue;
        for (const YorbSymbolParam& p : c.params) {
            if (p.name != param) continue;
            for (const YorbSymbolValue& v : p.values)
                if (v.value == value) found = v.symbol.c_str();
        }
    }
    return found;
}
