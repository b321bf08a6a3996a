#include "LzxEncoder.h"

#include <algorithm>
#include <cstring>

namespace lzx {

namespace {

constexpr std::uint32_t Infinite = 0xFFFFFFFFu;
constexpr std::uint16_t NoLength = 0xFFFF;
// Node::first for a literal followed by a repeat of the last offset.
constexpr std::uint32_t LiteralFirst = 0xFFFF;
// Largest payload a frame may have; cabinet readers refuse more than 38912.
constexpr std::uint64_t MaxPayloadBits = 38000u * 8u;
// A frame stored as it is: its bits plus the block header, padding and the
// three repeated offsets.
constexpr std::uint64_t StoredBits(std::uint32_t n) {
    return std::uint64_t{n} * 8 + 16 * 8 + 32;
}
// In frames whose bytes a Huffman code cannot shorten, searches are spaced
// further apart the longer they find nothing worth having, up to this stride.
constexpr std::uint32_t MaxSparseStride = 16;
// Searches without a hit before the stride grows by one.
constexpr std::uint32_t MissesPerStride = 16;
// A match is a hit when it saves at least this many bits over 8-bit literals.
constexpr std::uint32_t HitBits = 8;

inline std::uint32_t LoadLE32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

inline void StoreLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

template <std::size_t N>
std::vector<std::uint32_t> ToVector(const std::array<std::uint32_t, N>& a, std::size_t n) {
    return std::vector<std::uint32_t>(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n));
}

std::uint64_t CodedBits(const std::vector<std::uint32_t>& freq,
                        const std::vector<std::uint8_t>& lens) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < freq.size(); ++i)
        bits += std::uint64_t{freq[i]} * lens[i];
    return bits;
}

// One pretree-coded instruction: a pretree symbol, its extra bits, and for
// symbol 19 the symbol giving the run's value.
struct TreeOp {
    std::uint8_t sym;
    std::uint8_t extraBits;
    std::uint8_t extra;
    std::uint8_t inner; // only for 19
};

void TreeOps(const std::uint8_t* lens, const std::uint8_t* prev, int count,
             std::vector<TreeOp>& ops) {
    auto delta = [&](int i) { return static_cast<std::uint8_t>((prev[i] + 17 - lens[i]) % 17); };
    int i = 0;
    while (i < count) {
        int run = 1;
        while (i + run < count && lens[i + run] == lens[i])
            ++run;
        int j = i;
        int left = run;
        if (lens[i] == 0) {
            while (left >= 20) {
                int k = std::min(left, 51);
                ops.push_back({18, 5, static_cast<std::uint8_t>(k - 20), 0});
                j += k;
                left -= k;
            }
            if (left >= 4) {
                ops.push_back({17, 4, static_cast<std::uint8_t>(left - 4), 0});
                j += left;
                left = 0;
            }
        } else {
            while (left >= 4) {
                int k = std::min(left, 5);
                ops.push_back({19, 1, static_cast<std::uint8_t>(k - 4), delta(j)});
                j += k;
                left -= k;
            }
        }
        for (; left > 0; --left, ++j)
            ops.push_back({delta(j), 0, 0, 0});
        i += run;
    }
}

} // namespace

void TranslateCalls(std::uint8_t* data, std::size_t n, std::uint32_t framePos,
                    std::uint32_t frameIndex, std::int32_t translationSize) {
    if (frameIndex >= 32768 || n <= 10) return;
    const std::int64_t t = translationSize;
    for (std::size_t i = 0; i < n - 10;) {
        if (data[i] != 0xE8) {
            ++i;
            continue;
        }
        const std::int64_t cur = static_cast<std::int64_t>(framePos) + static_cast<std::int64_t>(i);
        const std::int64_t rel = static_cast<std::int32_t>(LoadLE32(data + i + 1));
        if (rel >= -cur && rel < t) {
            const std::int64_t abs = rel < t - cur ? rel + cur : rel - t;
            StoreLE32(data + i + 1, static_cast<std::uint32_t>(static_cast<std::int32_t>(abs)));
        }
        i += 5;
    }
}

