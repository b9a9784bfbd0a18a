// QtDesktopServices on real files, the single-instance claim, the clipboard and the warning box.
#include <sys/stat.h>

#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "qt_desktop_services.h"
#include "qt_test_support.h"

class QtDesktopServicesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QTemporaryDir runtime_dir_;  // made 0700, as a login makes it

    static std::string Utf8(const QString& path) { return path.toStdString(); }

private slots:
    void initTestCase() {
        // The user's private runtime folder, which holds the lock part of the claim.
        qputenv("XDG_RUNTIME_DIR", runtime_dir_.path().toUtf8());
    }

    void ReadsRegularFilesWhole_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << "empty.png" << 0;
        QTest::newRow("one byte") << "one.png" << 1;
        QTest::newRow("the limit") << "limit.jpg" << 32000;
        QTest::newRow("over the limit") << "over.gif" << 32001;
        QTest::newRow("unicode name") << "Ünïcødé ŝpace #%.png" << 10;
    }

    void ReadsRegularFilesWhole() {
        QFETCH(QString, name);
        QFETCH(int, size);
        QtDesktopServices desktop(QStringLiteral("vellumine-test-files"));
        const std::string path = Utf8(WriteFile(dir_, name, size, 3));
        QCOMPARE(desktop.FileLength(path), std::uint64_t(size));
        const ByteText bytes = desktop.ReadFileBytes(path, static_cast<std::size_t>(size));
        QCOMPARE(bytes.size(), std::size_t(size));
        for (int i = 0; i < size; ++i) {
            QCOMPARE(bytes[i], std::uint8_t(3 + i * 7));
        }
    }

    void RefusesWhatIsNotARegularFile() {
        QtDesktopServices desktop(QStringLiteral("vellumine-test-files"));
        QVERIFY(QDir(dir_.path()).mkdir("folder.png"));
        const std::string fifo = Utf8(dir_.filePath("pipe.png"));
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        const std::string device_link = Utf8(dir_.filePath("device.png"));
        QVERIFY(QFile::link("/dev/zero", QString::fromStdString(device_link)));
        for (const std::string& path :
             {Utf8(dir_.filePath("missing.png")), Utf8(dir_.filePath("folder.png")), fifo,
              device_link, std::string("/dev/null"), std::string("bad\0name.png", 12)}) {
            QVERIFY_THROWS_EXCEPTION(Failure, desktop.FileLength(path));
            // Never blocks, even where the length check was passed by a file replaced later.
            QVERIFY_THROWS_EXCEPTION(Failure, desktop.ReadFileBytes(path, 4));
        }
    }

    void FailsWhenTheFileChangedSinceItsLengthWasTaken() {
        QtDesktopServices desktop(QStringLiteral("vellumine-test-files"));
        const std::string path = Utf8(WriteFile(dir_, "changed.png", 10));
        QVERIFY_THROWS_EXCEPTION(Failure, desktop.ReadFileBytes(path, 11));  // shrank
        QVERIFY_THROWS_EXCEPTION(Failure, desktop.ReadFileBytes(path, 9));   // grew
    }

    void OneInstanceHoldsTheClaimUntilItEnds() {
        const QString name = QStringLiteral("vellumine-test-claim-%1").arg(QCoreApplication::applicationPid());
        auto first = std::make_unique<QtDesktopServices>(name);
        QVERIFY(!first->PreviousInstanceRunning());
        QVERIFY(!first->PreviousInstanceRunning());  // asking again keeps the claim
        {
            QtDesktopServices second(name);
            QVERIFY(second.PreviousInstanceRunning());
        }
        first.reset();
        QtDesktopServices third(name);
        QVERIFY(!third.PreviousInstanceRunning());
    }

    void AnotherUsersNameIsNoCopyRunning_data() {
        const QString hold = QStringLiteral(
            "import socket, sys\n"
            "name = socket.socket(socket.AF_UNIX)\n"
            "name.bind('\\0' + sys.argv[2])\n"
            "if sys.argv[1] == 'listen': name.listen()\n"
            "print('held', flush=True)\n"
            "sys.stdin.read()\n");
        const QStringList as_nobody = {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                       "/usr/bin/python3"};
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("holder");
        QTest::addColumn<bool>("running");
        QTest::newRow("nobody listens on the name")
            << "setpriv" << as_nobody + QStringList{"-c", hold, "listen"} << false;
        QTest::newRow("nobody binds the name only")
            << "setpriv" << as_nobody + QStringList{"-c", hold, "bind"} << false;
        QTest::newRow("this user listens on the name")
            << "/usr/bin/python3" << QStringList{"-c", hold, "listen"} << true;
    }

    void AnotherUsersNameIsNoCopyRunning() {
        QFETCH(QString, program);
        QFETCH(QStringList, holder);
        QFETCH(bool, running);
        if (::getuid() != 0) {
            QSKIP("holding the name as another user needs root");
        }
        const QString name = QStringLiteral("vellumine-test-squat-%1-%2")
                                 .arg(QCoreApplication::applicationPid())
                                 .arg(QTest::currentDataTag());
        QProcess process;
        process.start(program, holder << name);
        QVERIFY(process.waitForReadyRead(10000));
        QCOMPARE(process.readLine().trimmed(), QByteArray("held"));
        {
            QtDesktopServices first(name);
            QCOMPARE(first.PreviousInstanceRunning(), running);
            // Whoever holds the name, two copies of this user still shut each other out.
            QtDesktopServices second(name);
            QVERIFY(second.PreviousInstanceRunning());
        }
        process.closeWriteChannel();
        QVERIFY(process.waitForFinished(10000));
    }

    void ClipboardHoldsPlainText() {
        QtDesktopServices desktop(QStringLiteral("vellumine-test-clipboard"));
        QApplication::clipboard()->setText(QStringLiteral("before"));
        desktop.ClearClipboard();
        QCOMPARE(QApplication::clipboard()->text(), QString());
        const std::string snippet = "<img src = 'data:image/png;base64,AA=='/>";
        desktop.SetClipboardText(snippet);
        QCOMPARE(QApplication::clipboard()->text().toStdString(), snippet);
        QVERIFY(!QApplication::clipboard()->mimeData()->hasHtml());
    }

    void HandsTheClipboardOverAndLetsGo() {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("needs an X server and the keeper beside this program: e2e.ClipboardManager");
        }
        QApplication::clipboard()->setText(QStringLiteral("kept"));
        QVERIFY(QApplication::clipboard()->ownsClipboard());
        ClipboardHandOver(std::string()).RunOnce();
        // Qt must know the keeper has it: else at exit Qt 6.4 offers it to whatever owns
        // CLIPBOARD_MANAGER and waits five seconds for an answer.
        QVERIFY(!QApplication::clipboard()->ownsClipboard());
    }

    void WarningBoxIsModalWithOneButton() {
        QtDesktopServices desktop(QStringLiteral("vellumine-test-box"));
        const SeenBox box = CloseBoxDuring([&] { desktop.ShowWarning("Error: ReadFile"); });
        QVERIFY(box.shown);
        QCOMPARE(box.title, QStringLiteral("Vellumine"));
        QCOMPARE(box.text, QStringLiteral("Error: ReadFile"));
        QVERIFY(box.warning_icon);
    }

    void BusyPointerIsSetOnceAndAlwaysRestored() {
        {
            QtDesktopServices desktop(QStringLiteral("vellumine-test-pointer"));
            desktop.SetPointer(Pointer::Busy);
            desktop.SetPointer(Pointer::Busy);
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            desktop.SetPointer(Pointer::Default);
            QVERIFY(QApplication::overrideCursor() == nullptr);
            desktop.SetPointer(Pointer::Busy);
        }
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }
};

QTEST_MAIN(QtDesktopServicesTest)
#include "qt_desktop_services_test.moc"
