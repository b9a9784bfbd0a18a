// Time from a drop delivered to the real window to the snippet on the clipboard, largest file.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "fonts.h"
#include "form1_widget.h"
#include "qt_desktop_services.h"
#include "qt_test_support.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    InstallFontStandIns();
    QtDesktopServices desktop(QStringLiteral("vellumine-drop-bench"));
    InstallDesktopServices(&desktop);
    desktop.CreateMainWindow();
    QApplication::processEvents();

    QTemporaryDir dir;
    const std::unique_ptr<QMimeData> drop = FileDrop({WriteFile(dir, "largest.jpeg", 32000)});
    QWidget& window = *desktop.Window();

    constexpr int kRuns = 201;
    std::vector<double> micros;
    for (int run = 0; run < kRuns; ++run) {
        QApplication::clipboard()->setText(QStringLiteral("before"));
        desktop.Window()->Label1()->clear();
        const auto start = std::chrono::steady_clock::now();
        DropOnWindow(window, *drop);
        const auto end = std::chrono::steady_clock::now();
        if (QApplication::clipboard()->text().size() != 42716 ||
            desktop.Window()->Label1()->text() != QStringLiteral("Clipboard! Size 42716 b")) {
            std::fprintf(stderr, "drop_bench: the drop did not give the snippet\n");
            return 1;
        }
        micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    std::sort(micros.begin(), micros.end());
    std::printf("drop_to_clipboard_us median %.1f min %.1f p90 %.1f runs %d\n", micros[kRuns / 2],
                micros.front(), micros[kRuns * 9 / 10], kRuns);
    InstallDesktopServices(nullptr);
    return 0;
}
