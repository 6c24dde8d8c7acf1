#pragma once

#include <cstdint>
#include <vector>

// The greyed face of a bitmap button, derived from its normal image. Pixels are 0xRRGGBB (any
// alpha byte is ignored), row by row from the top.
//
// t is the colour of the bottom-left pixel (the image's transparent colour) and a the mean of
// R + G + B over every pixel whose colour is not t. Pixels of colour t become `face`; the
// others become `shadow` when their R + G + B is above a, else `highlight`. An image made only
// of t becomes all `face`; an empty image stays empty.
std::vector<std::uint32_t> DisabledFacePixels(const std::vector<std::uint32_t>& pixels, int width,
                                              int height, std::uint32_t face, std::uint32_t shadow,
                                              std::uint32_t highlight);
