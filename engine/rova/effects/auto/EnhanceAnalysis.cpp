#include "rova/effects/auto/EnhanceAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "rova/Color.h"
#include "rova/effects/ToneMath.h"
#include "rova/effects/auto/AutoSupport.h"

namespace rova::enhance_analysis {
namespace {

// A channel at or above this counts as clipped: it says nothing of the light's colour.
constexpr float kClipped = 0.98f;
// Under this share of the picture's bright end (its 98th luminance percentile) a pixel is mostly
// noise and quantisation; relative, so that the estimate does not change with the exposure.
constexpr float kNearBlack = 0.01f;

// Minkowski norms of the estimators (grey edge: a high norm leans on the strongest edges, which
// on the test photos gave the smallest error) and the share of the brightest pixels.
constexpr double kGreyEdgeNorm = 12, kShadesOfGreyNorm = 6, kBrightPixelShare = 0.02;
// Grey pixels: where a surface's reflectance changes (or its shading does) the log contrast of a grey
// is the same in the three channels, whatever the light. The greyest kGreyPixelShare of the pixels
// with a log contrast of at least kGreyPixelContrast (flatter ones are only noise) give the light.
constexpr double kGreyPixelShare = 0.01;
constexpr float kGreyPixelContrast = 0.05f;
// Their estimate is as good as they are grey: where their mean grey index is under kGreyIndexSure
// (a grey surface's contrast, the same in the three channels up to the encoding's rounding) it
// replaces the other estimators' consensus; from kGreyIndexNone on (a coloured surface's shading or
// texture, whose log contrast is also alike in the three channels, has taken their place) it is not
// heard.
constexpr double kGreyIndexSure = 0.01, kGreyIndexNone = 0.03;
// A light sits amid the surfaces near its colour: greys and pale tints spread both ways round it. The
// colour of one end of a single hue's range (the most or least saturated part of a smooth coloured
// blur, whose shading alone keeps the log contrast alike in the channels) has the pixels near it on
// one side only: from a mean offset along its hue of kGreyOneSided the grey pixels are doubted, from
// kGreyOneSidedNone not heard.
constexpr double kGreyOneSided = 0.1, kGreyOneSidedNone = 0.16;

// Illuminant: the consensus's angle from neutral on good photos (its own error there) is about this.
// A warm light (red over green over blue) is more often the mood of the scene (sunset, tungsten)
// than a fault, so its dead zone is wider.
constexpr double kCastDeadZone = 3.5, kWarmCastDeadZone = 8;  // degrees
// The correction as applied (its share times the cast, degrees): under this nothing is applied, from
// twice it all (the estimators' error on good photos averages 2.6 degrees).
constexpr double kAppliedDeadZone = 1;
// A cool light along the daylight locus (shade, an overcast, dusk) is partly the picture's mood, and
// its dead zone is wider than a cast's, but not as wide as the whole of daylight: a daylight-balanced
// picture taken in shade, or one with a wrong white balance, is about 12 degrees blue (10000 K), and
// is a fault to put right, keeping only some of its blue (below).
constexpr double kDaylightDeadZone = 6;
// Estimators that disagree widen the dead zone (by this share of their largest difference); past
// the second figure (degrees) nothing is left to trust.
constexpr double kSpreadShare = 0.4, kSpreadSure = 15, kSpreadLost = 35;
// The warm light's zone is wide for the mood's sake, not for the estimators' error, and so is the
// ramp past it (to twice the zone). Where the three estimators agree (within kAgreeSure degrees of
// each other; not at all from kAgreeNone on) a warm estimate past the zone is measured, not guessed:
// the correction reaches the full inverse at kAgreedRamp times the zone.
constexpr double kAgreeSure = 3, kAgreeNone = 6, kAgreedRamp = 1.5;
// Every estimator alone seeing a cast past the mood's zone (the weakest from the zone on, in full from
// kUnanimousFull times it) is as good as agreement: see below.
constexpr double kUnanimousFull = 1.5;
// The second strongest estimator must see a cast beyond this share of the dead zone for the
// correction to be whole (one estimator alone wanders further than the three together).
constexpr double kSupportShare = 0.5;
// No light a photographer meets is that far from white (a fundus photograph, a red wall filling the
// frame: the estimators then see the scene's colour, not the light's): past the first figure
// (degrees) the correction fades, past the second it is gone.
constexpr double kPlausibleCast = 30, kImplausibleCast = 36;
// A light is seen in a picture: some of its surfaces (a white, a grey, a pale stone, a highlight)
// take the light's colour, and the correction makes them grey. A light that no part of the picture
// lies near (within kCandidateDegrees: the estimators' own error and the tint of an ordinary white)
// is the colour of a scene with no neutral surface (a fundus photograph, red from edge to edge),
// not a light: under kCandidateNone of the lit picture there the correction is not trusted, from
// kCandidateSure on it is.
constexpr double kCandidateDegrees = 10, kCandidateNone = 0.015, kCandidateSure = 0.03;
constexpr double kVeilColourLimit = 0.1;  // a veil this strong (display values) leaves the colour alone
// Near is not enough: grey surfaces under a light gather around its colour, while the pixels of a
// one-coloured scene that happen to lie near the estimate are the pale tail of the scene's colour.
// Of the candidates, those within kCoreDegrees: spread evenly over the 10-degree disc they would be a
// quarter (the discs' areas), so the correction is trusted in full only where they are at least as
// dense at the centre (kCoreSure), and not at all where they thin out towards it (kCoreNone).
constexpr double kCoreDegrees = 5, kCoreNone = 0.15, kCoreSure = 0.25;
// Thin is not enough either: the tail of one colour thins towards the estimate from one side, and its
// candidates lie on that side of it (their mean offset along the light's hue, as below). Candidates
// spread thinly but evenly round the estimate (a mean offset under kCentredSure either way; none of
// this from kCentredNone on) are the varied greys of a scene under the light, and their thinness is
// no evidence against it.
constexpr double kCentredSure = 0.3, kCentredNone = 0.35;
// And the further they lean beyond it (from kLeanFrom, in full from kLeanFull), the denser at the
// light they must be, by up to kLeanCore: a colour's pale fringe can be as dense as an even spread
// round its own edge (a red flower in a green and yellow blur under a blue cast, core 0.27, its
// candidates 0.35 beyond: its colour was taken for a warm light, and removing it added blue to a
// picture already too blue), while greys round a light lean less, or gather far more densely.
constexpr double kLeanFrom = 0.25, kLeanFull = 0.35, kLeanCore = 0.2;
// A light off the locus of daylight and black bodies (a fluorescent tube, a cast) tints every surface
// alike, so the greys it lights gather on it. When the candidates instead lie beyond the estimate along
// its own hue (their mean offset in log chromaticity over kBeyondNone; in full from kBeyondSure), they
// are the pale fringe of one coloured object (a flower's blur) and the estimate is that object's colour
// pulled towards neutral: it is not taken for a light as far as it lies off the locus (from
// kOffLocusNone degrees, in full from kOffLocusSure). Along the locus greys do spread so, between the
// sunlit and the shaded parts of a scene.
constexpr double kBeyondNone = 0.2, kBeyondSure = 0.3, kOffLocusNone = 15, kOffLocusSure = 25;
// Clipping makes the estimate unsure (an edge into a clipped area, a highlight clipped in one channel
// have the wrong colour), unless the unclipped candidates gather tightly around it: from kCoreTight
// on (candidates within kCoreDegrees half as many again as an even spread) they vouch for the light
// themselves, and from kCoreTightSure on the clipping no longer holds the correction back.
constexpr double kCoreTight = 0.35, kCoreTightSure = 0.5;
// A cast multiplies every pixel, so it tints the shadows as much as the rest. When the darkest part
// of the picture (the lowest kDarkShare of the pixels bright enough to show a hue) is mostly
// neutral (within kNeutralDegrees) while the estimators report a strong cast, the scene's own
// colour was taken for the light's (a faded photo of one colour, whose lifted black is grey): the
// correction shrinks until at least kNeutralKept of those neutral shadows stay neutral.
constexpr double kNeutralDegrees = 4, kNeutralFloor = 0.02, kDarkShare = 0.2, kNeutralShareMin = 0.3,
                 kNeutralKept = 0.6;

// Levels, in display values: the darkest channel of a good photo reaches under kBlackTypical and
// its brightest over 1 - kWhiteTypical; an end is moved only when it is short by more than the dead
// zone on top of that.
constexpr double kBlackTypical = 0.01, kBlackDeadZone = 0.05;
constexpr double kWhiteTypical = 0.01, kWhiteDeadZone = 0.12;
// Stretching the white end never brings the mid-tones (linear luminance) past this: a picture
// without highlights (an overcast scene, a flat photo) keeps its key.
constexpr double kStretchMedianCap = 0.20;
// Unused headroom is itself evidence of under-exposure: a picture with nothing within kHeadroomSure
// of white (display values) is stretched to white without the cap above, from kHeadroomSome on the
// cap gives way gradually. A pale scene darkened reads as a plausible mid-toned one, and any cap on
// its mid-tones held it short (a pale clock at -1.5 EV came back half-way, 12.3 CIEDE2000). A stop
// short of white (0.735) is sure evidence; a good photo whose own top stops short reaches 0.8 (half a
// stop), and under a cast the colour layer moves that top by a few hundredths.
constexpr double kHeadroomSome = 0.23, kHeadroomSure = 0.3, kHeadroomMedianCap = 1.0;
// A veil (a fade, a mix with grey) lifts the black and pulls the white down alike: its strength is
// the smaller of the two, and undoing it is undoing that mix. A lifted black whose white end still
// reaches white is the scene's own (a pale wall, mist, a light wood) and is left as it is.
constexpr double kLowQuantile = 0.002, kHighQuantile = 0.998;
// The black's lift against the white's shortfall: a veil makes them about equal (faded photos measure
// 0.8-1.5); at kVeilBalanceNone or less the lift is the scene's, from kVeilBalanceSure on a veil's.
constexpr double kVeilBalanceNone = 0.5, kVeilBalanceSure = 0.8;

// Exposure: a share of clipped pixels over this (on top of what good photos show) with mid-tones
// over the aim triggers darkening.
constexpr double kClipDeadZone = 0.01, kOverDeadZoneEV = 0.4;
// A few per cent clipped is ordinary (a lamp, the sun, a specular glint on a bright high-key
// picture); the darkening is sure only from this share on.
constexpr double kClipSure = 0.04;
constexpr double kMidAim = 0.18;  // linear luminance of the mid-tones' aim
constexpr double kMaxDarkenEV = 1.2;
// Clipped pixels against those in the stop under white: good photos (a lamp, a flame blown) show
// up to about 0.15, photos a stop over 0.9 and more.
constexpr double kPileUpDeadZone = 1.0;
// The share of the clipped pixels that must be white in every channel for the pile-up to count at
// all, and from which it counts in full.
constexpr double kWhiteClippedNone = 0.01, kWhiteClippedSure = 0.05;
// A clipped pixel whose lowest unclipped channel lies in this range (as the colour layer leaves it
// and with the light taken out) is a pale tint cut by the clip: a saturated colour's lowest channel
// lies under it, a white's over it.
constexpr float kPaleCutLow = 0.3f, kPaleCutHigh = 0.8f;
// The share of the clipped pixels that are pale tints cut, from which they count and from which
// in full; and the pile-up's dead zone where they do.
constexpr double kPaleCutNone = 0.2, kPaleCutSure = 0.3, kPaleCutPileUpDeadZone = 0.4;
// A pile-up over this (and in full twice it) has next to nothing in the stop under white.
constexpr double kRampPileUp = 3;
// Weak evidence says no more than a stop was lost; a picture pushed further is bright all through,
// which the mid-tones say.
constexpr double kPaleCutMaxEV = 1.0;
// Mid-tones this far over the aim (EV) and more: the picture is bright all through, and a clipped
// channel that a light's colour could explain is counted as over-exposure after all.
constexpr double kLightClipMidEV = 0.75, kLightClipMidSureEV = 1.25;
// A near-white pixel whose one channel a warm light clipped shows how near white it is in its other
// channels once the light is taken out: it counts as clipped when one of them lies within the
// estimate's own error (a few per cent of its gains) of the clip level, as it would have unlit. (Only
// the clipped channel was asked before, which the light's gain takes well under white: a low-key
// portrait's highlights no longer counted under a warm cast, and it got the mid-tone lift meant for
// a dark picture with headroom.)
constexpr float kClipLightMargin = 0.95f;
constexpr double kDarkMidDeadZoneEV = 2.5;  // a dark median inside this is the picture's key
// Pixels whose brightest channel lies this close under the measured white end (display values) sit
// on it: what a clipped highlight became when the picture was faded or darkened.
constexpr double kPiledAtWhite = 0.002;
constexpr double kMaxMidLiftEV = 1.0;
// Linear value where the roll-off of a picture brighter than white starts.
constexpr double kShoulderStart = 0.7;

// Finishing: colourfulness (Hasler and Suesstrunk's M) of natural photos is rarely under this; a
// picture under it gets vibrance by how far.
constexpr double kColourfulnessPrior = 15, kColourfulnessDeadZone = 5;
// Shares of deep shadow and near-white that a good photo carries without help.
constexpr double kDeepShadowShare = 0.25, kBrightShare = 0.08;
// Sharpness: a two-pixel step at least this large (square-root luminance) is an edge; photos whose
// edges are steeper than kSharpEnough need no sharpening (good photos measure 0.69 to 0.9), and a
// photo at kSoft gets it all (the same photos blurred by a pixel measure about 0.6).
constexpr float kEdgeStep = 0.08f;
constexpr double kSharpEnough = 0.66, kSoft = 0.6;
// Steepness is measured in each of kTiles x kTiles regions, and counts over the sharpest of them that
// together hold kSharpShare of the picture's edges.
constexpr int kTiles = 4;
constexpr double kSharpShare = 0.25;

double srgb(double linear) { return linearToSrgb(float(std::clamp(linear, 0.0, 1.0))); }

// A function of a linear value 0..1 tabulated over its square root (even steps in the shadows and
// the lights), for the per-sample loops of the analysis.
class Table {
 public:
  template <class F>
  explicit Table(F&& f) {
    for (int i = 0; i < kSize; ++i) {
      const double u = double(i) / (kSize - 1);
      v_[i] = float(f(u * u));
    }
  }
  float operator()(float x) const {
    const float t = std::sqrt(std::clamp(x, 0.f, 1.f)) * (kSize - 1);
    const int i = std::min(int(t), kSize - 2);
    return v_[i] + (v_[i + 1] - v_[i]) * (t - float(i));
  }

