// The entry functions of the fuzz targets, shared by the libFuzzer programs (fuzz/*_fuzzer.cpp)
// and by the test that replays fuzz/regressions with the normal compiler
// (tests/model/fuzz_regressions_test.cpp). Everything here is inline so that both compile it
// without a library of its own.
//
// Inputs become real files in a scratch folder, because the readers read files:
//  - header: the bytes are a database header file (and also a record file, for its name and
//    thumbnail);
//  - record and pipeline: sections separated by kSectionSeparator:
//      record shape stream [ SEP font header file { SEP glyph } ]
//    The record file is a 1096-byte head (name "Fuzz", blank thumbnail) followed by the shape
//    stream. The font database is named after the default font, so that every text finds it;
//    each glyph section is the glyph file's first byte (its code) followed by its shape stream,
//    written after a head of the same size. The pipeline's input starts with one byte of
//    options: 1 substitute face, 2 fit placement, 4 SVG text outlines.
//
// Errors a file may legitimately cause are caught: the data layer's EBParseException from every
// reader, and std::runtime_error from a writer that cannot express a picture (a metafile too
// large, for instance). Anything else (a logic error, a crash, a sanitizer report, a hang)
// reaches libFuzzer.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "model/BParser.h"
#include "model/DatabaseScan.h"
#include "model/DrawDB.h"
#include "model/Drawing.h"
#include "model/Shapes.h"
#include "platform/codec/Bitmap.h"
#include "platform/codec/BmpWriter.h"
#include "platform/codec/PngWriter.h"
#include "platform/metafile/WmfConverter.h"
#include "platform/codec/JpegWriter.h"
#include "render/Metafile.h"
#include "render/Pdf.h"
#include "render/Rasteriser.h"
#include "svg/SvgWriter.h"
#include "text/VFont.h"
#include "text/VPathText.h"

namespace plotwick::fuzz {

inline constexpr std::string_view kSectionSeparator = "\n%%\n";
inline constexpr std::size_t kRecordHeadSize = 1096;

// The raster size of the pipeline: small, so that an input is drawn quickly.
inline constexpr std::int32_t kRasterWidth = 48;
inline constexpr std::int32_t kRasterHeight = 36;

// Limits of the fuzz targets, below the program's own so that an input that expands to the
// most a file may hold is still handled quickly: texts of glyphs copied into each other reach
// any limit from a few kilobytes, and copying up to the limit is most of a target's time. The
// program's limits are the same code with larger numbers.
inline constexpr ShapeLimits kRecordLimits{2'000, 10'000};
inline constexpr ShapeLimits kPipelineLimits{2'000, 4'000};
// Points of a metafile's flattened curves in the WMF conversion: a far-reaching curve flattens
// to thousands, so that the conversion was most of the pipeline's time.
inline constexpr std::size_t kPipelineWmfPoints = std::size_t{1} << 16;

// A scratch folder of this process (in /dev/shm when there is one), removed at exit.
class Scratch {
public:
    static const std::string& Path()
    {
        static Scratch scratch;
        return scratch.path_;
    }

    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

private:
    Scratch()
    {
        std::string base = "/dev/shm";
        if (!std::filesystem::is_directory(base)) {
            const char* tmp = std::getenv("TMPDIR");
            base = tmp && *tmp ? tmp : "/tmp";
        }
        std::string pattern = base + "/plotwick-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("cannot create a scratch folder in " + base);
        path_ = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }

    std::string path_;
};

// The head and the body as the file's whole content, written with plain system calls (a stream
// would allocate and free a buffer for each file).
inline void WriteBytes(const std::string& path, std::string_view head, std::string_view body)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot create " + path);
    bool ok = true;
    for (std::string_view part : {head, body}) {
        while (ok && !part.empty()) {
            const ssize_t n = ::write(fd, part.data(), part.size());
            if (n > 0)
                part.remove_prefix(static_cast<std::size_t>(n));
            else
                ok = n < 0 && errno == EINTR;
        }
    }
    if (::close(fd) != 0 || !ok)
        throw std::runtime_error("cannot write " + path);
}

// A fresh, empty folder below the scratch folder.
inline std::string FreshFolder(const std::string& name)
{
    const std::string path = Scratch::Path() + "/" + name;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    std::filesystem::create_directories(path);
    return path;
}

inline void MakeFifo(const std::string& path)
{
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("cannot create the FIFO " + path);
}

