#include "platform/codec/PngWriter.h"

#include "platform/codec/Deflate.h"
#include "platform/codec/PngChunks.h"

#include "platform/files/Files.h"
#include "platform/threads/Processors.h"

#include <cairo.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace plotwick::gdi {

// The file is the one Cairo writes for an RGB24 image surface through libpng (IHDR with 8-bit
// RGB, a white bKGD, the image data, IEND), written here byte for byte. libpng chooses a filter
// for every row by trying all five and keeping the one whose bytes, taken as signed, have the
// smallest sum of magnitudes (the first of equal ones); that choice is made here in one pass
// over the row. The filtered rows are compressed as zlib compresses them with libpng's
// settings (Deflater, DeflateStrategy::Filtered).

namespace {

constexpr int kMaxSide = 32767;  // the largest image surface
constexpr std::uint8_t kColourTypeRgb = 2;
// The row filters, by the byte that names them in the file.
enum Filter { kFilterNone = 0, kFilterSub = 1, kFilterUp = 2, kFilterAverage = 3, kFilterPaeth = 4 };

std::string SizeText(const Bitmap24& bitmap)
{
    return std::to_string(bitmap.Width()) + " x " + std::to_string(bitmap.Height());
}

// The magnitude of a filtered byte taken as signed, as libpng sums it: 0..128.
inline unsigned Magnitude(int difference)
{
    const int v = static_cast<std::int8_t>(static_cast<std::uint8_t>(difference));
    return static_cast<unsigned>(v < 0 ? -v : v);
}

inline int PaethPredictor(int a, int b, int c)
{
    const int p = b - c, q = a - c;
    const int pa = p < 0 ? -p : p, pb = q < 0 ? -q : q, pc = p + q < 0 ? -(p + q) : p + q;
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

#ifdef __SSE2__
// Sum of the magnitudes of 16 filtered bytes d, added to the two 64-bit halves of sum:
// min(d, -d) as unsigned bytes is the magnitude, and a sum of absolute differences against
// zero adds them up.
inline __m128i AddMagnitudes(__m128i sum, __m128i d)
{
    const __m128i m = _mm_min_epu8(d, _mm_sub_epi8(_mm_setzero_si128(), d));
    return _mm_add_epi64(sum, _mm_sad_epu8(m, _mm_setzero_si128()));
}

inline unsigned Total(__m128i sum)
{
    return static_cast<unsigned>(_mm_cvtsi128_si32(sum) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sum, sum)));
}

// |v| of 16-bit lanes.
inline __m128i Abs16(__m128i v)
{
    const __m128i sign = _mm_srai_epi16(v, 15);
    return _mm_sub_epi16(_mm_xor_si128(v, sign), sign);
}

// The Paeth predictor of 8 pixels' bytes held in 16-bit lanes.
inline __m128i Paeth16(__m128i a, __m128i b, __m128i c)
{
    const __m128i p = _mm_sub_epi16(b, c), q = _mm_sub_epi16(a, c);
    const __m128i pa = Abs16(p), pb = Abs16(q), pc = Abs16(_mm_add_epi16(p, q));
    // a where pa <= pb and pa <= pc, else b where pb <= pc, else c.
    const __m128i useA = _mm_andnot_si128(_mm_or_si128(_mm_cmpgt_epi16(pa, pb), _mm_cmpgt_epi16(pa, pc)),
                                          _mm_set1_epi16(-1));
    const __m128i useB = _mm_andnot_si128(_mm_cmpgt_epi16(pb, pc), _mm_set1_epi16(-1));
    const __m128i bc = _mm_or_si128(_mm_and_si128(useB, b), _mm_andnot_si128(useB, c));
    return _mm_or_si128(_mm_and_si128(useA, a), _mm_andnot_si128(useA, bc));
}
#endif

