// The pure parsers of the media classes: ICY metadata and MPEG frame sync.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "reggae/icy_meta.h"
#include "reggae/mpeg_sync.h"
#include "reggae_test_util.h"

using reggae::IcyMetaParser;
using reggae::MpegFrameSync;
using reggae::MpegHeader;

namespace {

std::string Block(const std::string &text) {
  size_t n = (text.size() + 15) / 16;
  std::string b(1, static_cast<char>(n));
  b += text;
  b.resize(1 + n * 16, '\0');
  return b;
}

// Feeds `stream` to the parser in pieces of `piece` bytes; returns the audio.
std::string Feed(IcyMetaParser &p, const std::string &stream, size_t piece) {
  std::string audio;
  for (size_t i = 0; i < stream.size(); i += piece) {
    std::string part = stream.substr(i, piece);
    size_t n = p.Process(reinterpret_cast<uint8_t *>(part.data()), part.size());
    audio.append(part.data(), n);
  }
  return audio;
}

std::string ReadFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

} // namespace

TEST(IcyMeta, TitleParsing) {
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle("StreamTitle='Artist - Song';StreamUrl='';"), "Artist - Song");
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle("StreamTitle='Guns N' Roses - Don't Cry';"), "Guns N' Roses - Don't Cry");
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle("StreamTitle='It's';x';StreamUrl='http://a/';"), "It's';x");
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle("StreamTitle='No end"), "No end");
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle("StreamTitle='';"), "");
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle(std::string("StreamTitle='Pad';\0\0\0", 21)), "Pad");
  // UTF-8 becomes Latin-1; Latin-1 stays as it is.
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle("StreamTitle='Bj\xC3\xB6rk - J\xC3\xB3ga';"), "Bj\xF6rk - J\xF3ga");
  EXPECT_EQ(*IcyMetaParser::ParseStreamTitle("StreamTitle='Bj\xF6rk';"), "Bj\xF6rk");
  EXPECT_FALSE(IcyMetaParser::ParseStreamTitle("StreamUrl='x';").has_value());
}

TEST(IcyMeta, RemovesBlocksAtAnyIntervalAndPieceSize) {
  for (size_t metaint : {1u, 16u, 1000u, 65536u}) {
    std::string audio, stream;
    for (size_t i = 0; i < 3 * metaint + 7; ++i)
      audio += static_cast<char>('a' + i % 26);
    for (size_t i = 0, k = 0; i < audio.size(); i += metaint, ++k) {
      stream += audio.substr(i, metaint);
      if (i + metaint <= audio.size())
        stream += k == 1 ? Block("StreamTitle='Second';") : k == 2 ? std::string(1, '\0') : Block("StreamTitle='First';");
    }
    for (size_t piece : {1u, 7u, 4096u}) {
      IcyMetaParser p(metaint);
      EXPECT_EQ(Feed(p, stream, piece), audio) << metaint << "/" << piece;
      ASSERT_TRUE(p.Title().has_value());
      EXPECT_EQ(*p.Title(), audio.size() / metaint >= 4 ? "First" : "Second");
    }
  }
}

TEST(IcyMeta, LargestBlockAndBadBytes) {
  std::string text = "StreamTitle='" + std::string(4000, 'x') + "';";
  std::string stream = "ab" + Block(text) + "cd" + std::string(1, '\xFF') + std::string(255 * 16, 'z') + "ef";
  IcyMetaParser p(2);
  EXPECT_EQ(Feed(p, stream, 100), "abcdef");
  EXPECT_EQ(p.Title()->size(), 4000u); // the later block had no title
}

