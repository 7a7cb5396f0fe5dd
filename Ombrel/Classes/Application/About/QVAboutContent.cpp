#include "Ombrel/Classes/Application/About/QVAboutContent.h"

#include <cmath>
#include <ctime>

#include "Ombrel/Classes/Application/Services/QVTextAdditions.h"
#include "QVApplicationInfo/QVApplicationInfo.h"

namespace {

std::string replacingAll(std::string text, const std::string& placeholder, const std::string& value) {
  for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size())) {
    text.replace(at, placeholder.size(), value);
  }
  return text;
}

// The row texts of all roles in the order of the roles, each with its role and whether it opens
// the role's group.
struct FlatRow {
  std::string role;
  std::string text;
  bool firstOfRole;
};

const std::vector<FlatRow>& flatRows() {
  static const std::vector<FlatRow> rows = [] {
    std::vector<FlatRow> all;
    for (const std::string& role : QVAboutContent::roles()) {
      const auto& texts = QVAboutContent::names().at(role);
      for (size_t i = 0; i < texts.size(); ++i) all.push_back({role, texts[i], i == 0});
    }
    return all;
  }();
  return rows;
}

}  // namespace

QVAboutRecord QVAboutContent::buildRecord() {
  return {QVApplicationInfo::displayName, QVApplicationInfo::shortVersion, QVApplicationInfo::buildNumber,
          QVApplicationInfo::copyright};
}

std::string QVAboutContent::appNameText(const QVAboutRecord& record) { return QVUppercaseString(record.displayName); }

std::string QVAboutContent::versionText(const QVAboutRecord& record) {
  return QVUppercaseString(QVLocalizedFormat("version %@ (%@)", {record.shortVersion, record.buildNumber}));
}

std::string QVAboutContent::copyrightText(const std::string& copyright, const std::string& displayName, int64_t year) {
  return replacingAll(replacingAll(copyright, "<AppName>", displayName), "<Year>", std::to_string(year));
}

int64_t QVAboutContent::currentYear() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return int64_t(local.tm_year) + 1900;
}

const std::vector<std::string>& QVAboutContent::roles() {
  static const std::vector<std::string> roles = {"Support Team", "Partnerships"};
  return roles;
}

const std::map<std::string, std::vector<std::string>>& QVAboutContent::names() {
  static const std::map<std::string, std::vector<std::string>> names = {
      {"Support Team", {kSupportEmail, ""}},
      {"Partnerships", {kPartnershipsEmail, ""}},
  };
  return names;
}

size_t QVAboutContent::namesCount() { return flatRows().size(); }

std::string QVAboutContent::titleForIndex(size_t row) {
  if (row >= flatRows().size()) return {};
  return flatRows()[row].firstOfRole ? flatRows()[row].role : std::string();
}

std::string QVAboutContent::nameForIndex(size_t row) {
  return row < flatRows().size() ? flatRows()[row].text : std::string();
}

CGPoint QVAboutContent::originForWindowSize(CGSize size, const std::optional<CGRect>& reference, CGRect screen) {
  if (reference) {
    return CGPointMake(reference->origin.x + std::round((reference->size.width - size.width) / 2),
                       reference->origin.y + std::round((reference->size.height - size.height) / 2));
  }
  return CGPointMake(screen.origin.x + screen.size.width / 2 - size.width / 2,
                     screen.origin.y + screen.size.height / 2 - size.height / 2);
}