// The row filter libpng's heuristic picks for a row after the first: row and prev are the
// unfiltered bytes of this row and of the row above, 3 bytes a pixel, n a multiple of 3. On an
// image one pixel wide libpng tries only None and Up.
int ChooseFilter(const std::uint8_t* row, const std::uint8_t* prev, std::size_t n, bool width1)
{
    constexpr std::size_t bpp = 3;
    unsigned none = 0, sub = 0, up = 0, avg = 0, paeth = 0;
    // The first pixel has no left neighbour: Sub keeps it, Average and Paeth predict from above.
    std::size_t i = 0;
    for (; i < bpp && i < n; ++i) {
        none += Magnitude(row[i]);
        up += Magnitude(row[i] - prev[i]);
        sub += Magnitude(row[i]);
        avg += Magnitude(row[i] - prev[i] / 2);
        paeth += Magnitude(row[i] - prev[i]);
    }
#ifdef __SSE2__
    {
        __m128i sNone = _mm_setzero_si128(), sSub = sNone, sUp = sNone, sAvg = sNone, sPaeth = sNone;
        const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
        for (; i + 16 <= n; i += 16) {
            const auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
            const __m128i x = load(row + i), a = load(row + i - bpp), b = load(prev + i), c = load(prev + i - bpp);
            sNone = AddMagnitudes(sNone, x);
            sSub = AddMagnitudes(sSub, _mm_sub_epi8(x, a));
            sUp = AddMagnitudes(sUp, _mm_sub_epi8(x, b));
            // (a + b) / 2 rounded down: the rounded-up average less the odd bit.
            const __m128i mean = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
            sAvg = AddMagnitudes(sAvg, _mm_sub_epi8(x, mean));
            const __m128i lo = Paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero));
            const __m128i hi = Paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero));
            sPaeth = AddMagnitudes(sPaeth, _mm_sub_epi8(x, _mm_packus_epi16(lo, hi)));
        }
        none += Total(sNone);
        sub += Total(sSub);
        up += Total(sUp);
        avg += Total(sAvg);
        paeth += Total(sPaeth);
    }
#endif
    for (; i < n; ++i) {
        const int x = row[i], a = row[i - bpp], b = prev[i], c = prev[i - bpp];
        none += Magnitude(x);
        sub += Magnitude(x - a);
        up += Magnitude(x - b);
        avg += Magnitude(x - (a + b) / 2);
        paeth += Magnitude(x - PaethPredictor(a, b, c));
    }
    int best = kFilterNone;
    unsigned least = none;
    const auto consider = [&](int filter, unsigned sum) {
        if (sum < least) {
            least = sum;
            best = filter;
        }
    };
    if (!width1)
        consider(kFilterSub, sub);
    consider(kFilterUp, up);
    if (!width1) {
        consider(kFilterAverage, avg);
        consider(kFilterPaeth, paeth);
    }
    return best;
}

// Row filtered with `filter` into out: the filter's byte, then n bytes.
void ApplyFilter(int filter, const std::uint8_t* row, const std::uint8_t* prev, std::size_t n, std::uint8_t* out)
{
    constexpr std::size_t bpp = 3;
    out[0] = static_cast<std::uint8_t>(filter);
    std::uint8_t* d = out + 1;
    if (filter == kFilterNone) {
        std::memcpy(d, row, n);
        return;
    }
    std::size_t i = 0;
    for (; i < bpp && i < n; ++i) {
        const int x = row[i], b = prev[i];
        switch (filter) {
        case kFilterSub: d[i] = static_cast<std::uint8_t>(x); break;
        case kFilterUp: d[i] = static_cast<std::uint8_t>(x - b); break;
        case kFilterAverage: d[i] = static_cast<std::uint8_t>(x - b / 2); break;
        case kFilterPaeth: d[i] = static_cast<std::uint8_t>(x - b); break;
        default: d[i] = static_cast<std::uint8_t>(x); break;
        }
    }
#ifdef __SSE2__
    {
        const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
        const auto load = [](const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
        for (; i + 16 <= n; i += 16) {
            const __m128i x = load(row + i), a = load(row + i - bpp), b = load(prev + i), c = load(prev + i - bpp);
            __m128i predicted;
            switch (filter) {
            case kFilterSub: predicted = a; break;
            case kFilterUp: predicted = b; break;
            case kFilterAverage:
                predicted = _mm_sub_epi8(_mm_avg_epu8(a, b), _mm_and_si128(_mm_xor_si128(a, b), one));
                break;
            default:
                predicted = _mm_packus_epi16(
                    Paeth16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), _mm_unpacklo_epi8(c, zero)),
                    Paeth16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), _mm_unpackhi_epi8(c, zero)));
                break;
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_sub_epi8(x, predicted));
        }
    }
