// The face lookup shared by the Cairo device, the text measure and the sample tool.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include <fontconfig/fontconfig.h>

#include "platform/fonts/FontResolver.h"

using namespace plotwick::gdi;

namespace {

constexpr const char* kNoSuchFamily = "Plotwick No Such Family";

TEST(FontResolver, ExactFamilyRefusesWhatFontconfigSubstitutes)
{
    const auto substitute = ResolveFont({kNoSuchFamily, 400, false, false});
    if (!substitute)
        GTEST_SKIP() << "no scalable face installed";
    EXPECT_FALSE(substitute->file.empty());
    EXPECT_EQ(ResolveFont({kNoSuchFamily, 400, false, true}), nullptr);

    // The family the substitute belongs to is found exactly, its name in any case.
    char* family = nullptr;
    ASSERT_EQ(FcPatternGetString(substitute->match, FC_FAMILY, 0, reinterpret_cast<FcChar8**>(&family)),
              FcResultMatch);
    std::string upper = family;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const auto exact = ResolveFont({upper, 400, false, true});
    if (!exact)
        GTEST_SKIP() << family << " has no regular upright face of normal width";
    EXPECT_EQ(exact->file, ResolveFont({family, 400, false, true})->file);
}

TEST(FontResolver, WeightsOutsideTheScaleAndRepeatsGiveTheCachedFace)
{
    const struct {
        FontRequest a, b;
    } sameFace[] = {
        {{"Arial", 0, false}, {"Arial", 400, false}},     // 0: don't care, taken as regular
        {{"Arial", -5, true}, {"Arial", 400, true}},
        {{"Arial", 5000, false}, {"Arial", 1000, false}},  // past the scale: the heaviest
        {{"Arial", 700, false}, {"Arial", 700, false}},
    };
    for (const auto& c : sameFace)
        EXPECT_EQ(ResolveFont(c.a), ResolveFont(c.b)) << c.a.weight << " / " << c.b.weight;
}

TEST(FontResolver, ThreadsResolvingAtOnceGetTheSameFaces)
{
    const std::vector<FontRequest> requests = {
        {"Arial", 400, false}, {"Times New Roman", 700, true}, {"Courier New", 400, true}, {"", 400, false}};
    std::vector<std::vector<std::shared_ptr<const ResolvedFace>>> found(4);
    std::vector<std::thread> threads;
    for (auto& f : found)
        threads.emplace_back([&f, &requests] {
            for (int round = 0; round < 50; ++round)
                for (const FontRequest& r : requests)
                    f.push_back(ResolveFont(r));
        });
    for (auto& t : threads)
        t.join();
    for (const auto& f : found)
        for (std::size_t i = 0; i < f.size(); ++i)
            EXPECT_EQ(f[i], found[0][i % requests.size()]);
}

}  // namespace