bool WantCallTranslation(const std::uint8_t* data, std::size_t n) {
    // Translation only ever rewrites the four bytes after an E8. Machine code
    // gains from it; most other data has no E8 bytes and neither gains nor
    // loses. It hurts where E8 bytes are common but are not calls (UTF-8 text
    // in East Asian scripts, some tables), so it is off only when the first
    // frame has many E8 bytes of which few look like near calls.
    std::size_t e8 = 0, calls = 0;
    for (std::size_t i = 0; i + 5 <= n; ++i) {
        if (data[i] != 0xE8) continue;
        ++e8;
        if (data[i + 4] == 0x00 || data[i + 4] == 0xFF) ++calls;
    }
    return !(e8 * 128 >= n && e8 >= 16 && calls * 2 < e8);
}

Tuning DefaultTuning(int windowExponent) {
    Tuning t;
    if (windowExponent <= 16) {
        t.niceLength = 96;
        t.searchDepth = 32;
    } else if (windowExponent <= 18) {
        t.niceLength = 96;
        t.searchDepth = 24;
    }
    return t;
}

void Encoder::Stats::Add(const Stats& o) {
    for (std::size_t i = 0; i < main.size(); ++i)
        main[i] += o.main[i];
    for (std::size_t i = 0; i < length.size(); ++i)
        length[i] += o.length[i];
    for (std::size_t i = 0; i < aligned.size(); ++i)
        aligned[i] += o.aligned[i];
    extraBits += o.extraBits;
    alignableBits += o.alignableBits;
}

Encoder::Encoder(int windowExponent, Tuning tuning)
    : w_(windowExponent), window_(std::uint32_t{1} << windowExponent),
      slots_(SlotCount(windowExponent)), mainSize_(NumChars + 8 * SlotCount(windowExponent)),
      tuning_(tuning), finder_(window_, tuning.niceLength, tuning.searchDepth) {
    ResetFolder();
}

Encoder::~Encoder() = default;

void Encoder::ResetFolder() {
    // The finder's tables are large; clear them only when a folder used them.
    if (framesIn_ > 0) finder_.Reset();
    e8_ = false;
    started_ = false;
    shortSeen_ = false;
    headerWritten_ = false;
    framesIn_ = 0;
    framesParsed_ = 0;
    inputEnd_ = 0;
    buf_.clear();
    bufBase_ = 0;
    skipUntil_ = 0;
    sparseMisses_ = 0;
    reps_ = {1, 1, 1};
    haveModel_ = false;
    prevMain_.fill(0);
    prevLength_.fill(0);
    pending_.clear();
    pendingStats_ = Stats{};
    pendingBits_ = 0;
    out_ = BitWriter{};
}

void Encoder::BeginFolder() {
    ResetFolder();
}

bool Encoder::PutFrame(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return true;
    if (size > FrameSize || shortSeen_) return false;
    if (framesIn_ >= 65535) return false;
    if (!started_) {
        started_ = true;
        e8_ = forceE8_ >= 0 ? forceE8_ != 0 : WantCallTranslation(data, size);
    }
    AddInput(data, size);
    if (size < FrameSize) shortSeen_ = true;
    // The frame before this one can now be parsed with a look past its end.
    if (framesIn_ >= 2) ParseNextFrame();
    return true;
}

void Encoder::EndFolder() {
    while (framesParsed_ < framesIn_)
        ParseNextFrame();
    FlushBlock();
    ResetFolder();
}

