#include "Ombrel/Classes/Common/Reachability/Reachability.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "QVPlatform/Localization.h"
#include "QVPlatform/MainExecutor.h"
#include "QVPlatform/NotificationCenter.h"

namespace {

std::mutex& makerMutex() {
  static std::mutex m;
  return m;
}

Reachability::ProbeMaker& probeMaker() {
  static Reachability::ProbeMaker maker;
  return maker;
}

std::shared_ptr<Reachability> makeFor(const ReachabilityTarget& target) {
  Reachability::ProbeMaker maker;
  {
    std::lock_guard lock(makerMutex());
    maker = probeMaker();
  }
  std::shared_ptr<ReachabilityProbe> probe = maker ? maker(target) : Reachability::makeSystemProbe(target);
  return Reachability::reachabilityWithProbe(std::move(probe));
}

ReachabilityTarget ipv4Target(uint32_t hostOrderAddress) {
  ReachabilityTarget target;
  auto* in = reinterpret_cast<sockaddr_in*>(&target.address);
  in->sin_family = AF_INET;
  in->sin_addr.s_addr = htonl(hostOrderAddress);
  return target;
}

}  // namespace

std::shared_ptr<Reachability> Reachability::reachabilityWithHostname(const std::string& hostname) {
  if (hostname.empty()) return nullptr;
  ReachabilityTarget target;
  target.kind = ReachabilityTarget::Kind::HostName;
  target.hostName = hostname;
  return makeFor(target);
}

std::shared_ptr<Reachability> Reachability::reachabilityWithAddress(const sockaddr* address) {
  if (!address) return nullptr;
  ReachabilityTarget target;
  if (address->sa_family == AF_INET) {
    std::memcpy(&target.address, address, sizeof(sockaddr_in));
  } else if (address->sa_family == AF_INET6) {
    std::memcpy(&target.address, address, sizeof(sockaddr_in6));
  } else {
    return nullptr;
  }
  return makeFor(target);
}

std::shared_ptr<Reachability> Reachability::reachabilityForInternetConnection() { return makeFor(ipv4Target(0)); }

std::shared_ptr<Reachability> Reachability::reachabilityForLocalWiFi() {
  return makeFor(ipv4Target(0xA9FE0000u));  // 169.254.0.0
}

std::shared_ptr<Reachability> Reachability::reachabilityWithProbe(std::shared_ptr<ReachabilityProbe> probe) {
  if (!probe) return nullptr;
  return std::make_shared<Reachability>(std::move(probe));
}

Reachability::ProbeMaker Reachability::setProbeMaker(ProbeMaker maker) {
  std::lock_guard lock(makerMutex());
  return std::exchange(probeMaker(), std::move(maker));
}

Reachability::Reachability(std::shared_ptr<ReachabilityProbe> probe)
    : probe_(std::move(probe)), queue_(qv::DispatchQueue::makeSerial("app.solvane.Reachability.Queue")) {}

Reachability::~Reachability() {
  // The notifier holds the monitor while it runs, so only a monitor that was never started or
  // was stopped gets here; stopping again only makes sure the probe is quiet.
  probe_->stopObserving();
}

void Reachability::setReachableBlock(Block block) {
  std::lock_guard lock(mutex_);
  reachableBlock_ = std::move(block);
}

void Reachability::setUnreachableBlock(Block block) {
  std::lock_guard lock(mutex_);
  unreachableBlock_ = std::move(block);
}

void Reachability::setReachabilityBlock(FlagsBlock block) {
  std::lock_guard lock(mutex_);
  reachabilityBlock_ = std::move(block);
}

std::shared_ptr<Reachability> Reachability::reachabilityObject() const {
  std::lock_guard lock(mutex_);
  return reachabilityObject_;
}

bool Reachability::startNotifier() {
  uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    if (reachabilityObject_.get() == this) return true;
    reachabilityObject_ = shared_from_this();
    lastFlags_ = probe_->flags();
    generation = ++generation_;
  }
  std::weak_ptr<Reachability> weak = weak_from_this();
  auto queue = queue_;
  // The probe may call from its own thread: hand the change to the monitor's queue at once, and
  // never touch the monitor there (its last owner could let go of it on that thread).
  const bool started = probe_->startObserving([weak, queue, generation] {
    queue->async([weak, generation] {
      auto self = weak.lock();
      if (!self) return;
      {
        std::lock_guard lock(self->mutex_);
        if (self->generation_ != generation || !self->reachabilityObject_) return;
      }
      self->probeChanged();
    });
  });
  if (!started) {
    probe_->stopObserving();
    std::shared_ptr<Reachability> released;
    std::lock_guard lock(mutex_);
    released = std::move(reachabilityObject_);
    ++generation_;
    return false;
  }
  return true;
}

