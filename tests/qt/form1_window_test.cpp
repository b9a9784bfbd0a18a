// The real main window on the offscreen platform: its look, its options, and drops on it.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "fonts.h"
#include "form1.h"
#include "form1_widget.h"
#include "qt_desktop_services.h"
#include "qt_test_support.h"
#include "vellumine_version.h"

class Form1WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QtDesktopServices> desktop_;
    QTemporaryDir dir_;

    Form1Widget& Window() { return *desktop_->Window(); }
    QLabel& Label() { return *Window().Label1(); }
    QRadioButton& Option(OptionButton option) { return *Window().Option(option); }
    int OutlinePixels() {  // of the drop picture, in ColourDone
        const QImage image = Window().grab(Window().DropZone()).toImage();
        int count = 0;
        for (int i = 0; i < image.width() * image.height(); ++i)
            count += image.pixelColor(i % image.width(), i / image.width()) == QColor(86, 153, 203);
        return count;
    }
    static int StraightOutlinePixels() {  // the outline's straight runs, drawn on whole pixels
        const OutlineSpec& outline = Form1.drop_outline;
        return 2 * outline.pen_width *
               (outline.rect.width + outline.rect.height - 4 * outline.corner_radius);
    }

    static inline QStringList notices_;  // the status notice's name each time it was shown
    static void RecordNotice(QAccessibleEvent* event) {
        if (event->type() == QAccessible::ObjectShow && event->object() != nullptr &&
            event->object()->objectName() == "Label1Notice")
            notices_ << event->accessibleInterface()->text(QAccessible::Name);
    }

