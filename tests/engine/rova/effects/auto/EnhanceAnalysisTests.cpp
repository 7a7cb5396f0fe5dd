// The shared analysis of the automatic enhancement: the illuminant estimators' error on real photos
// (unspoilt and under strong casts) and the dead zones that leave a good photo alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/TestSupport.h"
#include "engine/rova/processor/ProcessorTestSupport.h"
#include "rova/Color.h"
#include "rova/effects/EffectParametersContext.h"
#include "rova/effects/auto/EnhanceAnalysis.h"
#include "rova/reader/ImageReader.h"

using namespace rova;
namespace ea = rova::enhance_analysis;

namespace {

const char* kPhotos[] = {"astronaut", "chelsea", "coffee", "rocket"};

// The picture's analysis image under a light (each channel multiplied), clipped at white.
ImageDataRGBfPtr underLight(const ImagePtr& image, std::array<float, 3> light) {
  auto data = EffectParametersContext(image).analysisImage()->copy();
  float* px = data->floats();
  for (size_t i = 0; i < data->pixelCount(); ++i, px += 3)
    for (int k = 0; k < 3; ++k) px[k] = std::min(1.f, px[k] * light[k]);
  return data;
}

ImageDataRGBfPtr analysisImageOf(const std::string& name, std::array<float, 3> cast) {
  const auto path = solvane::test::dataDir() / "enhance" / (name + ".png");
  auto image = ImageReader::instance().read(path.string(), {}, kReadDefaultFlags, nullptr);
  return image ? underLight(image, cast) : nullptr;
}

}  // namespace

TEST(EnhanceAnalysis, DeadZoneLeavesSmallNeedsAloneAndFullNeedsWhole) {
  struct Case {
    double need, deadZone, left;
  };
  for (Case c : {Case{0.5, 1, 0}, Case{1, 1, 0}, Case{1.5, 1, 1}, Case{2, 1, 2}, Case{5, 1, 5}, Case{-1, 1, 0},
                 Case{0.3, 0, 0.3}})
    EXPECT_DOUBLE_EQ(ea::beyondDeadZone(c.need, c.deadZone), c.left) << c.need << " " << c.deadZone;
  // With the full inverse reached sooner: continuous at both ends, linear in between.
  struct Ramp {
    double need, deadZone, fullFrom, left;
  };
  for (Ramp r : {Ramp{8, 8, 12, 0}, Ramp{10, 8, 12, 6}, Ramp{12, 8, 12, 12}, Ramp{14, 8, 12, 14}, Ramp{12, 8, 16, 8}})
    EXPECT_DOUBLE_EQ(ea::beyondDeadZone(r.need, r.deadZone, r.fullFrom), r.left) << r.need << " " << r.fullFrom;
}

// The consensus's angular error against the light the photo was given (neutral, or the cast):
// small on the unspoilt photos, so their colour is left alone, and small enough under strong casts
// for the cast to be removed.
TEST(EnhanceAnalysis, IlluminantErrorOnRealPhotos) {
  const std::array<float, 3> casts[] = {{1, 1, 1}, {1.35f, 1, 0.6f}, {0.7f, 1.1f, 1.3f}};
  double sum[3] = {0, 0, 0};
  for (const char* name : kPhotos)
    for (int c = 0; c < 3; ++c) {
      auto image = analysisImageOf(name, casts[c]);
      ASSERT_TRUE(image) << name;
      const auto e = ea::estimateIlluminant(*image);
      const ea::Illuminant truth{casts[c][0], casts[c][1], casts[c][2]};
      const double error = ea::angularErrorDegrees(e.consensus, truth);
      std::printf(
          "%-10s cast %d: consensus %5.2f  grey edge %5.2f  shades of grey %5.2f  bright pixels %5.2f  grey pixels "
          "%5.2f (heard %.2f) deg\n",
          name, c, error, ea::angularErrorDegrees(e.greyEdge, truth), ea::angularErrorDegrees(e.shadesOfGrey, truth),
          ea::angularErrorDegrees(e.brightPixels, truth), ea::angularErrorDegrees(e.greyPixels, truth),
          e.greyPixelTrust);
      sum[c] += error;
    }
  const double n = double(std::size(kPhotos));
  std::printf("mean error: unspoilt %.2f, warm cast %.2f, cool-green cast %.2f deg\n", sum[0] / n, sum[1] / n,
              sum[2] / n);
  // Measured: 2.78, 5.00 and 6.39 degrees (the casts clip bright pixels in one channel; the astronaut's
  // grey pixels, heard at 0.8, are 2 degrees off where the other three's consensus was 0.4).
  EXPECT_LE(sum[0] / n, 4.0);
  EXPECT_LE(sum[1] / n, 6.0);
  EXPECT_LE(sum[2] / n, 7.0);
}

// Sharpening is needed by a soft photo, not by a good one: the photos as they are, and blurred by
// about a pixel.
TEST(EnhanceAnalysis, SoftPhotosNeedSharpeningAndSharpOnesDoNot) {
  for (const char* name : kPhotos) {
    auto image = analysisImageOf(name, {1, 1, 1});
    ASSERT_TRUE(image) << name;
    const int w = image->width(), h = image->height();
    auto blurred = proctest::makeImage(w, h, [&](int x, int y, float* c) {
      for (int k = 0; k < 3; ++k) {
        float sum = 0, weight = 0;
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx) {
            const float g = std::exp(-float(dx * dx + dy * dy) / 2);
            sum += g * proctest::px(*image, std::clamp(x + dx, 0, w - 1), std::clamp(y + dy, 0, h - 1))[k];
            weight += g;
          }
        c[k] = sum / weight;
      }
    });
    EXPECT_EQ(ea::analyse(*image).sharpenNeed, 0) << name;
    EXPECT_GT(ea::analyse(*blurred->imageData()).sharpenNeed, 0.5) << name;
  }
}