void Reachability::stopNotifier() {
  probe_->stopObserving();
  std::shared_ptr<Reachability> released;  // let go outside the lock: it may be the last owner
  std::lock_guard lock(mutex_);
  released = std::move(reachabilityObject_);
  ++generation_;
}

void Reachability::probeChanged() {
  const uint32_t flags = probe_->flags().value_or(0);
  {
    std::lock_guard lock(mutex_);
    if (lastFlags_ && *lastFlags_ == flags) return;
    lastFlags_ = flags;
  }
  reachabilityChanged(flags);
}

void Reachability::reachabilityChanged(uint32_t flags) {
  Block reachable, unreachable;
  FlagsBlock any;
  {
    std::lock_guard lock(mutex_);
    reachable = reachableBlock_;
    unreachable = unreachableBlock_;
    any = reachabilityBlock_;
  }
  auto self = shared_from_this();
  if (isReachableWithFlags(flags)) {
    if (reachable) reachable(self);
  } else if (unreachable) {
    unreachable(self);
  }
  if (any) any(self, flags);
  qv::MainExecutor::shared().async(
      [self] { qv::NotificationCenter::defaultCenter().post(kReachabilityChangedNotification, self); });
}

bool Reachability::isReachableWithFlags(uint32_t flags) {
  if (!(flags & kReachabilityFlagsReachable)) return false;
  const uint32_t both = kReachabilityFlagsTransientConnection | kReachabilityFlagsConnectionRequired;
  return (flags & both) != both;
}

bool Reachability::isReachable() const {
  const std::optional<uint32_t> flags = probe_->flags();
  return flags && isReachableWithFlags(*flags);
}

bool Reachability::isReachableViaWiFi() const { return reachabilityFlags() & kReachabilityFlagsReachable; }

bool Reachability::connectionRequired() const { return reachabilityFlags() & kReachabilityFlagsConnectionRequired; }

bool Reachability::isConnectionOnDemand() const {
  const uint32_t flags = reachabilityFlags();
  return (flags & kReachabilityFlagsConnectionRequired) &&
         (flags & (kReachabilityFlagsConnectionOnTraffic | kReachabilityFlagsConnectionOnDemand));
}

bool Reachability::isInterventionRequired() const {
  const uint32_t flags = reachabilityFlags();
  return (flags & kReachabilityFlagsConnectionRequired) && (flags & kReachabilityFlagsInterventionRequired);
}

NetworkStatus Reachability::currentReachabilityStatus() const {
  const uint32_t flags = reachabilityFlags();
  if (isReachableWithFlags(flags) && (flags & kReachabilityFlagsReachable)) return ReachableViaWiFi;
  return NotReachable;
}

uint32_t Reachability::reachabilityFlags() const { return probe_->flags().value_or(0); }

std::string Reachability::currentReachabilityString() const {
  switch (currentReachabilityStatus()) {
    case ReachableViaWiFi:
      return qv::QVSLocalization::localizedStringForKey("WiFi", "");
    case ReachableViaWWAN:
      return qv::QVSLocalization::localizedStringForKey("Cellular", "");
    default:
      return qv::QVSLocalization::localizedStringForKey("No Connection", "");
  }
}

std::string Reachability::flagsText(uint32_t flags) {
  auto letter = [flags](uint32_t bit, char c) { return (flags & bit) ? c : '-'; };
  char text[16];
  std::snprintf(text, sizeof text, "%c%c %c%c%c%c%c%c%c", 'X', letter(kReachabilityFlagsReachable, 'R'),
                letter(kReachabilityFlagsConnectionRequired, 'c'), letter(kReachabilityFlagsTransientConnection, 't'),
                letter(kReachabilityFlagsInterventionRequired, 'i'), letter(kReachabilityFlagsConnectionOnTraffic, 'C'),
                letter(kReachabilityFlagsConnectionOnDemand, 'D'), letter(kReachabilityFlagsIsLocalAddress, 'l'),
                letter(kReachabilityFlagsIsDirect, 'd'));
  return text;
}

std::string Reachability::currentReachabilityFlags() const { return flagsText(reachabilityFlags()); }

std::string Reachability::description() const {
  char text[96];
  std::snprintf(text, sizeof text, "<%s: %#x (%s)>", "Reachability",
                unsigned(reinterpret_cast<uintptr_t>(this) & 0xffffffffu), currentReachabilityFlags().c_str());
  return text;
}