#endif
    for (; i < n; ++i) {
        const int x = row[i], a = row[i - bpp], b = prev[i], c = prev[i - bpp];
        switch (filter) {
        case kFilterSub: d[i] = static_cast<std::uint8_t>(x - a); break;
        case kFilterUp: d[i] = static_cast<std::uint8_t>(x - b); break;
        case kFilterAverage: d[i] = static_cast<std::uint8_t>(x - (a + b) / 2); break;
        case kFilterPaeth: d[i] = static_cast<std::uint8_t>(x - PaethPredictor(a, b, c)); break;
        default: d[i] = static_cast<std::uint8_t>(x); break;
        }
    }
}

// One row of the bitmap as RGB, in the order the file holds the channels.
void RowToRgb(const Bitmap24& bitmap, std::uint32_t y, std::uint8_t* out)
{
    const std::uint8_t* in = bitmap.Row(static_cast<std::int32_t>(y));
    const std::size_t n = bitmap.Stride();
    for (std::size_t i = 0; i < n; i += 3) {
        out[i] = in[i + 2];
        out[i + 1] = in[i + 1];
        out[i + 2] = in[i];
    }
}

// A count one thread raises and another waits on. The waiter is woken only once the count has
// reached what it waits for: a wake costs a system call.
class Progress {
public:
    void Raise(std::uint32_t value)
    {
        value_.store(value, std::memory_order_seq_cst);
        const std::uint32_t awaited = awaited_.load(std::memory_order_seq_cst);
        if (awaited != 0 && value >= awaited)
            value_.notify_one();
    }
    // When the count is below `least`, waits until it is at least `until` (not below least).
    void WaitFor(std::uint32_t least, std::uint32_t until)
    {
        std::uint32_t now = value_.load(std::memory_order_acquire);
        if (now >= least)
            return;
        least = std::max(least, until);
        awaited_.store(least, std::memory_order_seq_cst);
        while ((now = value_.load(std::memory_order_seq_cst)) < least)
            value_.wait(now, std::memory_order_acquire);
        awaited_.store(0, std::memory_order_relaxed);
    }

private:
    std::atomic<std::uint32_t> value_{0};
    std::atomic<std::uint32_t> awaited_{0};  // what the waiter waits for; 0: nobody waits
};

// The rows in RGB, each filtered with the filter chosen for it. For a large image they are made
// ahead of the compression on a thread of their own, round a ring of 256 rows, so that the
// writing thread does little but compress; for a small one, on the writing thread as they are
// needed.
class PreparedRows {
public:
    PreparedRows(const Bitmap24& bitmap, const RowsNeeded& rowsNeeded)
        : bitmap_(bitmap),
          rowsNeeded_(rowsNeeded),
          height_(static_cast<std::uint32_t>(bitmap.Height())),
          rowBytes_(bitmap.Stride()),
          threaded_(height_ >= 64 && std::size_t{height_} * rowBytes_ >= (256u << 10) &&
                    ProcessorToSpare()),
          ringRows_(threaded_ ? std::min<std::uint32_t>(height_, kRingRows) : 2),
          ring_(2 * rowBytes_),
          filtered_(std::size_t{ringRows_} * (rowBytes_ + 1))
    {
        if (threaded_) {
            try {
                maker_ = std::thread([this] { MakeAll(); });
            } catch (const std::system_error&) {
                threaded_ = false;  // no thread to be had: made on the writing thread
            }
        }
    }
    ~PreparedRows()
    {
        if (maker_.joinable()) {
            stop_.store(true, std::memory_order_relaxed);
            used_.Raise(height_);  // nothing left to wait for
            maker_.join();
        }
    }
    PreparedRows(const PreparedRows&) = delete;
    PreparedRows& operator=(const PreparedRows&) = delete;

