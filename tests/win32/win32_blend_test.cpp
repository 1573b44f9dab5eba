// The system's AlphaBlend as the wallpaper uses it: exact results over black,
// the mix over other colours, refused sizes, and the library's lifetime.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/win32/win32_pictures.h"

namespace duskpane {
namespace {

// One row holding every channel value: red rises, green falls, blue steps by 7.
Bitmap32 EveryValue() {
    Bitmap32 source(256, 1);
    for (int v = 0; v < 256; ++v) {
        source.Set(v, 0, MakeRgb(uint8_t(v), uint8_t(255 - v), uint8_t((v * 7) & 0xFF)));
    }
    return source;
}

uint8_t OverBlack(unsigned value, unsigned alpha) { return uint8_t((value * alpha + 127) / 255); }

TEST(Win32BlendTest, OverBlackEachChannelIsRoundedSourceTimesAlpha) {
    Win32BlendLibrary library;
    const auto blend = library.Load();
    ASSERT_TRUE(blend);
    const Bitmap32 source = EveryValue();
    for (unsigned alpha : {0u, 1u, 64u, 127u, 128u, 200u, 254u, 255u}) {
        Bitmap32 target(256, 1, kBlack);
        ASSERT_TRUE(blend->AlphaBlend(target, source, uint8_t(alpha)));
        int wrong = 0;
        for (int x = 0; x < 256; ++x) {
            const Pixel s = source.At(x, 0);
            const Pixel expected = MakeRgb(OverBlack(RedOf(s), alpha), OverBlack(GreenOf(s), alpha),
                                           OverBlack(BlueOf(s), alpha));
            if (target.At(x, 0) != expected) ++wrong;
        }
        EXPECT_EQ(wrong, 0) << "alpha " << alpha;
    }
}

// Over other colours each channel is src x alpha / 255 + dst x (255 - alpha) / 255,
// rounded either way; rows and columns stay where they were.
TEST(Win32BlendTest, OverColoursEveryPixelMixesWithItsOwnDestination) {
    Win32BlendLibrary library;
    const auto blend = library.Load();
    ASSERT_TRUE(blend);
    Bitmap32 source(37, 23);
    Bitmap32 before(37, 23);
    for (int y = 0; y < 23; ++y) {
        for (int x = 0; x < 37; ++x) {
            source.Set(x, y, MakeRgb(uint8_t(x * 7), uint8_t(y * 11), 250));
            before.Set(x, y, MakeRgb(200, uint8_t(x + y * 5), uint8_t(255 - x * 3)));
        }
    }
    for (unsigned alpha : {0u, 77u, 128u, 255u}) {
        Bitmap32 target = before;
        ASSERT_TRUE(blend->AlphaBlend(target, source, uint8_t(alpha)));
        const auto mix = [alpha](unsigned src, unsigned dst) {
            return (src * alpha + dst * (255 - alpha)) / 255.0;
        };
        for (int y = 0; y < 23; ++y) {
            for (int x = 0; x < 37; ++x) {
                const Pixel s = source.At(x, y);
                const Pixel d = before.At(x, y);
                const Pixel got = target.At(x, y);
                const std::string at = std::to_string(x) + "," + std::to_string(y);
                ASSERT_LE(std::abs(RedOf(got) - mix(RedOf(s), RedOf(d))), 1.0) << at;
                ASSERT_LE(std::abs(GreenOf(got) - mix(GreenOf(s), GreenOf(d))), 1.0) << at;
                ASSERT_LE(std::abs(BlueOf(got) - mix(BlueOf(s), BlueOf(d))), 1.0) << at;
                ASSERT_EQ(got >> 24, 0u);
            }
        }
    }
}

TEST(Win32BlendTest, SizesThatDifferAreRefusedAndEmptyPicturesAreNothing) {
    Win32BlendLibrary library;
    const auto blend = library.Load();
    ASSERT_TRUE(blend);
    Bitmap32 target(4, 3, MakeRgb(1, 2, 3));
    const Bitmap32 before = target;
    EXPECT_FALSE(blend->AlphaBlend(target, Bitmap32(3, 4, kWhite), 128));
    EXPECT_FALSE(blend->AlphaBlend(target, Bitmap32(4, 2, kWhite), 128));
    EXPECT_EQ(target, before);
    Bitmap32 empty;
    EXPECT_TRUE(blend->AlphaBlend(empty, Bitmap32(), 128));
    EXPECT_TRUE(empty.Empty());
}

TEST(Win32BlendTest, AMissingLibraryOrFunctionGivesNoBlend) {
    EXPECT_EQ(Win32BlendLibrary(L"duskpane-no-such-library.dll", "AlphaBlend").Load(), nullptr);
    EXPECT_EQ(Win32BlendLibrary(L"msimg32.dll", "NoSuchBlend").Load(), nullptr);
    EXPECT_EQ(Win32BlendLibrary(L"kernel32.dll", "AlphaBlend").Load(), nullptr);
}

// Each Load takes the library and the function object gives it back: a
// library that nothing else in the process uses is gone again afterwards.
TEST(Win32BlendTest, TheFunctionHoldsTheLibraryUntilItIsDestroyed) {
    const std::pair<const wchar_t*, const char*> candidates[] = {
        {L"msimg32.dll", "AlphaBlend"}, {L"imagehlp.dll", "ImageLoad"}};
    const wchar_t* unused = nullptr;
    const char* function = nullptr;
    for (const auto& [name, proc] : candidates) {
        if (GetModuleHandleW(name) == nullptr) {
            unused = name;
            function = proc;
            break;
        }
    }
    ASSERT_NE(unused, nullptr) << "every candidate library is already loaded";
    Win32BlendLibrary library(unused, function);
    {
        const auto first = library.Load();
        ASSERT_TRUE(first);
        {
            const auto second = library.Load();
            ASSERT_TRUE(second);
        }
        EXPECT_NE(GetModuleHandleW(unused), nullptr);
    }
    EXPECT_EQ(GetModuleHandleW(unused), nullptr);
}

}  // namespace
}  // namespace duskpane