bool Encoder::Take(Payload& out) {
    if (ready_.empty()) return false;
    out = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void Encoder::AddInput(const std::uint8_t* data, std::size_t size) {
    // Keep a window's worth of history before the oldest frame still to parse.
    const std::uint32_t parseStart = framesParsed_ * FrameSize;
    const std::uint32_t keepFrom = parseStart > window_ ? parseStart - window_ : 0;
    if (keepFrom > bufBase_ && keepFrom - bufBase_ >= std::max<std::uint32_t>(window_, 1u << 18)) {
        buf_.erase(buf_.begin(), buf_.begin() + (keepFrom - bufBase_));
        bufBase_ = keepFrom;
    }
    const std::size_t at = buf_.size();
    buf_.insert(buf_.end(), data, data + size);
    if (e8_) TranslateCalls(buf_.data() + at, size, inputEnd_, framesIn_, TranslationSize);
    inputEnd_ += static_cast<std::uint32_t>(size);
    ++framesIn_;
}

void Encoder::FindMatches(std::uint32_t start, std::uint32_t n) {
    matches_.clear();
    matchIndex_.assign(n + 1, 0);
    const std::uint32_t end = start + n;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t pos = start + i;
        matchIndex_[i] = static_cast<std::uint32_t>(matches_.size());
        // Positions inside a long match are left out of the tree altogether:
        // the parser takes such a match whole, and the time is better spent
        // elsewhere.
        if (pos < skipUntil_) continue;
        const std::uint32_t avail = inputEnd_ - pos;
        if (avail > 8) finder_.Prefetch(At(pos + 1), pos + 1);
        const std::uint32_t maxLen = std::min<std::uint32_t>(MaxMatch, end - pos);
        std::size_t found = finder_.Find(At(pos), pos, avail, maxLen, matches_);
        if (found != 0) {
            const std::uint32_t longest = matches_.back().length;
            if (longest >= tuning_.niceLength) skipUntil_ = pos + longest;
        }
    }
    matchIndex_[n] = static_cast<std::uint32_t>(matches_.size());
}

std::uint64_t Encoder::LiteralOnlyBits(const std::uint8_t* data, std::uint32_t n) const {
    // The frame's estimated size as literals alone, its trees included. Four
    // tables, so runs of one byte value do not wait on their own counts.
    std::array<std::array<std::uint32_t, NumChars>, 4> part{};
    std::uint32_t i = 0;
    for (; i + 4 <= n; i += 4) {
        ++part[0][data[i]];
        ++part[1][data[i + 1]];
        ++part[2][data[i + 2]];
        ++part[3][data[i + 3]];
    }
    for (; i < n; ++i)
        ++part[0][data[i]];
    Stats st;
    for (int s = 0; s < NumChars; ++s)
        st.main[s] = part[0][s] + part[1][s] + part[2][s] + part[3][s];
    return EstimateBits(st);
}

std::uint64_t Encoder::FindMatchesSparse(std::uint32_t start, std::uint32_t n,
                                         std::uint64_t enough) {
    // Like FindMatches, but positions between the searches are neither
    // searched nor inserted into the finder. A later copy of this stretch is
    // still found, at most one stride into it: the tree holds at least every
    // MaxSparseStride-th position of it. Returns the bits the hits would save
    // over 8-bit literals, counting overlapping hits once. Once they reach
    // enough, the frame will be parsed, and the rest of it is searched at
    // every position.
    matches_.clear();
    matchIndex_.assign(n + 1, 0);
    std::uint64_t gain = 0;
    std::uint32_t counted = 0; // frame index past the last hit counted
    std::uint32_t next = 0;    // frame index of the next search
    for (std::uint32_t i = 0; i < n; ++i) {
        matchIndex_[i] = static_cast<std::uint32_t>(matches_.size());
        const std::uint32_t pos = start + i;
        if (i < next || pos < skipUntil_) continue;
        const std::uint32_t avail = inputEnd_ - pos;
        const std::uint32_t maxLen = std::min<std::uint32_t>(MaxMatch, n - i);
        const std::size_t first = matches_.size();
        finder_.Find(At(pos), pos, avail, maxLen, matches_);
        std::uint32_t best = 0, bestLength = 0;
        for (std::size_t m = first; m < matches_.size(); ++m) {
            const Match& mt = matches_[m];
            const std::uint32_t cost =
                9 + Slots.extra[SlotOf(mt.distance + 2)] + (mt.length >= 9 ? 6 : 0);
            if (8 * mt.length > cost + best) {
                best = 8 * mt.length - cost;
                bestLength = mt.length;
            }
        }
        if (matches_.size() > first && matches_.back().length >= tuning_.niceLength)
            skipUntil_ = pos + matches_.back().length;
        if (best >= HitBits) {
            sparseMisses_ = 0;
            if (i >= counted) {
                gain += best;
                counted = i + bestLength;
            }
        } else {
            ++sparseMisses_;
        }
        if (gain >= enough) sparseMisses_ = 0;
        next = i + 1 + std::min(sparseMisses_ / MissesPerStride, MaxSparseStride - 1);
        if (next < n && inputEnd_ - (start + next) > 8)
            finder_.Prefetch(At(start + next), start + next);
    }
    matchIndex_[n] = static_cast<std::uint32_t>(matches_.size());
    return gain;
}