// A scene of one colour (a fundus photograph: red from edge to edge) is not a cast: the estimators
// see the scene's colour, so far from any light that the colour layer leaves it alone. Darkened, or
// under a cool-green light that brings the estimate back among plausible (warm) lights, it is still
// left alone: no part of it lies near that light's colour. A close-up of a ginger cat, nearly one
// colour too, under a warm light has a few pale hairs of the light's colour and is corrected.
TEST(EnhanceAnalysis, OneColouredSceneIsNotTakenForACast) {
  auto image = analysisImageOf("retina", {1, 1, 1});
  ASSERT_TRUE(image);
  const auto a = ea::analyse(*image);
  EXPECT_GT(ea::angularErrorDegrees(a.illuminant.unconstrained, {1, 1, 1}), 35);
  struct Case {
    const char* photo;
    std::array<float, 3> light;
    bool corrected;
  };
  for (Case c : {Case{"retina", {1, 1, 1}, false}, Case{"retina", {0.35f, 0.35f, 0.35f}, false},
                 Case{"retina", {0.7f, 1.1f, 1.3f}, false}, Case{"retina", {0.35f, 0.55f, 0.65f}, false},
                 Case{"chelsea", {1.35f, 1, 0.6f}, true}}) {
    auto spoilt = analysisImageOf(c.photo, c.light);
    ASSERT_TRUE(spoilt) << c.photo;
    const double strength = ea::analyse(*spoilt).colourStrength;
    if (c.corrected)
      EXPECT_GT(strength, 0.8) << c.photo << " x" << c.light[0] << "," << c.light[1] << "," << c.light[2];
    else
      EXPECT_LT(strength, 0.05) << c.photo << " x" << c.light[0] << "," << c.light[1] << "," << c.light[2];
  }
}

// A fade lifts the black of a one-coloured scene to grey: the estimators still see the scene's
// colour as a strong cast, but a cast would have tinted those shadows too, so the colour is left
// alone. A real cast over the same photo (shadows tinted with the rest) is still corrected.
TEST(EnhanceAnalysis, NeutralShadowsOfAFadedOneColouredSceneKeepItsColour) {
  auto faded = analysisImageOf("retina", {1, 1, 1});
  ASSERT_TRUE(faded);
  float* px = faded->floats();
  for (size_t i = 0; i < faded->pixelCount() * 3; ++i) {
    // Display-referred fade (0.3 + 0.4 x) in sRGB, back to linear.
    const double display = 0.3 + 0.4 * std::pow(std::max(0.f, px[i]), 1 / 2.2);
    px[i] = float(std::pow(display, 2.2));
  }
  EXPECT_LT(ea::analyse(*faded).colourStrength, 0.2);  // at most a trace of the correction

  auto warm = analysisImageOf("astronaut", {1.35f, 1, 0.6f});
  ASSERT_TRUE(warm);
  EXPECT_GT(ea::analyse(*warm).colourStrength, 0.5);
}

// Over-exposure is told by clipping that stays near white after the colour correction: a photo a stop
// too bright is darkened; a good photo with a blown lamp, a night scene whose flame is blown, and a
// cast that clipped one channel are not. (A night scene a stop too bright piles up at white no more
// than a good photo with a large blown sky does, so it is no longer darkened.)
TEST(EnhanceAnalysis, OverExposureIsToldByClippingThatStaysNearWhite) {
  struct Case {
    const char* photo;
    std::array<float, 3> light;
    bool darkened;
  };
  for (Case c : {Case{"astronaut", {2, 2, 2}, true}, Case{"coffee", {2, 2, 2}, true}, Case{"rocket", {1, 1, 1}, false},
                 Case{"astronaut", {1, 1, 1}, false}, Case{"ihc", {1.35f, 1, 0.6f}, false},
                 Case{"astronaut", {1.35f, 1, 0.6f}, false}}) {
    auto image = analysisImageOf(c.photo, c.light);
    ASSERT_TRUE(image) << c.photo;
    const double gain = ea::analyse(*image).tone.exposureGain;
    if (c.darkened)
      EXPECT_LT(gain, 0.75) << c.photo << " x" << c.light[0];
    else
      EXPECT_EQ(gain, 1) << c.photo << " x" << c.light[0];
  }
}

// Clipping says a stop was lost only where the clipped pixels are white, or where the picture is bright
// all through: a pale grey ceiling filling a third of the frame, under a cool-green cast that clips its
// blue, is not darkened; the same picture a stop too bright, its ceiling white, is.
TEST(EnhanceAnalysis, ClippingWithNoWhiteInItIsAColourNotOverExposure) {
  auto ceiling = proctest::makeImage(180, 120, [](int x, int y, float* c) {
    // The ceiling on the left; warm wood elsewhere, which pulls the estimated light warm of the cast
    // (the estimate then explains too little of the clipping).
    const float v = x < 60 ? 0.95f : 0.01f + 0.3f * float((x * 7 + y * 13) % 41) / 40;
    c[0] = v, c[1] = x < 60 ? v : 0.75f * v, c[2] = x < 60 ? v : 0.45f * v;
  });
  const auto cool = ea::analyse(*underLight(ceiling, {0.7f, 1.1f, 1.3f}));
  EXPECT_GT(cool.pileUp, 1.5);  // as much piled up as a picture a stop too bright
  EXPECT_EQ(cool.tone.exposureGain, 1);
  EXPECT_LT(ea::analyse(*underLight(ceiling, {2, 2, 2})).tone.exposureGain, 0.75);

  // A pale high-key scene (mid-tones near a stop over the aim) with a tenth of it a pink glow that
  // clips its red: barely darkened. A stop brighter still, it is.
  auto pale = proctest::makeImage(180, 120, [](int x, int y, float* c) {
    const float v = 0.08f + 0.4f * float((x * 7 + y * 13) % 41) / 40;
    c[0] = c[1] = c[2] = v;
    if (y < 12) c[0] = 1, c[1] = 0.7f, c[2] = 0.75f;
  });
  const auto highKey = ea::analyse(*underLight(pale, {1, 1, 1}));
  EXPECT_GT(highKey.clippedShare, 0.05);
  EXPECT_GT(highKey.tone.exposureGain, 0.85);
  EXPECT_LT(ea::analyse(*underLight(pale, {1.7f, 1.7f, 1.7f})).tone.exposureGain, 0.75);
}

// A one-coloured scene with nothing grey in it (an orange flower filling the frame): a warm cast that
// clips its red is no over-exposure, though the colour layer, seeing only the scene's colour, does not
// take the estimate for a light it may correct. The same picture a stop too bright clips the same
// channel, but its mid-tones say it is bright all through, and it is darkened.
TEST(EnhanceAnalysis, AOneColouredSceneClippedByACastIsNotOverExposed) {
  auto flower = proctest::makeImage(160, 120, [](int x, int y, float* c) {
    const float v = 0.1f + 0.9f * float((x * 7 + y * 13) % 37) / 36;
    c[0] = 0.8f * v, c[1] = 0.45f * v, c[2] = 0.04f * v;
  });
  auto spoilt = [&](std::array<float, 3> light) { return underLight(flower, light); };
  const auto warm = ea::analyse(*spoilt({1.35f, 1, 0.6f}));
  EXPECT_LT(warm.colourStrength, 0.05);
  EXPECT_EQ(warm.tone.exposureGain, 1);
  EXPECT_LT(ea::analyse(*spoilt({2, 2, 2})).tone.exposureGain, 0.75);
}

