// The window's typefaces and their stand-ins.
#include "fonts.h"

#include <QFile>
#include <QFontDatabase>

#include "qt_text.h"

void InstallFontStandIns() {
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma"))) {
        // Wine's Tahoma (Debian's fonts-wine) keeps Tahoma's metrics; fontconfig does not see
        // it because it lives in Wine's own folder. The window sets no text in bold Tahoma, so
        // its bold face is not registered: that would only lengthen the start.
        const QString path = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
        if (QFile::exists(path)) {
            QFontDatabase::addApplicationFont(path);
        }
    }
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
}

QFont FontFor(const FontSpec& face) {
    QFont font(ToQString(face.family));
    // Points at 96 dpi; the window's geometry is in 96-dpi pixels too, and Qt scales both
    // together on high-density screens, whatever DPI the X server claims.
    font.setPixelSize(qRound(face.points * 96.0 / 72.0));
    font.setBold(face.bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}
