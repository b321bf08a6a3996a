#include "QuantumEncoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quantum {

namespace {

// log2(x) in 1/64 bits for the frequencies and totals a model can hold.
const std::array<std::uint32_t, 4096>& Log2Table() {
    static const std::array<std::uint32_t, 4096> table = [] {
        std::array<std::uint32_t, 4096> t{};
        for (std::size_t x = 1; x < t.size(); ++x)
            t[x] = static_cast<std::uint32_t>(std::lround(std::log2(static_cast<double>(x)) * 64));
        return t;
    }();
    return table;
}

// Room kept in the buffer beyond the window, so that it is moved down rarely.
constexpr std::uint32_t BufferSlack = 1u << 20;

} // namespace

Tuning LevelTuning(int level) {
    using P = Tuning::Parse;
    // Small hash tables keep the fast levels in the caches; the priced levels
    // search binary trees.
    switch (std::clamp(level, MinLevel, MaxLevel)) {
    case 1:
        return {P::Greedy, 1, 24, 14};
    case 2:
        return {P::Greedy, 2, 32, 16};
    case 3:
        return {P::Lazy, 4, 48, 16};
    case 4:
        return {P::Lazy, 12, 64, 18};
    case 5:
        return {P::Priced, 8, 64, 0, 1};
    case 6:
        return {P::Priced, 16, 128, 0, 1};
    default:
        return {P::Priced, 32, 128, 0, 2};
    }
}

Encoder::Encoder(int windowExponent, Tuning tuning)
    : w_(windowExponent), window_(1u << windowExponent),
      limit3_(std::min(window_, MaxOffsetLength3)), limit4_(std::min(window_, MaxOffsetLength4)),
      tuning_(tuning) {
    if (tuning_.parse == Tuning::Parse::Priced)
        tree_ = std::make_unique<TreeFinder>(windowExponent, limit3_);
    else
        chains_ = std::make_unique<MatchFinder>(windowExponent, limit3_, tuning_.hashBits);
    BeginFolder();
}

void Encoder::BeginFolder() {
    selector_.Init(0, SelectorCount);
    for (int s = 0; s < 4; ++s)
        literal_[s].Init(64 * s, 64);
    for (int i = 0; i < 3; ++i)
        position_[i].Init(0, PositionModelSize(SelectorLength3 + i, w_));
    length_.Init(0, LengthSlots);
    if (tree_) tree_->Reset();
    if (chains_) chains_->Reset();
    pos_ = 0;
    nextInsert_ = 0;
    shortSeen_ = false;
    buf_.clear();
    bufBase_ = 0;
}

std::uint32_t Encoder::MaxLengthAt(std::uint32_t pos, std::uint32_t end) const {
    std::uint32_t n = std::min(MaxMatch, end - pos);
    // libmspack's decoder fails on a match that runs across a multiple of a
    // window smaller than its 32 KiB frame, so such matches stop there.
    if (window_ < FrameSize) n = std::min(n, ((pos | (window_ - 1)) + 1) - pos);
    return n;
}

void Encoder::InsertRange(std::uint32_t from, std::uint32_t to, std::uint32_t end) {
    // A position is hashed on its next 4 bytes, and the trees order it by up
    // to nice of them: both must be there.
    const std::uint32_t ahead = tree_ ? std::max<std::uint32_t>(tuning_.nice, 4) : 4;
    to = std::min(to, end >= ahead ? end - ahead + 1 : 0);
    for (std::uint32_t p = std::max(from, nextInsert_); p < to; ++p) {
        if (tree_)
            tree_->Insert(At(p), p, end - p, tuning_.depth, tuning_.nice);
        else
            chains_->Insert(At(p), p);
    }
    nextInsert_ = std::max(nextInsert_, to);
}

