#include "tools/SampleFolder.h"

#include <filesystem>

#include "platform/files/Files.h"
#include "tools/SampleArt.h"
#include "tools/SampleFont.h"

namespace plotwick::sample {

namespace {

constexpr int kDrawingsKind = 0, kLibraryKind = 1;

void AddRecords(fixture::UserFolder& user, const std::string& db, const std::vector<SampleRecord>& records)
{
    for (const SampleRecord& r : records)
        user.AddRecord(db, r.fileName, fixture::Record(r.name, r.stream));
}

// A record that would show up if the folder around it were taken for a database.
fixture::Bytes StrayRecord(const char* name)
{
    return fixture::Record(name, ShapeStream({Shape(Rgb(255, 0, 255), Rgb(0, 0, 0), Rect(0, 0, 50, 50))}));
}

// Folder entries beside the drawing databases that are no databases: a folder without a
// header, a database of another format version, a plain file and a hidden database.
void AddStrayEntries(fixture::UserFolder& user)
{
    const std::string drawings = user.Root() + "/QNDraw/DDRW";
    fixture::MakeFolders(drawings + "/Notes");
    fixture::WriteFile(drawings + "/Notes/Note.dat", StrayRecord("Note without header"));

    const std::string old = user.AddDatabase(kDrawingsKind, "Old sketches", 1.5f);
    user.AddRecord(old, "Old.dat", StrayRecord("Newer format"));

    fixture::WriteFile(drawings + "/readme.txt",
                       fixture::Bytes().raw("Drawings copied from the handheld by HotSync.\r\n"
                                            "Each folder is one database; the .dat file beside it is its header.\r\n"));

    const std::string hidden = user.AddDatabase(kDrawingsKind, ".cache");
    user.AddRecord(hidden, "Cached.dat", StrayRecord("Hidden database"));
}

}  // namespace

void WriteSampleBase(const std::string& base)
{
    namespace fs = std::filesystem;
    // The faces first: without them nothing is written.
    const SystemFace sans = FindSystemFace({"DejaVu Sans", "Liberation Sans"});
    const SystemFace serif = FindSystemFace({"DejaVu Serif", "Liberation Serif"});

    // The user folder is built under a hidden name (the provider passes hidden folders by)
    // and put in place of an earlier sample only when complete.
    fixture::MakeFolders(base);
    const std::string root = base + "/" + kUserFolder;
    const std::string building = base + "/." + kUserFolder + ".new";
    fs::remove_all(building);
    try {
        fixture::UserFolder user(building);
        AddRecords(user, user.AddDatabase(kDrawingsKind, "Sketchbook"), SketchbookRecords());
        AddRecords(user, user.AddDatabase(kDrawingsKind, "Doodles"), DoodlesRecords());
        AddStrayEntries(user);
        AddRecords(user, user.AddDatabase(kLibraryKind, "Stencils"), StencilsRecords());

        WriteFontDatabase(user, kSansFont, sans, PrintableCodes(), 0);
        // The serif face: the ASCII characters only, with a little of each advance given as spacing.
        std::vector<std::uint8_t> ascii;
        for (int c = 0x20; c < 0x7F; ++c)
            ascii.push_back(static_cast<std::uint8_t>(c));
        WriteFontDatabase(user, kSerifFont, serif, ascii, 24);

        StoreThumbnails(building);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(building, ignored);
        throw;
    }
    fs::remove_all(root);
    fs::rename(building, root);

    const std::string index = "# HotSync users: ID<TAB>NAME<TAB>FOLDER\n" + std::string(kUserId) + "\t" + kUserName +
                              "\t" + kUserFolder + "\n";
    files::WriteFileAtomically(base + "/users.txt", index.data(), index.size());
}

}  // namespace plotwick::sample
