#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QProcess>
#include <QtTest>

#include "app/RevealFile.h"

using namespace sw;

namespace {

// A file manager on a private session bus that notes what it was asked to show.
class TFakeFileManager : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
 public:
  QStringList Uris;
  QString StartupId;
  int Calls = 0;
 public slots:
  void ShowItems(const QStringList& uris, const QString& startupId) {
    Uris = uris;
    StartupId = startupId;
    ++Calls;
  }
};

}  // namespace

class RevealFileTest : public QObject {
  Q_OBJECT

 public slots:
  void Open(const QUrl& url) { FOpened << url; }

 private slots:
  void initTestCase() {
    FDaemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
    if (!FDaemon.waitForStarted()) QSKIP("dbus-daemon is not installed");
    QVERIFY(FDaemon.waitForReadyRead(5000));
    const QByteArray address = FDaemon.readLine().trimmed();
    // Before the first use of the session bus, which reads it once.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    FFileManagerBus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(QString(address), "fm"));
    QVERIFY(FFileManagerBus->isConnected());
    QDesktopServices::setUrlHandler("file", this, "Open");
  }

  void cleanupTestCase() {
    QDesktopServices::unsetUrlHandler("file");
    FFileManagerBus.reset();
    QDBusConnection::disconnectFromBus("fm");
    FDaemon.kill();
    FDaemon.waitForFinished();
  }

  void fileManagerIsAskedToShowTheFile() {
    TFakeFileManager manager;
    QVERIFY(FFileManagerBus->registerObject("/org/freedesktop/FileManager1", &manager, QDBusConnection::ExportAllSlots));
    QVERIFY(FFileManagerBus->registerService("org.freedesktop.FileManager1"));
    FOpened.clear();
    RevealFile("/music/out/my clip.mp3");
    QTRY_COMPARE(manager.Calls, 1);
    QCOMPARE(manager.Uris, QStringList({"file:///music/out/my%20clip.mp3"}));
    QCOMPARE(manager.StartupId, QString());
    QTest::qWait(100);
    QVERIFY(FOpened.isEmpty());
    FFileManagerBus->unregisterService("org.freedesktop.FileManager1");
    FFileManagerBus->unregisterObject("/org/freedesktop/FileManager1");
  }

  void withoutAFileManagerTheFolderOpens() {
    FOpened.clear();
    RevealFile("/music/out/clip.mp3");
    QTRY_COMPARE(FOpened, QList<QUrl>({QUrl::fromLocalFile("/music/out")}));
  }

 private:
  QProcess FDaemon;
  std::unique_ptr<QDBusConnection> FFileManagerBus;
  QList<QUrl> FOpened;
};

QTEST_MAIN(RevealFileTest)
#include "RevealFileTest.moc"
