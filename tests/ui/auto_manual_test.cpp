// ostrand-manual and the Help.pdf it makes in the program folder.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include "test_folder.h"

namespace {

const QString kManual = QStringLiteral(OSTRAND_TOOLS "/ostrand-manual");

int render(const QStringList& args) {
    QProcess p;
    p.start(kManual, args);
    if (!p.waitForFinished(60000)) return -1;
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The page objects of a PDF (not the page tree).
int pageCount(const QByteArray& pdf) {
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    int pages = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next()) ++pages;
    return pages;
}

bool wellFormed(const QByteArray& pdf) {
    return pdf.startsWith("%PDF-1.") && pdf.trimmed().endsWith("%%EOF");
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

}  // namespace

class AutoManualTest : public QObject {
    Q_OBJECT
  private slots:
    void helpPdfIsInTheProgramFolder();
    void longerGuidesTakeMorePages();
    void failuresLeaveTheOldPdf();
};

void AutoManualTest::helpPdfIsInTheProgramFolder() {
    const QString help = QStringLiteral(OSTRAND_BIN "/Help.pdf");
    const QByteArray pdf = readAll(help);
    QVERIFY2(wellFormed(pdf), "build/bin/Help.pdf is missing or not a PDF");
    QVERIFY(pageCount(pdf) >= 4);
    const QString text = pdfText(help);
    if (text.isEmpty()) {
        qInfo("pdftotext not installed: the manual's text is not checked");
        return;
    }
    for (const char* heading :
         {"Ostrand User Guide", "Auto Programming", "Passwords", "ostrand-cli, the console program",
          "ostrand-sim, the simulated chip", "Verify with SUM", "MSG_OFF"})
        QVERIFY2(text.contains(QLatin1String(heading)), heading);
}

void AutoManualTest::longerGuidesTakeMorePages() {
    TestFolder dir;
    QString shortGuide = QStringLiteral("# Short\n\nOne paragraph.\n");
    QString longGuide = QStringLiteral("# Long\n\n");
    for (int i = 0; i < 400; ++i)
        longGuide += QStringLiteral("Paragraph %1 of a guide that needs several pages.\n\n").arg(i);
    const QString in1 = QString::fromStdString(dir.write("short.md", shortGuide.toStdString()));
    const QString in2 = QString::fromStdString(dir.write("long.md", longGuide.toStdString()));
    const QString out1 = QString::fromStdString((dir.path() / "short.pdf").string());
    const QString out2 = QString::fromStdString((dir.path() / "long.pdf").string());
    QCOMPARE(render({in1, out1}), 0);
    QCOMPARE(render({in2, out2}), 0);
    const QByteArray one = readAll(out1), many = readAll(out2);
    QVERIFY(wellFormed(one));
    QVERIFY(wellFormed(many));
    QCOMPARE(pageCount(one), 1);
    QVERIFY(pageCount(many) >= 5);
    // The first heading is the document's title.
    QVERIFY(many.contains("/Title") && many.contains("/Creator"));
    const QString text = pdfText(out2);
    if (!text.isEmpty()) QVERIFY(text.contains(QStringLiteral("Paragraph 399 of a guide")));
}

void AutoManualTest::failuresLeaveTheOldPdf() {
    TestFolder dir;
    const QString out = QString::fromStdString(dir.write("Help.pdf", "old").string());
    const QString missing = QString::fromStdString((dir.path() / "missing.md").string());
    const QString empty = QString::fromStdString(dir.write("empty.md", "").string());
    QCOMPARE(render({missing, out}), 1);
    QCOMPARE(render({empty, out}), 1);
    QCOMPARE(render({out}), 2);
    QCOMPARE(readAll(out), QByteArray("old"));
    // A folder that cannot take the file: refused, nothing half-written.
    const QString guide = QString::fromStdString(dir.write("g.md", "# G\n\ntext\n").string());
    const QString nowhere = QString::fromStdString((dir.path() / "no" / "Help.pdf").string());
    QCOMPARE(render({guide, nowhere}), 1);
    QVERIFY(!QFile::exists(nowhere));
}

QTEST_MAIN(AutoManualTest)
#include "auto_manual_test.moc"
