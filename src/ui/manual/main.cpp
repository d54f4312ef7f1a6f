// ostrand-manual INPUT.md OUTPUT.pdf: the user guide as a paged PDF.
// Exit status: 0 written, 1 the guide could not be read or the PDF not
// written (an old PDF stays as it was), 2 bad usage.
#include <QBuffer>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>
#include <filesystem>

#include "app/file_io.h"

namespace {

// The first heading names the document (the PDF's title).
QString firstHeading(const QTextDocument& doc) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        if (b.blockFormat().headingLevel() > 0) return b.text();
    return QStringLiteral("Ostrand");
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ostrand-manual INPUT.md OUTPUT.pdf\n");
        return 2;
    }
    const std::filesystem::path input = argv[1], output = argv[2];
    const std::optional<std::string> text = ostrand::readWholeFile(input);
    if (!text) {
        std::fprintf(stderr, "ostrand-manual: cannot read %s\n", input.c_str());
        return 1;
    }
    QTextDocument doc;
    // Pictures are named relative to the guide.
    doc.setMetaInformation(
        QTextDocument::DocumentUrl,
        QUrl::fromLocalFile(QString::fromStdString(std::filesystem::absolute(input).string()))
            .toString());
    doc.setMarkdown(QString::fromUtf8(text->data(), static_cast<qsizetype>(text->size())));
    if (doc.isEmpty()) {
        std::fprintf(stderr, "ostrand-manual: %s holds no text\n", input.c_str());
        return 1;
    }
    QFont body = doc.defaultFont();
    body.setPointSize(10);
    doc.setDefaultFont(body);

    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setTitle(firstHeading(doc));
        writer.setCreator(QStringLiteral("ostrand-manual"));
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                         QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter));
        doc.print(&writer);
    }
    const QByteArray& bytes = pdf.data();
    if (!bytes.startsWith("%PDF") ||
        !ostrand::writeFileAtomic(
            output, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))) {
        std::fprintf(stderr, "ostrand-manual: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