 private:
  static constexpr int kSize = 4096;
  float v_[kSize];
};
double unSrgb(double v) { return srgbToLinear(float(std::clamp(v, 0.0, 1.0))); }

Illuminant unit(const Illuminant& e) {
  const double n = std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
  return n > 0 ? Illuminant{e[0] / n, e[1] / n, e[2] / n} : Illuminant{1, 1, 1};
}

// Lights a photographer meets lie near the black-body and daylight locus, or on its green side (fluorescent
// tubes, some LEDs); a magenta light is rare, so the magenta part of an estimate is mostly the scene's
// own colour (a ginger cat, warm wood under a warm light). In log chromaticity (red and blue over
// green) the locus is two rays from neutral: towards tungsten (illuminant A) and towards a blue sky
// (10000 K); the part of the estimate off the nearer ray on the magenta side keeps kMagentaKept.
constexpr double kMagentaKept = 0.3;
// The direction of a 10000 K sky from neutral in log chromaticity (red and blue over green).
constexpr double kSkyRay[2] = {-0.133 / 0.3857, 0.362 / 0.3857};
// The direction of illuminant A from neutral, likewise.
constexpr double kWarmRay[2] = {0.804 / 1.498, -1.264 / 1.498};
// How much of a cool daylight the correction keeps as the picture's mood, as a distance from neutral
// along kSkyRay: about 7000 K (10000 K lies at 0.3857). The daylight in an estimate is its part along
// the locus as far as it lies along the locus (its along part's share of the whole, squared, over
// kMostlyDaylight; in full from kDaylightSure); up to that much of it is kept and the rest lost; the
// mood may keep some blue, never add any. A cool-green cast
// on a neutral scene lies at about 0.4, and is taken out whole.
constexpr double kDaylightKept = 0.06, kMostlyDaylight = 0.5, kDaylightSure = 0.8;
std::pair<double, double> towardsPlausibleLight(double lr, double lb) {
  // Unit directions: illuminant A in linear Rec. 709 is (1.845, 0.826, 0.233), log chromaticity
  // (0.804, -1.264); a 10000 K daylight (0.871, 0.995, 1.429), (-0.133, 0.362).
  const double tw = lr * kWarmRay[0] + lb * kWarmRay[1], tc = lr * kSkyRay[0] + lb * kSkyRay[1];
  const double* ray = tw >= tc ? kWarmRay : kSkyRay;
  const double t = std::max(0.0, std::max(tw, tc));
  const double rr = lr - t * ray[0], rb = lb - t * ray[1];
  if (rr + rb <= 0) return {lr, lb};  // on the green side: kept
  return {t * ray[0] + kMagentaKept * rr, t * ray[1] + kMagentaKept * rb};
}

double quantile(std::vector<float> v, double q) {
  if (v.empty()) return 0;
  const size_t k = std::min(v.size() - 1, size_t(q * double(v.size())));
  std::nth_element(v.begin(), v.begin() + long(k), v.end());
  return v[k];
}

// The share of the lit pixels within kCandidateDegrees of the light's colour: the surfaces that the
// correction would make (nearly) grey. A clipped channel could have been anything above white, so it
// is taken as near the light as it allows (a highlight clipped in every channel is white under any
// light).
//
// It also tells where the unclipped candidates lie along the light's own hue: their mean offset from it
// in log chromaticity, along the direction from neutral to the light (positive: beyond it, more
// saturated in its hue).
struct Candidates {
  double share = 1, core = 0, beyond = 0;
};
template <class Lit>
Candidates candidatesNear(const ImageDataRGBf& img, const Illuminant& light, const Lit& lit) {
  const Illuminant l = unit(light);
  const double cosLimit = std::cos(kCandidateDegrees * M_PI / 180), cosCore = std::cos(kCoreDegrees * M_PI / 180);
  struct Counts {
    size_t counted = 0, near = 0, core = 0, placed = 0;
    double beyond = 0;
  };
  // The light's hue: the unit direction from neutral to it in log chromaticity (none for a grey light).
  const double lr = std::log(l[0] / l[1]), lb = std::log(l[2] / l[1]), length = std::hypot(lr, lb);
  const double hr = length > 1e-6 ? lr / length : 0, hb = length > 1e-6 ? lb / length : 0;
  // The cosine of the angle between the pixel and the light, a clipped channel taken as near as it allows.
  auto cosine = [&](const float* c) {
    double v[3] = {c[0], c[1], c[2]}, sumPixel = 0, sumLight = 0;
    for (int k = 0; k < 3; ++k)
      if (v[k] < kClipped) sumPixel += v[k], sumLight += l[k];
    if (!(sumLight > 0)) return 1.0;  // clipped in every channel
    const double scale = sumPixel / sumLight;
    for (int k = 0; k < 3; ++k)
      if (v[k] >= kClipped) v[k] = std::max(v[k], scale * l[k]);
    const double dot = v[0] * l[0] + v[1] * l[1] + v[2] * l[2];
    return dot / std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2] + 1e-30);
  };
  size_t counted = 0, near = 0, core = 0;
  const auto nearCounts = auto_support::forAnalysisPixels<Counts>(img, [&](const float* c, Counts& n) {
    if (!lit(c)) return;
    ++n.counted;
    const double cs = cosine(c);
    if (cs >= cosLimit) {
      ++n.near;
      if (c[0] > 0 && c[1] > 0 && c[2] > 0 && std::max({c[0], c[1], c[2]}) < kClipped) {
        n.beyond += (std::log(c[0] / c[1]) - lr) * hr + (std::log(c[2] / c[1]) - lb) * hb;
        ++n.placed;
      }
    }
    if (cs >= cosCore) ++n.core;
  });
  size_t placed = 0;
  double beyond = 0;
  for (const Counts& part : nearCounts)
    counted += part.counted, near += part.near, core += part.core, placed += part.placed, beyond += part.beyond;
  Candidates result;
  result.share = counted ? double(near) / double(counted) : 1.0;
  result.core = near ? double(core) / double(near) : 0.0;
  result.beyond = placed ? beyond / double(placed) : 0.0;
  return result;
}