void Encoder::DefaultModel(CostModel& m) const {
    for (int s = 0; s < NumChars; ++s)
        m.main[s] = 8;
    for (int s = NumChars; s < MaxMainTreeSize; ++s) {
        const int slot = (s - NumChars) / 8;
        m.main[s] = slot < 3 ? 7 : 10;
    }
    for (int s = 0; s < LengthTreeSize; ++s)
        m.length[s] = 7;
}

void Encoder::ModelFromStats(const Stats& st, CostModel& m) const {
    std::vector<std::uint32_t> f(mainSize_);
    for (int s = 0; s < mainSize_; ++s)
        f[s] = st.main[s] * 4 + 1;
    std::vector<std::uint8_t> lens = BuildLengths(f, MainMaxCodeLen);
    for (int s = 0; s < mainSize_; ++s)
        m.main[s] = lens[s];
    std::vector<std::uint32_t> g(LengthTreeSize);
    for (int s = 0; s < LengthTreeSize; ++s)
        g[s] = st.length[s] * 4 + 1;
    lens = BuildLengths(g, LengthMaxCodeLen);
    for (int s = 0; s < LengthTreeSize; ++s)
        m.length[s] = lens[s];
}

std::uint64_t Encoder::EstimateBits(const Stats& st) const {
    std::vector<std::uint32_t> mf = ToVector(st.main, mainSize_);
    std::vector<std::uint32_t> lf = ToVector(st.length, LengthTreeSize);
    std::vector<std::uint8_t> ml = BuildLengths(mf, MainMaxCodeLen);
    std::vector<std::uint8_t> ll = BuildLengths(lf, LengthMaxCodeLen);
    std::uint64_t bits = CodedBits(mf, ml) + CodedBits(lf, ll) + st.extraBits;
    // Trees: three pretrees plus a few bits per used length, a little for unused runs.
    std::uint64_t used = 0;
    for (auto l : ml)
        used += l != 0;
    for (auto l : ll)
        used += l != 0;
    bits += 3 * 80 + used * 4 + (static_cast<std::uint64_t>(mainSize_) + LengthTreeSize - used) / 6;
    return bits + 27;
}