// The blue light of shade, or a daylight white balance in shade, lies along the daylight locus: some of
// its blue is the picture's mood, most of it a fault. It is corrected, keeping a trace of blue (the
// light left lies on the blue side, under 60 % of the cast); it was once kept whole, and a
// picture under a blue cast came out as blue as it went in. A cool-green light off the locus, as
// strong, is removed whole.
TEST(EnhanceAnalysis, TheBlueOfShadeKeepsSomeBlueAndACoolGreenCastNone) {
  auto lightAfter = [](const ea::Analysis& a, std::array<float, 3> light) {
    const auto g = ea::partialGains(a.fullGains, a.colourStrength);
    return ea::Illuminant{light[0] * g[0], light[1] * g[1], light[2] * g[2]};
  };
  for (const std::array<float, 3> light : {std::array<float, 3>{0.88f, 1, 1.4f}, std::array<float, 3>{0.78f, 0.95f, 1.3f}}) {
    auto shade = analysisImageOf("astronaut", light);
    ASSERT_TRUE(shade);
    const auto a = ea::analyse(*shade);
    EXPECT_GT(a.castDegrees, 8);
    EXPECT_GT(a.colourStrength, 0.6) << light[0];
    // (The estimate falls about 2 degrees short of the light on this photo.)
    const auto left = lightAfter(a, light);
    EXPECT_LT(ea::angularErrorDegrees(left, {1, 1, 1}), 0.6 * ea::angularErrorDegrees({light[0], light[1], light[2]}, {1, 1, 1}))
        << light[0];
    EXPECT_GT(left[2], left[0]) << light[0];  // what is left is blue, not turned warm
  }
  auto green = analysisImageOf("astronaut", {0.7f, 1.1f, 1.3f});
  ASSERT_TRUE(green);
  EXPECT_GT(ea::analyse(*green).colourStrength, 0.8);
}

// What a veil is, and what is the scene's own: a fade (a mix with grey, black lifted and white pulled
// in alike) is undone as that mix, and its colour is left alone however one-coloured the scene; a pale
// scene whose white end still reaches white keeps its black.
TEST(EnhanceAnalysis, AVeilIsAMixWithGreyAndAPaleSceneIsNot) {
  // Display values through f, back to linear.
  auto remapped = [](ImageDataRGBfPtr img, auto f) {
    float* px = img->floats();
    for (size_t i = 0; i < img->pixelCount() * 3; ++i)
      px[i] = srgbToLinear(float(f(linearToSrgb(std::clamp(px[i], 0.f, 1.f)))));
    return img;
  };
  {
    // Faded astronaut: the straight line undoes the mix, 0.3 + 0.4 x, back to x.
    auto faded = remapped(analysisImageOf("astronaut", {1, 1, 1}), [](double v) { return 0.3 + 0.4 * v; });
    ASSERT_TRUE(faded);
    const auto a = ea::analyse(*faded);
    const auto& t = a.tone;
    auto level = [&](double v) {
      return t.toBlack + (v - t.fromBlack) * (t.toWhite - t.toBlack) / (t.fromWhite - t.fromBlack);
    };
    EXPECT_NEAR(level(0.3), 0, 0.03);
    EXPECT_NEAR(level(0.7), 1, 0.03);
    EXPECT_EQ(a.colourStrength, 0);
  }
  {
    // A one-coloured scene (a green leaf filling the frame) faded: its diluted green looks like a
    // plausible light, but the colour is left to the veil's undoing.
    auto leaf = proctest::makeImage(160, 120, [](int x, int y, float* c) {
      const float vein = 0.6f + 0.4f * float((x * 7 + y * 3) % 23) / 22;
      c[0] = 0.08f * vein, c[1] = 0.55f * vein, c[2] = 0.03f * vein;
    });
    auto faded =
        remapped(EffectParametersContext(leaf).analysisImage()->copy(), [](double v) { return 0.3 + 0.4 * v; });
    EXPECT_EQ(ea::analyse(*faded).colourStrength, 0);
  }
  {
    // A pale scene (display 0.5 to 1): no veil, its black stays where it is.
    auto pale = remapped(analysisImageOf("coffee", {1, 1, 1}), [](double v) { return 0.5 + 0.5 * v; });
    ASSERT_TRUE(pale);
    const auto t = ea::analyse(*pale).tone;
    EXPECT_EQ(t.toBlack, t.fromBlack);
  }
}

// Clipping makes the light's estimate unsure, unless the unclipped surfaces near it gather tightly
// around it: a grey room whose pale wall, a third of the frame, clips under a cool-green cast is
// corrected in full; the same clipping with the near-grey surfaces scattered around the estimate
// holds the correction back.
TEST(EnhanceAnalysis, TightlyGatheredGreysVouchForALightThatClips) {
  auto room = [](float scatter) {
    return proctest::makeImage(180, 120, [scatter](int x, int y, float* c) {
      const int i = x * 7 + y * 13;
      const float v = x < 70 ? 0.95f : 0.05f + 0.5f * float(i % 41) / 40;
      // Each surface's own slight colour, spread both ways round grey.
      const float red = scatter * (float(i % 11) / 10 - 0.5f), blue = scatter * (float(i / 11 % 7) / 6 - 0.5f);
      c[0] = v * (1 + red), c[1] = v, c[2] = v * (1 + blue);
    });
  };
  const auto tight = ea::analyse(*underLight(room(0), {0.7f, 1.1f, 1.3f}));
  EXPECT_GT(tight.illuminant.clippedShare, 0.3);
  EXPECT_GT(tight.colourStrength, 0.9);
  const auto scattered = ea::analyse(*underLight(room(0.6f), {0.7f, 1.1f, 1.3f}));
  EXPECT_LT(scattered.illuminant.candidateCore, 0.45);  // not tight
  EXPECT_LT(scattered.colourStrength, 0.5);
}

