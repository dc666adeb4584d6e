#include "model/Drawing.h"

#include <unistd.h>

#include <cstring>
#include <system_error>
#include <thread>

#include "model/BParser.h"
#include "model/DrawDB.h"
#include "platform/files/Files.h"
#include "platform/threads/InTwoHalves.h"
#include "platform/threads/Processors.h"

namespace plotwick {

namespace {

constexpr std::int32_t kNameSize = 32;
constexpr std::int32_t kThumbnailOffset = 72;
constexpr std::int32_t kThumbnailSide = 32;
constexpr std::int32_t kShapeStreamOffset = 1096;
// From this many top-level shapes (a drawing of some tens of thousands of instructions) a
// transformation, or a pass for the bounds, is worth a second thread.
constexpr std::size_t kTransformInTwoFrom = 256;

std::uint32_t Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return std::uint32_t{r} | (std::uint32_t{g} << 8) | (std::uint32_t{b} << 16);
}

std::array<std::uint32_t, 256> BuildPalette()
{
    static constexpr std::uint8_t levels[6] = {0xE6, 0xBB, 0x8B, 0x5C, 0x2C, 0x00};
    static constexpr std::uint8_t greys[10] = {0x1D, 0x3F, 0x4D, 0x6A, 0x7D, 0x9A, 0xA8, 0xCA, 0xD8, 0xB0};
    std::array<std::uint32_t, 256> palette{};
    for (int i = 0; i < 216; ++i) {
        const int h = i / 108, j = i % 108;
        const int r = j / 18, b = 3 * h + (j % 18) / 6, g = j % 6;
        palette[i] = Rgb(levels[r], levels[g], levels[b]);
    }
    palette[0] = Rgb(0xFF, 0xFF, 0xFF);
    palette[215] = Rgb(0x0F, 0x0F, 0x0F);
    for (int i = 0; i < 10; ++i)
        palette[216 + i] = Rgb(greys[i], greys[i], greys[i]);
    palette[226] = Rgb(0x76, 0, 0);
    palette[227] = Rgb(0x76, 0, 0x76);
    palette[228] = Rgb(0, 0x76, 0);
    palette[229] = Rgb(0, 0x76, 0x76);
    // 230 to 255 stay black.
    return palette;
}

// From this many bytes of shapes on, a second thread reads the second half of the stream while
// the loading thread reads the first: below it, starting the thread (its reader, its first
// allocations) costs about what it saves (big20k's 350 KB loaded no faster).
constexpr std::int64_t kReadAheadFrom = std::int64_t{1} << 20;

using ShapeList = std::vector<std::unique_ptr<VPath>>;

// The second half of a record's shape stream, read on a second thread while the loading thread
// reads the first. The stream has no index: the thread starts at a kind byte near the middle,
// which may lie inside another shape's bytes, and reads top-level shapes on from there. Where
// it and the loading thread start a top-level shape at the same position, both read the same
// bytes from there in the same way, so the loading thread takes the thread's shapes from that
// one on instead of reading them. Where they never meet, the loading thread reads on alone.
class ReadAhead {
public:
    ReadAhead(int handle, std::int32_t size, std::int64_t from, const std::atomic<bool>* cancelled)
        : reader_(handle, static_cast<std::int32_t>(from), 0, size), cancelled_(cancelled), starts_(kPublished)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~ReadAhead() { Stop(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Called by the loading thread before it reads the top-level shape at `at`: true when the
    // thread's shapes from there on are the rest of the drawing, which are then appended to
    // `shapes` and counted.
    bool TakeOver(std::int64_t at, ShapeList& shapes)
    {
        if (givenUp_)
            return false;
        // Whether the thread starts a shape at `at` is known once it has published a start from
        // `at` on: until then (it is most often far ahead) the loading thread waits, so that
        // where the two meet depends on the bytes alone.
        for (;;) {
            const std::uint64_t progress = progress_.load(std::memory_order_acquire);
            const std::size_t published = published_.load(std::memory_order_acquire);
            while (next_ < published && starts_[next_].at < at)
                ++next_;
            if (next_ < published)
                break;
            if (published == kPublished || finished_.load(std::memory_order_acquire)) {
                if (published_.load(std::memory_order_acquire) == published) {
                    GiveUp();
                    return false;
                }
                continue;
            }
            progress_.wait(progress, std::memory_order_acquire);
        }
        return starts_[next_].at == at && Join(starts_[next_], shapes);
    }

private:
    // The first top-level shapes the thread reads are published to the loading thread as they
    // come: the two meet within the first few where they meet at all.
    static constexpr std::size_t kPublished = 4096;

    struct Start {
        std::int64_t at = 0;   // the position of the shape's kind byte
        std::size_t kept = 0;  // shapes kept before it
        std::size_t chain = 0;
        ShapeCounts counts;  // counted before it
    };
    // Top-level shapes read one after another up to a byte that is not a kind (the end of the
    // drawing, for a loading thread that reads the same shapes) or an error.
    struct Chain {
        std::size_t kept = 0;  // shapes kept at its end
        ShapeCounts counts;    // counted at its end
        bool clean = false;    // ended by a byte that is not a kind
    };

    void Stop()
    {
        stop_.store(true, std::memory_order_relaxed);
        if (thread_.joinable())
            thread_.join();
    }

    void GiveUp()
    {
        givenUp_ = true;
        Stop();
    }

    bool Join(const Start& start, ShapeList& shapes)
    {
        thread_.join();
        if (start.chain >= chains_.size()) {
            givenUp_ = true;
            return false;
        }
        const Chain& chain = chains_[start.chain];
        // A chain ended by an error is read again by the loading thread, which raises it in its
        // place. So is one whose shapes might take the record past its limits: what the thread
        // counted in all (the glyphs it loaded included) bounds what reading it all in order
        // would count.
        const ShapeCounts now = CurrentShapeCounts();
        const ShapeLimits limits = GetShapeLimits();
        if (!chain.clean || now.shapes + total_.shapes > limits.shapes ||
            now.instructions + total_.instructions > limits.instructions) {
            givenUp_ = true;
            return false;
        }
        CountShapes(chain.counts.shapes - start.counts.shapes);
        CountInstructions(chain.counts.instructions - start.counts.instructions);
        for (std::size_t i = start.kept; i < chain.kept; ++i)
            shapes.push_back(std::move(kept_[i]));
        return true;
    }

    bool Stopped() const
    {
        return stop_.load(std::memory_order_relaxed) || (cancelled_ && cancelled_->load(std::memory_order_relaxed));
    }

    void Run()
    {
        try {
            ReadChains();
        } catch (...) {
            // Out of memory between two chains: the ones recorded stand.
        }
        Finish();
    }

    void ReadChains()
    {
        const ShapeCountScope count;
        std::int64_t scan = reader_.Skip(0);
        while (!Stopped()) {
            // The next kind byte from `scan` on.
            reader_.Skip(static_cast<std::int32_t>(scan - reader_.Skip(0)));
            std::int64_t at = scan;
            std::unique_ptr<VPath> shape;
            while (!shape) {
                at = reader_.Skip(0);
                shape = ShapeFactory::CreateShape(reader_.ReadTag());
                if (!shape && (reader_.LastTagWasEnd() || Stopped()))
                    return;
            }
            Chain chain;
            const std::int64_t chainStart = at;
            try {
                while (shape) {
                    if (Stopped())
                        break;
                    Publish({at, kept_.size(), chains_.size(), CurrentShapeCounts()});
                    if (auto kept = ReadShape(reader_, std::move(shape)))
                        kept_.push_back(std::move(kept));
                    at = reader_.Skip(0);
                    shape = ShapeFactory::CreateShape(reader_.ReadTag());
                }
                chain.clean = !shape;
            } catch (...) {
                // A first shape that cannot be read was most likely no shape: the search goes
                // on after its kind byte. An error further on ends the reading ahead.
                chain.clean = false;
                chain.kept = kept_.size();
                chain.counts = CurrentShapeCounts();
                chains_.push_back(chain);
                if (at != chainStart)
                    return;
                scan = at + 1;
                continue;
            }
            chain.kept = kept_.size();
            chain.counts = CurrentShapeCounts();
            chains_.push_back(chain);
            if (!chain.clean || reader_.LastTagWasEnd())
                return;
            scan = at + 1;  // past the byte that ended the chain
        }
    }

    void Publish(const Start& start)
    {
        const std::size_t n = published_.load(std::memory_order_relaxed);
        if (n == kPublished)
            return;
        starts_[n] = start;
        published_.store(n + 1, std::memory_order_release);
        progress_.fetch_add(1, std::memory_order_release);
        progress_.notify_one();
    }

    void Finish()
    {
        total_ = CurrentShapeCounts();
        finished_.store(true, std::memory_order_release);
        progress_.fetch_add(1, std::memory_order_release);
        progress_.notify_one();
    }

    BParser reader_;
    const std::atomic<bool>* cancelled_;
    std::vector<Start> starts_;
    std::atomic<std::size_t> published_{0};
    std::atomic<std::uint64_t> progress_{0};  // raised by every start published, and at the end
    std::vector<Chain> chains_;
    ShapeList kept_;
    ShapeCounts total_;
    std::atomic<bool> finished_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    // The loading thread's own.
    std::size_t next_ = 0;
    bool givenUp_ = false;
};

// A reader of the second half of the stream the reader is at, when it is long enough.
std::unique_ptr<ReadAhead> ReadAheadOf(BParser& reader, std::int64_t at, const std::atomic<bool>* cancelled)
{
    if (reader.FHandle <= 0 || reader.FSize - at < kReadAheadFrom || !ProcessorToSpare())
        return nullptr;
    const int handle = ::dup(reader.GetHandle());
    if (handle <= 0)
        return nullptr;
    try {
        return std::make_unique<ReadAhead>(handle, reader.FSize, at + (reader.FSize - at) / 2, cancelled);
    } catch (const std::system_error&) {
        return nullptr;  // no thread to be had (the handle is closed with its reader)
    }
}

}  // namespace

const std::array<std::uint32_t, 256>& ThumbnailPalette()
{
    static const std::array<std::uint32_t, 256> palette = BuildPalette();
    return palette;
}

TDrawing::TDrawing(TDrawDB* db, std::string fileName) : FDB(db), FFileName(std::move(fileName))
{
    ReadHeader();
}

TDrawing::TDrawing(TDrawDB* db, std::string fileName, ShapesOnly) : FDB(db), FFileName(std::move(fileName)) {}

TDrawing::~TDrawing() = default;

std::string TDrawing::FilePath() const
{
    return files::JoinPath(FDB ? FDB->FPath : std::string(), FFileName);
}

void TDrawing::ReadHeader()
{
    // The name and the thumbnail end where the shapes start: a listing reads no further.
    BParser reader(FilePath(), 0, kShapeStreamOffset);
    if (reader.FHandle <= 0)
        return;
    std::uint8_t name[kNameSize + 1] = {};
    reader.ReadAvailable(name, kNameSize);
    ReadThumbnail(reader);
    FName.assign(reinterpret_cast<const char*>(name), std::strlen(reinterpret_cast<const char*>(name)));
}

void TDrawing::ReadThumbnail(BParser& reader)
{
    auto thumb = std::make_unique<gdi::Bitmap24>(kThumbnailSide, kThumbnailSide, kThumbnailMissingColor);
    const auto& palette = ThumbnailPalette();
    reader.Skip(static_cast<std::int32_t>(kThumbnailOffset - reader.Skip(0)));
    std::uint8_t indexes[kThumbnailSide * kThumbnailSide];
    // Pixels the file holds no data for keep the fixed colour.
    const std::size_t got = reader.ReadAvailable(indexes, sizeof indexes);
    // The rows are packed, so the pixels lie one after another in reading order.
    std::uint8_t* p = thumb->Row(0);
    for (std::size_t i = 0; i < got; ++i, p += 3) {
        const std::uint32_t color = palette[indexes[i]];
        p[0] = static_cast<std::uint8_t>(color >> 16);
        p[1] = static_cast<std::uint8_t>(color >> 8);
        p[2] = static_cast<std::uint8_t>(color);
    }
    FThumbnail = std::move(thumb);
}

void TDrawing::SkipEntryTable(BParser& reader)
{
    const std::uint16_t n = reader.ReadWord();
    reader.Skip(static_cast<std::int32_t>(n) * 8);
}

void TDrawing::LoadShapes(bool normalise, const std::atomic<bool>* cancelled)
{
    ClearShapes();
    FShapesReadAhead = 0;
    {
        const ShapeCountScope count;
        BParser reader(FilePath(), kShapeStreamOffset);
        std::uint8_t t = reader.ReadTag();
        if (t == 'a') {
            SkipEntryTable(reader);
            t = reader.ReadTag();
        }
        if (t == 'f') {
            reader.Skip(4);
            t = reader.ReadTag();
        }
        if (t == '#') {
            reader.Skip(8);
            t = reader.ReadTag();
        }
        // at: the position of the kind byte t, followed while a second thread reads ahead.
        std::int64_t at = reader.FHandle > 0 && !reader.LastTagWasEnd() ? reader.Skip(0) - 1 : 0;
        const std::unique_ptr<ReadAhead> ahead = ReadAheadOf(reader, at, cancelled);
        std::size_t kept = 0;  // the shapes read here
        for (auto shape = ShapeFactory::CreateShape(t); shape; shape = ShapeFactory::CreateShape(t)) {
            if (cancelled && cancelled->load(std::memory_order_relaxed)) {
                ClearShapes();
                throw LoadCancelled();
            }
            if (ahead && ahead->TakeOver(at, FShapes)) {
                FShapesReadAhead = FShapes.size() - kept;
                break;
            }
            if (auto shapeKept = ReadShape(reader, std::move(shape)))
                FShapes.push_back(std::move(shapeKept));
            kept = FShapes.size();
            if (ahead)
                at = reader.Skip(0);
            t = reader.ReadTag();
        }
    }
    if (normalise) {
        const IntRect r = GetBounds();
        FOffsetX = static_cast<float>(-static_cast<std::int64_t>(r.left));
        FOffsetY = static_cast<float>(-static_cast<std::int64_t>(r.top));
        Transform(Matrix3::Translation(FOffsetX, FOffsetY));
    }
}

IntRect TDrawing::GetBounds()
{
    // A drawing of many shapes in two halves at once, each from the reset rectangle, the
    // second then joined to the first; where the join cannot tell, the first goes on through
    // the second half itself.
    FBounds.Reset();
    FDirtyRect second;
    second.Reset();
    std::size_t secondFrom = FShapes.size();
    InTwoHalves(FShapes.size(), kTransformInTwoFrom, [&](std::size_t from, std::size_t to) {
        FDirtyRect& r = from == 0 ? FBounds : second;
        if (from != 0)
            secondFrom = from;
        for (std::size_t i = from; i < to; ++i)
            if (FShapes[i])
                FShapes[i]->ExtendBounds(r);
    });
    if (secondFrom < FShapes.size() && !FBounds.Join(second))
        for (std::size_t i = secondFrom; i < FShapes.size(); ++i)
            if (FShapes[i])
                FShapes[i]->ExtendBounds(FBounds);
    return FBounds.GetRect();
}

void TDrawing::Transform(const Matrix3& m)
{
    // Each shape is transformed on its own: a drawing of many shapes in two halves at once.
    InTwoHalves(FShapes.size(), kTransformInTwoFrom, [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            if (FShapes[i])
                FShapes[i]->Transform(m);
    });
}

}  // namespace plotwick
