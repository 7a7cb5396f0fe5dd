// The Linux answer to "can this target be reached": read from the routing table
// (/proc/net/route, /proc/net/ipv6_route) and the interfaces' addresses, which the kernel answers
// at once, so the monitor's queries never block. Like the system service it stands in for, it
// says whether traffic has a way out, not whether a far host answers; host names are never
// resolved (that could block for seconds). Changes are learnt from the kernel's route, address
// and link messages on a netlink socket, with a slow re-check as a safety net.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "Ombrel/Classes/Common/Reachability/Reachability.h"

namespace {

// Whether an IPv4 or IPv6 default route leaves through an interface other than loopback.
bool hasDefaultRoute() {
  std::ifstream v4("/proc/net/route");
  std::string line;
  std::getline(v4, line);  // header
  while (std::getline(v4, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags, refCount, use, metric, mask;
    if (!(fields >> iface >> destination >> gateway >> flags >> refCount >> use >> metric >> mask)) continue;
    const unsigned long routeFlags = std::strtoul(flags.c_str(), nullptr, 16);
    if (iface != "lo" && destination == "00000000" && mask == "00000000" && (routeFlags & 0x1 /* RTF_UP */)) {
      return true;
    }
  }
  std::ifstream v6("/proc/net/ipv6_route");
  while (std::getline(v6, line)) {
    std::istringstream fields(line);
    std::string destination, prefix, source, sourcePrefix, nextHop, metric, refCount, use, flags, iface;
    if (!(fields >> destination >> prefix >> source >> sourcePrefix >> nextHop >> metric >> refCount >> use >> flags >>
          iface)) {
      continue;
    }
    const unsigned long routeFlags = std::strtoul(flags.c_str(), nullptr, 16);
    if (iface != "lo" && prefix == "00" && destination == std::string(32, '0') && (routeFlags & 0x1) &&
        !(routeFlags & 0x0200 /* RTF_REJECT */)) {
      return true;
    }
  }
  return false;
}

bool sameNetwork(const sockaddr* a, const sockaddr* b, const sockaddr* mask) {
  if (!a || !b || !mask || a->sa_family != b->sa_family) return false;
  if (a->sa_family == AF_INET) {
    const uint32_t m = reinterpret_cast<const sockaddr_in*>(mask)->sin_addr.s_addr;
    return (reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr & m) ==
           (reinterpret_cast<const sockaddr_in*>(b)->sin_addr.s_addr & m);
  }
  if (a->sa_family == AF_INET6) {
    const auto* x = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr.s6_addr;
    const auto* y = reinterpret_cast<const sockaddr_in6*>(b)->sin6_addr.s6_addr;
    const auto* m = reinterpret_cast<const sockaddr_in6*>(mask)->sin6_addr.s6_addr;
    for (int i = 0; i < 16; ++i) {
      if ((x[i] & m[i]) != (y[i] & m[i])) return false;
    }
    return true;
  }
  return false;
}

bool sameAddress(const sockaddr* a, const sockaddr* b) {
  if (!a || !b || a->sa_family != b->sa_family) return false;
  if (a->sa_family == AF_INET) {
    return reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr ==
           reinterpret_cast<const sockaddr_in*>(b)->sin_addr.s_addr;
  }
  return a->sa_family == AF_INET6 && std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                                                 &reinterpret_cast<const sockaddr_in6*>(b)->sin6_addr, 16) == 0;
}

bool isLoopback(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    return (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 24) == 127;
  }
  return address->sa_family == AF_INET6 &&
         IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
}

bool isLinkLocalNetwork(const sockaddr* address) {
  return address->sa_family == AF_INET &&
         (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 16) == 0xA9FE;
}

