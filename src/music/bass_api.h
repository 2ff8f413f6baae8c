#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace lumarex {

class AudioEngine;

// The value types of the audio library's calling convention.
using DWORD = uint32_t;
using QWORD = uint64_t;
using BOOL = int32_t;
using HSTREAM = DWORD;
using HMUSIC = DWORD;
using HSAMPLE = DWORD;
using HCHANNEL = DWORD;
using HRECORD = DWORD;
using HSYNC = DWORD;
using HDSP = DWORD;
using HFX = DWORD;

inline constexpr BOOL kBassTrue = -1;  // what the component passes; any non-zero counts

// A DSP routine runs on the engine's mixing thread with the channel's samples (32-bit float
// stereo once config option 9 is on, else 16-bit); it must not call back into the engine. The
// user value is pointer-sized so that a routine can reach its own state without globals.
using DSPPROC = void(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user);

// Error codes as BASS_ErrorGetCode reports them.
enum BassError : int32_t {
  kBassOk = 0,
  kBassErrorMem = 1,
  kBassErrorFileOpen = 2,
  kBassErrorDriver = 3,
  kBassErrorHandle = 5,
  kBassErrorFormat = 6,
  kBassErrorPosition = 7,
  kBassErrorInit = 8,
  kBassErrorAlready = 14,
  kBassErrorIllParam = 20,
  kBassErrorDevice = 23,
  kBassErrorNotAvail = 37,
  kBassErrorFileForm = 41,
};

// Config options the engine keeps.
inline constexpr DWORD kConfigStreamVolume = 5;
inline constexpr DWORD kConfigFloatDsp = 9;

// ChannelIsActive answers and ChannelIsSliding flags.
inline constexpr DWORD kActiveStopped = 0;
inline constexpr DWORD kActivePlaying = 1;
inline constexpr DWORD kActiveStalled = 2;
inline constexpr DWORD kActivePaused = 3;
inline constexpr DWORD kSlideFrequency = 1;
inline constexpr DWORD kSlideVolume = 2;
inline constexpr DWORD kSlidePan = 4;

