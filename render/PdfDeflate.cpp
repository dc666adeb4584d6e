#include "render/PdfDeflate.h"

#include <dlfcn.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/codec/Deflate.h"

namespace {

// zlib's own entry points, the next definitions after this program's.
struct Zlib {
    int (*init)(z_streamp, int, const char*, int);
    int (*deflate)(z_streamp, int);
    int (*end)(z_streamp);
};

const Zlib& RealZlib()
{
    static const Zlib zlib = {
        reinterpret_cast<int (*)(z_streamp, int, const char*, int)>(dlsym(RTLD_NEXT, "deflateInit_")),
        reinterpret_cast<int (*)(z_streamp, int)>(dlsym(RTLD_NEXT, "deflate")),
        reinterpret_cast<int (*)(z_streamp)>(dlsym(RTLD_NEXT, "deflateEnd")),
    };
    return zlib;
}

std::atomic<std::size_t> streamsAside{0};

// Whether code at this address is Cairo's.
bool IsCairos(const void* address)
{
    Dl_info info;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return false;
    const char* slash = std::strrchr(info.dli_fname, '/');
    return std::strncmp(slash ? slash + 1 : info.dli_fname, "libcairo.so", 11) == 0;
}

// How a stream's state starts, zlib's and ours alike: the stream it belongs to and a status.
// Ours has a status zlib's never has, so that the two are told apart, and zlib's other
// functions, given ours, answer Z_STREAM_ERROR.
struct Header {
    z_streamp owner;
    int status;
};
constexpr int kOurs = 0x51504c57;

// A stream's state behind the caller's z_stream.
struct Stream {
    // From this much input on (Cairo's first full piece), the pieces are compressed on a thread
    // of their own; a page that fits in one piece is compressed at once, with no thread.
    static constexpr std::size_t kAsideFrom = 16384;
    // A thread that falls this far behind makes the caller wait.
    static constexpr std::size_t kMostQueued = 64;

    Header header;
    std::size_t given = 0;  // input taken so far

    // The compressed bytes, delivered to the caller from `delivered` on.
    std::vector<std::uint8_t> out;
    std::size_t written = 0, delivered = 0;
    int error = Z_OK;    // the first error met
    bool ended = false;  // the end of the stream is written

    // Cairo's streams at zlib's default level are compressed by our own deflate, into out
    // (Cairo asks for no flush but the last); any other by zlib.
    std::optional<plotwick::gdi::Deflater> own;
    z_stream inner{};

    // The thread, once there is one, and the pieces waiting for it. The fields above are the
    // thread's while it has pieces; the caller touches them only when it is idle.
    struct Piece {
        std::vector<std::uint8_t> bytes;
        int flush;
    };
    std::thread worker;
    std::mutex mutex;
    std::condition_variable wake, idle;
    std::deque<Piece> queue;
    std::vector<std::vector<std::uint8_t>> spare;  // buffers of pieces done, for reuse
    bool busy = false, stop = false;

    explicit Stream(z_streamp s) : header{s, kOurs} {}

    ~Stream()
    {
        if (worker.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                stop = true;
            }
            wake.notify_one();
            worker.join();
        }
    }

