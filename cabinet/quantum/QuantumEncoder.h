// The Quantum compressor behind cab::MakeQuantumCodec. Every data block of a
// folder is one coder frame: the coder restarts at each block, while the
// models and the window carry on through the folder. Matches stay inside their
// block, so each block is finished as soon as it arrives.
#pragma once

#include "QuantumCoder.h"
#include "QuantumMatchFinder.h"
#include "QuantumTables.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace quantum {

// Search effort of a level.
struct Tuning {
    enum class Parse { Greedy, Lazy, Priced };
    Parse parse = Parse::Priced;
    std::uint32_t depth = 32; // chain entries visited per search
    std::uint32_t nice = 96;  // matches this long are taken at once
    int hashBits = 0;         // hash chains: size of the 4-byte hash table (0: by window)
    int passes = 1;           // priced parse: 2 prices each piece again along a first path
};

Tuning LevelTuning(int level);

class Encoder {
  public:
    Encoder(int windowExponent, int level) : Encoder(windowExponent, LevelTuning(level)) {}
    Encoder(int windowExponent, Tuning tuning);
    void BeginFolder();
    // Compresses one block (FrameSize bytes unless it is the folder's last)
    // into payload. False when a block follows a short one, is empty or too
    // large, or its payload would exceed MaxPayload.
    bool EncodeBlock(const std::uint8_t* data, std::size_t size,
                     std::vector<std::uint8_t>& payload);

  private:
    // Prices in 1/PriceScale bits, from the models' current frequencies.
    static constexpr std::uint32_t PriceScale = 64;
    static constexpr std::uint32_t Infinite = 0x3FFFFFFF;
    struct Prices {
        std::array<std::uint32_t, 256> literal{};
        std::array<std::uint32_t, SelectorCount> selector{};
        std::array<std::array<std::uint32_t, MaxPositionSlots>, 3> position{};
        std::array<std::uint32_t, 255> length{}; // selector 6 lengths 5..259, extra bits included
    };

    const std::uint8_t* At(std::uint32_t pos) const { return buf_.data() + (pos - bufBase_); }
    std::uint32_t MaxLengthAt(std::uint32_t pos, std::uint32_t end) const;
    // Inserts the positions from..to-1 not yet in the match finder. The binary
    // trees order a position by the nice bytes that follow it, so there the
    // last positions of a block wait for the next block.
    void InsertRange(std::uint32_t from, std::uint32_t to, std::uint32_t end);

    void EncodeSymbol(Model& m, int value) {
        const int k = m.IndexOf(value);
        coder_.Encode(m, k);
        m.Update(k);
    }
    void EncodeLiteral(std::uint8_t b) {
        EncodeSymbol(selector_, b >> 6);
        EncodeSymbol(literal_[b >> 6], b);
    }
    void EncodeMatch(std::uint32_t length, std::uint32_t distance);

    void RefreshPrices();
    // The prices of the given models into out.
    static void PricesOf(const Model& selector, const std::array<Model, 4>& literal,
                         const std::array<Model, 3>& position, const Model& length, Prices& out);
    static std::uint32_t Price(const Model& m, int value);
    // Price of the offset part of a match for selector 4, 5 or 6 (Infinite when
    // that selector cannot reach it).
    std::uint32_t OffsetPrice(int which, std::uint32_t distance) const {
        if (which == 0 && distance > limit3_) return Infinite;
        if (which == 1 && distance > limit4_) return Infinite;
        return prices_.position[which][PositionSlot(distance - 1)];
    }
    std::uint32_t MatchPrice(std::uint32_t length, std::uint32_t distance) const;
    // The longest match of the list that can be coded and pays; length 0 if none.
    Match Choose(const Match* list, std::size_t n, std::uint32_t pos) const;

    void ParseGreedy(std::uint32_t start, std::uint32_t end, bool lazy);
    void ParsePriced(std::uint32_t start, std::uint32_t end);
    // The cheapest path under prices_ through the n bytes from pos, over the
    // matches collected for them, into path_ (last step first).
    void CheapestPath(std::uint32_t pos, std::uint32_t n);
    // Counts the steps of path_ from pos in copies of the models and moves
    // prices_ three quarters of the way towards the prices of the copies.
    void PricesAlongPath(std::uint32_t pos);

    int w_;
    std::uint32_t window_;
    std::uint32_t limit3_; // farthest length-3 match
    std::uint32_t limit4_; // farthest length-4 match
    Tuning tuning_;
    std::unique_ptr<MatchFinder> chains_; // greedy and lazy parses
    std::unique_ptr<TreeFinder> tree_;    // priced parse

    // Folder state.
    Model selector_;
    std::array<Model, 4> literal_;
    std::array<Model, 3> position_; // selectors 4, 5, 6
    Model length_;
    std::uint32_t pos_ = 0;        // folder offset of the next block
    std::uint32_t nextInsert_ = 0; // first position not yet in the match finder
    bool shortSeen_ = false;
    std::vector<std::uint8_t> buf_; // folder bytes from bufBase_ on
    std::uint32_t bufBase_ = 0;

    FrameCoder coder_;
    Prices prices_;
    Prices after_; // prices of the models after a trial path
    std::vector<Match> matches_;
    std::vector<std::uint32_t> matchStart_;
    std::vector<std::uint32_t> cost_;
    std::vector<std::uint32_t> step_;
    std::vector<Match> path_;
    std::vector<std::uint8_t> spare_;
};

} // namespace quantum
