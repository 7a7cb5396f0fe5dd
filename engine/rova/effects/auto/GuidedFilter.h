#pragma once
// Internal: the guided filter (He, Sun and Tang), an edge-aware smoothing in box filters. Within
// each window the output is a linear function a * guide + b of the guide fitted to the input;
// where the guide varies much more than eps (an edge) a stays near 1 and the edge is kept.
#include <opencv2/core.hpp>

namespace rova::auto_support {

// The window-averaged coefficients of the fit of p to the guide I (both CV_32F, same size), over
// windows of radius r: the filtered value is meanA * I + meanB, here or on a finer grid of I.
void guidedCoefficients(const cv::Mat& I, const cv::Mat& p, int r, float eps, cv::Mat& meanA, cv::Mat& meanB);

}  // namespace rova::auto_support
