#pragma once
// What the about window says and where it goes, without widgets: the name, version and copyright
// lines from the application's information record, the contacts table, and the placement rule.
//
// Contacts: roles "Support Team" and "Partnerships", each with its address and an empty row, so
// the table has four rows; the roles column names a role on the first row of its group only.
//
// Placement: over a reference window the about window's origin is the reference's origin plus half
// the difference of the two sizes, each offset rounded (the rule is symmetric, so it holds with
// the origin at either corner); without a reference it is centred on the screen.
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "QVBase/Geometry.h"

struct QVAboutRecord {
  std::string displayName;
  std::string shortVersion;
  std::string buildNumber;
  std::string copyright;  // with "<AppName>" and "<Year>" still in it
};

class QVAboutContent {
 public:
  static constexpr const char* kRolesColumn = "roles";
  static constexpr const char* kNamesColumn = "names";
  static constexpr const char* kSupportEmail = "support@solvane.app";
  static constexpr const char* kPartnershipsEmail = "partners@solvane.app";

  // The generated information record of this build.
  static QVAboutRecord buildRecord();

  // The display name, upper case.
  static std::string appNameText(const QVAboutRecord& record);
  // "version %@ (%@)" (localised) with the short version and the build number, upper case.
  static std::string versionText(const QVAboutRecord& record);
  // Every "<AppName>" replaced by the display name and every "<Year>" by the year.
  static std::string copyrightText(const std::string& copyright, const std::string& displayName, int64_t year);
  static int64_t currentYear();

  static const std::vector<std::string>& roles();
  static const std::map<std::string, std::vector<std::string>>& names();
  // The number of all row texts of all roles.
  static size_t namesCount();
  // The role's title on the first row of each role's group, else empty.
  static std::string titleForIndex(size_t row);
  // The row texts of all roles, flattened in the order of the roles.
  static std::string nameForIndex(size_t row);

  static CGPoint originForWindowSize(CGSize size, const std::optional<CGRect>& reference, CGRect screen);
};