// The record's name and thumbnail through the link and the FIFO: the link reads as the file,
// the FIFO as a file that is not open (its name stays empty, and loading it raises).
inline void CheckPlacements(const TDrawing& record, TDrawDB& db)
{
    TDrawing link(&db, "LINK.dat");
    TDrawing fifo(&db, "PIPE.dat");
    if (link.FName != record.FName || fifo.FThumbnail || !fifo.FName.empty())
        std::abort();
    try {
        fifo.LoadShapes(false);
        std::abort();
    } catch (const EBParseException& e) {
        if (std::string_view(e.what()) != kFileNotOpen)
            std::abort();
    }
}

inline std::vector<std::string_view> SplitSections(std::string_view input)
{
    std::vector<std::string_view> sections;
    for (;;) {
        const std::size_t at = input.find(kSectionSeparator);
        if (at == std::string_view::npos) {
            sections.push_back(input);
            return sections;
        }
        sections.push_back(input.substr(0, at));
        input.remove_prefix(at + kSectionSeparator.size());
    }
}

// Restores what an entry changes in the program's global state, whatever happens.
class GlobalState {
public:
    explicit GlobalState(const ShapeLimits& limits)
        : limits_(GetShapeLimits())
    {
        SetShapeLimits(limits);
    }
    ~GlobalState()
    {
        FontList.Clear();
        SetShapeLimits(limits_);
    }
    GlobalState(const GlobalState&) = delete;
    GlobalState& operator=(const GlobalState&) = delete;

private:
    ShapeLimits limits_;
};

// The user folder of a record input: its databases written from the sections, the font in the
// font list. The record is FDrawings.FPath + "/REC.dat". Beside it lie LINK.dat, a symbolic
// link to it, and PIPE.dat, a FIFO; the font folder holds a FIFO among its glyph files too.
// Nothing may wait on a FIFO: it reads as a file that is not open.
struct UserFolder {
    TDrawDB FDrawings;
    TDrawDB FFont;

    explicit UserFolder(std::string_view input)
    {
        const std::vector<std::string_view> sections = SplitSections(input);
        static const std::string recordHead = std::string("Fuzz") + std::string(kRecordHeadSize - 4, '\0');
        std::string glyphHead(kRecordHeadSize, '\0');

        // The folders, the link and the FIFOs are made once. Each input writes the files whose
        // section differs from the input before's (a mutation mostly changes one section) and
        // removes the glyph files that it does not have. What the files hold is known from the
        // input before itself, kept in one buffer: memory kept per file would be allocated in
        // one input and freed in another, which libFuzzer takes for a leak and runs again.
        static const std::string user = MakeUserFolder();
        static std::size_t glyphFiles = 0;
        static std::string before;  // the input the files were written from
        static bool known = false;  // the files hold the sections of `before`
        const std::vector<std::string_view> held = known ? SplitSections(before) : std::vector<std::string_view>{};
        known = false;
        const auto place = [&](std::size_t section, const std::string& path, std::string_view head,
                               std::string_view body) {
            if (section >= held.size() || held[section] != sections[section])
                WriteBytes(path, head, body);
        };

        const std::string drawings = user + "/QNDraw/DDRW/Fuzz";
        FDrawings.FName = "Fuzz";
        FDrawings.FPath = drawings;
        FDrawings.FKind = kDrawings;
        place(0, drawings + "/REC.dat", recordHead, sections[0]);

        FontList.Clear();
        if (sections.size() >= 2) {
            FFont.FName = DefaultFontName;
            FFont.FPath = user + "/QNDraw/DFNT/" + DefaultFontName;
            FFont.FKind = kFonts;
            place(1, FFont.FPath + ".dat", {}, sections[1]);
            const auto glyphPath = [this](std::size_t i) { return FFont.FPath + "/G" + std::to_string(i) + ".dat"; };
            for (std::size_t i = 2; i < sections.size(); ++i) {
                const std::string_view glyph = sections[i];
                if (glyph.empty()) {
                    place(i, glyphPath(i - 2), {}, {});
                    continue;
                }
                glyphHead[0] = glyph[0];
                place(i, glyphPath(i - 2), glyphHead, glyph.substr(1));
            }
            for (std::size_t i = sections.size() - 2; i < glyphFiles; ++i)
                ::unlink(glyphPath(i).c_str());
            glyphFiles = sections.size() - 2;
        }
        // An input without a font leaves the font files of an earlier one on disk; `before` then
        // has no font sections, so that the next input with a font writes all of its files.
        before.assign(input);
        known = true;
        if (sections.size() < 2)
            return;
        try {
            FFont.ReadHeader();  // the em size
        } catch (const EBParseException&) {
            // A damaged header: the font keeps an em size of 0.
        }
        FontList.AddFontDatabase(&FFont);
    }
    ~UserFolder() { FontList.Clear(); }
    UserFolder(const UserFolder&) = delete;

