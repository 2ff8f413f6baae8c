#include "music/audio_binding.h"

#include "music/audio_exports.h"

namespace lumarex {

AudioBinding::AudioBinding(AudioEngine& engine) : engine_(engine) {}

AudioBinding::~AudioBinding() {
  Release();
}

void AudioBinding::Bind() {
  if (bindCount_++ > 0) return;
  loader_ = std::make_unique<TDLLLoader>(resolver_);
  loader_->LoadHostExports(AudioEngineExports());
  table_.Library = &engine_;
#define LUMAREX_BIND(result, name, params) \
  table_.name = reinterpret_cast<decltype(table_.name)>(loader_->FindExport(#name));
  LUMAREX_BASS_ENTRIES(LUMAREX_BIND)
#undef LUMAREX_BIND
}

void AudioBinding::Release() {
  table_ = AudioEntryTable{};
  loader_.reset();
}

}  // namespace lumarex
