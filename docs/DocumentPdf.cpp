// Turns a Markdown document into a PDF with Qt's own text layout, at build time:
//   holvane-document IN.md OUT.pdf TITLE
// Runs on the offscreen platform, so it needs no display.
#include <QByteArray>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QString>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: holvane-document IN.md OUT.pdf TITLE\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    const QString input = QFile::decodeName(argv[1]);
    const QString output = QFile::decodeName(argv[2]);

    QFile in(input);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "holvane-document: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    document.setMarkdown(QString::fromUtf8(in.readAll()));

    QSaveFile out(output);
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "holvane-document: cannot write %s\n", argv[2]);
        return 1;
    }
    {
        QPdfWriter writer(&out);
        writer.setTitle(QString::fromUtf8(argv[3]));
        writer.setCreator(QStringLiteral("Holvane"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter));
        document.print(&writer);
    }
    if (!out.commit()) {
        std::fprintf(stderr, "holvane-document: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