// The veil of a picture whose darkest channel reaches `lo` and brightest `hi` (display values): a
// mix v + (1 - 2 v) x with grey, v the smaller of the black's lift and the white's shortfall (past
// its dead zone). `unveil` undoes it.
struct Veil {
  double v = 0;
  double unveil(double x) const { return (x - v) / (1 - 2 * v); }
};
Veil veilOf(double lo, double hi) {
  const double lift = lo - kBlackTypical, shortfall = 1 - kWhiteTypical - hi;
  const double v = std::min(0.45, beyondDeadZone(std::min(lift, shortfall), kBlackDeadZone));
  // A white that falls short by far more than the black is lifted is the exposure's doing (a hazy or
  // pale scene darkened): the lift is then the scene's own haze, not a veil.
  return {v > 0 ? v * auto_support::smoothstep(kVeilBalanceNone, kVeilBalanceSure, lift / shortfall) : 0};
}

// The channel extremes of a list of linear pixels in display values: a low quantile of min(R, G, B)
// and a high one of max(R, G, B).
template <class Pixels, class Encode>
std::pair<double, double> channelExtremes(const Pixels& px, const Encode& encoded) {
  std::vector<float> lows(px.size()), highs(px.size());
  auto_support::inPieces<char>(px.size(), [&](size_t i0, size_t i1, char&) {
    for (size_t i = i0; i < i1; ++i) {
      const auto& c = px[i];
      lows[i] = encoded(std::min({c[0], c[1], c[2]}));
      highs[i] = encoded(std::max({c[0], c[1], c[2]}));
    }
  });
  return {quantile(std::move(lows), kLowQuantile), quantile(std::move(highs), kHighQuantile)};
}

}  // namespace

double beyondDeadZone(double x, double d) { return beyondDeadZone(x, d, 2 * d); }

double beyondDeadZone(double x, double d, double fullFrom) {
  if (d <= 0) return std::max(0.0, x);
  if (x <= d) return 0;
  return x >= fullFrom ? x : fullFrom * (x - d) / (fullFrom - d);
}

double angularErrorDegrees(const Illuminant& a, const Illuminant& b) {
  const Illuminant u = unit(a), v = unit(b);
  const double c = std::clamp(u[0] * v[0] + u[1] * v[1] + u[2] * v[2], -1.0, 1.0);
  return std::acos(c) * 180 / 3.14159265358979323846;
}

namespace {
// How far a pixel is from grey by its log contrast towards its right and lower neighbours: the
// channels' spread around their common contrast, against that contrast (0: the same change in the
// three channels, a grey surface or a change of shading alone). Flat places and near-black channels
// say nothing and are left out.
void greyIndex(const float* c, const float* right, const float* down, std::vector<std::array<float, 4>>& out) {
  float q[2][3];
  for (int k = 0; k < 3; ++k) {
    if (!(c[k] > 1e-3f) || !(right[k] > 1e-3f) || !(down[k] > 1e-3f)) return;
    q[0][k] = right[k] / c[k], q[1][k] = down[k] / c[k];
  }
  float spread = 0, contrast = 0;
  for (const auto& d : q) {
    const float mean = (d[0] + d[1] + d[2]) / 3, l = std::log(mean);
    contrast += l * l;
    for (int k = 0; k < 3; ++k) spread += (d[k] / mean - 1) * (d[k] / mean - 1);
  }
  if (contrast < kGreyPixelContrast * kGreyPixelContrast) return;
  const float sum = c[0] + c[1] + c[2];
  out.push_back({std::sqrt(spread / (6 * contrast)), c[0] / sum, c[1] / sum, c[2] / sum});
}
}  // namespace

