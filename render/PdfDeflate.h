// Cairo compresses a PDF page's content with zlib's deflate on the thread that draws, a piece of
// 16 KiB at a time as it writes the page's operators: on a large page the compression takes
// about as long as the writing. This program defines zlib's deflateInit_, deflate and
// deflateEnd itself (linked in and exported by the build, so that the dynamic linker binds
// Cairo's calls here). A stream that Cairo makes at zlib's default level is compressed by our
// own deflate (platform/codec/Deflate: the bytes zlib 1.2.13 writes, in about two thirds of
// zlib's time on a page's operators), any other stream made by deflateInit_ by zlib itself; and
// from its first 16 KiB on, on a thread of its own while the caller goes on. The bytes are the
// ones zlib writes when called directly, as zlib's output depends only on the input and the
// flushes. A stream with the caller's own allocator, or made by deflateInit2_, is zlib's alone;
// every other zlib function is zlib's.
#pragma once

#include <cstddef>

namespace plotwick {

// Whether the deflate entry points in use are the ones described above (false in a program
// linked without them).
bool DeflateTakenOver();

// How many streams have been compressed on a thread of their own in this process.
std::size_t DeflateStreamsAside();

}  // namespace plotwick
