// Every DAC protocol parser over the fuzz seeds, cut at every length.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "jmlaser/etherdream_protocol.h"
#include "jmlaser/helios_protocol.h"
#include "jmlaser/idn_protocol.h"
#include "jmlaser/lasercube_protocol.h"

namespace lumarex::jmlaser {
namespace {

namespace ed = etherdream;
namespace lc = lasercube;

using Bytes = std::vector<uint8_t>;

// What every parser makes of the bytes, in one byte string: the encoders write back what they
// can, the rest goes in field by field.
class Answers {
 public:
  explicit Answers(std::span<const uint8_t> b) {
    uint8_t record[ed::kBroadcastSize] = {};
    if (const auto r = ed::ParseResponse(b)) AddRaw(record, ed::EncodeResponse(*r, record));
    if (const auto s = ed::ParseStatus(b)) AddRaw(record, ed::EncodeStatus(*s, record));
    if (const auto c = ed::ParseBroadcast(b)) AddRaw(record, ed::EncodeBroadcast(*c, record));
    const auto payload = b.size() < ed::kDataHeaderSize ? b : b.subspan(ed::kDataHeaderSize);
    for (size_t k = 0; const auto p = ed::ParsePoint(payload, k); ++k) {
      AddRaw(record, ed::EncodePoint(*p, record));
    }

    if (const auto s = idn::ParseScanReply(b)) Add(idn::EncodeScanReply(*s, 0));
    if (const auto m = idn::ParseServiceMap(b)) Add(idn::EncodeServiceMap(*m, 0));
    // As a projector takes a run of datagrams, each behind its 2-byte length.
    idn::FrameAssembler assembler;
    for (size_t at = 0; at + 2 <= b.size();) {
      const auto datagram =
          b.subspan(at + 2, std::min<size_t>(b[at] << 8 | b[at + 1], b.size() - at - 2));
      at += 2 + datagram.size();
      const auto m = idn::ParseChannelMessage(datagram);
      if (!m) continue;
      EXPECT_TRUE(m->data.empty() ||
                  (m->data.data() >= datagram.data() && &m->data.back() <= &datagram.back()));
      Add(m->header.sequence, m->totalSize, m->chunkType, m->timestamp, m->chunkHeader.value_or(0));
      if (m->config) Add(m->config->flags, m->config->serviceId, m->config->tags);
      Add(m->data);
      if (assembler.Take(*m) == idn::FrameAssembler::Outcome::kFrame) {
        Add(assembler.Frame().durationUs, assembler.Frame().samples);
      }
    }

    Add(lc::IsAliveReply(b), lc::ParseFreeCount(b).value_or(0));
    if (const auto info = lc::ParseFullInfo(b)) Add(lc::EncodeFullInfo(*info), info->modelName);
    if (const auto packet = lc::ParseDataPacket(b)) {
      Bytes again;
      lc::EncodeDataPacket(packet->message, packet->frame, packet->samples, again);
      Add(again);
    }

    Add(helios::ParseStatus(b).value_or(false), helios::ParseFirmware(b).value_or(0),
        helios::ParseName(b).value_or("-"));
    if (const auto frame = helios::DecodeFrame(b)) Add(frame->rate, frame->flags, frame->points);
  }

  const Bytes& bytes() const { return bytes_; }

 private:
  void AddRaw(const void* p, size_t n) {
    const auto* bytes = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), bytes, bytes + n);
  }
  template <typename... T>
  void Add(const T&... values) {
    (AddOne(values), ...);
  }
  template <typename T>
  void AddOne(const T& value) {
    if constexpr (requires { std::span(value); }) {
      const auto values = std::span(value);
      bytes_.push_back(static_cast<uint8_t>(values.size()));
      AddRaw(values.data(), values.size_bytes());
    } else {
      AddRaw(&value, sizeof value);
    }
  }

  Bytes bytes_;
};

TEST(WireProtocols, ASeedCutAtAnyLengthIsReadFromItsOwnBytesOnly) {
  const std::filesystem::path seeds(LUMAREX_PROTOCOL_SEEDS);
  size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(seeds)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes seed((std::istreambuf_iterator<char>(in)), {});
    ++files;
    // The same n bytes before zeros and before 0xFF: a parser that reads past its n bytes, or
    // answers from a field it never read, answers the two differently.
    for (size_t n = 0; n <= seed.size(); ++n) {
      Bytes zeros(seed.begin(), seed.begin() + static_cast<ptrdiff_t>(n));
      Bytes ones = zeros;
      zeros.resize(n + 64, 0x00);
      ones.resize(n + 64, 0xFF);
      ASSERT_EQ(Answers(std::span(zeros).first(n)).bytes(),
                Answers(std::span(ones).first(n)).bytes())
          << entry.path().filename() << " cut at " << n;
    }
  }
  EXPECT_GE(files, 16u);
}

}  // namespace
}  // namespace lumarex::jmlaser