    // One piece with one flush, the output added to out.
    void Compress(const std::uint8_t* data, std::size_t n, int flush)
    {
        if (own) {
            try {
                if (n != 0)
                    own->Write(data, n);
                if (flush == Z_FINISH) {
                    own->Finish();
                    ended = true;
                } else if (flush != Z_NO_FLUSH && error == Z_OK) {
                    error = Z_STREAM_ERROR;
                }
            } catch (const std::bad_alloc&) {
                if (error == Z_OK)
                    error = Z_MEM_ERROR;
            }
            written = out.size();
            return;
        }
        inner.next_in = const_cast<Bytef*>(data);
        inner.avail_in = static_cast<uInt>(n);
        for (;;) {
            try {
                if (out.size() - written < 4096)
                    out.resize(std::max<std::size_t>(2 * out.size(), written + 65536));
            } catch (const std::bad_alloc&) {
                if (error == Z_OK)
                    error = Z_MEM_ERROR;
                return;
            }
            inner.next_out = out.data() + written;
            inner.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - written, 1u << 30));
            const uInt room = inner.avail_out;
            const int result = RealZlib().deflate(&inner, flush);
            written += room - inner.avail_out;
            if (result == Z_STREAM_END) {
                ended = true;
                return;
            }
            if (result != Z_OK && result != Z_BUF_ERROR) {
                if (error == Z_OK)
                    error = result;
                return;
            }
            // Done when the input is taken and zlib had room to spare (with Z_FINISH, at the end).
            if (inner.avail_in == 0 && inner.avail_out != 0 && flush != Z_FINISH)
                return;
            if (result == Z_BUF_ERROR && inner.avail_out != 0)
                return;
        }
    }

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [&] { return !queue.empty() || stop; });
            if (queue.empty())
                return;
            Piece piece = std::move(queue.front());
            queue.pop_front();
            busy = true;
            lock.unlock();
            Compress(piece.bytes.data(), piece.bytes.size(), piece.flush);
            lock.lock();
            busy = false;
            spare.push_back(std::move(piece.bytes));
            idle.notify_all();
        }
    }

    // Hands a copy of the piece to the thread, starting it the first time; false when neither
    // a thread nor the memory for the copy can be had.
    bool Queue(const std::uint8_t* data, std::size_t n, int flush)
    {
        if (!worker.joinable()) {
            try {
                worker = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                return false;
            }
            streamsAside.fetch_add(1, std::memory_order_relaxed);
        }
        std::unique_lock<std::mutex> lock(mutex);
        idle.wait(lock, [&] { return queue.size() < kMostQueued; });
        try {
            std::vector<std::uint8_t> bytes;
            if (!spare.empty()) {
                bytes = std::move(spare.back());
                spare.pop_back();
            }
            bytes.assign(data, data + n);
            queue.push_back({std::move(bytes), flush});
        } catch (const std::bad_alloc&) {
            return false;
        }
        lock.unlock();
        wake.notify_one();
        return true;
    }

    // One call's input and flush: on the thread (true) when `aside` and it can be had, else
    // here once the thread, if there is one, has done what it was given.
    bool Take(const std::uint8_t* data, std::size_t n, int flush, bool aside)
    {
        if (aside && Queue(data, n, flush))
            return true;
        WaitIdle();
        Compress(data, n, flush);
        return false;
    }

    void WaitIdle()
    {
        if (!worker.joinable())
            return;
        std::unique_lock<std::mutex> lock(mutex);
        idle.wait(lock, [&] { return queue.empty() && !busy; });
    }

    // Copies what zlib has written and the caller has not had into the caller's buffer.
    void Deliver(z_streamp strm)
    {
        const std::size_t n = std::min<std::size_t>(written - delivered, strm->avail_out);
        if (n != 0) {
            std::memcpy(strm->next_out, out.data() + delivered, n);
            strm->next_out += n;
            strm->avail_out -= static_cast<uInt>(n);
            strm->total_out += n;
            delivered += n;
        }
        if (delivered == written) {
            delivered = written = 0;
            if (own)
                out.clear();  // our deflate appends to out
        }
    }

    std::uint32_t Adler() const { return own ? own->Adler() : static_cast<std::uint32_t>(inner.adler); }
};

