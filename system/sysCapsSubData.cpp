// Sub-tables of the capability data: monitor resolutions, audio inputs and
// outputs, video gains. Nothing in the service reads their rows; the other
// programs of the appliance do, so the row counts must match the "...Entries",
// "audioInputs" and "audioOutputs" entries that point at them.
#include "system/sysCapsData.h"

// ---- monitor resolutions: the same rows at 60 Hz (NTSC) and 50 Hz (PAL) ----
// 6 rows, 2 signal types.
const SysCapMonitorResS kMonRes6Ntsc[6] = {
    {"HDMI", 1920, 1080, 60, 1},
    {"HDMI", 1280, 720, 60, 0},
    {"HDMI", 1920, 1080, 60, 0},
    {"DVID", 1920, 1080, 60, 1},
    {"DVID", 1280, 720, 60, 0},
    {"DVID", 1920, 1080, 60, 0},
};
const SysCapMonitorResS kMonRes6Pal[6] = {
    {"HDMI", 1920, 1080, 50, 1},
    {"HDMI", 1280, 720, 50, 0},
    {"HDMI", 1920, 1080, 50, 0},
    {"DVID", 1920, 1080, 50, 1},
    {"DVID", 1280, 720, 50, 0},
    {"DVID", 1920, 1080, 50, 0},
};

// 8 rows, 2 signal types.
const SysCapMonitorResS kMonRes8Ntsc[8] = {
    {"HDMI", 1920, 1080, 60, 1},
    {"HDMI", 1280, 720, 60, 0},
    {"HDMI", 1920, 1080, 60, 0},
    {"DVID", 1920, 1080, 60, 1},
    {"DVID", 1280, 720, 60, 0},
    {"DVID", 1920, 1080, 60, 0},
    {"HDMI", 1024, 768, 60, 0},
    {"DVID", 1024, 768, 60, 0},
};
const SysCapMonitorResS kMonRes8Pal[8] = {
    {"HDMI", 1920, 1080, 50, 1},
    {"HDMI", 1280, 720, 50, 0},
    {"HDMI", 1920, 1080, 50, 0},
    {"DVID", 1920, 1080, 50, 1},
    {"DVID", 1280, 720, 50, 0},
    {"DVID", 1920, 1080, 50, 0},
    {"HDMI", 1024, 768, 50, 0},
    {"DVID", 1024, 768, 50, 0},
};

// 10 rows, 4 signal types.
const SysCapMonitorResS kMonRes10Ntsc[10] = {
    {"HDMI", 1920, 1080, 60, 1},
    {"HDMI", 1280, 720, 60, 0},
    {"HDMI", 1920, 1080, 60, 0},
    {"DVID", 1920, 1080, 60, 1},
    {"DVID", 1280, 720, 60, 0},
    {"DVID", 1920, 1080, 60, 0},
    {"VGA", 1024, 768, 60, 0},
    {"VGA", 1280, 1024, 60, 0},
    {"YPBPR", 1280, 720, 60, 0},
    {"YPBPR", 1920, 1080, 60, 1},
};
const SysCapMonitorResS kMonRes10Pal[10] = {
    {"HDMI", 1920, 1080, 50, 1},
    {"HDMI", 1280, 720, 50, 0},
    {"HDMI", 1920, 1080, 50, 0},
    {"DVID", 1920, 1080, 50, 1},
    {"DVID", 1280, 720, 50, 0},
    {"DVID", 1920, 1080, 50, 0},
    {"VGA", 1024, 768, 50, 0},
    {"VGA", 1280, 1024, 50, 0},
    {"YPBPR", 1280, 720, 50, 0},
    {"YPBPR", 1920, 1080, 50, 1},
};

