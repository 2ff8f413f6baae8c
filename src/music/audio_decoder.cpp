#include "music/audio_decoder.h"

#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace lumarex {

namespace {

bool HasMpegExtension(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.size() - dot != 4) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "mp3" || ext == "mp2" || ext == "mp1";
}

// Appends `frames` frames of `channels` interleaved samples as stereo.
void AppendAsStereo(const int16_t* in, size_t frames, int channels, std::vector<int16_t>& out) {
  for (size_t f = 0; f < frames; ++f) {
    const int16_t* frame = in + f * static_cast<size_t>(channels);
    out.push_back(frame[0]);
    out.push_back(channels > 1 ? frame[1] : frame[0]);
  }
}

DecodeResult DecodeWithSndfile(const std::string& path, DecodedAudio& out) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr) return DecodeResult::kCannotOpen;
    std::fclose(probe);
    return DecodeResult::kNotAudio;
  }
  if (info.channels <= 0 || info.samplerate <= 0) {
    sf_close(file);
    return DecodeResult::kNotAudio;
  }
  out.sampleRate = static_cast<uint32_t>(info.samplerate);
  out.samples.clear();
  if (info.frames > 0) out.samples.reserve(static_cast<size_t>(info.frames) * 2);
  constexpr sf_count_t kBlockFrames = 4096;
  std::vector<int16_t> block(static_cast<size_t>(kBlockFrames) *
                             static_cast<size_t>(info.channels));
  for (;;) {
    const sf_count_t got = sf_readf_short(file, block.data(), kBlockFrames);
    if (got <= 0) break;
    AppendAsStereo(block.data(), static_cast<size_t>(got), info.channels, out.samples);
  }
  sf_close(file);
  return DecodeResult::kOk;
}

class Mpg123Handle {
 public:
  Mpg123Handle() { handle_ = mpg123_new(nullptr, nullptr); }
  ~Mpg123Handle() {
    if (handle_ == nullptr) return;
    if (open_) mpg123_close(handle_);
    mpg123_delete(handle_);
  }
  Mpg123Handle(const Mpg123Handle&) = delete;
  Mpg123Handle& operator=(const Mpg123Handle&) = delete;

  mpg123_handle* get() const { return handle_; }
  void SetOpen() { open_ = true; }

 private:
  mpg123_handle* handle_ = nullptr;
  bool open_ = false;
};

DecodeResult DecodeWithMpg123(const std::string& path, DecodedAudio& out) {
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (probe == nullptr) return DecodeResult::kCannotOpen;
  std::fclose(probe);

  Mpg123Handle mh;
  mpg123_handle* h = mh.get();
  if (h == nullptr) return DecodeResult::kNotAudio;
  mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0.0);
  // One output encoding for every rate the file may use; the channel count stays the file's.
  mpg123_format_none(h);
  const long* rates = nullptr;
  size_t rateCount = 0;
  mpg123_rates(&rates, &rateCount);
  for (size_t i = 0; i < rateCount; ++i) {
    mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
  }
  if (mpg123_open(h, path.c_str()) != MPG123_OK) return DecodeResult::kNotAudio;
  mh.SetOpen();
  // The scan walks every frame: without it a VBR file lacking a Xing header gets a length
  // guessed from its first frame's bitrate.
  if (mpg123_scan(h) != MPG123_OK) return DecodeResult::kNotAudio;
  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels <= 0 ||
      encoding != MPG123_ENC_SIGNED_16) {
    return DecodeResult::kNotAudio;
  }
  mpg123_format_none(h);
  mpg123_format(h, rate, channels, encoding);
  out.sampleRate = static_cast<uint32_t>(rate);
  out.samples.clear();
  const off_t length = mpg123_length(h);
  if (length > 0) out.samples.reserve(static_cast<size_t>(length) * 2);

  std::vector<int16_t> block(16384);
  for (;;) {
    size_t done = 0;
    const int rc = mpg123_read(h, block.data(), block.size() * sizeof(int16_t), &done);
    const size_t frames = done / sizeof(int16_t) / static_cast<size_t>(channels);
    AppendAsStereo(block.data(), frames, channels, out.samples);
    if (rc == MPG123_DONE) break;
    if (rc == MPG123_NEW_FORMAT) continue;
    if (rc != MPG123_OK) break;
  }
  if (out.samples.empty()) return DecodeResult::kNotAudio;
  return DecodeResult::kOk;
}

}  // namespace

DecodeResult DecodeAudioFile(const std::string& path, DecodedAudio& out) {
  out = DecodedAudio{};
  const DecodeResult result =
      HasMpegExtension(path) ? DecodeWithMpg123(path, out) : DecodeWithSndfile(path, out);
  if (result != DecodeResult::kOk) out = DecodedAudio{};
  return result;
}

}  // namespace lumarex
