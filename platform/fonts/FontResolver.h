// The installed face for a family, weight and slant: the one lookup through fontconfig that the
// Cairo device, the text measure of the metafile recorder and the sample-folder tool share.
//
// fontconfig is initialised on the first request, not before: most drawings have no text in a
// substitute face. Requests may come from several threads; the fontconfig calls and the cache
// of answers are serialised by one mutex. Every answer is kept (up to 256 requests, then the
// cache starts afresh), so a face is looked up once, however many devices draw in it.
#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <string>

typedef struct _FcPattern FcPattern;

namespace plotwick::gdi {

struct FontRequest {
    std::string family;         // UTF-8; empty: fontconfig's default family
    std::int32_t weight = 400;  // 1..1000 as in a logical font (400 regular, 700 bold); 0 or less: 400
    bool italic = false;
    // false: the face fontconfig picks among the scalable ones, whatever family it substitutes.
    // true: only a face of this very family (a name of the match equal to it without regard to
    // case) with outlines, in the requested slant, of normal width, and of a weight from 20
    // below to 100 above the requested one (for 400: from book to medium).
    bool exactFamily = false;

    friend auto operator<=>(const FontRequest&, const FontRequest&) = default;
};

struct ResolvedFace {
    std::string file;
    int index = 0;        // the face's index within the file
    FcPattern* match;     // fontconfig's whole answer, with the rendering options it carries
                          // (synthetic emboldening, hinting) for Cairo; owned

    explicit ResolvedFace(FcPattern* pattern);
    ~ResolvedFace();
    ResolvedFace(const ResolvedFace&) = delete;
    ResolvedFace& operator=(const ResolvedFace&) = delete;
};

// The weight fontconfig is asked for: the logical font's weight (0 or less meaning 400, more
// than 1000 meaning 1000) on fontconfig's scale, 400 becoming FC_WEIGHT_REGULAR and 700
// FC_WEIGHT_BOLD. The face found is nullptr when fontconfig cannot be initialised, when the
// match has no file, or when an exact-family request finds no face of that family.
std::shared_ptr<const ResolvedFace> ResolveFont(const FontRequest& request);

}  // namespace plotwick::gdi
