#include "platform/codec/PngWriter.h"

#include "platform/files/Files.h"

#include <cairo.h>
#include <png.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace plotwick::gdi {

// The file is the one Cairo writes for an RGB24 image surface (IHDR with 8-bit RGB, a white
// bKGD, the image data, IEND), written through libpng with the same settings. libpng chooses
// a filter for every row by trying all five and keeping the one whose bytes, taken as signed,
// have the smallest sum of magnitudes (the first of equal ones). That choice is made here,
// in one pass over the row, and handed to libpng as the only filter for the row, which leaves
// the bytes of the file exactly as they were and libpng with only the chosen filter to apply.

namespace {

constexpr int kMaxSide = 32767;  // the largest image surface

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
    int best = PNG_FILTER_VALUE_NONE;
    unsigned least = none;
    const auto consider = [&](int filter, unsigned sum) {
        if (sum < least) {
            least = sum;
            best = filter;
        }
    };
    if (!width1)
        consider(PNG_FILTER_VALUE_SUB, sub);
    consider(PNG_FILTER_VALUE_UP, up);
    if (!width1) {
        consider(PNG_FILTER_VALUE_AVG, avg);
        consider(PNG_FILTER_VALUE_PAETH, paeth);
    }
    return best;
}

int FilterFlag(int value)
{
    switch (value) {
    case PNG_FILTER_VALUE_SUB:
        return PNG_FILTER_SUB;
    case PNG_FILTER_VALUE_UP:
        return PNG_FILTER_UP;
    case PNG_FILTER_VALUE_AVG:
        return PNG_FILTER_AVG;
    case PNG_FILTER_VALUE_PAETH:
        return PNG_FILTER_PAETH;
    default:
        return PNG_FILTER_NONE;
    }
}

struct Output {
    std::vector<std::uint8_t>* bytes;
    bool outOfMemory = false;
};

void WriteData(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<Output*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        out->bytes->insert(out->bytes->end(), data, data + length);
    } catch (...) {
        failed = true;
    }
    if (failed) {
        out->outOfMemory = true;
        png_error(png, "out of memory");
    }
}

void FlushData(png_structp) {}

void OnError(png_structp png, png_const_charp)
{
    std::longjmp(png_jmpbuf(png), 1);
}

void OnWarning(png_structp, png_const_charp) {}

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

// Writes the file; false when libpng failed. Only plain data lives in this frame, so that a
// jump back from libpng leaves nothing behind. rows has room for two RGB rows: the row
// written and the one above it.
bool WriteFile(Output& out, const Bitmap24& bitmap, std::uint8_t* rows)
{
    const auto width = static_cast<std::uint32_t>(bitmap.Width());
    const auto height = static_cast<std::uint32_t>(bitmap.Height());
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, WriteData, FlushData);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color_16 white;
    std::memset(&white, 0, sizeof white);
    white.gray = 255;
    white.red = white.blue = white.green = white.gray;
    png_set_bKGD(png, info, &white);
    png_write_info(png, info);
    const std::size_t rowBytes = std::size_t{width} * 3;
    // The first row starts libpng with all filters (so that it keeps the row above from then
    // on) and has it choose the first row's filter itself.
    RowToRgb(bitmap, 0, rows);
    png_write_row(png, rows);
    for (std::uint32_t y = 1; y < height; ++y) {
        std::uint8_t* row = rows + (y % 2) * rowBytes;
        const std::uint8_t* above = rows + ((y + 1) % 2) * rowBytes;
        RowToRgb(bitmap, y, row);
        const int filter = ChooseFilter(row, above, rowBytes, width == 1);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, FilterFlag(filter));
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const Bitmap24& bitmap)
{
    if (bitmap.Empty())
        throw std::runtime_error("Cannot save an empty bitmap (" + SizeText(bitmap) + ")");
    if (bitmap.Width() > kMaxSide || bitmap.Height() > kMaxSide)
        throw std::runtime_error("Cannot encode a " + SizeText(bitmap) + " bitmap as PNG: " +
                                 cairo_status_to_string(CAIRO_STATUS_INVALID_SIZE));

    std::vector<std::uint8_t> rows(2 * bitmap.Stride());
    std::vector<std::uint8_t> bytes;
    Output out{&bytes};
    if (!WriteFile(out, bitmap, rows.data()))
        throw std::runtime_error(std::string("Cannot encode the bitmap as PNG: ") +
                                 cairo_status_to_string(out.outOfMemory ? CAIRO_STATUS_NO_MEMORY
                                                                        : CAIRO_STATUS_WRITE_ERROR));
    return bytes;
}

void SavePng(const Bitmap24& bitmap, const std::string& path)
{
    const std::vector<std::uint8_t> bytes = EncodePng(bitmap);
    files::WriteFileAtomically(path, bytes.data(), bytes.size());
}

}  // namespace plotwick::gdi
