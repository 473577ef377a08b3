// Shows the options sheet on one page, filled with sample settings, for
// scripts/options-screenshots.sh: once the window is on screen its X
// window id is written to the given file, and the program waits to be
// ended.
//
//   options_screenshots <settings file> <page index> <id file>
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "document/crawl_document.h"
#include "document/settings_store.h"
#include "support/quiet_host.h"
#include "ui/options_sheet.h"

using namespace sg;

using test::QuietHost;

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: options_screenshots <settings file> <page index> <id file>\n");
    return 2;
  }
  const QString idFile = QString::fromLocal8Bit(argv[3]);
  SettingsStore store(QString::fromLocal8Bit(argv[1]));
  store.writeInt(QStringLiteral("Options"), QStringLiteral("Last Tab"), QString::fromLocal8Bit(argv[2]).toInt());
  store.saveHistory(QStringLiteral("Filter History"), QStringLiteral("Filter"), {"zip;pdf", "mp3", "tar.gz"});
  QuietHost host;
  CrawlDocument document(store, host);
  document.newDocument();
  CrawlSettings& s = document.controller().settings;
  s.downloadAll = false;
  s.downloadFileTypes = "text/html;text/plain;image/gif;image/jpeg";
  s.fileExtensions = "zip;pdf";
  s.saveFiles = true;
  s.saveAll = false;
  s.saveFileTypes = "text/html;image/gif;image/jpeg";
  s.saveDirectory = "/home/user/Desktop/Gleaned Sites";
  s.limitFlags = kLimitMaxSize | kLimitTotalTime;
  s.maxSize = 2000;
  s.limitBinaries = kLimitOtherFiles | kLimitHtmlFiles;
  s.username = "alice";
  document.controller().exclusions().load(
      {"http://ads.example.net/", "http://www.example.com/private/", "http://www.example.com/cgi-bin/"});

  OptionsSheet sheet(document, systemConnectionState());
  sheet.show();
  // Written once the window has been exposed and painted.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWindow* window = sheet.windowHandle();
    if (window == nullptr || !window->isExposed()) return;
    poll.stop();
    QTimer::singleShot(200, [&] {
      QFile out(idFile);
      if (out.open(QIODevice::WriteOnly)) out.write(QByteArray::number(qulonglong(sheet.winId())) + "\n");
    });
  });
  poll.start(20);
  return application.exec();
}
