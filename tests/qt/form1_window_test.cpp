// The real main window on the offscreen platform: its look, its options, and drops on it.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "fonts.h"
#include "form1_widget.h"
#include "qt_desktop_services.h"
#include "qt_test_support.h"

class Form1WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QtDesktopServices> desktop_;
    QTemporaryDir dir_;

    Form1Widget& Window() { return *desktop_->Window(); }
    QLabel& Label() { return *Window().Label1(); }
    QRadioButton& Option(OptionButton option) { return *Window().Option(option); }

    // Pixels of the drop picture in the status line's "done" colour: the drop-target outline.
    int OutlinePixels() {
        const QImage image = Window().grab(Window().DropZone()).toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                count += image.pixelColor(x, y) == QColor(86, 153, 203);
            }
        }
        return count;
    }

private slots:
    void initTestCase() { InstallFontStandIns(); }

    void init() {
        desktop_ = std::make_unique<QtDesktopServices>(
            QStringLiteral("vellumine-test-%1").arg(QCoreApplication::applicationPid()));
        InstallDesktopServices(desktop_.get());
        desktop_->CreateMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&Window()));
        Window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&Window()));
        QApplication::clipboard()->setText(QStringLiteral("before"));
    }

    void cleanup() {
        InstallDesktopServices(nullptr);
        desktop_.reset();
    }

    void StartsAsDesigned() {
        QCOMPARE(Window().windowTitle(), QStringLiteral("Vellumine  v1.0.91"));
        QCOMPARE(Window().size(), QSize(198, 206));
        QCOMPARE(Window().palette().color(QPalette::Window), QColor(248, 248, 248));
        QVERIFY(Window().windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(Window().acceptDrops());

        QCOMPARE(Option(OptionButton::Option1).geometry(), QRect(16, 180, 89, 17));
        QCOMPARE(Option(OptionButton::Option2).geometry(), QRect(104, 180, 89, 17));
        QCOMPARE(Label().geometry(), QRect(0, 156, 197, 21));
        QCOMPARE(Option(OptionButton::Option1).text(), QStringLiteral("CSS DATE"));
        QCOMPARE(Option(OptionButton::Option2).text(), QStringLiteral("XTM DATA"));
        QVERIFY(Option(OptionButton::Option1).isChecked());
        QVERIFY(!Option(OptionButton::Option2).isChecked());
        QCOMPARE(Option(OptionButton::Option1).palette().color(QPalette::Window),
                 QColor(248, 248, 248));
        QCOMPARE(Label().text(), QString());
        QCOMPARE(Label().frameShape(), QFrame::NoFrame);
        QCOMPARE(Label().palette().color(QPalette::WindowText), QColor(86, 153, 203));
        QVERIFY(QApplication::focusWidget() == nullptr ||
                QApplication::focusWidget() == &Option(OptionButton::Option1));

        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&Window());
        QCOMPARE(window->role(), QAccessible::Window);  // AT-SPI "frame", not "filler"
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Vellumine  v1.0.91"));
        QVERIFY(window->text(QAccessible::Description).contains("Ctrl+V"));
        QCOMPARE(Window().toolTip(), window->text(QAccessible::Description));
        QAccessibleInterface* status = QAccessible::queryAccessibleInterface(&Label());
        QCOMPARE(status->role(), QAccessible::StatusBar);
        desktop_->SetLabelCaption("Not format!");
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("Not format!"));
        QCOMPARE(status->textInterface()->text(0, 3), QStringLiteral("Not"));
    }

    void UsesTheWindowFaces() {
        const QFontInfo option_font(Option(OptionButton::Option1).font());
        const QFontInfo label_font(Label().font());
        QCOMPARE(option_font.pixelSize(), 13);
        QCOMPARE(label_font.pixelSize(), 16);
        QVERIFY(label_font.bold());
        QVERIFY2(QStringList({"Tahoma", "DejaVu Sans", "Liberation Sans"})
                     .contains(option_font.family()),
                 qPrintable(option_font.family()));
        QVERIFY2(QStringList({"Arial", "Liberation Sans", "Arimo"}).contains(label_font.family()),
                 qPrintable(label_font.family()));
    }

    void LongestTextsFit() {
        const QFontMetrics label_metrics(Label().font());
        QVERIFY(label_metrics.horizontalAdvance(QStringLiteral("Clipboard! Size 42716 b")) <=
                Label().width());
        QVERIFY(label_metrics.height() <= Label().height());
        for (OptionButton option : {OptionButton::Option1, OptionButton::Option2}) {
            QRadioButton& button = Option(option);
            QVERIFY2(button.sizeHint().width() <= button.width(), qPrintable(button.text()));
        }
    }

    void OptionsFormOneGroup() {
        QTest::mouseClick(&Option(OptionButton::Option2), Qt::LeftButton);
        QVERIFY(Option(OptionButton::Option2).isChecked());
        QVERIFY(!Option(OptionButton::Option1).isChecked());
        QTest::mouseClick(&Option(OptionButton::Option1), Qt::LeftButton);
        QVERIFY(Option(OptionButton::Option1).isChecked());
        QVERIFY(!Option(OptionButton::Option2).isChecked());
        QTest::keyClick(&Option(OptionButton::Option1), Qt::Key_Right);  // the keyboard's way
        QVERIFY(Option(OptionButton::Option2).isChecked());
        QVERIFY(Option(OptionButton::Option2).hasFocus());
    }

    void Drops_data() {
        QTest::addColumn<QStringList>("files");   // written first; "missing:" ones are not
        QTest::addColumn<QString>("text");        // plain text in the drop instead of files
        QTest::addColumn<bool>("css");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QColor>("colour");

        const QColor done(86, 153, 203);
        const QColor fault(255, 0, 0);
        QTest::newRow("one png, CSS") << QStringList{"a.png"} << "" << true
            << "background-image:url('data:image/png;base64,AA==');" << "Clipboard! Size 51 b" << done;
        QTest::newRow("one png, HTML") << QStringList{"a.png"} << "" << false
            << "<img src = 'data:image/png;base64,AA=='/>" << "Clipboard! Size 41 b" << done;
        QTest::newRow("three files, first counts") << QStringList{"b.GIF", "a.png", "c.txt"} << ""
            << false << "<img src = 'data:image/gif;base64,AA=='/>" << "Clipboard! Size 41 b" << done;
        QTest::newRow("unicode, spaces, # and %") << QStringList{"über bild #1 %20.jpg"} << ""
            << false << "<img src = 'data:image/jpg;base64,AA=='/>" << "Clipboard! Size 41 b" << done;
        QTest::newRow("not an image name") << QStringList{"notes.txt"} << "" << true << "before"
            << "Not format!" << fault;
        QTest::newRow("over the limit") << QStringList{"big.png:32001"} << "" << true << "before"
            << "The  File > 32kb!" << fault;
        QTest::newRow("text only") << QStringList{} << "some text" << true << "before" << ""
            << done;
        QTest::newRow("http address") << QStringList{} << "http://example.com/a.png" << true
            << "before" << "" << done;
    }

    void Drops() {
        QFETCH(QStringList, files);
        QFETCH(QString, text);
        QFETCH(bool, css);
        QFETCH(QString, clipboard);
        QFETCH(QString, status);
        QFETCH(QColor, colour);

        QTest::mouseClick(&Option(css ? OptionButton::Option1 : OptionButton::Option2),
                          Qt::LeftButton);
        QStringList paths;
        for (const QString& file : files) {
            const QStringList name_and_size = file.split(':');
            const qsizetype size = name_and_size.size() > 1 ? name_and_size[1].toLongLong() : 1;
            paths << WriteFile(dir_, name_and_size[0], size);
        }
        std::unique_ptr<QMimeData> data = FileDrop(paths);
        if (!text.isEmpty()) {
            data->setText(text);
            if (text.startsWith("http")) {
                data->setUrls({QUrl(text)});
            }
        }
        const DropReply reply = DropOnWindow(Window(), *data);

        QVERIFY(reply.accepted);
        QCOMPARE(reply.action, Qt::CopyAction);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
        QCOMPARE(Label().text(), status);
        QCOMPARE(Label().palette().color(QPalette::WindowText), colour);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void Pastes_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("header");  // the copied-files list's first line
        QTest::addColumn<QString>("file");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("status");

        const QKeySequence ctrl_v(Qt::CTRL | Qt::Key_V), shift_insert(Qt::SHIFT | Qt::Key_Insert);
        QTest::newRow("uri-list") << "text/uri-list" << QByteArray() << "a.png" << ctrl_v
            << "Clipboard! Size 51 b";
        QTest::newRow("uri-list, Shift+Insert") << "text/uri-list" << QByteArray() << "a b.gif"
            << shift_insert << "Clipboard! Size 51 b";
        QTest::newRow("GNOME copy") << "x-special/gnome-copied-files" << QByteArray("copy")
            << "c.jpg" << ctrl_v << "Clipboard! Size 51 b";
        QTest::newRow("GNOME cut") << "x-special/gnome-copied-files" << QByteArray("cut")
            << "d.png" << ctrl_v << "Clipboard! Size 51 b";
        QTest::newRow("MATE copy, not an image") << "x-special/mate-copied-files"
            << QByteArray("copy") << "notes.txt" << ctrl_v << "Not format!";
        QTest::newRow("text only") << "text/plain" << QByteArray() << "e.png" << ctrl_v << "";
    }

    void Pastes() {
        QFETCH(QString, format);
        QFETCH(QByteArray, header);
        QFETCH(QString, file);
        QFETCH(QKeySequence, keys);
        QFETCH(QString, status);

        const QString path = WriteFile(dir_, file, 1);
        const QByteArray url = QUrl::fromLocalFile(path).toEncoded();
        auto* copied = new QMimeData;
        copied->setData(format, header.isEmpty() ? (format == "text/plain" ? path.toUtf8() : url)
                                                 : header + "\n" + url);
        QApplication::clipboard()->setMimeData(copied);
        const QString before = QApplication::clipboard()->text();
        QTest::keySequence(&Window(), keys);
        QCOMPARE(Label().text(), QString());  // handled once the key press is over, as a drop
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);

        QCOMPARE(Label().text(), status);
        if (status.startsWith("Clipboard!")) {
            QVERIFY(QApplication::clipboard()->text().endsWith(";base64,AA==');"));
        } else {
            QCOMPARE(QApplication::clipboard()->text(), before);
        }
        QVERIFY2(QFile::exists(path), "a cut file is only read");
    }

    void ChoosesFilesInTheDialog() {
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        const QString image = WriteFile(dir_, "chosen.png", 1);
        QDir().mkpath(dir_.filePath("sub"));
        const QString text = WriteFile(dir_, "sub/notes.txt", 1);
        struct Case {
            const char* how;    // "ctrl+o", or where to double-click
            QString chosen;     // empty cancels the dialog
            QString status;
        };
        const Case cases[] = {
            {"ctrl+o", image, "Clipboard! Size 51 b"},
            {"picture", text, "Not format!"},  // through "All files"
            {"picture", {}, "Not format!"},
            {"label", image, "Not format!"},   // no dialog there
        };
        QString opened_in;
        for (const Case& c : cases) {
            QFileDialog* seen = nullptr;
            QStringList filters;
            bool drop_taken = true;
            QTimer poll;
            connect(&poll, &QTimer::timeout, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (dialog == nullptr) {
                    return;
                }
                if (seen == dialog) {  // the dialog's folder model fills in the background
                    if (dialog->selectedFiles() == QStringList{c.chosen}) {
                        QTest::keyClick(dialog->findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
                    }
                    return;
                }
                seen = dialog;
                opened_in = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                const auto dropped = FileDrop({WriteFile(dir_, "dropped.gif", 2)});
                drop_taken = DropOnWindow(Window(), *dropped).accepted;
                if (c.chosen.isEmpty()) {
                    dialog->reject();
                    return;
                }
                dialog->selectNameFilter("All files (*)");
                dialog->selectFile(c.chosen);
            });
            poll.start(10);
            if (QByteArray(c.how) == "ctrl+o") {
                QTest::keyClick(&Window(), Qt::Key_O, Qt::ControlModifier);
            } else {
                QTest::mouseDClick(&Window(), Qt::LeftButton, {},
                                   c.how == QByteArray("label") ? QPoint(99, 166) : QPoint(99, 60));
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
            QCOMPARE(Label().text(), c.status);
            if (QByteArray(c.how) == "label") {
                QVERIFY(seen == nullptr);
                continue;
            }
            QVERIFY(seen != nullptr);
            QCOMPARE(filters, QStringList({"Images (*.gif *.jpeg *.jpg *.png)", "All files (*)"}));
            QVERIFY(!drop_taken);  // one thing at a time
        }
        QCOMPARE(opened_in, dir_.path() + "/sub");  // where the last file was chosen
    }

    void ShowsWhereADropWillLand() {
        QCOMPARE(OutlinePixels(), 0);
        const auto files = FileDrop({WriteFile(dir_, "over.png", 1)});
        QMimeData text;
        text.setText("some text");
        for (const QMimeData* data : {files.get(), &text}) {
            DragOver(Window(), data);
            const int outline = OutlinePixels();  // over a thousand when drawn
            QVERIFY2(data == &text ? outline == 0 : outline > 500, qPrintable(QString::number(outline)));
            DragOver(Window(), nullptr);
            QCOMPARE(OutlinePixels(), 0);  // the drag left
        }
        DropOnWindow(Window(), *files);
        QCOMPARE(OutlinePixels(), 0);
    }

    void MoveOnlyDropIsConvertedButNotTaken() {
        const std::unique_ptr<QMimeData> data = FileDrop({WriteFile(dir_, "moved.png", 1)});
        const DropReply reply = DropOnWindow(Window(), *data, {99, 80}, Qt::MoveAction);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("background-image:url('data:image/png;base64,AA==');"));
        QVERIFY(!reply.accepted);  // the file manager keeps its file
    }

    void UnreadableFileShowsTheWarningBox() {
        for (const QString& path : {dir_.filePath("missing.png"), dir_.path() + "/folder.png"}) {
            QDir().mkpath(dir_.path() + "/folder.png");
            Label().setText(QStringLiteral("earlier"));
            const std::unique_ptr<QMimeData> data = FileDrop({path});
            const SeenBox box = CloseBoxDuring([&] { DropOnWindow(Window(), *data); });
            QVERIFY2(box.shown, qPrintable(path));
            QCOMPARE(box.title, QStringLiteral("Vellumine"));
            QCOMPARE(box.text, QStringLiteral("Error: ReadFile"));
            QVERIFY(box.warning_icon);
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
            QCOMPARE(Label().text(), QStringLiteral("earlier"));
        }
    }
};

QTEST_MAIN(Form1WindowTest)
#include "form1_window_test.moc"