bool Encoder::EncodeBlock(const std::uint8_t* data, std::size_t size,
                          std::vector<std::uint8_t>& payload) {
    if (shortSeen_ || size == 0 || size > FrameSize) return false;
    if (pos_ > 0x7FFFFFFFu - size) return false;
    if (size < FrameSize) shortSeen_ = true;

    // Keep the window behind the block, moving the buffer down now and then.
    const std::uint32_t used = static_cast<std::uint32_t>(buf_.size());
    if (used + size > window_ + BufferSlack && used > window_) {
        const std::uint32_t drop = used - window_;
        std::memmove(buf_.data(), buf_.data() + drop, window_);
        buf_.resize(window_);
        bufBase_ += drop;
    }
    buf_.insert(buf_.end(), data, data + size);

    const std::uint32_t start = pos_;
    const std::uint32_t end = start + static_cast<std::uint32_t>(size);
    // The last positions of the block before wait for these bytes.
    InsertRange(nextInsert_, start, end);

    coder_.Begin(std::move(spare_));
    RefreshPrices();
    if (tuning_.parse == Tuning::Parse::Priced)
        ParsePriced(start, end);
    else
        ParseGreedy(start, end, tuning_.parse == Tuning::Parse::Lazy);
    payload = coder_.Finish();
    pos_ = end;
    return payload.size() <= MaxPayload;
}

void Encoder::EncodeMatch(std::uint32_t length, std::uint32_t distance) {
    const std::uint32_t d = distance - 1;
    const int slot = PositionSlot(d);
    const std::uint32_t extra = d - PositionBase[slot];
    if (length == 3) {
        EncodeSymbol(selector_, SelectorLength3);
        EncodeSymbol(position_[0], slot);
    } else if (length == 4) {
        EncodeSymbol(selector_, SelectorLength4);
        EncodeSymbol(position_[1], slot);
    } else {
        EncodeSymbol(selector_, SelectorLong);
        const std::uint32_t l = length - 5;
        const int ls = LengthSlotOf[l];
        EncodeSymbol(length_, ls);
        coder_.Raw(l - LengthBase[ls], LengthExtra(ls));
        EncodeSymbol(position_[2], slot);
    }
    coder_.Raw(extra, PositionExtra(slot));
}

std::uint32_t Encoder::Price(const Model& m, int value) {
    const auto& log = Log2Table();
    return log[m.Total()] - log[m.Frequency(m.IndexOf(value))];
}

void Encoder::PricesOf(const Model& selector, const std::array<Model, 4>& literal,
                       const std::array<Model, 3>& position, const Model& length, Prices& out) {
    for (int s = 0; s < SelectorCount; ++s)
        out.selector[s] = Price(selector, s);
    for (int b = 0; b < 256; ++b)
        out.literal[b] = out.selector[b >> 6] + Price(literal[b >> 6], b);
    for (int i = 0; i < 3; ++i) {
        const Model& m = position[i];
        for (int s = 0; s < MaxPositionSlots; ++s)
            out.position[i][s] =
                s < m.Size() ? Price(m, s) + PositionExtra(s) * PriceScale : Infinite;
    }
    for (int l = 0; l < 255; ++l) {
        const int ls = LengthSlotOf[l];
        out.length[l] =
            out.selector[SelectorLong] + Price(length, ls) + LengthExtra(ls) * PriceScale;
    }
}

void Encoder::RefreshPrices() {
    PricesOf(selector_, literal_, position_, length_, prices_);
}

std::uint32_t Encoder::MatchPrice(std::uint32_t length, std::uint32_t distance) const {
    if (length == 3) return prices_.selector[SelectorLength3] + OffsetPrice(0, distance);
    if (length == 4) return prices_.selector[SelectorLength4] + OffsetPrice(1, distance);
    return prices_.length[length - 5] + OffsetPrice(2, distance);
}

Match Encoder::Choose(const Match* list, std::size_t n, std::uint32_t pos) const {
    for (std::size_t i = n; i-- > 0;) {
        const Match m = list[i];
        const std::uint32_t price = MatchPrice(m.length, m.distance);
        if (price >= Infinite) continue;
        if (m.length < 8) {
            // A short match must cost less than its bytes as literals.
            std::uint32_t literals = 0;
            const std::uint8_t* p = At(pos);
            for (std::uint32_t k = 0; k < m.length; ++k)
                literals += prices_.literal[p[k]];
            if (price >= literals) continue;
        }
        return m;
    }
    return {0, 0};
}