IlluminantEstimate estimateIlluminant(const ImageDataRGBf& img) {
  IlluminantEstimate e;
  const int w = img.width(), h = img.height();
  if (w < 1 || h < 1) return e;
  float nearBlack = 0;
  {
    auto lum = auto_support::gatherAnalysisPixels<float>(
        img, [](const float*) { return true; }, [](const float* c) { return tone::luminance(c); });
    nearBlack = std::max(1e-4f, kNearBlack * float(quantile(std::move(lum), 0.98)));
  }
  auto lit = [nearBlack](const float* c) {
    return tone::luminance(c) >= nearBlack && c[0] >= 0 && c[1] >= 0 && c[2] >= 0;
  };
  // Grey edge leaves clipped pixels out: an edge into a clipped area has the wrong colour. Shades of
  // grey and bright pixels keep them (see below).
  auto usable = [&lit](const float* c) { return std::max({c[0], c[1], c[2]}) < kClipped && lit(c); };
  struct Sums {
    double sog[3] = {0, 0, 0}, edge[3] = {0, 0, 0};
    size_t nSog = 0, nEdge = 0, all = 0, clipped = 0;
    std::vector<float> brightness;
    std::vector<std::array<float, 4>> grey;  // grey index, then the colour (its channels summing to 1)
  };
  const auto parts = auto_support::inRowBands<Sums>(img, [&](int y0, int y1, Sums& p) {
    for (int y = y0; y < y1; y += 2) {
      const float* row = img.floats() + size_t(y) * w * 3;
      const float* below = y + 2 < h ? row + size_t(2) * w * 3 : nullptr;
      for (int x = 0; x < w; x += 2) {
        const float* c = row + 3 * x;
        if (!auto_support::isAnalysed(img, x, y)) continue;
        ++p.all;
        if (std::max({c[0], c[1], c[2]}) >= kClipped) ++p.clipped;
        if (!lit(c)) continue;
        p.brightness.push_back(c[0] + c[1] + c[2]);
        for (int k = 0; k < 3; ++k) {
          const double v2 = double(c[k]) * c[k];
          p.sog[k] += v2 * v2 * v2;  // the norm-6 power, without pow() for each pixel
        }
        ++p.nSog;
        if (!usable(c)) continue;
        // Differences two pixels apart (the analysis image is already an area reduction, which is the
        // smoothing the grey-edge estimate asks for).
        const float* right = x + 2 < w ? c + 6 : nullptr;
        const float* down = below ? below + 3 * x : nullptr;
        if (right && down && usable(right) && usable(down) && auto_support::isAnalysed(img, x + 2, y) &&
            auto_support::isAnalysed(img, x, y + 2)) {
          for (int k = 0; k < 3; ++k) {
            const double dx = right[k] - c[k], dy = down[k] - c[k];
            const double g2 = dx * dx + dy * dy, g6 = g2 * g2 * g2;
            p.edge[k] += g6 * g6;  // |gradient|^12
          }
          ++p.nEdge;
          greyIndex(c, right, down, p.grey);
        }
      }
    }
  });
  double sog[3] = {0, 0, 0}, edge[3] = {0, 0, 0};
  size_t nSog = 0, nEdge = 0, all = 0, clipped = 0, nBrightness = 0;
  for (const Sums& p : parts) {
    for (int k = 0; k < 3; ++k) sog[k] += p.sog[k], edge[k] += p.edge[k];
    nSog += p.nSog, nEdge += p.nEdge, all += p.all, clipped += p.clipped, nBrightness += p.brightness.size();
  }
  std::vector<float> brightness;
  brightness.reserve(nBrightness);
  for (const Sums& p : parts) brightness.insert(brightness.end(), p.brightness.begin(), p.brightness.end());
  std::vector<std::array<float, 4>> grey;
  for (const Sums& p : parts) grey.insert(grey.end(), p.grey.begin(), p.grey.end());
  e.clippedShare = all ? double(clipped) / double(all) : 0;
  if (nSog < 16) return e;
  for (int k = 0; k < 3; ++k) e.shadesOfGrey[k] = std::pow(sog[k] / double(nSog), 1.0 / kShadesOfGreyNorm);
  if (nEdge >= 16 && edge[0] > 0 && edge[1] > 0 && edge[2] > 0)
    for (int k = 0; k < 3; ++k) e.greyEdge[k] = std::pow(edge[k] / double(nEdge), 1.0 / kGreyEdgeNorm);
  else
    e.greyEdge = e.shadesOfGrey;
  if (grey.size() >= 100) {
    // The greyest of the measured pixels, each counted by its colour alone (a bright one is no surer).
    const size_t n = std::max<size_t>(16, size_t(kGreyPixelShare * double(grey.size())));
    std::nth_element(grey.begin(), grey.begin() + long(n), grey.end(),
                     [](const auto& a, const auto& b) { return a[0] < b[0]; });
    double sum[3] = {0, 0, 0}, index = 0;
    for (size_t i = 0; i < n; ++i) {
      for (int k = 0; k < 3; ++k) sum[k] += grey[i][k + 1];
      index += grey[i][0];
    }
    e.greyPixels = {sum[0], sum[1], sum[2]};
    e.greyPixelIndex = index / double(n);
  } else {
    e.greyPixels = e.greyEdge;
  }
  // The brightest 2 % of the lit pixels. Here and in shades of grey clipped pixels count as they are:
  // a highlight at white in every channel says "no cast" (an over-exposed white stays white), one
  // clipped in a single channel still gives the ratio of the other two. Leaving them out leaves the
  // brightest coloured surfaces (lamp-lit metal, warm wood) to speak for the light.
  const double threshold = quantile(brightness, 1 - kBrightPixelShare);
  struct Bright {
    double sum[3] = {0, 0, 0};
    size_t n = 0;
  };
  double bright[3] = {0, 0, 0};
  size_t nBright = 0;
  const auto brightSums = auto_support::forAnalysisPixels<Bright>(img, [&](const float* c, Bright& b) {
    if (!lit(c) || c[0] + c[1] + c[2] < threshold) return;
    for (int k = 0; k < 3; ++k) b.sum[k] += c[k];
    ++b.n;
  });
  for (const Bright& p : brightSums) {
    for (int k = 0; k < 3; ++k) bright[k] += p.sum[k];
    nBright += p.n;
  }
  if (nBright > 0 && bright[1] > 0)
    e.brightPixels = {bright[0], bright[1], bright[2]};
  else
    e.brightPixels = e.shadesOfGrey;
  // Consensus: the median of the three in log chromaticity (red and blue over green): one estimator
  // fooled by the scene (a large coloured surface, a coloured highlight) is outvoted.
  const Illuminant* all3[3] = {&e.greyEdge, &e.shadesOfGrey, &e.brightPixels};
  double lr[3], lb[3];
  for (int i = 0; i < 3; ++i) {
    const Illuminant& v = *all3[i];
    lr[i] = std::log(std::max(v[0], 1e-9) / std::max(v[1], 1e-9));
    lb[i] = std::log(std::max(v[2], 1e-9) / std::max(v[1], 1e-9));
  }
  auto median3 = [](double a, double b, double c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); };
  // Grey edge, the most reliable of the three on natural photos, counts once more: the consensus is
  // halfway between it and the median.
  double cr = 0.5 * (median3(lr[0], lr[1], lr[2]) + lr[0]), cb = 0.5 * (median3(lb[0], lb[1], lb[2]) + lb[0]);
  {
    // Grey pixels, as far as they are grey, speak for the light before the others.
    double trust = 1 - auto_support::smoothstep(kGreyIndexSure, kGreyIndexNone, e.greyPixelIndex);
    if (trust > 0) {
      e.greyPixelBeyond = candidatesNear(img, e.greyPixels, lit).beyond;
      trust *= 1 - auto_support::smoothstep(kGreyOneSided, kGreyOneSidedNone, std::fabs(e.greyPixelBeyond));
    }
    e.greyPixelTrust = trust;
    const double gr = std::log(e.greyPixels[0] / e.greyPixels[1]), gb = std::log(e.greyPixels[2] / e.greyPixels[1]);
    cr += trust * (gr - cr), cb += trust * (gb - cb);
  }
  const auto [pr, pb] = towardsPlausibleLight(cr, cb);
  e.consensus = unit({std::exp(pr), 1.0, std::exp(pb)});
  e.unconstrained = unit({std::exp(cr), 1.0, std::exp(cb)});
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j)
      e.spreadDegrees = std::max(e.spreadDegrees, angularErrorDegrees(*all3[i], *all3[j]));
  // The three's disagreement says how unsure their consensus is; as far as the grey pixels speak for the
  // light instead, it no longer does.
  e.spreadDegrees *= 1 - e.greyPixelTrust;
  const Candidates candidates = candidatesNear(img, e.consensus, lit);
  e.candidateShare = candidates.share, e.candidateCore = candidates.core, e.candidateBeyond = candidates.beyond;
  {
    // How far the estimate lies off the locus of plausible lights: the angle, in log chromaticity,
    // between it and the nearer of the two rays.
    const double tw = pr * kWarmRay[0] + pb * kWarmRay[1], tc = pr * kSkyRay[0] + pb * kSkyRay[1];
    const double* ray = tw >= tc ? kWarmRay : kSkyRay;
    const double along = std::max(tw, tc), off = std::fabs(pr * ray[1] - pb * ray[0]);
    e.offLocusDegrees = std::hypot(pr, pb) > 1e-6 ? std::atan2(off, along) * 180 / M_PI : 0;
  }
  return e;
}

