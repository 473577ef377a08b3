// File-type icons and type names for link file names, from the icon theme
// and the MIME database, with one copy per extension (and per overlay mark).
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace sg {

class FileIcons {
 public:
  // Marks drawn over a row's icon.
  enum Mark { kNoMark = 0, kReadingMark = 1, kCompleteMark = 2, kFailedMark = 3, kSkippedMark = 4 };

  // The icon of a local file name (or URL) by its extension, with a mark.
  QIcon icon(const QString& name, int mark = kNoMark);
  // The type name the system gives the file name's extension, or "".
  QString typeName(const QString& name);
  // How many distinct icons were made (one per extension and mark).
  int cachedIcons() const { return m_icons.size(); }

  // The shared instance of the process (GUI thread).
  static FileIcons& instance();

 private:
  static QString extensionOf(const QString& name);
  QIcon baseIcon(const QString& extension);
  QHash<QString, QIcon> m_icons;     // "ext|mark"
  QHash<QString, QString> m_types;   // ext
};

}  // namespace sg
