#include "text/VFont.h"

#include <cstring>
#include <mutex>

#include "model/BParser.h"
#include "model/DrawDB.h"
#include "platform/files/Files.h"

namespace plotwick {

VFontList FontList;

namespace {

constexpr std::int32_t kShapeStreamOffset = 1096;

// Glyphs are loaded under one lock for every font: loading a glyph lays out the texts its
// outlines hold, which may load glyphs of other fonts on the same thread. A thread that asks
// for a glyph another thread is loading waits for it; glyphs already loaded are read without
// the lock.
std::recursive_mutex& GlyphLoadLock()
{
    static std::recursive_mutex lock;
    return lock;
}

// Marks a code's glyph as being loaded while its file is read (under the load lock), so that a
// glyph whose outlines hold a text needing the very same glyph does not start loading it again
// without end.
struct LoadingMark {
    LoadingMark(std::array<bool, 256>& flags, std::uint8_t code) : flags_(flags), code_(code) { flags_[code_] = true; }
    ~LoadingMark() { flags_[code_] = false; }
    LoadingMark(const LoadingMark&) = delete;
    LoadingMark& operator=(const LoadingMark&) = delete;
    std::array<bool, 256>& flags_;
    std::uint8_t code_;
};

}  // namespace

void VGlyph::Load(int handle, std::int64_t size)
{
    const ShapeCountScope count;
    BParser reader(handle, kShapeStreamOffset, 0, size);
    std::uint8_t t = reader.ReadTag();
    if (t == 'a') {
        const std::uint16_t n = reader.ReadWord();
        reader.Skip(static_cast<std::int32_t>(n) * 8);
        t = reader.ReadTag();
    }
    if (t == 'f') {
        FWidth = reader.ReadWord();
        FSpacing = reader.ReadSmallInt();
        t = reader.ReadTag();
    }
    if (t == '#') {
        reader.Skip(8);
        t = reader.ReadTag();
    }
    for (auto shape = ShapeFactory::CreateShape(t); shape; shape = ShapeFactory::CreateShape(t)) {
        if (auto kept = ReadShape(reader, std::move(shape))) {
            kept->FIsGlyph = true;
            FOutlines.push_back(std::move(kept));
        }
        t = reader.ReadTag();
    }
}

void VGlyph::AppendOutlines(std::vector<std::unique_ptr<VPath>>& list, FPoint& pen,
                            const std::optional<VColor>& fill, const std::optional<VColor>& stroke) const
{
    const Matrix3 move = Matrix3::Translation(pen.x, pen.y);
    for (const auto& outline : FOutlines) {
        if (!outline)
            continue;
        // The copy goes into the text being read: an outline loaded for a text nested less
        // deeply may not make this one nest past the limit, and copies count as read shapes.
        if (ShapeNestingDepth() + ShapeNestingHeight(*outline) > kMaxShapeNesting)
            ThrowIncorrectFormat();
        CountShapeTree(*outline);
        auto copy = outline->Clone();
        if (stroke)
            copy->SetStroke(stroke->Color);
        if (fill)
            copy->SetFill(fill->Color);
        copy->Transform(move);
        copy->FIsGlyph = true;
        list.push_back(std::move(copy));
    }
    pen.x = static_cast<float>(static_cast<long double>(pen.x) + FWidth + FSpacing);
}

VFont::VFont(TDrawDB* db) : FDB(db), FName(db->FName) {}

const std::string& VFont::GlyphFile(std::uint8_t code)
{
    // The glyph files are filed by code the first time a glyph is asked for: a user's fonts are
    // known from the start, but only the drawings with texts pay for reading their files.
    std::call_once(scanned_, [this] { ScanGlyphFiles(); });
    return glyphFiles_[code];
}

VFont::~VFont() = default;

void VFont::ScanGlyphFiles()
{
    // A glyph's code is the first byte of its file; an empty file holds the missing glyph
    // (code 0), and of two files with one code the later in the listing is kept.
    folder_ = std::make_unique<files::Folder>(FDB->FPath);
    for (const auto& entry : files::Enumerate(FDB->FPath, "*.dat", files::Hidden::Include)) {
        std::uint8_t first = 0;
        const long n = folder_->ReadStart(entry, &first, 1);
        if (n >= 0)
            glyphFiles_[n == 1 ? first : 0] = entry.name;
    }
}

VGlyph* VFont::GetGlyph(std::uint8_t code)
{
    if (VGlyph* glyph = loaded_[code].load(std::memory_order_acquire))
        return glyph;
    const std::lock_guard lock(GlyphLoadLock());
    if (VGlyph* glyph = loaded_[code].load(std::memory_order_relaxed))
        return glyph;
    // Through the folder held open since the scan: no path walked for each glyph.
    const auto fileExists = [this](std::uint8_t c) {
        return !GlyphFile(c).empty() && folder_->HasPlainFile(GlyphFile(c));
    };
    const auto load = [this](std::uint8_t c) -> VGlyph* {
        if (loading_[c])
            return nullptr;  // asked for again while it is being read: no glyph
        LoadingMark mark(loading_, c);
        auto glyph = std::make_unique<VGlyph>();
        const std::string& file = GlyphFile(c);  // scans the folder first, if need be
        std::int64_t size = -1;
        const int handle = folder_->Open(file, &size);
        glyph->Load(handle, size);
        glyphs_[c] = std::move(glyph);
        loaded_[c].store(glyphs_[c].get(), std::memory_order_release);
        return glyphs_[c].get();
    };
    if (fileExists(code))
        return load(code);
    if (VGlyph* missing = loaded_[0].load(std::memory_order_relaxed))
        return missing;
    if (fileExists(0))
        return load(0);
    return nullptr;
}

void VFont::PlaceGlyph(std::uint8_t code, std::vector<std::unique_ptr<VPath>>& list, FPoint& pen,
                       const std::optional<VColor>& fill, const std::optional<VColor>& stroke)
{
    if (VGlyph* glyph = GetGlyph(code))
        glyph->AppendOutlines(list, pen, fill, stroke);
}

std::int32_t VFont::UnitsPerEm() const
{
    return FDB ? FDB->FHeaderWord : 0;
}

void VFontList::AddFontDatabase(TDrawDB* db)
{
    FFonts.emplace_back(db->FName, std::make_unique<VFont>(db));
}

VFont* VFontList::FindFont(const std::string& name) const
{
    for (const auto& [fontName, font] : FFonts)
        if (files::NamesEqual(fontName, name))
            return font.get();
    for (const auto& [fontName, font] : FFonts)
        if (files::NamesEqual(fontName, DefaultFontName))
            return font.get();
    return nullptr;
}

}  // namespace plotwick