void Encoder::ParseGreedy(std::uint32_t start, std::uint32_t end, bool lazy) {
    std::uint32_t pos = start;
    std::uint32_t sinceRefresh = 0;
    // The match found at pos by the lazy look one byte ahead, if any.
    bool haveNext = false;
    Match next{0, 0};
    while (pos < end) {
        if (++sinceRefresh == 1024) {
            RefreshPrices();
            sinceRefresh = 0;
        }
        Match m{0, 0};
        if (haveNext) {
            m = next;
            haveNext = false;
        } else if (pos + 4 <= end) {
            matches_.clear();
            const std::size_t n = chains_->Find(At(pos), pos, MaxLengthAt(pos, end), tuning_.depth,
                                                tuning_.nice, matches_);
            nextInsert_ = pos + 1;
            m = Choose(matches_.data(), n, pos);
        }
        if (m.length != 0 && lazy && m.length < tuning_.nice && pos + 1 + 4 <= end) {
            matches_.clear();
            const std::uint32_t p1 = pos + 1;
            const std::size_t n = chains_->Find(At(p1), p1, MaxLengthAt(p1, end), tuning_.depth,
                                                tuning_.nice, matches_);
            nextInsert_ = p1 + 1;
            next = Choose(matches_.data(), n, p1);
            if (next.length > m.length) {
                EncodeLiteral(*At(pos));
                ++pos;
                haveNext = true;
                continue;
            }
            // The position after was searched already; the match covers it.
        }
        if (m.length == 0) {
            if (pos + 5 <= end) chains_->Prefetch(At(pos + 1));
            EncodeLiteral(*At(pos));
            ++pos;
            continue;
        }
        if (pos + m.length + 4 <= end) chains_->Prefetch(At(pos + m.length));
        EncodeMatch(m.length, m.distance);
        InsertRange(pos + 1, pos + m.length, end);
        pos += m.length;
    }
}

void Encoder::CheapestPath(std::uint32_t pos, std::uint32_t n) {
    // Per node: the cheapest cost found, and the step arriving there as
    // distance << 9 | length (a literal is length 1).
    cost_.assign(n + 1, Infinite);
    step_.resize(n + 1);
    std::uint32_t* cost = cost_.data();
    std::uint32_t* step = step_.data();
    cost[0] = 0;
    auto relax = [&](std::uint32_t at, std::uint32_t c, std::uint32_t s) {
        const bool better = c < cost[at];
        cost[at] = better ? c : cost[at];
        step[at] = better ? s : step[at];
    };
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t base = cost[i];
        relax(i + 1, base + prices_.literal[*At(pos + i)], 1);
        std::uint32_t from = 3;
        for (std::uint32_t e = matchStart_[i]; e < matchStart_[i + 1]; ++e) {
            const Match m = matches_[e];
            const std::uint32_t top = std::min(m.length, n - i);
            const std::uint32_t packed = m.distance << 9;
            if (from <= 3 && top >= 3) {
                const std::uint32_t c =
                    prices_.selector[SelectorLength3] + OffsetPrice(0, m.distance);
                if (c < Infinite) relax(i + 3, base + c, packed | 3);
            }
            if (from <= 4 && top >= 4) {
                const std::uint32_t c =
                    prices_.selector[SelectorLength4] + OffsetPrice(1, m.distance);
                if (c < Infinite) relax(i + 4, base + c, packed | 4);
            }
            const std::uint32_t offset = base + OffsetPrice(2, m.distance);
            const std::uint32_t* length = prices_.length.data() - 5;
            std::uint32_t* to = cost + i;
            std::uint32_t* toStep = step + i;
            std::uint32_t l = std::max(from, 5u);
#if defined(__SSE2__)
            // Four lengths at a time; every cost is below 2^30, so the signed
            // comparison is right.
            if (l + 3 <= top) {
                const __m128i off = _mm_set1_epi32(static_cast<int>(offset));
                __m128i steps = _mm_add_epi32(_mm_set1_epi32(static_cast<int>(packed | l)),
                                              _mm_setr_epi32(0, 1, 2, 3));
                for (; l + 3 <= top; l += 4) {
                    const __m128i c = _mm_add_epi32(
                        off, _mm_loadu_si128(reinterpret_cast<const __m128i*>(length + l)));
                    __m128i* costs = reinterpret_cast<__m128i*>(to + l);
                    __m128i* stepsAt = reinterpret_cast<__m128i*>(toStep + l);
                    const __m128i old = _mm_loadu_si128(costs);
                    const __m128i better = _mm_cmplt_epi32(c, old);
                    _mm_storeu_si128(costs, _mm_or_si128(_mm_and_si128(better, c),
                                                         _mm_andnot_si128(better, old)));
                    const __m128i oldStep = _mm_loadu_si128(stepsAt);
                    _mm_storeu_si128(stepsAt, _mm_or_si128(_mm_and_si128(better, steps),
                                                           _mm_andnot_si128(better, oldStep)));
                    steps = _mm_add_epi32(steps, _mm_set1_epi32(4));
                }
            }
#endif
            for (; l <= top; ++l) {
                const std::uint32_t c = offset + length[l];
                const bool better = c < to[l];
                to[l] = better ? c : to[l];
                toStep[l] = better ? (packed | l) : toStep[l];
            }
            from = m.length + 1;
        }
    }
    path_.clear();
    for (std::uint32_t i = n; i > 0;) {
        const std::uint32_t length = step[i] & 511;
        path_.push_back({length, step[i] >> 9});
        i -= length;
    }
}