// An estimate lying mostly along the daylight locus keeps only a trace of its blue however far past
// daylight it lies: a scene under a blue beyond any sky comes back to nearly neutral, still on the
// blue side, never bluer than it came (the correction never pushes a picture further along its own
// cast). A cool-green cast, mostly off the locus, is taken out whole.
TEST(EnhanceAnalysis, DaylightInAStrongBlueEstimateKeepsOnlyATraceOfBlue) {
  auto lightAfter = [&](std::array<float, 3> light) {
    auto image = analysisImageOf("astronaut", light);
    EXPECT_TRUE(image);
    if (!image) return ea::Illuminant{1, 1, 1};
    const auto a = ea::analyse(*image);
    const auto g = ea::partialGains(a.fullGains, a.colourStrength);
    return ea::Illuminant{light[0] * g[0], light[1] * g[1], light[2] * g[2]};
  };
  const ea::Illuminant neutral{1, 1, 1};
  EXPECT_LT(ea::angularErrorDegrees(lightAfter({0.7f, 1.1f, 1.3f}), neutral), 4);
  const std::array<float, 3> deep{0.44f, 0.55f, 1.0f};  // twice as far along the locus, darker (unclipped)
  const auto blue = lightAfter(deep);
  EXPECT_LT(ea::angularErrorDegrees(blue, neutral), 4);
  EXPECT_GT(blue[2], blue[0]);
  EXPECT_LT(ea::angularErrorDegrees(blue, neutral), ea::angularErrorDegrees({deep[0], deep[1], deep[2]}, neutral));
}

// A cool-green cast over a scene in the blue of shade: its estimate lies partly along the daylight
// locus (38 degrees off it), and the daylight in it keeps a trace of its blue, up to the trace itself
// (0.06 along the sky ray in log chromaticity), never more, and none of the cast's green. (Capping the
// estimate's daylight part at the trace before weighting it kept a third of the trace, and snow in
// shade under such a cast came back yellow.)
TEST(EnhanceAnalysis, ACastPartlyAlongTheLocusKeepsItsDaylightUpToATrace) {
  const auto greys = proctest::makeImage(180, 120, [](int x, int y, float* c) {
    c[0] = c[1] = c[2] = 0.03f + 0.6f * float((x * 7 + y * 13) % 41) / 40;
  });
  const std::array<float, 3> light{0.7f, 1.1f, 1.45f};
  const auto a = ea::analyse(*underLight(greys, light));
  const auto g = ea::partialGains(a.fullGains, a.colourStrength);
  // What a grey is left with, in log chromaticity, along the sky ray (10000 K at 0.3857) and off it.
  const double lr = std::log(light[0] * g[0] / (light[1] * g[1])), lb = std::log(light[2] * g[2] / (light[1] * g[1]));
  const double along = (-0.133 * lr + 0.362 * lb) / 0.3857, off = (0.362 * lr + 0.133 * lb) / 0.3857;
  EXPECT_GT(along, 0.045);
  EXPECT_LT(along, 0.065);
  EXPECT_LT(std::fabs(off), 0.02);
}

// A pale sky whose blue a blue cast clipped, its red and green far under white, is no over-exposure:
// the light explains the clipping. (While the colour layer kept a daylight blue whole, the exposure
// step judged the clipping with that blue left in, took the sky for a pale tint cut by the clip, and
// darkened the picture by a stop or more.)
TEST(EnhanceAnalysis, APaleSkyABlueCastClippedIsNotOverExposed) {
  const auto scene = proctest::makeImage(200, 120, [](int x, int y, float* c) {
    const float t = float(x) / 199;
    if (y < 48) {
      c[0] = 0.6f * (0.9f + 0.2f * t), c[1] = 0.68f * (0.9f + 0.2f * t), c[2] = 0.78f * (0.9f + 0.2f * t);
      return;
    }
    const float v = 0.02f + 0.3f * float((x * 7 + y * 13) % 41) / 40;  // grey textured ground
    c[0] = c[1] = c[2] = v;
  });
  const auto blue = ea::analyse(*underLight(scene, {0.78f, 0.95f, 1.3f}));
  EXPECT_GT(blue.illuminant.clippedShare, 0.1);
  EXPECT_EQ(blue.tone.exposureGain, 1);
  EXPECT_LT(ea::analyse(*underLight(scene, {2, 2, 2})).tone.exposureGain, 0.75);
}

// Sharpening is judged on the sharpest part of the picture: a subject in focus with the rest of the
// frame soft (depth of field) needs none; the same picture soft all over does.
TEST(EnhanceAnalysis, ASubjectInFocusBeforeASoftBackgroundNeedsNoSharpening) {
  const int w = 160, h = 120;
  auto squares = [](int x, int y) { return ((x / 6 + y / 6) % 2) ? 0.6f : 0.05f; };
  auto picture = [&](bool subjectSharp) {
    return proctest::makeImage(w, h, [&](int x, int y, float* c) {
      float v = squares(x, y);
      if (!subjectSharp || x >= w / 4 || y >= h / 4) {
        float sum = 0, weight = 0;
        for (int dy = -3; dy <= 3; ++dy)
          for (int dx = -3; dx <= 3; ++dx) {
            const float g = std::exp(-float(dx * dx + dy * dy) / 4.5f);
            sum += g * squares(x + dx, y + dy), weight += g;
          }
        v = sum / weight;
      }
      c[0] = c[1] = c[2] = v;
    });
  };
  const auto focused = ea::analyse(*EffectParametersContext(picture(true)).analysisImage());
  const auto soft = ea::analyse(*EffectParametersContext(picture(false)).analysisImage());
  EXPECT_EQ(focused.sharpenNeed, 0);
  EXPECT_GT(soft.sharpenNeed, 0.5);
}

// A cast that grey edge alone sees (the warm rims of a backlit scene) while the bright pixels and
// the picture's overall colour are neutral is not removed; the same scene under a real warm light,
// which all three see, is.
TEST(EnhanceAnalysis, ACastOneEstimatorAloneSeesIsNotRemoved) {
  const int w = 200, h = 150;
  auto scene = [&](std::array<float, 3> light) {
    return proctest::makeImage(w, h, [&](int x, int y, float* c) {
      // Below: sunlit warm rims (hard warm edges on dark) on the left, a dim ground of gently varying
      // warm greys on the right.
      float below[3];
      if (x < w / 2) {
        const float v = (x / 2) % 2 ? 1.f : 0.06f;
        below[0] = 0.8f * v, below[1] = 0.48f * v, below[2] = 0.2f * v;
      } else {
        const float t = float((x * 13 + y * 7) % 17) / 16, v = 0.12f + 0.04f * t;
        below[0] = v * (1.25f + 0.1f * t), below[1] = v, below[2] = v * (0.7f - 0.05f * t);
      }
      // Above: a bright neutral sky, blending softly into the ground (no hard edge of its own).
      const float sky = std::clamp(float(h / 2 + 20 - y) / 40, 0.f, 1.f);
      for (int k = 0; k < 3; ++k) c[k] = std::min(1.f, (sky * 0.85f + (1 - sky) * below[k]) * light[k]);
    });
  };
  const auto rims = ea::analyse(*EffectParametersContext(scene({1, 1, 1})).analysisImage());
  EXPECT_GT(ea::angularErrorDegrees(rims.illuminant.greyEdge, {1, 1, 1}), 15);
  EXPECT_LT(ea::angularErrorDegrees(rims.illuminant.brightPixels, {1, 1, 1}), 3);
  EXPECT_EQ(rims.colourStrength, 0);
  const auto warm = ea::analyse(*EffectParametersContext(scene({1.35f, 1, 0.6f})).analysisImage());
  EXPECT_GT(warm.colourStrength, 0.5);
}

