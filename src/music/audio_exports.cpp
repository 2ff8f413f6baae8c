#include "music/audio_exports.h"

#include <array>

#include "music/audio_engine.h"
#include "music/bass_api.h"

namespace lumarex {

namespace {

constexpr DWORD kFailDword = ~DWORD{0};
constexpr QWORD kFailQword = ~QWORD{0};

template <typename T>
T NotAvailable(AudioEngine* e, T failure) {
  if (e != nullptr) e->SetError(kBassErrorNotAvail);
  return failure;
}

// ---- the calls the engine offers ----

DWORD SetConfig(AudioEngine* e, DWORD option, DWORD value) {
  return e ? e->SetConfig(option, value) : kFailDword;
}
DWORD GetConfig(AudioEngine* e, DWORD option) {
  return e ? e->GetConfig(option) : kFailDword;
}
DWORD GetVersion(AudioEngine*) {
  return AudioEngine::kVersion;
}
int32_t ErrorGetCode(AudioEngine* e) {
  return e ? e->ErrorGetCode() : -1;
}
BOOL Init(AudioEngine* e, int32_t device, DWORD freq, DWORD, void*, void*) {
  return e ? e->Init(device, freq) : 0;
}
BOOL Free(AudioEngine* e) {
  return e ? e->Free() : 0;
}
float GetCPU(AudioEngine* e) {
  return e ? e->GetCPU() : 0.0f;
}
BOOL Start(AudioEngine* e) {
  return e ? e->Start() : 0;
}
BOOL Stop(AudioEngine* e) {
  return e ? e->Stop() : 0;
}
BOOL Pause(AudioEngine* e) {
  return e ? e->Pause() : 0;
}
BOOL RecordInit(AudioEngine* e, int32_t device) {
  return e ? e->RecordInit(device) : 0;
}
BOOL RecordFree(AudioEngine* e) {
  return e ? e->RecordFree() : 0;
}
HSTREAM StreamCreateFile(AudioEngine* e, BOOL mem, const void* file, DWORD offset, DWORD length,
                         DWORD flags) {
  return e ? e->StreamCreateFile(mem, file, offset, length, flags) : 0;
}
void StreamFree(AudioEngine* e, HSTREAM handle) {
  if (e) e->StreamFree(handle);
}
QWORD StreamGetLength(AudioEngine* e, HSTREAM handle) {
  return e ? e->StreamGetLength(handle) : kFailQword;
}
float ChannelBytes2Seconds(AudioEngine* e, DWORD handle, QWORD pos) {
  return e ? e->ChannelBytes2Seconds(handle, pos) : -1.0f;
}
QWORD ChannelSeconds2Bytes(AudioEngine* e, DWORD handle, float pos) {
  return e ? e->ChannelSeconds2Bytes(handle, pos) : kFailQword;
}
DWORD ChannelIsActive(AudioEngine* e, DWORD handle) {
  return e ? e->ChannelIsActive(handle) : 0;
}
BOOL ChannelPlay(AudioEngine* e, DWORD handle, BOOL restart) {
  return e ? e->ChannelPlay(handle, restart) : 0;
}
BOOL ChannelStop(AudioEngine* e, DWORD handle) {
  return e ? e->ChannelStop(handle) : 0;
}
BOOL ChannelPause(AudioEngine* e, DWORD handle) {
  return e ? e->ChannelPause(handle) : 0;
}
BOOL ChannelSetAttributes(AudioEngine* e, DWORD handle, int32_t freq, int32_t volume, int32_t pan) {
  return e ? e->ChannelSetAttributes(handle, freq, volume, pan) : 0;
}
BOOL ChannelGetAttributes(AudioEngine* e, DWORD handle, DWORD* freq, DWORD* volume, int32_t* pan) {
  return e ? e->ChannelGetAttributes(handle, freq, volume, pan) : 0;
}
BOOL ChannelSlideAttributes(AudioEngine* e, DWORD handle, int32_t freq, int32_t volume, int32_t pan,
                            DWORD time) {
  return e ? e->ChannelSlideAttributes(handle, freq, volume, pan, time) : 0;
}
DWORD ChannelIsSliding(AudioEngine* e, DWORD handle) {
  return e ? e->ChannelIsSliding(handle) : 0;
}
BOOL ChannelSetPosition(AudioEngine* e, DWORD handle, QWORD pos) {
  return e ? e->ChannelSetPosition(handle, pos) : 0;
}
QWORD ChannelGetPosition(AudioEngine* e, DWORD handle) {
  return e ? e->ChannelGetPosition(handle) : kFailQword;
}
DWORD ChannelGetLevel(AudioEngine* e, DWORD handle) {
  return e ? e->ChannelGetLevel(handle) : kFailDword;
}
DWORD ChannelGetData(AudioEngine* e, DWORD handle, void* buffer, DWORD length) {
  return e ? e->ChannelGetData(handle, buffer, length) : kFailDword;
}
HDSP ChannelSetDSP(AudioEngine* e, DWORD handle, DSPPROC* proc, void* user, int32_t priority) {
  return e ? e->ChannelSetDSP(handle, proc, user, priority) : 0;
}
BOOL ChannelRemoveDSP(AudioEngine* e, DWORD handle, HDSP dsp) {
  return e ? e->ChannelRemoveDSP(handle, dsp) : 0;
}

// Tracker modules are not decoded by this engine.
HMUSIC MusicLoad(AudioEngine* e, BOOL, const void*, DWORD, DWORD, DWORD, DWORD) {
  return NotAvailable<HMUSIC>(e, 0);
}
void MusicFree(AudioEngine* e, HMUSIC) {
  if (e) e->SetError(kBassErrorHandle);
}
QWORD MusicGetLength(AudioEngine* e, HMUSIC, BOOL) {
  if (e) e->SetError(kBassErrorHandle);
  return kFailQword;
}
DWORD MusicSetAttribute(AudioEngine* e, HMUSIC, DWORD, DWORD) {
  if (e) e->SetError(kBassErrorHandle);
  return kFailDword;
}
DWORD MusicGetAttribute(AudioEngine* e, HMUSIC, DWORD) {
  if (e) e->SetError(kBassErrorHandle);
  return kFailDword;
}

// ---- the rest: the library's failure values ----

const char* GetDeviceDescription(AudioEngine* e, DWORD) {
  return NotAvailable<const char*>(e, nullptr);
}
BOOL SetDevice(AudioEngine* e, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
DWORD GetDevice(AudioEngine* e) {
  return NotAvailable(e, kFailDword);
}
void* GetDSoundObject(AudioEngine* e, DWORD) {
  return NotAvailable<void*>(e, nullptr);
}
BOOL GetInfo(AudioEngine* e, void*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL Update(AudioEngine* e) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL SetVolume(AudioEngine* e, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
DWORD GetVolume(AudioEngine* e) {
  return NotAvailable(e, kFailDword);
}
BOOL Set3DFactors(AudioEngine* e, float, float, float) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL Get3DFactors(AudioEngine* e, float*, float*, float*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL Set3DPosition(AudioEngine* e, const void*, const void*, const void*, const void*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL Get3DPosition(AudioEngine* e, void*, void*, void*, void*) {
  return NotAvailable<BOOL>(e, 0);
}
void Apply3D(AudioEngine* e) {
  NotAvailable<int>(e, 0);
}
BOOL SetEAXParameters(AudioEngine* e, int32_t, float, float, float) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL GetEAXParameters(AudioEngine* e, DWORD*, float*, float*, float*) {
  return NotAvailable<BOOL>(e, 0);
}
const char* MusicGetName(AudioEngine* e, HMUSIC) {
  return NotAvailable<const char*>(e, nullptr);
}
HSAMPLE SampleLoad(AudioEngine* e, BOOL, const void*, DWORD, DWORD, DWORD, DWORD) {
  return NotAvailable<HSAMPLE>(e, 0);
}
void* SampleCreate(AudioEngine* e, DWORD, DWORD, DWORD, DWORD) {
  return NotAvailable<void*>(e, nullptr);
}
HSAMPLE SampleCreateDone(AudioEngine* e) {
  return NotAvailable<HSAMPLE>(e, 0);
}
void SampleFree(AudioEngine* e, HSAMPLE) {
  NotAvailable<int>(e, 0);
}
BOOL SampleGetInfo(AudioEngine* e, HSAMPLE, void*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL SampleSetInfo(AudioEngine* e, HSAMPLE, const void*) {
  return NotAvailable<BOOL>(e, 0);
}
HCHANNEL SampleGetChannel(AudioEngine* e, HSAMPLE, BOOL) {
  return NotAvailable<HCHANNEL>(e, 0);
}
BOOL SampleStop(AudioEngine* e, HSAMPLE) {
  return NotAvailable<BOOL>(e, 0);
}
HSTREAM StreamCreate(AudioEngine* e, DWORD, DWORD, DWORD, void*, void*) {
  return NotAvailable<HSTREAM>(e, 0);
}
HSTREAM StreamCreateURL(AudioEngine* e, const char*, DWORD, DWORD, void*, void*) {
  return NotAvailable<HSTREAM>(e, 0);
}
HSTREAM StreamCreateFileUser(AudioEngine* e, BOOL, DWORD, void*, void*) {
  return NotAvailable<HSTREAM>(e, 0);
}
const char* StreamGetTags(AudioEngine* e, HSTREAM, DWORD) {
  return NotAvailable<const char*>(e, nullptr);
}
DWORD StreamGetFilePosition(AudioEngine* e, HSTREAM, DWORD) {
  return NotAvailable(e, kFailDword);
}
const char* RecordGetDeviceDescription(AudioEngine* e, DWORD) {
  return NotAvailable<const char*>(e, nullptr);
}
BOOL RecordSetDevice(AudioEngine* e, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
DWORD RecordGetDevice(AudioEngine* e) {
  return NotAvailable(e, kFailDword);
}
BOOL RecordGetInfo(AudioEngine* e, void*) {
  return NotAvailable<BOOL>(e, 0);
}
const char* RecordGetInputName(AudioEngine* e, int32_t) {
  return NotAvailable<const char*>(e, nullptr);
}
BOOL RecordSetInput(AudioEngine* e, int32_t, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
DWORD RecordGetInput(AudioEngine* e, int32_t) {
  return NotAvailable(e, kFailDword);
}
HRECORD RecordStart(AudioEngine* e, DWORD, DWORD, void*, void*) {
  return NotAvailable<HRECORD>(e, 0);
}
DWORD ChannelGetDevice(AudioEngine* e, DWORD) {
  return NotAvailable(e, kFailDword);
}
BOOL ChannelGetInfo(AudioEngine* e, DWORD, void*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelSetFlags(AudioEngine* e, DWORD, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelPreBuf(AudioEngine* e, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelSet3DAttributes(AudioEngine* e, DWORD, int32_t, float, float, int32_t, int32_t,
                            int32_t) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelGet3DAttributes(AudioEngine* e, DWORD, DWORD*, float*, float*, DWORD*, DWORD*, DWORD*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelSet3DPosition(AudioEngine* e, DWORD, const void*, const void*, const void*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelGet3DPosition(AudioEngine* e, DWORD, void*, void*, void*) {
  return NotAvailable<BOOL>(e, 0);
}
HSYNC ChannelSetSync(AudioEngine* e, DWORD, DWORD, QWORD, void*, void*) {
  return NotAvailable<HSYNC>(e, 0);
}
BOOL ChannelRemoveSync(AudioEngine* e, DWORD, HSYNC) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelSetEAXMix(AudioEngine* e, DWORD, float) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelGetEAXMix(AudioEngine* e, DWORD, float*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelSetLink(AudioEngine* e, DWORD, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL ChannelRemoveLink(AudioEngine* e, DWORD, DWORD) {
  return NotAvailable<BOOL>(e, 0);
}
HFX ChannelSetFX(AudioEngine* e, DWORD, DWORD, int32_t) {
  return NotAvailable<HFX>(e, 0);
}
BOOL ChannelRemoveFX(AudioEngine* e, DWORD, HFX) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL FXSetParameters(AudioEngine* e, HFX, const void*) {
  return NotAvailable<BOOL>(e, 0);
}
BOOL FXGetParameters(AudioEngine* e, HFX, void*) {
  return NotAvailable<BOOL>(e, 0);
}

}  // namespace

std::span<const HostExport> AudioEngineExports() {
  using T = AudioEntryTable;
  // Each implementation must have exactly the table's signature for its name; the cast through
  // the table's pointer type makes the compiler check that.
  static const std::array<HostExport, kAudioEntryCount> kExports = {{
#define E(name, fn) \
  HostExport{#name, reinterpret_cast<uintptr_t>(static_cast<decltype(T::name)>(&fn))}
      E(BASS_SetConfig, SetConfig),
      E(BASS_GetConfig, GetConfig),
      E(BASS_GetVersion, GetVersion),
      E(BASS_GetDeviceDescription, GetDeviceDescription),
      E(BASS_ErrorGetCode, ErrorGetCode),
      E(BASS_Init, Init),
      E(BASS_SetDevice, SetDevice),
      E(BASS_GetDevice, GetDevice),
      E(BASS_Free, Free),
      E(BASS_GetDSoundObject, GetDSoundObject),
      E(BASS_GetInfo, GetInfo),
      E(BASS_Update, Update),
      E(BASS_GetCPU, GetCPU),
      E(BASS_Start, Start),
      E(BASS_Stop, Stop),
      E(BASS_Pause, Pause),
      E(BASS_SetVolume, SetVolume),
      E(BASS_GetVolume, GetVolume),
      E(BASS_Set3DFactors, Set3DFactors),
      E(BASS_Get3DFactors, Get3DFactors),
      E(BASS_Set3DPosition, Set3DPosition),
      E(BASS_Get3DPosition, Get3DPosition),
      E(BASS_Apply3D, Apply3D),
      E(BASS_SetEAXParameters, SetEAXParameters),
      E(BASS_GetEAXParameters, GetEAXParameters),
      E(BASS_MusicLoad, MusicLoad),
      E(BASS_MusicFree, MusicFree),
      E(BASS_MusicGetName, MusicGetName),
      E(BASS_MusicGetLength, MusicGetLength),
      E(BASS_MusicSetAttribute, MusicSetAttribute),
      E(BASS_MusicGetAttribute, MusicGetAttribute),
      E(BASS_SampleLoad, SampleLoad),
      E(BASS_SampleCreate, SampleCreate),
      E(BASS_SampleCreateDone, SampleCreateDone),
      E(BASS_SampleFree, SampleFree),
      E(BASS_SampleGetInfo, SampleGetInfo),
      E(BASS_SampleSetInfo, SampleSetInfo),
      E(BASS_SampleGetChannel, SampleGetChannel),
      E(BASS_SampleStop, SampleStop),
      E(BASS_StreamCreate, StreamCreate),
      E(BASS_StreamCreateFile, StreamCreateFile),
      E(BASS_StreamCreateURL, StreamCreateURL),
      E(BASS_StreamCreateFileUser, StreamCreateFileUser),
      E(BASS_StreamFree, StreamFree),
      E(BASS_StreamGetLength, StreamGetLength),
      E(BASS_StreamGetTags, StreamGetTags),
      E(BASS_StreamGetFilePosition, StreamGetFilePosition),
      E(BASS_RecordGetDeviceDescription, RecordGetDeviceDescription),
      E(BASS_RecordInit, RecordInit),
      E(BASS_RecordSetDevice, RecordSetDevice),
      E(BASS_RecordGetDevice, RecordGetDevice),
      E(BASS_RecordFree, RecordFree),
      E(BASS_RecordGetInfo, RecordGetInfo),
      E(BASS_RecordGetInputName, RecordGetInputName),
      E(BASS_RecordSetInput, RecordSetInput),
      E(BASS_RecordGetInput, RecordGetInput),
      E(BASS_RecordStart, RecordStart),
      E(BASS_ChannelBytes2Seconds, ChannelBytes2Seconds),
      E(BASS_ChannelSeconds2Bytes, ChannelSeconds2Bytes),
      E(BASS_ChannelGetDevice, ChannelGetDevice),
      E(BASS_ChannelIsActive, ChannelIsActive),
      E(BASS_ChannelGetInfo, ChannelGetInfo),
      E(BASS_ChannelSetFlags, ChannelSetFlags),
      E(BASS_ChannelPreBuf, ChannelPreBuf),
      E(BASS_ChannelPlay, ChannelPlay),
      E(BASS_ChannelStop, ChannelStop),
      E(BASS_ChannelPause, ChannelPause),
      E(BASS_ChannelSetAttributes, ChannelSetAttributes),
      E(BASS_ChannelGetAttributes, ChannelGetAttributes),
      E(BASS_ChannelSlideAttributes, ChannelSlideAttributes),
      E(BASS_ChannelIsSliding, ChannelIsSliding),
      E(BASS_ChannelSet3DAttributes, ChannelSet3DAttributes),
      E(BASS_ChannelGet3DAttributes, ChannelGet3DAttributes),
      E(BASS_ChannelSet3DPosition, ChannelSet3DPosition),
      E(BASS_ChannelGet3DPosition, ChannelGet3DPosition),
      E(BASS_ChannelSetPosition, ChannelSetPosition),
      E(BASS_ChannelGetPosition, ChannelGetPosition),
      E(BASS_ChannelGetLevel, ChannelGetLevel),
      E(BASS_ChannelGetData, ChannelGetData),
      E(BASS_ChannelSetSync, ChannelSetSync),
      E(BASS_ChannelRemoveSync, ChannelRemoveSync),
      E(BASS_ChannelSetDSP, ChannelSetDSP),
      E(BASS_ChannelRemoveDSP, ChannelRemoveDSP),
      E(BASS_ChannelSetEAXMix, ChannelSetEAXMix),
      E(BASS_ChannelGetEAXMix, ChannelGetEAXMix),
      E(BASS_ChannelSetLink, ChannelSetLink),
      E(BASS_ChannelRemoveLink, ChannelRemoveLink),
      E(BASS_ChannelSetFX, ChannelSetFX),
      E(BASS_ChannelRemoveFX, ChannelRemoveFX),
      E(BASS_FXSetParameters, FXSetParameters),
      E(BASS_FXGetParameters, FXGetParameters),
#undef E
  }};
  return kExports;
}

}  // namespace lumarex
