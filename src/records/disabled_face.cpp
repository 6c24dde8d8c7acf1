#include "records/disabled_face.h"

namespace {
std::uint32_t Rgb(std::uint32_t pixel) {
    return pixel & 0xFFFFFFu;
}
std::int64_t Brightness(std::uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF);
}
}  // namespace

std::vector<std::uint32_t> DisabledFacePixels(const std::vector<std::uint32_t>& pixels, int width,
                                              int height, std::uint32_t face, std::uint32_t shadow,
                                              std::uint32_t highlight) {
    if (width <= 0 || height <= 0 ||
        pixels.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        return {};
    }
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::uint32_t t = Rgb(pixels[static_cast<std::size_t>(height - 1) * width]);

    std::int64_t sum = 0;
    std::int64_t others = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (Rgb(pixels[i]) != t) {
            sum += Brightness(pixels[i]);
            ++others;
        }
    }
    std::vector<std::uint32_t> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (Rgb(pixels[i]) == t) {
            out[i] = face;
        } else {
            // brightness > sum / others, without rounding the mean
            out[i] = Brightness(pixels[i]) * others > sum ? shadow : highlight;
        }
    }
    return out;
}