Stream* Ours(z_streamp strm)
{
    if (strm == Z_NULL || strm->state == Z_NULL)
        return nullptr;
    Header header;
    std::memcpy(&header, strm->state, sizeof header);
    return header.owner == strm && header.status == kOurs ? reinterpret_cast<Stream*>(strm->state) : nullptr;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int deflateInit_(z_streamp strm, int level, const char* version,
                                                        int stream_size)
{
    const Zlib& zlib = RealZlib();
    if (!zlib.init || !zlib.deflate || !zlib.end)
        return Z_VERSION_ERROR;
    // A caller's own allocator is left to zlib alone: this side allocates with new.
    if (strm == Z_NULL || strm->zalloc != Z_NULL || strm->zfree != Z_NULL)
        return zlib.init(strm, level, version, stream_size);
    if (version == Z_NULL || version[0] != ZLIB_VERSION[0] || stream_size != static_cast<int>(sizeof(z_stream)))
        return Z_VERSION_ERROR;
    auto* s = new (std::nothrow) Stream(strm);
    if (!s)
        return Z_MEM_ERROR;
    if ((level == Z_DEFAULT_COMPRESSION || level == 6) && IsCairos(__builtin_return_address(0))) {
        try {
            s->own.emplace(s->out, plotwick::gdi::DeflateStrategy::Default);
        } catch (const std::bad_alloc&) {
            delete s;
            return Z_MEM_ERROR;
        }
        s->written = s->out.size();
    } else if (const int result = zlib.init(&s->inner, level, ZLIB_VERSION, static_cast<int>(sizeof(z_stream)));
               result != Z_OK) {
        delete s;
        return result;
    }
    strm->state = reinterpret_cast<internal_state*>(s);
    strm->total_in = strm->total_out = 0;
    strm->msg = Z_NULL;
    strm->data_type = Z_UNKNOWN;
    strm->adler = s->Adler();
    return Z_OK;
}

__attribute__((visibility("default"))) int deflate(z_streamp strm, int flush)
{
    Stream* s = Ours(strm);
    if (!s) {
        const Zlib& zlib = RealZlib();
        return zlib.deflate ? zlib.deflate(strm, flush) : Z_STREAM_ERROR;
    }
    if (flush < Z_NO_FLUSH || flush > Z_BLOCK || strm->next_out == Z_NULL ||
        (strm->avail_in != 0 && strm->next_in == Z_NULL))
        return Z_STREAM_ERROR;
    if (strm->avail_out == 0)
        return Z_BUF_ERROR;
    const std::size_t n = strm->avail_in;
    const std::size_t before = strm->total_out;
    bool aside = false;
    if (s->ended) {
        // After the end, only Z_FINISH without input, to collect the rest.
        if (flush != Z_FINISH)
            return Z_STREAM_ERROR;
        if (n != 0)
            return Z_BUF_ERROR;
    } else {
        // Input without a flush goes to the thread once the stream is long enough; anything
        // else is done here, after what the thread was given, and its output delivered now.
        aside = s->Take(strm->next_in, n, flush, flush == Z_NO_FLUSH && n != 0 && s->given + n >= Stream::kAsideFrom);
    }
    s->given += n;
    strm->next_in += n;
    strm->avail_in = 0;
    strm->total_in += n;
    if (!aside) {
        s->Deliver(strm);
        strm->adler = s->Adler();
        if (!s->own)
            strm->data_type = s->inner.data_type;
        if (s->error != Z_OK)
            return s->error;
        if (s->ended && s->written == 0)
            return Z_STREAM_END;
    }
    return n != 0 || strm->total_out != before ? Z_OK : Z_BUF_ERROR;
}

__attribute__((visibility("default"))) int deflateEnd(z_streamp strm)
{
    Stream* s = Ours(strm);
    const Zlib& zlib = RealZlib();
    if (!s)
        return zlib.end ? zlib.end(strm) : Z_STREAM_ERROR;
    s->WaitIdle();
    // Ended before its end, a stream answers as zlib's does.
    const int result = s->own ? (s->ended || s->given == 0 ? Z_OK : Z_DATA_ERROR) : zlib.end(&s->inner);
    delete s;
    strm->state = Z_NULL;
    return result;
}

}  // extern "C"

namespace plotwick {

bool DeflateTakenOver()
{
    return dlsym(RTLD_DEFAULT, "deflate") == reinterpret_cast<void*>(&::deflate) &&
           dlsym(RTLD_DEFAULT, "deflateInit_") == reinterpret_cast<void*>(&::deflateInit_) &&
           dlsym(RTLD_DEFAULT, "deflateEnd") == reinterpret_cast<void*>(&::deflateEnd);
}

std::size_t DeflateStreamsAside()
{
    return streamsAside.load(std::memory_order_relaxed);
}

}  // namespace plotwick
