#include "platform/codec/Deflate.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The parse, the block ends and the Huffman trees follow zlib 1.2.13's deflate.c and trees.c
// (Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler, zlib licence) step for step, so
// that the bytes are the same; where the work is done differently, a comment says why the
// outcome is the same.

namespace plotwick::gdi {

namespace {

constexpr unsigned kWSize = 1u << 15;  // the window of 15 bits
constexpr unsigned kWMask = kWSize - 1;
constexpr unsigned kWindowSize = 2 * kWSize;
constexpr unsigned kHashSize = 1u << 15;  // memory level 8: 15 bits of hash
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 258;
constexpr unsigned kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr unsigned kMaxDist = kWSize - kMinLookahead;
// Level 6.
constexpr unsigned kGoodMatch = 8;
constexpr unsigned kMaxLazy = 16;
constexpr unsigned kNiceMatch = 128;
constexpr unsigned kMaxChain = 128;
// With the default strategy a match of 3 bytes farther back than this is not used.
constexpr unsigned kTooFar = 4096;
// A block ends when its symbol buffer, of 2^14 - 1 symbols at memory level 8, is full.
constexpr unsigned kBlockSymbols = (1u << 14) - 1;
// Room past the window for reading whole words near its end.
constexpr unsigned kWindowPadding = 16;

constexpr int kLiterals = 256;
constexpr int kLengthCodes = 29;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes;
constexpr int kDCodes = 30;
constexpr int kBLCodes = 19;
constexpr int kHeapSize = 2 * kLCodes + 1;
constexpr int kMaxBits = 15;
constexpr int kMaxBLBits = 7;
constexpr int kEndBlock = 256;
constexpr int kRep3To6 = 16;
constexpr int kRepZero3To10 = 17;
constexpr int kRepZero11To138 = 18;

constexpr std::array<int, kLengthCodes> kExtraLBits = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, kDCodes> kExtraDBits = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::array<int, kBLCodes> kExtraBLBits = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr std::array<std::uint8_t, kBLCodes> kBLOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

// A node of a Huffman tree. Like zlib's, each field holds two things in turn: the frequency
// while the tree is built and then the code; the parent while the tree is built and then the
// code's length. A parent's length is read where a child's is made, so the sharing matters.
struct Node {
    std::uint16_t freqCode = 0;
    std::uint16_t dadLen = 0;
};

unsigned ReverseBits(unsigned code, int length)
{
    unsigned reversed = 0;
    do {
        reversed |= code & 1;
        code >>= 1;
        reversed <<= 1;
    } while (--length > 0);
    return reversed >> 1;
}

// Codes for the lengths in tree[0..maxCode], counted by length in blCount.
void MakeCodes(Node* tree, int maxCode, const std::uint16_t* blCount)
{
    std::uint16_t next[kMaxBits + 1];
    unsigned code = 0;
    for (int bits = 1; bits <= kMaxBits; ++bits) {
        code = (code + blCount[bits - 1]) << 1;
        next[bits] = static_cast<std::uint16_t>(code);
    }
    for (int n = 0; n <= maxCode; ++n) {
        const int length = tree[n].dadLen;
        if (length != 0)
            tree[n].freqCode = static_cast<std::uint16_t>(ReverseBits(next[length]++, length));
    }
}

struct Tables {
    std::uint8_t lengthCode[256];  // match length - 3 to its length code
    std::uint8_t distCode[512];    // distance - 1 to its code: below 256 directly, else >> 7
    int baseLength[kLengthCodes];
    int baseDist[kDCodes];
    Node staticLTree[kLCodes + 2];
    Node staticDTree[kDCodes];

    Tables()
    {
        int length = 0, code = 0;
        for (; code < kLengthCodes - 1; ++code) {
            baseLength[code] = length;
            for (int n = 0; n < (1 << kExtraLBits[code]); ++n)
                lengthCode[length++] = static_cast<std::uint8_t>(code);
        }
        // Length 258 has a code of its own, 285, in place of 284 with all its extra bits set.
        lengthCode[length - 1] = static_cast<std::uint8_t>(code);
        baseLength[code] = 0;
        int dist = 0;
        for (code = 0; code < 16; ++code) {
            baseDist[code] = dist;
            for (int n = 0; n < (1 << kExtraDBits[code]); ++n)
                distCode[dist++] = static_cast<std::uint8_t>(code);
        }
        dist >>= 7;
        for (; code < kDCodes; ++code) {
            baseDist[code] = dist << 7;
            for (int n = 0; n < (1 << (kExtraDBits[code] - 7)); ++n)
                distCode[256 + dist++] = static_cast<std::uint8_t>(code);
        }
        std::uint16_t blCount[kMaxBits + 1] = {};
        int n = 0;
        for (; n <= 143; ++n, ++blCount[8])
            staticLTree[n].dadLen = 8;
        for (; n <= 255; ++n, ++blCount[9])
            staticLTree[n].dadLen = 9;
        for (; n <= 279; ++n, ++blCount[7])
            staticLTree[n].dadLen = 7;
        for (; n <= 287; ++n, ++blCount[8])
            staticLTree[n].dadLen = 8;
        MakeCodes(staticLTree, kLCodes + 1, blCount);
        for (n = 0; n < kDCodes; ++n) {
            staticDTree[n].dadLen = 5;
            staticDTree[n].freqCode = static_cast<std::uint16_t>(ReverseBits(static_cast<unsigned>(n), 5));
        }
    }