// Every entry point of the audio library in binding order: X(result, name, parameters).
// Each takes the library instance first; structure pointers the engine never fills are void*.
#define LUMAREX_BASS_ENTRIES(X)                                                                   \
  X(DWORD, BASS_SetConfig, (AudioEngine*, DWORD option, DWORD value))                             \
  X(DWORD, BASS_GetConfig, (AudioEngine*, DWORD option))                                          \
  X(DWORD, BASS_GetVersion, (AudioEngine*))                                                       \
  X(const char*, BASS_GetDeviceDescription, (AudioEngine*, DWORD device))                         \
  X(int32_t, BASS_ErrorGetCode, (AudioEngine*))                                                   \
  X(BOOL, BASS_Init,                                                                              \
    (AudioEngine*, int32_t device, DWORD freq, DWORD flags, void* win, void* clsid))              \
  X(BOOL, BASS_SetDevice, (AudioEngine*, DWORD device))                                           \
  X(DWORD, BASS_GetDevice, (AudioEngine*))                                                        \
  X(BOOL, BASS_Free, (AudioEngine*))                                                              \
  X(void*, BASS_GetDSoundObject, (AudioEngine*, DWORD object))                                    \
  X(BOOL, BASS_GetInfo, (AudioEngine*, void* info))                                               \
  X(BOOL, BASS_Update, (AudioEngine*))                                                            \
  X(float, BASS_GetCPU, (AudioEngine*))                                                           \
  X(BOOL, BASS_Start, (AudioEngine*))                                                             \
  X(BOOL, BASS_Stop, (AudioEngine*))                                                              \
  X(BOOL, BASS_Pause, (AudioEngine*))                                                             \
  X(BOOL, BASS_SetVolume, (AudioEngine*, DWORD volume))                                           \
  X(DWORD, BASS_GetVolume, (AudioEngine*))                                                        \
  X(BOOL, BASS_Set3DFactors, (AudioEngine*, float distf, float rollf, float doppf))               \
  X(BOOL, BASS_Get3DFactors, (AudioEngine*, float* distf, float* rollf, float* doppf))            \
  X(BOOL, BASS_Set3DPosition,                                                                     \
    (AudioEngine*, const void* pos, const void* vel, const void* front, const void* top))         \
  X(BOOL, BASS_Get3DPosition, (AudioEngine*, void* pos, void* vel, void* front, void* top))       \
  X(void, BASS_Apply3D, (AudioEngine*))                                                           \
  X(BOOL, BASS_SetEAXParameters, (AudioEngine*, int32_t env, float vol, float decay, float damp)) \
  X(BOOL, BASS_GetEAXParameters,                                                                  \
    (AudioEngine*, DWORD * env, float* vol, float* decay, float* damp))                           \
  X(HMUSIC, BASS_MusicLoad,                                                                       \
    (AudioEngine*, BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags,           \
     DWORD freq))                                                                                 \
  X(void, BASS_MusicFree, (AudioEngine*, HMUSIC handle))                                          \
  X(const char*, BASS_MusicGetName, (AudioEngine*, HMUSIC handle))                                \
  X(QWORD, BASS_MusicGetLength, (AudioEngine*, HMUSIC handle, BOOL playlen))                      \
  X(DWORD, BASS_MusicSetAttribute, (AudioEngine*, HMUSIC handle, DWORD attrib, DWORD value))      \
  X(DWORD, BASS_MusicGetAttribute, (AudioEngine*, HMUSIC handle, DWORD attrib))                   \
  X(HSAMPLE, BASS_SampleLoad,                                                                     \
    (AudioEngine*, BOOL mem, const void* file, DWORD offset, DWORD length, DWORD max,             \
     DWORD flags))                                                                                \
  X(void*, BASS_SampleCreate, (AudioEngine*, DWORD length, DWORD freq, DWORD max, DWORD flags))   \
  X(HSAMPLE, BASS_SampleCreateDone, (AudioEngine*))                                               \
  X(void, BASS_SampleFree, (AudioEngine*, HSAMPLE handle))                                        \
  X(BOOL, BASS_SampleGetInfo, (AudioEngine*, HSAMPLE handle, void* info))                         \
  X(BOOL, BASS_SampleSetInfo, (AudioEngine*, HSAMPLE handle, const void* info))                   \
  X(HCHANNEL, BASS_SampleGetChannel, (AudioEngine*, HSAMPLE handle, BOOL onlynew))                \
  X(BOOL, BASS_SampleStop, (AudioEngine*, HSAMPLE handle))                                        \
  X(HSTREAM, BASS_StreamCreate,                                                                   \
    (AudioEngine*, DWORD freq, DWORD chans, DWORD flags, void* proc, void* user))                 \
  X(HSTREAM, BASS_StreamCreateFile,                                                               \
    (AudioEngine*, BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags))          \
  X(HSTREAM, BASS_StreamCreateURL,                                                                \
    (AudioEngine*, const char* url, DWORD offset, DWORD flags, void* proc, void* user))           \
  X(HSTREAM, BASS_StreamCreateFileUser,                                                           \
    (AudioEngine*, BOOL buffered, DWORD flags, void* proc, void* user))                           \
  X(void, BASS_StreamFree, (AudioEngine*, HSTREAM handle))                                        \
  X(QWORD, BASS_StreamGetLength, (AudioEngine*, HSTREAM handle))                                  \
  X(const char*, BASS_StreamGetTags, (AudioEngine*, HSTREAM handle, DWORD tags))                  \
  X(DWORD, BASS_StreamGetFilePosition, (AudioEngine*, HSTREAM handle, DWORD mode))                \
  X(const char*, BASS_RecordGetDeviceDescription, (AudioEngine*, DWORD device))                   \
  X(BOOL, BASS_RecordInit, (AudioEngine*, int32_t device))                                        \
  X(BOOL, BASS_RecordSetDevice, (AudioEngine*, DWORD device))                                     \
  X(DWORD, BASS_RecordGetDevice, (AudioEngine*))                                                  \
  X(BOOL, BASS_RecordFree, (AudioEngine*))                                                        \
  X(BOOL, BASS_RecordGetInfo, (AudioEngine*, void* info))                                         \
  X(const char*, BASS_RecordGetInputName, (AudioEngine*, int32_t input))                          \
  X(BOOL, BASS_RecordSetInput, (AudioEngine*, int32_t input, DWORD setting))                      \
  X(DWORD, BASS_RecordGetInput, (AudioEngine*, int32_t input))                                    \
  X(HRECORD, BASS_RecordStart, (AudioEngine*, DWORD freq, DWORD flags, void* proc, void* user))   \
  X(float, BASS_ChannelBytes2Seconds, (AudioEngine*, DWORD handle, QWORD pos))                    \
  X(QWORD, BASS_ChannelSeconds2Bytes, (AudioEngine*, DWORD handle, float pos))                    \
  X(DWORD, BASS_ChannelGetDevice, (AudioEngine*, DWORD handle))                                   \
  X(DWORD, BASS_ChannelIsActive, (AudioEngine*, DWORD handle))                                    \
  X(BOOL, BASS_ChannelGetInfo, (AudioEngine*, DWORD handle, void* info))                          \
  X(BOOL, BASS_ChannelSetFlags, (AudioEngine*, DWORD handle, DWORD flags))                        \
  X(BOOL, BASS_ChannelPreBuf, (AudioEngine*, DWORD handle))                                       \
  X(BOOL, BASS_ChannelPlay, (AudioEngine*, DWORD handle, BOOL restart))                           \
  X(BOOL, BASS_ChannelStop, (AudioEngine*, DWORD handle))                                         \
  X(BOOL, BASS_ChannelPause, (AudioEngine*, DWORD handle))                                        \
  X(BOOL, BASS_ChannelSetAttributes,                                                              \
    (AudioEngine*, DWORD handle, int32_t freq, int32_t volume, int32_t pan))                      \
  X(BOOL, BASS_ChannelGetAttributes,                                                              \
    (AudioEngine*, DWORD handle, DWORD * freq, DWORD * volume, int32_t * pan))                    \
  X(BOOL, BASS_ChannelSlideAttributes,                                                            \
    (AudioEngine*, DWORD handle, int32_t freq, int32_t volume, int32_t pan, DWORD time))          \
  X(DWORD, BASS_ChannelIsSliding, (AudioEngine*, DWORD handle))                                   \
  X(BOOL, BASS_ChannelSet3DAttributes,                                                            \
    (AudioEngine*, DWORD handle, int32_t mode, float min, float max, int32_t iangle,              \
     int32_t oangle, int32_t outvol))                                                             \
  X(BOOL, BASS_ChannelGet3DAttributes,                                                            \
    (AudioEngine*, DWORD handle, DWORD * mode, float* min, float* max, DWORD* iangle,             \
     DWORD* oangle, DWORD* outvol))                                                               \
  X(BOOL, BASS_ChannelSet3DPosition,                                                              \
    (AudioEngine*, DWORD handle, const void* pos, const void* orient, const void* vel))           \
  X(BOOL, BASS_ChannelGet3DPosition,                                                              \
    (AudioEngine*, DWORD handle, void* pos, void* orient, void* vel))                             \
  X(BOOL, BASS_ChannelSetPosition, (AudioEngine*, DWORD handle, QWORD pos))                       \
  X(QWORD, BASS_ChannelGetPosition, (AudioEngine*, DWORD handle))                                 \
  X(DWORD, BASS_ChannelGetLevel, (AudioEngine*, DWORD handle))                                    \
  X(DWORD, BASS_ChannelGetData, (AudioEngine*, DWORD handle, void* buffer, DWORD length))         \
  X(HSYNC, BASS_ChannelSetSync,                                                                   \
    (AudioEngine*, DWORD handle, DWORD type, QWORD param, void* proc, void* user))                \
  X(BOOL, BASS_ChannelRemoveSync, (AudioEngine*, DWORD handle, HSYNC sync))                       \
  X(HDSP, BASS_ChannelSetDSP,                                                                     \
    (AudioEngine*, DWORD handle, DSPPROC * proc, void* user, int32_t priority))                   \
  X(BOOL, BASS_ChannelRemoveDSP, (AudioEngine*, DWORD handle, HDSP dsp))                          \
  X(BOOL, BASS_ChannelSetEAXMix, (AudioEngine*, DWORD handle, float mix))                         \
  X(BOOL, BASS_ChannelGetEAXMix, (AudioEngine*, DWORD handle, float* mix))                        \
  X(BOOL, BASS_ChannelSetLink, (AudioEngine*, DWORD handle, DWORD chan))                          \
  X(BOOL, BASS_ChannelRemoveLink, (AudioEngine*, DWORD handle, DWORD chan))                       \
  X(HFX, BASS_ChannelSetFX, (AudioEngine*, DWORD handle, DWORD type, int32_t priority))           \
  X(BOOL, BASS_ChannelRemoveFX, (AudioEngine*, DWORD handle, HFX fx))                             \
  X(BOOL, BASS_FXSetParameters, (AudioEngine*, HFX handle, const void* par))                      \
  X(BOOL, BASS_FXGetParameters, (AudioEngine*, HFX handle, void* par))

// The audio entry table: one pointer per entry point, nil before binding and after release,
// plus the library instance every call passes first.
struct AudioEntryTable {
  AudioEngine* Library = nullptr;
#define LUMAREX_BASS_POINTER(result, name, params) result(*name) params = nullptr;
  LUMAREX_BASS_ENTRIES(LUMAREX_BASS_POINTER)
#undef LUMAREX_BASS_POINTER
};

#define LUMAREX_BASS_COUNT(result, name, params) +1
inline constexpr size_t kAudioEntryCount = 0 LUMAREX_BASS_ENTRIES(LUMAREX_BASS_COUNT);
#undef LUMAREX_BASS_COUNT
static_assert(kAudioEntryCount == 91);

// The entry point names in binding order.
inline constexpr std::array<std::string_view, kAudioEntryCount> kAudioEntryNames = {
#define LUMAREX_BASS_NAME(result, name, params) #name,
    LUMAREX_BASS_ENTRIES(LUMAREX_BASS_NAME)
#undef LUMAREX_BASS_NAME
};

}  // namespace lumarex