    // Row y filtered, with its filter's byte first, in order from the top; the row before it
    // is done with.
    const std::uint8_t* FilteredRow(std::uint32_t y)
    {
        if (threaded_) {
            used_.Raise(y);
            made_.WaitFor(y + 1, y + 1);
        } else {
            Make(y);
        }
        return FilteredSlot(y);
    }

private:
    static constexpr std::uint32_t kRingRows = 256;
    static constexpr std::uint32_t kRowsNeededAtOnce = 16;

    // The row in RGB: each is filtered before the next is made, so two slots hold it and the
    // row above.
    std::uint8_t* Slot(std::uint32_t y) { return ring_.data() + std::size_t{y % 2} * rowBytes_; }
    // Row y filtered: its filter's byte, then the row.
    std::uint8_t* FilteredSlot(std::uint32_t y) { return filtered_.data() + std::size_t{y % ringRows_} * (rowBytes_ + 1); }

    void Make(std::uint32_t y)
    {
        if (rowsNeeded_ && y >= rowsReady_) {
            rowsReady_ = std::min(y + kRowsNeededAtOnce, height_);
            rowsNeeded_(static_cast<std::int32_t>(y), static_cast<std::int32_t>(rowsReady_));
        }
        std::uint8_t* row = Slot(y);
        RowToRgb(bitmap_, y, row);
        // The row above the first is zeros, as libpng takes it.
        if (y == 0)
            zeros_.assign(rowBytes_, 0);
        const std::uint8_t* prev = y == 0 ? zeros_.data() : Slot(y - 1);
        const int filter = ChooseFilter(row, prev, rowBytes_, bitmap_.Width() == 1);
        ApplyFilter(filter, row, prev, rowBytes_, FilteredSlot(y));
    }

    void MakeAll()
    {
        for (std::uint32_t y = 0; y < height_ && !stop_.load(std::memory_order_relaxed); ++y) {
            // Row y takes the slot of row y - ringRows_, which the writer must be past. A full
            // ring waits for a quarter of it to be free, so that the two threads do not wake
            // each other for every row.
            if (y >= ringRows_)
                used_.WaitFor(y + 1 - ringRows_, std::min(y + ringRows_ / 4, height_) + 1 - ringRows_);
            if (stop_.load(std::memory_order_relaxed))
                break;
            Make(y);
            made_.Raise(y + 1);
        }
    }

    const Bitmap24& bitmap_;
    const RowsNeeded& rowsNeeded_;
    std::uint32_t rowsReady_ = 0;  // rows asked for from rowsNeeded_
    const std::uint32_t height_;
    const std::size_t rowBytes_;
    bool threaded_;
    const std::uint32_t ringRows_;
    std::vector<std::uint8_t, PixelAllocator<std::uint8_t>> ring_;
    std::vector<std::uint8_t, PixelAllocator<std::uint8_t>> filtered_;
    std::vector<std::uint8_t> zeros_;
    Progress made_;  // rows made
    Progress used_;  // rows the writer is done with
    std::atomic<bool> stop_{false};
    std::thread maker_;
};