void Encoder::PricesAlongPath(std::uint32_t pos) {
    Model selector = selector_;
    std::array<Model, 4> literal = literal_;
    std::array<Model, 3> position = position_;
    Model length = length_;
    auto count = [](Model& m, int value) { m.Update(m.IndexOf(value)); };
    std::uint32_t p = pos;
    for (std::size_t k = path_.size(); k-- > 0;) {
        const Match m = path_[k];
        if (m.length == 1) {
            const std::uint8_t b = *At(p);
            count(selector, b >> 6);
            count(literal[b >> 6], b);
        } else {
            const int slot = PositionSlot(m.distance - 1);
            if (m.length == 3) {
                count(selector, SelectorLength3);
                count(position[0], slot);
            } else if (m.length == 4) {
                count(selector, SelectorLength4);
                count(position[1], slot);
            } else {
                count(selector, SelectorLong);
                count(length, LengthSlotOf[m.length - 5]);
                count(position[2], slot);
            }
        }
        p += m.length;
    }
    PricesOf(selector, literal, position, length, after_);
    auto blend = [](auto& a, const auto& b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i] < Infinite) a[i] = (a[i] + 3 * b[i]) / 4;
    };
    blend(prices_.literal, after_.literal);
    blend(prices_.selector, after_.selector);
    for (int i = 0; i < 3; ++i)
        blend(prices_.position[i], after_.position[i]);
    blend(prices_.length, after_.length);
}

void Encoder::ParsePriced(std::uint32_t start, std::uint32_t end) {
    // The block is parsed in pieces. The matches of a piece are collected
    // first. At the thorough level a first path priced by the models as they
    // stand is counted in copies of the models, and the path taken is the
    // cheapest under prices three quarters of the way towards theirs, which
    // follow the models' drift across the piece. Coding the path updates the
    // models for the next piece.
    constexpr std::uint32_t Piece = 4096;
    std::uint32_t pos = start;
    while (pos < end) {
        RefreshPrices();
        const std::uint32_t n = std::min(Piece, end - pos);
        matches_.clear();
        matchStart_.assign(n + 1, 0);
        Match taken{0, 0}; // a long match that ends the piece early
        std::uint32_t stop = n;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t p = pos + i;
            matchStart_[i] = static_cast<std::uint32_t>(matches_.size());
            if (p + 4 > end) continue;
            const std::uint8_t* cur = At(p);
            if (p + 5 <= end) tree_->Prefetch(cur + 1);
            // Near the block's end the search leaves the trees as they are:
            // the bytes that order the position there are still to come.
            const bool insert = p + tuning_.nice <= end && nextInsert_ == p;
            const std::size_t count = tree_->Find(cur, p, end - p, MaxLengthAt(p, end),
                                                  tuning_.depth, tuning_.nice, insert, matches_);
            if (insert) nextInsert_ = p + 1;
            if (count != 0 && matches_.back().length >= tuning_.nice) {
                taken = matches_.back();
                matches_.resize(matches_.size() - count);
                stop = i;
                break;
            }
        }
        for (std::uint32_t i = stop; i <= n; ++i)
            matchStart_[i] = static_cast<std::uint32_t>(matches_.size());
        if (tuning_.passes > 1 && stop > 0) {
            CheapestPath(pos, stop);
            PricesAlongPath(pos);
        }
        CheapestPath(pos, stop);
        std::uint32_t p = pos;
        for (std::size_t k = path_.size(); k-- > 0;) {
            const Match m = path_[k];
            if (m.length == 1)
                EncodeLiteral(*At(p));
            else
                EncodeMatch(m.length, m.distance);
            p += m.length;
        }
        pos = p;
        if (taken.length != 0) {
            EncodeMatch(taken.length, taken.distance);
            InsertRange(pos + 1, pos + taken.length, end);
            pos += taken.length;
        }
    }
}

} // namespace quantum