    static std::string MakeUserFolder()
    {
        const std::string user = FreshFolder("user");
        const std::string drawings = user + "/QNDraw/DDRW/Fuzz";
        const std::string font = user + "/QNDraw/DFNT/" + DefaultFontName;
        std::filesystem::create_directories(drawings);
        std::filesystem::create_directories(font);
        std::filesystem::create_symlink("REC.dat", drawings + "/LINK.dat");
        MakeFifo(drawings + "/PIPE.dat");
        MakeFifo(font + "/PIPE.dat");
        return user;
    }
    UserFolder& operator=(const UserFolder&) = delete;
};

inline std::string_view AsText(const std::uint8_t* data, std::size_t size)
{
    return size == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(data), size);
}

// A database header and a record's name and thumbnail.
inline int HeaderEntry(const std::uint8_t* data, std::size_t size)
{
    const GlobalState state(GetShapeLimits());
    const std::string folder = FreshFolder("header");
    WriteBytes(folder + "/Fuzz.dat", {}, AsText(data, size));
    std::filesystem::create_directories(folder + "/Fuzz");
    try {
        TDrawDB db;
        db.FPath = folder + "/Fuzz";
        db.ReadHeader();
    } catch (const EBParseException&) {
    }
    try {
        // The same file through the scan's test of the version.
        (void)AddDatabase(folder, "fuzz", kDrawings);
    } catch (const EBParseException&) {
    }
    // The bytes as a record file: its name and 32 x 32 thumbnail (never a format error).
    TDrawDB db;
    db.FPath = folder;
    TDrawing drawing(&db, "Fuzz.dat");
    if (!drawing.FThumbnail || drawing.FThumbnail->Width() != 32 || drawing.FName.size() > 32)
        std::abort();
    return 0;
}

// A record loaded and normalised, in a user folder whose font is fuzzed too.
inline int RecordEntry(const std::uint8_t* data, std::size_t size)
{
    const GlobalState state(kRecordLimits);
    UserFolder user(AsText(data, size));
    TDrawing drawing(&user.FDrawings, "REC.dat");
    CheckPlacements(drawing, user.FDrawings);
    // The normalising load reads everything the plain one reads, and more; the plain load (the
    // SVG export's) is the pipeline's, so that the reading and the text layout are done once.
    try {
        drawing.LoadShapes(true);
        (void)drawing.GetBounds();
    } catch (const EBParseException&) {
    }
    return 0;
}

// A record through every writer: SVG, EMF, WMF, the raster (with the BMP, PNG and JPEG
// encoders) and PDF, loaded before each as plotwick-cli's export loads it.
inline int PipelineEntry(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const GlobalState state(kPipelineLimits);
    const std::uint8_t options = data[0];
    const RenderOptions render{(options & 1) ? "Arial" : ""};
    const bool fit = (options & 2) != 0;
    const SvgOptions svg{render.SubstituteFontName, (options & 4) != 0};
    UserFolder user(AsText(data + 1, size - 1));
    TDrawing drawing(&user.FDrawings, "REC.dat");
    CheckPlacements(drawing, user.FDrawings);

    const auto attempt = [&](auto&& step) {
        try {
            drawing.LoadShapes(true);
            step();
        } catch (const EBParseException&) {
        } catch (const std::runtime_error&) {
        }
    };
    attempt([&] {
        // The SVG export reloads the file's own coordinates after the normalising load.
        drawing.LoadShapes(false);
        SvgText doc;
        BuildSvg(drawing, doc, svg);
        (void)SvgFileBytes(doc);
    });
    std::vector<std::uint8_t> emf;
    attempt([&] { emf = CreateMetafile(drawing, render); });
    if (!emf.empty()) {
        try {
            (void)gdi::ConvertEmfToPlaceableWmf(emf, kPipelineWmfPoints);
        } catch (const std::runtime_error&) {
        }
    }
    attempt([&] { (void)CreatePdf(drawing, render); });
    attempt([&] {
        gdi::Bitmap24 bitmap(kRasterWidth, kRasterHeight);
        RenderToBitmap(drawing, bitmap, fit, render);
        (void)gdi::EncodeBmp(bitmap);
        (void)gdi::EncodePng(bitmap);
        (void)EncodeJpeg(bitmap, JpegOptions{});
    });
    return 0;
}

}  // namespace plotwick::fuzz
