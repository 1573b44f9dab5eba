// The open-picture dialog's preview on the headless decoders.
#include "preview_scenarios.h"

#include "platform/headless/headless_files.h"

namespace duskpane::preview_test {
namespace {

struct HeadlessProbe {
    HeadlessFileSystem files{'/'};
    HeadlessPictureDecoder decoder{files};

    PictureDecoder& Decoder() { return decoder; }
    std::string Put(const std::string& name, Bytes bytes) {
        files.AddFile("/pictures/" + name, std::move(bytes));
        return "/pictures/" + name;
    }
    std::string PutFolder(const std::string& name) {
        files.AddFolder("/pictures/" + name);
        return "/pictures/" + name;
    }
    std::string Missing(const std::string& name) { return "/pictures/" + name; }
    std::string PutQuadrantsJpeg(const std::string& name) { return Put(name, MakeHeadlessJpegFile(Quadrants(16, 16))); }
    std::function<void()> ThreadStart() { return {}; }
    std::function<void()> ThreadEnd() { return {}; }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Headless, PreviewScenarios, HeadlessProbe);

TEST(FitPreview, EmptyPicturesAndBoxesFitToNothing) {
    EXPECT_EQ(FitPreview(0, 10, 64, 64), PreviewSize());
    EXPECT_EQ(FitPreview(10, 10, 0, 64), PreviewSize());
    EXPECT_EQ(FitPreview(16384, 16384, kPreviewMaxBoxSide, kPreviewMaxBoxSide),
              PreviewSize({kPreviewMaxBoxSide, kPreviewMaxBoxSide}));
}

}  // namespace
}  // namespace duskpane::preview_test