    unsigned DistCode(unsigned distMinus1) const
    {
        return distMinus1 < 256 ? distCode[distMinus1] : distCode[256 + (distMinus1 >> 7)];
    }
};

const Tables& TheTables()
{
    static const Tables tables;
    return tables;
}

// How a tree is built: its static counterpart (none for the bit-length tree), the extra bits of
// its codes from extraBase on, its number of codes and the longest code allowed.
struct TreeKind {
    const Node* staticTree;
    const int* extraBits;
    int extraBase;
    int elems;
    int maxLength;
};

inline std::uint16_t Load16(const std::uint8_t* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline std::uint64_t Load64(const std::uint8_t* p)
{
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// How many bytes from a and b on are the same, counted sixteen at a time up to 256 or more
// (the caller cuts it to the longest match).
inline unsigned CommonLength(const std::uint8_t* a, const std::uint8_t* b)
{
    unsigned length = 0;
#ifdef __SSE2__
    for (; length < kMaxMatch - 2; length += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + length));
        const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + length));
        const auto differ = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) ^ 0xffffu;
        if (differ != 0)
            return length + static_cast<unsigned>(__builtin_ctz(differ));
    }
#else
    for (; length < kMaxMatch - 2; length += 8) {
        const std::uint64_t differ = Load64(a + length) ^ Load64(b + length);
        if (differ != 0)
            return length + static_cast<unsigned>(__builtin_ctzll(differ)) / 8;
    }
#endif
    return length;
}

}  // namespace

std::uint32_t Adler32(std::uint32_t adler, const std::uint8_t* data, std::size_t n)
{
    constexpr std::uint32_t kBase = 65521;
    constexpr std::size_t kNMax = 5552;  // the most bytes before the sums must be reduced
    std::uint32_t a = adler & 0xffff, b = adler >> 16;
    while (n > 0) {
        std::size_t k = std::min(n, kNMax);
        n -= k;
#ifdef __SSE2__
        if (k >= 16) {
            // Per block of 16 bytes x0..x15: b += 16 a + 16 x0 + 15 x1 + ... + 1 x15, a += sum.
            const __m128i zero = _mm_setzero_si128();
            const __m128i weightsLo = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
            const __m128i weightsHi = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
            __m128i sums = zero, prefix = zero, weighted = zero;
            const std::size_t blocks = k / 16;
            for (std::size_t i = 0; i < blocks; ++i) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
                prefix = _mm_add_epi32(prefix, sums);
                sums = _mm_add_epi32(sums, _mm_sad_epu8(x, zero));
                weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(x, zero), weightsLo));
                weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(x, zero), weightsHi));
                data += 16;
            }
            const auto total = [](__m128i v) {
                v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4e));
                v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0xb1));
                return static_cast<std::uint32_t>(_mm_cvtsi128_si32(v));
            };
            b += static_cast<std::uint32_t>(blocks) * 16 * a + 16 * total(prefix) + total(weighted);
            a += total(sums);
            k -= blocks * 16;
        }
#endif
        for (; k > 0; --k) {
            a += *data++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return (b << 16) | a;
}

struct Deflater::State {
    State(std::vector<std::uint8_t>& output, DeflateStrategy strategy)
        : out(output), filtered(strategy == DeflateStrategy::Filtered)
    {
    }

    std::vector<std::uint8_t>& out;
    const bool filtered;
    const Tables& tables = TheTables();

