// Draws the menu icons of Tenlo and TenloUpdate into a hicolor theme folder, at build time,
// from the same code that draws the application's own icon:
//   tenlo_icons OUTDIR SIZE...  ->  OUTDIR/hicolor/SIZExSIZE/apps/{tenlo,tenlo-update}.png

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_icons.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: tenlo_icons OUTDIR SIZE...\n", stderr);
        return 2;
    }
    // No display is needed to paint into pixmaps.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const QString out = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 16 || size > 1024) {
            std::fprintf(stderr, "tenlo_icons: no size %s\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(out).arg(size);
        if (!QDir().mkpath(dir) ||
            !tenlo::app::ApplicationPixmap(size).save(dir + QStringLiteral("/tenlo.png")) ||
            !tenlo::app::UpdaterPixmap(size).save(dir + QStringLiteral("/tenlo-update.png"))) {
            std::fprintf(stderr, "tenlo_icons: cannot write into %s\n", dir.toUtf8().constData());
            return 1;
        }
    }
    return 0;
}
