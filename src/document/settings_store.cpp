#include "document/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArrayView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <type_traits>
#include <variant>

#include "engine/server_rule_table.h"
#include "util/file_io.h"
#include "util/string_utils.h"
#include "util/texts.h"

namespace sg {

namespace {

const QString kGeneral = QStringLiteral("General");
const QString kView = QStringLiteral("View");

// QSettings writes top-level keys under "[General]" and moves a group that
// is itself called "General" to "[%General]". Keeping the "General" values
// at the top level is what puts them in a [General] section of the file.
QString keyFor(const QString& section, const QString& name) {
  if (section == kGeneral) return name;
  return section + QLatin1Char('/') + name;
}

QString keyFor(const QString& section, const char* name) { return keyFor(section, QString::fromUtf8(name)); }

// Integers are written as numbers; the file gives them back as texts, and
// a hand-edited value may hold anything. Only a whole decimal number that
// fits in 32 bits counts as an integer.
std::optional<int> intFromVariant(const QVariant& value) {
  QString text;
  switch (value.typeId()) {
    case QMetaType::Int:
      return value.toInt();
    case QMetaType::Bool:
      return value.toBool() ? 1 : 0;
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: {
      bool ok = false;
      qlonglong number = value.toLongLong(&ok);
      if (!ok || number < INT32_MIN || number > INT32_MAX) return std::nullopt;
      return static_cast<int>(number);
    }
    case QMetaType::QString:
      text = value.toString();
      break;
    case QMetaType::QByteArray:
      text = QString::fromUtf8(value.toByteArray());
      break;
    default:
      return std::nullopt;
  }
  bool ok = false;
  int number = text.trimmed().toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return number;
}

// Texts are byte strings. Valid UTF-8 is stored as readable text; any
// other bytes (a path in a legacy encoding, say) as a byte array, so that
// every text comes back byte for byte.
QVariant variantFromBytes(const std::string& text) {
  QByteArrayView bytes(text.data(), static_cast<qsizetype>(text.size()));
  if (bytes.isValidUtf8()) return QString::fromUtf8(bytes);
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<std::string> bytesFromVariant(const QVariant& value) {
  switch (value.typeId()) {
    case QMetaType::QString:
      return value.toString().toStdString();
    case QMetaType::QByteArray: {
      QByteArray bytes = value.toByteArray();
      return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    case QMetaType::QStringList:
      // An unquoted comma in a hand-edited value splits it into a list.
      return value.toStringList().join(QLatin1Char(',')).toStdString();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
      return value.toString().toStdString();
    default:
      return std::nullopt;
  }
}

}  // namespace

namespace {

// QSettings reads its files as soon as it is made; a FIFO or a device in
// their place would hold the program for ever.
bool unusableFile(const QString& name) {
  struct stat info {};
  return ::stat(QFile::encodeName(name).constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

}  // namespace

SettingsStore::SettingsStore() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QString own = folder + QStringLiteral("/Corvalin/Sitegleaner.conf");
  // The organisation's file is read too, as a fallback.
  const QString shared = folder + QStringLiteral("/Corvalin.conf");
  if (unusableFile(own) || unusableFile(shared)) {
    useStandIn(unusableFile(own) ? own : shared);
    return;
  }
  m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvalin"),
                                           QStringLiteral("Sitegleaner"));
}

SettingsStore::SettingsStore(const QString& fileName) {
  if (unusableFile(fileName)) {
    useStandIn(fileName);
    return;
  }
  m_settings = std::make_unique<QSettings>(fileName, QSettings::IniFormat);
}

void SettingsStore::useStandIn(const QString& unusable) {
  m_problem = strprintf(text::kSettingsFileUnusable, unusable.toStdString().c_str());
  m_standInFolder = std::make_unique<QTemporaryDir>();
  m_settings = std::make_unique<QSettings>(m_standInFolder->filePath(QStringLiteral("Sitegleaner.conf")),
                                           QSettings::IniFormat);
}

SettingsStore::~SettingsStore() {
  // QSettings would write pending values as it goes; writing them here
  // lets sync() check the mode after the last write.
  sync();
}

QString SettingsStore::fileName() const { return m_settings->fileName(); }

std::vector<std::string> SettingsStore::load(CrawlSettings& settings, ServerRuleTable& exclusions, ViewOptions& view,
                                             const std::string& desktopFolder) {
  const CrawlSettings defaults = CrawlSettings::defaults(desktopFolder);
  std::vector<std::string> unreadable;
  for (const SettingField& field : generalSettingFields()) {
    const QString key = keyFor(kGeneral, field.name);
    const bool present = m_settings->contains(key);
    const QVariant value = present ? m_settings->value(key) : QVariant();
    // A value that cannot be read, or lies outside what the options accept,
    // takes its default alone: one bad entry must not cost the others.
    bool ok = std::visit(
        [&](auto member) -> bool {
          using T = std::remove_cvref_t<decltype(settings.*member)>;
          settings.*member = defaults.*member;
          if (!present) return true;
          if constexpr (std::is_same_v<T, std::string>) {
            std::optional<std::string> text = bytesFromVariant(value);
            if (!text) return false;
            // An empty save directory would mean the current directory.
            if (member == &CrawlSettings::saveDirectory && text->empty()) return false;
            settings.*member = std::move(*text);
          } else {
            std::optional<int> number = intFromVariant(value);
            if (!number) return false;
            if constexpr (std::is_same_v<T, bool>) {
              // A stored flag is true when it is not zero.
              settings.*member = *number != 0;
            } else {
              if (!settingRangeError(field, *number).empty()) return false;
              settings.*member = *number;
            }
          }
          return true;
        },
        field.member);
    if (!ok) unreadable.push_back(std::string(field.name) + " (" + value.toString().toStdString() + ")");
  }

  std::string exclusionText;
  const QString exclusionsKey = keyFor(kGeneral, "Exclusions");
  if (m_settings->contains(exclusionsKey)) {
    exclusionText = bytesFromVariant(m_settings->value(exclusionsKey)).value_or(std::string());
  }
  exclusions.load(splitExclusions(exclusionText));

  view.autoExpand = readInt(kView, QStringLiteral("AutoExpand"), 1) != 0;
  view.showAll = readInt(kView, QStringLiteral("Show All"), 1) != 0;
  return unreadable;
}

void SettingsStore::save(const CrawlSettings& settings, const ServerRuleTable& exclusions,
                         const ViewOptions& view) {
  beginWrite();
  for (const SettingField& field : generalSettingFields()) {
    const QString key = keyFor(kGeneral, field.name);
    std::visit(
        [&](auto member) {
          using T = std::remove_cvref_t<decltype(settings.*member)>;
          if constexpr (std::is_same_v<T, std::string>) {
            m_settings->setValue(key, variantFromBytes(settings.*member));
          } else {
            m_settings->setValue(key, static_cast<int>(settings.*member));
          }
        },
        field.member);
  }
  std::vector<std::string> entries;
  exclusions.save(entries);
  m_settings->setValue(keyFor(kGeneral, "Exclusions"), variantFromBytes(joinExclusions(entries)));
  m_settings->setValue(keyFor(kView, QStringLiteral("Show All")), view.showAll ? 1 : 0);
  m_settings->setValue(keyFor(kView, QStringLiteral("AutoExpand")), view.autoExpand ? 1 : 0);
  sync();
}

std::string SettingsStore::joinExclusions(const std::vector<std::string>& entries) {
  std::string text;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0) text += '\n';
    text += entries[i];
  }
  return text;
}

std::vector<std::string> SettingsStore::splitExclusions(const std::string& text) {
  std::vector<std::string> entries;
  size_t start = 0;
  for (size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
    entries.push_back(text.substr(start, lf - start));
    start = lf + 1;
  }
  if (start < text.size()) entries.push_back(text.substr(start));
  return entries;
}

QStringList distinctHistory(const QStringList& entries) {
  QStringList out;
  for (const QString& entry : entries) {
    if (out.size() == kHistoryLength) break;
    if (!entry.isEmpty() && !out.contains(entry, Qt::CaseInsensitive)) out.append(entry);
  }
  return out;
}

QStringList SettingsStore::loadHistory(const QString& section, const QString& prefix) {
  QStringList entries;
  for (int position = 1; position <= kHistoryLength; ++position) {
    entries.append(readText(section, prefix + QStringLiteral(" %1").arg(position)));
  }
  return distinctHistory(entries);
}

void SettingsStore::saveHistory(const QString& section, const QString& prefix, const QStringList& entries) {
  beginWrite();
  // Every position is written, so entries of a longer earlier list vanish.
  for (int position = 1; position <= kHistoryLength; ++position) {
    QString entry = position <= entries.size() ? entries.at(position - 1) : QString();
    m_settings->setValue(keyFor(section, prefix + QStringLiteral(" %1").arg(position)), entry);
  }
}

int SettingsStore::readInt(const QString& section, const QString& name, int fallback) {
  const QString key = keyFor(section, name);
  if (!m_settings->contains(key)) return fallback;
  return intFromVariant(m_settings->value(key)).value_or(fallback);
}

void SettingsStore::writeInt(const QString& section, const QString& name, int value) {
  beginWrite();
  m_settings->setValue(keyFor(section, name), value);
}

QString SettingsStore::readText(const QString& section, const QString& name, const QString& fallback) {
  const QString key = keyFor(section, name);
  if (!m_settings->contains(key)) return fallback;
  std::optional<std::string> text = bytesFromVariant(m_settings->value(key));
  if (!text) return fallback;
  return QString::fromStdString(*text);
}

void SettingsStore::writeText(const QString& section, const QString& name, const QString& value) {
  beginWrite();
  m_settings->setValue(keyFor(section, name), value);
}

QByteArray SettingsStore::readBytes(const QString& section, const QString& name) {
  const QVariant value = m_settings->value(keyFor(section, name));
  if (value.typeId() == QMetaType::QByteArray) return value.toByteArray();
  if (value.typeId() == QMetaType::QString) return value.toString().toUtf8();
  return {};
}

void SettingsStore::writeBytes(const QString& section, const QString& name, const QByteArray& value) {
  beginWrite();
  m_settings->setValue(keyFor(section, name), value);
}

void SettingsStore::sync() {
  m_settings->sync();
  // Every write made the file 0600 before QSettings could write it; this
  // catches a file that went away in between and was made anew.
  if (m_changed) restrictPermissions();
  m_changed = false;
}

// QSaveFile, which QSettings writes through, keeps the mode of an existing
// file but gives a new one 0666 less the umask. So every write path calls
// this first: the file then exists, owner-only, before QSettings (which may
// also write on its own from the event loop) puts anything in it.
void SettingsStore::beginWrite() {
  m_changed = true;
  restrictPermissions();
}

void SettingsStore::restrictPermissions() {
  const QString name = m_settings->fileName();
  if (name.isEmpty()) return;
  QDir().mkpath(QFileInfo(name).absolutePath());
  const QByteArray path = QFile::encodeName(name);
  // Read-only access is enough to create the file and to change its mode,
  // and does not fail on a file that is not writable.
  UniqueFd fd(::open(path.constData(), O_RDONLY | O_CREAT | O_CLOEXEC, S_IRUSR | S_IWUSR));
  if (!fd) return;  // QSettings reports the failure when it writes
  struct stat info;
  if (::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 07777) != (S_IRUSR | S_IWUSR)) {
    ::fchmod(fd.get(), S_IRUSR | S_IWUSR);
  }
}

std::string desktopFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!folder.isEmpty()) return folder.toStdString();
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/Desktop";
}

}  // namespace sg