    // The window, its hash chains (positions in the window, 0 for none) and the parse. Only
    // the heads start cleared: a small image touches no more memory than it needs. zlib's
    // chains link the strings of one hash of three bytes; each string's rank is one more than
    // its predecessor's there, so that the ranks of two strings on a chain tell how far apart
    // they are on it. The strings of one hash of four bytes are linked too (head4, prev4).
    std::unique_ptr<std::uint8_t[]> window = std::make_unique_for_overwrite<std::uint8_t[]>(kWindowSize + kWindowPadding);
    std::unique_ptr<std::uint16_t[]> prev = std::make_unique_for_overwrite<std::uint16_t[]>(kWSize);
    std::unique_ptr<std::uint16_t[]> head = std::make_unique<std::uint16_t[]>(kHashSize);
    std::unique_ptr<std::uint16_t[]> rank = std::make_unique_for_overwrite<std::uint16_t[]>(kWSize);
    std::unique_ptr<std::uint16_t[]> prev4 = std::make_unique_for_overwrite<std::uint16_t[]>(kWSize);
    std::unique_ptr<std::uint16_t[]> head4 = std::make_unique<std::uint16_t[]>(kHashSize);
    unsigned highWater = 0;  // the window is written below this
    unsigned strstart = 0;
    unsigned lookahead = 0;
    unsigned matchStart = 0;
    unsigned prevMatch = 0;
    unsigned matchLength = kMinMatch - 1;
    unsigned prevLength = kMinMatch - 1;
    bool matchAvailable = false;
    long blockStart = 0;  // below 0 once the block's start has slid out of the window
    std::uint32_t adler = 1;
    const std::uint8_t* nextIn = nullptr;
    std::size_t availIn = 0;

    // The block: its symbols (distance's two bytes, then a literal or a length - 3) and trees.
    std::unique_ptr<std::uint8_t[]> symbols = std::make_unique_for_overwrite<std::uint8_t[]>(kBlockSymbols * 3);
    unsigned symbolBytes = 0;
    Node dynLTree[kHeapSize];
    Node dynDTree[2 * kDCodes + 1];
    Node blTree[2 * kBLCodes + 1];
    std::uint16_t blCount[kMaxBits + 1] = {};
    int heap[2 * kLCodes + 1] = {};
    int heapLen = 0, heapMax = 0;
    std::uint8_t depth[2 * kLCodes + 1] = {};
    unsigned long optLen = 0, staticLen = 0;

    // Bits not yet in out, the first sent in the lowest bit.
    std::uint64_t bitBuffer = 0;
    int bitCount = 0;

    void InitBlock()
    {
        for (int n = 0; n < kLCodes; ++n)
            dynLTree[n].freqCode = 0;
        for (int n = 0; n < kDCodes; ++n)
            dynDTree[n].freqCode = 0;
        for (int n = 0; n < kBLCodes; ++n)
            blTree[n].freqCode = 0;
        dynLTree[kEndBlock].freqCode = 1;
        optLen = staticLen = 0;
        symbolBytes = 0;
    }

    // ---- The parse --------------------------------------------------------------------------

    // The hash of the three bytes at p. zlib keeps it rolling, a byte at a time; as it shifts by
    // five bits and keeps fifteen, it is always this function of the last three bytes.
    unsigned Hash(unsigned p) const
    {
        const std::uint8_t* s = window.get() + p;
        return ((unsigned{s[0]} << 10) ^ (unsigned{s[1]} << 5) ^ s[2]) & (kHashSize - 1);
    }

    // The hash of the four bytes at p, for the chains of strings that share them.
    unsigned Hash4(unsigned p) const
    {
        std::uint32_t v;
        std::memcpy(&v, window.get() + p, sizeof v);
        return (v * 0x9E3779B1u) >> 17;
    }

    // The string at p follows `previous` (0: none) on its chain: its link, its rank, and its
    // place at the head of the chain of its four bytes.
    void Link(unsigned p, unsigned previous)
    {
        prev[p & kWMask] = static_cast<std::uint16_t>(previous);
        rank[p & kWMask] = previous != 0 ? static_cast<std::uint16_t>(rank[previous & kWMask] + 1) : 0;
        const unsigned h4 = Hash4(p);
        prev4[p & kWMask] = head4[h4];
        head4[h4] = static_cast<std::uint16_t>(p);
    }

    // Puts the string at p at the head of its chain; the chain's previous head.
    unsigned Insert(unsigned p)
    {
        const unsigned h = Hash(p);
        const unsigned previous = head[h];
        Link(p, previous);
        head[h] = static_cast<std::uint16_t>(p);
        return previous;
    }

