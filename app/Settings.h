// The values the program keeps between runs, in QSettings("Quarnel", "Dezevazi"). The window's
// user and layout are signed 32-bit integers, read once at start-up and written once at exit;
// the user's choices (text as outlines, thumbnail size) and the folders opened are written as
// soon as they change.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include <QStringList>

class QSettings;

namespace plotwick::app::settings {

struct Key {
    const char* name;
    std::int32_t fallback;  // what start-up uses when the value is absent
};

// Every stored value, once, with what an absent value means.
inline constexpr Key UserID{"UserID", -1};          // HotSync user; -1: none stored
inline constexpr Key WinState{"WinState", 0};       // 0 normal, 1 minimised, 2 maximised
inline constexpr Key WinLeft{"WinLeft", 0};         // outer placement of the normal window;
inline constexpr Key WinTop{"WinTop", 0};           // absent: the window is centred
inline constexpr Key WinWidth{"WinWidth", 704};
inline constexpr Key WinHeight{"WinHeight", 536};
inline constexpr Key PanLeft{"panLeft", 225};       // width of the left column
inline constexpr Key PanPreview{"panPreview", 212};  // height of the preview box
// SVG export from the window: texts as outlines (1) or as text elements with their fonts (0);
// written as soon as the export settings dialog is confirmed.
inline constexpr Key TextOutlines{"TextOutlines", 1};

// The side of the drawing list's thumbnails in pixels (32, 64, 128 or 256), written as soon as
// the user changes it.
inline constexpr Key ThumbnailSize{"ThumbnailSize", 32};

// Text values; absent means empty.
struct TextKey {
    const char* name;
};
inline constexpr TextKey RecentFolders{"RecentFolders"};  // the folders opened, the latest first
inline constexpr TextKey LastFolder{"LastFolder"};        // where the next start begins
inline constexpr TextKey LastExportFolder{"LastExportFolder"};  // where the export dialogs start

inline constexpr const char* kOrganization = "Quarnel";
inline constexpr const char* kApplication = "Dezevazi";

// The store. Names are matched without regard to case, as the original store matched them.
class Store {
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // False when the store exists but cannot be read (unreadable or damaged file).
    bool Readable() const;
    // The value, or none when it is absent or is not a whole number within 32 bits.
    std::optional<std::int32_t> Read(const Key& key) const;

    // The texts stored under key: one for a single value, in order for a list.
    QStringList Read(const TextKey& key) const;

    bool Writable() const;
    void Write(const Key& key, std::int32_t value);
    // An empty list removes the value.
    void Write(const TextKey& key, const QStringList& texts);
    // Writes the file out; false when that failed.
    bool Flush();

private:
    void Put(const QString& name, const QVariant& value);
    std::unique_ptr<QSettings> settings_;
};

}  // namespace plotwick::app::settings
