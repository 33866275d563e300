// rar20_encoder.h — Rar20Encoder: our RAR 2.0 compressor, written against the decoder's definition.
//
// LZ77 over a 1 MiB window with hash chains and a price-driven optimal parse (literals, new
// matches, the four recent distances, the repeat symbol, short distances), canonical Huffman
// codes of at most 15 bits re-sent per segment when that pays (delta and run-length coded), and
// the multimedia (audio) mode with 1–4 channels when it codes an entry smaller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/audio_predictor.h"
#include "archive/rar20_format.h"
#include "tools/match_finder.h"

struct EncoderOptions {
  int chainDepth = 96;   // hash-chain candidates looked at per position
  int passes = 3;        // parse passes per segment, each priced by the previous one's codes
  bool tryAudio = true;  // also try the multimedia mode and keep whichever is smaller
};

class Rar20Encoder {
 public:
  explicit Rar20Encoder(const EncoderOptions& options = {});
  ~Rar20Encoder();

  // Compresses one entry and returns its packed bytes. With `continues` the entry continues the
  // decoder state left by the previous entry encoded by this object (a solid archive, flag
  // 0x10); otherwise it starts from a clean state and references nothing earlier.
  std::vector<uint8_t> encodeEntry(const uint8_t* data, size_t size, bool continues);

  // How the last entry was coded: 0 = LZ, 1…4 = audio with that many channels.
  int lastAudioChannels() const { return lastAudioChannels_; }

  // What the decoder holds between symbols, mirrored here so every code we write decodes.
  struct StreamState {
    uint32_t recent[4] = {};  // recent distances, newest first
    uint32_t lastLength = 0;
    uint8_t work[rar20::kMaxTableSize] = {};      // the decoder's last transmitted lengths
    uint8_t previous[rar20::kMaxTableSize] = {};  // base of the delta coding
    int previousKnown = rar20::kMaxTableSize;    // leading lengths of `previous` we may rely on
    bool haveTables = false;
    bool audio = false;
    int channels = 1;
    int currentChannel = 0;
    int32_t channelDelta = 0;
    AudioChannel channel[rar20::kMaxChannels];
    uint8_t mainLengths[rar20::kMainSymbols] = {};
    uint8_t distanceLengths[rar20::kDistanceSymbols] = {};
    uint8_t lengthLengths[rar20::kLengthSymbols] = {};
    uint8_t audioLengths[rar20::kMaxChannels][rar20::kAudioSymbols] = {};
  };

 private:
  struct Token;
  struct Prices;
  class Writer;

  void encodeLz(uint32_t begin, uint32_t end, bool switchFirst, StreamState& s, class BitWriter& out);
  void encodeAudio(uint32_t begin, uint32_t end, bool switchFirst, int channels, StreamState& s,
                   class BitWriter& out);
  void parseSegment(uint32_t begin, uint32_t end, const StreamState& s, const Prices& prices,
                    std::vector<Token>& tokens);

  EncoderOptions options_;
  std::vector<uint8_t> history_;  // everything the decoder's window has seen since the last reset
  std::unique_ptr<MatchFinder> finder_;
  StreamState state_;
  int lastAudioChannels_ = 0;
  // Per-segment search results, reused by every parse pass.
  std::vector<Match> matches_;
  std::vector<uint32_t> matchStart_;
  std::vector<uint16_t> pairDistance_;
};
