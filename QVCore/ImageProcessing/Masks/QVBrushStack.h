#pragma once
// The brush stack's entry format: one property-list dictionary per drawing operation, numbers
// stored as 32-bit floats and read back as floats, points relative to the canvas with the origin
// at the bottom-left (the engine's brush works top-left, so y is flipped on the way in).
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QVPlatform/Value.h"

namespace QVBrushStack {

inline constexpr const char* kID = "ID";
inline constexpr const char* kBrushAtPoint = "BrushAtPoint";
inline constexpr const char* kBeginStroke = "BeginStroke";
inline constexpr const char* kEndStroke = "EndStroke";
inline constexpr const char* kClearMask = "ClearMask";
inline constexpr const char* kFillMask = "FillMask";
inline constexpr const char* kInvertMask = "InvertMask";
inline constexpr const char* kDrawGradient = "DrawGradientID";
inline constexpr const char* kDrawRadialGradient = "DrawRadialGradientID";
inline constexpr const char* kSetClonePoint = "SetClonePoint";
inline constexpr const char* kSetStampPoint = "SetStampPoint";
inline constexpr const char* kEraseMode = "EraseMode";
inline constexpr const char* kBrushMode = "BrushMode";
// Density and feather forced into the mask ("density", "feather"). Readers that predate it hand it
// to the gradient drawer, which ignores entries it does not know.
inline constexpr const char* kApplyFeatherAndDensity = "ApplyFeatherAndDensity";

// A brush point as the engine takes it: top-left relative point, relative radius, opacity and
// softness as fractions.
struct BrushPoint {
  float x = 0, y = 0, radius = 0, opacity = 0, softness = 0;
  friend bool operator==(const BrushPoint&, const BrushPoint&) = default;
};

inline qv::Value entry(const char* id) { return qv::Dictionary{{kID, id}}; }
std::string entryID(const qv::Value& entry);
// A stored number as a float; a missing number reads as 0.
float floatValue(const qv::Value& entry, const char* key);
// A stored number when it is finite; nullopt for NaN and infinities, which a damaged stack may hold.
std::optional<float> finiteValue(const qv::Value& entry, const char* key);

// "BrushAtPoint" from the on-screen (bottom-left) relative point and percentages.
qv::Value brushAtPoint(double x, double y, double radius, double opacity, double softness);
// The engine's form of a "BrushAtPoint" entry; nullopt when a number is not finite.
std::optional<BrushPoint> enginePoint(const qv::Value& entry);
// The brush mode a "BeginStroke" entry names: "brushMode", else the older "eraseMode" flag, else 0.
unsigned beginStrokeMode(const qv::Value& entry);

// Walks a stack in order: runs of "BrushAtPoint" entries go to `points` as one batch (points never
// cross another entry; points with a number that is not finite are dropped), every other entry goes
// to `other` with its "ID".
void walk(const qv::Array& stack, const std::function<void(std::vector<BrushPoint>)>& points,
          const std::function<void(const std::string& id, const qv::Value& entry)>& other);

// Brush points waiting to be drawn, with the dates of their input events. While the pointer moves
// they are drawn in batches of at most 0.1 s of input, and a batch is taken only once the one
// before is drawn (`batchRunning`), so a fast pointer never piles up work behind the queue.
class StrokeQueue {
 public:
  static constexpr double kBatchSeconds = 0.1;

  void push(const BrushPoint& point, double date) { waiting_.push_back({point, date}); }
  size_t size() const { return waiting_.size(); }
  bool empty() const { return waiting_.empty(); }
  void clear() { waiting_.clear(); }
  // The points dated at most 0.1 s after the first waiting one; the first later point stays.
  std::vector<BrushPoint> takeBatch();
  std::vector<BrushPoint> takeAll();

  // Handles one batch: the points, and what to call once they are drawn.
  using BatchProcessor = std::function<void(std::vector<BrushPoint> points, std::function<void()> done)>;
  // Starts the next batch unless one is running. When it is done, the batch after it starts on a
  // later pass of the main loop (also when the batch was done before `process` returned), as long
  // as `owner` (the object holding this queue) is still alive.
  void runNextBatch(std::weak_ptr<const void> owner, BatchProcessor process);

  bool batchRunning = false;

 private:
  struct Waiting {
    BrushPoint point;
    double date;
  };
  std::vector<Waiting> waiting_;
};

}  // namespace QVBrushStack
