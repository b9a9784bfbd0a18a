// QtDesktopServices on real files, the single-instance claim, the clipboard and the warning box.
#include <sys/stat.h>

#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <random>

#include "picture_rules.h"
#include "qt_desktop_services.h"
#include "qt_drop_data.h"
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

    void BitmapsEncodeToTheirPixelsAndStopAtTheCap_data() {
        QTest::addColumn<int>("layout");
        QTest::addColumn<unsigned>("bits");
        QTest::addColumn<unsigned>("side");  // odd: rows end within a byte and are padded
        QTest::newRow("1-bit") << int(Raster::Layout::Indexed) << 1u << 13u;
        QTest::newRow("4-bit") << int(Raster::Layout::Indexed) << 4u << 13u;
        QTest::newRow("8-bit") << int(Raster::Layout::Indexed) << 8u << 13u;
        QTest::newRow("24-bit, rows unpadded") << int(Raster::Layout::Bgr) << 24u << 13u;
        QTest::newRow("32-bit, straight alpha") << int(Raster::Layout::Bgra) << 32u << 13u;
        QTest::newRow("noise past the cap") << int(Raster::Layout::Bgr) << 24u << 1001u;
    }

    void BitmapsEncodeToTheirPixelsAndStopAtTheCap() {
        QFETCH(int, layout);
        QFETCH(unsigned, bits);
        QFETCH(unsigned, side);
        std::mt19937 noise(side + bits);
        const std::uint32_t stride = bits == 24 ? side * 3 : (side * bits + 31) / 32 * 4;
        Raster raster{Raster::Layout(layout), bits, side, side, stride, {}, {}};
        raster.pixels.resize(std::size_t{stride} * side);
        for (std::uint8_t& byte : raster.pixels) {
            byte = static_cast<std::uint8_t>(noise());
        }
        for (unsigned i = 0; bits <= 8 && i < 1u << bits; ++i) {
            raster.palette.push_back(0xFF000000 | noise());
        }
        const ByteText png = EncodePng(raster);
        if (side > 100) {  // far past the limit: cut off as it is written, not after
            QCOMPARE(png.size(), kLongestKeptPicture);
            return;
        }
        const QImage image = QImage::fromData(png.data(), int(png.size()), "png");
        for (unsigned y = 0; y < side; ++y) {
            for (unsigned x = 0; x < side; ++x) {
                const std::uint8_t* at = raster.pixels.data() + y * stride + x * bits / 8;
                const unsigned index =
                    bits > 8 ? 0 : *at >> (8 - bits - x * bits % 8) & ((1 << bits) - 1);
                const QRgb expected = bits <= 8 ? raster.palette[index]
                                      : qRgba(at[2], at[1], at[0], bits == 32 ? at[3] : 255);
                QCOMPARE(image.pixel(int(x), int(y)), expected);
            }
        }
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