double ToneCurve::apply(double linear) const {
  // Display values; past white (float pictures) the encoding goes on as a power.
  auto encode = [](double c) { return c <= 1 ? srgb(std::max(c, 0.0)) : std::pow(c, 1 / 2.4); };
  auto decode = [](double v) { return v <= 1 ? unSrgb(v) : std::pow(v, 2.4); };
  double c = linear;
  if (fromBlack != toBlack || fromWhite != toWhite || midBoost != 0) {
    double v = encode(c);
    const double w1 = gainFromWhite > 0 ? gainFromWhite : toWhite;
    const double slope = (w1 - toBlack) / std::max(1e-6, fromWhite - fromBlack);
    v = toBlack + (v - fromBlack) * slope;
    if (gainFromWhite > 0 && v > 0) v = encode(decode(v) * decode(toWhite) / decode(w1));
    if (toWhite != fromWhite && v > toWhite && toWhite < 1) {
      // What lay beyond the measured white rolls off towards white instead of clipping.
      const double room = 1 - toWhite;
      v = toWhite + room * (1 - std::exp(-(v - toWhite) / room));
    }
    if (midBoost != 0 && v > 0 && v <= 1) v = v * (1 + midBoost) / (1 + midBoost * v);
    c = v > 0 ? decode(v) : v;  // below black for now: the toe takes it
  }
  if (exposureGain < 1 && c > 0) {
    // A linear gain for the body of the picture, and a shoulder that brings linear white to
    // shoulderWhite: out = g c / (1 - k c^6), k set by out(1) = shoulderWhite.
    const double g = exposureGain, k = 1 - g / shoulderWhite;
    const double x = std::min(c, 1.0);
    const double body = g * x / (1 - k * std::pow(x, 6));
    c = c <= 1 ? body : shoulderWhite + g * (c - 1);
  }
  if (headroomTop > 1 && c > kShoulderStart) {
    // Rational shoulder, slope 1 at its start: the picture's top lands on white.
    const double span = 1 - kShoulderStart, X = (headroomTop - kShoulderStart) / span, x = (c - kShoulderStart) / span;
    c = kShoulderStart + span * x / (1 + x * (X - 1) / X);
  }
  double v = c > 0 ? encode(c) : c;
  if (v > kCeilingStart) {
    const double room = kCeiling - kCeilingStart;
    v = kCeilingStart + room * (1 - std::exp(-(v - kCeilingStart) / room));
  } else if (v < 2 * kToe) {
    // Slope 1 at 2 kToe, down to kFloor however far under black: black (and an earlier
    // sharpening's undershoot) stays just above what an 8-bit file holds as black.
    const double room = 2 * kToe - kFloor;
    v = kFloor + room * std::exp((v - 2 * kToe) / room);
  } else {
    return c;
  }
  return decode(v);
}

std::array<float, 3> partialGains(const std::array<float, 3>& full, double share) {
  std::array<double, 3> g;
  for (int k = 0; k < 3; ++k) g[k] = std::exp2(share * std::log2(double(full[k]) / double(full[1])));
  const double l = 0.2126 * g[0] + 0.7152 * g[1] + 0.0722 * g[2];
  return {float(g[0] / l), float(g[1] / l), float(g[2] / l)};
}

double sharpnessOf(const ImageDataRGBf& img) {
  // On square-root luminance, across the places where the two-pixel step is clearly an edge (not
  // noise, not a flat area), horizontally and vertically.
  const int w = img.width(), h = img.height();
  if (w < 4 || h < 4) return 1;
  std::vector<float> p(size_t(w) * h);
  auto_support::inPieces<char>(p.size(), [&](size_t i0, size_t i1, char&) {
    for (size_t i = i0; i < i1; ++i) p[i] = std::sqrt(std::max(0.f, tone::luminance(img.floats() + 3 * i)));
  });
  // The regions divide the visible part of the picture (its bounding box).
  int x0 = 0, y0 = 0, x1 = w, y1 = h;
  if (img.alpha()) {
    x0 = w, y0 = h, x1 = 0, y1 = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (auto_support::isAnalysed(img, x, y))
          x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
    if (x1 <= x0 || y1 <= y0) return 1;
  }
  auto tileOf = [&](int x, int y) {
    return std::min(kTiles - 1, (x - x0) * kTiles / (x1 - x0)) +
           kTiles * std::min(kTiles - 1, (y - y0) * kTiles / (y1 - y0));
  };
  struct Steps {
    double one[kTiles * kTiles] = {}, two[kTiles * kTiles] = {};
  };
  const auto stepSums = auto_support::inRowBands<Steps>(img, [&](int r0, int r1, Steps& sums) {
    for (int y = r0; y < r1 && y + 2 < h; y += 2)
      for (int x = 0; x + 2 < w; x += 2) {
        const float* q = p.data() + size_t(y) * w + x;
        // Where the picture has hidden parts, as at its borders: all three points must be in it.
        if (!auto_support::isAnalysed(img, x, y) || !auto_support::isAnalysed(img, x + 2, y) ||
            !auto_support::isAnalysed(img, x, y + 2))
          continue;
        for (int step : {1, w}) {
          const float d2 = std::fabs(q[2 * step] - q[0]);
          if (d2 < kEdgeStep) continue;
          const int tile = tileOf(x, y);
          sums.one[tile] += std::max(std::fabs(q[step] - q[0]), std::fabs(q[2 * step] - q[step]));
          sums.two[tile] += d2;
        }
      }
  });
  Steps all;
  for (const Steps& part : stepSums)
    for (int t = 0; t < kTiles * kTiles; ++t) all.one[t] += part.one[t], all.two[t] += part.two[t];
  double one = 0, two = 0;
  for (int t = 0; t < kTiles * kTiles; ++t) one += all.one[t], two += all.two[t];
  if (!(two > 0)) return 1;
  // The sharpest regions, together holding kSharpShare of the edges: a picture in focus somewhere (the
  // subject) with the rest soft (depth of field, a blurred background) is sharp; only a picture soft
  // all over (shaken, out of focus) is not. (Several regions, so that the steepness of a few edges in
  // one region does not decide.)
  int order[kTiles * kTiles];
  for (int t = 0; t < kTiles * kTiles; ++t) order[t] = t;
  auto ratio = [&](int t) { return all.two[t] > 0 ? all.one[t] / all.two[t] : 0.0; };
  std::stable_sort(order, order + kTiles * kTiles, [&](int a, int b) { return ratio(a) > ratio(b); });
  double sharpOne = 0, sharpTwo = 0;
  for (int t : order) {
    if (sharpTwo >= kSharpShare * two) break;
    sharpOne += all.one[t], sharpTwo += all.two[t];
  }
  return std::max(one / two, sharpOne / sharpTwo);
}

// The share of a colour correction (0..share) that keeps the picture's neutral pixels neutral:
// `share` itself unless the correction would take most of a large neutral area off neutral.
double neutralKeepingShare(const ImageDataRGBf& img, const std::array<float, 3>& fullGains, double share) {
  const double cosLimit = std::cos(kNeutralDegrees * M_PI / 180);
  auto sums = auto_support::gatherAnalysisPixels<float>(
      img, [](const float* c) { return c[0] + c[1] + c[2] >= 3 * kNeutralFloor; },
      [](const float* c) { return c[0] + c[1] + c[2]; });
  if (sums.empty()) return 1;
  auto cut = sums.begin() + std::ptrdiff_t(double(sums.size() - 1) * kDarkShare);
  std::nth_element(sums.begin(), cut, sums.end());
  const float darkLimit = *cut;
  auto neutralAfter = [&](double s) {
    const auto g = partialGains(fullGains, s);
    struct Counts {
      size_t counted = 0, neutral = 0;
    };
    size_t counted = 0, neutral = 0;
    const auto neutralCounts = auto_support::forAnalysisPixels<Counts>(img, [&](const float* c, Counts& n) {
      const float sum = c[0] + c[1] + c[2];
      if (sum < 3 * kNeutralFloor || sum > darkLimit) return;
      ++n.counted;
      const double r = c[0] * g[0], gg = c[1] * g[1], b = c[2] * g[2];
      const double dot = (r + gg + b) / std::sqrt(3 * (r * r + gg * gg + b * b) + 1e-30);
      if (dot >= cosLimit) ++n.neutral;
    });
    for (const Counts& part : neutralCounts) counted += part.counted, neutral += part.neutral;
    return counted ? double(neutral) / double(counted) : 0.0;
  };
  const double before = neutralAfter(0);
  if (before < kNeutralShareMin) return 1;
  // Halve the correction until enough of the neutral area stays neutral (or nothing is left).
  double kept = 1;
  for (int i = 0; i < 6 && neutralAfter(share * kept) < kNeutralKept * before; ++i) kept *= 0.5;
  return kept < 1.0 / 32 ? 0 : kept;
}

