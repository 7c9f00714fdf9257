#pragma once

#include <climits>
#include <string>

namespace floodmark::fixtures {

// How far apart two pictures are: the mean difference of their colour channels (0…255) and
// the share of pixels with a channel more than `far` levels apart. Pictures of different
// sizes, or that cannot be read, are as far apart as can be. Only the rows from `firstRow` up
// to (not including) `endRow` are compared.
struct PictureDifference {
    double mean = 255;
    double farShare = 1;
};

PictureDifference differenceOfPngs(const std::string& seen, const std::string& expected, int far,
                                   int firstRow = 0, int endRow = INT_MAX);

// Writes `from` blown up `factor` times (shrunk when below 1), each pixel taken from its nearest,
// to `to`, as a compositor shows a buffer drawn at too small (or too large) a scale. False when
// it could not.
bool blowUpPng(const std::string& from, const std::string& to, double factor);

}  // namespace floodmark::fixtures
