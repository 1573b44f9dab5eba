// Picture limits and the plan of which pixels of a picture are decoded.
#include "util/picture_part.h"

namespace duskpane {

namespace {

int64_t CeilDiv(int64_t value, int64_t divisor) { return (value + divisor - 1) / divisor; }

}  // namespace

bool PictureSidesAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kPictureMaxSide && height <= kPictureMaxSide;
}

bool PictureSizeAllowed(int64_t width, int64_t height) {
    return PictureSidesAllowed(width, height) && width * height <= kPictureMaxPixels;
}

std::optional<PicturePlan> PlanPicture(int64_t width, int64_t height, const PictureRequest& request) {
    if (!PictureSidesAllowed(width, height)) return std::nullopt;
    PicturePlan plan;
    plan.width = plan.outWidth = int(width);
    plan.height = plan.outHeight = int(height);
    switch (request.fit) {
    case PictureRequest::Fit::Whole:
        break;
    case PictureRequest::Fit::Centred:
        // Centring puts the picture at (area - picture) / 2, the division
        // truncating toward zero; of a larger picture the area then shows
        // the columns from (picture - area) / 2 on. An area of no size
        // limits nothing.
        if (request.width > 0 && request.width < width) {
            plan.left = int((width - request.width) / 2);
            plan.outWidth = request.width;
        }
        if (request.height > 0 && request.height < height) {
            plan.top = int((height - request.height) / 2);
            plan.outHeight = request.height;
        }
        break;
    case PictureRequest::Fit::Reduced:
    case PictureRequest::Fit::ReducedToFit:
        for (const int step : {8, 4, 2}) {
            const bool covers = request.fit == PictureRequest::Fit::Reduced
                                    ? CeilDiv(width, step) >= request.width && CeilDiv(height, step) >= request.height
                                    // Fitted, the picture takes the scale of the side that meets the box
                                    // first: the reduced picture still reaches the box on that side.
                                    : int64_t(step) * request.width <= width || int64_t(step) * request.height <= height;
            if (covers) {
                plan.step = step;
                break;
            }
        }
        plan.outWidth = int(CeilDiv(width, plan.step));
        plan.outHeight = int(CeilDiv(height, plan.step));
        break;
    }
    if (int64_t(plan.outWidth) * plan.outHeight > kPictureMaxPixels) return std::nullopt;
    return plan;
}

}  // namespace duskpane
