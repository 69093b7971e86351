// The symbol table's data, and the searches over it.
#include "yorbflow/symbol_table.h"

#include <cstring>

namespace YorbFlow {

namespace {

// Per command entry (numbered in table order), per parameter: value and symbol. Spellings are the
// firmware's own ("HAMEasurePort1", "Cinamascope").
const YorbSymbolValue kHVOutputFormat0_OutputFormat[] = {
    {0, "Fmt_Invalid"}, {1, "HVHDFmt_1080I_2997FPS"}, {2, "HVHDFmt_1080I_30FPS"}, {3, "HVHDFmt_1080P_2997FPS"},
    {4, "HVHDFmt_1080P_30FPS"}, {5, "HVHDFmt_1080I_25FPS"}, {6, "HVHDFmt_1080P_25FPS"}, {7, "HVHDFmt_1080P_2397FPS"},
    {8, "HVHDFmt_1080P_24FPS"}, {9, "HVHDFmt_1080SF_25FPS"}, {10, "HVHDFmt_1080SF_2997FPS"},
    {11, "HVHDFmt_1080SF_30FPS"}, {12, "HVHDFmt_1080SF_2397FPS"}, {13, "HVHDFmt_1080SF_24FPS"},
    {14, "HVHDFmt_720P_5997FPS"}, {15, "HVHDFmt_720P_60FPS"}, {16, "HVHDFmt_720P_50FPS"},
    {17, "HVHDFmt_720P_2997FPS"}, {18, "HVHDFmt_720P_30FPS"}, {19, "HVHDFmt_720P_25FPS"},
    {20, "HVHDFmt_720P_2397FPS"}, {21, "HVHDFmt_720P_24FPS"}, {22, "HVSDFmt_NTSC"}, {23, "HVSDFmt_PAL"},
    {24, "HVSDFmt_NTSCJ"},
};
const YorbSymbolValue kHVOutputFormat0_SDProxyFormat[] = {
    {0, "Fmt_Invalid"}, {22, "HVSDFmt_NTSC"}, {23, "HVSDFmt_PAL"}, {24, "HVSDFmt_NTSCJ"},
};
const YorbSymbolValue kHVInputFormat1_InputFormat[] = {
    {0, "InFmt_Invalid"}, {1, "HVHDInFmt_1080I_2997FPS"}, {2, "HVHDInFmt_1080I_30FPS"},
    {3, "HVHDInFmt_1080P_2997FPS"}, {4, "HVHDInFmt_1080P_30FPS"}, {5, "HVHDInFmt_1080I_25FPS"},
    {6, "HVHDInFmt_1080P_25FPS"}, {7, "HVHDInFmt_1080P_2397FPS"}, {8, "HVHDInFmt_1080P_24FPS"},
    {9, "HVHDInFmt_1080SF_25FPS"}, {10, "HVHDInFmt_1080SF_2997FPS"}, {11, "HVHDInFmt_1080SF_30FPS"},
    {12, "HVHDInFmt_1080SF_2397FPS"}, {13, "HVHDInFmt_1080SF_24FPS"}, {14, "HVHDInFmt_720P_5997FPS"},
    {15, "HVHDInFmt_720P_60FPS"}, {16, "HVHDInFmt_720P_50FPS"}, {17, "HVHDInFmt_720P_2997FPS"},
    {18, "HVHDInFmt_720P_30FPS"}, {19, "HVHDInFmt_720P_25FPS"}, {20, "HVHDInFmt_720P_2397FPS"},
    {21, "HVHDInFmt_720P_24FPS"}, {22, "HVSDInFmt_NTSC"}, {23, "HVSDInFmt_PAL"}, {24, "HVSDInFmt_NTSCJ"},
};
const YorbSymbolValue kVideoConfig2_Mode[] = {
    {0, "Invalid"}, {1, "Play"}, {2, "Capture"},
};
const YorbSymbolValue kVideoConfig2_VideoFormat[] = {
    {0, "VideoFormat_Invalid"}, {1, "VideoFormat_SD"}, {2, "VideoFormat_HD"},
};
const YorbSymbolValue kVideoConfig2_VideoStandard[] = {
    {0, "VideoStandard_Invalid"}, {1, "VideoStandard_NTSC"}, {2, "VideoStandard_PAL"}, {3, "VideoStandard_NTSCJ"},
};
const YorbSymbolValue kVideoConfig2_HDFormat[] = {
    {0, "HDFmt_Invalid"}, {1, "HDFmt_1080I_2997FPS"}, {2, "HDFmt_1080I_30FPS"}, {3, "HDFmt_1080P_2997FPS"},
    {4, "HDFmt_1080P_30FPS"}, {5, "HDFmt_1080I_25FPS"}, {6, "HDFmt_1080P_25FPS"}, {7, "HDFmt_1080P_2397FPS"},
    {8, "HDFmt_1080P_24FPS"}, {9, "HDFmt_1080SF_25FPS"}, {10, "HDFmt_1080SF_2997FPS"}, {11, "HDFmt_1080SF_30FPS"},
    {12, "HDFmt_1080SF_2397FPS"}, {13, "HDFmt_1080SF_24FPS"}, {14, "HDFmt_1035I_2997FPS"}, {15, "HDFmt_1035I_30FPS"},
    {16, "HDFmt_720P_5997FPS"}, {17, "HDFmt_720P_60FPS"}, {18, "HDFmt_720P_50FPS"}, {19, "HDFmt_720P_2997FPS"},
    {20, "HDFmt_720P_30FPS"}, {21, "HDFmt_720P_25FPS"}, {22, "HDFmt_720P_2397FPS"}, {23, "HDFmt_720P_24FPS"},
};
const YorbSymbolValue kVideoConfig2_InputSource[] = {
    {0, "VideoIn_None"}, {1, "VideoIn_Composite"}, {2, "VideoIn_Component"}, {3, "VideoIn_SVideo"},
    {4, "VideoIn_1394"}, {5, "VideoIn_SDI"}, {6, "VideoIn_DevicePort_1394"},
};
const YorbSymbolValue kVideoConfig2_OutputSource[] = {
    {0, "VideoIn_None"}, {1, "VideoIn_Composite"}, {2, "VideoIn_Component"}, {3, "VideoIn_SVideo"},
    {4, "VideoIn_1394"}, {5, "VideoIn_SDI"}, {6, "VideoIn_DevicePort_1394"},
};
const YorbSymbolValue kVideoIOMode3_Mode[] = {
    {0, "Invalid"}, {1, "Play"}, {2, "Capture"},
};
const YorbSymbolValue kVideoOutput4_VideoOut_Type[] = {
    {0, "VideoOut_None"}, {1, "VideoOut_Composite"}, {2, "VideoOut_Component"}, {3, "VideoOut_SVideo"},
    {5, "VideoOut_SDI"},
};
const YorbSymbolValue kVideoIOControl5_InputOrOutput[] = {
    {0, "VIOCtrl_Input"}, {1, "VIOCtrl_Output"},
};
const YorbSymbolValue kVideoIOControl5_Type[] = {
    {0, "VIOCtrl_None"}, {1, "VIOCtrl_Composite"}, {2, "VIOCtrl_Component"}, {3, "VIOCtrl_SVideo"},
    {5, "VIOCtrl_SDI"}, {6, "VIOCtrl_SDGlobal"}, {7, "VIOCtrl_HDGlobal"}, {8, "VIOCtrl_HDGBR"},
    {9, "VIOCtrl_HDYPbPr"}, {10, "VIOCtrl_HDSDI"}, {11, "VIOCtrl_HDComponent"}, {12, "VIOCtrl_HD_DVI"},
};
const YorbSymbolValue kVideoIOControl5_Control[] = {
    {0, "VIOCtrl_InvalidControl"}, {1, "VIOCtrl_HPhase"}, {2, "VIOCtrl_Black"}, {3, "VIOCtrl_YGain"},
    {4, "VIOCtrl_RYGain"}, {5, "VIOCtrl_BYGain"}, {6, "VIOCtrl_Gain"}, {7, "VIOCtrl_Hue"}, {8, "VIOCtrl_Sat"},
    {9, "VIOCtrl_SCPhase"}, {10, "VIOCtrl_SDILevel"}, {11, "VIOCtrl_Brightness"}, {12, "VIOCtrl_Contrast"},
    {13, "VIOCtrl_AnalogChromaGain"}, {14, "VIOCtrl_AnalogLumaGain"}, {15, "VIOCtrl_ChromaGain"},
    {16, "VIOCtrl_SubPixelHPhase"}, {17, "VIOCtrl_Sync"}, {18, "VIOCtrl_RYandBYGain"}, {19, "VIOCtrl_SignalLock"},
    {20, "VIOCtrl_VCXOFreeRunFreq_FACTORY"}, {21, "VIOCtrl_SyncTipHeightDAC_ABC_FACTORY"},
    {22, "VIOCtrl_SyncTipHeightDAC_DEF_FACTORY"}, {23, "VIOCtrl_Y_DCOffset_FACTORY"},
    {24, "VIOCtrl_C_DCOffset_FACTORY"}, {25, "VIOCtrl_DAC2D_TP136_FACTORY"}, {26, "VIOCtrl_DAC2C_TP135_FACTORY"},
    {27, "VIOCtrl_CompositeOffset_FACTORY"}, {28, "VIOCtrl_SVideoGainC_FACTORY"},
    {29, "VIOCtrl_SVideoOffsetY_FACTORY"}, {30, "VIOCtrl_SVideoOffsetC_FACTORY"},
    {31, "VIOCtrl_ComponentGainC_FACTORY"}, {32, "VIOCtrl_ComponentOffsetY_FACTORY"},
    {33, "VIOCtrl_ComponentOffsetPbPr_FACTORY"}, {34, "VIOCtrl_ComponentOffsetCb_FACTORY"},
    {35, "VIOCtrl_ComponentOffsetCr_FACTORY"}, {36, "VIOCtrl_Black_Consumer"}, {37, "VIOCtrl_Gain_Consumer"},
    {38, "VIOCtrl_Hue_Consumer"}, {39, "VIOCtrl_Sat_Consumer"}, {40, "VIOCtrl_RYGain_Consumer"},
    {41, "VIOCtrl_BYGain_Consumer"}, {42, "VIOCtrl_YGain_Consumer"}, {43, "VIOCtrl_Capture8bitClip"},
    {44, "VIOCtrl_VBI"}, {45, "VIOCtrl_OutputLock"}, {46, "VIOCtrl_HD_CbCr_Offset_CAL_FACTORY"},
    {47, "VIOCtrl_HD_Y_Offset_CAL_FACTORY"}, {48, "VIOCtrl_HD_Cb_Offset"}, {49, "VIOCtrl_HD_Cr_Offset"},
    {50, "VIOCtrl_HD_Y_Offset"}, {51, "VIOCtrl_HD_YCbCr_Gain"}, {52, "VIOCtrl_HD_SDDownconvert"},
    {53, "VIOCtrl_HD_HDCrossconvert"}, {54, "VIOCtrl_HD_HDComponentFormat"},
};
const YorbSymbolValue kHVProjectFormat6_ProjectFormat[] = {
    {0, "ProjFmt_Invalid"}, {1, "HVHDProjFmt_1080I_2997FPS"}, {2, "HVHDProjFmt_1080I_30FPS"},
    {3, "HVHDProjFmt_1080P_2997FPS"}, {4, "HVHDProjFmt_1080P_30FPS"}, {5, "HVHDProjFmt_1080I_25FPS"},
    {6, "HVHDProjFmt_1080P_25FPS"}, {7, "HVHDProjFmt_1080P_2397FPS"}, {8, "HVHDProjFmt_1080P_24FPS"},
    {9, "HVHDProjFmt_1080SF_25FPS"}, {10, "HVHDProjFmt_1080SF_2997FPS"}, {11, "HVHDProjFmt_1080SF_30FPS"},
    {12, "HVHDProjFmt_1080SF_2397FPS"}, {13, "HVHDProjFmt_1080SF_24FPS"}, {14, "HVHDProjFmt_720P_5997FPS"},
    {15, "HVHDProjFmt_720P_60FPS"}, {16, "HVHDProjFmt_720P_50FPS"}, {17, "HVHDProjFmt_720P_2997FPS"},
    {18, "HVHDProjFmt_720P_30FPS"}, {19, "HVHDProjFmt_720P_25FPS"}, {20, "HVHDProjFmt_720P_2397FPS"},
    {21, "HVHDProjFmt_720P_24FPS"}, {22, "HVSDProjFmt_NTSC"}, {23, "HVSDProjFmt_PAL"}, {24, "HVSDProjFmt_NTSCJ"},
};
const YorbSymbolValue kVideoIOCalibration7_Format[] = {
    {0, "VIOCal_NTSC"}, {1, "VIOCal_PAL"}, {2, "VIOCal_NTSCJ"}, {3, "VIOCal_HD"},
};
const YorbSymbolValue kVideoIOCalibration7_InputOrOutput[] = {
    {0, "VIOCal_Input"}, {1, "VIOCal_Output"},
};
const YorbSymbolValue kVideoIOCalibration7_Type[] = {
    {0, "VIOCal_None"}, {1, "VIOCal_Composite"}, {2, "VIOCal_Component"}, {3, "VIOCal_SVideo"}, {5, "VIOCal_SDI"},
    {6, "VIOCal_SDGlobal"}, {7, "VIOCal_HDGlobal"}, {8, "VIOCal_HDGBR"}, {9, "VIOCal_HDYPbPr"}, {10, "VIOCal_HDSDI"},
    {11, "VIOCal_HDComponent"}, {12, "VIOCal_HD_DVI"},
};
const YorbSymbolValue kVideoIOCalibration7_Control[] = {
    {0, "VIOCal_InvalidControl"}, {1, "VIOCal_HPhase"}, {2, "VIOCal_Black"}, {3, "VIOCal_YGain"},
    {4, "VIOCal_RYGain"}, {5, "VIOCal_BYGain"}, {6, "VIOCal_Gain"}, {7, "VIOCal_Hue"}, {8, "VIOCal_Sat"},
    {9, "VIOCal_SCPhase"}, {10, "VIOCal_SDILevel"}, {11, "VIOCal_Brightness"}, {12, "VIOCal_Contrast"},
    {13, "VIOCal_AnalogChromaGain"}, {14, "VIOCal_AnalogLumaGain"}, {15, "VIOCal_ChromaGain"},
    {16, "VIOCal_SubPixelHPhase"}, {17, "VIOCal_Sync"}, {18, "VIOCal_RYandBYGain"}, {19, "VIOCal_SignalLock"},
    {20, "VIOCal_VCXOFreeRunFreq_FACTORY"}, {21, "VIOCal_SyncTipHeightDAC_ABC_FACTORY"},
    {22, "VIOCal_SyncTipHeightDAC_DEF_FACTORY"}, {23, "VIOCal_Y_DCOffset_FACTORY"}, {24, "VIOCal_C_DCOffset_FACTORY"},
    {25, "VIOCal_DAC2D_TP136_FACTORY"}, {26, "VIOCal_DAC2C_TP135_FACTORY"}, {27, "VIOCal_CompositeOffset_FACTORY"},
    {28, "VIOCal_SVideoGainC_FACTORY"}, {29, "VIOCal_SVideoOffsetY_FACTORY"}, {30, "VIOCal_SVideoOffsetC_FACTORY"},
    {31, "VIOCal_ComponentGainC_FACTORY"}, {32, "VIOCal_ComponentOffsetY_FACTORY"},
    {33, "VIOCal_ComponentOffsetPbPr_FACTORY"}, {34, "VIOCal_ComponentOffsetCb_FACTORY"},
    {35, "VIOCal_ComponentOffsetCr_FACTORY"}, {36, "VIOCal_Black_Consumer"}, {37, "VIOCal_Gain_Consumer"},
    {38, "VIOCal_Hue_Consumer"}, {39, "VIOCal_Sat_Consumer"}, {40, "VIOCal_RYGain_Consumer"},
    {41, "VIOCal_BYGain_Consumer"}, {42, "VIOCal_YGain_Consumer"}, {43, "VIOCal_Capture8bitClip"}, {44, "VIOCal_VBI"},
    {45, "VIOCal_OutputLock"}, {46, "VIOCal_HD_CbCr_Offset_CAL_FACTORY"}, {47, "VIOCal_HD_Y_Offset_CAL_FACTORY"},
    {48, "VIOCal_HD_Cb_Offset"}, {49, "VIOCal_HD_Cr_Offset"}, {50, "VIOCal_HD_Y_Offset"},
    {51, "VIOCal_HD_YCbCr_Gain"}, {52, "VIOCal_HD_SDDownconvert"}, {53, "VIOCal_HD_HDCrossconvert"},
    {54, "VIOCal_HD_HDComponentFormat"},
};
const YorbSymbolValue kVideoInput8_VideoInType[] = {
    {0, "VideoInput_None"}, {1, "VideoInput_Composite"}, {2, "VideoInput_Component"}, {3, "VideoInput_SVideo"},
    {4, "VideoInput_1394"}, {5, "VideoInput_SDI"}, {6, "VideoInput_DevicePort_1394"}, {7, "VideoInput_Internal_Diag"},
    {8, "VideoInput_HDSDI"},
};
const YorbSymbolValue kVideoOutput9_VideoOut_Type[] = {
    {0, "VideoOut_None"}, {1, "VideoOut_Composite"}, {2, "VideoOut_Component"}, {3, "VideoOut_SVideo"},
    {5, "VideoOut_SDI"},
};
const YorbSymbolValue kVideoError10_Play_Invalid_InfoN[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Play_Invalid_Init[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Play_Vbit_NotAligned[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Play_Hbit_NotAligned[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Play_InfoN_NotAligned[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Play_NoInfoN[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Play_ClipDetect[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Cap_TopOfFrame_Error[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Cap_StartOfActiveVideo_Error[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Cap_EndOfActiveVideo_Error[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kVideoError10_Cap_ClipDetect[] = {
    {0, "VidError_False"}, {1, "VidError_True"},
};
const YorbSymbolValue kHVResizerEnable11_ResizerEnable[] = {
    {0, "HVResizer_Disabled"}, {1, "HVResizer_SDProxy_CenterCrop"}, {2, "HVResizer_SDProxy_Letterbox"},
    {3, "HVResizer_SDProxy_Anamorphic"}, {4, "HVResizer_SDProxy_Cinamascope_CenterCrop"},
    {5, "HVResizer_SDProxy_Cinamascope_Padding"}, {64, "HVResizer_HDconversion"},
    {65, "HVResizer_1080from2k4k_CenterCrop"}, {66, "HVResizer_1080from2k4k_Padding"},
    {67, "HVResizer_1080fromFullAperture_CenterCrop"}, {68, "HVResizer_1080fromFullAperture_Padding"},
    {69, "HVResizer_1080fromCinamascope_CenterCrop"}, {70, "HVResizer_1080fromCinamascope_Padding"},
    {71, "HVResizer_1080fromWidescreen_CenterCrop"}, {72, "HVResizer_1080fromWidescreen_Padding"},
    {128, "HVResizer_HD_VGA72Hz"},
};
const YorbSymbolValue kVideoTransferType12_VideoTransferType[] = {
    {0, "VidTrans_Fields"}, {1, "VidTrans_Frames"},
};
const YorbSymbolValue kVideoHoldFrame13_VideoHoldFrame[] = {
    {0, "VideoHoldFrame_BothFields"}, {1, "VideoHoldFrame_OddField"}, {2, "VideoHoldFrame_EvenField"},
};
const YorbSymbolValue kHVHDSyncSource14_HVHDSyncSource[] = {
    {0, "Bexi_TriLevel_Sync"}, {1, "Nulk_BlackBurst_Sync"},
};
const YorbSymbolValue kHVSDAnalogInputQuality15_HVSDAnalogInputQuality[] = {
    {0, "HVSD_Professional"}, {1, "HVSD_Consumer"},
};
const YorbSymbolValue kHVSDAnalogFilterSelect16_HVSDAnalogFilterSelect[] = {
    {0, "HVSD_NotchFilter"}, {1, "HVSD_CombFilter"},
};
const YorbSymbolValue kHVSDGainMode17_HVSDGainMode[] = {
    {0, "HVSD_Manual"}, {1, "HVSD_Automatic"},
};
const YorbSymbolValue kHVHDVideoOutput18_HVHDVideoOutput[] = {
    {0, "HDVideoOut_None"}, {9, "HDVideoOut_YPbPr"}, {8, "HDVideoOut_GBR"},
};
const YorbSymbolValue kHAClockReference19_ClockApplication[] = {
    {0, "HAClockApOutput"}, {1, "HAClockApCapture"}, {2, "HAClockApSRCOut"}, {3, "HAClockApSRCIn"},
};
const YorbSymbolValue kHAClockReference19_ClockToUse[] = {
    {0, "HAClockBobProjectRoute"}, {2, "HAClockPlayRoute"}, {3, "HAClockRecordRoute"},
};
const YorbSymbolValue kHAClockRouting20_ClockToSet[] = {
    {0, "HAClockBobProject"}, {1, "HAClockPrescaler"}, {2, "HAClockPlay"}, {3, "HAClockRecord"},
};
const YorbSymbolValue kHAClockRouting20_SyncSource[] = {
    {0, "HASyncVideoOut"}, {1, "HASyncVideoIn"}, {2, "HASyncDolwerCapture"}, {3, "HASyncADATCapture"},
    {4, "HAPrescaler"}, {5, "HASyncHDVideoOut"}, {6, "HASyncHDVideoIn"},
};
const YorbSymbolValue kHAClockRouting20_SampleRate[] = {
    {0, "HARateUnity"}, {1, "HARate32K"}, {2, "HARate44K"}, {3, "HARate48K"}, {4, "HARate88K"}, {5, "HARate96K"},
    {6, "HARateNTSCPullDown"}, {7, "HARateNTSCPullUp"}, {8, "HARatePALPullDown"}, {9, "HARatePALPullUp"},
};
const YorbSymbolValue kHACaptureClockSource21_PortPair[] = {
    {0, "HAAesEbuPort01"}, {1, "HAAesEbuPort23"}, {2, "HAAesEbuPort45"}, {3, "HAAesEbuPort67"},
};
const YorbSymbolValue kHAInputStreamRouting22_StreamGroup[] = {
    {0, "HANulkEmbeddedSource"}, {1, "HASlot2ASource"}, {2, "HASlot2DSource"}, {3, "HAADATSource"},
    {4, "HASlot3Source"}, {5, "HASilence"}, {6, "HATone"},
};
const YorbSymbolValue kHASRCConnection23_InOut[] = {
    {0, "HASRCInput"}, {1, "HASRCOutput"},
};
const YorbSymbolValue kHASRCConnection23_SRCConnection[] = {
    {0, "HADisconnected"}, {1, "HAOutput07"}, {2, "HAOutput815"}, {3, "HAInput07"}, {4, "HAInput815"},
};
const YorbSymbolValue kHASRCConnection23_OperatingMode[] = {
    {0, "HASrcMode"}, {1, "HASynchronizeMode"},
};
const YorbSymbolValue kHAOutputStreamAssignment24_Subsystem[] = {
    {0, "HADolwerAnalog"}, {1, "HADolwerDigital"}, {2, "HADolwerADAT"},
};
const YorbSymbolValue kHAOutputStreamAssignment24_FirstStream[] = {
    {0, "HANulkMonitor"}, {1, "HANulkEmbedded"},
};
const YorbSymbolValue kHAOutputStreamAssignment24_TapLocation[] = {
    {0, "HATapNormal"}, {1, "HATapBobOut"}, {2, "HATapBobIn"}, {3, "HATapNulkEmbedded"}, {4, "HATapADATInput"},
    {5, "HATapSlot2A"}, {6, "HATapSlot2D"}, {7, "HATapSlot3"},
};
const YorbSymbolValue kHAMeasureSampleRate25_ClockToUse[] = {
    {0, "HAMeasurePlay"}, {1, "HAMeasureRecord"}, {2, "HAMeasureMonitor"}, {3, "HAMeasurePort0"},
    {4, "HAMEasurePort1"}, {5, "HAMeasurePort2"}, {6, "HAMeasurePort3"}, {7, "HAMeasurePort4"},
};
const YorbSymbolValue kHWStatus26_SyncSource[] = {
    {0, "SyncSource_Invalid"}, {1, "SyncSource_FreeRun"}, {2, "SyncSource_Trilevel"}, {3, "SyncSource_BlackBurst"},
};
const YorbSymbolValue kIOMode27_Type[] = {
    {0, "IOMode_Video"}, {1, "IOMode_Audio"}, {2, "IOMode_VANC"}, {3, "IOMode_HANC"}, {4, "IOMode_LTC"},
};
const YorbSymbolValue kIOMode27_Mode[] = {
    {0, "IOMode_None"}, {1, "IOMode_Play"}, {2, "IOMode_Capture"}, {3, "IOMode_PlayCapture"},
};
const YorbSymbolValue kTOFClockSelect28_ClockSelector[] = {
    {0, "TOFPlay"}, {1, "TOFCapture"},
};
const YorbSymbolValue kLTCOutputSelectClockSource29_LTCClock[] = {
    {0, "k_LTCClock_SD"}, {1, "k_LTCClock_HD"},
};
const YorbSymbolParam kHVOutputFormat0[] = {
    {"OutputFormat", kHVOutputFormat0_OutputFormat, 25},
    {"SDProxyFormat", kHVOutputFormat0_SDProxyFormat, 4},
};
const YorbSymbolParam kHVInputFormat1[] = {
    {"InputFormat", kHVInputFormat1_InputFormat, 25},
};
const YorbSymbolParam kVideoConfig2[] = {
    {"Mode", kVideoConfig2_Mode, 3},
    {"VideoFormat", kVideoConfig2_VideoFormat, 3},
    {"VideoStandard", kVideoConfig2_VideoStandard, 4},
    {"HDFormat", kVideoConfig2_HDFormat, 24},
    {"InputSource", kVideoConfig2_InputSource, 7},
    {"OutputSource", kVideoConfig2_OutputSource, 7},
};
const YorbSymbolParam kVideoIOMode3[] = {
    {"Mode", kVideoIOMode3_Mode, 3},
};
const YorbSymbolParam kVideoOutput4[] = {
    {"VideoOut_Type", kVideoOutput4_VideoOut_Type, 5},
};
const YorbSymbolParam kVideoIOControl5[] = {
    {"InputOrOutput", kVideoIOControl5_InputOrOutput, 2},
    {"Type", kVideoIOControl5_Type, 12},
    {"Control", kVideoIOControl5_Control, 55},
};
const YorbSymbolParam kHVProjectFormat6[] = {
    {"ProjectFormat", kHVProjectFormat6_ProjectFormat, 25},
};
const YorbSymbolParam kVideoIOCalibration7[] = {
    {"Format", kVideoIOCalibration7_Format, 4},
    {"InputOrOutput", kVideoIOCalibration7_InputOrOutput, 2},
    {"Type", kVideoIOCalibration7_Type, 12},
    {"Control", kVideoIOCalibration7_Control, 55},
};
const YorbSymbolParam kVideoInput8[] = {
    {"VideoInType", kVideoInput8_VideoInType, 9},
};
const YorbSymbolParam kVideoOutput9[] = {
    {"VideoOut_Type", kVideoOutput9_VideoOut_Type, 5},
};
const YorbSymbolParam kVideoError10[] = {
    {"Play_Invalid_InfoN", kVideoError10_Play_Invalid_InfoN, 2},
    {"Play_Invalid_Init", kVideoError10_Play_Invalid_Init, 2},
    {"Play_Vbit_NotAligned", kVideoError10_Play_Vbit_NotAligned, 2},
    {"Play_Hbit_NotAligned", kVideoError10_Play_Hbit_NotAligned, 2},
    {"Play_InfoN_NotAligned", kVideoError10_Play_InfoN_NotAligned, 2},
    {"Play_NoInfoN", kVideoError10_Play_NoInfoN, 2},
    {"Play_ClipDetect", kVideoError10_Play_ClipDetect, 2},
    {"Cap_TopOfFrame_Error", kVideoError10_Cap_TopOfFrame_Error, 2},
    {"Cap_StartOfActiveVideo_Error", kVideoError10_Cap_StartOfActiveVideo_Error, 2},
    {"Cap_EndOfActiveVideo_Error", kVideoError10_Cap_EndOfActiveVideo_Error, 2},
    {"Cap_ClipDetect", kVideoError10_Cap_ClipDetect, 2},
};
const YorbSymbolParam kHVResizerEnable11[] = {
    {"ResizerEnable", kHVResizerEnable11_ResizerEnable, 16},
};
const YorbSymbolParam kVideoTransferType12[] = {
    {"VideoTransferType", kVideoTransferType12_VideoTransferType, 2},
};
const YorbSymbolParam kVideoHoldFrame13[] = {
    {"VideoHoldFrame", kVideoHoldFrame13_VideoHoldFrame, 3},
};
const YorbSymbolParam kHVHDSyncSource14[] = {
    {"HVHDSyncSource", kHVHDSyncSource14_HVHDSyncSource, 2},
};
const YorbSymbolParam kHVSDAnalogInputQuality15[] = {
    {"HVSDAnalogInputQuality", kHVSDAnalogInputQuality15_HVSDAnalogInputQuality, 2},
};
const YorbSymbolParam kHVSDAnalogFilterSelect16[] = {
    {"HVSDAnalogFilterSelect", kHVSDAnalogFilterSelect16_HVSDAnalogFilterSelect, 2},
};
const YorbSymbolParam kHVSDGainMode17[] = {
    {"HVSDGainMode", kHVSDGainMode17_HVSDGainMode, 2},
};
const YorbSymbolParam kHVHDVideoOutput18[] = {
    {"HVHDVideoOutput", kHVHDVideoOutput18_HVHDVideoOutput, 3},
};
const YorbSymbolParam kHAClockReference19[] = {
    {"ClockApplication", kHAClockReference19_ClockApplication, 4},
    {"ClockToUse", kHAClockReference19_ClockToUse, 3},
};
const YorbSymbolParam kHAClockRouting20[] = {
    {"ClockToSet", kHAClockRouting20_ClockToSet, 4},
    {"SyncSource", kHAClockRouting20_SyncSource, 7},
    {"SampleRate", kHAClockRouting20_SampleRate, 10},
};
const YorbSymbolParam kHACaptureClockSource21[] = {
    {"PortPair", kHACaptureClockSource21_PortPair, 4},
};
const YorbSymbolParam kHAInputStreamRouting22[] = {
    {"StreamGroup", kHAInputStreamRouting22_StreamGroup, 7},
};
const YorbSymbolParam kHASRCConnection23[] = {
    {"InOut", kHASRCConnection23_InOut, 2},
    {"SRCConnection", kHASRCConnection23_SRCConnection, 5},
    {"OperatingMode", kHASRCConnection23_OperatingMode, 2},
};
const YorbSymbolParam kHAOutputStreamAssignment24[] = {
    {"Subsystem", kHAOutputStreamAssignment24_Subsystem, 3},
    {"FirstStream", kHAOutputStreamAssignment24_FirstStream, 2},
    {"TapLocation", kHAOutputStreamAssignment24_TapLocation, 8},
};
const YorbSymbolParam kHAMeasureSampleRate25[] = {
    {"ClockToUse", kHAMeasureSampleRate25_ClockToUse, 8},
};
const YorbSymbolParam kHWStatus26[] = {
    {"SyncSource", kHWStatus26_SyncSource, 4},
};
const YorbSymbolParam kIOMode27[] = {
    {"Type", kIOMode27_Type, 5},
    {"Mode", kIOMode27_Mode, 4},
};
const YorbSymbolParam kTOFClockSelect28[] = {
    {"ClockSelector", kTOFClockSelect28_ClockSelector, 2},
};
const YorbSymbolParam kLTCOutputSelectClockSource29[] = {
    {"LTCClock", kLTCOutputSelectClockSource29_LTCClock, 2},
};

}  // namespace

const YorbSymbolCommand YorbSymbolTable[kYorbSymbolCommands] = {
    {"HVOutputFormat", kHVOutputFormat0, 2},
    {"HVInputFormat", kHVInputFormat1, 1},
    {"VideoConfig", kVideoConfig2, 6},
    {"VideoIOMode", kVideoIOMode3, 1},
    {"VideoOutput", kVideoOutput4, 1},
    {"VideoIOControl", kVideoIOControl5, 3},
    {"HVProjectFormat", kHVProjectFormat6, 1},
    {"VideoIOCalibration", kVideoIOCalibration7, 4},
    {"VideoInput", kVideoInput8, 1},
    {"VideoOutput", kVideoOutput9, 1},
    {"VideoError", kVideoError10, 11},
    {"HVResizerEnable", kHVResizerEnable11, 1},
    {"VideoTransferType", kVideoTransferType12, 1},
    {"VideoHoldFrame", kVideoHoldFrame13, 1},
    {"HVHDSyncSource", kHVHDSyncSource14, 1},
    {"HVSDAnalogInputQuality", kHVSDAnalogInputQuality15, 1},
    {"HVSDAnalogFilterSelect", kHVSDAnalogFilterSelect16, 1},
    {"HVSDGainMode", kHVSDGainMode17, 1},
    {"HVHDVideoOutput", kHVHDVideoOutput18, 1},
    {"HAClockReference", kHAClockReference19, 2},
    {"HAClockRouting", kHAClockRouting20, 3},
    {"HACaptureClockSource", kHACaptureClockSource21, 1},
    {"HAInputStreamRouting", kHAInputStreamRouting22, 1},
    {"HASRCConnection", kHASRCConnection23, 3},
    {"HAOutputStreamAssignment", kHAOutputStreamAssignment24, 3},
    {"HAMeasureSampleRate", kHAMeasureSampleRate25, 1},
    {"HWStatus", kHWStatus26, 1},
    {"IOMode", kIOMode27, 2},
    {"TOFClockSelect", kTOFClockSelect28, 1},
    {"LTCOutputSelectClockSource", kLTCOutputSelectClockSource29, 1},
};

namespace {

// Calls visit(value entry) for every value of that command's parameter, in table order.
template <typename Visit>
void ForEachValue(const char* command, const char* param, Visit visit) {
    if (!command || !param) return;
    for (const YorbSymbolCommand& entry : YorbSymbolTable) {
        if (std::strcmp(entry.name, command) != 0) continue;
        for (size_t p = 0; p < entry.count; ++p)
            if (std::strcmp(entry.params[p].name, param) == 0)
                for (size_t v = 0; v < entry.params[p].count; ++v) visit(entry.params[p].values[v]);
    }
}

}  // namespace

const char* FindYorbSymbol(const char* command, const char* param, uint32_t value) {
    const char* found = nullptr;
    ForEachValue(command, param, [&](const YorbSymbolValue& entry) {
        if (entry.value == value) found = entry.symbol;
    });
    return found;
}

bool FindYorbSymbolValue(const char* command, const char* param, const char* symbol, uint32_t* value) {
    bool found = false;
    if (!symbol) return false;
    ForEachValue(command, param, [&](const YorbSymbolValue& entry) {
        if (std::strcmp(entry.symbol, symbol) == 0) {
            if (value) *value = entry.value;
            found = true;
        }
    });
    return found;
}

}  // namespace YorbFlow