// A veil lifts the black and pulls the white in alike. A hazy scene darkened lifts its black a little
// and pulls its white in far more: its haze stays, and only the white end is brought back.
TEST(EnhanceAnalysis, AHazyBlackUnderAFarShorterWhiteIsNoVeil) {
  auto hazy = [](float gain) {
    return proctest::makeImage(160, 120, [gain](int x, int y, float* c) {
      // Display values from a hazy 0.3 to white, a pale blue haze.
      const float d = 0.3f + 0.7f * float(x + 160 * (y % 7)) / float(160 * 7);
      c[0] = gain * srgbToLinear(d * 0.9f), c[1] = gain * srgbToLinear(d * 0.95f), c[2] = gain * srgbToLinear(d);
    });
  };
  const auto t = ea::analyse(*EffectParametersContext(hazy(std::exp2(-1.5f))).analysisImage()).tone;
  EXPECT_GT(t.fromBlack, 0.1);
  EXPECT_EQ(t.toBlack, t.fromBlack);
  EXPECT_GT(t.toWhite, t.fromWhite + 0.2);
}

// A light off the locus of daylight and black bodies tints every surface alike, so the greys it lights
// gather on it. A scene of one hue off the locus (a yellow-green blur), whose palest parts stop short
// of grey, has its estimate fall between neutral and the scene's colour, with the pale parts near it
// lying beyond it along that hue: its colour is left alone. Greys under a cool-green light, spread
// both ways round it as ordinary surfaces are, are corrected.
TEST(EnhanceAnalysis, ThePaleFringeOfOneHueOffTheLocusIsNoLight) {
  const int w = 200, h = 150;
  const float hue[3] = {std::exp(-0.1f), 1, std::exp(-1.1f)};  // log chromaticity (-0.1, -1.1)
  const auto blur = proctest::makeImage(w, h, [&](int x, int y, float* c) {
    // Soft: saturation and brightness drift slowly over the frame; most of the blur is saturated, and
    // its paler parts thin out towards 0.4 of its saturation.
    const float u = 0.5f + 0.5f * std::sin(0.09f * x + 0.05f * y), t = 0.5f + 0.5f * std::sin(0.07f * y - 0.03f * x);
    const float s = 0.4f + 0.6f * std::sqrt(u), v = 0.01f + 0.85f * t * t;
    for (int k = 0; k < 3; ++k) c[k] = v * std::pow(hue[k], s);
  });
  const auto one = ea::analyse(*EffectParametersContext(blur).analysisImage());
  EXPECT_GT(one.castDegrees, 10);
  EXPECT_GT(one.illuminant.candidateShare, 0.5);  // near enough to pass for greys
  EXPECT_GT(one.illuminant.offLocusDegrees, 30);
  EXPECT_GT(one.illuminant.candidateBeyond, 0.28);
  EXPECT_LT(one.colourStrength, 0.05);  // 0.74 were the fringe taken for greys

  const auto greys = proctest::makeImage(w, h, [&](int x, int y, float* c) {
    const int i = x * 7 + y * 13;
    const float v = 0.05f + 0.8f * float(i % 41) / 40;
    // Each surface's own slight colour, spread both ways round grey; under the light.
    const float red = 0.2f * (float(i % 11) / 10 - 0.5f), blue = 0.2f * (float(i / 11 % 7) / 6 - 0.5f);
    c[0] = 0.7f * v * (1 + red), c[1] = 1.1f * v, c[2] = 1.3f * v * (1 + blue);
  });
  const auto lit = ea::analyse(*EffectParametersContext(greys).analysisImage());
  EXPECT_GT(lit.illuminant.offLocusDegrees, 30);
  EXPECT_LT(std::fabs(lit.illuminant.candidateBeyond), 0.1);
  EXPECT_GT(lit.colourStrength, 0.9);
}

// A warm light past the mood's zone that the three estimators agree on is removed whole: greys of
// many surfaces under a light 12.8 degrees warm (the former ramp, to twice the zone, applied 0.75 of
// it and left a quarter of the cast). A warm light inside the zone stays, as the picture's mood.
TEST(EnhanceAnalysis, AWarmLightTheEstimatorsAgreeOnIsRemovedWhole) {
  struct Case {
    std::array<float, 3> light;
    double minStrength, maxStrength;
  };
  for (const Case& c : {Case{{1.25f, 1, 0.7f}, 0.95, 1.0}, Case{{1.1f, 1, 0.85f}, 0, 0.02}}) {
    const auto greys = proctest::makeImage(200, 150, [&](int x, int y, float* px) {
      const int i = x * 7 + y * 13;
      const float v = 0.05f + 0.8f * float(i % 41) / 40;
      const float tint = 0.1f * (float(i % 11) / 10 - 0.5f);  // each surface's own slight colour
      px[0] = c.light[0] * v * (1 + tint), px[1] = c.light[1] * v, px[2] = c.light[2] * v * (1 - tint);
    });
    const auto a = ea::analyse(*EffectParametersContext(greys).analysisImage());
    EXPECT_LT(a.illuminant.spreadDegrees, 3) << c.light[0];
    EXPECT_GE(a.colourStrength, c.minStrength) << a.castDegrees;
    EXPECT_LE(a.colourStrength, c.maxStrength) << a.castDegrees;
  }
}

// A low-key picture with a few near-white highlights has used its headroom: it gets no mid-tone lift,
// as photographed or under a warm light that clips the highlights' red (their green and blue, the
// light taken out, still lie at white; before, only the clipped red was asked, and the cast picture
// was lifted as a dark one with headroom to spare).
TEST(EnhanceAnalysis, HighlightsAWarmLightClipsStillCountAsClipped) {
  const auto lowKey = proctest::makeImage(200, 150, [](int x, int y, float* c) {
    const int i = x * 7 + y * 13;
    if (i % 31 == 0) {  // about 3 % of the picture: near-white highlights
      c[0] = 0.99f, c[1] = 0.97f, c[2] = 0.95f;
      return;
    }
    const float v = 0.01f + 0.03f * float(i % 41) / 40;
    const float tint = 0.1f * (float(i % 11) / 10 - 0.5f);
    c[0] = v * (1 + tint), c[1] = v, c[2] = v * (1 - tint);
  });
  for (const std::array<float, 3> light : {std::array<float, 3>{1, 1, 1}, std::array<float, 3>{1.35f, 1, 0.6f}}) {
    const auto a = ea::analyse(*underLight(lowKey, light));
    EXPECT_GT(a.clippedShare, 0.02) << light[0];
    EXPECT_EQ(a.tone.midBoost, 0) << light[0];
    EXPECT_EQ(a.tone.exposureGain, 1) << light[0];
  }
}

