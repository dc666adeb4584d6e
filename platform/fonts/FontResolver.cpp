#include "platform/fonts/FontResolver.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace plotwick::gdi {

namespace {

constexpr std::size_t kMaxCached = 256;

std::int32_t NormalWeight(std::int32_t weight)
{
    if (weight <= 0)
        return 400;  // "don't care"
    return std::min<std::int32_t>(weight, 1000);
}

bool SameFamily(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// Whether fontconfig's match for an exact-family request is that family in the requested style.
bool IsTheFamily(FcPattern* match, const FontRequest& request, std::int32_t weight)
{
    bool familyMatches = false;
    FcChar8* value = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i)
        familyMatches = familyMatches || SameFamily(reinterpret_cast<const char*>(value), request.family.c_str());
    int slant = -1, matchWeight = -1, width = -1;
    FcPatternGetInteger(match, FC_SLANT, 0, &slant);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &matchWeight);
    FcPatternGetInteger(match, FC_WIDTH, 0, &width);
    const double openTypeWeight = matchWeight < 0 ? -1 : FcWeightToOpenTypeDouble(matchWeight);
    return familyMatches && slant == (request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN) && openTypeWeight >= 0 &&
           openTypeWeight >= weight - 20 && openTypeWeight <= weight + 100 && width == FC_WIDTH_NORMAL;
}

// The lookup itself; called with the mutex held and fontconfig initialised.
std::shared_ptr<const ResolvedFace> Lookup(const FontRequest& request, std::int32_t weight)
{
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return nullptr;
    if (!request.family.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(request.family.c_str()));
    FcPatternAddDouble(pattern, FC_WEIGHT, FcWeightFromOpenTypeDouble(weight));
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (request.exactFamily) {
        FcPatternAddInteger(pattern, FC_WIDTH, FC_WIDTH_NORMAL);
        FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    } else {
        FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return nullptr;
    auto face = std::make_shared<ResolvedFace>(match);  // owns the match from here on
    FcChar8* file = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch)
        return nullptr;
    if (request.exactFamily && !IsTheFamily(match, request, weight))
        return nullptr;
    face->file = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(match, FC_INDEX, 0, &face->index);
    return face;
}

}  // namespace

ResolvedFace::ResolvedFace(FcPattern* pattern) : match(pattern) {}

ResolvedFace::~ResolvedFace()
{
    if (match)
        FcPatternDestroy(match);
}

std::shared_ptr<const ResolvedFace> ResolveFont(const FontRequest& request)
{
    static std::mutex mutex;
    static bool initialised = false, failed = false;
    static std::map<FontRequest, std::shared_ptr<const ResolvedFace>> cache;

    FontRequest key = request;
    key.weight = NormalWeight(request.weight);
    std::lock_guard<std::mutex> lock(mutex);
    if (!initialised && !failed) {
        initialised = FcInit() == FcTrue;
        failed = !initialised;
    }
    if (failed)
        return nullptr;
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    auto face = Lookup(key, key.weight);
    if (cache.size() >= kMaxCached)
        cache.clear();  // the callers hold the faces they use
    cache.emplace(std::move(key), face);
    return face;
}

}  // namespace plotwick::gdi
