#pragma once
// The user's favourite presets by UUID: "<container>/Favorites/FavoritePresets.plist", a
// dictionary from UUID to a boolean. Clearing a favourite stores NO; entries are never removed.
// The file is read anew on every call. The first read of a process moves favourites an older
// version kept in the shared user defaults ("QVPresetFavoriteKey") into the file.
#include <string>

#include "QVPlatform/Value.h"

namespace qv {
class UserDefaults;
}

inline constexpr const char* kQVFavoritesFolderName = "Favorites";
inline constexpr const char* kQVFavoritesFileName = "FavoritePresets.plist";
inline constexpr const char* kQVPresetFavoriteDefaultsKey = "QVPresetFavoriteKey";

class QVFavoritePresetService {
 public:
  // Sets the UUID's entry and writes the whole file back (atomically); false when it could not be
  // written.
  static bool setFavorite(bool favorite, const std::string& presetUUID);
  static bool isFavoritePresetWithUUID(const std::string& presetUUID);

  // The file's path ("Favorites" is created on the way); empty without a container.
  static std::string favoritesPlistPath();
  // The stored dictionary; an empty one when there is no readable file. Entries that are no
  // boolean (or number) count as NO.
  static qv::Dictionary favoriteItems();
  static bool saveFavoriteItems(const qv::Dictionary& items);
  // Moves a non-empty favourites dictionary of the shared defaults ("QVPresetFavoriteKey") into the
  // file, replacing it, and removes the key. `favoriteItems` runs it once per process.
  static void migrateFavoritesFromDefaults();
  // The app group's shared defaults suite (the one the favourites are moved from); one per process.
  static qv::UserDefaults& presetsSharedDefaults();
};