// A pale scene (its median three quarters of the way up in display values) a stop too dark has its
// white a stop short of white: that much unused headroom says it was darkened, and its white comes
// back to white though its mid-tones read as those of a mid-toned scene. The same scene with its white
// short by less (a soft picture whose own top stops at 0.8) keeps its key.
TEST(EnhanceAnalysis, AStopOfUnusedHeadroomBringsAPaleSceneBackToWhite) {
  auto pale = proctest::makeImage(160, 120, [](int x, int y, float* c) {
    const float u = float((x * 7 + y * 13) % 101) / 100;
    c[0] = c[1] = c[2] = srgbToLinear(1 - (1 - u) * (1 - u));
  });
  struct Case {
    float gain;
    bool toWhite;
  };
  for (Case c : {Case{0.5f, true}, Case{0.6f, false}}) {
    const auto t = ea::analyse(*underLight(pale, {c.gain, c.gain, c.gain})).tone;
    EXPECT_LT(t.fromWhite, 0.81) << c.gain;
    if (c.toWhite)
      EXPECT_GT(t.toWhite, 0.95) << c.gain;
    else
      EXPECT_LT(t.toWhite, 0.85) << c.gain;
  }
}

// The colour layer's gains keep a white's luminance and move the picture's top. Where its light is
// gathered greys, what they leave is the picture's top, and a top a stop short is a darkened picture
// (the astronaut a stop darker under a cool-green cast). Where the light was taken only for candidates
// spread evenly round it, none gathered at it (the ginger cat), the gains also take out some of the
// cat's own colour, and the top they lower is no unused headroom: under the cast alone the cat keeps
// its exposure (it was brightened 0.9 EV), a stop darker it is still brightened.
TEST(EnhanceAnalysis, ATopTheColourLayerLowersIsHeadroomOnlyUnderAGatheredLight) {
  struct Case {
    const char* photo;
    std::array<float, 3> light;
    double minEV, maxEV;  // the tone layer's gain at the mid-tones
  };
  for (const Case& c : {Case{"chelsea", {0.7f, 1.1f, 1.3f}, -0.1, 0.3}, Case{"chelsea", {0.78f, 0.95f, 1.3f}, -0.1, 0.3},
                        Case{"chelsea", {0.35f, 0.55f, 0.65f}, 0.7, 2}, Case{"astronaut", {0.35f, 0.55f, 0.65f}, 0.7, 2}}) {
    auto img = analysisImageOf(c.photo, c.light);
    ASSERT_TRUE(img);
    const auto a = ea::analyse(*img);
    ASSERT_GT(a.colourStrength, 0.3) << c.photo << " " << c.light[0];
    const double ev = std::log2(a.tone.apply(0.18) / 0.18);
    EXPECT_GT(ev, c.minEV) << c.photo << " " << c.light[0];
    EXPECT_LT(ev, c.maxEV) << c.photo << " " << c.light[0];
  }
}

// What the colour layer applies has a dead zone too: a correction the doubts have cut to under a
// degree is not applied (greys under a slight cyan light, just past the cast's dead zone), one of
// two degrees and more in full.
TEST(EnhanceAnalysis, ASliverOfACorrectionIsNotApplied) {
  auto greys = proctest::makeImage(160, 120, [](int x, int y, float* c) {
    const float u = float((x * 7 + y * 13) % 101) / 100;
    c[0] = c[1] = c[2] = 0.02f + 0.9f * u * u;
  });
  const auto slight = ea::analyse(*underLight(greys, {0.86f, 1, 1}));
  ASSERT_GT(slight.castDegrees, 3.6);
  ASSERT_LT(slight.castDegrees, 4.5);
  EXPECT_EQ(slight.colourStrength, 0);
  const auto clear = ea::analyse(*underLight(greys, {0.7f, 1, 1}));
  EXPECT_GT(clear.colourStrength, 0.95);
}

// A picture darkened by an exposure comes back by an exposure: a gain in linear light that takes its
// white back to white takes its mid-tones and shadows back with it. (Stretched in display values, the
// mid-grey came back 0.13 EV short and the deep shadow 0.3 EV short.)
TEST(EnhanceAnalysis, ADarkenedPictureComesBackByAGainNotAStretchOfItsDisplayValues) {
  auto scene = proctest::makeImage(160, 120, [](int x, int y, float* c) {
    const float u = float((x * 7 + y * 13) % 101) / 100;
    c[0] = c[1] = c[2] = srgbToLinear(u);
  });
  const float gain = std::exp2(-1.5f);
  const auto t = ea::analyse(*underLight(scene, {gain, gain, gain})).tone;
  for (float original : {0.01f, 0.05f, 0.2f, 0.5f}) {
    const double back = t.apply(original * gain);
    EXPECT_NEAR(std::log2(back / original), 0, 0.06) << original;
  }
}

// A low-key picture (most of it deep in the shadows) with a small part clipped keeps its key: it used
// its headroom. Faded or darkened, that part no longer reaches the clip level, but it still sits in one
// pile on the picture's white end, and the picture keeps its key as well. (Before, the faded or darkened
// portrait lost its clipping and had its mid-tones lifted, ending brighter than it was.)
TEST(EnhanceAnalysis, ALowKeyPictureThatClippedKeepsItsKeyFadedOrDarkened) {
  auto lowKey = proctest::makeImage(160, 120, [](int x, int y, float* c) {
    const float u = float((x * 7 + y * 13) % 101) / 100;
    const float v = x < 8 ? 1.f : srgbToLinear(0.05f + 0.25f * u * u);  // a clipped strip, dark rest
    c[0] = c[1] = c[2] = v;
  });
  auto display = [&](auto f) {
    auto img = EffectParametersContext(lowKey).analysisImage()->copy();
    float* px = img->floats();
    for (size_t i = 0; i < img->pixelCount() * 3; ++i) px[i] = srgbToLinear(float(f(linearToSrgb(px[i]))));
    return img;
  };
  EXPECT_EQ(ea::analyse(*display([](double v) { return v; })).tone.midBoost, 0);
  const auto faded = ea::analyse(*display([](double v) { return 0.3 + 0.4 * v; })).tone;
  EXPECT_GT(faded.fromBlack, 0.25);  // the veil is undone
  EXPECT_EQ(faded.midBoost, 0);
  const auto darkened = ea::analyse(*underLight(lowKey, {0.35f, 0.35f, 0.35f})).tone;
  EXPECT_GT(darkened.toWhite, darkened.fromWhite + 0.2);  // brought back to white
  EXPECT_EQ(darkened.midBoost, 0);
}