TEST(MpegSync, HeaderValues) {
  MpegHeader h;
  const uint8_t mp1l3[] = {0xFF, 0xFB, 0x90, 0x64}; // 128k 44.1k
  ASSERT_TRUE(reggae::ParseMpegHeader(mp1l3, &h));
  EXPECT_EQ(h.version, 10);
  EXPECT_EQ(h.layer, 3);
  EXPECT_EQ(h.bitrate, 128);
  EXPECT_EQ(h.sampleRate, 44100);
  EXPECT_EQ(h.frameBytes, 417);
  const uint8_t mp25[] = {0xFF, 0xE3, 0x28, 0xC4}; // MPEG-2.5 L3 16k 8 kHz mono
  ASSERT_TRUE(reggae::ParseMpegHeader(mp25, &h));
  EXPECT_EQ(h.version, 25);
  EXPECT_EQ(h.sampleRate, 8000);
  EXPECT_EQ(h.channels, 1);
  EXPECT_EQ(h.frameBytes, 72 * 16000 / 8000);
  const uint8_t l1[] = {0xFF, 0xFF, 0x40, 0x00}; // MPEG-1 Layer I 128k 44.1k
  ASSERT_TRUE(reggae::ParseMpegHeader(l1, &h));
  EXPECT_EQ(h.frameBytes, (12 * 128000 / 44100) * 4);
  const uint8_t freeFormat[] = {0xFF, 0xFB, 0x00, 0x64}, badRate[] = {0xFF, 0xFB, 0x9C, 0x64},
                reserved[] = {0xFF, 0xEB, 0x90, 0x64};
  EXPECT_FALSE(reggae::ParseMpegHeader(freeFormat, &h));
  EXPECT_FALSE(reggae::ParseMpegHeader(badRate, &h));
  EXPECT_FALSE(reggae::ParseMpegHeader(reserved, &h));
}

namespace {
// Frames found in data, fed in pieces.
std::vector<MpegHeader> Frames(const std::string &data, size_t piece, std::string *joined = nullptr) {
  MpegFrameSync sync;
  std::vector<MpegHeader> out;
  auto drain = [&] {
    const uint8_t *f;
    MpegHeader h;
    while (sync.NextFrame(&f, &h)) {
      out.push_back(h);
      if (joined)
        joined->append(reinterpret_cast<const char *>(f), h.frameBytes);
    }
  };
  for (size_t i = 0; i < data.size(); i += piece) {
    sync.Push(reinterpret_cast<const uint8_t *>(data.data()) + i, std::min(piece, data.size() - i));
    drain();
  }
  sync.SetEnd();
  drain();
  return out;
}
} // namespace

TEST(MpegSync, FindsEveryFrameOfEachVersion) {
  struct Case {
    const char *file;
    int version, rate;
  } cases[] = {{"tone440_128k.mp3", 10, 44100},
               {"tone1k_64k_mono_22k.mp3", 20, 22050},
               {"tone440_16k_mono_8k.mp3", 25, 8000}};
  for (const Case &c : cases) {
    std::string data = ReadFile(reggaetest::Fixture(c.file));
    ASSERT_FALSE(data.empty()) << c.file;
    std::string joined;
    auto frames = Frames(data, 1000, &joined);
    ASSERT_GT(frames.size(), 10u) << c.file;
    EXPECT_EQ(joined, data) << c.file; // no junk in a clean file: every byte is in a frame
    for (auto &h : frames) {
      EXPECT_EQ(h.version, c.version);
      EXPECT_EQ(h.sampleRate, c.rate);
    }
  }
}

TEST(MpegSync, SkipsId3AndJunkAndResyncsAfterDamage) {
  std::string clean = ReadFile(reggaetest::Fixture("tone440_128k.mp3"));
  const size_t all = Frames(clean, 4096).size();
  // ID3v2 in front (with 0xFF bytes inside that look like sync), junk between frames.
  std::string id3 = "ID3\x03";
  id3 += std::string("\0\0\0\0\x02\x00", 6); // 256 bytes of tag
  std::string body(256, '\xFF');
  std::string damaged = id3 + body + "garbage\xFF\xFB" + clean.substr(0, 417 * 20) + std::string(333, '\xFF') +
                        clean.substr(417 * 20 + 100);
  auto frames = Frames(damaged, 517);
  EXPECT_GE(frames.size(), all - 3);
  EXPECT_LE(frames.size(), all);
  // The ripper's file: ID3v2 in front, ID3v1 at the end.
  EXPECT_GT(Frames(ReadFile(reggaetest::Fixture("tone440_id3.mp3")), 64).size(), 100u);
}