void Encoder::Optimize(std::uint32_t start, std::uint32_t n, const CostModel& model,
                       const std::array<std::uint32_t, 3>& reps, Frame& frame) {
    nodes_.resize(n + 1);
    for (std::uint32_t j = 0; j <= n; ++j)
        nodes_[j].cost = Infinite;
    nodes_[0].cost = 0;
    nodes_[0].length = 0;
    nodes_[0].first = 0;
    nodes_[0].reps = reps;
    const std::uint8_t* base = At(start);
    const std::uint32_t nice = tuning_.niceLength;

    auto relax = [&](std::uint32_t to, std::uint32_t cost, std::uint32_t len, std::uint32_t off,
                     std::uint32_t first = 0) {
        Node& t = nodes_[to];
        if (cost < t.cost) {
            t.cost = cost;
            t.length = static_cast<std::uint16_t>(len);
            t.offset = off;
            t.first = static_cast<std::uint16_t>(first);
        }
    };
    auto matchCost = [&](std::uint32_t slot, std::uint32_t len) {
        const std::uint32_t* mainCost = &model.main[NumChars + 8 * slot];
        return len < 9 ? mainCost[len - 2] : mainCost[7] + model.length[len - 9];
    };
    // After a match that ends at a mismatch, one literal and a second match
    // with the same offset often follow (data with a changed byte). The pair
    // is priced as one step, as the shortest-path search would otherwise only
    // see it when the match happens to be on the best path to its end.
    auto literalThenRepeat = [&](std::uint32_t i, std::uint32_t len, std::uint32_t d,
                                 std::uint32_t off, std::uint32_t cost) {
        const std::uint32_t after = i + len + 1;
        if (after + 2 > n) return;
        const std::uint8_t* a = base + after;
        const std::uint8_t* b = a - d;
        if (a[0] != b[0] || a[1] != b[1]) return;
        const std::uint32_t limit = std::min<std::uint32_t>(MaxMatch, n - after);
        const std::uint32_t len2 = CommonLength(a, b, 2, limit);
        relax(after + len2, cost + model.main[base[i + len]] + matchCost(0, len2), len + 1 + len2,
              off, len);
    };

    std::uint32_t i = 0;
    while (i < n) {
        Node& nd = nodes_[i];
        if (i > 0) {
            nd.reps = nodes_[i - nd.length].reps;
            if (nd.length > 1) {
                if (nd.offset == 1) {
                    std::swap(nd.reps[0], nd.reps[1]);
                } else if (nd.offset == 2) {
                    std::swap(nd.reps[0], nd.reps[2]);
                } else if (nd.offset >= 3) {
                    nd.reps[2] = nd.reps[1];
                    nd.reps[1] = nd.reps[0];
                    nd.reps[0] = nd.offset - 2;
                }
            }
        }
        const std::uint32_t c = nd.cost;
        const std::uint32_t pos = start + i;
        const std::uint8_t* p = base + i;
        const std::uint32_t maxLen = std::min<std::uint32_t>(MaxMatch, n - i);
        relax(i + 1, c + model.main[p[0]], 1, 0);
        std::uint32_t longest = 0;
        // A literal, then a repeat of the last offset (the byte in between
        // changed): also priced as one step.
        if (maxLen >= 3 && nd.reps[0] < pos) {
            const std::uint8_t* q = p - nd.reps[0];
            if (q[0] != p[0] && q[1] == p[1] && q[2] == p[2]) {
                const std::uint32_t len2 = CommonLength(p + 1, q + 1, 2, maxLen - 1);
                relax(i + 1 + len2, c + model.main[p[0]] + matchCost(0, len2), len2 + 1, 0,
                      LiteralFirst);
            }
        }
        if (maxLen >= 2) {
            for (std::uint32_t k = 0; k < 3; ++k) {
                const std::uint32_t d = nd.reps[k];
                if (d > pos) continue;
                if (k >= 1 && d == nd.reps[0]) continue;
                if (k == 2 && d == nd.reps[1]) continue;
                const std::uint8_t* q = p - d;
                if (q[0] != p[0] || q[1] != p[1]) continue;
                const std::uint32_t len = CommonLength(p, q, 2, maxLen);
                for (std::uint32_t l = 2; l <= len; ++l)
                    relax(i + l, c + matchCost(k, l), l, k);
                if (len < maxLen) literalThenRepeat(i, len, d, k, c + matchCost(k, len));
                longest = std::max(longest, len);
            }
            std::uint32_t prevLen = 2;
            for (std::uint32_t m = matchIndex_[i]; m < matchIndex_[i + 1]; ++m) {
                const std::uint32_t len = std::min(matches_[m].length, maxLen);
                if (len <= prevLen) continue;
                const std::uint32_t formatted = matches_[m].distance + 2;
                const int slot = SlotOf(formatted);
                const std::uint32_t offCost = c + Slots.extra[slot];
                for (std::uint32_t l = prevLen + 1; l <= len; ++l)
                    relax(i + l, offCost + matchCost(slot, l), l, formatted);
                if (len < maxLen)
                    literalThenRepeat(i, len, matches_[m].distance, formatted,
                                      offCost + matchCost(slot, len));
                prevLen = len;
                longest = std::max(longest, len);
            }
        }
        if (longest >= nice) {
            i += longest;
        } else {
            ++i;
        }
    }

    // Walk back from the end, then replay forwards.
    struct Step {
        std::uint32_t length, offset, first;
    };
    std::vector<Step> path;
    for (std::uint32_t j = n; j > 0; j -= nodes_[j].length)
        path.push_back({nodes_[j].length, nodes_[j].offset, nodes_[j].first});
    frame.tokens.clear();
    frame.tokens.reserve(path.size());
    frame.stats = Stats{};
    std::array<std::uint32_t, 3> r = reps;
    auto literal = [&](std::uint8_t b) {
        frame.tokens.push_back({b, NoLength, 0});
        ++frame.stats.main[b];
    };
    auto match = [&](std::uint32_t len, std::uint32_t off) {
        const std::uint32_t lh = std::min<std::uint32_t>(len - 2, 7);
        int slot;
        std::uint32_t extra = 0;
        if (off < 3) {
            slot = static_cast<int>(off);
            if (off == 1) std::swap(r[0], r[1]);
            if (off == 2) std::swap(r[0], r[2]);
        } else {
            slot = SlotOf(off);
            extra = off - Slots.base[slot];
            r[2] = r[1];
            r[1] = r[0];
            r[0] = off - 2;
            const int e = Slots.extra[slot];
            frame.stats.extraBits += e;
            if (e >= 3) {
                ++frame.stats.aligned[extra & 7];
                frame.stats.alignableBits += 3;
            }
        }
        Token t;
        t.mainSym = static_cast<std::uint16_t>(NumChars + 8 * slot + lh);
        t.lenSym = lh == 7 ? static_cast<std::uint16_t>(len - 9) : NoLength;
        t.extra = extra;
        if (lh == 7) ++frame.stats.length[t.lenSym];
        ++frame.stats.main[t.mainSym];
        frame.tokens.push_back(t);
    };
    std::uint32_t at = 0;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (it->length == 1) {
            literal(base[at]);
        } else if (it->first == 0) {
            match(it->length, it->offset);
        } else if (it->first == LiteralFirst) {
            literal(base[at]);
            match(it->length - 1, 0);
        } else {
            match(it->first, it->offset);
            literal(base[at + it->first]);
            match(it->length - it->first - 1, 0);
        }
        at += it->length;
    }
    frame.repsAfter = r;
}

