// The LZX compressor behind cab::MakeLzxCodec. Input arrives frame by frame
// (32 KiB each, the folder's last may be shorter); output is one payload per
// frame. A frame is parsed once the next one has arrived (the match finder
// looks past the frame end), and frames are collected into LZX blocks whose
// boundaries and types are chosen by estimated size, so payloads come out some
// frames after their input. Frames of random or already compressed data are
// noticed before the search and stored, searched only sparsely.
#pragma once

#include "LzxBitWriter.h"
#include "LzxHuffman.h"
#include "LzxMatchFinder.h"
#include "LzxTables.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace lzx {

// Options that trade speed for size.
struct Tuning {
    std::uint32_t niceLength = 64;  // matches this long are taken at once
    std::uint32_t searchDepth = 12; // tree nodes visited per position
    int passes = 1; // parses per frame; later ones use the statistics of the one before
    std::uint32_t maxBlockFrames = 32;
};

// The settings used for a window: smaller windows keep the match finder's
// tables in the caches, so they can afford deeper searches at similar speed.
Tuning DefaultTuning(int windowExponent);

// Translation size written into the stream header when call translation is on.
// Calls are only translated in the first 2^30 bytes of a folder, so with this
// size every call target there becomes one absolute value wherever the call
// sits (a smaller size leaves calls to targets beyond it unimproved).
inline constexpr std::int32_t TranslationSize = 1 << 30;

// Rewrites the relative targets of E8 calls in one frame (in place) as the
// decoder expects to undo them. framePos is the folder offset of data[0];
// frameIndex the frame's number in the folder.
void TranslateCalls(std::uint8_t* data, std::size_t n, std::uint32_t framePos,
                    std::uint32_t frameIndex, std::int32_t translationSize);

// Whether call translation should be on for a folder that starts with these bytes.
bool WantCallTranslation(const std::uint8_t* data, std::size_t n);

struct Payload {
    std::vector<std::uint8_t> data;
    std::uint32_t uncompressedSize = 0;
};

class Encoder {
  public:
    explicit Encoder(int windowExponent) : Encoder(windowExponent, DefaultTuning(windowExponent)) {}
    Encoder(int windowExponent, Tuning tuning);
    ~Encoder();
    void BeginFolder();
    // One frame: FrameSize bytes unless it is the folder's last. False when a
    // frame follows a short one or is too large.
    bool PutFrame(const std::uint8_t* data, std::size_t size);
    void EndFolder();
    bool Take(Payload& out);
    // Forces call translation on or off for the next folder instead of
    // deciding from its first frame (-1 = decide).
    void ForceCallTranslation(int mode) { forceE8_ = mode; }

  private:
    struct Token {
        std::uint16_t mainSym;
        std::uint16_t lenSym; // 0xFFFF: none
        std::uint32_t extra;  // offset value below the slot's base
    };
    struct Stats {
        std::array<std::uint32_t, MaxMainTreeSize> main{};
        std::array<std::uint32_t, LengthTreeSize> length{};
        std::array<std::uint32_t, AlignedTreeSize> aligned{};
        std::uint64_t extraBits = 0;     // offset bits when sent verbatim
        std::uint64_t alignableBits = 0; // of which replaced by aligned codes
        void Add(const Stats& o);
    };
    struct Frame {
        std::uint32_t size = 0;
        std::vector<Token> tokens;
        Stats stats;
        std::array<std::uint32_t, 3> repsAfter{};
    };
    struct CostModel {
        std::array<std::uint32_t, MaxMainTreeSize> main{};
        std::array<std::uint32_t, LengthTreeSize> length{};
    };

    void ResetFolder();
    void AddInput(const std::uint8_t* data, std::size_t size);
    void ParseNextFrame();
    void FindMatches(std::uint32_t start, std::uint32_t n);
    std::uint64_t LiteralOnlyBits(const std::uint8_t* data, std::uint32_t n) const;
    std::uint64_t FindMatchesSparse(std::uint32_t start, std::uint32_t n, std::uint64_t enough);
    void Optimize(std::uint32_t start, std::uint32_t n, const CostModel& model,
                  const std::array<std::uint32_t, 3>& reps, Frame& frame);
    void ModelFromStats(const Stats& s, CostModel& m) const;
    void DefaultModel(CostModel& m) const;
    std::uint64_t EstimateBits(const Stats& s) const;
    void QueueFrame(Frame&& frame);
    void FlushBlock();
    void WriteBlock(std::size_t first, std::size_t last);
    void StoreFrame(std::uint32_t start, std::uint32_t n, const std::array<std::uint32_t, 3>& reps);
    void WriteStreamHeaderIfFirst();
    void FinishPayload(std::uint32_t size);
    void WriteTree(const std::uint8_t* lens, std::uint8_t* prev, int count);
    const std::uint8_t* At(std::uint32_t pos) const { return buf_.data() + (pos - bufBase_); }

    int w_;
    std::uint32_t window_;
    int slots_;
    int mainSize_;
    Tuning tuning_;
    MatchFinder finder_;
    int forceE8_ = -1;

    // Folder state.
    bool e8_ = false;
    bool started_ = false; // a frame of this folder has arrived
    bool shortSeen_ = false;
    bool headerWritten_ = false;
    std::uint32_t framesIn_ = 0;
    std::uint32_t framesParsed_ = 0;
    std::uint32_t inputEnd_ = 0; // folder offset past the last input byte
    std::vector<std::uint8_t> buf_;
    std::uint32_t bufBase_ = 0;
    std::uint32_t skipUntil_ = 0;
    std::uint32_t sparseMisses_ = 0; // searches since the last match worth having
    std::array<std::uint32_t, 3> reps_{1, 1, 1};
    CostModel model_;
    bool haveModel_ = false;
    std::array<std::uint8_t, MaxMainTreeSize> prevMain_{};
    std::array<std::uint8_t, LengthTreeSize> prevLength_{};

    // Parsed frames waiting to become one block.
    std::vector<Frame> pending_;
    Stats pendingStats_;
    std::uint64_t pendingBits_ = 0;

    // Scratch for the parser.
    std::vector<Match> matches_;
    std::vector<std::uint32_t> matchIndex_;
    struct Node {
        std::uint32_t cost;
        std::uint32_t offset; // < 3: repeated offset index, else offset + 2
        std::uint16_t length; // 1: literal
        std::uint16_t first;  // non-zero: a match of this length, a literal, a repeat
                              // (0xFFFF: a literal, then a repeat)
        std::array<std::uint32_t, 3> reps;
    };
    std::vector<Node> nodes_;

    BitWriter out_;
    std::deque<Payload> ready_;
};

} // namespace lzx