// libpng names a smaller window in the zlib header of image data of 16 KiB or less: the
// smallest of 256 bytes or more that holds the data. The stream is the same: no distance in it
// reaches that far.
void NameSmallestWindow(std::uint8_t header[2], std::uint64_t dataBytes)
{
    if (dataBytes > 16384)
        return;
    unsigned info = header[0] >> 4;  // the window's bits less 8
    for (unsigned half = 1u << (info + 7); info > 0 && dataBytes <= half; half >>= 1)
        --info;
    header[0] = static_cast<std::uint8_t>((header[0] & 0x0f) | (info << 4));
    const unsigned flags = header[1] & 0xe0u;  // the level, no dictionary
    header[1] = static_cast<std::uint8_t>(flags + 0x1f - ((unsigned{header[0]} << 8) + flags) % 0x1f);
}

// The file as libpng writes it, written here with the rows made filtered: the chunks libpng
// writes (signature, IHDR, bKGD, IDAT, IEND), and the image data compressed as zlib compresses
// it with libpng's settings, given a row at a time and cut into IDAT chunks of 8192 bytes, as
// libpng does. Throws std::bad_alloc.
void WriteFile(std::vector<std::uint8_t>& bytes, const Bitmap24& bitmap, PreparedRows& rows)
{
    constexpr std::size_t kChunkBytes = 8192;  // libpng's compression buffer
    const auto chunk = [&](const char* type, const std::uint8_t* data, std::size_t length) {
        png::AppendChunk(bytes, type, data, length);
    };
    png::AppendSignature(bytes);
    png::AppendHeader(bytes, static_cast<std::uint32_t>(bitmap.Width()), static_cast<std::uint32_t>(bitmap.Height()),
                      kColourTypeRgb);
    const std::uint8_t white[6] = {0, 255, 0, 255, 0, 255};  // bKGD: 16 bits a channel
    chunk("bKGD", white, sizeof white);

    std::vector<std::uint8_t> stream;
    // The full chunks of the stream so far; at the end, the rest too.
    const auto takeChunks = [&](bool end) {
        std::size_t taken = 0;
        for (; stream.size() - taken >= kChunkBytes; taken += kChunkBytes)
            chunk("IDAT", stream.data() + taken, kChunkBytes);
        if (end && stream.size() > taken) {
            chunk("IDAT", stream.data() + taken, stream.size() - taken);
            taken = stream.size();
        }
        stream.erase(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(taken));
    };
    Deflater deflater(stream, DeflateStrategy::Filtered);
    NameSmallestWindow(stream.data(), std::uint64_t{bitmap.Stride() + 1} * static_cast<std::uint32_t>(bitmap.Height()));
    const auto h = static_cast<std::uint32_t>(bitmap.Height());
    const std::size_t rowBytes = bitmap.Stride() + 1;
    for (std::uint32_t y = 0; y < h; ++y) {
        deflater.Write(rows.FilteredRow(y), rowBytes);
        if (stream.size() >= kChunkBytes)
            takeChunks(false);
    }
    deflater.Finish();
    takeChunks(true);
    chunk("IEND", nullptr, 0);
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap) { return EncodePng(bitmap, RowsNeeded()); }

std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap, const RowsNeeded& rowsNeeded)
{
    if (bitmap.Empty())
        throw std::runtime_error("Cannot save an empty bitmap (" + SizeText(bitmap) + ")");
    if (bitmap.Width() > kMaxSide || bitmap.Height() > kMaxSide)
        throw std::runtime_error("Cannot encode a " + SizeText(bitmap) + " bitmap as PNG: " +
                                 cairo_status_to_string(CAIRO_STATUS_INVALID_SIZE));

    PreparedRows rows(bitmap, rowsNeeded);
    std::vector<std::uint8_t> bytes;
    try {
        WriteFile(bytes, bitmap, rows);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error(std::string("Cannot encode the bitmap as PNG: ") +
                                 cairo_status_to_string(CAIRO_STATUS_NO_MEMORY));
    }
    return bytes;
}

void SavePng(const Bitmap24& bitmap, const std::string& path)
{
    const std::vector<std::uint8_t> bytes = EncodePng(bitmap);
    files::WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace plotwick::gdi
