#include "app/startup.h"

#include <curl/curl.h>

#include <cstdlib>

#include "app/version.h"
#include "document/settings_store.h"

namespace sg {

namespace {
int leadingNumber(const std::string& text) { return std::atoi(text.c_str()); }
}  // namespace

bool httpLibraryVersionHolds(const std::string& version) {
  if (version.empty()) return false;
  size_t first = version.find('.');
  size_t second = first == std::string::npos ? std::string::npos : version.find('.', first + 1);
  int major = leadingNumber(version.substr(0, first));
  int minor = first == std::string::npos ? 0 : leadingNumber(version.substr(first + 1, second - first - 1));
  int build = second == std::string::npos ? 0 : leadingNumber(version.substr(second + 1));
  if (major >= 5) return true;
  if (major < 4) return false;
  if (minor >= 73) return true;
  if (minor == 71 || minor == 72) return build >= 544;
  return false;
}

std::string httpLibraryVersion() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return info && info->version ? info->version : "";
}

double productVersion() { return SITEGLEANER_VERSION_MAJOR + SITEGLEANER_VERSION_MINOR / 10.0; }

bool takeConditionsOfUseDue(SettingsStore& store) {
  int release = static_cast<int>(productVersion() * 100 + 0.5);
  if (release <= store.readInt(QStringLiteral("Legal"), QStringLiteral("Shown Disclaimer"), 0)) return false;
  store.writeInt(QStringLiteral("Legal"), QStringLiteral("Shown Disclaimer"), release);
  store.sync();
  return true;
}

bool SettingOverrides::apply(CrawlSettings& settings, std::string& error) {
  m_before = settings;
  for (const auto& [name, value] : m_overrides) {
    std::string why;
    if (!setSettingFromText(settings, name, value, why)) {
      error = "cannot set \"" + name + "\" to \"" + value + "\": " + why;
      return false;
    }
  }
  return true;
}

void SettingOverrides::restore(CrawlSettings& settings) const {
  for (const auto& [name, value] : m_overrides) {
    const SettingField* field = findSettingField(name);
    if (field == nullptr) continue;
    std::visit([&](auto member) { settings.*member = m_before.*member; }, field->member);
  }
}

bool displayAvailable() {
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace sg