void Encoder::ParseNextFrame() {
    const std::uint32_t start = framesParsed_ * FrameSize;
    const std::uint32_t n = std::min(FrameSize, inputEnd_ - start);
    const std::uint64_t stored = StoredBits(n);
    // A frame that as literals alone would come out no smaller than stored
    // (random or already compressed data) can only gain from matches. Such a
    // frame is searched sparsely, and when the matches found would not make up
    // the difference it is stored as it is, without the parse.
    const std::uint64_t literalBits = LiteralOnlyBits(At(start), n);
    if (literalBits > stored) {
        // What matches must save for the frame to be worth coding.
        const std::uint64_t needed = literalBits - stored;
        const std::uint64_t gain = FindMatchesSparse(start, n, needed);
        if (gain < needed) {
            ++framesParsed_;
            StoreFrame(start, n, reps_);
            return;
        }
    } else {
        sparseMisses_ = 0;
        FindMatches(start, n);
    }
    Frame frame;
    frame.size = n;
    CostModel model;
    if (haveModel_) {
        model = model_;
    } else {
        DefaultModel(model);
    }
    // The first frame of a folder starts from a guess, so it is parsed again
    // with what the first parse found.
    const int passes = std::max(haveModel_ ? 1 : 2, tuning_.passes);
    for (int pass = 0; pass < passes; ++pass) {
        if (pass > 0) ModelFromStats(frame.stats, model);
        Optimize(start, n, model, reps_, frame);
    }
    ModelFromStats(frame.stats, model_);
    haveModel_ = true;
    reps_ = frame.repsAfter;
    ++framesParsed_;

    const std::uint64_t coded = EstimateBits(frame.stats);
    if (coded >= stored) {
        StoreFrame(start, n, frame.repsAfter);
        return;
    }
    if (pending_.empty()) {
        pendingStats_ = frame.stats;
        pendingBits_ = coded;
        pending_.push_back(std::move(frame));
        return;
    }
    Stats merged = pendingStats_;
    merged.Add(frame.stats);
    const std::uint64_t mergedBits = EstimateBits(merged);
    if (pending_.size() < tuning_.maxBlockFrames && mergedBits <= pendingBits_ + coded) {
        pendingStats_ = merged;
        pendingBits_ = mergedBits;
        pending_.push_back(std::move(frame));
        return;
    }
    FlushBlock();
    pendingStats_ = frame.stats;
    pendingBits_ = coded;
    pending_.push_back(std::move(frame));
}

