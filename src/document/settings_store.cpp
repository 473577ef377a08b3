#include "document/settings_store.h"

// Placeholder bodies; the settings store is being written.
namespace sg {
SettingsStore::SettingsStore() : m_settings(std::make_unique<QSettings>()) {}
SettingsStore::SettingsStore(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {}
SettingsStore::~SettingsStore() = default;
QString SettingsStore::fileName() const { return m_settings->fileName(); }
bool SettingsStore::load(CrawlSettings&, ServerRuleTable&, ViewOptions&, const std::string&) { return true; }
void SettingsStore::save(const CrawlSettings&, const ServerRuleTable&, const ViewOptions&) {}
std::string SettingsStore::joinExclusions(const std::vector<std::string>&) { return {}; }
std::vector<std::string> SettingsStore::splitExclusions(const std::string&) { return {}; }
QStringList SettingsStore::loadHistory(const QString&, const QString&) { return {}; }
void SettingsStore::saveHistory(const QString&, const QString&, const QStringList&) {}
int SettingsStore::readInt(const QString&, const QString&, int fallback) { return fallback; }
void SettingsStore::writeInt(const QString&, const QString&, int) {}
QString SettingsStore::readText(const QString&, const QString&, const QString& fallback) { return fallback; }
void SettingsStore::writeText(const QString&, const QString&, const QString&) {}
QByteArray SettingsStore::readBytes(const QString&, const QString&) { return {}; }
void SettingsStore::writeBytes(const QString&, const QString&, const QByteArray&) {}
void SettingsStore::sync() {}
void SettingsStore::restrictPermissions() {}
std::string desktopFolder() { return "/tmp"; }
}  // namespace sg
