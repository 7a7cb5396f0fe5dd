#pragma once
// Watches whether the network can be reached and tells its owner when that changes.
//
// The answers come from a probe (`ReachabilityProbe`) that reads the system's network state for
// one target. On Linux the default probe looks at the routing table and the interfaces' addresses
// (never at the network itself, never resolving a name), so every query answers at once and is
// safe on the main thread; it learns of changes from the kernel's route and address messages.
// Tests put a probe of their own in place with `setProbeMaker`.
//
// While its notifier runs, the monitor keeps itself alive (`reachabilityObject`). On every change
// of its flags it calls `reachableBlock` or `unreachableBlock`, then `reachabilityBlock`, on its
// private serial queue, and then posts "kReachabilityChangedNotification" (object: the monitor) on
// the main queue.
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "QVPlatform/Dispatch.h"

inline constexpr const char* kReachabilityChangedNotification = "kReachabilityChangedNotification";

// The flag bits of a reachability answer.
enum : uint32_t {
  kReachabilityFlagsTransientConnection = 1u << 0,
  kReachabilityFlagsReachable = 1u << 1,
  kReachabilityFlagsConnectionRequired = 1u << 2,
  kReachabilityFlagsConnectionOnTraffic = 1u << 3,
  kReachabilityFlagsInterventionRequired = 1u << 4,
  kReachabilityFlagsConnectionOnDemand = 1u << 5,
  kReachabilityFlagsIsLocalAddress = 1u << 16,
  kReachabilityFlagsIsDirect = 1u << 17,
};

enum NetworkStatus : int64_t { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };

// What a monitor watches.
struct ReachabilityTarget {
  enum class Kind { HostName, Address };
  Kind kind = Kind::Address;
  std::string hostName;
  sockaddr_storage address{};
};

// The system's answer for one target.
class ReachabilityProbe {
 public:
  virtual ~ReachabilityProbe() = default;
  // The current flags; nullopt when they cannot be read. Must not block.
  virtual std::optional<uint32_t> flags() = 0;
  // Calls `changed` (from any thread) whenever the answer may have changed, until stopObserving.
  // False when observing cannot start.
  virtual bool startObserving(std::function<void()> changed) = 0;
  virtual void stopObserving() = 0;
};

class Reachability : public std::enable_shared_from_this<Reachability> {
 public:
  using Block = std::function<void(const std::shared_ptr<Reachability>& reachability)>;
  using FlagsBlock = std::function<void(const std::shared_ptr<Reachability>& reachability, uint32_t flags)>;
  using ProbeMaker = std::function<std::shared_ptr<ReachabilityProbe>(const ReachabilityTarget& target)>;

  // Factories; nullptr when no probe can be made for the target.
  static std::shared_ptr<Reachability> reachabilityWithHostname(const std::string& hostname);
  static std::shared_ptr<Reachability> reachabilityWithHostName(const std::string& hostname) {
    return reachabilityWithHostname(hostname);
  }
  static std::shared_ptr<Reachability> reachabilityWithAddress(const sockaddr* address);
  // The zero IPv4 address: any route out.
  static std::shared_ptr<Reachability> reachabilityForInternetConnection();
  // The link-local network 169.254.0.0.
  static std::shared_ptr<Reachability> reachabilityForLocalWiFi();
  static std::shared_ptr<Reachability> reachabilityWithProbe(std::shared_ptr<ReachabilityProbe> probe);

  // How the factories make probes; nullptr restores the system's. Returns the previous maker.
  static ProbeMaker setProbeMaker(ProbeMaker maker);
  // The system's probe for a target.
  static std::shared_ptr<ReachabilityProbe> makeSystemProbe(const ReachabilityTarget& target);

  explicit Reachability(std::shared_ptr<ReachabilityProbe> probe);
  ~Reachability();
  Reachability(const Reachability&) = delete;
  Reachability& operator=(const Reachability&) = delete;

  void setReachableBlock(Block block);
  void setUnreachableBlock(Block block);
  void setReachabilityBlock(FlagsBlock block);
  bool reachableOnWWAN() const { return reachableOnWWAN_; }
  void setReachableOnWWAN(bool on) { reachableOnWWAN_ = on; }
  const std::shared_ptr<ReachabilityProbe>& reachabilityRef() const { return probe_; }
  const std::shared_ptr<qv::DispatchQueue>& reachabilitySerialQueue() const { return queue_; }
  std::shared_ptr<Reachability> reachabilityObject() const;

  bool startNotifier();
  void stopNotifier();

  // The reachable test: reachable, and not both transient and connection-required.
  static bool isReachableWithFlags(uint32_t flags);
  bool isReachable() const;
  bool isReachableViaWWAN() const { return false; }
  bool isReachableViaWiFi() const;
  bool isConnectionRequired() const { return connectionRequired(); }
  bool connectionRequired() const;
  bool isConnectionOnDemand() const;
  bool isInterventionRequired() const;
  NetworkStatus currentReachabilityStatus() const;
  uint32_t reachabilityFlags() const;
  std::string currentReachabilityString() const;
  // "X" then one letter or "-" per flag: "XR -------d" style (see the .cpp).
  std::string currentReachabilityFlags() const;
  static std::string flagsText(uint32_t flags);
  std::string description() const;

  // Called on the serial queue with the new flags.
  void reachabilityChanged(uint32_t flags);

 private:
  void probeChanged();

  std::shared_ptr<ReachabilityProbe> probe_;
  std::shared_ptr<qv::DispatchQueue> queue_;
  bool reachableOnWWAN_ = true;
  mutable std::mutex mutex_;
  Block reachableBlock_, unreachableBlock_;
  FlagsBlock reachabilityBlock_;
  std::shared_ptr<Reachability> reachabilityObject_;
  std::optional<uint32_t> lastFlags_;
  uint64_t generation_ = 0;
};
