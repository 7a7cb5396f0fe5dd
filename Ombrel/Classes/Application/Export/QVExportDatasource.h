#pragma once
// The one table of export targets: each export type's key (also the localisation key of its
// title), its artwork and the sharing service behind it, and the items the export menu and the
// File menu's Export submenu show. Every other part names a target by its export type alone.
//
//   type  target                    key        artwork (normal / selected / small)
//   0     disk                      "disk"     SafetoDisk, SafetoDisk_selected, SafetoDisk_small
//   1     Flickr                    "flickr"   flickr, flickr_selected
//   2     e-mail                    "email"    email, email_selected
//   3     Facebook                  "facebook" Facebook, Facebook_selected
//   4     Twitter                   "twitter"  Twitter, Twitter_selected
//   5     the sibling application   "mendrix"  mendrix, mendrix_selected, mendrix_small
//
// The items are made once per process (a later change of language keeps their titles). What is
// offered (`exportItems`) is what this desktop can do: disk, e-mail, and the hand-off while the
// sibling application's desktop entry is installed; the social networks have no service here.
//
// Main thread only.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Ombrel/Classes/Application/Export/QVExportMenuItem.h"

// The export menu's answer when it closed without a choice.
inline constexpr uint64_t kQVExportTypeNone = 4294967295u;

class QVExportDatasource {
 public:
  static QVExportDatasource& shared();

  // The offered targets' items, in type order.
  static std::vector<QVExportMenuItemPtr> exportItems();
  // The key of the type; none above 5.
  static std::optional<std::string> exportTypeString(uint64_t type);
  // The service that carries the type out on this desktop: "xdg-email" for e-mail; none for the
  // others (disk and the hand-off need none, the social networks have none).
  static std::optional<std::string> sharingServiceTypeForExportType(uint64_t type);
  // Whether the type is offered now. Replaceable for tests and tools (nullptr restores).
  static bool isTargetOffered(uint64_t type);
  static void setTargetOfferedQuery(std::function<bool(uint64_t type)> query);

  // A new item for any type (types above 5 have no artwork and the key itself as title).
  QVExportMenuItemPtr exportItemForType(uint64_t type) const;
  // Every type's item, 0 to 5, made on first use.
  const std::vector<QVExportMenuItemPtr>& cachedItems();

 private:
  std::vector<QVExportMenuItemPtr> cachedItems_;
};