    // Inserts the strings at from..to in order. Along a run of one hash (a run of one byte)
    // each string's predecessor is the string before it, so the head is written once the run
    // ends instead of being read back for every string.
    void InsertRange(unsigned from, unsigned to)
    {
        if (from > to)
            return;
        unsigned runHash = Hash(from);
        Link(from, head[runHash]);
        for (unsigned p = from + 1; p <= to; ++p) {
#ifdef __SSE2__
            // Within a run of one byte from p - 1 to p + 10, the strings at p..p + 7 have the
            // hashes (of three and of four bytes) of p - 1 and each follows the one before on
            // both chains: eight links and ranks at once.
            const std::uint8_t* w = window.get();
            const std::uint64_t run = w[p - 1] * 0x0101010101010101ull;
            while (p + 7 <= to && (p & kWMask) <= kWSize - 8 && Load64(w + p - 1) == run && Load64(w + p + 3) == run) {
                const __m128i steps = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
                const __m128i links = _mm_add_epi16(_mm_set1_epi16(static_cast<short>(p - 1)), steps);
                const __m128i ranks = _mm_add_epi16(_mm_set1_epi16(static_cast<short>(rank[(p - 1) & kWMask] + 1)), steps);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(prev.get() + (p & kWMask)), links);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(prev4.get() + (p & kWMask)), links);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(rank.get() + (p & kWMask)), ranks);
                head4[Hash4(p)] = static_cast<std::uint16_t>(p + 7);
                p += 8;
            }
            if (p > to)
                break;