void Encoder::WriteStreamHeaderIfFirst() {
    if (headerWritten_) return;
    headerWritten_ = true;
    out_.Put(e8_ ? 1 : 0, 1);
    if (e8_) {
        const std::uint32_t t = static_cast<std::uint32_t>(TranslationSize);
        out_.Put(t >> 16, 16);
        out_.Put(t & 0xFFFF, 16);
    }
}

void Encoder::FinishPayload(std::uint32_t size) {
    out_.Align();
    ready_.push_back({out_.TakeBytes(), size});
}

void Encoder::StoreFrame(std::uint32_t start, std::uint32_t n,
                         const std::array<std::uint32_t, 3>& reps) {
    // An uncompressed block of its own; the block being collected ends first.
    FlushBlock();
    WriteStreamHeaderIfFirst();
    out_.Put(Uncompressed, 3);
    out_.Put(n >> 8, 16);
    out_.Put(n & 0xFF, 8);
    out_.AlignForBytes();
    std::uint8_t r[12];
    for (int k = 0; k < 3; ++k)
        StoreLE32(r + 4 * k, reps[k]);
    out_.PutBytes(r, 12);
    out_.PutBytes(At(start), n);
    if (n & 1) {
        const std::uint8_t zero = 0;
        out_.PutBytes(&zero, 1);
    }
    FinishPayload(n);
}

void Encoder::WriteTree(const std::uint8_t* lens, std::uint8_t* prev, int count) {
    std::vector<TreeOp> ops;
    TreeOps(lens, prev, count, ops);
    std::vector<std::uint32_t> freq(PreTreeSize, 0);
    for (const TreeOp& op : ops) {
        ++freq[op.sym];
        if (op.sym == 19) ++freq[op.inner];
    }
    std::vector<std::uint8_t> pl = BuildLengths(freq, PreTreeMaxCodeLen);
    std::vector<std::uint32_t> pc = CanonicalCodes(pl);
    for (int s = 0; s < PreTreeSize; ++s)
        out_.Put(pl[s], 4);
    for (const TreeOp& op : ops) {
        out_.Put(pc[op.sym], pl[op.sym]);
        out_.Put(op.extra, op.extraBits);
        if (op.sym == 19) out_.Put(pc[op.inner], pl[op.inner]);
    }
    std::copy(lens, lens + count, prev);
}

