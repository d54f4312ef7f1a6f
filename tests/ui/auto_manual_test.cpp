// ostrand-manual and the Help.pdf it makes in the program folder.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "test_folder.h"

namespace {

int render(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(OSTRAND_TOOLS "/ostrand-manual"), args);
    if (!p.waitForFinished(60000)) return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The page objects of a well-formed PDF (not the page tree); -1 if not a PDF.
int pages(const QByteArray& pdf) {
    if (!pdf.startsWith("%PDF-1.") || !pdf.trimmed().endsWith("%%EOF")) return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    int n = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next()) ++n;
    return n;
}

// The text of a PDF where poppler's pdftotext is installed; empty otherwise.
QString pdfText(const QString& path) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
    if (tool.isEmpty()) return {};
    QProcess p;
    p.start(tool, {path, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString at(const TestFolder& dir, const char* name, const std::string& text = {}) {
    return QString::fromStdString(text.empty() ? (dir.path() / name).string()
                                               : dir.write(name, text).string());
}

}  // namespace

class AutoManualTest : public QObject {
    Q_OBJECT
  private slots:
    void helpPdfIsInTheProgramFolder() {
        const QString help = QStringLiteral(OSTRAND_BIN "/Help.pdf");
        QVERIFY2(pages(readAll(help)) >= 4, "build/bin/Help.pdf is missing or not a PDF");
        const QString text = pdfText(help);
        if (text.isEmpty())
            return qInfo("pdftotext not installed: the manual's text is not checked");
        for (const char* heading :
             {"Ostrand User Guide", "Auto Programming", "Passwords",
              "ostrand-cli, the console program", "ostrand-sim, the simulated chip",
              "Verify with SUM", "MSG_OFF"})
            QVERIFY2(text.contains(QLatin1String(heading)), heading);
    }

    // A long guide takes several pages and keeps all its text; a refused run
    // leaves the old PDF, and a folder that cannot take the file gets nothing.
    void rendersPagesOrLeavesTheOldPdf() {
        TestFolder dir;
        std::string guide = "# Long\n\n";
        for (int i = 0; i < 400; ++i)
            guide += "Paragraph " + std::to_string(i) + " of a guide that needs several pages.\n\n";
        const QString out = at(dir, "Help.pdf", "old"), long_ = at(dir, "long.md", guide);
        QCOMPARE(render({at(dir, "missing.md"), out}), 1);
        dir.write("empty.md", "");
        QCOMPARE(render({at(dir, "empty.md"), out}), 1);
        QCOMPARE(render({out}), 2);
        QCOMPARE(readAll(out), QByteArray("old"));
        const QString nowhere = QString::fromStdString((dir.path() / "no" / "Help.pdf").string());
        QCOMPARE(render({long_, nowhere}), 1);
        QVERIFY(!QFile::exists(nowhere));
        QCOMPARE(render({long_, out}), 0);
        const QByteArray pdf = readAll(out);
        QVERIFY(pages(pdf) >= 5);
        // The first heading is the document's title.
        QVERIFY(pdf.contains("/Title") && pdf.contains("/Creator"));
        const QString text = pdfText(out);
        if (!text.isEmpty()) QVERIFY(text.contains(QStringLiteral("Paragraph 399 of a guide")));
    }
};

QTEST_MAIN(AutoManualTest)
#include "auto_manual_test.moc"