#endif
            const unsigned h = Hash(p);
            if (h != runHash) {
                head[runHash] = static_cast<std::uint16_t>(p - 1);
                runHash = h;
                Link(p, head[h]);
            } else {
                Link(p, p - 1);
            }
        }
        head[runHash] = static_cast<std::uint16_t>(to);
    }

    // The longest match at strstart along the chain from cur, longer than prevLength; sets
    // matchStart. zlib compares up to 258 bytes whatever the lookahead and cuts the result to
    // the lookahead at the end, and it stops at the first match of nice length, which it cuts
    // to the lookahead too; a match reaching past the lookahead is of nice length, so cutting
    // each comparison at the lookahead chooses the same match. Bytes past the lookahead are
    // never compared: only the last matches of the stream reach them.
    //
    // zlib visits the chain's strings in turn, at most `chain` of them and none farther back
    // than the window allows, and takes each that is longer than the best so far. Once the
    // best is 3 bytes, only a string sharing four bytes with this one can be longer: those are
    // visited along their own chain, in the same order, each where zlib's chain has it (the
    // difference of the ranks), so the same string is taken. Before that, zlib's chain is
    // walked to its first string sharing three bytes.
    unsigned LongestMatch(unsigned cur)
    {
        if (prevLength >= lookahead)
            return lookahead;  // no match here can be used: the previous one is at least as long
        const unsigned chain = prevLength >= kGoodMatch ? kMaxChain >> 2 : kMaxChain;
        const unsigned nice = std::min(kNiceMatch, lookahead);
        const unsigned most = std::min(kMaxMatch, lookahead);
        const unsigned limit = strstart > kMaxDist ? strstart - kMaxDist : 0;
        const std::uint8_t* w = window.get();
        const std::uint8_t* scan = w + strstart;
        const unsigned first = cur;
        unsigned best = prevLength;
        if (best < kMinMatch) {
            for (unsigned visited = 1;; ++visited) {
                const std::uint8_t* match = w + cur;
                if (match[0] == scan[0] && match[1] == scan[1] && match[2] == scan[2]) {
                    matchStart = cur;
                    best = std::min(2 + CommonLength(scan + 2, match + 2), most);
                    break;
                }
                if ((cur = prev[cur & kWMask]) <= limit || visited == chain)
                    return std::min(best, lookahead);
            }
            if (best >= nice || best >= most)
                return std::min(best, lookahead);
        }
        std::uint32_t scan4;
        std::memcpy(&scan4, scan, sizeof scan4);
        const std::uint16_t firstRank = rank[first & kWMask];
        for (unsigned q = prev4[strstart & kWMask]; q != 0; q = prev4[q & kWMask]) {
            if (q <= limit && q != first)
                break;
            std::uint32_t bytes;
            std::memcpy(&bytes, w + q, sizeof bytes);
            if (bytes != scan4)
                continue;  // another four bytes of the same hash
            if (static_cast<std::uint16_t>(firstRank - rank[q & kWMask]) >= chain)
                break;
            const unsigned length = std::min(2 + CommonLength(scan + 2, w + q + 2), most);
            if (length > best) {
                matchStart = q;
                best = length;
                if (length >= nice)
                    break;
            }
        }
        return std::min(best, lookahead);
    }

    // Both tables hold positions in the window; an entry that slides out of it becomes 0.
    void SlideHash()
    {
        static_assert(kHashSize == kWSize, "the heads and the links are slid alike");
        const std::initializer_list<std::uint16_t*> slid = {head.get(), prev.get(), head4.get(), prev4.get()};
#ifdef __SSE2__
        // m >= 32768 ? m - 32768 : 0 is a saturating subtraction.
        const __m128i w = _mm_set1_epi16(static_cast<short>(kWSize));
        for (std::uint16_t* table : slid) {
            auto* p = reinterpret_cast<__m128i*>(table);
            for (unsigned i = 0; i < kWSize / 8; ++i)
                _mm_storeu_si128(p + i, _mm_subs_epu16(_mm_loadu_si128(p + i), w));
        }
#else
        for (std::uint16_t* table : slid)
            for (unsigned i = 0; i < kWSize; ++i)
                table[i] = static_cast<std::uint16_t>(table[i] >= kWSize ? table[i] - kWSize : 0);
#endif
    }

    // Reads input into the window until there is enough lookahead or no more input, sliding
    // the upper half of the window down once the position is far enough into it.
    void FillWindow()
    {
        do {
            unsigned more = kWindowSize - lookahead - strstart;
            if (strstart >= kWSize + kMaxDist) {
                std::memcpy(window.get(), window.get() + kWSize, kWSize - more);
                matchStart -= kWSize;
                strstart -= kWSize;
                blockStart -= static_cast<long>(kWSize);
                SlideHash();
                more += kWSize;
            }
            if (availIn == 0)
                break;
            const unsigned n = static_cast<unsigned>(std::min<std::size_t>(availIn, more));
            std::memcpy(window.get() + strstart + lookahead, nextIn, n);
            adler = Adler32(adler, nextIn, n);
            nextIn += n;
            availIn -= n;
            lookahead += n;
        } while (lookahead < kMinLookahead && availIn != 0);
        // Comparisons read whole words a little past the input, and never use what they read
        // there; it is cleared once, as zlib clears it, so that what is read is never unwritten.
        const unsigned end = strstart + lookahead;
        const unsigned reach = std::min(end + kMaxMatch + kWindowPadding, kWindowSize + kWindowPadding);
        if (highWater < reach) {
            const unsigned from = std::max(highWater, end);
            std::memset(window.get() + from, 0, reach - from);
            highWater = reach;
        }
    }

    bool TallyLiteral(std::uint8_t c)
    {
        std::uint8_t* s = symbols.get() + symbolBytes;
        s[0] = 0;
        s[1] = 0;
        s[2] = c;
        symbolBytes += 3;
        ++dynLTree[c].freqCode;
        return symbolBytes == kBlockSymbols * 3;
    }

    bool TallyMatch(unsigned distance, unsigned lengthMinus3)
    {
        std::uint8_t* s = symbols.get() + symbolBytes;
        s[0] = static_cast<std::uint8_t>(distance);
        s[1] = static_cast<std::uint8_t>(distance >> 8);
        s[2] = static_cast<std::uint8_t>(lengthMinus3);
        symbolBytes += 3;
        ++dynLTree[tables.lengthCode[lengthMinus3] + kLiterals + 1].freqCode;
        ++dynDTree[tables.DistCode(distance - 1)].freqCode;
        return symbolBytes == kBlockSymbols * 3;
    }

    void FlushBlock(bool last)
    {
        FlushBlock(blockStart >= 0 ? window.get() + blockStart : nullptr,
                   static_cast<unsigned long>(static_cast<long>(strstart) - blockStart), last);
        blockStart = strstart;
    }

    // zlib's lazy matching: a match found at one position is kept only when the match at the
    // next position is not longer. With the filtered-data strategy, matches of 5 bytes or
    // fewer are not used; with the default one, a 3-byte match farther back than kTooFar is
    // not (matchStart may be an earlier position's when no longer match was found, as in
    // zlib). Returns when the input is used up (the window's lookahead below what
    // a match needs) unless finishing.
    void Parse(bool finish)
    {
        for (;;) {
            if (lookahead < kMinLookahead) {
                FillWindow();
                if (lookahead < kMinLookahead && !finish)
                    return;
                if (lookahead == 0)
                    break;
            }
            unsigned hashHead = 0;
            if (lookahead >= kMinMatch)
                hashHead = Insert(strstart);
            prevLength = matchLength;
            prevMatch = matchStart;
            matchLength = kMinMatch - 1;
            if (hashHead != 0 && prevLength < kMaxLazy && strstart - hashHead <= kMaxDist) {
                matchLength = LongestMatch(hashHead);
                if (matchLength <= 5 &&
                    (filtered || (matchLength == kMinMatch && strstart - matchStart > kTooFar)))
                    matchLength = kMinMatch - 1;
            }
            if (prevLength >= kMinMatch && matchLength <= prevLength) {
                const unsigned maxInsert = strstart + lookahead - kMinMatch;
                const bool full = TallyMatch(strstart - 1 - prevMatch, prevLength - kMinMatch);
                lookahead -= prevLength - 1;
                // strstart - 1 and strstart are in the chains; the rest of the match goes in,
                // except the last two strings of the input.
                const unsigned last = strstart + prevLength - 2;
                InsertRange(strstart + 1, std::min(last, maxInsert));
                strstart = last + 1;
                matchAvailable = false;
                matchLength = kMinMatch - 1;
                if (full)
                    FlushBlock(false);
            } else if (matchAvailable) {
                if (TallyLiteral(window[strstart - 1]))
                    FlushBlock(false);
                ++strstart;
                --lookahead;
            } else {
                matchAvailable = true;
                ++strstart;
                --lookahead;
            }
        }
        if (matchAvailable) {
            TallyLiteral(window[strstart - 1]);
            matchAvailable = false;
        }
        FlushBlock(true);
    }

    // ---- Bits -------------------------------------------------------------------------------

    // A block's bytes before they go to out: every symbol takes at most 48 bits, the trees
    // less than 2 KB. Only the pages a block fills are ever touched.
    std::unique_ptr<std::uint8_t[]> blockBytes =
        std::make_unique_for_overwrite<std::uint8_t[]>(std::size_t{kBlockSymbols} * 6 + 2048);
    std::uint8_t* cursor = blockBytes.get();

    void Drain()
    {
        out.insert(out.end(), blockBytes.get(), cursor);
        cursor = blockBytes.get();
    }

    void SendBits(unsigned value, int length)
    {
        bitBuffer |= std::uint64_t{value} << bitCount;
        bitCount += length;
        if (bitCount >= 32) {
            const auto word = static_cast<std::uint32_t>(bitBuffer);
            cursor[0] = static_cast<std::uint8_t>(word);
            cursor[1] = static_cast<std::uint8_t>(word >> 8);
            cursor[2] = static_cast<std::uint8_t>(word >> 16);
            cursor[3] = static_cast<std::uint8_t>(word >> 24);
            cursor += 4;
            bitBuffer >>= 32;
            bitCount -= 32;
        }
    }
    void SendCode(int c, const Node* tree) { SendBits(tree[c].freqCode, tree[c].dadLen); }

    // The bits so far, the last byte filled up with zeros.
    void WindUp()
    {
        for (; bitCount > 0; bitCount -= 8) {
            *cursor++ = static_cast<std::uint8_t>(bitBuffer);
            bitBuffer >>= 8;
        }
        bitBuffer = 0;
        bitCount = 0;
    }

    // ---- Trees ------------------------------------------------------------------------------

    static bool Smaller(const Node* tree, int n, int m, const std::uint8_t* depth)
    {
        return tree[n].freqCode < tree[m].freqCode || (tree[n].freqCode == tree[m].freqCode && depth[n] <= depth[m]);
    }

    void DownHeap(const Node* tree, int k)
    {
        const int v = heap[k];
        int j = k << 1;
        while (j <= heapLen) {
            if (j < heapLen && Smaller(tree, heap[j + 1], heap[j], depth))
                ++j;
            if (Smaller(tree, v, heap[j], depth))
                break;
            heap[k] = heap[j];
            k = j;
            j <<= 1;
        }
        heap[k] = v;
    }

    // The code lengths of the tree whose nodes heap[heapMax..] holds by increasing frequency,
    // no longer than kind.maxLength; adds the block's length in bits to optLen and staticLen.
    void MakeBitLengths(Node* tree, int maxCode, const TreeKind& kind)
    {
        int overflow = 0;
        for (int bits = 0; bits <= kMaxBits; ++bits)
            blCount[bits] = 0;
        tree[heap[heapMax]].dadLen = 0;  // the root
        int h = heapMax + 1;
        for (; h < kHeapSize; ++h) {
            const int n = heap[h];
            int bits = tree[tree[n].dadLen].dadLen + 1;
            if (bits > kind.maxLength) {
                bits = kind.maxLength;
                ++overflow;
            }
            tree[n].dadLen = static_cast<std::uint16_t>(bits);
            if (n > maxCode)
                continue;  // not a leaf
            ++blCount[bits];
            const int extra = n >= kind.extraBase ? kind.extraBits[n - kind.extraBase] : 0;
            const unsigned long f = tree[n].freqCode;
            optLen += f * static_cast<unsigned>(bits + extra);
            if (kind.staticTree)
                staticLen += f * static_cast<unsigned>(kind.staticTree[n].dadLen + extra);
        }
        if (overflow == 0)
            return;
        // Too long codes: move leaves down from the deepest level that can take them.
        do {
            int bits = kind.maxLength - 1;
            while (blCount[bits] == 0)
                --bits;
            --blCount[bits];
            blCount[bits + 1] += 2;
            --blCount[kind.maxLength];
            overflow -= 2;
        } while (overflow > 0);
        for (int bits = kind.maxLength; bits != 0; --bits) {
            int n = blCount[bits];
            while (n != 0) {
                const int m = heap[--h];
                if (m > maxCode)
                    continue;
                if (tree[m].dadLen != static_cast<unsigned>(bits)) {
                    optLen += (static_cast<unsigned long>(bits) - tree[m].dadLen) * tree[m].freqCode;
                    tree[m].dadLen = static_cast<std::uint16_t>(bits);
                }
                --n;
            }
        }
    }

    // Builds the Huffman tree of the frequencies in tree; its largest code in use.
    int BuildTree(Node* tree, const TreeKind& kind)
    {
        int maxCode = -1;
        heapLen = 0;
        heapMax = kHeapSize;
        for (int n = 0; n < kind.elems; ++n) {
            if (tree[n].freqCode != 0) {
                heap[++heapLen] = maxCode = n;
                depth[n] = 0;
            } else {
                tree[n].dadLen = 0;
            }
        }
        // At least two codes, so that a code has at least one bit.
        while (heapLen < 2) {
            const int node = heap[++heapLen] = maxCode < 2 ? ++maxCode : 0;
            tree[node].freqCode = 1;
            depth[node] = 0;
            --optLen;
            if (kind.staticTree)
                staticLen -= kind.staticTree[node].dadLen;
        }
        for (int n = heapLen / 2; n >= 1; --n)
            DownHeap(tree, n);
        int node = kind.elems;
        do {
            const int n = heap[1];
            heap[1] = heap[heapLen--];
            DownHeap(tree, 1);
            const int m = heap[1];
            heap[--heapMax] = n;
            heap[--heapMax] = m;
            tree[node].freqCode = static_cast<std::uint16_t>(tree[n].freqCode + tree[m].freqCode);
            depth[node] = static_cast<std::uint8_t>(std::max(depth[n], depth[m]) + 1);
            tree[n].dadLen = tree[m].dadLen = static_cast<std::uint16_t>(node);
            heap[1] = node++;
            DownHeap(tree, 1);
        } while (heapLen >= 2);
        heap[--heapMax] = heap[1];
        MakeBitLengths(tree, maxCode, kind);
        MakeCodes(tree, maxCode, blCount);
        return maxCode;
    }

    // Counts (scan) or sends a tree's code lengths as runs, in the bit-length code.
    template <bool kSend>
    void RunsOfLengths(Node* tree, int maxCode)
    {
        int prevLen = -1, nextLen = tree[0].dadLen, count = 0, maxCount = 7, minCount = 4;
        if (nextLen == 0) {
            maxCount = 138;
            minCount = 3;
        }
        if (!kSend)
            tree[maxCode + 1].dadLen = 0xffff;  // a guard
        for (int n = 0; n <= maxCode; ++n) {
            const int curLen = nextLen;
            nextLen = tree[n + 1].dadLen;
            if (++count < maxCount && curLen == nextLen)
                continue;
            if (count < minCount) {
                if (kSend) {
                    do
                        SendCode(curLen, blTree);
                    while (--count != 0);
                } else {
                    blTree[curLen].freqCode = static_cast<std::uint16_t>(blTree[curLen].freqCode + count);
                }
            } else if (curLen != 0) {
                if (curLen != prevLen) {
                    if (kSend) {
                        SendCode(curLen, blTree);
                        --count;
                    } else {
                        ++blTree[curLen].freqCode;
                    }
                }
                if (kSend) {
                    SendCode(kRep3To6, blTree);
                    SendBits(static_cast<unsigned>(count - 3), 2);
                } else {
                    ++blTree[kRep3To6].freqCode;
                }
            } else if (count <= 10) {
                if (kSend) {
                    SendCode(kRepZero3To10, blTree);
                    SendBits(static_cast<unsigned>(count - 3), 3);
                } else {
                    ++blTree[kRepZero3To10].freqCode;
                }
            } else {
                if (kSend) {
                    SendCode(kRepZero11To138, blTree);
                    SendBits(static_cast<unsigned>(count - 11), 7);
                } else {
                    ++blTree[kRepZero11To138].freqCode;
                }
            }
            count = 0;
            prevLen = curLen;
            if (nextLen == 0) {
                maxCount = 138;
                minCount = 3;
            } else if (curLen == nextLen) {
                maxCount = 6;
                minCount = 3;
            } else {
                maxCount = 7;
                minCount = 4;
            }
        }
    }

    void CompressBlock(const Node* ltree, const Node* dtree)
    {
        const std::uint8_t* s = symbols.get();
        for (unsigned i = 0; i < symbolBytes; i += 3) {
            unsigned dist = s[i] | (unsigned{s[i + 1]} << 8);
            int lc = s[i + 2];
            if (dist == 0) {
                SendCode(lc, ltree);
                continue;
            }
            unsigned code = tables.lengthCode[lc];
            SendCode(static_cast<int>(code) + kLiterals + 1, ltree);
            if (const int extra = kExtraLBits[code]; extra != 0)
                SendBits(static_cast<unsigned>(lc - tables.baseLength[code]), extra);
            --dist;
            code = tables.DistCode(dist);
            SendCode(static_cast<int>(code), dtree);
            if (const int extra = kExtraDBits[code]; extra != 0)
                SendBits(dist - static_cast<unsigned>(tables.baseDist[code]), extra);
        }
        SendCode(kEndBlock, ltree);
    }

    // Ends the block as stored, with the fixed codes or with its own trees, whichever is
    // shortest (stored only while its bytes are still in the window).
    void FlushBlock(const std::uint8_t* stored, unsigned long storedLength, bool last)
    {
        static const TreeKind lKind{TheTables().staticLTree, kExtraLBits.data(), kLiterals + 1, kLCodes, kMaxBits};
        static const TreeKind dKind{TheTables().staticDTree, kExtraDBits.data(), 0, kDCodes, kMaxBits};
        static const TreeKind blKind{nullptr, kExtraBLBits.data(), 0, kBLCodes, kMaxBLBits};
        const int lMaxCode = BuildTree(dynLTree, lKind);
        const int dMaxCode = BuildTree(dynDTree, dKind);
        RunsOfLengths<false>(dynLTree, lMaxCode);
        RunsOfLengths<false>(dynDTree, dMaxCode);
        BuildTree(blTree, blKind);
        int maxBLIndex = kBLCodes - 1;
        for (; maxBLIndex >= 3; --maxBLIndex)
            if (blTree[kBLOrder[maxBLIndex]].dadLen != 0)
                break;
        optLen += 3 * (static_cast<unsigned long>(maxBLIndex) + 1) + 5 + 5 + 4;
        unsigned long optBytes = (optLen + 3 + 7) >> 3;
        const unsigned long staticBytes = (staticLen + 3 + 7) >> 3;
        if (staticBytes <= optBytes)
            optBytes = staticBytes;

        if (storedLength + 4 <= optBytes && stored != nullptr) {
            SendBits(last ? 1u : 0u, 3);
            WindUp();
            const auto n = static_cast<std::uint16_t>(storedLength);
            const std::uint8_t lengths[4] = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                                             static_cast<std::uint8_t>(~n), static_cast<std::uint8_t>(~n >> 8)};
            std::memcpy(cursor, lengths, 4);
            cursor += 4;
            Drain();
            out.insert(out.end(), stored, stored + storedLength);
        } else if (staticBytes == optBytes) {
            SendBits((1u << 1) + (last ? 1 : 0), 3);
            CompressBlock(tables.staticLTree, tables.staticDTree);
        } else {
            SendBits((2u << 1) + (last ? 1 : 0), 3);
            SendBits(static_cast<unsigned>(lMaxCode + 1 - 257), 5);
            SendBits(static_cast<unsigned>(dMaxCode + 1 - 1), 5);
            SendBits(static_cast<unsigned>(maxBLIndex + 1 - 4), 4);
            for (int rank = 0; rank <= maxBLIndex; ++rank)
                SendBits(blTree[kBLOrder[rank]].dadLen, 3);
            RunsOfLengths<true>(dynLTree, lMaxCode);
            RunsOfLengths<true>(dynDTree, dMaxCode);
            CompressBlock(dynLTree, dynDTree);
        }
        InitBlock();
        if (last)
            WindUp();
        Drain();
    }
};

Deflater::Deflater(std::vector<std::uint8_t>& out, DeflateStrategy strategy)
    : state_(std::make_unique<State>(out, strategy))
{
    state_->InitBlock();
    // The zlib header: deflate with a 32 KiB window, the default level's flag, no dictionary.
    out.push_back(0x78);
    out.push_back(0x9c);
}

Deflater::~Deflater() = default;

void Deflater::Write(const std::uint8_t* data, std::size_t n)
{
    State& s = *state_;
    s.nextIn = data;
    s.availIn = n;
    if (s.availIn != 0 || s.lookahead != 0)
        s.Parse(false);
}

void Deflater::Finish()
{
    State& s = *state_;
    s.nextIn = nullptr;
    s.availIn = 0;
    s.Parse(true);
    const std::uint32_t adler = s.adler;
    const std::uint8_t trailer[4] = {static_cast<std::uint8_t>(adler >> 24), static_cast<std::uint8_t>(adler >> 16),
                                     static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)};
    s.out.insert(s.out.end(), trailer, trailer + 4);
}

std::uint32_t Deflater::Adler() const
{
    return state_->adler;
}

}  // namespace plotwick::gdi