private slots:
    void initTestCase() { InstallFontStandIns(); }

    void init() {
        desktop_ = std::make_unique<QtDesktopServices>(
            QStringLiteral("vellumine-test-%1").arg(QCoreApplication::applicationPid()));
        InstallDesktopServices(desktop_.get());
        desktop_->CreateMainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&Window()));
        Window().activateWindow();  // for its shortcuts
        QVERIFY(QTest::qWaitForWindowActive(&Window()));
        QApplication::clipboard()->setText(QStringLiteral("before"));
    }

    void cleanup() {
        InstallDesktopServices(nullptr);
        desktop_.reset();
    }

    void StartsAsDesigned() {
        QCOMPARE(Window().windowTitle(), QStringLiteral("Vellumine  v" VELLUMINE_VERSION_TEXT));
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
        QCOMPARE(window->role(), QAccessible::Window);  // AT-SPI's "frame", not a "filler"
        QCOMPARE(window->text(QAccessible::Description), Window().toolTip().replace('\n', ' '));
        QCOMPARE(QAccessible::queryAccessibleInterface(&Label())->role(), QAccessible::StatusBar);
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
        int outline = 0;  // while a drag is over the window; none once it went away or dropped
        DragOverAndAway(Window(), *data, [&] { outline = OutlinePixels(); });
        QCOMPARE(outline >= StraightOutlinePixels(), !files.isEmpty());
        QCOMPARE(OutlinePixels(), 0);
        const DropReply reply = DropOnWindow(Window(), *data);
        QCOMPARE(OutlinePixels(), 0);

        QVERIFY(reply.accepted);
        QCOMPARE(reply.action, Qt::CopyAction);
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
        QCOMPARE(Label().text(), status);
        QCOMPARE(Label().palette().color(QPalette::WindowText), colour);
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void Pastes_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QString>("status");
        QTest::newRow("uri-list") << "text/uri-list" << QByteArray() << "Clipboard! Size 51 b";
        QTest::newRow("GNOME copy") << "x-special/gnome-copied-files" << QByteArray("copy\n")
                                    << "Clipboard! Size 51 b";
        QTest::newRow("MATE cut") << "x-special/mate-copied-files" << QByteArray("cut\n")
                                  << "Clipboard! Size 51 b";
        QTest::newRow("text only") << "text/plain" << QByteArray() << "";
    }

    void Pastes() {
        QFETCH(QString, format);
        QFETCH(QByteArray, header);
        QFETCH(QString, status);
        const QString path = WriteFile(dir_, "a.png", 1);
        auto* copied = new QMimeData;  // the clipboard takes it
        copied->setData(format, header + QUrl::fromLocalFile(path).toEncoded());
        QApplication::clipboard()->setMimeData(copied);
        QTest::keyClick(&Window(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Label().text(), QString());  // handled after the key press, as a drop is
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCOMPARE(Label().text(), status);
        QVERIFY(QFile::exists(path));  // a cut file is only read
    }

    void ChoosesAFileInTheDialog() {
        QDir().mkpath(dir_.filePath("sub"));
        QString chosen = WriteFile(dir_, "sub/notes.txt", 1), opened_in;  // none: cancelled
        QStringList filters;
        bool drop_taken = true, stuck = false;
        int ticks = 0;
        // Driven as a user drives it: once the dialog is active with the focus in its file name
        // box, the name is typed there, and Open pressed when the dialog shows it as the choice.
        // Qt 6.4's selectFile fills that box only while it lacks the focus, which the dialog
        // gives it on activation, queued on the offscreen platform: a call could come too late.
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* box = dialog != nullptr ? dialog->findChild<QLineEdit*>("fileNameEdit") : nullptr;
            if (dialog != nullptr && ++ticks > 1000) {  // still open after 10 s: the case fails
                stuck = true;
                dialog->reject();
            } else if (box == nullptr || !dialog->isActiveWindow() || !box->hasFocus()) {
                return;  // not yet where a user could type
            } else if (filters.isEmpty()) {
                opened_in = dialog->directory().absolutePath();
                filters = dialog->nameFilters();
                drop_taken = DropOnWindow(Window(), *FileDrop({chosen})).accepted;
                chosen.isEmpty() ? dialog->reject() : QTest::keyClicks(box, chosen);
            } else if (dialog->selectedFiles() == QStringList{chosen}) {
                auto* buttons = dialog->findChild<QDialogButtonBox*>();
                QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
            }
        });
        poll.start(10);
        QTest::keyClick(&Window(), Qt::Key_O, Qt::ControlModifier);
        QVERIFY(!stuck);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QCOMPARE(Label().text(), QStringLiteral("Not format!"));  // typed past the Images filter
        QCOMPARE(filters, QStringList({"Images (*.gif *.jpeg *.jpg *.png)", "All files (*)"}));
        QVERIFY(!drop_taken);  // one piece of work at a time
        chosen.clear();
        filters.clear();
        QTest::mouseDClick(&Window(), Qt::LeftButton, {}, {99, 60});  // on the picture
        QVERIFY(!stuck);
        QCOMPARE(opened_in, dir_.filePath("sub"));  // where the last file was chosen
        QCOMPARE(Label().text(), QStringLiteral("Not format!"));
    }

    void MoveOnlyDropIsConvertedButNotTaken() {
        const std::unique_ptr<QMimeData> data = FileDrop({WriteFile(dir_, "moved.png", 1)});
        const DropReply reply = DropOnWindow(Window(), *data, {99, 80}, Qt::MoveAction);
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("background-image:url('data:image/png;base64,AA==');"));
        QVERIFY(!reply.accepted);  // the file manager keeps its file
    }

    void UnreadableFileShowsTheWarningBox() {
        QDir().mkpath(dir_.path() + "/folder.png");
        // file://tmp/... names a file on the machine "tmp"; read here, it would be /tmp/....
        const QString here = WriteFile(dir_, "here.png", 1);
        for (const QString& path :
             {dir_.filePath("missing.png"), dir_.path() + "/folder.png", "file:/" + here}) {
            Label().setText(QStringLiteral("earlier"));
            std::unique_ptr<QMimeData> data = FileDrop({path});
            if (path.startsWith("file:")) {
                data->setUrls({QUrl(path)});
            }
            const SeenBox box = CloseBoxDuring([&] { DropOnWindow(Window(), *data); });
            QVERIFY2(box.shown, qPrintable(path));
            QCOMPARE(box.title, QStringLiteral("Vellumine"));
            QCOMPARE(box.text, QStringLiteral("Error: ReadFile"));
            QVERIFY(box.warning_icon);
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
            QCOMPARE(Label().text(), QStringLiteral("earlier"));
        }
    }

    void WorkQueuedAsTheWindowClosesIsIgnored_data() {
        QTest::addColumn<bool>("paste");
        QTest::addColumn<QString>("file");
        QTest::newRow("a drop") << false << "b.gif";
        QTest::newRow("a drop that brings up the box") << false << "missing.png";
        QTest::newRow("a paste") << true << "b.gif";
    }

    void WorkQueuedAsTheWindowClosesIsIgnored() {
        // Handed over after the close, the clipboard must hold what the status line reported,
        // and no box may open inside the close.
        QFETCH(bool, paste);
        QFETCH(QString, file);
        DropOnWindow(Window(), *FileDrop({WriteFile(dir_, "a.png", 1)}));
        const QString reported = QApplication::clipboard()->text();
        const QString path = file.startsWith("missing") ? dir_.filePath(file)
                                                        : WriteFile(dir_, file, 1);
        if (paste) {
            QApplication::clipboard()->setMimeData(FileDrop({path}).release());
            QTest::keyClick(&Window(), Qt::Key_V, Qt::ControlModifier);
            QApplication::clipboard()->setText(reported);
        } else {
            QueueDropOnWindow(Window(), *FileDrop({path}));
        }
        QString handed_over;  // the clipboard as the hand-over reads it, after its own wait
        Window().SetClosingAction([&] {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            handed_over = QApplication::clipboard()->text();
        });
        const SeenBox box = CloseBoxDuring([&] {
            Window().close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        });
        QVERIFY(!box.shown);
        QCOMPARE(handed_over, reported);
        QCOMPARE(QApplication::clipboard()->text(), reported);
        QCOMPARE(Label().text(), QStringLiteral("Clipboard! Size 51 b"));
    }

    void StatusesAreHeardWhileTheActivationKeepsChanging() {
        QAccessible::queryAccessibleInterface(&Label());  // as a screen reader does
        notices_.clear();
        const auto restore = qScopeGuard(
            [previous = QAccessible::installUpdateHandler(RecordNotice)] {
                QAccessible::installUpdateHandler(previous);
                SetAccessibilityActive(false);
            });
        SetAccessibilityActive(true);
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        QTimer flip;  // hands the activation back and forth faster than it could ever settle
        connect(&flip, &QTimer::timeout, [&] {
            (Window().isActiveWindow() ? &other : static_cast<QWidget*>(&Window()))
                ->activateWindow();
        });
        flip.start(100);
        desktop_->SetLabelCaption("Not format!");
        desktop_->SetLabelCaption("Clipboard! Size 51 b");  // in quick succession: both heard
        // Shown at the latest a second after it appeared. The wait counts its own steps, each
        // at least as long as it says, so a busy machine only makes it longer.
        QTRY_COMPARE_WITH_TIMEOUT(notices_, QStringList({"Not format!", "Clipboard! Size 51 b"}),
                                  1200);
    }
};

QTEST_MAIN(Form1WindowTest)
#include "form1_window_test.moc"