// Estimators that disagree on a cast's hue but each see it past the mood's zone leave no doubt that
// there is one: greys under a cool-green light, with cyan highlights that lead the bright-pixels
// estimate far past the other two, lose the cast whole (the zone widened by their disagreement held it
// to about two thirds). Where pale yellow surfaces bring one estimator back within the zone, the
// widened zone holds: whether there is a cast at all is then open. Every surface leans a little
// towards one channel, each pixel towards another than its neighbours two pixels away: its edges
// change colour as well as lightness, so no pixel is grey enough for the grey pixels to be heard and
// settle the light in the estimators' place.
TEST(EnhanceAnalysis, ACastEveryEstimatorSeesIsRemovedThoughTheyDisagreeOnItsHue) {
  auto scene = [](float yellow) {
    return proctest::makeImage(200, 150, [yellow](int x, int y, float* c) {
      const int i = x * 7 + y * 13;
      const float v = 0.05f + 0.5f * float(i % 41) / 40;
      const float tint = 0.1f * (float(i % 11) / 10 - 0.5f);
      float s[3] = {v * (1 + tint), v, v * (1 - tint)};
      if (i % 23 == 0)
        s[0] = 0.8f * 0.64f, s[1] = 0.8f, s[2] = 0.8f / 0.8f;  // cyan highlights
      else if (i % 5 == 0)
        s[0] = 0.6f * yellow, s[1] = 0.6f, s[2] = 0.6f / yellow / yellow;
      const int lean = (x + 2 * y) % 3;  // two pixels right or down: another channel
      for (int k = 0; k < 3; ++k) s[k] *= std::exp(k == lean ? 0.12f : -0.06f);
      const float light[3] = {std::pow(0.7f, 0.6f), std::pow(1.1f, 0.6f), std::pow(1.3f, 0.6f)};
      for (int k = 0; k < 3; ++k) c[k] = std::min(1.f, s[k] * light[k]);
    });
  };
  auto weakest = [](const ea::IlluminantEstimate& e) {
    return std::min({ea::angularErrorDegrees(e.greyEdge, {1, 1, 1}), ea::angularErrorDegrees(e.shadesOfGrey, {1, 1, 1}),
                     ea::angularErrorDegrees(e.brightPixels, {1, 1, 1})});
  };
  const auto seen = ea::analyse(*EffectParametersContext(scene(1.05f)).analysisImage());

  EXPECT_EQ(seen.illuminant.greyPixelTrust, 0);
  EXPECT_GT(seen.illuminant.spreadDegrees, 12);  // the zone widened to 0.4 times that, full at twice it
  EXPECT_LT(seen.castDegrees, 0.8 * seen.illuminant.spreadDegrees);
  EXPECT_GT(weakest(seen.illuminant), 5.25);
  EXPECT_GT(seen.colourStrength, 0.9);
  const auto open = ea::analyse(*EffectParametersContext(scene(1.1f)).analysisImage());
  EXPECT_EQ(open.illuminant.greyPixelTrust, 0);
  EXPECT_LT(weakest(open.illuminant), 4);
  EXPECT_LT(open.colourStrength, 0.1);
}

// Near-grey surfaces of many slight tints, thinly spread but evenly round the light (fewer at its very
// colour than an even spread, none leaning to one side of it), are a scene's varied greys under a warm
// light, not the pale tail of one colour: the cast is removed, though their core is thin. Neighbours
// differ in lightness by at most a factor of 3.7, so their change of tint stays large beside it: no
// pixel is grey enough for the grey pixels to be heard and settle the light in the estimators' place.
TEST(EnhanceAnalysis, ThinlyButEvenlySpreadGreysVouchForALight) {
  const auto scene = proctest::makeImage(200, 150, [](int x, int y, float* c) {
    const int i = x * 7 + y * 13;
    const float v = 0.15f + 0.4f * float(i % 41) / 40;
    // Tints on a ring round grey (log chromaticity), reaching twice as far along the warm light's hue.
    const float a = float(i % 12) * 0.5236f, along = std::cos(a) * 0.54f - std::sin(a) * 0.84f;
    const float r = 0.25f * (along > 0 ? 1 + along : 1 + 0.9f * along);
    const float s[3] = {v * std::exp(r * std::cos(a)), v, v * std::exp(r * std::sin(a))};
    const float light[3] = {1.35f, 1, 0.6f};
    for (int k = 0; k < 3; ++k) c[k] = std::min(1.f, s[k] * light[k]);
  });
  const auto a = ea::analyse(*EffectParametersContext(scene).analysisImage());
  EXPECT_EQ(a.illuminant.greyPixelTrust, 0);
  EXPECT_LT(a.illuminant.candidateCore, 0.15);  // thinner at the light than an even spread
  EXPECT_LT(std::fabs(a.illuminant.candidateBeyond), 0.1);
  EXPECT_GT(a.castDegrees, 16);
  EXPECT_GT(a.colourStrength, 0.9);
}

// A camera's tone curve rolls a pale colour's channels off together into white, so a sky that blows
// keeps its unclipped channels near white; a picture pushed a stop past its range cuts each channel
// where it crosses the clip, and its pale grey-blue sky clips in blue and green with red far under
// white. Two skies over the same ground, both clipping a fifth of the picture and piling up past the
// former dead zone at white, none of their pixels white in every channel: the cut one is darkened, the
// rolled-off one is not, nor is the pale sky as photographed.
TEST(EnhanceAnalysis, APaleSkyCutByTheClipIsOverExposedAndOneRolledIntoWhiteIsNot) {
  auto scene = [](bool rolledOff) {
    return proctest::makeImage(200, 120, [rolledOff](int x, int y, float* c) {
      const float t = float(x) / 199;
      if (y < 48) {
        if (rolledOff)
          c[0] = 0.85f + 0.1f * t, c[1] = 0.87f + 0.1f * t, c[2] = std::min(1.f, 0.9f + 0.2f * t);
        else
          c[0] = 0.3f * (0.6f + t), c[1] = 0.4f * (0.6f + t), c[2] = 0.49f * (0.6f + t);
        return;
      }
      const float v = 0.02f + 0.2f * float((x * 7 + y * 13) % 41) / 40;  // warm textured ground
      c[0] = 1.15f * v, c[1] = v, c[2] = 0.75f * v;
    });
  };
  const auto pale = scene(false), rolled = scene(true);
  EXPECT_EQ(ea::analyse(*underLight(pale, {1, 1, 1})).tone.exposureGain, 1);
  const auto cut = ea::analyse(*underLight(pale, {2, 2, 2}));
  const auto blown = ea::analyse(*underLight(rolled, {1, 1, 1}));
  for (const auto& a : {cut, blown}) {
    EXPECT_GT(a.clippedShare, 0.15);
    EXPECT_GT(a.pileUp, 1.0);
    EXPECT_EQ(a.colourClipped, 1);  // nothing white in every channel
  }
  EXPECT_GT(cut.paleCut, 0.4);
  EXPECT_LT(cut.tone.exposureGain, 0.75);
  EXPECT_EQ(blown.paleCut, 0);
  EXPECT_EQ(blown.tone.exposureGain, 1);
}