// 11 rows, 4 signal types.
const SysCapMonitorResS kMonRes11Ntsc[11] = {
    {"HDMI", 1920, 1080, 60, 1},
    {"HDMI", 1280, 720, 60, 0},
    {"HDMI", 1920, 1080, 60, 0},
    {"DVID", 1920, 1080, 60, 1},
    {"DVID", 1280, 720, 60, 0},
    {"DVID", 1920, 1080, 60, 0},
    {"VGA", 1024, 768, 60, 0},
    {"VGA", 1280, 1024, 60, 0},
    {"YPBPR", 1280, 720, 60, 0},
    {"YPBPR", 1920, 1080, 60, 1},
    {"VGA", 1280, 720, 60, 0},
};
const SysCapMonitorResS kMonRes11Pal[11] = {
    {"HDMI", 1920, 1080, 50, 1},
    {"HDMI", 1280, 720, 50, 0},
    {"HDMI", 1920, 1080, 50, 0},
    {"DVID", 1920, 1080, 50, 1},
    {"DVID", 1280, 720, 50, 0},
    {"DVID", 1920, 1080, 50, 0},
    {"VGA", 1024, 768, 50, 0},
    {"VGA", 1280, 1024, 50, 0},
    {"YPBPR", 1280, 720, 50, 0},
    {"YPBPR", 1920, 1080, 50, 1},
    {"VGA", 1280, 720, 50, 0},
};

// 17 rows, 4 signal types.
const SysCapMonitorResS kMonRes17Ntsc[17] = {
    {"HDMI", 1920, 1080, 60, 1},
    {"HDMI", 1280, 720, 60, 0},
    {"HDMI", 1920, 1080, 60, 0},
    {"DVID", 1920, 1080, 60, 1},
    {"DVID", 1280, 720, 60, 0},
    {"DVID", 1920, 1080, 60, 0},
    {"VGA", 1024, 768, 60, 0},
    {"VGA", 1280, 1024, 60, 0},
    {"YPBPR", 1280, 720, 60, 0},
    {"YPBPR", 1920, 1080, 60, 1},
    {"VGA", 1280, 720, 60, 0},
    {"HDMI", 1024, 768, 60, 0},
    {"DVID", 1024, 768, 60, 0},
    {"VGA", 1920, 1080, 60, 0},
    {"VGA", 1680, 1050, 60, 0},
    {"HDMI", 1366, 768, 60, 0},
    {"DVID", 1280, 1024, 60, 0},
};
const SysCapMonitorResS kMonRes17Pal[17] = {
    {"HDMI", 1920, 1080, 50, 1},
    {"HDMI", 1280, 720, 50, 0},
    {"HDMI", 1920, 1080, 50, 0},
    {"DVID", 1920, 1080, 50, 1},
    {"DVID", 1280, 720, 50, 0},
    {"DVID", 1920, 1080, 50, 0},
    {"VGA", 1024, 768, 50, 0},
    {"VGA", 1280, 1024, 50, 0},
    {"YPBPR", 1280, 720, 50, 0},
    {"YPBPR", 1920, 1080, 50, 1},
    {"VGA", 1280, 720, 50, 0},
    {"HDMI", 1024, 768, 50, 0},
    {"DVID", 1024, 768, 50, 0},
    {"VGA", 1920, 1080, 50, 0},
    {"VGA", 1680, 1050, 50, 0},
    {"HDMI", 1366, 768, 50, 0},
    {"DVID", 1280, 1024, 50, 0},
};