Analysis analyse(const ImageDataRGBf& source, double exposureBiasEV) {
  Analysis a;
  // The picture as the layers receive it (a RAW development brightens it by the bias first).
  ImageDataRGBfPtr biased;
  const ImageDataRGBf* img = &source;
  if (exposureBiasEV != 0 && (biased = source.copy())) {
    const float k = float(std::exp2(exposureBiasEV));
    for (size_t i = 0; i < biased->pixelCount() * 3; ++i) biased->floats()[i] *= k;
    img = biased.get();
  }

  const auto encoded = std::make_unique<Table>([](double x) { return srgb(x); });
  // A veil (a fade, a haze) mixes every pixel with grey: it dilutes a one-coloured scene's own
  // colour (a green leaf filling the frame) into what looks like a plausible light, and a faded photo
  // had its colour "corrected" away. So the light is measured on the picture without its veil: the
  // levels below applied first (a copy of the analysis image, only for a veiled picture).
  ImageDataRGBfPtr unveiled;
  double receivedVeil = 0;
  {
    const auto received = auto_support::gatherAnalysisPixels<std::array<float, 3>>(
        *img, [](const float*) { return true; },
        [](const float* c) {
          return std::array<float, 3>{c[0], c[1], c[2]};
        });
    const auto [lo, hi] = channelExtremes(received, *encoded);
    const Veil veil = veilOf(lo, hi);
    receivedVeil = veil.v;
    if (veil.v > 0 && hi - lo > 0.05 && (unveiled = img->copy())) {
      const auto level = std::make_unique<Table>([&](double x) { return unSrgb(veil.unveil(srgb(x))); });
      float* f = unveiled->floats();
      auto_support::inPieces<char>(unveiled->pixelCount() * 3, [&](size_t i0, size_t i1, char&) {
        for (size_t i = i0; i < i1; ++i) f[i] = (*level)(f[i]);
      });
    }
  }
  const ImageDataRGBf& lit = unveiled ? *unveiled : *img;

  // 1. The illuminant, on linear light as received (without its veil).
  a.illuminant = estimateIlluminant(lit);
  const Illuminant& e = a.illuminant.consensus;
  a.castDegrees = angularErrorDegrees(e, {1, 1, 1});
  {
    const double l = 0.2126 / e[0] + 0.7152 / e[1] + 0.0722 / e[2];
    a.fullGains = {float(1 / e[0] / l), float(1 / e[1] / l), float(1 / e[2] / l)};
  }
  // A warm light (red over blue) is often the mood of a sunset or a lamp, and a cool one along the
  // daylight locus the mood of shade, an overcast sky or dusk: both have the wider dead zone. A cool
  // cast off the locus (green, cyan) is a fault, and has the narrow one.
  const bool warm = e[0] > e[2];
  double moodDeadZone = kWarmCastDeadZone;
  if (!warm) {
    const double lr = std::log(e[0] / e[1]), lb = std::log(e[2] / e[1]);
    const double along = std::max(0.0, lr * kSkyRay[0] + lb * kSkyRay[1]), off = lr * kSkyRay[1] - lb * kSkyRay[0];
    const double onLocus = along * along / (along * along + off * off + 1e-12);
    moodDeadZone = kCastDeadZone + (kDaylightDeadZone - kCastDeadZone) * onLocus * onLocus;
    // The daylight in the estimate is its part along the locus, as far as the estimate lies along the
    // locus; of that, up to kDaylightKept is kept. The trace caps what is kept, not the daylight itself:
    // a snowy scene under a blue sky and a cool-green cast (its estimate 41 degrees off the locus, a
    // weight of 0.15) keeps its own slight blue (0.15 of 0.36 along the sky ray), where capping first
    // kept 0.15 of the trace, and its snow came back yellow. A cast mostly off the locus is removed
    // almost whole.
    const double keep =
        std::min(auto_support::smoothstep(kMostlyDaylight, kDaylightSure, onLocus) * along, kDaylightKept);
    if (keep > 0) {
      const Illuminant kept{e[0] / std::exp(keep * kSkyRay[0]), e[1], e[2] / std::exp(keep * kSkyRay[1])};
      const double l = 0.2126 / kept[0] + 0.7152 / kept[1] + 0.0722 / kept[2];
      a.fullGains = {float(1 / kept[0] / l), float(1 / kept[1] / l), float(1 / kept[2] / l)};
    }
  }
  // How far each estimator alone sees a cast, weakest first.
  double seen[3] = {angularErrorDegrees(a.illuminant.greyEdge, {1, 1, 1}),
                    angularErrorDegrees(a.illuminant.shadesOfGrey, {1, 1, 1}),
                    angularErrorDegrees(a.illuminant.brightPixels, {1, 1, 1})};
  std::sort(seen, seen + 3);
  // Estimators that disagree leave it open whether there is a cast at all, but only while one of
  // them still sees the light within the mood's zone: when even the weakest sees a cast past it, they
  // differ on its hue, not on its being there, and neither the zone's widening nor the slower ramp
  // applies.
  const double unanimous = auto_support::smoothstep(moodDeadZone, kUnanimousFull * moodDeadZone, seen[0]);
  const double deadZone = std::max(moodDeadZone, kSpreadShare * a.illuminant.spreadDegrees * (1 - unanimous));
  // A cast is removed whole once it is clearly beyond the estimators' error (a warm one, more often
  // the mood of the light, has the wider dead zone).
  const double agreement =
      warm ? std::max(unanimous, 1 - auto_support::smoothstep(kAgreeSure, kAgreeNone, a.illuminant.spreadDegrees)) : 0;
  const double applied = beyondDeadZone(a.castDegrees, deadZone, deadZone * (2 - (2 - kAgreedRamp) * agreement));
  // Whether the estimate is a light at all (not the colour of a scene with nothing neutral in it),
  // then how sure it is (the estimators agree, little is clipped).
  const double lean = kLeanCore * auto_support::smoothstep(kLeanFrom, kLeanFull, a.illuminant.candidateBeyond);
  a.lightPlausibility =
      (1 - auto_support::smoothstep(kPlausibleCast, kImplausibleCast,
                                    angularErrorDegrees(a.illuminant.unconstrained, {1, 1, 1}))) *
      auto_support::smoothstep(kCandidateNone, kCandidateSure, a.illuminant.candidateShare) *
      std::max(auto_support::smoothstep(kCoreNone + lean, kCoreSure + lean, a.illuminant.candidateCore),
               1 - auto_support::smoothstep(kCentredSure, kCentredNone, std::fabs(a.illuminant.candidateBeyond))) *
      (1 - auto_support::smoothstep(kOffLocusNone, kOffLocusSure, a.illuminant.offLocusDegrees) *
               auto_support::smoothstep(kBeyondNone, kBeyondSure, a.illuminant.candidateBeyond));
  a.colourSureness = (1 - auto_support::smoothstep(kSpreadSure, kSpreadLost, a.illuminant.spreadDegrees)) *
                     (1 - auto_support::smoothstep(0.1, 0.4, a.illuminant.clippedShare) *
                              (1 - auto_support::smoothstep(kCoreTight, kCoreTightSure, a.illuminant.candidateCore))) *
                     a.lightPlausibility;
  double share = (a.castDegrees > 0 ? applied / a.castDegrees : 0) * a.colourSureness;
  {
    // A cast that one estimator alone sees is thin evidence (grey edge led by the warm rims of a
    // backlit scene, whose bright pixels and overall colour are neutral): the correction goes only as
    // far as the second strongest of the three sees a cast beyond half the dead zone.
    const double support = seen[1] > 0 ? beyondDeadZone(seen[1], kSupportShare * moodDeadZone) / seen[1] : 0;
    share = std::min(share, support * a.colourSureness);
  }
  // How far the estimate is taken for a light at all, whatever the clipping (which makes the colour
  // layer timid, not the light less real) and the dead zone (a mood light is still a light).
  const double lightTrust =
      (1 - auto_support::smoothstep(kSpreadSure, kSpreadLost, a.illuminant.spreadDegrees)) * a.lightPlausibility;
  // The colour layer's gains act before the tone layer undoes the veil: they tint the veil's grey,
  // and undoing it magnifies that tint 1 / (1 - 2 v) times (a faded red flower came out purple). A
  // veil is a mix with grey and says nothing of a cast: a veiled picture's colour is left to it.
  share *= 1 - auto_support::smoothstep(0, kVeilColourLimit, receivedVeil);
  if (share > 0) share *= neutralKeepingShare(lit, a.fullGains, share);
  // What is applied is a need too: a correction that the doubts above have cut to a sliver of a
  // degree is inside any estimate's error and out of sight, and it is the tail of those doubts, not
  // evidence (a red flower in a green-yellow blur under a blue cast, its own colour read as a warm
  // light and doubted to 0.02 of it, had 0.4 degrees of blue added). It has its own dead zone.
  if (a.castDegrees > 0) share = beyondDeadZone(share * a.castDegrees, kAppliedDeadZone) / a.castDegrees;
  a.colourStrength = share;
  const auto gains = partialGains(a.fullGains, share);
  {
    // What a grey looks like after the colour layer: the light times the gains, as far as the
    // estimate is a light at all.
    double m[3];
    for (int k = 0; k < 3; ++k) m[k] = std::pow(e[k] / e[1] * gains[k] / gains[1], lightTrust);
    const double l = 0.2126 * m[0] + 0.7152 * m[1] + 0.0722 * m[2];
    a.moodLight = {float(m[0] / l), float(m[1] / l), float(m[2] / l)};
  }

  // The picture after the colour layer (samples only: a quarter of the pixels).
  struct Sample {
    std::array<float, 3> c;
    bool receivedClipped;
    bool receivedWhite;  // clipped in every channel
  };
  const auto samples = auto_support::gatherAnalysisPixels<Sample>(
      *img, [](const float*) { return true; },
      [&](const float* c) {
        return Sample{{std::max(0.f, c[0] * gains[0]), std::max(0.f, c[1] * gains[1]), std::max(0.f, c[2] * gains[2])},
                      std::max({c[0], c[1], c[2]}) >= kClipped,
                      std::min({c[0], c[1], c[2]}) >= kClipped};
      });
  if (samples.empty()) return a;
  std::vector<std::array<float, 3>> px(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) px[i] = samples[i].c;
  // Values of every sample, worked out on the worker threads.
  auto each = [&](std::vector<float>& out, auto&& f) {
    out.resize(px.size());
    auto_support::inPieces<char>(px.size(), [&](size_t i0, size_t i1, char&) {
      for (size_t i = i0; i < i1; ++i) out[i] = f(px[i]);
    });
  };

  // A picture brighter than white (a RAW development's headroom) rolls off towards white.
  {
    std::vector<float> tops;
    each(tops, [](const std::array<float, 3>& c) { return std::max({c[0], c[1], c[2]}); });
    a.tone.headroomTop = std::max(1.0, quantile(std::move(tops), 0.9995));
  }

  // 2. Veil and levels from the channel extremes, in display values, alike for R, G and B.
  const auto [lo, hi] = channelExtremes(px, *encoded);
  ToneCurve& t = a.tone;
  // The veil undone first; then the white end of what is left stretched towards white, past its
  // dead zone, as far as the mid-tone cap allows.
  const Veil veil = veilOf(lo, hi);
  const double lo1 = veil.unveil(lo), hi1 = veil.unveil(hi);
  const double whiteMove = beyondDeadZone(1 - kWhiteTypical - hi1, kWhiteDeadZone);
  if ((veil.v > 0 || whiteMove > 0) && hi - lo > 0.05) {
    t.fromBlack = lo, t.toBlack = lo1;
    t.fromWhite = hi, t.toWhite = std::min(1 - kWhiteTypical, hi1 + whiteMove);
    if (whiteMove > 0) {
      std::vector<float> lum;
      each(lum, [](const std::array<float, 3>& c) { return tone::luminance(c.data()); });
      // Unused headroom is the photographer's evidence, and the colour layer's gains move the top:
      // they keep a white's luminance, so a grey under the estimated light comes out at the smallest
      // of them times its brightest channel as received. Where the estimate is a light (its neutral
      // candidates gathered round it), what the gains leave is the picture's top; where it was taken
      // only for its candidates spread evenly round it, with none gathered at it, the gains may take
      // out part of the subject's own colour, and its brightest channel with it, and the top is judged
      // as the gains would leave a grey as received (a ginger cat under a cool-green cast, core 0.00,
      // its top 0.80 as photographed, came to 0.75 and was brightened 0.9 EV).
      double top = hi1;
      if (const double ceiling = std::min({1.f, gains[0], gains[1], gains[2]}); ceiling < 1) {
        const double gathered = auto_support::smoothstep(kCoreNone, kCoreSure, a.illuminant.candidateCore);
        top = gathered * hi1 + (1 - gathered) * std::min(1.0, srgb(unSrgb(hi1) / ceiling));
      }
      const double headroom = auto_support::smoothstep(kHeadroomSome, kHeadroomSure, 1 - top);
      a.headroom = headroom;
      const double m = veil.unveil(srgb(quantile(std::move(lum), 0.5))),
                   cap = srgb(kStretchMedianCap + headroom * (kHeadroomMedianCap - kStretchMedianCap));
      // The stretch is a linear gain, an exposure's: a darkened picture's mid-tones and shadows come
      // back with its white (stretched in display values they came back 0.15-0.3 EV short), within the
      // cap on its mid-tones.
      const double M = unSrgb(m), W = unSrgb(hi1);
      double g = unSrgb(t.toWhite) / std::max(1e-9, W);
      if (M > 1e-6) g = std::min(g, unSrgb(cap) / M);
      t.gainFromWhite = hi1, t.toWhite = srgb(W * std::max(g, 1.0));
    }
  }

  // 3. Exposure, measured after the levels: mid-tones and the clipped share.
  auto levelled = std::make_unique<Table>([&](double x) { return t.apply(x); });
  std::vector<float> lum(px.size());
  struct Tops {
    size_t clipped = 0, topStop = 0, white = 0, lightClipped = 0, paleCut = 0;
  };
  size_t clipped = 0, topStop = 0, white = 0, lightClipped = 0, paleCut = 0;
  // Whether a channel clipped because of the light's colour or the exposure: the estimate is taken
  // as a light as far as any plausible light could be that coloured (whether or not the colour layer
  // trusts it enough to correct it): a clipped channel that a plausible light explains is no
  // evidence of over-exposure.
  const auto neutralGains =
      partialGains(a.fullGains, a.castDegrees > kPlausibleCast ? kPlausibleCast / a.castDegrees : 1.0);
  const auto topCounts = auto_support::inPieces<Tops>(px.size(), [&](size_t i0, size_t i1, Tops& n) {
    for (size_t i = i0; i < i1; ++i) {
      const auto& c = px[i];
      float d[3];
      for (int k = 0; k < 3; ++k) d[k] = (*levelled)(c[k]);
      lum[i] = tone::luminance(d);
      // Clipped as received and still near white after the colour layer's gains: a cast that
      // clipped one channel (red under a warm light) is no over-exposure, the gains take that
      // channel well back under white. (The levels never clip.)
      const float top = std::max({c[0], c[1], c[2]});
      // A channel that was clipped as received and would still be near white under a neutral light
      // (the estimated light's gains as far as the estimate is sure, whatever share of them the
      // colour layer applies): a cast that clipped one channel (red under a warm light) is no
      // over-exposure, and the pixel's other channels were never clipped.
      bool stillClipped = false;
      // The lowest unclipped channel, as the colour layer leaves it and with the light taken out (a
      // clipped channel could have been anything above white).
      float lowest = 1, lowestLightOut = 1;
      for (int k = 0; k < 3; ++k) {
        const float received = c[k] / gains[k];
        const float lightOut = received * neutralGains[k];
        if (c[k] < kClipped) lowest = std::min(lowest, c[k]);
        if (received < kClipped) lowestLightOut = std::min(lowestLightOut, lightOut);
        stillClipped |=
            (received >= kClipped && lightOut >= kClipped * 0.9f) || lightOut >= kClipped * kClipLightMargin;
      }
      if (samples[i].receivedClipped && stillClipped) {
        ++n.clipped;
        n.white += samples[i].receivedWhite;
        // Clipped as the tone layer sees it, with a channel far under white whether or not the light
        // is taken out: a cast that clipped a near-white (a grey ceiling under a warm light) is no
        // pale tint, its other channels lie at white once the light is out.
        n.paleCut += top >= kClipped && std::min(lowest, lowestLightOut) >= kPaleCutLow &&
                     std::max(lowest, lowestLightOut) < kPaleCutHigh;
      } else if (top >= kClipped / 2) {
        ++n.topStop;
        n.lightClipped += samples[i].receivedClipped;  // clipped, but a light's colour could explain it
      }
    }
  });
  for (const Tops& part : topCounts)
    clipped += part.clipped, topStop += part.topStop, white += part.white, lightClipped += part.lightClipped,
        paleCut += part.paleCut;
  const double median = quantile(lum, 0.5);
  const double overMid = median > 0 ? std::log2(median / kMidAim) : 0;
  const double overEV = median > 0 ? beyondDeadZone(overMid, kOverDeadZoneEV) : 0;
  const double brightThrough = auto_support::smoothstep(kLightClipMidEV, kLightClipMidSureEV, overMid);
  {
    // A clipped channel that a light's colour could explain is no over-exposure as far as the
    // estimate is taken for a light. Where it is not (the scene's own colour: nothing near grey, or
    // too coloured for a light), a picture whose mid-tones are bright all through clipped its own
    // colour's channel, as a picture a stop too bright does first (a yellow flower, a green leaf
    // filling the frame).
    const double left = (1 - lightTrust) * brightThrough;
    const auto counted = size_t(std::lround(double(lightClipped) * left));
    clipped += counted, topStop -= counted;
  }
  const double clippedShare = double(clipped) / double(px.size());
  // A pile-up at white: the clipped pixels against those in the stop under white. Near its top a
  // photo's histogram holds about as much in each stop, so a clipped mass as large as the stop
  // under it means about a stop was lost (good photos, a lamp or the sun blown, stay under 0.2).
  const double pileUp = double(clipped) / double(std::max<size_t>(topStop, 1));
  a.medianLuminance = median, a.clippedShare = clippedShare, a.pileUp = pileUp;
  a.colourClipped = clipped ? 1 - double(white) / double(clipped) : 0;
  a.paleCut = clipped ? double(paleCut) / double(clipped) : 0;
  // A picture pushed past its range blows its whites and pale greys in every channel. A pile-up of
  // pixels each still holding a channel under white is coloured light clipping one or two channels
  // (a grey ceiling under a cool-green cast clipped its blue and green, and was darkened a stop): the
  // pile-up says a stop was lost only as far as some of the clipped pixels are white.
  const double whiteEvidence = auto_support::smoothstep(kWhiteClippedNone, kWhiteClippedSure, 1 - a.colourClipped);
  const double lostEV = std::log2(1 + beyondDeadZone(pileUp, kPileUpDeadZone)) * whiteEvidence;
  // Pale tints cut by the clip: a camera's tone curve rolls a pale colour's channels off together
  // into white, so a pale tint that clipped in one channel holds the others near white too (a white
  // sky); a picture pushed past its range cuts each channel where it crosses the clip, and a pale
  // sky or a pale wall clips in one or two channels with the others far under white (a grey-blue
  // sky turned cyan). Where those make up the clipped pixels, a smaller pile-up says a stop was lost.
  const double paleEvidence = auto_support::smoothstep(kPaleCutNone, kPaleCutSure, a.paleCut);
  // A cut runs through a ramp, which goes on under white: the stop under white holds about as much as
  // was clipped. A clipped mass with next to nothing under it is an object's own edge (a coloured
  // glow, a lamp's disc against a darker scene), not a cut.
  const double paleLostEV = std::log2(1 + beyondDeadZone(pileUp, kPaleCutPileUpDeadZone)) * paleEvidence *
                            (1 - auto_support::smoothstep(kRampPileUp, 2 * kRampPileUp, pileUp));
  if ((overEV > 0 || lostEV > 0 || paleLostEV > 0) && clippedShare > kClipDeadZone) {
    // Over-exposed: the clipped share says so (a bright scene without clipping is left bright), the
    // mid-tones or the pile-up at white say by how much (a night scene's mid-tones stay dark).
    const double ev = std::min(kMaxDarkenEV, std::max(overEV, lostEV));
    // Clipping with no white in it is a colour's (a pale scene under a cast, the colour of a
    // high-key scene): it says so only of a picture bright all through.
    const double clipSure = auto_support::smoothstep(kClipDeadZone, kClipSure, clippedShare);
    const double sure = clipSure * (1 - (1 - whiteEvidence) * (1 - brightThrough));
    t.exposureGain = std::exp2(-std::max(ev * sure, std::min(kPaleCutMaxEV, paleLostEV) * clipSure));
    t.shoulderWhite = 0.92;
  } else if (median > 1e-4) {
    // Still dark after the levels (its top reaches white: a small bright part in a dark picture):
    // the mid-tones rise a little, past the dead zone that low-key pictures fill.
    // A picture that clips has used its headroom: its darkness is the scene's (a low-key portrait).
    // One whose white end the levels moved (a fade, a darkening) may have clipped before it was
    // spoilt: its clipped pixels all sit at the same top value, a pile over the measured white that
    // a picture's own highlights never make.
    double piledAtWhite = 0;
    if (t.fromWhite != t.toWhite) {
      const float top = float(unSrgb(std::max(0.0, hi - kPiledAtWhite)));
      const size_t piled = std::count_if(px.begin(), px.end(), [top](const std::array<float, 3>& c) {
        return std::max({c[0], c[1], c[2]}) >= top;
      });
      piledAtWhite = std::max(0.0, double(piled) / double(px.size()) - (1 - kHighQuantile));
    }
    const double unclipped =
        1 - auto_support::smoothstep(kClipDeadZone / 4, 2 * kClipDeadZone, std::max(clippedShare, piledAtWhite));
    const double ev =
        std::min(kMaxMidLiftEV, beyondDeadZone(std::log2(kMidAim / median), kDarkMidDeadZoneEV) * 0.5 * unclipped);
    if (ev > 0) {
      const double m = srgb(median), mt = std::min(0.9, srgb(median * std::exp2(ev)));
      t.midBoost = (mt - m) / (m * (1 - mt));
    }
  }

  // 4. Finishing, on the corrected picture: colourfulness, deep shadows and near-white.
  const auto corrected = std::make_unique<Table>([&](double x) { return t.apply(x); });
  struct Finish {
    double srg = 0, syb = 0, srg2 = 0, syb2 = 0;
    size_t deep = 0, bright = 0;
  };
  double srg = 0, syb = 0, srg2 = 0, syb2 = 0;
  size_t deep = 0, bright = 0;
  const auto finishSums = auto_support::inPieces<Finish>(px.size(), [&](size_t i0, size_t i1, Finish& f) {
    for (size_t i = i0; i < i1; ++i) {
      float d[3];
      for (int k = 0; k < 3; ++k) d[k] = (*corrected)(px[i][k]);
      const double R = 255 * (*encoded)(d[0]), G = 255 * (*encoded)(d[1]), B = 255 * (*encoded)(d[2]);
      const double rg = R - G, yb = 0.5 * (R + G) - B;
      f.srg += rg, f.syb += yb, f.srg2 += rg * rg, f.syb2 += yb * yb;
      const float y = tone::luminance(d);
      if (y < 0.01f) ++f.deep;
      if (y > 0.8f) ++f.bright;
    }
  });
  for (const Finish& part : finishSums) {
    srg += part.srg, syb += part.syb, srg2 += part.srg2, syb2 += part.syb2;
    deep += part.deep, bright += part.bright;
  }
  const double n = double(px.size());
  const double mrg = srg / n, myb = syb / n;
  const double sdrg = std::sqrt(std::max(0.0, srg2 / n - mrg * mrg)),
               sdyb = std::sqrt(std::max(0.0, syb2 / n - myb * myb));
  a.colourfulness = std::hypot(sdrg, sdyb) + 0.3 * std::hypot(mrg, myb);
  a.vibranceNeed = std::clamp(
      beyondDeadZone(kColourfulnessPrior - a.colourfulness, kColourfulnessDeadZone) / kColourfulnessPrior, 0.0, 1.0);
  // Deep shadows and a bright share are what a low-key portrait or a high-key picture with a large sky
  // is made of: they are opened up only in a picture found under- or over-exposed above (brightened by
  // the levels or the lift; darkened), where they are what the correction left behind.
  const double brightened = auto_support::smoothstep(0, 0.05, t.toWhite - t.fromWhite + t.midBoost);
  const double darkened = auto_support::smoothstep(0, 0.2, 1 - t.exposureGain);
  a.shadowNeed =
      brightened * std::clamp(beyondDeadZone(double(deep) / n, kDeepShadowShare) / (2 * kDeepShadowShare), 0.0, 1.0);
  a.highlightNeed =
      darkened * std::clamp(beyondDeadZone(double(bright) / n, kBrightShare) / (2 * kBrightShare), 0.0, 1.0);
  a.sharpness = sharpnessOf(*img);
  a.sharpenNeed = std::clamp((kSharpEnough - a.sharpness) / (kSharpEnough - kSoft), 0.0, 1.0);

  return a;
}

std::shared_ptr<const Analysis> shared(const EffectParametersContextPtr& context, double exposureBiasEV) {
  if (!context) return std::make_shared<Analysis>();
  char key[64];
  std::snprintf(key, sizeof key, "enhance.analysis.%g", exposureBiasEV);
  return context->analysis<Analysis>(key, [&]() -> std::shared_ptr<const Analysis> {
    auto img = context->analysisImage();
    return std::make_shared<Analysis>(img ? analyse(*img, exposureBiasEV) : Analysis{});
  });
}

}  // namespace rova::enhance_analysis
