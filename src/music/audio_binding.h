#pragma once

#include <memory>

#include "music/bass_api.h"
#include "music/dll_loader.h"

namespace lumarex {

// Binds the audio entry table by name: the loader indexes the engine's export list and every
// one of the 91 names is looked up through it. A name that is missing leaves its pointer nil;
// the component then treats the library as absent. Main thread, at start and end of the run.
class AudioBinding {
 public:
  explicit AudioBinding(AudioEngine& engine);
  ~AudioBinding();
  AudioBinding(const AudioBinding&) = delete;
  AudioBinding& operator=(const AudioBinding&) = delete;

  // Runs once; later calls do nothing.
  void Bind();
  // Sets every pointer to nil and drops the loader.
  void Release();

  const AudioEntryTable& Table() const { return table_; }

 private:
  AudioEngine& engine_;
  DlImportResolver resolver_;
  std::unique_ptr<TDLLLoader> loader_;
  AudioEntryTable table_;
  int bindCount_ = 0;
};

}  // namespace lumarex