// The flags for an address target.
std::optional<uint32_t> flagsForAddress(const sockaddr* target) {
  if (isLoopback(target)) {
    return kReachabilityFlagsReachable | kReachabilityFlagsIsLocalAddress | kReachabilityFlagsIsDirect;
  }
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  uint32_t flags = 0;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || !(i->ifa_flags & IFF_UP) || !(i->ifa_flags & IFF_RUNNING) || (i->ifa_flags & IFF_LOOPBACK)) {
      continue;
    }
    if (isLinkLocalNetwork(target) ? isLinkLocalNetwork(i->ifa_addr)
                                   : sameNetwork(target, i->ifa_addr, i->ifa_netmask)) {
      flags |= kReachabilityFlagsReachable | kReachabilityFlagsIsDirect;
      if (sameAddress(target, i->ifa_addr) || isLinkLocalNetwork(target)) flags |= kReachabilityFlagsIsLocalAddress;
    }
  }
  freeifaddrs(list);
  if (isLinkLocalNetwork(target)) return flags;
  if (!(flags & kReachabilityFlagsReachable) && hasDefaultRoute()) {
    flags |= kReachabilityFlagsReachable;
  }
  return flags;
}

class SystemProbe final : public ReachabilityProbe {
 public:
  explicit SystemProbe(ReachabilityTarget target) : target_(std::move(target)) {
    if (target_.kind == ReachabilityTarget::Kind::HostName) {
      // Names that are addresses, or this machine, are answered as addresses; others by the
      // way out, without resolving.
      sockaddr_in in{};
      sockaddr_in6 in6{};
      if (inet_pton(AF_INET, target_.hostName.c_str(), &in.sin_addr) == 1) {
        in.sin_family = AF_INET;
        std::memcpy(&target_.address, &in, sizeof in);
        target_.kind = ReachabilityTarget::Kind::Address;
      } else if (inet_pton(AF_INET6, target_.hostName.c_str(), &in6.sin6_addr) == 1) {
        in6.sin6_family = AF_INET6;
        std::memcpy(&target_.address, &in6, sizeof in6);
        target_.kind = ReachabilityTarget::Kind::Address;
      } else if (target_.hostName == "localhost") {
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::memcpy(&target_.address, &in, sizeof in);
        target_.kind = ReachabilityTarget::Kind::Address;
      }
    }
  }

  ~SystemProbe() override { stopObserving(); }

  std::optional<uint32_t> flags() override {
    if (target_.kind == ReachabilityTarget::Kind::HostName) {
      return hasDefaultRoute() ? kReachabilityFlagsReachable : 0u;
    }
    return flagsForAddress(reinterpret_cast<const sockaddr*>(&target_.address));
  }

  bool startObserving(std::function<void()> changed) override {
    stopObserving();
    std::lock_guard lock(mutex_);
    stopFd_ = eventfd(0, EFD_CLOEXEC);
    if (stopFd_ < 0) return false;
    int netlink = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (netlink >= 0) {
      sockaddr_nl local{};
      local.nl_family = AF_NETLINK;
      local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
      if (bind(netlink, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(netlink);
        netlink = -1;
      }
    }
    thread_ = std::thread([stopFd = stopFd_, netlink, changed = std::move(changed)] {
      pollfd fds[2] = {{stopFd, POLLIN, 0}, {netlink, POLLIN, 0}};
      for (;;) {
        // Without kernel messages (a sandbox without netlink) the slow re-check is all there is.
        const int ready = poll(fds, netlink >= 0 ? 2 : 1, kRecheckMilliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if (ready > 0 && (fds[0].revents & POLLIN)) break;
        if (ready > 0 && netlink >= 0 && (fds[1].revents & POLLIN)) {
          char buffer[8192];
          while (recv(netlink, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
          }
        }
        changed();
      }
      if (netlink >= 0) close(netlink);
    });
    return true;
  }

  void stopObserving() override {
    std::thread thread;
    int stopFd;
    {
      std::lock_guard lock(mutex_);
      thread = std::move(thread_);
      stopFd = std::exchange(stopFd_, -1);
    }
    if (stopFd < 0) return;
    const uint64_t one = 1;
    (void)!write(stopFd, &one, sizeof one);
    if (thread.joinable()) {
      if (thread.get_id() == std::this_thread::get_id()) {
        thread.detach();
      } else {
        thread.join();
      }
    }
    close(stopFd);
  }

 private:
  static constexpr int kRecheckMilliseconds = 5000;
  ReachabilityTarget target_;
  std::mutex mutex_;
  std::thread thread_;
  int stopFd_ = -1;
};

}  // namespace

std::shared_ptr<ReachabilityProbe> Reachability::makeSystemProbe(const ReachabilityTarget& target) {
  return std::make_shared<SystemProbe>(target);
}