void Encoder::FlushBlock() {
    if (pending_.empty()) return;
    WriteBlock(0, pending_.size());
    pending_.clear();
    pendingStats_ = Stats{};
    pendingBits_ = 0;
}

void Encoder::WriteBlock(std::size_t first, std::size_t last) {
    Stats st;
    std::uint32_t size = 0;
    for (std::size_t f = first; f < last; ++f) {
        st.Add(pending_[f].stats);
        size += pending_[f].size;
    }
    std::vector<std::uint32_t> mf = ToVector(st.main, mainSize_);
    std::vector<std::uint32_t> lf = ToVector(st.length, LengthTreeSize);
    std::vector<std::uint32_t> af = ToVector(st.aligned, AlignedTreeSize);
    std::vector<std::uint8_t> ml = BuildLengths(mf, MainMaxCodeLen);
    std::vector<std::uint8_t> ll = BuildLengths(lf, LengthMaxCodeLen);
    std::vector<std::uint8_t> al = BuildLengths(af, AlignedMaxCodeLen);
    if (std::all_of(al.begin(), al.end(), [](std::uint8_t l) { return l == 0; }))
        std::fill(al.begin(), al.end(), 3);
    const std::uint64_t common = CodedBits(mf, ml) + CodedBits(lf, ll);
    const std::uint64_t verbatimBits = common + st.extraBits;
    const std::uint64_t alignedBits =
        common + st.extraBits - st.alignableBits + CodedBits(af, al) + 24;
    const bool aligned = alignedBits < verbatimBits;

    // A frame may not grow past what readers accept; split the block when one
    // would (only possible when one frame differs wildly from the rest).
    if (last - first > 1) {
        for (std::size_t f = first; f < last; ++f) {
            const Stats& fs = pending_[f].stats;
            // The first frame also carries the block header and the trees
            // (a few hundred bytes; 3 KiB is more than they can take).
            const std::uint64_t header = f == first ? 3 * 8192 : 64;
            std::uint64_t bits = CodedBits(ToVector(fs.main, mainSize_), ml) +
                                 CodedBits(ToVector(fs.length, LengthTreeSize), ll) + fs.extraBits +
                                 header;
            if (bits > MaxPayloadBits) {
                for (std::size_t g = first; g < last; ++g)
                    WriteBlock(g, g + 1);
                return;
            }
        }
    }

    WriteStreamHeaderIfFirst();
    out_.Put(aligned ? Aligned : Verbatim, 3);
    out_.Put(size >> 8, 16);
    out_.Put(size & 0xFF, 8);
    if (aligned)
        for (int s = 0; s < AlignedTreeSize; ++s)
            out_.Put(al[s], 3);
    WriteTree(ml.data(), prevMain_.data(), NumChars);
    WriteTree(ml.data() + NumChars, prevMain_.data() + NumChars, mainSize_ - NumChars);
    WriteTree(ll.data(), prevLength_.data(), LengthTreeSize);

    const std::vector<std::uint32_t> mc = CanonicalCodes(ml);
    const std::vector<std::uint32_t> lc = CanonicalCodes(ll);
    const std::vector<std::uint32_t> ac = CanonicalCodes(al);
    for (std::size_t f = first; f < last; ++f) {
        for (const Token& t : pending_[f].tokens) {
            out_.Put(mc[t.mainSym], ml[t.mainSym]);
            if (t.mainSym < NumChars) continue;
            if (t.lenSym != NoLength) out_.Put(lc[t.lenSym], ll[t.lenSym]);
            const int slot = (t.mainSym - NumChars) >> 3;
            const int e = Slots.extra[slot];
            if (slot < 3 || e == 0) continue;
            if (aligned && e >= 3) {
                out_.Put(t.extra >> 3, e - 3);
                out_.Put(ac[t.extra & 7], al[t.extra & 7]);
            } else {
                out_.Put(t.extra, e);
            }
        }
        FinishPayload(pending_[f].size);
    }
}

} // namespace lzx