// ---- audio inputs and outputs ----
// name, root, type, stereo pair, DMA, rate, interrupt rate, associated,
// associated index, driver
const audioIOInfoS kCedarAudioIn[8] = {
    {"HDCI1_AudioL", "HDCI1_Audio", kAudioIOTypeDigital, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HDCI1_AudioR", "HDCI1_Audio", kAudioIOTypeDigital, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiIn1L", "HdmiIn1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiIn1R", "HdmiIn1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"LineInL", "LineIn", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"LineInR", "LineIn", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic1", "ClinkMic1", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic2", "ClinkMic2", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
};

const audioIOInfoS kCedarAudioOut[6] = {
    {"LineOutL", "LineOut", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"LineOutR", "LineOut", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiOut1L", "HdmiOut1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut1R", "HdmiOut1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut2L", "HdmiOut2", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut2R", "HdmiOut2", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
};

const audioIOInfoS kHaldenAudioOut[6] = {
    {"LineOutL", "LineOut", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"LineOutR", "LineOut", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiOut1L", "HdmiOut1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut1R", "HdmiOut1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut3L", "HdmiOut3", kAudioIOTypeHdmi, 1, 2, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut3R", "HdmiOut3", kAudioIOTypeHdmi, 1, 2, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
};

const audioIOInfoS kBirchAudioIn[16] = {
    {"HDCI1_AudioL", "HDCI1_Audio", kAudioIOTypeDigital, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HDCI1_AudioR", "HDCI1_Audio", kAudioIOTypeDigital, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiIn1L", "HdmiIn1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiIn1R", "HdmiIn1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"LineInL", "LineIn", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"LineInR", "LineIn", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic1", "ClinkMic1", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic2", "ClinkMic2", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HDCI2_AudioL", "HDCI2_Audio", kAudioIOTypeDigital, 1, 3, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HDCI2_AudioR", "HDCI2_Audio", kAudioIOTypeDigital, 1, 3, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiIn2L", "HdmiIn2", kAudioIOTypeHdmi, 1, 4, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiIn2R", "HdmiIn2", kAudioIOTypeHdmi, 1, 4, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"ClinkMic3", "ClinkMic3", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic4", "ClinkMic4", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"UsbInL", "UsbIn", kAudioIOTypeUsb, 1, 5, 48000, 1000, 0, -1, kAudioHwDriverUsb},
    {"UsbInR", "UsbIn", kAudioIOTypeUsb, 1, 5, 48000, 1000, 0, -1, kAudioHwDriverUsb},
};

const audioIOInfoS kBirchAudioOut[8] = {
    {"LineOutL", "LineOut", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"LineOutR", "LineOut", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiOut1L", "HdmiOut1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut1R", "HdmiOut1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut2L", "HdmiOut2", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut2R", "HdmiOut2", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut3L", "HdmiOut3", kAudioIOTypeHdmi, 1, 2, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiOut3R", "HdmiOut3", kAudioIOTypeHdmi, 1, 2, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
};

const audioIOInfoS kAspenAudioIn[23] = {
    {"HDCI1_AudioL", "HDCI1_Audio", kAudioIOTypeDigital, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HDCI1_AudioR", "HDCI1_Audio", kAudioIOTypeDigital, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiIn1L", "HdmiIn1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiIn1R", "HdmiIn1", kAudioIOTypeHdmi, 1, 1, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"LineInL", "LineIn", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"LineInR", "LineIn", kAudioIOTypeAnalog, 1, 0, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic1", "ClinkMic1", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic2", "ClinkMic2", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HDCI2_AudioL", "HDCI2_Audio", kAudioIOTypeDigital, 1, 3, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HDCI2_AudioR", "HDCI2_Audio", kAudioIOTypeDigital, 1, 3, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiIn2L", "HdmiIn2", kAudioIOTypeHdmi, 1, 4, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiIn2R", "HdmiIn2", kAudioIOTypeHdmi, 1, 4, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"ClinkMic3", "ClinkMic3", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic4", "ClinkMic4", kAudioIOTypeClink, 0, 2, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"UsbInL", "UsbIn", kAudioIOTypeUsb, 1, 5, 48000, 1000, 0, -1, kAudioHwDriverUsb},
    {"UsbInR", "UsbIn", kAudioIOTypeUsb, 1, 5, 48000, 1000, 0, -1, kAudioHwDriverUsb},
    {"ClinkMic5", "ClinkMic5", kAudioIOTypeClink, 0, 6, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic6", "ClinkMic6", kAudioIOTypeClink, 0, 6, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic7", "ClinkMic7", kAudioIOTypeClink, 0, 6, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"ClinkMic8", "ClinkMic8", kAudioIOTypeClink, 0, 6, 48000, 1000, 0, -1, kAudioHwDriverSerialPort},
    {"HdmiIn3L", "HdmiIn3", kAudioIOTypeHdmi, 1, 7, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"HdmiIn3R", "HdmiIn3", kAudioIOTypeHdmi, 1, 7, 48000, 1000, 0, -1, kAudioHwDriverHdmi},
    {"UsbMic", "UsbMic", kAudioIOTypeUsb, 0, 5, 48000, 1000, 0, -1, kAudioHwDriverUsb},
};

// ---- video gains: composite, S-video and VGA inputs ----
const SysCapGainS kCompGains0[3] = {{0, 16}, {0, 128}, {0, 128}};
const SysCapGainS kCompGains1[3] = {{5, 16}, {0, 128}, {0, 128}};
const SysCapGainS kSvideoGains0[2] = {{0, 16}, {0, 128}};
const SysCapGainS kSvideoGains1[2] = {{5, 16}, {0, 128}};
const SysCapGainS kVgaGains2[3] = {{10, 0}, {10, 0}, {10, 0}};