// Grey surfaces change by the same ratio in the three channels at their edges, whatever the light,
// while the edges between surfaces of different colours do not. A scene mostly of warm colours with
// a few grey surfaces beside them, under a cool-green light: every estimator that averages the
// picture is led towards its warm colours, the greys give the light itself. A mosaic of the warm
// colours alone has no such pixels, and the grey pixels are not heard.
TEST(EnhanceAnalysis, GreySurfacesEdgesGiveTheLight) {
  // Blocks of 8 pixels: each a colour of its own (no two alike, so no edge keeps its ratio across the
  // channels), or a grey of its own level where `greys` says.
  auto mosaic = [](bool greys) {
    return proctest::makeImage(192, 128, [greys](int x, int y, float* c) {
      const int bx = x / 8, by = y / 8, i = bx * 31 + by * 17 + bx * by * 7;
      const float v = 0.15f + 0.7f * float(i % 23) / 22;
      if (greys && bx >= 18) {
        c[0] = c[1] = c[2] = 0.45f * v;
        return;
      }
      const float hue = float(i % 13) / 12;  // orange to yellow, a little red and green in places
      c[0] = v, c[1] = v * (0.3f + 0.5f * hue), c[2] = v * (0.05f + 0.2f * float(i % 5) / 4);
    });
  };
  const ea::Illuminant light{0.7, 1.1, 1.3};
  const auto withGreys = ea::estimateIlluminant(*underLight(mosaic(true), {0.7f, 1.1f, 1.3f}));
  EXPECT_LT(withGreys.greyPixelIndex, 0.01);
  EXPECT_EQ(withGreys.greyPixelTrust, 1);
  EXPECT_LT(ea::angularErrorDegrees(withGreys.greyPixels, light), 0.5);
  EXPECT_LT(ea::angularErrorDegrees(withGreys.consensus, light), 0.5);
  for (const auto& other : {withGreys.greyEdge, withGreys.shadesOfGrey, withGreys.brightPixels})
    EXPECT_GT(ea::angularErrorDegrees(other, light), 5);
  // The three others' disagreement no longer makes the consensus unsure: it rests on the greys.
  EXPECT_LT(withGreys.spreadDegrees, 0.5);

  const auto colours = ea::estimateIlluminant(*underLight(mosaic(false), {0.7f, 1.1f, 1.3f}));
  EXPECT_GT(colours.greyPixelIndex, 0.03);
  EXPECT_GT(ea::angularErrorDegrees(colours.greyPixels, light), 5);
  EXPECT_EQ(colours.greyPixelTrust, 0);

  // One yellow surface, its shading and saturation drifting smoothly: shading alone keeps the log
  // contrast alike in the channels, so its pixels pass for grey, but they are one end of the
  // surface's range of saturation, the pixels near their colour all on one side: not heard.
  const auto shaded = proctest::makeImage(192, 128, [](int x, int y, float* c) {
    const float s = 0.7f + 0.3f * std::sin(0.05f * x), v = 0.1f + 0.8f * (0.5f + 0.5f * std::sin(0.06f * y));
    c[0] = v * std::pow(1.3f, s), c[1] = v, c[2] = v * std::pow(0.4f, s);
  });
  const auto one = ea::estimateIlluminant(*underLight(shaded, {1, 1, 1}));
  EXPECT_LT(one.greyPixelIndex, 0.01);
  EXPECT_GT(std::fabs(one.greyPixelBeyond), 0.16);
  EXPECT_EQ(one.greyPixelTrust, 0);
}

// Pale parts of one warm hue near the estimate, leaning beyond it along that hue, are the fringe of
// the scene's own colour however dense they lie round the estimate: a mosaic of one warm hue whose
// paler patches start a little off neutral has its estimate fall among them and is left alone (before,
// as dense a fringe passed for greys round a warm light, and removing that "light" added blue). With
// more pale patches reaching nearer neutral, gathered round the estimate on both sides, it is a light.
TEST(EnhanceAnalysis, AFringeLeaningBeyondTheEstimateMustBeDenserToBeGreys) {
  // The hue: the warm ray of the locus turned a little towards green (log chromaticity).
  const float angle = -57.5f * 3.14159265f / 180 - 0.2f, hr = std::cos(angle), hb = std::sin(angle);
  auto mosaic = [&](float paleShare, float palest, float saturated) {
    return proctest::makeImage(200, 150, [=](int x, int y, float* c) {
      const int bx = x / 6, by = y / 6, i = bx * 31 + by * 17 + bx * by * 7;
      const float u = float(i % 97) / 96, v = 0.1f + 0.7f * float(i % 23) / 22;
      // Distance from neutral along the hue: pale patches from `palest` on, the rest saturated.
      const float d = u < paleShare ? palest + 0.6f * u / paleShare : saturated + 0.3f * float(i % 7) / 6;
      c[0] = v * std::exp(d * hr), c[1] = v, c[2] = v * std::exp(d * hb);
    });
  };
  const auto fringe = ea::analyse(*EffectParametersContext(mosaic(0.2f, 0.38f, 1.25f)).analysisImage());
  EXPECT_GT(fringe.illuminant.candidateCore, 0.18);  // dense enough for the former rule, half the way
  EXPECT_GT(fringe.illuminant.candidateBeyond, 0.3);
  EXPECT_LT(fringe.illuminant.offLocusDegrees, 10);  // the off-locus fringe rule does not apply
  EXPECT_LT(fringe.colourStrength, 0.05);
  const auto greys = ea::analyse(*EffectParametersContext(mosaic(0.35f, 0.25f, 1.2f)).analysisImage());
  EXPECT_LT(std::fabs(greys.illuminant.candidateBeyond), 0.1);
  EXPECT_GT(greys.colourStrength, 0.9);
}
